#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QSet>
#include <QString>
#include <functional>
#include <vector>

class Connection;

// Which patients a list shows and in what order: a condition in the windows'
// dialect ("" for every patient) and the name column it is sorted by.
struct PatientListQuery
{
    QString condition;
    QString sortColumn = QStringLiteral("LastName");
    bool descending = false;
    // The name column the condition searches, when it is a name search: on
    // another column than the sort, each page reads whichever of the two
    // indexes costs less for the number of matches.
    QString searchColumn;
};

// The lines of the patient list and the patient selector: the id and six
// columns of text. It reads a page of rows at a time, in the order of the
// index on the sort column, as the view scrolls (canFetchMore/fetchMore), so
// what the user sees costs the same in any size of practice. Each page
// continues after the last line read (its sort key and id), which keeps the
// lines of one load in order and each one once; patients added after the
// load began show at the next load.
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

    // Replaces the lines with the first page of the query's rows. Throws DbError.
    void open(Connection &db, const PatientListQuery &query);
    void clear();
    // The number of rows the query gives in all (one count, kept until the
    // next open); 0 when nothing is open.
    int totalCount();
    // True when totalCount needs no statement: every row is read, or it was counted.
    bool countKnown() const;
    // Runs show at once when the count is known; otherwise one turn of the
    // event loop later, so the first lines paint before a long count, and
    // not at all when another open or clear came first.
    void whenCountable(const std::function<void()> &show);
    // Reads pages until row is loaded or the rows end; false when there is no such row.
    bool fetchUntil(int row);
    // Runs a page read asked for by the view while scrolling, so a failure is
    // shown; false ends the list there.
    using Guard = std::function<bool(const std::function<void()> &)>;
    void setGuard(Guard guard) { m_guard = std::move(guard); }
    // Rows read by the first page and by the next one; later pages double.
    void setPageSizes(int first, int later);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    QString text(int row, Column column) const;

private:
    void readPage(int limit);
    QString pageSql(int limit) const;
    QString conditions() const;
    bool searchesAnotherColumn() const;
    bool readsInSortOrder(int limit) const;
    bool seen(qint64 id);

    Connection *m_db = nullptr;
    Guard m_guard;
    PatientListQuery m_query;
    bool m_open = false;
    bool m_atEnd = true;
    int m_firstPage = 50;
    int m_laterPages = 100;
    int m_nextPage = 100;
    // Patients with a larger id came after the load began.
    qint64 m_lastId = 0;
    // Where the next page starts: the last line's sort key and id.
    QString m_afterKey;
    qint64 m_afterId = 0;
    bool m_started = false;
    bool m_skipped = false; // a line was left out as listed already
    int m_total = -1;
    // Searching one name and sorting by the other: how many rows match (the
    // count stops where the choice of index no longer changes).
    qint64 m_matches = -1;
    bool m_choosesIndex = false; // and names the index to read in each page
    mutable bool m_nameIndexesSeen = false;
    int m_loads = 0; // opens and clears so far

    // The lines, kept small: ids, and the texts of each line back to back in
    // UTF-8, each after its length (7 bits a byte, the last byte below 128).
    std::vector<qint64> m_ids;
    std::vector<quint32> m_starts; // where each line's texts begin
    QByteArray m_text;
    // The ids already listed, so a patient renamed meanwhile is not listed twice.
    std::vector<bool> m_seenBits;
    QSet<qint64> m_seenLarge;
};
