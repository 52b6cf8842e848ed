#include "data/SqliteEngine.h"

#include <limits>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlcipher/sqlite3.h>

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Schema.h"

namespace {

constexpr int kBusyTimeoutMs = 10000;
const QString kKeyName = QStringLiteral("__rowid__");

bool isAscii(const unsigned char *s, int n)
{
    for (int i = 0; i < n; ++i) {
        if (s[i] & 0x80)
            return false;
    }
    return true;
}

unsigned char lowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

// ASCII fast path of likeMatch, on the raw bytes.
bool asciiLike(const unsigned char *p, int pn, const unsigned char *t, int tn, int esc)
{
    int pi = 0, ti = 0;
    int starP = -1, starT = 0;
    while (ti < tn) {
        if (pi < pn && esc >= 0 && p[pi] == esc && pi + 1 < pn) {
            if (lowerAscii(p[pi + 1]) == lowerAscii(t[ti])) {
                pi += 2;
                ++ti;
                continue;
            }
        } else if (pi < pn && p[pi] == '%') {
            starP = ++pi;
            starT = ti;
            continue;
        } else if (pi < pn && (p[pi] == '_' || lowerAscii(p[pi]) == lowerAscii(t[ti]))) {
            ++pi;
            ++ti;
            continue;
        }
        if (starP < 0)
            return false;
        pi = starP;
        ti = ++starT;
    }
    while (pi < pn && p[pi] == '%')
        ++pi;
    return pi == pn;
}

QString textOf(sqlite3_value *value)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                             sqlite3_value_bytes(value));
}

void sqlLike(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *pat = sqlite3_value_text(argv[0]);
    const int pn = sqlite3_value_bytes(argv[0]);
    const auto *txt = sqlite3_value_text(argv[1]);
    const int tn = sqlite3_value_bytes(argv[1]);
    QChar escape;
    int esc = -1;
    if (argc == 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
        const QString e = textOf(argv[2]);
        if (e.size() == 1) {
            escape = e.at(0);
            esc = e.at(0).unicode() < 128 ? e.at(0).unicode() : -1;
        }
    }
    bool match;
    if (isAscii(pat, pn) && isAscii(txt, tn) && (escape.isNull() || esc >= 0)) {
        match = asciiLike(pat, pn, txt, tn, esc);
    } else {
        match = likeMatch(QString::fromUtf8(reinterpret_cast<const char *>(pat), pn),
                          QString::fromUtf8(reinterpret_cast<const char *>(txt), tn), escape);
    }
    sqlite3_result_int(ctx, match ? 1 : 0);
}

// StrComp(a, b, mode): -1, 0 or 1; mode 0 compares exactly, 1 without case.
void sqlStrComp(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const int mode = argc >= 3 ? sqlite3_value_int(argv[2]) : 0;
    const int r = QString::compare(textOf(argv[0]), textOf(argv[1]),
                                   mode == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive);
    sqlite3_result_int(ctx, r < 0 ? -1 : (r > 0 ? 1 : 0));
}

// FoldCase(text): the case-folded text, as the like compares it; "" for
// NULL. The indexes on names hold it.
void sqlFoldCase(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
        return;
    }
    const auto *text = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    if (isAscii(text, n)) {
        std::string folded(reinterpret_cast<const char *>(text), size_t(n));
        for (char &c : folded)
            c = char(lowerAscii(static_cast<unsigned char>(c)));
        sqlite3_result_text(ctx, folded.data(), n, SQLITE_TRANSIENT);
        return;
    }
    const QByteArray folded =
        QString::fromUtf8(reinterpret_cast<const char *>(text), n).toCaseFolded().toUtf8();
    sqlite3_result_text(ctx, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

} // namespace

void registerSqlFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "FoldCase", 1, flags, nullptr, sqlFoldCase, nullptr, nullptr);
    sqlite3_create_function(db, "like", 2, flags, nullptr, sqlLike, nullptr, nullptr);
    sqlite3_create_function(db, "like", 3, flags, nullptr, sqlLike, nullptr, nullptr);
    sqlite3_create_function(db, "StrComp", 2, flags, nullptr, sqlStrComp, nullptr, nullptr);
    sqlite3_create_function(db, "StrComp", 3, flags, nullptr, sqlStrComp, nullptr, nullptr);
}

namespace {

// The one table every result column comes from, as the engine itself reports
// it; "" when a column is computed, comes from elsewhere, or tables mix. The
// words of the statement (a value holding "join", say) play no part.
QString sourceTable(sqlite3_stmt *stmt)
{
    const int cols = sqlite3_column_count(stmt);
    if (cols == 0 || !sqlite3_stmt_readonly(stmt))
        return QString();
    QString table;
    for (int c = 0; c < cols; ++c) {
        const char *name = sqlite3_column_table_name(stmt, c);
        if (!name)
            return QString();
        const QString t = QString::fromUtf8(name);
        if (table.isEmpty())
            table = t;
        else if (t.compare(table, Qt::CaseInsensitive) != 0)
            return QString();
    }
    return table;
}

QString withRowId(const QString &sql)
{
    static const QRegularExpression select(QStringLiteral("^\\s*select\\s+"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = select.match(sql);
    if (!m.hasMatch())
        return QString();
    return sql.left(m.capturedEnd()) + QStringLiteral("rowid AS ") + kKeyName
           + QStringLiteral(", ") + sql.mid(m.capturedEnd());
}

void bindVariant(sqlite3_stmt *stmt, int index, const QVariant &v)
{
    if (v.isNull()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        sqlite3_bind_int64(stmt, index, v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt, index, v.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        sqlite3_bind_blob64(stmt, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        sqlite3_bind_text64(stmt, index, t.constData(), sqlite3_uint64(t.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
    }
    }
}

// The INTEGER PRIMARY KEY column of a table, which is its row id; "" for none.
QString rowIdColumn(sqlite3 *db, const QString &table)
{
    sqlite3_stmt *info = nullptr;
    const QByteArray q = QStringLiteral("PRAGMA table_info('%1')")
                             .arg(QString(table).replace(QLatin1Char('\''), QStringLiteral("''")))
                             .toUtf8();
    QString name;
    int keys = 0;
    if (sqlite3_prepare_v2(db, q.constData(), q.size(), &info, nullptr) == SQLITE_OK) {
        // cid, name, type, notnull, dflt_value, pk
        while (sqlite3_step(info) == SQLITE_ROW) {
            if (sqlite3_column_int(info, 5) == 0)
                continue;
            ++keys;
            const QString type =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info, 2)));
            if (type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
                name = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info, 1)));
        }
    }
    sqlite3_finalize(info);
    return keys == 1 ? name : QString();
}

} // namespace

[[noreturn]] void raiseSqlite(sqlite3 *db, int rc)
{
    if (rc == SQLITE_READONLY_DBMOVED)
        throw DbError(kDatabaseReplacedError, databaseReplacedText());
    QString text =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    if ((rc & 0xff) == SQLITE_NOTADB)
        text = QStringLiteral("The file is not a database, or the database password is wrong.");
    else if ((rc & 0xff) == SQLITE_BUSY)
        text = databaseBusyText();
    throw DbError(rc & 0xff, text);
}

void execOn(sqlite3 *db, const QString &sql)
{
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = utf8.constData();
    const char *end = tail + utf8.size();
    while (tail < end) {
        sqlite3_stmt *stmt = nullptr;
        const char *next = nullptr;
        int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &stmt, &next);
        if (rc != SQLITE_OK)
            raiseSqlite(db, rc);
        if (!stmt)
            break; // only blanks or comments left
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {}
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            raiseSqlite(db, rc);
        tail = next;
    }
}

