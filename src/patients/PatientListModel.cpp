#include "patients/PatientListModel.h"

#include "data/Recordset.h"
#include "shell/modMain.h"

namespace {

const char *const kFieldNames[PatientListModel::ColumnCount] = {
    "PatientID", "LastName", "FirstName", "MiddleName", "DateOfBirth", "Gender", "MaritalStatus",
};

const char *const kHeadings[PatientListModel::ColumnCount] = {
    "Patient ID", "Last Name", "First Name", "Middle Name",
    "Date Of Birth", "Gender", "Marital Status",
};

} // namespace

PatientListModel::PatientListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void PatientListModel::load(Recordset &rs)
{
    beginResetModel();
    m_rows.clear();
    if (!rs.isEOF()) {
        // Look the fields up once, not once per row.
        std::array<int, ColumnCount> fields{};
        for (int c = 0; c < ColumnCount; ++c)
            fields[size_t(c)] = rs.FieldIndex(QLatin1String(kFieldNames[c]));
        m_rows.reserve(size_t(rs.RecordCount() - rs.AbsolutePosition() + 1));
        const QVariant empty = QString();
        try {
            while (!rs.isEOF()) {
                std::array<QString, ColumnCount> line;
                for (int c = 0; c < ColumnCount; ++c) {
                    if (fields[size_t(c)] >= 0)
                        line[size_t(c)] = NullToDefault(rs.Value(fields[size_t(c)]), empty)
                                              .toString();
                }
                m_rows.push_back(std::move(line));
                rs.MoveNext();
            }
        } catch (...) {
            endResetModel();
            throw;
        }
    }
    endResetModel();
}

void PatientListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int PatientListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PatientListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PatientListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return QVariant();
    return m_rows[size_t(index.row())][index.column()];
}

QVariant PatientListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(kHeadings[section]);
}
