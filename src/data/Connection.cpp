#include "data/Connection.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include "data/DbError.h"
#include "data/Dialect.h"

namespace {

constexpr int kBusyTimeoutMs = 10000;

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
        const QString e =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[2])));
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
    const QString a =
        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])));
    const QString b =
        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[1])));
    const int r = QString::compare(a, b, mode == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive);
    sqlite3_result_int(ctx, r < 0 ? -1 : (r > 0 ? 1 : 0));
}

void registerFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "like", 2, flags, nullptr, sqlLike, nullptr, nullptr);
    sqlite3_create_function(db, "like", 3, flags, nullptr, sqlLike, nullptr, nullptr);
    sqlite3_create_function(db, "StrComp", 2, flags, nullptr, sqlStrComp, nullptr, nullptr);
    sqlite3_create_function(db, "StrComp", 3, flags, nullptr, sqlStrComp, nullptr, nullptr);
}

[[noreturn]] void raiseFrom(sqlite3 *db, int rc)
{
    QString text =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    if ((rc & 0xff) == SQLITE_NOTADB)
        text = QStringLiteral("The file is not a database, or the database password is wrong.");
    else if ((rc & 0xff) == SQLITE_BUSY)
        text = QStringLiteral("The database is busy: another workstation is writing to it. "
                              "Please try again.");
    throw DbError(rc, text);
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
            raiseFrom(db, rc);
        if (!stmt)
            break; // only blanks or comments left
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {}
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            raiseFrom(db, rc);
        tail = next;
    }
}

// Opens a file without creating it and checks the key by reading the schema.
sqlite3 *openFile(const QString &path, const QString &password)
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
    if (!password.isEmpty()) {
        const QByteArray key = password.toUtf8();
        sqlite3_key(db, key.constData(), key.size());
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const int code = rc;
        sqlite3_close(db);
        raiseFrom(nullptr, code);
    }
    return db;
}

} // namespace

Connection::~Connection()
{
    Close();
}

void Connection::Open(const QString &path, const QString &password)
{
    Close();
    m_db = openFile(path, password);
    m_path = path;
    // The file may sit on a shared folder: keep the classic rollback journal.
    sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    registerFunctions(m_db);
}

void Connection::Close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

sqlite3 *Connection::requireOpen() const
{
    if (!m_db)
        throw DbError(3704, QStringLiteral("Operation is not allowed when the object is closed."));
    return m_db;
}

void Connection::raise(int rc) const
{
    raiseFrom(m_db, rc);
}

void Connection::Execute(const QString &sql)
{
    execOn(requireOpen(), translateSql(sql));
}

Transaction::Transaction(Connection &conn) : m_conn(conn)
{
    m_conn.Execute(QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (!m_done && m_conn.State()) {
        sqlite3_exec(m_conn.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit()
{
    m_conn.Execute(QStringLiteral("COMMIT"));
    m_done = true;
}

void changeDatabasePassword(const QString &path, const QString &oldPassword,
                            const QString &newPassword)
{
    sqlite3 *db = openFile(path, oldPassword);
    const QString temp = path + QStringLiteral(".rekey");
    QFile::remove(temp);
    {
        // The connection may not create files; an empty file is an empty database.
        QFile empty(temp);
        if (!empty.open(QIODevice::WriteOnly)) {
            sqlite3_close(db);
            throw DbError(3051, QStringLiteral("Could not write beside '%1'.").arg(path));
        }
    }
    try {
        QString attach =
            QStringLiteral("ATTACH DATABASE '%1' AS target KEY '%2'")
                .arg(QString(temp).replace(QLatin1Char('\''), QStringLiteral("''")),
                     QString(newPassword).replace(QLatin1Char('\''), QStringLiteral("''")));
        execOn(db, attach);
        execOn(db, QStringLiteral("SELECT sqlcipher_export('target')"));
        execOn(db, QStringLiteral("DETACH DATABASE target"));
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(temp);
        throw;
    }
    sqlite3_close(db);
    if (!databaseOpens(temp, newPassword)) {
        QFile::remove(temp);
        throw DbError(
            3049,
            QStringLiteral("The re-encrypted copy of '%1' could not be read back.").arg(path));
    }
    const QString old = path + QStringLiteral(".old");
    QFile::remove(old);
    if (!QFile::rename(path, old) || !QFile::rename(temp, path)) {
        if (!QFile::exists(path))
            QFile::rename(old, path);
        QFile::remove(temp);
        throw DbError(3051, QStringLiteral("Could not replace '%1'.").arg(path));
    }
    QFile::remove(old);
}

bool databaseOpens(const QString &path, const QString &password)
{
    try {
        sqlite3 *db = openFile(path, password);
        sqlite3_close(db);
        return true;
    } catch (const DbError &) {
        return false;
    }
}

QString cipherVersion()
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
        sqlite3_close(db);
        return QString();
    }
    QString version;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA cipher_version", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        version = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return version;
}
