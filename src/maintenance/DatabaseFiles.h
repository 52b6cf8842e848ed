#pragma once

#include <functional>

#include <QString>

#include "shell/modMain.h"

// Whole-file work on the database: backup, examination and restore. The file
// may be shared by several workstations, so every copy is taken while holding
// the file's read lock and lands beside its destination first; the
// destination is replaced by one rename only once the copy has been checked.
// Failures throw (DbError or std::runtime_error) and leave the destination as
// it was.
namespace DatabaseFiles {

// Bytes copied so far and the bytes to copy; called while the copy runs.
using Progress = std::function<void(qint64 done, qint64 total)>;

// The folder text with a separator at its end; "" stays "".
QString withTrailingSeparator(const QString &folder, QChar sep = nativeSeparator());

// "dbData.mdb" -> "dbData.mdb.before-restore": the file a restore replaced.
QString beforeRestorePath(const QString &working);

// True when the file opens with the password, holds the four tables and passes
// the engine's quick integrity check.
bool isUsableDatabase(const QString &path, const QString &password);

// Copies the database to destination (a full file path). An existing file of
// that name is replaced, but only by a copy that opens with the password.
void backupDatabase(const QString &database, const QString &destination,
                    const QString &password, const Progress &progress = {});

// Replaces the working database by source in one rename. The replaced file is
// kept as beforeRestorePath(working); the working file keeps its permissions.
// Throws, changing nothing, when source is not a usable database.
void restoreDatabase(const QString &source, const QString &working, const QString &password,
                     const Progress &progress = {});

} // namespace DatabaseFiles
