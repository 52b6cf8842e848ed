#include "maintenance/DatabaseFiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <sqlcipher/sqlite3.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "data/Audit.h"
#include "data/AuditCheck.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/PgEngine.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "data/SqliteEngine.h"
#include "maintenance/AuditAnchors.h"
#include "maintenance/BulkCopy.h"
#include "maintenance/RestoreSource.h"

namespace DatabaseFiles {
namespace {

constexpr qint64 kChunk = 1 << 20;
// Every copy is staged under this name beside its destination.
const QString kStagedSuffix = QStringLiteral(".staging-XXXXXX");

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

struct Tracker
{
    const Progress &progress;
    qint64 total;
    qint64 done = 0;
    QElapsedTimer told; // since the last report

    void advance(qint64 units)
    {
        done += units;
        if (!progress)
            return;
        // Rows come far faster than a window repaints; the end is always told.
        if (done < total && told.isValid() && told.elapsed() < 40)
            return;
        told.start();
        progress(std::min(done, total), total);
    }
};

// The progress of one part of a longer work: its own figures as the share
// from..to of the whole (in millionths).
Progress partOf(const Progress &whole, double from, double to)
{
    if (!whole)
        return {};
    return [whole, from, to](qint64 done, qint64 total) {
        const double f = total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 1.0;
        whole(qint64((from + (to - from) * f) * 1e6), 1000000);
    };
}

// Something to copy bytes from: its size and a reader of one piece, and a
// descriptor of the same file for a copy inside the kernel (-1: none).
struct ByteSource
{
    qint64 size;
    std::function<void(char *buffer, qint64 offset, qint64 length)> read;
    int descriptor = -1;
};

// Holds a lock on a database file. With the read lock others, on this or any
// workstation, can still read but cannot commit; with the write lock they can
// read but cannot start a write at all, so none is halfway through a save when
// the file is replaced. The bytes are read through the engine's own file
// handle, because opening and closing a second descriptor on the file would
// drop this process's POSIX locks on it.
class FileLock
{
public:
    enum Mode { Read, Write };

    FileLock(const QString &path, const QString &password, Mode mode, int waitMs = 10000)
        : m_path(path)
    {
        m_conn.Open(path, password);
        sqlite3_busy_timeout(m_conn.handle(), waitMs);
        if (mode == Write)
            m_conn.beginTransaction();
        else
            m_conn.Execute(QStringLiteral("BEGIN"));
        m_conn.Execute(QStringLiteral("select count(*) from sqlite_master"));
        sqlite3_file_control(m_conn.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &m_file);
        if (!m_file || !m_file->pMethods)
            throw DbError(SQLITE_CANTOPEN, QStringLiteral("Could not read '%1'.").arg(path));
    }

    ~FileLock() { sqlite3_exec(m_conn.handle(), "ROLLBACK", nullptr, nullptr, nullptr); }

