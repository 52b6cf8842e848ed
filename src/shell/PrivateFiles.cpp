#include "shell/PrivateFiles.h"

#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>

namespace PrivateFiles {

namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool lstatOf(const QString &path, struct stat &info)
{
    return ::lstat(native(path).constData(), &info) == 0;
}

// A folder of this user's, no link, that no one else may enter.
bool isOwnPrivateFolder(const QString &path)
{
    struct stat info;
    return lstatOf(path, info) && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
           && (info.st_mode & 07777) == kFolderMode;
}

QString usualTempName()
{
    return QStringLiteral("medlantis-%1").arg(::geteuid());
}

// The folder made in place of the usual one while it fails the check.
QString &replacement()
{
    static QString folder;
    return folder;
}

} // namespace

bool makePrivate(const QString &path)
{
    struct stat info;
    if (!lstatOf(path, info))
        return false;
    if (S_ISLNK(info.st_mode))
        return true; // what a link points to is not ours to change
    if (info.st_uid != ::geteuid())
        return false;
    const mode_t wanted = S_ISDIR(info.st_mode) ? kFolderMode : kFileMode;
    if ((info.st_mode & 07777) == wanted)
        return true;
    return ::chmod(native(path).constData(), wanted) == 0;
}

QStringList makeTreePrivate(const QString &folder)
{
    QStringList left;
    if (!QFileInfo(folder).isDir())
        return left;
    if (!makePrivate(folder))
        left << QDir::toNativeSeparators(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!makePrivate(path))
            left << QDir::toNativeSeparators(path);
    }
    return left;
}

void shareLikeDatabase(const QString &made, const QString &database)
{
    struct stat own;
    if (!lstatOf(made, own) || S_ISLNK(own.st_mode) || own.st_uid != ::geteuid())
        return;
    const QFileInfo db(database);
    const QString model = S_ISDIR(own.st_mode) ? db.absolutePath() : db.absoluteFilePath();
    struct stat like;
    if (database.isEmpty() || !db.isFile() || ::stat(native(model).constData(), &like) != 0) {
        makePrivate(made);
        return;
    }
    // A folder keeps set-group-id too, so what lands in it stays the practice's.
    mode_t mode = like.st_mode & 0777;
    if (S_ISDIR(own.st_mode))
        mode = (like.st_mode & (0777 | S_ISGID)) | S_IRWXU;
    (void)::chown(native(made).constData(), uid_t(-1), like.st_gid);
    (void)::chmod(native(made).constData(), mode);
}

QString tempFolder(const QString &temp)
{
    const QString usual = QDir(temp).filePath(usualTempName());
    if (isOwnPrivateFolder(usual))
        return usual;
    struct stat info;
    if (!lstatOf(usual, info) && ::mkdir(native(usual).constData(), kFolderMode) == 0
        && ::chmod(native(usual).constData(), kFolderMode) == 0 && isOwnPrivateFolder(usual))
        return usual;
    // Someone else's, a link or loose: a folder of a name nobody can guess.
    QString &other = replacement();
    if (!other.isEmpty() && QFileInfo(other).absolutePath() == QFileInfo(usual).absolutePath()
        && isOwnPrivateFolder(other))
        return other;
    QTemporaryDir made(usual + QStringLiteral("-XXXXXX"));
    if (!made.isValid() || !isOwnPrivateFolder(made.path()))
        throw std::runtime_error(QStringLiteral("Could not make a private temporary folder in %1.")
                                     .arg(QDir::toNativeSeparators(temp))
                                     .toStdString());
    made.setAutoRemove(false);
    other = made.path();
    return other;
}

QString newTempFile(const QString &temp, const QString &pattern)
{
    QTemporaryFile file(QDir(tempFolder(temp)).filePath(pattern));
    file.setAutoRemove(false);
    if (!file.open())
        throw std::runtime_error(QStringLiteral("Cannot write the file %1: %2")
                                     .arg(QDir::toNativeSeparators(file.fileTemplate()),
                                          file.errorString())
                                     .toStdString());
    file.close();
    return QDir::toNativeSeparators(file.fileName());
}

int removeLeftovers(const QString &temp)
{
    int removed = 0;
    const QDir folder(temp);
    const QStringList ours =
        folder.entryList({usualTempName(), usualTempName() + QStringLiteral("-*")},
                         QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : ours) {
        const QString path = folder.filePath(name);
        // Only a folder that passes the check holds nothing but our own files.
        if (!isOwnPrivateFolder(path))
            continue;
        QDir inside(path);
        for (const QString &file : inside.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (inside.remove(file))
                ++removed;
        }
        if (name != usualTempName() && path != replacement())
            folder.rmdir(name);
    }
    return removed;
}

} // namespace PrivateFiles
