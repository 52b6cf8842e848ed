#pragma once

#include <QString>
#include <QStringList>

// Patient data on disk is its owner's alone: the per-user folders are 0700
// and the files in them 0600, whatever the umask; temporary files get names
// nobody can guess in a folder of this user's own inside TEMP.
namespace PrivateFiles {

// Makes a folder 0700 or a file 0600, without following a link. False when
// the path belongs to another user (it is left as it is) or its mode cannot
// be set.
bool makePrivate(const QString &path);
// makePrivate on the folder and everything in it; the paths left as they were.
QStringList makeTreePrivate(const QString &folder);

// Gives a file or folder that the program made beside a database file the
// access the database has: a file the database file's mode and group, a
// folder those of the database's folder, so every desk that shares the
// database shares it and no one else. Beside a server database, or with no
// database file, it becomes private.
void shareLikeDatabase(const QString &made, const QString &database);

// The program's own temporary folder for this user inside temp, checked
// before each use without following links (a folder, owned by this user,
// mode 0700); a new one with a random name when the usual one fails the
// check. Throws std::runtime_error when none can be made.
QString tempFolder(const QString &temp);
// A new, empty file in tempFolder(temp) with an unpredictable name made from
// the pattern ("Records-XXXXXX.txt"); the caller removes it once used.
QString newTempFile(const QString &temp, const QString &pattern);
// Removes what earlier runs left in this user's temporary folders (a
// workbook handed to the spreadsheet program, what a crash left); call it
// only while no other run of the program is alive. Returns how many went.
int removeLeftovers(const QString &temp);

} // namespace PrivateFiles
