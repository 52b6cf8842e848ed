#pragma once

#include <array>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

class Recordset;

// The lines of the user list: one per account, with the name and privilege
// already deciphered, so the view and the commands read plain text.
class UserListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { UserID, UserName, Privilege, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Replaces the lines with every row of rs from the current one on.
    void load(Recordset &rs);
    QString text(int row, Column column) const { return m_rows.at(size_t(row))[column]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<std::array<QString, ColumnCount>> m_rows;
};
