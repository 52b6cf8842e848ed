#pragma once

#include <functional>
#include <vector>

#include <QHash>
#include <QString>
#include <QSet>
#include <QStringList>

class Connection;
class Engine;
struct PostgresNames;

// The working database's schema, as schema.sql defines it: the template file
// is made from it, a server database is created from it, and an older
// database gains what it lacks from it.
namespace Schema {

// One statement of schema.sql: a table, an index, a trigger or a column
// added to a table, by name.
struct Statement
{
    enum Kind { Table, Index, Trigger, Column };
    Kind kind = Table;
    bool table = false; // kind == Table
    QString name;
    QString owner; // the table of a column
    QString sql;
};

struct TableShape
{
    QString name;
    QStringList columns;
    QStringList types;  // each column's declared type, as schema.sql gives it
    QStringList nocase; // text columns that compare and sort without letter case
    QString key;        // the id column
};

// What an embedded file holds, in the order it is made.
const std::vector<Statement> &statements();
// What a server database holds (in the file's dialect; see postgresStatementFor).
const std::vector<Statement> &serverStatements();
// Definitions of earlier versions that this one replaces when it opens a
// database: the name indexes on the registered FoldCase function.
const std::vector<Statement> &earlierStatements();
// The same on a server, as it held them (in the file's dialect).
const std::vector<Statement> &earlierServerStatements();
// The tables and their columns, in the order schema.sql creates them.
const std::vector<TableShape> &tables();
// The four tables every Medlantis database holds, whatever its age.
QStringList requiredTables();

// The lower-case names of the name columns searched through their folded
// forms, each with the column that holds that form (FoldedLastName, ...).
const QHash<QString, QString> &foldedColumns();

// The names for the dialect translation to a server database.
const PostgresNames &postgresNames();
// A statement of schema.sql as a server database runs it.
QString postgresStatementFor(const QString &sql);

// The required tables the open database lacks.
QStringList missingTables(Connection &db);
// The tables, columns, indexes and triggers of the schema that the open
// database lacks ("Table.Column" for a column); empty when it is current.
QStringList lacking(Engine &engine);
// Whether the connection's role may create and alter the schema's objects:
// always on a file; on a server only the database's owner (or, on an empty
// database, a role that may create tables in it).
bool mayChangeSchema(Engine &engine);
// Creates every table, column, index and trigger of the schema that the
// database lacks, in one transaction: a new server database gets them all, an
// older file the ones added since it was made.
// progress, when given, hears of each statement before it runs and once
// more when all are done.
using Progress = std::function<void(const QString &name, int done, int total)>;
// It also replaces indexes of an earlier definition and gives every row of
// an embedded file whose folded names are missing (written by another tool
// or an older version) its folded names.
void createMissing(Connection &db, const Progress &progress = {});

// Fills the folded names of the rows of an embedded file that lack them, in
// one transaction; a backup written into a file calls it once its rows are in.
void fillFoldedNames(Connection &db, const Progress &progress = {});

// Creates a new plain database file at path (which must not exist) from the schema.
void createDatabaseFile(const QString &path);

// The SQL that brings a server database up to this version as the role owner
// and lets the workstations' role desks use it: every statement may run again
// (on a current database it changes nothing). desks may read and write every
// table but the audit trail, which it may only read and add to.
QString serverScript(const QString &owner, const QString &desks);

} // namespace Schema
