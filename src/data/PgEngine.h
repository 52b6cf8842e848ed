#pragma once

#include <map>

#include <QString>

#include "data/Engine.h"

struct pg_conn;

// A PostgreSQL database that every workstation of a practice reaches, opened
// from a connection URI (postgresql://user@host:port/dbname); the password
// travels apart from the URI. Connecting and statements have time limits, so
// a server that is gone gives a message instead of a hang; the next action
// connects again.
class PgEngine : public Engine
{
public:
    PgEngine(const QString &uri, const QString &password);
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
    void createSchemaObject(const QString &sql) override;

    // Runs SQL as it is, without translation (the maintenance code's own SQL).
    void executeRaw(const QString &sql);
    ResultRows queryRaw(const QString &sql);
    // Inserts the rows (each row's cells from firstCell on, one per column)
    // into the table, through one prepared statement.
    void insertRows(const QString &table, const QStringList &columns, const ResultRows &rows,
                    int firstCell = 0);

private:
    struct Key
    {
        QString table;
        QString column;
    };
    // Connects again when the connection was lost; throws when it cannot.
    void ensureConnected();
    [[noreturn]] void raise(const QString &what) const;
    Key keyOf(unsigned int tableOid);
    Key keyOfTable(const QString &table);

    QString m_uri;
    QString m_password;
    pg_conn *m_conn = nullptr;
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
