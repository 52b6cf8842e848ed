#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

class Connection;

// One visit column and the editor field that holds it.
struct VisitColumn
{
    const char *column;
    const char *field;
};

// The 45 text columns of a visit in the order the update writes them
// (VisitDate, the 46th, comes first in the statement).
const std::vector<VisitColumn> &visitTextColumns();

// The one statement that writes every visit column of a row. texts follow
// visitTextColumns(); apostrophes are doubled here.
QString visitUpdateSql(const QString &visitDate, const QStringList &texts, qint32 historyId);

// One more than the HistoryID of the last row, or 1 for an empty table.
// Throws when the next id would not fit in 32 bits.
qint32 nextHistoryID(Connection &db);

// True when the patient's row is there.
bool patientExists(Connection &db, const QString &patientId);

// Writes a visit in one transaction: the id row when it is missing, then the
// update. A new visit whose id another workstation took meanwhile, or that got
// no id (below 1), moves to the largest id + 1. Returns the id the visit was
// saved under, or nothing when the patient is gone (then nothing is written).
// Throws DbError on failure.
std::optional<qint32> saveVisit(Connection &db, qint32 historyId, bool newVisit,
                                const QString &patientId, const QString &visitDate,
                                const QStringList &texts);

// The visits of one patient, oldest first, as printed (PatientName, ...).
QString visitPrintSql(const QString &patientId);
// The same visits under readable headings, as exported ([Patient Name], ...).
QString visitExportSql(const QString &patientId);
