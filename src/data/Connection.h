#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "data/Engine.h"

struct sqlite3;
namespace Audit {
struct Stored;
}

// True when a "Database File" setting names a database server, as a
// postgresql:// (or postgres://) connection URI, rather than a file.
bool isServerUri(const QString &text);

// Who works on a connection, as the audit trail names them.
struct AuditWho
{
    QString userName;
    QString privilege;
    QString workstation;
};

// The one database connection of the process. SQL arrives as the windows
// build it; the engine behind the connection translates and runs it.
class Connection
{
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // 0 = closed, 1 = open.
    int State() const { return m_engine ? 1 : 0; }

    // Opens an existing database file; never creates one. Throws DbError.
    // After a failed open, each use of the engine tries again (through the
    // retry set below, or the same path), failing in the same words.
    void Open(const QString &path, const QString &password);
    void Close();

    // Runs statements that return no rows. Throws DbError.
    void Execute(const QString &sql);

    QString path() const { return m_path; }

    // The engine; throws DbError (number 3704) when the connection is closed.
    Engine &engine();
    // Makes sure the open database is the one at the path now: a database that
    // was replaced (restored, re-encrypted) is reopened. A write that finds it
    // replaced throws kDatabaseReplacedError after reopening, so nothing lands
    // in the old file and the window can say so. Inside a transaction the
    // database cannot change, so nothing is checked there.
    void ensureCurrent(bool writing);

    // Where a reopened database takes its password from (the current setting);
    // without one, the password given to Open.
    void setPasswordSource(std::function<QString()> source) { m_passwordSource = std::move(source); }

    // How the engine is opened again after a failed open: the owner's own
    // connecting (settings, schema), which throws when it fails.
    void setRetryOpen(std::function<void()> retry) { m_retryOpen = std::move(retry); }
    // How many seconds a database server may stay silent before a statement
    // gives up (read at each open).
    void setServerTimeoutSource(std::function<int()> source)
    {
        m_serverTimeoutSource = std::move(source);
    }
    // Where the user hears of work that succeeded after all (a commit whose
    // answer was lost, found saved).
    void setNoticeSink(std::function<void(const QString &)> sink)
    {
        m_noticeSink = std::move(sink);
    }

    // Who the trail rows written on this connection name.
    void setWhoSource(std::function<AuditWho()> source) { m_whoSource = std::move(source); }
    AuditWho who() const;
    // Trail rows kept back to go in with the next write (the "View" rows).
    std::vector<Audit::Stored> &keptTrailRows() { return m_keptTrailRows; }
    const std::vector<Audit::Stored> &keptTrailRows() const { return m_keptTrailRows; }
    // The first n kept rows are written in the open transaction: they go from
    // the list when it commits and stay when it rolls back.
    void keptTrailRowsWritten(size_t n);
    size_t keptTrailRowsWritten() const { return m_keptWritten; }

    // Transactions nest: the outermost takes the write lock, inner ones are
    // savepoints. Use Transaction rather than these.
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();
    int transactionDepth() const { return m_depth; }

    // The SQLite handle of the embedded engine: throws 3704 when the connection
    // is closed or holds no SQLite file.
    sqlite3 *requireOpen() const;
    sqlite3 *handle() const;
    // Turns an SQLite result code of this connection into a DbError.
    [[noreturn]] void raise(int rc) const;

private:
    // Runs body; a replaced database met on the way reopens the connection.
    template <class Body>
    auto guarded(Body body) -> decltype(body());

    std::unique_ptr<Engine> m_engine;
    QString m_path;
    QString m_password;
    std::function<QString()> m_passwordSource;
    std::function<AuditWho()> m_whoSource;
    std::vector<Audit::Stored> m_keptTrailRows;
    size_t m_keptWritten = 0;
    int m_keptDepth = 0;
    std::function<void()> m_retryOpen;
    std::function<int()> m_serverTimeoutSource;
    std::function<void(const QString &)> m_noticeSink;
    int m_depth = 0;
    bool m_reopen = false;
    bool m_openFailed = false;
};

// Work that must happen whole: rolls back unless committed. The outermost
// takes the write lock at once, so two workstations never deadlock halfway.
class Transaction
{
public:
    explicit Transaction(Connection &conn);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Connection &m_conn;
    bool m_done = false;
};

// True when the file opens with the password and holds a readable schema.
bool databaseOpens(const QString &path, const QString &password);

// The SQLCipher version, or "" when the engine cannot be used.
QString cipherVersion();
