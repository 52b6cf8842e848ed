#include "users/UserListModel.h"

#include "data/Cipher.h"
#include "data/Recordset.h"

void UserListModel::load(Recordset &rs)
{
    beginResetModel();
    m_rows.clear();
    try {
        for (; !rs.isEOF(); rs.MoveNext()) {
            m_rows.push_back({rs.Text(QStringLiteral("UserID")),
                              D(rs.Text(QStringLiteral("UserName"))),
                              D(rs.Text(QStringLiteral("Privilege")))});
        }
    } catch (...) {
        // The rows read so far stay listed; the caller reports the error.
        endResetModel();
        throw;
    }
    endResetModel();
}

int UserListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int UserListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UserListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return text(index.row(), Column(index.column()));
}

QVariant UserListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const headings[ColumnCount] = {"User ID", "Username", "Priviledge"};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= ColumnCount)
        return {};
    return QLatin1String(headings[section]);
}
