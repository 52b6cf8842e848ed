#include "visits/VisitPrint.h"

#include "data/Recordset.h"
#include "reports/ReportLayouts.h"
#include "reports/ReportPreview.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "visits/VisitRecord.h"

void tellNoRecordFound(Prompter &prompter)
{
    prompter.message(QStringLiteral("No record found."), QStringLiteral("No Record Found"),
                     MsgIcon::Warning, MsgButtons::OK);
}

void printPatientVisits(AppContext &ctx, const QString &patientId, Steps &step, QWidget *owner)
{
    Recordset rs;
    step([&] {
        rs.Open(visitPrintSql(patientId), ctx.db(), adOpenStatic, adLockReadOnly);
        if (rs.isEOF()) {
            tellNoRecordFound(ctx.prompter());
            step.stop();
        }
    });
    if (step.failed())
        return;
    ReportLayout layout = DRMedicalHistoryIndividual();
    step([&] {
        layout.setCaption(QStringLiteral("lblPatientID"),
                          QStringLiteral("Patient ID: ") + rs.Text(QStringLiteral("PatientID")));
        layout.setCaption(QStringLiteral("lblPatientName"),
                          QStringLiteral("Patient Name: ")
                              + rs.Text(QStringLiteral("PatientName")));
    });
    step([&] { showReport(ctx, layout, rs, owner); });
}
