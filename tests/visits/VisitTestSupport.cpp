#include "VisitTestSupport.h"

#include "data/Recordset.h"
#include "reports/ReportPreview.h"
#include "shell/modMain.h"
#include "support/TestWorld.h"

void addVisit(TestWorld &w, int historyId, int patientId, const QString &visitDate,
              const QString &complaint, const QString &physician, const QString &nurse)
{
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID, VisitDate, "
                          "ChiefComplaint, Physician, Nurse) values (%1, %2, '%3', '%4', '%5', "
                          "'%6')")
               .arg(historyId)
               .arg(patientId)
               .arg(visitDate, sqlText(complaint), sqlText(physician), sqlText(nurse)));
}

QVariantList rowValues(TestWorld &w, const QString &sql)
{
    Recordset rs;
    rs.Open(sql, w.db(), adOpenStatic, adLockReadOnly);
    QVariantList values;
    if (rs.isEOF())
        return values;
    for (int i = 0; i < rs.FieldCount(); ++i)
        values << rs.Value(i);
    return values;
}

QStringList takeLastReportPage()
{
    ReportPreview *preview = lastReportPreview();
    if (!preview)
        return {};
    const QStringList texts = preview->pageTexts(0);
    preview->close();
    return texts;
}

int indexOfText(const QStringList &texts, const QString &part)
{
    for (int i = 0; i < texts.size(); ++i) {
        if (texts[i].contains(part))
            return i;
    }
    return -1;
}
