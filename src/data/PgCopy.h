#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

class PgEngine;

// A table's rows in bulk, through COPY in its binary form: one stream each
// way instead of a round trip per row. Both run inside the caller's
// transaction and leave the connection usable (for its rollback) when they
// fail. The server's statement time limit does not fit a copy of a large
// practice, so each copy is watched by its progress instead: it fails when
// no data moves for stallMs.
namespace PgCopy {

constexpr int kStallMs = 30000;

// How a column's values travel.
enum class Kind { Integer, Real, Boolean, Text, Bytes };

// One value of a row read: length -1 is NULL.
struct Field
{
    const char *data;
    int length;
};

// Reads the columns of table (select-list expressions) in the order of the
// column orderBy and calls row for every row with one field per column.
// kinds receives how each field travels before the first row. A column of
// another type arrives as its text. Runs inside a transaction.
void read(PgEngine &engine, const QString &table, const QStringList &selectList,
          const QString &orderBy, std::vector<Kind> &kinds,
          const std::function<void(const Field *fields, int count)> &row,
          int stallMs = kStallMs);

// Writes rows into table's columns: one field after another, each turned
// into the server column's type (a whole number in a text column becomes
// its digits, digits in a number column their number); a value that does
// not fit its column throws, naming the table, column and row.
class Writer
{
public:
    Writer(PgEngine &engine, const QString &table, const QStringList &columns,
           int stallMs = kStallMs);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void null();
    void integer(qint64 value);
    void real(double value);
    void text(const char *data, qint64 length);
    void bytes(const char *data, qint64 length);
    void endRow();
    // Sends what is left and waits for the server to take the rows.
    void finish();

private:
    enum class Target { Int2, Int4, Int8, Float4, Float8, Boolean, Raw };
    Target nextTarget();
    void putInteger(Target target, qint64 value);
    void putReal(Target target, double value);
    void raw(const char *data, qint64 length);
    [[noreturn]] void misfit(const QString &value);
    void flush();

    PgEngine &m_engine;
    QString m_table;
    QStringList m_columns;
    std::vector<Target> m_targets;
    std::string m_buffer;
    int m_column = 0;
    qint64 m_rows = 0;
    int m_stallMs;
    bool m_open = false;
};

} // namespace PgCopy
