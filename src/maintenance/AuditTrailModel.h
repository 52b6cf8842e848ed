#pragma once

#include <array>
#include <vector>

#include <QAbstractTableModel>
#include <QDate>
#include <QString>

class Connection;

// Which trail rows to show: each part empty (or invalid) for "any".
struct AuditFilter
{
    QString patientId;
    QString userName;
    QDate from; // local days, both included
    QDate to;

    // The where clause (with its "where"), "" for none. Throws
    // std::invalid_argument when the patient id is not a number.
    QString whereClause() const;
};

// The trail rows, newest first, fetched a page at a time as the list scrolls,
// so that a long trail opens and filters at once.
class AuditTrailModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Date, User, Workstation, Action, Table, Record, Patient, ColumnCount };
    static constexpr int kPage = 200;

    using QAbstractTableModel::QAbstractTableModel;

    // Shows the first page of the rows the filter lets through. Throws DbError.
    void load(Connection &db, const AuditFilter &filter);
    void clear();
    // The statement of everything the filter lets through, under readable
    // headings, for the exports.
    static QString exportSql(const AuditFilter &filter);

    QString text(int row, Column column) const;
    QString changes(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    struct Line
    {
        qint64 id = 0;
        std::array<QString, ColumnCount> texts;
        QString changes;
    };
    std::vector<Line> page(qint64 before) const;

    Connection *m_db = nullptr;
    QString m_where;
    std::vector<Line> m_lines;
    bool m_more = false;
};
