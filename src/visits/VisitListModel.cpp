#include "visits/VisitListModel.h"

#include "data/DbError.h"
#include "data/Recordset.h"

void VisitListModel::load(Recordset &rs)
{
    static const char *const fields[ColumnCount] = {"HistoryID", "VisitDate", "ChiefComplaint",
                                                    "Physician", "Nurse"};
    int columns[ColumnCount];
    for (int c = 0; c < ColumnCount; ++c) {
        columns[c] = rs.FieldIndex(QLatin1String(fields[c]));
        if (columns[c] < 0)
            throw DbError(3265, QStringLiteral("Item cannot be found in the collection "
                                               "corresponding to the requested name "
                                               "or ordinal: %1.")
                                    .arg(QLatin1String(fields[c])));
    }
    std::vector<QStringList> rows;
    rows.reserve(size_t(rs.RecordCount()));
    for (; !rs.isEOF(); rs.MoveNext()) {
        QStringList row;
        row.reserve(ColumnCount);
        for (int column : columns) {
            const QVariant value = rs.Value(column);
            row << (value.isNull() ? QString() : value.toString());
        }
        rows.push_back(row);
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void VisitListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

QString VisitListModel::text(int row, Column column) const
{
    return m_rows.at(size_t(row)).at(column);
}

int VisitListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int VisitListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant VisitListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return text(index.row(), Column(index.column()));
}

QVariant VisitListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const headings[ColumnCount] = {"History ID", "Visit Date",
                                                      "Chief Complaint", "Physician",
                                                      "Nurse On Duty"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= ColumnCount)
        return {};
    return QLatin1String(headings[section]);
}
