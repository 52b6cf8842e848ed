#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// The windows build their SQL in the older desktop-database dialect; this turns
// it into SQLite: "Delete * from" becomes "delete from" and a "+" beside a
// string literal becomes "||". StrComp and a Unicode-aware like are registered
// as SQL functions on the connection instead.
//
// A like with a literal pattern on one of the folded columns (those with an
// index on FoldCase(column), the registered function that case-folds a text
// and gives "" for NULL) gains the range of the folded text before the
// pattern's first wildcard, so the engine reads only the matching rows.
QString translateSql(const QString &sql, const QSet<QString> &folded = {});

// Case-insensitive match of SQL like patterns ("%" any run, "_" one character)
// for all letters, not only ASCII.
bool likeMatch(const QString &pattern, const QString &text, QChar escape = QChar());

// The names a server database knows its tables and columns by (as schema.sql
// writes them), and the text columns that sort without regard to letter case.
struct PostgresNames
{
    QHash<QString, QString> canonical; // lower-case name -> name as written
    QSet<QString> nocase;              // lower-case names of such columns
    QSet<QString> folded;              // lower-case names of the folded columns
};

// The windows' SQL for PostgreSQL: names in brackets or bare become the
// quoted names of the schema (and aliases keep their letter case), "Delete *
// from" and "+" next to text as above, StrComp(a, b, 0) an exact comparison,
// like compares lower-case forms and never treats a backslash as an escape,
// and an order by a case-insensitive column sorts by its lower-case form.
// FoldCase(x) is the lower-case form of x ("" for NULL) in code point order,
// as the server's indexes on names hold it, and a like on a folded column
// reads through such an index.
QString translateSqlForPostgres(const QString &sql, const PostgresNames &names);
