#include "visits/VisitRecord.h"

#include <limits>
#include <stdexcept>

#include "data/Audit.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "shell/modMain.h"

const std::vector<VisitColumn> &visitTextColumns()
{
    static const std::vector<VisitColumn> columns = {
        {"ChiefComplaint", "txtChiefComplaint"},
        {"Physician", "txtPhysician"},
        {"Nurse", "txtNurse"},
        {"Location", "txtLocation"},
        {"Quality", "txtQuality"},
        {"Severity", "txtSeverity"},
        {"Duration", "txtDuration"},
        {"Timing", "txtTiming"},
        {"Context", "txtContext"},
        {"ModifyingFactors", "txtModifyingFactors"},
        {"SignsSymptoms", "txtSignsSymptoms"},
        {"HistoryPresentIllness", "txtHPI"},
        {"ROSGeneral", "txtGeneral"},
        {"ROSSkinBreast", "txtSkinBreast"},
        {"ROSEENT", "txtEENT"},
        {"ROSCardioVascular", "txtCardioVascular"},
        {"ROSRespiratory", "txtRespiratory"},
        {"ROSGastrointestinal", "txtGastroIntestinal"},
        {"ROSGenitoUrinary", "txtGenitourinary"},
        {"ROSMusculoskeletal", "txtMusculoskeletal"},
        {"ROSNeurologic", "txtNeurologic"},
        {"ROSAllergy", "txtAllergy"},
        {"BloodPressure", "txtBloodPressure"},
        {"HeartRate", "txtHeartRate"},
        {"RespiratoryRate", "txtRespiratoryRate"},
        {"Temperature", "txtTemperature"},
        {"Height", "txtHeight"},
        {"Weight", "txtWeight"},
        {"PEGeneral", "txtGeneralPE"},
        {"PESkinBreast", "txtSkinBreastPE"},
        {"PEEENT", "txtEENMTPE"},
        {"PERespiratory", "txtRespiratoryPE"},
        {"PECardioVascular", "txtCardiovascularPE"},
        {"PEGastroIntestinal", "txtGastrointestinalPE"},
        {"PEGenitoUrinary", "txtGenitourinaryPE"},
        {"PEMusculoSkeletal", "txtMusculoskeletalPE"},
        {"PENeurologic", "txtNeurologicPE"},
        {"Diagnosis", "txtDiagnosis"},
        {"BodyRegion", "txtBodyRegion"},
        {"OrganSystem", "txtOrganSystem"},
        {"Diagnostics", "txtDiagnostics"},
        {"Therapeutics", "txtTherapeutics"},
        {"OtherRecommendations", "txtOtherRecommendations"},
        {"EmergencyResponse", "txtEmergencyResponse"},
        {"WorkRelated", "txtWorkRelated"},
    };
    return columns;
}

QString visitUpdateSql(const QString &visitDate, const QStringList &texts, qint32 historyId)
{
    const auto &columns = visitTextColumns();
    if (texts.size() != int(columns.size()))
        throw std::invalid_argument("visitUpdateSql: one text per visit column expected");
    QString sql = QStringLiteral("update [MedicalHistory] set [VisitDate]='") + visitDate
                  + QLatin1Char('\'');
    for (size_t i = 0; i < columns.size(); ++i) {
        sql += QStringLiteral(",[") + QLatin1String(columns[i].column) + QStringLiteral("]='")
               + sqlText(texts[int(i)]) + QLatin1Char('\'');
    }
    sql += QStringLiteral(" where [HistoryID]=") + QString::number(historyId);
    return sql;
}

namespace {

qint32 oneMore(qint64 last)
{
    if (last >= std::numeric_limits<qint32>::max())
        throw DbError(6, QStringLiteral("Overflow: no visit id is left after %1.").arg(last));
    return qint32(last + 1);
}

} // namespace

qint32 nextHistoryID(Connection &db)
{
    Recordset rs;
    rs.Open(QStringLiteral("Select * from MedicalHistory"), db, adOpenStatic, adLockOptimistic);
    if (rs.isEOF() || rs.isBOF())
        return 1;
    rs.MoveLast();
    if (rs.RecordCount() < 1)
        return 1;
    return oneMore(rs.Value(QStringLiteral("HistoryID")).toLongLong());
}

bool patientExists(Connection &db, const QString &patientId)
{
    Recordset rs;
    rs.Open(QStringLiteral("select PatientID from PatientRecords where PatientID=")
                + sqlId(patientId),
            db, adOpenStatic, adLockReadOnly);
    return !rs.isEOF();
}

std::optional<qint32> saveVisit(Connection &db, qint32 historyId, bool newVisit,
                                const QString &patientId, const QString &visitDate,
                                const QStringList &texts)
{
    if (!newVisit && historyId < 1)
        throw DbError(13, QStringLiteral("Type mismatch: no visit is open."));
    Transaction transaction(db);
    if (!patientExists(db, patientId))
        return std::nullopt;
    qint32 id = historyId;
    bool exists = false;
    if (id >= 1) {
        Recordset rs;
        rs.Open(QStringLiteral("select * from MedicalHistory where HistoryID=")
                    + QString::number(id),
                db, adOpenDynamic, adLockOptimistic);
        exists = !rs.isEOF();
    }
    if (newVisit && (exists || id < 1)) {
        // Another workstation took this id after the editor chose it (or none
        // could be chosen when the editor opened).
        Recordset rs;
        rs.Open(QStringLiteral("select max(HistoryID) from MedicalHistory"), db, adOpenStatic,
                adLockReadOnly);
        id = oneMore(rs.Value(0).toLongLong());
        exists = false;
    }
    Audit::recordWrite(db, exists ? QStringLiteral("Update") : QStringLiteral("Add"),
                       QStringLiteral("MedicalHistory"), QStringLiteral("HistoryID"), id,
                       patientId, [&] {
                           if (!exists) {
                               db.Execute(QStringLiteral("insert into MedicalHistory "
                                                         "(HistoryID,PatientID) values (")
                                          + QString::number(id) + QLatin1Char(',') + patientId
                                          + QLatin1Char(')'));
                           }
                           db.Execute(visitUpdateSql(visitDate, texts, id));
                       });
    transaction.commit();
    return id;
}

namespace {

QString visitsOfPatient(const QString &columns, const QString &patientId)
{
    return QStringLiteral("select a.PatientID,Firstname+' '+Lastname as ") + columns
        + QStringLiteral(",Physician,Nurse from PatientRecords a inner join MedicalHistory b "
                         "on a.PatientID=b.PatientID where a.PatientID=")
        + sqlId(patientId) + QStringLiteral(" order by VisitDate");
}

} // namespace

QString visitPrintSql(const QString &patientId)
{
    return visitsOfPatient(QStringLiteral("PatientName,VisitDate,ChiefComplaint"), patientId);
}

QString visitExportSql(const QString &patientId)
{
    return visitsOfPatient(
        QStringLiteral("[Patient Name],VisitDate as [Visit Date],ChiefComplaint as "
                       "[Chief Complaint]"),
        patientId);
}
