#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QSet>
#include <QStringList>

class Connection;
struct PostgresNames;

// The working database's schema, as schema.sql defines it: the template file
// is made from it, a server database is created from it, and an older
// database gains what it lacks from it.
namespace Schema {

// One statement of schema.sql: a table or an index, by name.
struct Statement
{
    bool table = false;
    QString name;
    QString sql;
};

struct TableShape
{
    QString name;
    QStringList columns;
    QStringList nocase; // text columns that compare and sort without letter case
    QString key;        // the id column
};

const std::vector<Statement> &statements();
// The tables and their columns, in the order schema.sql creates them.
const std::vector<TableShape> &tables();
// The four tables every Medlantis database holds, whatever its age.
QStringList requiredTables();

// The lower-case names of the columns with an index on FoldCase(column).
const QSet<QString> &foldedColumns();

// The names for the dialect translation to a server database.
const PostgresNames &postgresNames();
// A statement of schema.sql as a server database runs it.
QString postgresStatementFor(const QString &sql);

// The required tables the open database lacks.
QStringList missingTables(Connection &db);
// Creates every table and index of the schema that the database lacks, in one
// transaction: a new server database gets them all, an older file the ones
// added since it was made.
// progress, when given, hears of each statement before it runs and once
// more when all are done.
using Progress = std::function<void(const QString &name, int done, int total)>;
void createMissing(Connection &db, const Progress &progress = {});

// Creates a new plain database file at path (which must not exist) from the schema.
void createDatabaseFile(const QString &path);

} // namespace Schema
