#include "data/Connection.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <sqlcipher/sqlite3.h>

#include "data/Audit.h"
#include "data/DbError.h"
#include "data/PgEngine.h"
#include "data/SqliteEngine.h"

bool isServerUri(const QString &text)
{
    const QString t = text.trimmed();
    return t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
           || t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString hidePasswords(const QString &text)
{
    // The user part of an address ends at its last @ before the host's path.
    static const QRegularExpression inAddress(
        QStringLiteral("(postgres(?:ql)?://[^/\\s:@?#]*:)[^\\s/]*@"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression asSetting(
        QStringLiteral("(\\bpassword\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'?|[^&\\s'\"]+)"),
        QRegularExpression::CaseInsensitiveOption);
    QString hidden = text;
    hidden.replace(inAddress, QStringLiteral("\\1***@"));
    hidden.replace(asSetting, QStringLiteral("\\1***"));
    return hidden;
}

Connection::Connection() = default;

Connection::~Connection()
{
    Close();
}

void Connection::Open(const QString &path, const QString &password)
{
    Close();
    m_path = path;
    m_password = password;
    try {
        if (isServerUri(path))
            m_engine = std::make_unique<PgEngine>(
                path.trimmed(), password, m_serverTimeoutSource ? m_serverTimeoutSource() : 20);
        else
            m_engine = std::make_unique<SqliteEngine>(path, password);
    } catch (...) {
        m_openFailed = true;
        throw;
    }
}

void Connection::Close()
{
    m_engine.reset();
    m_keptWritten = 0;
    m_depth = 0;
    m_reopen = false;
    m_openFailed = false;
}

AuditWho Connection::who() const
{
    if (m_whoSource)
        return m_whoSource();
    return {QString(), QString(), QSysInfo::machineHostName()};
}

Engine &Connection::engine()
{
    if (!m_engine && m_openFailed) {
        if (m_retryOpen)
            m_retryOpen();
        else
            Open(m_path, m_password);
    }
    if (!m_engine)
        throw DbError(3704, QStringLiteral("Operation is not allowed when the object is closed."));
    return *m_engine;
}

template <class Body>
auto Connection::guarded(Body body) -> decltype(body())
{
    try {
        return body();
    } catch (const DbError &e) {
        // Reopened at the next statement outside a transaction; the one that
        // met it tells the user.
        if (e.number() == kDatabaseReplacedError)
            m_reopen = true;
        throw;
    }
}

void Connection::ensureCurrent(bool writing)
{
    if (!m_engine || m_depth > 0)
        return;
    const bool told = m_reopen;
    if (!told && !m_engine->replaced())
        return;
    m_reopen = false;
    const QString password = m_passwordSource ? m_passwordSource() : m_password;
    m_engine.reset();
    try {
        m_engine = std::make_unique<SqliteEngine>(m_path, password);
    } catch (const DbError &e) {
        throw DbError(e.number(),
                      QStringLiteral("The database was replaced at another workstation and "
                                     "could not be opened again: %1")
                          .arg(e.description()));
    }
    m_password = password;
    if (writing && !told)
        throw DbError(kDatabaseReplacedError, databaseReplacedText());
}

void Connection::Execute(const QString &sql)
{
    ensureCurrent(true);
    guarded([&] { engine().execute(sql); });
}

void Connection::beginTransaction()
{
    if (m_depth == 0) {
        ensureCurrent(true);
        guarded([&] { engine().beginWrite(); });
    } else {
        guarded([&] { engine().execute(QStringLiteral("SAVEPOINT sp%1").arg(m_depth)); });
    }
    ++m_depth;
}

void Connection::commitTransaction()
{
    if (m_depth <= 0)
        return;
    if (m_depth == 1)
        guarded([&] { engine().commit(); });
    else
        guarded([&] { engine().execute(QStringLiteral("RELEASE sp%1").arg(m_depth - 1)); });
    --m_depth;
    if (m_depth == 0 && m_keptWritten > 0) {
        m_keptTrailRows.erase(m_keptTrailRows.begin(),
                              m_keptTrailRows.begin() + qint64(m_keptWritten));
        m_keptWritten = 0;
    }
    const QString notice = m_depth == 0 && m_engine ? m_engine->takeNotice() : QString();
    if (!notice.isEmpty() && m_noticeSink)
        m_noticeSink(notice);
}

void Connection::keptTrailRowsWritten(size_t n)
{
    m_keptWritten = n;
    m_keptDepth = m_depth;
}

void Connection::rollbackTransaction()
{
    if (m_depth <= 0)
        return;
    --m_depth;
    if (m_depth < m_keptDepth)
        m_keptWritten = 0;
    if (!m_engine)
        return;
    try {
        if (m_depth == 0)
            m_engine->rollback();
        else
            m_engine->execute(QStringLiteral("ROLLBACK TO sp%1; RELEASE sp%1").arg(m_depth));
    } catch (const DbError &) {
        // Rolling back runs while a failure is on its way; that one is reported.
    }
}

sqlite3 *Connection::handle() const
{
    const auto *sqlite = dynamic_cast<const SqliteEngine *>(m_engine.get());
    return sqlite ? sqlite->handle() : nullptr;
}

sqlite3 *Connection::requireOpen() const
{
    sqlite3 *db = handle();
    if (!db)
        throw DbError(3704, QStringLiteral("Operation is not allowed when the object is closed."));
    return db;
}

void Connection::raise(int rc) const
{
    raiseSqlite(handle(), rc);
}

Transaction::Transaction(Connection &conn) : m_conn(conn)
{
    m_conn.beginTransaction();
}

Transaction::~Transaction()
{
    if (!m_done)
        m_conn.rollbackTransaction();
}

void Transaction::commit()
{
    m_conn.commitTransaction();
    m_done = true;
}

bool databaseOpens(const QString &path, const QString &password)
{
    try {
        sqlite3 *db = openDatabaseFile(path, password);
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
