#include "reports/ReportData.h"

#include <QLocale>

#include "data/DbError.h"
#include "data/Recordset.h"

QString valueText(const QVariant &value)
{
    if (value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return QString();
    case QMetaType::Double:
    case QMetaType::Float: {
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    default:
        return value.toString();
    }
}

int ReportData::fieldIndex(const QString &name) const
{
    for (int i = 0; i < fields.size(); ++i) {
        if (fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

ReportData ReportData::fromRecordset(Recordset &rs, const QStringList &onlyFields)
{
    ReportData data;
    std::vector<int> columns;
    if (onlyFields.isEmpty()) {
        data.fields = rs.FieldNames();
        for (int i = 0; i < rs.FieldCount(); ++i)
            columns.push_back(i);
    } else {
        for (const QString &name : onlyFields) {
            const int index = rs.FieldIndex(name);
            if (index < 0)
                throw DbError(3265, QStringLiteral("Data field '%1' not found.").arg(name));
            data.fields << name;
            columns.push_back(index);
        }
    }
    if (rs.State() == 0 || rs.RecordCount() == 0)
        return data;

    const int position = rs.AbsolutePosition();
    data.rows.reserve(size_t(rs.RecordCount()));
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
        std::vector<QVariant> row;
        row.reserve(columns.size());
        for (int c : columns)
            row.push_back(rs.Value(c));
        data.rows.push_back(std::move(row));
    }
    if (position > 0)
        rs.Move(position);
    return data;
}
