#include "visits/frmPatientVisit.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "data/Recordset.h"
#include "data/SqlId.h"
#include "reports/ReportLayouts.h"
#include "reports/ReportPreview.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/ListViews.h"
#include "shell/Prompter.h"
#include "shell/WidgetUtils.h"
#include "visits/PatientHeader.h"
#include "visits/PatientInfoFrame.h"
#include "visits/VisitListModel.h"

frmPatientVisit::frmPatientVisit(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmPatientVisit"));
    setWindowTitle(QStringLiteral("Patient's Visit"));
    resize(800, 480);

    makePatientFrame(this);

    m_visits = new VisitListModel(this);
    ListView1 = newReportList(m_visits, this, visitColumnWidths());

    cmdSave = newDefaultButton(this, "cmdSave", QStringLiteral("Print"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));
    auto *buttons = buttonRow({}, {cmdSave, cmdCancel});

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraPatient);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);
    setTabChain({ListView1, cmdSave, cmdCancel});

    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmPatientVisit::Form_Load()
{
    applyHandCursor(this, ctx.folders().program);
}

void frmPatientVisit::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("frmPatientVisit"),
               QStringLiteral("Form_Activate"));
    // Kept for Print: the summary stays on the patient it was opened for.
    m_patientID = ctx.SelectedPatientID;
    step([&] {
        Recordset rs;
        if (!openPatient(rs, ctx.db(), m_patientID)) {
            tellPatientNotFound(ctx.prompter());
            close();
            step.stop();
            return;
        }
        fraPatient->fill(patientHeader(rs));
    });
    step([&] {
        m_visits->clear();
        Recordset rs;
        rs.Open(QStringLiteral("select * from MedicalHistory where PatientID=")
                    + sqlId(m_patientID),
                ctx.db(), adOpenStatic, adLockReadOnly);
        m_visits->load(rs);
        if (m_visits->rowCount() > 0)
            ListView1->setCurrentIndex(m_visits->index(0, 0));
    });
}

void frmPatientVisit::cmdSave_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmPatientVisit"), QStringLiteral("cmdSave_Click"));
    Recordset rs;
    step([&] {
        rs.Open(QStringLiteral("Select a.PatientID, VisitDate,Lastname,Firstname,ChiefComplaint,"
                               "Physician,Nurse from MedicalHistory a inner join PatientRecords "
                               "b on a.PatientID=b.PatientID where a.PatientID=")
                    + sqlId(m_patientID) + QStringLiteral(" order by VisitDate desc"),
                ctx.db(), adOpenDynamic, adLockOptimistic);
        if (rs.RecordCount() == 0) {
            ctx.prompter().message(QStringLiteral("No record found."),
                                   QStringLiteral("No Records"), MsgIcon::Information,
                                   MsgButtons::OK);
            step.stop();
        }
    });
    if (step.failed())
        return;
    step([&] { showReport(ctx, DRMedicalHistoryAll(), rs, this); });
}
