#pragma once

#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>

class Recordset;

// A value as the exports and reports print it: "" for NULL and for binary
// data (a photo has no text form), numbers without group separators.
QString valueText(const QVariant &value);

// The rows a report prints, detached from any recordset, so a caller can
// hand over values it has prepared (deciphered user names, for one).
struct ReportData
{
    QStringList fields;
    std::vector<std::vector<QVariant>> rows;

    int fieldIndex(const QString &name) const; // -1 when absent; names ignore case
    int rowCount() const { return int(rows.size()); }

    // Every row of rs from the first, only the named fields (all when empty).
    // The recordset's position is kept. Throws DbError for a missing field.
    static ReportData fromRecordset(Recordset &rs, const QStringList &onlyFields = {});
};
