#pragma once

#include <QString>

// The windows build their SQL in the older desktop-database dialect; this turns
// it into SQLite: "Delete * from" becomes "delete from" and a "+" beside a
// string literal becomes "||". StrComp and a Unicode-aware like are registered
// as SQL functions on the connection instead.
QString translateSql(const QString &sql);

// Case-insensitive match of SQL like patterns ("%" any run, "_" one character)
// for all letters, not only ASCII.
bool likeMatch(const QString &pattern, const QString &text, QChar escape = QChar());
