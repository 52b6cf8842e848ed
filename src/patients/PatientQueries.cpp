#include "patients/PatientQueries.h"

#include "data/Connection.h"
#include "data/NextId.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "shell/modMain.h"

namespace {

// What the list shows and prints. Notes, history and photos stay in the
// database: with them, 100,000 patients would take several times the memory.
QString listColumns()
{
    return QStringLiteral("PatientID,LastName,FirstName,MiddleName,DateOfBirth,Gender,"
                          "MaritalStatus,Phone,Mobile");
}

} // namespace

QString patientListSql()
{
    return QStringLiteral("Select ") + listColumns()
           + QStringLiteral(" from [PatientRecords] order by [Lastname]");
}

QString patientSearchCondition(const QString &searchColumn, const QString &text)
{
    return QStringLiteral("[") + RemoveSpaces(searchColumn) + QStringLiteral("] like '")
           + sqlText(text) + QStringLiteral("%'");
}

QString patientSearchSql(const QString &searchColumn, const QString &text,
                         const QString &sortColumn, bool descending)
{
    return QStringLiteral("SELECT ") + listColumns() + QStringLiteral(" FROM [PatientRecords]")
           + QStringLiteral(" where ") + patientSearchCondition(searchColumn, text)
           + QStringLiteral(" order by [") + RemoveSpaces(sortColumn) + QStringLiteral("] ")
           + (descending ? QStringLiteral("desc") : QStringLiteral("asc"));
}

QString patientUpdateSql(const PatientFields &f, const QString &patientID)
{
    return QStringLiteral("update [PatientRecords] set [LastName]='") + sqlText(f.LastName)
           + QStringLiteral("',[FirstName]='") + sqlText(f.FirstName)
           + QStringLiteral("',[MiddleName]='") + sqlText(f.MiddleName) + QStringLiteral("',")
           + QStringLiteral("[SSN]='") + sqlText(f.SSN) + QStringLiteral("',[MedicareNumber]='")
           + sqlText(f.MedicareNumber) + QStringLiteral("',[DateOfBirth]='")
           + storageDate(f.DateOfBirth) + QStringLiteral("',[Gender]='") + sqlText(f.Gender)
           + QStringLiteral("',[MaritalStatus]='") + sqlText(f.MaritalStatus)
           + QStringLiteral("',[Address1]='") + sqlText(f.Address1)
           + QStringLiteral("',[Address2]='") + sqlText(f.Address2)
           + QStringLiteral("',[City]='") + sqlText(f.City) + QStringLiteral("',[State]='")
           + sqlText(f.State) + QStringLiteral("',[Zip]='") + sqlText(f.Zip)
           + QStringLiteral("',[Country]='") + sqlText(f.Country) + QStringLiteral("',[Phone]='")
           + sqlText(f.Phone) + QStringLiteral("',[Mobile]='") + sqlText(f.Mobile)
           + QStringLiteral("',[ContactPerson]='") + sqlText(f.ContactPerson)
           + QStringLiteral("',[ContactNo]='") + sqlText(f.ContactNo)
           + QStringLiteral("',[Notes]='") + sqlText(f.Notes)
           + QStringLiteral("' where [PatientID]=") + sqlId(patientID);
}

qint64 nextPatientID(Connection &db)
{
    // Visits stay when their patient is deleted: an id that ever had visits is
    // never given again, or the new patient would inherit them.
    Recordset rs;
    rs.Open(QStringLiteral("Select max(id) from (select max(PatientID) as id from PatientRecords "
                           "union all select max(PatientID) from MedicalHistory) as ids"),
            db, adOpenStatic, adLockReadOnly);
    const QVariant largest = rs.isEOF() ? QVariant() : rs.Value(0);
    return idAfter(largest);
}

QString properCase(const QString &text)
{
    QString out = text;
    bool wordStart = true;
    for (QChar &ch : out) {
        if (ch.isSpace()) {
            wordStart = true;
            continue;
        }
        ch = wordStart ? ch.toUpper() : ch.toLower();
        wordStart = false;
    }
    return out;
}

QString patientFullName(const QString &first, const QString &middle, const QString &last)
{
    const QString between = middle.trimmed().isEmpty()
                                ? QStringLiteral(" ")
                                : QLatin1Char(' ') + middle + QLatin1Char(' ');
    return properCase(first + between + last);
}
