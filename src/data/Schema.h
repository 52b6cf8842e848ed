#pragma once

#include <vector>

#include <QString>
#include <QStringList>

class Connection;

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
};

const std::vector<Statement> &statements();
// The tables and their columns, in the order schema.sql creates them.
const std::vector<TableShape> &tables();
// The four tables every Medlantis database holds, whatever its age.
QStringList requiredTables();

// Creates a new plain database file at path (which must not exist) from the schema.
void createDatabaseFile(const QString &path);

} // namespace Schema
