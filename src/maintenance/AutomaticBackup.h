#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "maintenance/DatabaseFiles.h"

class AppState;

// The daily copy of the working database that the program writes as it exits.
// Copies are named "<working name>-yyyy-MM-dd.<extension>" and only files of
// exactly that form are ever removed.
namespace AutomaticBackup {

constexpr int kDefaultKeep = 14;

enum class Result {
    Off,     // the "Automatic Backup" setting is off
    NotDue,  // a copy of the last 24 hours exists
    Written, // a new copy was written
};

struct Outcome
{
    Result result = Result::Off;
    QString file;        // the copy written, or the recent one that made it not due
    QStringList removed; // older copies removed to keep the newest "Keep Backups"
};

bool isOn(AppState &state);
// "Keep Backups", at least 1.
int keepCount(AppState &state);
// "Backups" beside the working database; for a server database, "Backups" in the
// per-user data folder.
QString defaultFolder(AppState &state);
// "Automatic Backup Folder", or the default folder when that is empty.
QString folder(AppState &state);

// "/data/dbData.mdb" on 2026-12-10 gives "dbData-2026-12-10.mdb".
QString fileNameFor(const QString &databaseFile, const QDate &date);
// The date in a name that fileNameFor gives for this database; invalid for any
// other name.
QDate dateInName(const QString &fileName, const QString &databaseFile);

// When on and no copy of the last 24 hours (or one dated later than now) exists,
// writes today's copy through the same consistent, staged copy as "Backup Now",
// then removes the oldest copies beyond the keep count. Only the default folder
// is created when missing. Throws with the reason when no copy could be written;
// the working database is never changed.
Outcome run(AppState &state, const QDateTime &now, const DatabaseFiles::Progress &progress = {});

} // namespace AutomaticBackup
