#pragma once

#include <array>
#include <vector>

#include <QAbstractTableModel>
#include <QString>

class Recordset;

// The lines of the patient list: one per PatientRecords row, with the id
// and six columns of text. Filled once per query, read by the view.
class PatientListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        PatientID,
        LastName,
        FirstName,
        MiddleName,
        DateOfBirth,
        Gender,
        MaritalStatus,
        ColumnCount
    };

    explicit PatientListModel(QObject *parent = nullptr);

    // Replaces the lines with the rows from the current one to the end; the
    // recordset is then at its end.
    void load(Recordset &rs);
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    QString text(int row, Column column) const { return m_rows[size_t(row)][column]; }

private:
    std::vector<std::array<QString, ColumnCount>> m_rows;
};