    // Reads the locked file (its transaction stays open).
    Connection &connection() { return m_conn; }

    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    ByteSource bytes() const
    {
        sqlite3_int64 size = 0;
        check(m_file->pMethods->xFileSize(m_file, &size));
        return {size,
                [this](char *buffer, qint64 offset, qint64 length) {
                    check(m_file->pMethods->xRead(m_file, buffer, int(length), offset));
                },
                descriptor()};
    }

private:
    // The engine's own descriptor of the file, for copying without a pass
    // through this process: SQLite's unix file keeps it after three pointers.
    // Used only when it is the very file locked here; -1 otherwise.
    int descriptor() const
    {
#ifdef Q_OS_LINUX
        struct UnixFileHead
        {
            const sqlite3_io_methods *methods;
            sqlite3_vfs *vfs;
            void *inode;
            int h;
        };
        const int h = reinterpret_cast<const UnixFileHead *>(m_file)->h;
        struct stat held {};
        struct stat named {};
        if (h >= 0 && ::fstat(h, &held) == 0
            && ::stat(QFile::encodeName(m_path).constData(), &named) == 0
            && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return h;
#endif
        return -1;
    }

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
    auto staged = std::make_unique<QTemporaryFile>(destination + kStagedSuffix);
    if (!staged->open())
        fail(QStringLiteral("Could not write into the folder '%1': %2")
                 .arg(folder, staged->errorString()));
    const auto writeFailed = [&] {
        fail(QStringLiteral("Could not write '%1': %2").arg(destination, staged->errorString()));
    };
    qint64 offset = 0;
#ifdef Q_OS_LINUX
    // Inside the kernel, as cp copies; where it cannot, the loop below goes on.
    while (source.descriptor >= 0 && offset < source.size) {
        loff_t from = offset;
        const ssize_t n = ::copy_file_range(source.descriptor, &from, staged->handle(), nullptr,
                                            size_t(std::min<qint64>(8 * kChunk,
                                                                    source.size - offset)),
                                            0);
        if (n <= 0)
            break;
        offset += n;
        tracker.advance(n);
    }
    // The file's own position moved with the kernel's copy; the device's did not.
    if (offset > 0 && !staged->seek(offset))
        writeFailed();
#endif
    QByteArray buffer(int(std::min(kChunk, std::max<qint64>(source.size, 1))), Qt::Uninitialized);
    while (offset < source.size) {
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

// What a replacing file takes over from the one it replaces.
struct Ownership
{
    QFileDevice::Permissions permissions;
    long group = -1;
};

Ownership ownershipOf(const QString &path)
{
    Ownership o{QFile::permissions(path)};
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        o.group = long(info.st_gid);
#endif
    return o;
}

// What a new file in the folder takes: the folder's own access, without
// running its files.
Ownership ownershipOfNewFileIn(const QString &folder)
{
    Ownership o = ownershipOf(folder);
    o.permissions &= ~(QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ExeGroup
                       | QFileDevice::ExeOther);
    return o;
}

// Puts the staged file in destination's place with one rename.
void commit(QTemporaryFile &staged, const QString &destination, const Ownership &ownership)
{
    staged.setPermissions(ownership.permissions);
#ifdef Q_OS_UNIX
    // Shared folders give the practice's group its access; keep it (only an
    // owner in that group, or root, can set it, and that is the case here).
    if (ownership.group >= 0)
        (void)::chown(QFile::encodeName(staged.fileName()).constData(), uid_t(-1),
                      gid_t(ownership.group));
#endif
    std::error_code error;
    std::filesystem::rename(fsPath(staged.fileName()), fsPath(destination), error);
    if (error)
        fail(QStringLiteral("Could not replace '%1': %2")
                 .arg(destination, QString::fromStdString(error.message())));
    staged.setAutoRemove(false);
}

void commit(QTemporaryFile &staged, const QString &destination,
            QFileDevice::Permissions permissions)
{
    commit(staged, destination, Ownership{permissions});
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

int removeStagedCopies(const QString &file, qint64 minAgeSecs)
{
    const QFileInfo info(file);
    const QDir folder = info.absoluteDir();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    int removed = 0;
    for (const QString &name : {info.fileName(), QFileInfo(beforeRestorePath(file)).fileName()}) {
        // The names QTemporaryFile makes from the pattern: six letters or digits.
        const QRegularExpression staged(QLatin1Char('^') + QRegularExpression::escape(name)
                                        + QStringLiteral("\\.staging-[A-Za-z0-9]{6}$"));
        const QStringList candidates =
            folder.entryList({name + QStringLiteral(".staging-*")}, QDir::Files | QDir::Hidden);
        for (const QString &candidate : candidates) {
            const QFileInfo copy(folder.filePath(candidate));
            if (!staged.match(candidate).hasMatch()
                || copy.lastModified().toUTC().secsTo(now) < minAgeSecs)
                continue;
            if (QFile::remove(copy.absoluteFilePath()))
                ++removed;
        }
    }
    return removed;
}

namespace {

// The bytes this process has read so far, from any file.
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return 0;
}

// SQLite's integrity check of the whole file, which reads every page in one
// long step: it runs beside this thread, which tells progress of the bytes
// read meanwhile and so keeps a window painted.
QString quickCheck(Connection &conn, qint64 size, const Progress &progress)
{
    if (!progress)
        return firstValue(conn.handle(), "PRAGMA quick_check");
    const qint64 start = bytesRead();
    auto check = std::async(std::launch::async, [&conn] {
        return firstValue(conn.handle(), "PRAGMA quick_check");
    });
    while (check.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        progress(std::clamp<qint64>(bytesRead() - start, 0, size), size);
    progress(size, size);
    return check.get();
}

// What the open database lacks of the tables and columns of the schema; "" when nothing.
QString shapeProblem(Connection &conn)
{
    for (const QString &table : Schema::requiredTables()) {
        QStringList present;
        Recordset rs;
        rs.Open(QStringLiteral("PRAGMA table_info('%1')").arg(table), conn, adOpenStatic,
                adLockReadOnly);
        for (; !rs.isEOF(); rs.MoveNext())
            present << rs.Text(QStringLiteral("name")).toLower();
        if (present.isEmpty())
            return QStringLiteral("It has no table %1.").arg(table);
        for (const Schema::TableShape &shape : Schema::tables()) {
            if (shape.name.compare(table, Qt::CaseInsensitive) != 0)
                continue;
            for (const QString &column : shape.columns) {
                if (!present.contains(column.toLower()))
                    return QStringLiteral("Its table %1 has no column %2.").arg(table, column);
            }
        }
    }
    return QString();
}

// A copy this program has just made of a checked file opens with the
// password and holds the schema's tables; reading every page of it again
// would find only what the check of its source found.
bool copyOpens(const QString &path, const QString &password)
{
    try {
        Connection conn;
        conn.Open(path, password);
        return shapeProblem(conn).isEmpty();
    } catch (const DbError &) {
        return false;
    }
}

} // namespace

QString unusableReason(const QString &path, const QString &password, const Progress &progress)
{
    if (!QFileInfo(path).isFile())
        return QStringLiteral("'%1' is not a file.").arg(path);
    try {
        Connection conn;
        conn.Open(path, password);
        const QString lacking = shapeProblem(conn);
        if (!lacking.isEmpty())
            return lacking;
        // A damaged page deep in a table does not stop the file from opening.
        if (quickCheck(conn, QFileInfo(path).size(), progress) != QLatin1String("ok"))
            return QStringLiteral("It fails the integrity check.");
    } catch (const DbError &e) {
        return e.description();
    }
    return QString();
}

bool isUsableDatabase(const QString &path, const QString &password, const Progress &progress)
{
    return unusableReason(path, password, progress).isEmpty();
}

namespace {

PgEngine &serverOf(Connection &conn)
{
    auto *pg = dynamic_cast<PgEngine *>(&conn.engine());
    if (!pg)
        fail(QStringLiteral("'%1' is not a server database.").arg(conn.path()));
    return *pg;
}

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// The rows of the tables in all, as the server guessed them at its last look
// (no table is read whole for it); a table it has not looked at yet is counted.
qint64 rowsGuessed(PgEngine &pg, const QStringList &tables)
{
    qint64 rows = 0;
    for (const QString &table : tables) {
        const ResultRows guess = pg.queryRaw(
            QStringLiteral("select reltuples::bigint from pg_class where oid = to_regclass('%1')")
                .arg(quotedName(table)));
        const qint64 n = guess.cells.empty() ? -1 : guess.value(guess.cells[0]).toLongLong();
        if (n >= 0) {
            rows += n;
            continue;
        }
        const ResultRows counted =
            pg.queryRaw(QStringLiteral("select count(*) from %1").arg(quotedName(table)));
        rows += counted.cells.empty() ? 0 : counted.value(counted.cells[0]).toLongLong();
    }
    return rows;
}

// The whole server database as one file of the embedded kind, encrypted with
// the password, so that every backup opens anywhere.
void backupServer(const QString &uri, const QString &destination, const QString &password,
                  const Progress &progress)
{
    Connection server;
    server.Open(uri, password);
    PgEngine &pg = serverOf(server);
    auto staged = std::make_unique<QTemporaryFile>(destination + kStagedSuffix);
    if (!staged->open())
        fail(QStringLiteral("Could not write into the folder '%1': %2")
                 .arg(QFileInfo(destination).absolutePath(), staged->errorString()));
    staged->close();
    // Its own handle on the new file, kept open until the file is closed:
    // nobody but this process knows of the file, so no lock of it matters.
    QFile written(staged->fileName());
    (void)written.open(QIODevice::ReadWrite);
    std::optional<Tracker> tracker;
    qint64 tail = 0;
    {
        Connection file;
        file.Open(staged->fileName(), password);
        BulkCopy::prepareBulkLoad(file.handle());
        // The indexes are there before the rows and take them as they come,
        // in the page cache: building each afterwards would read and decipher
        // its whole table again, which costs more than the updates.
        for (const Schema::Statement &statement : Schema::statements())
            file.engine().createSchemaObject(statement.sql);
        // One snapshot of every table, whatever the other workstations save
        // meanwhile. The copies are watched by their progress instead of the
        // statement time limit.
        pg.executeRaw(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; "
                                     "SET LOCAL statement_timeout = 0"));
        try {
            const QStringList present = pg.schemaObjects();
            QStringList copied;
            for (const Schema::TableShape &table : Schema::tables()) {
                if (present.contains(table.name.toLower()))
                    copied << table.name;
            }
            const qint64 total = rowsGuessed(pg, copied);
            // The end (the last pages, the check, the flush) counts as a
            // twentieth, told in three steps.
            tail = std::max<qint64>(total / 20, 3);
            tracker.emplace(Tracker{progress, total + tail});
            qint64 unflushed = 0;
            const BulkCopy::Advance advance = [&](qint64 rows) {
                tracker->advance(rows);
                unflushed += rows;
#ifdef Q_OS_LINUX
                // The disk takes the pages as they come, so the flush at the
                // end has little left to wait for.
                if (unflushed >= 20000 && written.isOpen()) {
                    (void)::sync_file_range(written.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
                    unflushed = 0;
                }
#endif
            };
            Transaction writing(file);
            for (const Schema::TableShape &table : Schema::tables()) {
                if (copied.contains(table.name))
                    BulkCopy::fromServer(pg, file.handle(), table, advance);
            }
            writing.commit();
            tracker->advance(tail / 3);
        } catch (...) {
            pg.rollback();
            throw;
        }
        pg.rollback();
    }
    if (!copyOpens(staged->fileName(), password))
        fail(QStringLiteral("The backup written to '%1' could not be read back; it was removed.")
                 .arg(destination));
    tracker->advance(tail / 3);
#ifdef Q_OS_UNIX
    if (!written.isOpen() || ::fsync(written.handle()) != 0)
        fail(QStringLiteral("Could not write '%1'.").arg(destination));
#endif
    tracker->advance(tail);
    // The copy holds every patient: only its owner may read it.
    commit(*staged, destination,
           QFile::exists(destination) ? ownershipOf(destination)
                                      : Ownership{QFileDevice::ReadOwner | QFileDevice::WriteOwner});
}

// Removes every row of the table, some thousands at a time, so that the
// progress moves while a large table goes.
void removeRows(PgEngine &pg, const Schema::TableShape &table, const BulkCopy::Advance &advance)
{
    constexpr int kBatch = 5000;
    const QString name = quotedName(table.name);
    const QString key = quotedName(table.key);
    for (qint64 after = std::numeric_limits<qint64>::min();;) {
        const ResultRows bound = pg.queryRaw(
            QStringLiteral("select %1 from %2 where %1 > %3 order by %1 offset %4 limit 1")
                .arg(key, name)
                .arg(after)
                .arg(kBatch - 1));
        if (bound.cells.empty())
            break;
        const qint64 upTo = bound.value(bound.cells[0]).toLongLong();
        pg.executeRaw(QStringLiteral("delete from %1 where %2 > %3 and %2 <= %4")
                          .arg(name, key)
                          .arg(after)
                          .arg(upTo));
        advance(kBatch);
        after = upTo;
    }
    pg.executeRaw(QStringLiteral("delete from %1").arg(name));
}

// Replaces every row of the four tables of the server database with the
// file's, in one transaction: on any failure nothing changes. The tables stay
// as they are (their indexes too), so other workstations read on meanwhile.
void restoreServer(const QString &source, const QString &uri, const QString &password,
                   const Progress &progress, const Audit::Entry *trail, const AuditWho *who)
{
    Connection file;
    file.Open(source, password);
    Connection server;
    server.Open(uri, password);
    PgEngine &pg = serverOf(server);
    qint64 total = 0;
    for (const QString &table : Schema::requiredTables()) {
        Recordset rs;
        rs.Open(QStringLiteral("select count(*) from [%1]").arg(table), file, adOpenStatic,
                adLockReadOnly);
        total += rs.Value(0).toLongLong();
    }
    Transaction transaction(server);
    // The copy is watched by its progress instead of the statement time limit.
    pg.executeRaw(QStringLiteral("SET LOCAL statement_timeout = 0"));
    total += rowsGuessed(pg, Schema::requiredTables());
    Tracker tracker{progress, std::max<qint64>(total, 1)};
    const BulkCopy::Advance advance = [&](qint64 rows) { tracker.advance(rows); };
    for (const Schema::TableShape &shape : Schema::tables()) {
        if (Schema::requiredTables().contains(shape.name))
            removeRows(pg, shape, advance);
    }
    for (const Schema::TableShape &shape : Schema::tables()) {
        if (Schema::requiredTables().contains(shape.name))
            BulkCopy::toServer(file.handle(), pg, shape, advance);
    }
    if (trail) {
        server.setWhoSource([who] { return *who; });
        Audit::add(server, *trail);
    }
    transaction.commit();
}

} // namespace

namespace {
void writeBackup(const QString &database, const QString &destination, const QString &password,
                 const Progress &progress);
} // namespace

void backupDatabase(const QString &database, const QString &destination,
                    const QString &password, const Progress &progress, const AuditWho *who)
{
    writeBackup(database, destination, password, progress);
    // The copy's newest seal lies beside it, out of reach of a rewrite of the
    // database's trail.
    AuditAnchors::writeBeside(destination, password, database);
    // A backup changes no record: its row follows the copy, which holds no
    // write lock, so workstations exiting together back up side by side.
    if (who) {
        Connection trail;
        trail.Open(database, password);
        trail.setWhoSource([who] { return *who; });
        Audit::add(trail, {QStringLiteral("Backup"), QString(), QVariant(), QVariant(),
                           QStringLiteral("To: ") + destination});
    }
}

namespace {

void writeBackup(const QString &database, const QString &destination, const QString &password,
                 const Progress &progress)
{
    // A relative name would land wherever the program happened to start.
    if (QFileInfo(destination).isRelative())
        fail(QStringLiteral("'%1' is not a full path: please choose the folder.")
                 .arg(destination));
    requireFileName(destination);
    if (isServerUri(database)) {
        backupServer(database, destination, password, progress);
        return;
    }
    if (QFileInfo(destination).canonicalFilePath() == QFileInfo(database).canonicalFilePath())
        fail(QStringLiteral("'%1' is the database itself: please choose another folder or name.")
                 .arg(destination));
    std::unique_ptr<QTemporaryFile> staged;
    {
        const FileLock lock(database, password, FileLock::Read);
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
    commit(*staged, destination, ownershipOf(QFile::exists(destination) ? destination : database));
}

} // namespace

namespace {

// What the "Restore" row tells of the source: the rows of each table it
// brings in, its trail's newest row, and whether that trail checks.
QStringList describeSource(const QString &source, const QString &password)
{
    QStringList lines{QStringLiteral("From: ") + source};
    Connection file;
    file.Open(source, password);
    QStringList counts;
    for (const QString &table : Schema::requiredTables()) {
        Recordset rs;
        rs.Open(QStringLiteral("select count(*) from [%1]").arg(table), file, adOpenStatic,
                adLockReadOnly);
        counts << QStringLiteral("%1 %2").arg(table).arg(rs.Value(0).toLongLong());
    }
    lines << QStringLiteral("Rows brought in: ") + counts.join(QStringLiteral(", "));
    const QStringList lacking = Schema::lacking(file.engine());
    if (lacking.contains(QLatin1String("AuditTrail"))) {
        lines << QStringLiteral("The source holds no audit trail.");
        return lines;
    }
    if (!lacking.filter(QRegularExpression(QStringLiteral("^AuditTrail\\."))).isEmpty()) {
        lines << QStringLiteral("The source's trail was written before rows were sealed.");
        return lines;
    }
    try {
        const Audit::CheckReport report = Audit::check(file);
        if (report.newest.id == 0)
            lines << QStringLiteral("The source's trail holds no rows.");
        else
            lines << QStringLiteral("The source's newest trail row: %1 of %2, seal %3")
                         .arg(report.newest.id)
                         .arg(Audit::shownDate(report.newest.eventDate),
                              report.newest.seal.isEmpty() ? QStringLiteral("none")
                                                           : report.newest.seal);
        if (!report.whole)
            lines << QStringLiteral("The source's trail did not check: ") + report.lines.value(0);
    } catch (const DbError &) {
        lines << QStringLiteral("The source's trail could not be read.");
    }
    return lines;
}

// The trail of the file a restore replaces, read under its write lock; none
// when it cannot be read (a damaged file, or one from before the trail).
std::optional<std::vector<Audit::Stored>> replacedTrail(FileLock *lock)
{
    if (!lock)
        return std::nullopt;
    try {
        Connection &db = lock->connection();
        const QStringList lacking = Schema::lacking(db.engine());
        if (lacking.contains(QLatin1String("AuditTrail")))
            return std::vector<Audit::Stored>();
        // An older file's rows come as they are, without seals.
        const bool sealed =
            lacking.filter(QRegularExpression(QStringLiteral("^AuditTrail\\."))).isEmpty();
        std::vector<Audit::Stored> rows;
        Audit::forEachRow(
            db,
            [&rows](const Audit::Stored &row) {
                rows.push_back(row);
                return true;
            },
            sealed);
        return rows;
    } catch (const DbError &) {
        return std::nullopt;
    }
}

// Who holds a row, whatever its id: its time and seal (a row without one, by
// all its fields).
QString heldKey(const QString &eventDate, const QString &seal)
{
    return eventDate + QLatin1Char('\x1f') + seal;
}

QString unsealedKey(const Audit::Stored &row)
{
    return heldKey(row.eventDate, QStringLiteral("fields ") + Audit::sealOf(QString(), row));
}

// Carries into the restored copy the rows of the replaced trail that it does
// not hold (those written after the backup was taken), in their order, with
// new ids and seals after its last row, each keeping its time and naming its
// id and seal in the replaced trail. Returns how many.
int carryTrail(Connection &copy, const std::vector<Audit::Stored> &replaced)
{
    std::set<QString> held;
    Audit::forEachRow(copy, [&held](const Audit::Stored &row) {
        if (row.seal.isEmpty())
            held.insert(unsealedKey(row));
        else
            held.insert(heldKey(row.eventDate, row.seal));
        if (!row.originalSeal.isEmpty())
            held.insert(heldKey(row.eventDate, row.originalSeal));
        return true;
    });
    std::vector<Audit::Stored> carried;
    for (const Audit::Stored &row : replaced) {
        const bool holds = row.seal.isEmpty() ? held.count(unsealedKey(row)) > 0
                                              : held.count(heldKey(row.eventDate, row.seal)) > 0
                || (!row.originalSeal.isEmpty()
                    && held.count(heldKey(row.eventDate, row.originalSeal)) > 0);
        if (holds)
            continue;
        Audit::Stored moved = row;
        moved.originalId = row.id;
        moved.originalSeal = row.seal;
        carried.push_back(moved);
    }
    if (!carried.empty())
        Audit::appendRows(copy, carried);
    return int(carried.size());
}

} // namespace

namespace {

// The file about to be replaced becomes the undo copy under a second name,
// bytes, owner and mode as they are: nobody can write it meanwhile (the
// write lock is held) or afterwards (it is no longer the database). False
// where the folder allows no second name; the caller copies then.
bool keptByLink(const QString &working, const QString &undo)
{
#ifdef Q_OS_UNIX
    const QByteArray from = QFile::encodeName(working);
    const QByteArray named = QFile::encodeName(undo);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QByteArray staged =
            named + ".link-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        if (::link(from.constData(), staged.constData()) != 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        // Over an older undo copy in one step, as every commit is.
        if (::rename(staged.constData(), named.constData()) == 0)
            return true;
        ::unlink(staged.constData());
        return false;
    }
#else
    Q_UNUSED(working);
    Q_UNUSED(undo);
#endif
    return false;
}

} // namespace

void restoreDatabase(const QString &source, const QString &working, const QString &password,
                     const Progress &progress, const AuditWho *who)
{
    if (!isServerUri(working))
        requireFileName(working);
    // The parts of the work, in bytes: checking the source, copying it and
    // keeping the file it replaces. For a server, its rows take the place of
    // the copies, about twice the check.
    const qint64 size = std::max<qint64>(QFileInfo(source).size(), 1);
    const bool hasWorking = !isServerUri(working) && QFileInfo::exists(working);
    const qint64 kept = hasWorking ? QFileInfo(working).size() : 0;
    const double whole = double(isServerUri(working) ? 3 * size : 2 * size + kept);
    const auto share = [&](qint64 from, qint64 to) {
        return partOf(progress, double(from) / whole, double(to) / whole);
    };
    // Before anything runs on it: a foreign trigger would fire at the first write.
    const QString refused = RestoreSource::problem(source, password, share(0, size));
    if (!refused.isEmpty())
        fail(refused);
    QStringList told = describeSource(source, password);
    if (isServerUri(working)) {
        told << QStringLiteral("The server's trail was kept.");
        const Audit::Entry restored{QStringLiteral("Restore"), QString(), QVariant(), QVariant(),
                                    told.join(QLatin1Char('\n'))};
        restoreServer(source, working, password, share(size, 3 * size),
                      who ? &restored : nullptr, who);
        return;
    }
    removeStagedCopies(working);
    std::unique_ptr<QTemporaryFile> staged;
    {
        Tracker tracker{share(size, 2 * size), size};
        const FileLock lock(source, password, FileLock::Read);
        staged = stageCopy(lock.bytes(), working, tracker);
    }

    // The working file stays write-locked until the new one has taken its place,
    // so no workstation is halfway through a save when it is replaced, and no
    // trail row is written that the copy does not carry over; their next save
    // finds the file replaced and writes nothing into the old one.
    const Ownership ownership = hasWorking ? ownershipOf(working) : Ownership{};
    std::unique_ptr<FileLock> lock;
    if (hasWorking) {
        try {
            lock = std::make_unique<FileLock>(working, password, FileLock::Write);
        } catch (const DbError &e) {
            if (!damaged(e))
                throw;
        }
    }
    {
        // The restored file's trail keeps the replaced one's and says so: the
        // rows go in with the file.
        Connection copy;
        copy.Open(staged->fileName(), password);
        Schema::createMissing(copy);
        Transaction transaction(copy);
        if (hasWorking) {
            const std::optional<std::vector<Audit::Stored>> replaced = replacedTrail(lock.get());
            if (!replaced) {
                told << QStringLiteral("The replaced trail could not be read.");
            } else {
                if (replaced->empty())
                    told << QStringLiteral("The replaced trail held no rows.");
                else
                    told << QStringLiteral("The replaced trail ended with row %1 of %2, seal %3")
                                .arg(replaced->back().id)
                                .arg(Audit::shownDate(replaced->back().eventDate),
                                     replaced->back().seal.isEmpty() ? QStringLiteral("none")
                                                                     : replaced->back().seal);
                told << QStringLiteral("Rows carried over from the replaced trail: %1")
                            .arg(carryTrail(copy, *replaced));
            }
        }
        if (who) {
            copy.setWhoSource([who] { return *who; });
            Audit::add(copy,
                       {QStringLiteral("Restore"), QString(), QVariant(), QVariant(),
                        told.join(QLatin1Char('\n'))});
        }
        transaction.commit();
    }
    if (!copyOpens(staged->fileName(), password))
        fail(QStringLiteral("The copy of '%1' could not be read back. Nothing was restored.")
                 .arg(source));
    if (!hasWorking) {
        // The folder says who may read it, not wherever the source came from.
        commit(*staged, working, ownershipOfNewFileIn(QFileInfo(working).absolutePath()));
        return;
    }
    const QString undo = beforeRestorePath(working);
    if (!keptByLink(working, undo)) {
        QFile plain(working);
        const ByteSource current = lock ? lock->bytes() : plainBytes(plain);
        Tracker tracker{share(2 * size, 2 * size + kept), std::max<qint64>(current.size, 1)};
        auto keptCopy = stageCopy(current, undo, tracker);
        commit(*keptCopy, undo, ownership);
    }
    if (progress)
        progress(1, 1);
    commit(*staged, working, ownership);
}

namespace {

// A copy of source, encrypted with newPassword, staged beside destination.
std::unique_ptr<QTemporaryFile> stageReencrypted(const QString &source,
                                                 const QString &oldPassword,
                                                 const QString &newPassword,
                                                 const QString &destination)
{
    auto staged = std::make_unique<QTemporaryFile>(destination + kStagedSuffix);
    // The engine opens only files that exist: an empty file is an empty database.
    if (!staged->open())
        fail(QStringLiteral("Could not write beside '%1': %2")
                 .arg(destination, staged->errorString()));
    staged->close();
    sqlite3 *db = openDatabaseFile(source, oldPassword);
    const auto quoted = [](QString text) {
        return text.replace(QLatin1Char('\''), QStringLiteral("''"));
    };
    try {
        execOn(db, QStringLiteral("ATTACH DATABASE '%1' AS target KEY '%2'")
                       .arg(quoted(staged->fileName()), quoted(newPassword)));
        execOn(db, QStringLiteral("SELECT sqlcipher_export('target')"));
        execOn(db, QStringLiteral("DETACH DATABASE target"));
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    if (!databaseOpens(staged->fileName(), newPassword))
        throw DbError(3049, QStringLiteral("The re-encrypted copy of '%1' could not be read back.")
                                .arg(source));
#ifdef Q_OS_UNIX
    QFile written(staged->fileName());
    if (!written.open(QIODevice::ReadWrite) || ::fsync(written.handle()) != 0)
        fail(QStringLiteral("Could not write '%1'.").arg(destination));
#endif
    return staged;
}

} // namespace

QString undoCopyLeftBy(const QString &path, const QString &oldPassword)
{
    const QString undo = beforeRestorePath(path);
    return QFileInfo(undo).isFile() && !databaseOpens(undo, oldPassword) ? undo : QString();
}

PasswordChange changePassword(const QString &path, const QString &oldPassword,
                              const QString &newPassword, int waitMs, const AuditWho *who)
{
    requireFileName(path);
    PasswordChange result;
    removeStagedCopies(path);
    {
        // From the first byte copied to the rename, no other workstation can
        // start a save: each one waits, then finds the file replaced.
        std::unique_ptr<FileLock> lock;
        try {
            lock = std::make_unique<FileLock>(path, oldPassword, FileLock::Write, waitMs);
        } catch (const DbError &e) {
            if ((e.number() & 0xff) != SQLITE_BUSY)
                throw;
            throw DbError(e.number(),
                          QStringLiteral("Another workstation is saving to the database, so its "
                                         "password was not changed. Nothing was changed; please "
                                         "try again in a moment."));
        }
        const Ownership ownership = ownershipOf(path);
        auto staged = stageReencrypted(path, oldPassword, newPassword, path);
        if (who) {
            Connection copy;
            copy.Open(staged->fileName(), newPassword);
            copy.setWhoSource([who] { return *who; });
            Schema::createMissing(copy);
            Audit::add(copy,
                       {QStringLiteral("Password"), QString(), QVariant(), QVariant(),
                        newPassword.isEmpty() ? QStringLiteral("Database password: removed")
                                              : QStringLiteral("Database password: changed")});
        }
        commit(*staged, path, ownership);
    }
    // No plain copy of the patients may stay beside an encrypted database.
    const QString undo = beforeRestorePath(path);
    if (QFileInfo(undo).isFile()) {
        result.undoCopy = undo;
        if (databaseOpens(undo, oldPassword)) {
            const Ownership ownership = ownershipOf(undo);
            auto staged = stageReencrypted(undo, oldPassword, newPassword, undo);
            commit(*staged, undo, ownership);
        } else {
            result.undoCopyLeft = true;
        }
    }
    return result;
}

} // namespace DatabaseFiles
