#include "maintenance/DatabaseFiles.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlcipher/sqlite3.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "data/Connection.h"
#include "data/DbError.h"

namespace DatabaseFiles {
namespace {

constexpr qint64 kChunk = 1 << 20;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

struct Tracker
{
    const Progress &progress;
    qint64 total;
    qint64 done = 0;

    void advance(qint64 bytes)
    {
        done += bytes;
        if (progress)
            progress(std::min(done, total), total);
    }
};

// Something to copy bytes from: its size and a reader of one piece.
struct ByteSource
{
    qint64 size;
    std::function<void(char *buffer, qint64 offset, qint64 length)> read;
};

// Holds the read lock of a database file: others, on this or any workstation,
// can still read but cannot commit until it is released. The bytes are read
// through the engine's own file handle, because opening and closing a second
// descriptor on the file would drop this process's POSIX locks on it.
class ReadLock
{
public:
    ReadLock(const QString &path, const QString &password) : m_path(path)
    {
        m_conn.Open(path, password);
        m_conn.Execute(QStringLiteral("BEGIN"));
        m_conn.Execute(QStringLiteral("select count(*) from sqlite_master"));
        sqlite3_file_control(m_conn.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &m_file);
        if (!m_file || !m_file->pMethods)
            throw DbError(SQLITE_CANTOPEN, QStringLiteral("Could not read '%1'.").arg(path));
    }

    ~ReadLock() { sqlite3_exec(m_conn.handle(), "COMMIT", nullptr, nullptr, nullptr); }

    ReadLock(const ReadLock &) = delete;
    ReadLock &operator=(const ReadLock &) = delete;

    ByteSource bytes() const
    {
        sqlite3_int64 size = 0;
        check(m_file->pMethods->xFileSize(m_file, &size));
        return {size, [this](char *buffer, qint64 offset, qint64 length) {
                    check(m_file->pMethods->xRead(m_file, buffer, int(length), offset));
                }};
    }

private:
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            throw DbError(rc, QStringLiteral("Could not read '%1': %2")
                                  .arg(m_path, QString::fromUtf8(sqlite3_errstr(rc))));
    }

    QString m_path;
    Connection m_conn;
    sqlite3_file *m_file = nullptr;
};

// A database that does not open (damaged, or another password) is read as it is.
ByteSource plainBytes(QFile &file)
{
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Could not read '%1': %2").arg(file.fileName(), file.errorString()));
    return {file.size(), [&file](char *buffer, qint64 offset, qint64 length) {
                if (!file.seek(offset) || file.read(buffer, length) != length)
                    fail(QStringLiteral("Could not read '%1': %2")
                             .arg(file.fileName(), file.errorString()));
            }};
}

bool damaged(const DbError &e)
{
    const int code = e.number() & 0xff;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::u8path(path.toStdString());
}

// Writes the bytes into a new file beside destination; the caller commits it.
std::unique_ptr<QTemporaryFile> stageCopy(const ByteSource &source, const QString &destination,
                                          Tracker &tracker)
{
    const QString folder = QFileInfo(destination).absolutePath();
    if (!QFileInfo(folder).isDir())
        fail(QStringLiteral("The folder '%1' does not exist.").arg(folder));
    auto staged = std::make_unique<QTemporaryFile>(destination + QStringLiteral(".XXXXXX"));
    if (!staged->open())
        fail(QStringLiteral("Could not write into the folder '%1': %2")
                 .arg(folder, staged->errorString()));
    const auto writeFailed = [&] {
        fail(QStringLiteral("Could not write '%1': %2").arg(destination, staged->errorString()));
    };
    QByteArray buffer(int(std::min(kChunk, std::max<qint64>(source.size, 1))), Qt::Uninitialized);
    for (qint64 offset = 0; offset < source.size;) {
        const qint64 length = std::min<qint64>(buffer.size(), source.size - offset);
        source.read(buffer.data(), offset, length);
        if (staged->write(buffer.constData(), length) != length)
            writeFailed();
        offset += length;
        tracker.advance(length);
    }
    if (!staged->flush())
        writeFailed();
#ifdef Q_OS_UNIX
    // The rename that follows must never expose a file whose bytes are not on disk.
    if (::fsync(staged->handle()) != 0)
        writeFailed();
#endif
    staged->close();
    return staged;
}

// Puts the staged file in destination's place with one rename.
void commit(QTemporaryFile &staged, const QString &destination,
            QFileDevice::Permissions permissions)
{
    staged.setPermissions(permissions);
    std::error_code error;
    std::filesystem::rename(fsPath(staged.fileName()), fsPath(destination), error);
    if (error)
        fail(QStringLiteral("Could not replace '%1': %2")
                 .arg(destination, QString::fromStdString(error.message())));
    staged.setAutoRemove(false);
}

QString firstValue(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    QString value;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return value;
}

void requireFileName(const QString &path)
{
    if (QFileInfo(path).isDir())
        fail(QStringLiteral("'%1' is a folder: please enter a file name.").arg(path));
}

} // namespace

