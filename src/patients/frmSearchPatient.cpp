#include "patients/frmSearchPatient.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "data/Recordset.h"
#include "patients/PatientListModel.h"
#include "patients/PatientQueries.h"
#include "reports/modSaveRecordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/ListViews.h"
#include "shell/MainFrame.h"
#include "shell/Prompter.h"
#include "shell/StatusBarPanes.h"
#include "shell/WidgetUtils.h"
#include "visits/VisitPrint.h"
#include "visits/VisitRecord.h"
#include "visits/frmAddNewPatientRecord.h"
#include "visits/frmPatientHistory.h"

frmSearchPatient::frmSearchPatient(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmSearchPatient"));
    setWindowTitle(QStringLiteral("Select One Patient"));
    resize(800, 440);

    cboSearch = new QComboBox(this);
    cboSearch->setObjectName(QStringLiteral("cboSearch"));
    cboSearch->addItems({QStringLiteral("Last Name"), QStringLiteral("First Name")});
    cboSearch->setCurrentIndex(-1);
    txtSearch = newLineEdit(this, "txtSearch");
    cmdShowAll = newButton(this, "cmdShowAll", QStringLiteral("Show All"));
    cmdHideAll = newButton(this, "cmdHideAll", QStringLiteral("Hide All"));

    m_patients = new PatientListModel(this);
    m_patients->setGuard([this](const std::function<void()> &read) {
        return trapped(ctx.prompter(), QStringLiteral("frmSearchPatient"),
                       QStringLiteral("ListView1_Scroll"), 100, read);
    });
    ListView1 = newReportList(m_patients, this, {70, 130, 130, 120, 100, 80, 110});

    cmdSelect = newButton(this, "cmdSelect", QStringLiteral("Select"));
    cmdSelect->setDefault(true);
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));

    auto *categoryLabel = newBuddyLabel(this, QStringLiteral("Search Category:"), cboSearch);
    auto *textLabel = newBuddyLabel(this, QStringLiteral("Search Text:"), txtSearch);
    auto *search = new QHBoxLayout;
    search->addWidget(categoryLabel);
    search->addWidget(cboSearch);
    search->addWidget(textLabel);
    search->addWidget(txtSearch, 1);
    search->addWidget(cmdShowAll);
    search->addWidget(cmdHideAll);
    auto *buttons = buttonRow({}, {cmdSelect, cmdCancel});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);

    setTabChain({cboSearch, txtSearch, cmdShowAll, cmdHideAll, ListView1, cmdSelect, cmdCancel});

    connect(cmdShowAll, &QPushButton::clicked, this, [this] { cmdShowAll_Click(); });
    connect(cmdHideAll, &QPushButton::clicked, this, [this] { cmdHideAll_Click(); });
    connect(txtSearch, &QLineEdit::textChanged, this, [this] { txtSearch_Change(); });
    connect(ListView1, &QTreeView::doubleClicked, this, [this] { cmdSelect_Click(); });
    connect(cmdSelect, &QPushButton::clicked, this, [this] { cmdSelect_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmSearchPatient::Form_Load()
{
    applyHandCursor(this, ctx.folders().program);
}

void frmSearchPatient::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("frmSearchPatient"),
               QStringLiteral("Form_Activate"));
    showAll(step);
}

void frmSearchPatient::cmdShowAll_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmSearchPatient"),
               QStringLiteral("cmdShowAll_Click"));
    showAll(step);
}

void frmSearchPatient::showAll(Steps &step)
{
    step([&] { m_patients->clear(); });
    step([&] {
        if (cboSearch->currentIndex() < 0)
            cboSearch->setCurrentIndex(0);
    });
    step([&] { fill(PatientListQuery()); });
    if (step.failed())
        return;
    step([&] { showRecordPosition(); });
}

void frmSearchPatient::cmdHideAll_Click()
{
    m_patients->clear();
}

void frmSearchPatient::txtSearch_Change()
{
    Steps step(ctx.prompter(), QStringLiteral("frmSearchPatient"),
               QStringLiteral("txtSearch_Change"));
    step([&] { m_patients->clear(); });
    step([&] {
        if (txtSearch->text().trimmed().isEmpty())
            step.stop();
    });
    step([&] {
        if (cboSearch->currentIndex() < 0)
            cboSearch->setCurrentIndex(0);
    });
    step([&] {
        PatientListQuery query;
        query.condition = patientSearchCondition(cboSearch->currentText(), txtSearch->text());
        query.searchColumn = RemoveSpaces(cboSearch->currentText());
        fill(query);
    });
    if (step.failed())
        return;
    step([&] { showRecordPosition(); });
}

