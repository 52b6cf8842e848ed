#include "visits/frmPatientHistory.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/ListViews.h"
#include "shell/Prompter.h"
#include "users/UserSession.h"
#include "visits/VisitListModel.h"
#include "visits/VisitPrint.h"
#include "visits/frmAddNewPatientRecord.h"

frmPatientHistory::frmPatientHistory(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmPatientHistory"));
    setWindowTitle(QStringLiteral("Patient Visit(s)"));

    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Toolbar1->setIconSize(QSize(32, 32));
    const QIcon icons[] = {QIcon(QStringLiteral(":/icons/9021.png")),
                           style()->standardIcon(QStyle::SP_TrashIcon),
                           QIcon(QStringLiteral(":/icons/print-visits.png"))};
    const QString captions[] = {QStringLiteral("Edit Patient Visit"),
                                QStringLiteral("Delete Patient Visit"),
                                QStringLiteral("Print All Visit")};
    for (int i = 0; i < 3; ++i) {
        QAction *action = Toolbar1->addAction(icons[i], captions[i]);
        const int index = i + 1;
        connect(action, &QAction::triggered, this, [this, index] { Toolbar1_ButtonClick(index); });
        m_buttons << action;
    }

    lblPatientName = new QLabel(QStringLiteral("PatientName"), this);
    lblPatientName->setObjectName(QStringLiteral("lblPatientName"));
    lblPatientName->setTextFormat(Qt::PlainText); // a name is shown as typed
    QFont nameFont(QStringLiteral("Lucida Sans Unicode"));
    nameFont.setPointSize(12);
    nameFont.setBold(true);
    lblPatientName->setFont(nameFont);

    m_visits = new VisitListModel(this);
    ListView1 = newReportList(m_visits, this, visitColumnWidths());

    // The list takes whatever room the window gives it.
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Toolbar1);
    layout->addWidget(lblPatientName);
    layout->addWidget(ListView1, 1);

    connect(ListView1, &QTreeView::doubleClicked, this, [this] { ListView1_DblClick(); });
}

QAction *frmPatientHistory::button(int index) const
{
    return m_buttons.value(index - 1);
}

void frmPatientHistory::setPatient(const QString &patientId, const QString &name)
{
    m_patientID = patientId;
    lblPatientName->setText(name);
}

void frmPatientHistory::loadPatientVisits()
{
    Steps step(ctx.prompter(), QStringLiteral("frmPatientHistory"),
               QStringLiteral("loadPatientVisits"));
    Recordset rs;
    step([&] { m_visits->clear(); });
    // Nobody chosen yet: nothing to list.
    if (m_patientID.isEmpty())
        return;
    step([&] {
        rs.Open(QStringLiteral("select * from MedicalHistory where PatientID=")
                    + sqlId(m_patientID) + QStringLiteral(" order by VisitDate desc"),
                ctx.db(), adOpenStatic, adLockReadOnly);
    });
    step([&] {
        if (rs.State() == 1)
            m_visits->load(rs);
        if (m_visits->rowCount() > 0)
            ListView1->setCurrentIndex(m_visits->index(0, 0));
    });
    step([&] { rs.Close(); });
}

void frmPatientHistory::Form_Load()
{
    // The main window's child frame opens at the list's own size.
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget())) {
        const QSize room = frame->mdiArea() ? frame->mdiArea()->viewport()->size() : QSize();
        frame->resize(room.isValid() ? frame->sizeHint().boundedTo(room) : frame->sizeHint());
    }
}

void frmPatientHistory::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("frmPatientHistory"),
               QStringLiteral("Form_Activate"));
    step([&] { loadPatientVisits(); });
    step([&] {
        if (ctx.CurrentUser.Privilege != QLatin1String("Administrator")) {
            m_buttons[0]->setEnabled(false);
            m_buttons[1]->setEnabled(false);
        }
    });
}

int frmPatientHistory::selectedRow() const
{
    const QModelIndex current = ListView1->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void frmPatientHistory::Toolbar1_ButtonClick(int index)
{
    // A disabled button cannot be pressed; the check also covers callers in code.
    if (!m_buttons.value(index - 1) || !m_buttons[index - 1]->isEnabled())
        return;
    switch (index) {
    case 1:
        editVisit(QStringLiteral("Toolbar1_ButtonClick"));
        break;
    case 2:
        deleteVisit();
        break;
    case 3:
        printAllVisits();
        break;
    default:
        break;
    }
}

void frmPatientHistory::ListView1_DblClick()
{
    editVisit(QStringLiteral("ListView1_DblClick"));
}

void frmPatientHistory::editVisit(const QString &procedure)
{
    if (m_visits->rowCount() == 0)
        return;
    Steps step(ctx.prompter(), QStringLiteral("frmPatientHistory"), procedure);
    step([&] {
        ctx.SelectedHistoryID = m_visits->text(selectedRow(), VisitListModel::HistoryID);
    });
    step([&] { ctx.showModal(ctx.window<frmAddNewPatientRecord>()); });
}

void frmPatientHistory::deleteVisit()
{
    if (!requireAdministrator(ctx, QStringLiteral("delete a visit")))
        return;
    Prompter &prompter = ctx.prompter();
    if (m_visits->rowCount() == 0) {
        prompter.message(QStringLiteral("No record found."), QStringLiteral("No Records"),
                         MsgIcon::Information, MsgButtons::OK);
        return;
    }
    Steps step(prompter, QStringLiteral("frmPatientHistory"),
               QStringLiteral("Toolbar1_ButtonClick"));
    const int row = selectedRow();
    const QString historyId = m_visits->text(row, VisitListModel::HistoryID);
    step([&] {
        const QString question =
            QStringLiteral("Are you sure you want to delete [")
            + m_visits->text(row, VisitListModel::ChiefComplaint) + QLatin1Char(' ')
            + m_visits->text(row, VisitListModel::VisitDate)
            + QStringLiteral("] from the Patient List?");
        if (prompter.message(question, QStringLiteral("Confirm Record Deletion"),
                             MsgIcon::Warning, MsgButtons::YesNo)
            != MsgAnswer::Yes)
            step.stop();
    });
    step([&] {
        Audit::recordDelete(ctx.db(), QStringLiteral("MedicalHistory"),
                            QStringLiteral("HistoryID"), historyId, m_patientID,
                            QStringLiteral("delete from MedicalHistory where HistoryID=")
                                + sqlId(historyId));
    });
    if (step.failed())
        return;
    step([&] {
        prompter.message(QStringLiteral("Patient visit record deleted successfully."),
                         QStringLiteral("Record Deleted"), MsgIcon::Information, MsgButtons::OK);
    });
    step([&] { loadPatientVisits(); });
}

void frmPatientHistory::printAllVisits()
{
    Steps step(ctx.prompter(), QStringLiteral("frmPatientHistory"),
               QStringLiteral("Toolbar1_ButtonClick"));
    printPatientVisits(ctx, m_patientID, step, this);
}
