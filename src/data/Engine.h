#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

// One value of a result row, kept small: texts and blobs live in the rows' arena.
struct Cell
{
    enum Type : quint8 { Null, Integer, Real, Text, Blob };
    quint8 type = Null;
    quint32 size = 0;
    union {
        qint64 i;
        double d;
        quint64 offset;
    };
    Cell() : i(0) {}
};

// The rows of a query, read whole. When they can be written back, table names
// their table and column 0 of every row holds the row's key, hidden from the
// visible names.
struct ResultRows
{
    QStringList names;
    QString table;
    bool keyed = false;
    int cols = 0; // stored columns, the key included
    std::vector<Cell> cells;
    std::string arena;

    void addNull() { cells.emplace_back(); }
    void addInteger(qint64 value);
    void addReal(double value);
    void addBytes(Cell::Type type, const char *data, qint64 size);
    QVariant value(const Cell &cell) const;
};

// A row a recordset writes back: an insert, or an update of the row with key.
struct RowWrite
{
    QString table;
    bool insert = false;
    QStringList columns;
    QVariantList values;
    QVariant key;
};

// The rows of a select read a chunk at a time, for readers that go once
// from the first row to the last (exports of long lists).
class RowStream
{
public:
    virtual ~RowStream() = default;
    // Replaces rows with the next chunk of at most maxRows rows (the names
    // always filled in); false once the rows are all read, when the stream
    // has let go of the database.
    virtual bool next(ResultRows &rows, int maxRows) = 0;
};

// What a Connection runs on: the embedded file engine or a database server.
// SQL reaches an engine in the windows' dialect; the engine translates it.
// Every failure throws DbError.
class Engine
{
public:
    virtual ~Engine() = default;

    virtual QString translate(const QString &sql) const = 0;
    // Statements without rows, in the windows' dialect.
    virtual void execute(const QString &sql) = 0;
    // A select in the windows' dialect; forUpdate asks for rows that can be
    // written back, which only a plain one-table select gives.
    virtual ResultRows query(const QString &sql, bool forUpdate) = 0;
    // A read-only select in the windows' dialect, read as it goes.
    virtual std::unique_ptr<RowStream> stream(const QString &sql) = 0;
    // Writes the row and returns its key afterwards. An update that finds no
    // row (deleted meanwhile) throws.
    virtual QVariant writeRow(const RowWrite &row) = 0;

    // The outermost write transaction: it takes the database's write lock at
    // once, so two workstations never interleave their check and their write.
    virtual void beginWrite() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;

    // True when the database this engine has open was replaced under it (a
    // restore or a new password at another workstation).
    virtual bool replaced() const { return false; }
    virtual bool isServer() const = 0;
    // The database for messages: its file, or "<name> on <host>".
    virtual QString describe() const = 0;
    // The names of the tables, indexes and triggers the database holds, lower case.
    virtual QStringList schemaObjects() = 0;
    // Runs a statement of the schema (in the embedded dialect) the engine's way.
    virtual void createSchemaObject(const QString &sql) = 0;
    // What the user should hear about work that succeeded after all (a commit
    // whose answer was lost); "" when nothing. Reading it clears it.
    virtual QString takeNotice() { return QString(); }
};
