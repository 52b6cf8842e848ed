#include "maintenance/frmAuditTrail.h"

#include <stdexcept>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "data/Recordset.h"
#include "maintenance/AuditAnchors.h"
#include "maintenance/AuditTrailModel.h"
#include "reports/WaitCursor.h"
#include "reports/modSaveRecordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/ListViews.h"
#include "shell/Prompter.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"

namespace {

const QString kModule = QStringLiteral("frmAuditTrail");

QDateEdit *datePicker(QWidget *parent, const char *name)
{
    auto *picker = new QDateEdit(QDate::currentDate(), parent);
    picker->setObjectName(QLatin1String(name));
    picker->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    picker->setCalendarPopup(true);
    picker->setEnabled(false);
    return picker;
}

} // namespace

frmAuditTrail::frmAuditTrail(AppContext &context)
    : Form(context), m_trail(new AuditTrailModel(this))
{
    setObjectName(QStringLiteral("frmAuditTrail"));
    setWindowTitle(QStringLiteral("Audit Trail"));
    resize(920, 600);

    txtPatientID = newLineEdit(this, "txtPatientID", 18);
    cboUser = new QComboBox(this);
    cboUser->setObjectName(QStringLiteral("cboUser"));
    cboUser->setMinimumWidth(140);
    chkFrom = newCheckBox(this, "chkFrom", QStringLiteral("&From:"));
    dtpFrom = datePicker(this, "dtpFrom");
    chkTo = newCheckBox(this, "chkTo", QStringLiteral("&To:"));
    dtpTo = datePicker(this, "dtpTo");
    cmdShow = newDefaultButton(this, "cmdShow", QStringLiteral("Show"));
    ListView1 = newReportList(m_trail, this, {140, 100, 110, 70, 130, 70, 70});
    txtChanges = new QPlainTextEdit(this);
    txtChanges->setObjectName(QStringLiteral("txtChanges"));
    txtChanges->setReadOnly(true);
    txtChanges->setTabChangesFocus(true);
    cmdExportCSV = newButton(this, "cmdExportCSV", QStringLiteral("Export CSV"));
    cmdExportXML = newButton(this, "cmdExportXML", QStringLiteral("Export XML"));
    cmdCheck = newButton(this, "cmdCheck", QStringLiteral("Check"));
    cmdClose = newButton(this, "cmdClose", QStringLiteral("Close"));

    auto *filters = new QGridLayout;
    filters->addWidget(newBuddyLabel(this, QStringLiteral("&Patient ID:"), txtPatientID), 0, 0);
    filters->addWidget(txtPatientID, 0, 1);
    filters->addWidget(newBuddyLabel(this, QStringLiteral("&User:"), cboUser), 0, 2);
    filters->addWidget(cboUser, 0, 3);
    filters->addWidget(chkFrom, 0, 4);
    filters->addWidget(dtpFrom, 0, 5);
    filters->addWidget(chkTo, 0, 6);
    filters->addWidget(dtpTo, 0, 7);
    filters->addWidget(cmdShow, 0, 8);
    filters->setColumnStretch(9, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(ListView1, 3);
    layout->addWidget(newBuddyLabel(this, QStringLiteral("C&hanges:"), txtChanges));
    layout->addWidget(txtChanges, 1);
    layout->addLayout(buttonRow({cmdExportCSV, cmdExportXML, cmdCheck}, {cmdClose}));
    setTabChain({txtPatientID, cboUser, chkFrom, dtpFrom, chkTo, dtpTo, cmdShow, ListView1,
                 txtChanges, cmdExportCSV, cmdExportXML, cmdCheck, cmdClose});

    connect(chkFrom, &QCheckBox::toggled, dtpFrom, &QWidget::setEnabled);
    connect(chkTo, &QCheckBox::toggled, dtpTo, &QWidget::setEnabled);
    connect(cmdShow, &QPushButton::clicked, this, [this] { cmdShow_Click(); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showChanges(); });
    connect(cmdExportCSV, &QPushButton::clicked, this, [this] { exportShown(true); });
    connect(cmdExportXML, &QPushButton::clicked, this, [this] { exportShown(false); });
    connect(cmdCheck, &QPushButton::clicked, this, [this] { cmdCheck_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });
}

void frmAuditTrail::cmdCheck_Click()
{
    Steps step(ctx.prompter(), kModule, QStringLiteral("cmdCheck_Click"));
    step([&] {
        Audit::CheckReport report;
        {
            // Reading a long trail takes a moment.
            const WaitCursor wait;
            report = AuditAnchors::checkTrail(ctx);
        }
        ctx.prompter().message(report.text(), windowTitle(),
                               report.whole ? MsgIcon::Information : MsgIcon::Exclamation,
                               MsgButtons::OK);
    });
}

void frmAuditTrail::Form_Activate()
{
    // The trail tells who saw and changed which patient: administrators only.
    if (!requireAdministrator(ctx, QStringLiteral("read the audit trail"))) {
        m_trail->clear();
        close();
        return;
    }
    Steps step(ctx.prompter(), kModule, QStringLiteral("Form_Activate"));
    step([&] {
        const QString chosen = cboUser->currentText();
        cboUser->clear();
        cboUser->addItem(QString());
        Recordset rs;
        rs.Open(QStringLiteral("select distinct UserName from AuditTrail order by UserName"),
                ctx.db(), adOpenStatic, adLockReadOnly);
        for (; !rs.isEOF(); rs.MoveNext()) {
            if (!rs.Text(QStringLiteral("UserName")).isEmpty())
                cboUser->addItem(rs.Text(QStringLiteral("UserName")));
        }
        cboUser->setCurrentIndex(std::max(0, cboUser->findText(chosen)));
    });
    step([&] { cmdShow_Click(); });
}

AuditFilter frmAuditTrail::filter() const
{
    AuditFilter f;
    f.patientId = txtPatientID->text();
    f.userName = cboUser->currentText();
    if (chkFrom->isChecked())
        f.from = dtpFrom->date();
    if (chkTo->isChecked())
        f.to = dtpTo->date();
    return f;
}

void frmAuditTrail::cmdShow_Click()
{
    txtChanges->clear();
    try {
        m_trail->load(ctx.db(), filter());
    } catch (const std::invalid_argument &e) {
        ctx.prompter().message(QString::fromUtf8(e.what()), windowTitle(), MsgIcon::Exclamation,
                               MsgButtons::OK);
        txtPatientID->setFocus();
        txtPatientID->selectAll();
        return;
    } catch (...) {
        trapped(ctx.prompter(), kModule, QStringLiteral("cmdShow_Click"), 100,
                [] { throw; });
        return;
    }
    if (m_trail->rowCount() > 0)
        ListView1->setCurrentIndex(m_trail->index(0, 0));
}

void frmAuditTrail::showChanges()
{
    const QModelIndex current = ListView1->currentIndex();
    txtChanges->setPlainText(current.isValid() ? m_trail->changes(current.row()) : QString());
}

void frmAuditTrail::exportShown(bool csv)
{
    Steps step(ctx.prompter(), kModule, csv ? QStringLiteral("cmdExportCSV_Click")
                                            : QStringLiteral("cmdExportXML_Click"));
    QString sql;
    step([&] { sql = AuditTrailModel::exportSql(filter()); });
    if (step.failed())
        return;
    const QString file =
        csv ? ctx.prompter().saveFile(QStringLiteral("Save CSV"),
                                      QStringLiteral("CSV Files (*.csv)|*.csv"))
            : ctx.prompter().saveFile(QStringLiteral("Save XML"),
                                      QStringLiteral("XML Files (*.xml)|*.xml"));
    if (file.isEmpty())
        return;
    step([&] {
        Recordset rs;
        rs.Open(sql, ctx.db(), adOpenStatic, adLockReadOnly);
        if (csv)
            SaveRecordsetToCSV(rs, file);
        else
            SaveRecordsetToXML(rs, file);
    });
}