sqlite3 *openDatabaseFile(const QString &path, const QString &password)
{
    if (path.trimmed().isEmpty())
        throw DbError(3024, QStringLiteral("No database file is set."));
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw DbError(3024, QStringLiteral("Could not find file '%1'.").arg(path));
    sqlite3 *db = nullptr;
    int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QStringLiteral("Could not open file '%1': %2")
                                .arg(path, QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_close(db);
        throw DbError(rc, msg);
    }
    sqlite3_extended_result_codes(db, 1);
    if (!password.isEmpty()) {
        const QByteArray key = password.toUtf8();
        sqlite3_key(db, key.constData(), key.size());
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // An earlier version's indexes on names are built with FoldCase: no write
    // reaches them without it until the file is brought up to date.
    registerSqlFunctions(db);
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const int code = rc;
        sqlite3_close(db);
        raiseSqlite(nullptr, code);
    }
    return db;
}

namespace {

// A statement of this connection, finalized when it goes.
class Prepared
{
public:
    Prepared(sqlite3 *db, const char *sql) : m_db(db)
    {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Prepared() { sqlite3_finalize(m_stmt); }
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;
    int rc() const { return m_rc; }
    sqlite3_stmt *get() const { return m_stmt; }
    int step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            raiseSqlite(m_db, rc);
        return rc;
    }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc;
};

void bindText(sqlite3_stmt *stmt, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text64(stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

QVariant textColumn(sqlite3_stmt *stmt, int c)
{
    if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
        return QVariant();
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                             sqlite3_column_bytes(stmt, c));
}

} // namespace

void fillFoldedNamesOn(sqlite3 *db)
{
    // A page of rows at a time, by row id: the rows change as they are
    // filled, so no statement reads while another writes them.
    Prepared missing(db, "select rowid, LastName, FirstName from PatientRecords where "
                         "(FoldedLastName is null or FoldedFirstName is null) and rowid > ?1 "
                         "order by rowid limit 5000");
    if (missing.rc() != SQLITE_OK) {
        if ((missing.rc() & 0xff) == SQLITE_ERROR)
            return; // no folded columns: nothing to fill
        raiseSqlite(db, missing.rc());
    }
    Prepared fill(db, "update PatientRecords set FoldedLastName = ?1, FoldedFirstName = ?2 "
                      "where rowid = ?3");
    if (fill.rc() != SQLITE_OK)
        raiseSqlite(db, fill.rc());
    struct Row
    {
        qint64 id;
        QVariant last;
        QVariant first;
    };
    std::vector<Row> rows;
    qint64 after = std::numeric_limits<qint64>::min();
    do {
        rows.clear();
        sqlite3_bind_int64(missing.get(), 1, after);
        while (missing.step() == SQLITE_ROW) {
            rows.push_back({sqlite3_column_int64(missing.get(), 0),
                            textColumn(missing.get(), 1), textColumn(missing.get(), 2)});
        }
        missing.reset();
        for (const Row &row : rows) {
            bindText(fill.get(), 1, foldedText(row.last));
            bindText(fill.get(), 2, foldedText(row.first));
            sqlite3_bind_int64(fill.get(), 3, row.id);
            fill.step();
            fill.reset();
            after = row.id;
        }
    } while (!rows.empty());
}

SqliteEngine::SqliteEngine(const QString &path, const QString &password)
    : m_path(path), m_db(openDatabaseFile(path, password))
{
    // The file may sit on a shared folder: keep the classic rollback journal.
    sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
}

SqliteEngine::~SqliteEngine()
{
    sqlite3_close_v2(m_db);
}

void SqliteEngine::raise(int rc) const
{
    raiseSqlite(m_db, rc);
}

QString SqliteEngine::translate(const QString &sql) const
{
    return translateSql(sql, Schema::foldedColumns());
}

namespace {

// Statements that may write a patient's name: their rows need folded names.
bool writesPatients(const QString &sql)
{
    static const QRegularExpression select(QStringLiteral("^\\s*(select|pragma)\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return sql.contains(QLatin1String("PatientRecords"), Qt::CaseInsensitive)
           && !select.match(sql).hasMatch();
}

} // namespace

template <class Write>
auto SqliteEngine::writingNames(const Write &write)
{
    // Outside a transaction the write and the filling take the lock together,
    // so no other desk ever sees the row without its folded names.
    const bool own = sqlite3_get_autocommit(m_db) != 0;
    if (own)
        beginWrite();
    try {
        auto result = write();
        fillFoldedNamesOn(m_db);
        if (own)
            commit();
        return result;
    } catch (...) {
        if (own)
            rollback();
        throw;
    }
}

void SqliteEngine::execute(const QString &sql)
{
    const QString translated = translate(sql);
    if (!writesPatients(translated)) {
        execOn(m_db, translated);
        return;
    }
    writingNames([&] {
        execOn(m_db, translated);
        return true;
    });
}

namespace {

// The current row of stmt, appended to rows.
void addRow(ResultRows &rows, sqlite3_stmt *stmt)
{
    for (int c = 0; c < rows.cols; ++c) {
        switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_INTEGER:
            rows.addInteger(sqlite3_column_int64(stmt, c));
            break;
        case SQLITE_FLOAT:
            rows.addReal(sqlite3_column_double(stmt, c));
            break;
        case SQLITE_TEXT:
            rows.addBytes(Cell::Text, reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                          sqlite3_column_bytes(stmt, c));
            break;
        case SQLITE_BLOB:
            rows.addBytes(Cell::Blob, static_cast<const char *>(sqlite3_column_blob(stmt, c)),
                          sqlite3_column_bytes(stmt, c));
            break;
        default:
            rows.addNull();
        }
    }
}

// A statement kept open between chunks; it holds a read lock on the file
// until the last row is read or the stream goes.
class SqliteRowStream : public RowStream
{
public:
    SqliteRowStream(const SqliteEngine &engine, sqlite3_stmt *stmt) : m_engine(engine), m_stmt(stmt)
    {
        m_cols = sqlite3_column_count(stmt);
        for (int c = 0; c < m_cols; ++c)
            m_names << QString::fromUtf8(sqlite3_column_name(stmt, c));
    }
    ~SqliteRowStream() override { sqlite3_finalize(m_stmt); }

    bool next(ResultRows &rows, int maxRows) override
    {
        rows = ResultRows();
        rows.names = m_names;
        rows.cols = m_cols;
        if (!m_stmt)
            return false;
        int rc = SQLITE_ROW;
        for (int n = 0; n < maxRows && (rc = sqlite3_step(m_stmt)) == SQLITE_ROW; ++n)
            addRow(rows, m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        if (rc != SQLITE_DONE)
            m_engine.raise(rc);
        return false;
    }

private:
    const SqliteEngine &m_engine;
    sqlite3_stmt *m_stmt;
    int m_cols = 0;
    QStringList m_names;
};

} // namespace

ResultRows SqliteEngine::query(const QString &sql, bool forUpdate)
{
    const QString translated = translate(sql);
    const auto prepare = [&](const QString &text, sqlite3_stmt **stmt) {
        const QByteArray utf8 = text.toUtf8();
        return sqlite3_prepare_v2(m_db, utf8.constData(), utf8.size(), stmt, nullptr);
    };
    sqlite3_stmt *stmt = nullptr;
    int rc = prepare(translated, &stmt);
    if (rc != SQLITE_OK)
        raise(rc);
    ResultRows rows;
    if (forUpdate)
        rows.table = sourceTable(stmt);
    if (!rows.table.isEmpty()) {
        // Rows are written back by their row id. A statement over a join, a view
        // or a sub-select has none to offer, and stays read-only.
        sqlite3_stmt *keyed = nullptr;
        const QString keyedSql = withRowId(translated);
        const auto ownRowId = [&] {
            const char *origin = sqlite3_column_table_name(keyed, 0);
            return origin && rows.table.compare(QString::fromUtf8(origin), Qt::CaseInsensitive) == 0;
        };
        if (!keyedSql.isEmpty() && prepare(keyedSql, &keyed) == SQLITE_OK && keyed && ownRowId()) {
            sqlite3_finalize(stmt);
            stmt = keyed;
            rows.keyed = true;
        } else {
            sqlite3_finalize(keyed);
            rows.table.clear();
        }
    }

    const int cols = sqlite3_column_count(stmt);
    rows.cols = cols;
    for (int c = rows.keyed ? 1 : 0; c < cols; ++c)
        rows.names << QString::fromUtf8(sqlite3_column_name(stmt, c));
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        addRow(rows, stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        raise(rc);
    return rows;
}

std::unique_ptr<RowStream> SqliteEngine::stream(const QString &sql)
{
    const QByteArray utf8 = translate(sql).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), utf8.size(), &stmt, nullptr);
    if (rc != SQLITE_OK)
        raise(rc);
    return std::make_unique<SqliteRowStream>(*this, stmt);
}

QVariant SqliteEngine::writeRow(const RowWrite &row)
{
    if (row.table.compare(QLatin1String("PatientRecords"), Qt::CaseInsensitive) == 0)
        return writingNames([&] { return writeRowAs(row); });
    return writeRowAs(row);
}

QVariant SqliteEngine::writeRowAs(const RowWrite &row)
{
    const QString table = QLatin1Char('[') + row.table + QLatin1Char(']');
    QString sql;
    if (row.insert) {
        if (row.columns.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        } else {
            QStringList marks;
            for (int i = 0; i < row.columns.size(); ++i)
                marks << QStringLiteral("?");
            sql = QStringLiteral("INSERT INTO %1 ([%2]) VALUES (%3)")
                      .arg(table, row.columns.join(QStringLiteral("],[")),
                           marks.join(QLatin1Char(',')));
        }
    } else {
        sql = QStringLiteral("UPDATE %1 SET [%2]=? WHERE rowid=?")
                  .arg(table, row.columns.join(QStringLiteral("]=?,[")));
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, utf8.constData(), utf8.size(), &stmt, nullptr);
    if (rc != SQLITE_OK)
        raise(rc);
    int index = 1;
    for (const QVariant &v : row.values)
        bindVariant(stmt, index++, v);
    if (!row.insert)
        sqlite3_bind_int64(stmt, index, row.key.toLongLong());
    rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        raise(rc);
    if (row.insert)
        return QVariant(qlonglong(sqlite3_last_insert_rowid(m_db)));
    if (sqlite3_changes(m_db) == 0)
        throw DbError(-2147217864, QStringLiteral("Row cannot be located for updating. Some "
                                                  "values may have been changed since it was "
                                                  "last read."));
    // An assigned integer key moves the row id with it.
    const QString key = rowIdColumn(m_db, row.table);
    for (int i = 0; !key.isEmpty() && i < row.columns.size(); ++i) {
        if (row.columns.at(i).compare(key, Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 id = row.values.at(i).toLongLong(&ok);
            if (ok)
                return QVariant(qlonglong(id));
        }
    }
    return row.key;
}

void SqliteEngine::beginWrite()
{
    execOn(m_db, QStringLiteral("BEGIN IMMEDIATE"));
}

void SqliteEngine::commit()
{
    execOn(m_db, QStringLiteral("COMMIT"));
}

void SqliteEngine::rollback()
{
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteEngine::replaced() const
{
    int moved = 0;
    return sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
           && moved != 0;
}

QStringList SqliteEngine::schemaObjects()
{
    const ResultRows rows = query(
        QStringLiteral(
            "select lower(name) from sqlite_master where type in ('table', 'index', 'trigger')"),
        false);
    QStringList names;
    for (const Cell &c : rows.cells)
        names << rows.value(c).toString();
    return names;
}
