#pragma once

#include <QString>
#include <QStringList>

#include "maintenance/DatabaseFiles.h"

struct sqlite3;

// What a file must be before it may replace the practice's database: nothing
// in it but what this version or an earlier one of Medlantis creates. A
// trigger or view brought in with a restore would run on every later save,
// and a key declared otherwise would carry text into the program's SQL.
namespace RestoreSource {

// The text of a definition with blanks, comments, letter case and the
// quoting of names evened out, so equal definitions compare equal.
QString normalised(const QString &sql);

// The first object of the open database (in the order the file lists them)
// that no version of Medlantis creates: "trigger Name", "view Name",
// "table Name", "index Name" or "column Table.Column"; "" when there is none.
// SQLite's own tables (sqlite_sequence, sqlite_stat1 and the like) belong.
QString foreignObject(sqlite3 *db);

// Why the file cannot be restored with the password, in words; "" when it can.
// progress, when given, hears of the bytes checked so far.
QString problem(const QString &source, const QString &password,
                const DatabaseFiles::Progress &progress = {});

} // namespace RestoreSource
