#include "patients/PatientListModel.h"

#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "shell/modMain.h"

#include <QTimer>

#include <cmath>

namespace {

const char *const kHeadings[PatientListModel::ColumnCount] = {
    "Patient ID", "Last Name", "First Name", "Middle Name",
    "Date Of Birth", "Gender", "Marital Status",
};

// Ids up to this have a bit each; a practice beyond it gets a set instead.
constexpr qint64 kLargestBitmapId = qint64(1) << 26;
// Later pages double up to this: a long scroll takes few statements.
constexpr int kLargestPage = 2000;
// Reading a match by the searched name's index and sorting it costs about
// this many times as much as passing an entry of the sort name's index.
constexpr double kScanCost = 6.0;

} // namespace

PatientListModel::PatientListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void PatientListModel::setPageSizes(int first, int later)
{
    m_firstPage = qMax(1, first);
    m_laterPages = qMax(1, later);
}

void PatientListModel::clear()
{
    ++m_loads;
    beginResetModel();
    m_db = nullptr;
    m_open = false;
    m_atEnd = true;
    m_started = false;
    m_skipped = false;
    m_total = -1;
    m_choosesIndex = false;
    m_ids = {};
    m_starts = {};
    m_text = QByteArray();
    m_seenBits = {};
    m_seenLarge = {};
    endResetModel();
}

void PatientListModel::open(Connection &db, const PatientListQuery &query)
{
    clear();
    Recordset rs;
    rs.Open(QStringLiteral("select max(PatientID) from [PatientRecords]"), db, adOpenStatic,
            adLockReadOnly);
    const QVariant largest = rs.isEOF() ? QVariant() : rs.Value(0);
    rs.Close();
    m_db = &db;
    m_query = query;
    m_nextPage = m_laterPages;
    m_open = true;
    m_lastId = largest.isNull() ? 0 : largest.toLongLong();
    m_atEnd = largest.isNull();
    if (m_lastId < kLargestBitmapId)
        m_seenBits.assign(size_t(qMax<qint64>(m_lastId, 0) + 1), false);
    m_matches = -1;
    m_choosesIndex = !m_atEnd && searchesAnotherColumn();
    if (m_choosesIndex) {
        // Beyond this many matches even the longest page reads in sort order.
        const qint64 enough =
            qint64(std::sqrt(double(qMax(kLargestPage, m_laterPages)) * double(m_lastId)
                             / kScanCost))
            + 1;
        Recordset count;
        count.Open(QStringLiteral("select count(*) from (select 1 from [PatientRecords] where ")
                       + conditions() + QStringLiteral(" limit ") + QString::number(enough)
                       + QStringLiteral(") as matches"),
                   db, adOpenStatic, adLockReadOnly);
        m_matches = count.isEOF() ? 0 : count.Value(0).toLongLong();
    }
    if (!m_atEnd)
        readPage(m_firstPage);
}

bool PatientListModel::searchesAnotherColumn() const
{
    // The server's planner weighs this with its own statistics.
    const QHash<QString, QString> &folded = Schema::foldedColumns();
    if (!m_db || m_db->engine().isServer() || m_query.condition.isEmpty()
        || !folded.contains(m_query.searchColumn.toLower())
        || !folded.contains(m_query.sortColumn.toLower())
        || m_query.searchColumn.compare(m_query.sortColumn, Qt::CaseInsensitive) == 0)
        return false;
    // A database that could not gain the indexes (a read-only file) is read
    // without; once there, they stay, so one look is enough.
    if (!m_nameIndexesSeen) {
        const QStringList present = m_db->engine().schemaObjects();
        m_nameIndexesSeen = present.contains(QStringLiteral("patientrecordslastname"))
                            && present.contains(QStringLiteral("patientrecordsfirstname"));
    }
    return m_nameIndexesSeen;
}

bool PatientListModel::readsInSortOrder(int limit) const
{
    // Going down the sort column's index passes about rows * limit / matches
    // entries to find a page; reading every match from the searched column's
    // index and sorting them costs about kScanCost times as much a match.
    return double(m_matches) * double(m_matches) * kScanCost > double(limit) * double(m_lastId);
}

QString PatientListModel::conditions() const
{
    QString sql;
    if (!m_query.condition.isEmpty())
        sql += QLatin1Char('(') + m_query.condition + QStringLiteral(") and ");
    // The "+" keeps the engine from reading by id instead of by the name's index.
    return sql + QStringLiteral("+[PatientID] <= ") + QString::number(m_lastId);
}

QString PatientListModel::pageSql(int limit) const
{
    const QString key = QStringLiteral("FoldCase([") + m_query.sortColumn + QStringLiteral("])");
    const QString direction = m_query.descending ? QStringLiteral(" desc") : QStringLiteral(" asc");
    const QString order = QStringLiteral(" order by ") + key + direction
                          + QStringLiteral(", [PatientID]") + direction;
    // Which patients, in order, from a name index alone; then their lines by id.
    QString ids = QStringLiteral("select [PatientID] from [PatientRecords]");
    if (m_choosesIndex) {
        ids += QStringLiteral(" indexed by [PatientRecords")
               + (readsInSortOrder(limit) ? m_query.sortColumn : m_query.searchColumn)
               + QLatin1Char(']');
    }
    ids += QStringLiteral(" where ") + conditions();
    if (m_started) {
        // After the last line: (key, id) beyond it, written so that the key
        // alone bounds the index range.
        const QString after = QLatin1Char('\'') + sqlText(m_afterKey) + QLatin1Char('\'');
        const QString beyond = m_query.descending ? QStringLiteral(" < ") : QStringLiteral(" > ");
        ids += QStringLiteral(" and ") + key + (m_query.descending ? QStringLiteral(" <= ")
                                                                   : QStringLiteral(" >= "))
               + after + QStringLiteral(" and (") + key + beyond + after
               + QStringLiteral(" or [PatientID]") + beyond + QString::number(m_afterId)
               + QLatin1Char(')');
    }
    ids += order + QStringLiteral(" limit ") + QString::number(limit);
    return QStringLiteral("SELECT ") + key
           + QStringLiteral(",PatientID,LastName,FirstName,MiddleName,DateOfBirth,Gender,"
                            "MaritalStatus FROM [PatientRecords] where [PatientID] in (")
           + ids + QLatin1Char(')') + order;
}

