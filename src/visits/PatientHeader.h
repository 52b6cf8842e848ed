#pragma once

#include <QString>

class Connection;
class Prompter;
class Recordset;

// The read-only patient header of the visit and history windows.
struct PatientHeader
{
    QString lastName;
    QString firstName;
    QString middleName;
    QString gender;
    QString maritalStatus;
    QString birthDate;
    QString age; // whole years; "" when the birth date is not a date
};

// Opens "select * from PatientRecords where PatientID=" + patientId, read
// only. False when no row has that id.
bool openPatient(Recordset &rs, Connection &db, const QString &patientId);
// The header of the current row; a NULL column reads as "".
PatientHeader patientHeader(const Recordset &rs);

// "Patient record not found." / "Record Not Found".
void tellPatientNotFound(Prompter &prompter);
