#pragma once

#include <functional>

#include <QString>

#include "shell/modMain.h"

struct AuditWho;

// Whole-file work on the database: backup, examination, restore and a new
// password. The file may be shared by several workstations, so a copy is taken
// under the file's lock and lands beside its destination first (as a staged
// copy, "<name>.staging-XXXXXX"); the destination is replaced by one rename
// only once the copy has been checked. Replacing the working file holds its
// write lock until the rename, so no other workstation's save can land in
// between. Failures throw (DbError or std::runtime_error) and leave the
// destination as it was.
namespace DatabaseFiles {

// Bytes copied so far and the bytes to copy; called while the copy runs.
using Progress = std::function<void(qint64 done, qint64 total)>;

// The folder text with a separator at its end; "" stays "".
QString withTrailingSeparator(const QString &folder, QChar sep = nativeSeparator());

// "dbData.mdb" -> "dbData.mdb.before-restore": the file a restore replaced.
QString beforeRestorePath(const QString &working);

// Removes staged copies of file (and of its undo copy) that an interrupted
// restore, backup or new password left behind. Copies younger than minAgeSecs
// may still be written by another workstation and stay. Returns how many went.
int removeStagedCopies(const QString &file, qint64 minAgeSecs = 600);

// Why a file is not usable as a Medlantis database; "" when it is: it opens with
// the password, holds the four tables with every column the schema gives them
// (more columns or tables may be there) and passes the quick integrity check.
// progress, when given, hears of the bytes checked so far as the check runs.
QString unusableReason(const QString &path, const QString &password,
                       const Progress &progress = {});
bool isUsableDatabase(const QString &path, const QString &password,
                      const Progress &progress = {});

// Copies the database to destination (a full file path). An existing file of
// that name is replaced, but only by a copy that opens with the password.
// With who, the database's audit trail gains a "Backup" row once the copy is
// in place.
void backupDatabase(const QString &database, const QString &destination,
                    const QString &password, const Progress &progress = {},
                    const AuditWho *who = nullptr);

// Replaces the working database by source in one rename. The replaced file is
// kept as beforeRestorePath(working); the working file keeps its permissions.
// Throws, changing nothing, when source is not a usable database. With who,
// the restored database's audit trail gains a "Restore" row as it comes in.
void restoreDatabase(const QString &source, const QString &working, const QString &password,
                     const Progress &progress = {}, const AuditWho *who = nullptr);

struct PasswordChange
{
    // The undo copy beside the file, when there is one.
    QString undoCopy;
    // True when the undo copy did not open with the old password and was left
    // as it was.
    bool undoCopyLeft = false;
};

// Re-encrypts a database file with a new password (empty = plain file), under
// the file's write lock from the start of the copy to the rename; keeps its
// permissions and group. The undo copy of a restore beside it is re-encrypted
// too when it opens with the old password. Throws, changing nothing, when the
// lock cannot be had within waitMs (another workstation is saving) or the
// copy fails.
// With who, the re-encrypted file's trail gains a "Password" row (which names
// no password) as it comes in.
PasswordChange changePassword(const QString &path, const QString &oldPassword,
                              const QString &newPassword, int waitMs = 10000,
                              const AuditWho *who = nullptr);

// The undo copy that changePassword would have to leave as it is ("" when there
// is none, or it opens with the old password).
QString undoCopyLeftBy(const QString &path, const QString &oldPassword);

} // namespace DatabaseFiles
