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
// A start says so when the newest copy is older than this.
constexpr int kStaleDays = 3;
// The setting that carries a failed backup's time and reason to the next start.
inline const char *const kFailureKey = "Automatic Backup Failure";

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

// When on and no copy counts as done (today's or yesterday's, modified in the
// last 24 hours and not later than now), writes today's copy through the same
// consistent, staged copy as "Backup Now", then removes the oldest copies
// beyond the keep count among those named up to today. Names and times decide;
// no copy is opened. Only the default folder is created when missing. Throws
// with the reason when no copy could be written, or the folder cannot be read;
// the working database is never changed.
Outcome run(AppState &state, const QDateTime &now, const DatabaseFiles::Progress &progress = {});

// When the newest copy (named up to tomorrow, not modified later than now) was
// written more than kStaleDays ago, the warning a start shows; else "".
QString staleWarning(AppState &state, const QDateTime &now);

// Keeps a failed backup for the next start and writes it to the audit trail.
void noteFailure(AppState &state, const QDateTime &when, const QString &reason);
// The failure noted since the last start, told in words, and forgotten; "" for none.
QString takeFailure(AppState &state);

} // namespace AutomaticBackup