void frmSearchPatient::fill(const PatientListQuery &query)
{
    m_patients->open(ctx.db(), query);
    if (m_patients->rowCount() > 0)
        ListView1->setCurrentIndex(m_patients->index(0, 0));
}

void frmSearchPatient::showRecordPosition()
{
    if (m_patients->rowCount() == 0)
        return;
    m_patients->whenCountable([this] {
        trapped(ctx.prompter(), QStringLiteral("frmSearchPatient"),
                QStringLiteral("showRecordPosition"), 100, [&] {
                    ctx.mainFrame().setStatusText(
                        0, QStringLiteral("Record ") + QString::number(selectedRow() + 1)
                               + QStringLiteral(" of ")
                               + QString::number(m_patients->totalCount()));
                });
    });
}

int frmSearchPatient::selectedRow() const
{
    const QModelIndex current = ListView1->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void frmSearchPatient::cmdSelect_Click()
{
    if (m_patients->rowCount() == 0)
        return;
    Steps step(ctx.prompter(), QStringLiteral("frmSearchPatient"),
               QStringLiteral("cmdSelect_Click"));
    QString patientName;
    step([&] {
        ctx.SelectedPatientID = m_patients->text(selectedRow(), PatientListModel::PatientID);
    });
    step([&] {
        patientName = (m_patients->text(selectedRow(), PatientListModel::FirstName)
                       + QLatin1Char(' ')
                       + m_patients->text(selectedRow(), PatientListModel::LastName))
                          .toUpper();
    });
    step([&] { hide(); });

    const QString mode = ctx.PatientSelectorMode;
    if (mode == QLatin1String("Add Patient Visit")) {
        step([&] { ctx.SelectedHistoryID.clear(); });
        step([&] {
            ctx.showModal(ctx.window<frmAddNewPatientRecord>(), &ctx.mainFrame().frameWidget());
        });
    } else if (mode == QLatin1String("View Patient Visit(s)")) {
        step([&] {
            ctx.window<frmPatientHistory>().setPatient(ctx.SelectedPatientID, patientName);
        });
        step([&] { ctx.window<frmPatientHistory>().loadPatientVisits(); });
        step([&] { ctx.mainFrame().showChild(ctx.window<frmPatientHistory>()); });
    } else if (mode == QLatin1String("Print Patient Visit(s)")) {
        printPatientVisits(ctx, ctx.SelectedPatientID, step, &ctx.mainFrame().frameWidget());
    } else if (mode == QLatin1String("TXT") || mode == QLatin1String("CSV")
               || mode == QLatin1String("XML") || mode == QLatin1String("XLS")
               || mode == QLatin1String("PDF")) {
        exportVisits(step, mode);
    }
}

void frmSearchPatient::exportVisits(Steps &step, const QString &mode)
{
    Recordset rs;
    step([&] {
        rs.Open(visitExportSql(ctx.SelectedPatientID), ctx.db(), adOpenStatic, adLockReadOnly);
        if (rs.isEOF()) {
            tellNoRecordFound(ctx.prompter());
            step.stop();
        }
    });
    if (step.failed())
        return;
    if (mode == QLatin1String("XLS")) {
        step([&] { SaveRecordsetToXLS(rs, QString(), ctx); });
        return;
    }
    if (mode == QLatin1String("PDF")) {
        step([&] { SaveRecordsetToPDF(rs, QString(), ctx); });
        return;
    }
    QString fileName;
    step([&] {
        if (mode == QLatin1String("TXT"))
            fileName = ctx.prompter().saveFile(QStringLiteral("Save Text"),
                                               QStringLiteral("Text Files (*.txt)|*.txt"));
        else if (mode == QLatin1String("CSV"))
            fileName = ctx.prompter().saveFile(QStringLiteral("Save CSV"),
                                               QStringLiteral("CSV Files (*.csv)|*.csv"));
        else
            fileName = ctx.prompter().saveFile(QStringLiteral("Save XML"),
                                               QStringLiteral("XML Files (*.xml)|*.xml"));
        if (fileName.isEmpty())
            step.stop();
    });
    step([&] {
        if (mode == QLatin1String("TXT"))
            SaveRecordsetToTXT(rs, fileName);
        else if (mode == QLatin1String("CSV"))
            SaveRecordsetToCSV(rs, fileName);
        else
            SaveRecordsetToXML(rs, fileName);
    });
}