bool PatientListModel::seen(qint64 id)
{
    if (id >= 0 && id < qint64(m_seenBits.size())) {
        if (m_seenBits[size_t(id)])
            return true;
        m_seenBits[size_t(id)] = true;
        return false;
    }
    if (m_seenLarge.contains(id))
        return true;
    m_seenLarge.insert(id);
    return false;
}

void PatientListModel::readPage(int limit)
{
    Recordset rs;
    rs.Open(pageSql(limit), *m_db, adOpenStatic, adLockReadOnly);
    const int read = rs.RecordCount();
    std::vector<qint64> ids;
    std::vector<quint32> starts;
    QByteArray text;
    ids.reserve(size_t(read));
    starts.reserve(size_t(read));
    const QVariant empty = QString();
    for (; !rs.isEOF(); rs.MoveNext()) {
        m_afterKey = rs.Value(0).toString();
        m_afterId = rs.Value(1).toLongLong();
        m_started = true;
        if (seen(m_afterId)) {
            m_skipped = true;
            continue;
        }
        ids.push_back(m_afterId);
        starts.push_back(quint32(m_text.size() + text.size()));
        for (int c = 1; c < ColumnCount; ++c) {
            const QByteArray utf8 = NullToDefault(rs.Value(c + 1), empty).toString().toUtf8();
            quint32 size = quint32(utf8.size());
            for (; size >= 0x80; size >>= 7)
                text += char(0x80 | (size & 0x7F));
            text += char(size);
            text += utf8;
        }
    }
    m_atEnd = read < limit;
    if (ids.empty())
        return;
    const int first = int(m_ids.size());
    // Once the count is known, the lines of a long scroll need room only once.
    if (m_total > 0 && m_ids.capacity() < size_t(m_total)) {
        m_ids.reserve(size_t(m_total));
        m_starts.reserve(size_t(m_total));
    }
    beginInsertRows(QModelIndex(), first, first + int(ids.size()) - 1);
    m_ids.insert(m_ids.end(), ids.begin(), ids.end());
    m_starts.insert(m_starts.end(), starts.begin(), starts.end());
    m_text += text;
    endInsertRows();
}

int PatientListModel::totalCount()
{
    if (!m_open)
        return 0;
    if (m_total < 0) {
        if (countKnown()) {
            m_total = rowCount();
        } else {
            Recordset rs;
            const QString bound = QString::number(m_lastId);
            // Every patient: the engine counts a whole table fastest with no
            // condition at all, and the few added since the load lie past the bound.
            const QString sql =
                m_query.condition.isEmpty()
                    ? QStringLiteral("select (select count(*) from [PatientRecords]) - (select "
                                     "count(*) from [PatientRecords] where [PatientID] > ")
                          + bound + QLatin1Char(')')
                    : QStringLiteral("select count(*) from [PatientRecords] where ")
                          + conditions();
            rs.Open(sql, *m_db, adOpenStatic, adLockReadOnly);
            m_total = rs.isEOF() ? 0 : rs.Value(0).toInt();
        }
    }
    return m_total;
}

bool PatientListModel::countKnown() const
{
    return !m_open || m_total >= 0 || (m_atEnd && !m_skipped);
}

void PatientListModel::whenCountable(const std::function<void()> &show)
{
    if (countKnown()) {
        show();
        return;
    }
    QTimer::singleShot(0, this, [this, load = m_loads, show] {
        if (load == m_loads && m_open)
            show();
    });
}

bool PatientListModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_open && !m_atEnd;
}

void PatientListModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    // The view asks while scrolling: a failure ends the list here rather than
    // taking the program down; the next load tries again.
    bool read = false;
    if (m_guard) {
        read = m_guard([this] { readPage(m_nextPage); });
    } else {
        try {
            readPage(m_nextPage);
            read = true;
        } catch (...) {
        }
    }
    if (!read)
        m_atEnd = true;
    m_nextPage = qMin(m_nextPage * 2, qMax(kLargestPage, m_laterPages));
}

bool PatientListModel::fetchUntil(int row)
{
    while (row >= rowCount() && canFetchMore(QModelIndex())) {
        readPage(m_nextPage);
        m_nextPage = qMin(m_nextPage * 2, qMax(kLargestPage, m_laterPages));
    }
    return row >= 0 && row < rowCount();
}

QString PatientListModel::text(int row, Column column) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    if (column == PatientID)
        return QString::number(m_ids[size_t(row)]);
    const char *at = m_text.constData() + m_starts[size_t(row)];
    for (int c = 1;; ++c) {
        quint32 size = 0;
        for (int shift = 0;; shift += 7) {
            const quint8 byte = quint8(*at++);
            size |= quint32(byte & 0x7F) << shift;
            if (byte < 0x80)
                break;
        }
        if (c == column)
            return QString::fromUtf8(at, qsizetype(size));
        at += size;
    }
}

int PatientListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

int PatientListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PatientListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return QVariant();
    return text(index.row(), Column(index.column()));
}

QVariant PatientListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(kHeadings[section]);
}
