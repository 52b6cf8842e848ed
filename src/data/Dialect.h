#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

// The windows build their SQL in the older desktop-database dialect; this turns
// it into SQLite: "Delete * from" becomes "delete from" and a "+" beside a
// string literal becomes "||". StrComp and a Unicode-aware like are registered
// as SQL functions on the connection instead.
//
// A like with a literal pattern on one of the searched name columns (folded
// maps each, in lower case, to the column that holds its folded form, as
// foldedText gives it) gains the range of the folded text before the
// pattern's first wildcard, so the engine reads only the matching rows from
// that column's index; the like on the name itself still decides. So does
// FoldCase(column), which reads the folded column.
QString translateSql(const QString &sql, const QHash<QString, QString> &folded = {});

// The folded form of a name that the list searches and sorts by: the text
// case-folded for every letter, as likeMatch compares it; "" for NULL.
QString foldedText(const QVariant &name);

// Case-insensitive match of SQL like patterns ("%" any run, "_" one character)
// for all letters, not only ASCII.
bool likeMatch(const QString &pattern, const QString &text, QChar escape = QChar());

// The names a server database knows its tables and columns by (as schema.sql
// writes them), and the text columns that sort without regard to letter case.
struct PostgresNames
{
    QHash<QString, QString> canonical; // lower-case name -> name as written
    QSet<QString> nocase;              // lower-case names of such columns
    QHash<QString, QString> folded;    // lower-case name -> its folded column
};

// The windows' SQL for PostgreSQL: names in brackets or bare become the
// quoted names of the schema (and aliases keep their letter case), "Delete *
// from" and "+" next to text as above, StrComp(a, b, 0) an exact comparison,
// like compares lower-case forms and never treats a backslash as an escape,
// and an order by a case-insensitive column sorts by its lower-case form.
// FoldCase(x) is the lower-case form of x ("" for NULL) in code point order;
// on a name column it is the server's folded column, the first 200 characters
// of that form, which the indexes on names hold, and a like on such a name
// reads through that index.
QString translateSqlForPostgres(const QString &sql, const PostgresNames &names);
