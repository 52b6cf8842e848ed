#pragma once

#include <vector>

#include <QAbstractTableModel>
#include <QStringList>

class Recordset;

// The report-style list of a patient's visits.
class VisitListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { HistoryID, VisitDate, ChiefComplaint, Physician, Nurse, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Every row of rs from the current one on; NULL shows as "".
    void load(Recordset &rs);
    void clear();
    QString text(int row, Column column) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<QStringList> m_rows;
};

// Widths that fit the visit lists' five columns.
inline QList<int> visitColumnWidths()
{
    return {80, 100, 260, 160, 140};
}
