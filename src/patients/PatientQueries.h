#pragma once

#include <QDate>
#include <QString>

class Connection;

// The statements the patient windows build, and the small rules behind
// them, kept apart from the windows so they can be checked on their own.

// The whole list in its default order: the columns the list shows and the
// patient-list report prints.
QString patientListSql();

// The condition of a prefix search: the names in the column with the caption
// searchColumn ("Last Name", "First Name") that begin with text, in any case.
QString patientSearchCondition(const QString &searchColumn, const QString &text);

// A prefix search over the same columns: searchColumn and sortColumn are the captions of the
// search and sort boxes ("Last Name", "First Name"). Apostrophes in the
// typed text are doubled, so a name like O'Brien can be searched for.
QString patientSearchSql(const QString &searchColumn, const QString &text,
                         const QString &sortColumn, bool descending);

// What the patient editor writes besides the id and the photo.
struct PatientFields
{
    QString LastName;
    QString FirstName;
    QString MiddleName;
    QString SSN;
    QString MedicareNumber;
    QDate DateOfBirth;
    QString Gender;
    QString MaritalStatus;
    QString Address1;
    QString Address2;
    QString City;
    QString State;
    QString Zip;
    QString Country;
    QString Phone;
    QString Mobile;
    QString ContactPerson;
    QString ContactNo;
    QString Notes;
};

// The one update statement that writes every field of the patient.
QString patientUpdateSql(const PatientFields &fields, const QString &patientID);

// One more than the largest PatientID of any patient or visit, or 1 when there are none.
qint64 nextPatientID(Connection &db);

// First letter of every word upper case, the other letters lower case.
QString properCase(const QString &text);

// "First Middle Last" in proper case; a middle name of only spaces is left out.
QString patientFullName(const QString &first, const QString &middle, const QString &last);