QString withTrailingSeparator(const QString &folder, QChar sep)
{
    if (folder.isEmpty() || folder.endsWith(sep))
        return folder;
    return folder + sep;
}

QString beforeRestorePath(const QString &working)
{
    return working + QStringLiteral(".before-restore");
}

bool isUsableDatabase(const QString &path, const QString &password)
{
    if (!QFileInfo(path).isFile())
        return false;
    try {
        Connection conn;
        conn.Open(path, password);
        const QString tables =
            firstValue(conn.handle(),
                       "select count(*) from sqlite_master where type = 'table' and lower(name) "
                       "in ('patientrecords', 'medicalhistory', 'users', 'userlog')");
        // A damaged page deep in a table does not stop the file from opening.
        return tables == QLatin1String("4")
               && firstValue(conn.handle(), "PRAGMA quick_check") == QLatin1String("ok");
    } catch (const DbError &) {
        return false;
    }
}

void backupDatabase(const QString &database, const QString &destination,
                    const QString &password, const Progress &progress)
{
    // A relative name would land wherever the program happened to start.
    if (QFileInfo(destination).isRelative())
        fail(QStringLiteral("'%1' is not a full path: please choose the folder.")
                 .arg(destination));
    requireFileName(destination);
    if (QFileInfo(destination).canonicalFilePath() == QFileInfo(database).canonicalFilePath())
        fail(QStringLiteral("'%1' is the database itself: please choose another folder or name.")
                 .arg(destination));
    std::unique_ptr<QTemporaryFile> staged;
    {
        const ReadLock lock(database, password);
        const ByteSource bytes = lock.bytes();
        Tracker tracker{progress, bytes.size};
        staged = stageCopy(bytes, destination, tracker);
    }
    if (!databaseOpens(staged->fileName(), password)) {
        staged->remove();
        fail(QStringLiteral("The copy written to '%1' does not open with the database password; "
                            "it was removed.")
                 .arg(destination));
    }
    commit(*staged, destination,
           QFile::permissions(QFile::exists(destination) ? destination : database));
}

void restoreDatabase(const QString &source, const QString &working, const QString &password,
                     const Progress &progress)
{
    requireFileName(working);
    if (!isUsableDatabase(source, password))
        fail(QStringLiteral("The selected file is not a usable Medlantis database. "
                            "Nothing was restored."));
    const bool hasWorking = QFileInfo::exists(working);
    Tracker tracker{progress,
                    QFileInfo(source).size() + (hasWorking ? QFileInfo(working).size() : 0)};
    std::unique_ptr<QTemporaryFile> staged;
    {
        const ReadLock lock(source, password);
        staged = stageCopy(lock.bytes(), working, tracker);
    }
    if (!isUsableDatabase(staged->fileName(), password))
        fail(QStringLiteral("The copy of '%1' could not be read back. Nothing was restored.")
                 .arg(source));
    if (!hasWorking) {
        commit(*staged, working, QFile::permissions(source));
        return;
    }

    // The working file stays read-locked until the new one has taken its place,
    // so no workstation is halfway through a commit when it is replaced.
    const QFileDevice::Permissions permissions = QFile::permissions(working);
    std::unique_ptr<ReadLock> lock;
    try {
        lock = std::make_unique<ReadLock>(working, password);
    } catch (const DbError &e) {
        if (!damaged(e))
            throw;
    }
    QFile plain(working);
    const ByteSource current = lock ? lock->bytes() : plainBytes(plain);
    const QString kept = beforeRestorePath(working);
    auto keptCopy = stageCopy(current, kept, tracker);
    commit(*keptCopy, kept, permissions);
    commit(*staged, working, permissions);
}

} // namespace DatabaseFiles
