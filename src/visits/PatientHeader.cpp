#include "visits/PatientHeader.h"

#include "data/Recordset.h"
#include "data/SqlId.h"
#include "shell/Prompter.h"
#include "shell/modMain.h"

bool openPatient(Recordset &rs, Connection &db, const QString &patientId)
{
    rs.Open(QStringLiteral("select * from PatientRecords where PatientID=") + sqlId(patientId), db,
            adOpenStatic, adLockReadOnly);
    return !rs.isEOF();
}

PatientHeader patientHeader(const Recordset &rs)
{
    PatientHeader header;
    header.lastName = rs.Text(QStringLiteral("lastname"));
    header.firstName = rs.Text(QStringLiteral("firstname"));
    header.middleName = rs.Text(QStringLiteral("middlename"));
    header.gender = rs.Text(QStringLiteral("gender"));
    header.maritalStatus = rs.Text(QStringLiteral("maritalstatus"));
    header.birthDate = rs.Text(QStringLiteral("dateofbirth"));
    header.age = dateFromText(header.birthDate).isValid()
                     ? QString::number(AgeInYears(header.birthDate))
                     : QString();
    return header;
}

void tellPatientNotFound(Prompter &prompter)
{
    prompter.message(QStringLiteral("Patient record not found."),
                     QStringLiteral("Record Not Found"), MsgIcon::Warning, MsgButtons::OK);
}
