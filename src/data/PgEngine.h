#pragma once

#include <map>
#include <memory>

#include <QString>

#include "data/Engine.h"

struct pg_conn;
struct pg_result;

// A PostgreSQL database that every workstation of a practice reaches, opened
// from a connection URI (postgresql://user@host:port/dbname); the password
// travels apart from the URI. Connecting has a time limit, and every statement
// runs against the workstation's own deadline: when no byte comes from the
// server for timeoutSeconds, the connection is dropped and the failure says
// whether the work was done. The next action connects again.
class PgEngine : public Engine
{
public:
    PgEngine(const QString &uri, const QString &password, int timeoutSeconds = 20);
    ~PgEngine() override;
    PgEngine(const PgEngine &) = delete;
    PgEngine &operator=(const PgEngine &) = delete;

    QString translate(const QString &sql) const override;
    void execute(const QString &sql) override;
    ResultRows query(const QString &sql, bool forUpdate) override;
    std::unique_ptr<RowStream> stream(const QString &sql) override;
    QVariant writeRow(const RowWrite &row) override;
    void beginWrite() override;
    void commit() override;
    void rollback() override;
    bool isServer() const override { return true; }
    QString describe() const override;
    QStringList schemaObjects() override;
    // An index build sends nothing until it is done: its progress on the
    // server stands in for bytes.
    void createSchemaObject(const QString &sql) override;
    QString takeNotice() override;

    // Runs SQL as it is, without translation (the maintenance code's own SQL).
    void executeRaw(const QString &sql);
    ResultRows queryRaw(const QString &sql);
    // Inserts the rows (each row's cells from firstCell on, one per column)
    // into the table, through one prepared statement.
    void insertRows(const QString &table, const QStringList &columns, const ResultRows &rows,
                    int firstCell = 0);
    // The connection itself, for the bulk copies (PgCopy); connected again
    // when it was lost.
    pg_conn *connection();
    // Throws the failure what, saying so when the connection was lost.
    [[noreturn]] void raise(const QString &what) const;

    // The connection in non-blocking mode, for bulk work (COPY) of the
    // maintenance code; null while it is lost.
    pg_conn *handle() const { return m_conn; }
    // Waits until the server's socket can be written (toWrite) or read, each
    // wait up to the deadline: bulk work calls it whenever libpq cannot go on
    // at once, so a long COPY runs as long as data moves. On the deadline the
    // connection is dropped and the failure thrown.
    void waitForServer(bool toWrite);
    int timeoutSeconds() const { return m_timeoutSeconds; }

private:
    // What a statement may have changed when its answer does not come.
    enum class Kind { Read, Write };
    static Kind kindOf(const QString &sql);
    using Result = std::unique_ptr<pg_result, void (*)(pg_result *)>;
    // Sends through send (a PQsend... call) and collects the results within
    // the deadline: the first failure, otherwise the last result.
    template <class Send>
    Result run(Kind kind, Send send, bool watchIndexBuild = false);
    Result runSql(Kind kind, const QString &sql, bool watchIndexBuild = false);
    // Drops the connection after the deadline and throws what is known: a
    // statement that could have committed on its own leaves its outcome open.
    [[noreturn]] void timedOut(Kind kind, bool autocommit);
    enum class Outcome { Saved, NotSaved, Unknown };
    // After an unanswered commit, asked on a new connection (which the next
    // action then uses): whether the transaction is in, out or not known yet.
    Outcome commitOutcome();
    void drop();
    struct Key
    {
        QString table;
        QString column;
    };
    // Connects again when the connection was lost; throws when it cannot.
    void ensureConnected();
    Key keyOf(unsigned int tableOid);
    Key keyOfTable(const QString &table);

    QString m_uri;
    QString m_password;
    int m_timeoutSeconds;
    QString m_where; // host:port of the last connection, for messages
    QString m_host;
    QString m_database;
    pg_conn *m_conn = nullptr;
    // The id of the write transaction under way, taken before its commit.
    qint64 m_txid = 0;
    // A write transaction began and has not ended: when its connection is
    // lost, its later statements must not run outside it on a new one.
    bool m_inWrite = false;
    QString m_notice;
    std::map<unsigned int, Key> m_keys;
    int m_streams = 0; // names each stream's cursor
};

// What is wrong with the server database at uri with the password, in words
// that name the host, port, user, database or password at fault, or the
// program's tables it lacks; "" when it is ready. An empty database (no table
// of the program's yet) counts as ready when emptyIsReady. A connection whose
// encryption cannot be set up as the address asks (no TLS on the server, no
// channel binding, a bad sslmode, a missing certificate file) sets title, when
// given, to the title its message box takes.
QString serverProblem(const QString &uri, const QString &password, bool emptyIsReady,
                      QString *title = nullptr);
