#include <stdexcept>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include "data/Connection.h"
#include "maintenance/DatabaseFiles.h"
#include "support/TestWorld.h"

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

TEST(DatabaseFiles, BackupIsAByteCopyAndReplacesAnEarlierOne)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    const QString copy = w.path(QStringLiteral("desktop/dbData.mdb"));

    DatabaseFiles::backupDatabase(working, copy, QString());
    EXPECT_EQ(bytesOf(copy), bytesOf(working));
    EXPECT_EQ(patientsIn(copy), 0);

    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    DatabaseFiles::backupDatabase(working, copy, QString());
    EXPECT_EQ(bytesOf(copy), bytesOf(working));
    EXPECT_EQ(patientsIn(copy), 1);
    EXPECT_EQ(filesIn(w.path(QStringLiteral("desktop"))),
              QStringList{QStringLiteral("dbData.mdb")});
}

TEST(DatabaseFiles, WritersWaitUntilTheCopyIsTaken)
{
    TestWorld w;
    const QString copy = w.path(QStringLiteral("desktop/dbData.mdb"));
    sqlite3 *writer = w.db().handle();
    sqlite3_busy_timeout(writer, 0);
    ASSERT_EQ(sqlite3_exec(writer,
                           "BEGIN IMMEDIATE; insert into PatientRecords (PatientID, LastName) "
                           "values (7, 'Pending')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);

    std::vector<int> commitsDuringCopy;
    DatabaseFiles::backupDatabase(w.ctx().databaseFile(), copy, QString(), [&](qint64, qint64) {
        commitsDuringCopy.push_back(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr));
    });

    ASSERT_FALSE(commitsDuringCopy.empty());
    for (int rc : commitsDuringCopy)
        EXPECT_EQ(rc, SQLITE_BUSY);
    EXPECT_EQ(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
    EXPECT_EQ(patientsIn(copy), 0);
    EXPECT_TRUE(DatabaseFiles::isUsableDatabase(copy, QString()));
}

TEST(DatabaseFiles, EncryptedBackupOpensOnlyWithThePassword)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    const QString copy = w.path(QStringLiteral("desktop/dbData.mdb"));
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.db().Close();
    DatabaseFiles::changePassword(working, QString(), QStringLiteral("s3cret"));

    DatabaseFiles::backupDatabase(working, copy, QStringLiteral("s3cret"));
    EXPECT_EQ(bytesOf(copy), bytesOf(working));
    EXPECT_EQ(patientsIn(copy, QStringLiteral("s3cret")), 1);
    EXPECT_FALSE(databaseOpens(copy, QString()));
}

TEST(DatabaseFiles, FailedBackupLeavesTheFolderAsItWas)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    const QString desktop = w.path(QStringLiteral("desktop"));
    const QString earlier = desktop + QStringLiteral("/dbData.mdb");
    writeBytes(earlier, "an earlier backup");
    QDir(desktop).mkdir(QStringLiteral("sub"));

    struct Case
    {
        const char *name;
        QString destination;
        QString password;
    };
    const Case cases[] = {
        {"missing folder", w.path(QStringLiteral("nowhere/dbData.mdb")), QString()},
        {"no file name", desktop + QStringLiteral("/sub/"), QString()},
        {"a folder as file name", desktop + QStringLiteral("/sub"), QString()},
        {"relative path", QStringLiteral("dbData.mdb"), QString()},
        {"the database itself", working, QString()},
        {"wrong password", earlier, QStringLiteral("wrong")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(DatabaseFiles::backupDatabase(working, c.destination, c.password),
                     std::runtime_error);
        EXPECT_EQ(bytesOf(earlier), QByteArray("an earlier backup"));
        EXPECT_EQ(filesIn(desktop), QStringList{QStringLiteral("dbData.mdb")});
        EXPECT_TRUE(DatabaseFiles::isUsableDatabase(working, QString()));
    }
    EXPECT_FALSE(QFile::exists(QDir::current().filePath(QStringLiteral("dbData.mdb"))));
}

TEST(DatabaseFiles, OnlyAWholeMedlantisDatabaseIsUsable)
{
    TestWorld w;
    for (int id = 1; id <= 300; ++id)
        w.addPatient(id, QStringLiteral("Patient %1").arg(id).repeated(40), QStringLiteral("X"));
    const QString good = w.path(QStringLiteral("good.mdb"));
    DatabaseFiles::backupDatabase(w.ctx().databaseFile(), good, QString());
    const QByteArray bytes = bytesOf(good);
    ASSERT_GT(bytes.size(), 16 * 4096);

    writeBytes(w.path(QStringLiteral("notes.mdb")), "Patient notes, not a database\r\n");
    writeBytes(w.path(QStringLiteral("empty.mdb")), QByteArray());
    writeBytes(w.path(QStringLiteral("truncated.mdb")), bytes.left(bytes.size() / 2));
    const int middlePage = bytes.size() / 4096 / 2;
    writeBytes(w.path(QStringLiteral("damaged.mdb")),
               bytes.left(middlePage * 4096) + QByteArray(4096, '\xa5')
                   + bytes.mid((middlePage + 1) * 4096));
    {
        Connection other;
        const QString path = w.path(QStringLiteral("other.mdb"));
        writeBytes(path, QByteArray());
        other.Open(path, QString());
        other.Execute(QStringLiteral("create table PatientRecords (PatientID integer)"));
    }
    // The four table names with one column each, and a table without one column.
    const auto makeFile = [&](const char *name, const QStringList &statements) {
        const QString path = w.path(QLatin1String(name));
        writeBytes(path, QByteArray());
        Connection c;
        c.Open(path, QString());
        for (const QString &sql : statements)
            c.Execute(sql);
    };
    makeFile("names.mdb", {"create table PatientRecords (PatientID integer)",
                           "create table MedicalHistory (HistoryID integer)",
                           "create table Users (UserID integer)",
                           "create table UserLog (LogID integer)"});
    QFile::copy(good, w.path(QStringLiteral("nonurse.mdb")));
    {
        Connection c;
        c.Open(w.path(QStringLiteral("nonurse.mdb")), QString());
        c.Execute(QStringLiteral("alter table MedicalHistory rename to Old"));
        c.Execute(QStringLiteral("create table MedicalHistory as select HistoryID, PatientID, "
                                 "VisitDate, ChiefComplaint, Physician from Old"));
        c.Execute(QStringLiteral("drop table Old"));
    }
    EXPECT_EQ(DatabaseFiles::unusableReason(w.path(QStringLiteral("nonurse.mdb")), QString()),
              QStringLiteral("Its table MedicalHistory has no column Nurse."));
    // Columns and tables the program does not know are no reason to refuse.
    const QString extra = w.path(QStringLiteral("extra.mdb"));
    QFile::copy(good, extra);
    {
        Connection c;
        c.Open(extra, QString());
        c.Execute(QStringLiteral("alter table PatientRecords add column Email text"));
        c.Execute(QStringLiteral("create table Appointments (ID integer)"));
    }
    EXPECT_TRUE(DatabaseFiles::isUsableDatabase(extra, QString()));

    const QString secret = w.path(QStringLiteral("secret.mdb"));
    QFile::copy(good, secret);
    DatabaseFiles::changePassword(secret, QString(), QStringLiteral("other"));

    EXPECT_TRUE(DatabaseFiles::isUsableDatabase(good, QString()));
    for (const char *name : {"", "missing.mdb", "notes.mdb", "empty.mdb", "truncated.mdb",
                             "damaged.mdb", "other.mdb", "names.mdb", "nonurse.mdb",
                             "secret.mdb"}) {
        SCOPED_TRACE(name);
        const QString path = *name ? w.path(QLatin1String(name)) : QString();
        EXPECT_FALSE(DatabaseFiles::isUsableDatabase(path, QString()));
    }
    EXPECT_TRUE(DatabaseFiles::isUsableDatabase(secret, QStringLiteral("other")));
}

TEST(DatabaseFiles, RestoreKeepsTheReplacedFileAndThePermissions)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    const QString backup = w.path(QStringLiteral("desktop/dbData.mdb"));
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    DatabaseFiles::backupDatabase(working, backup, QString());
    w.exec(QStringLiteral("delete from PatientRecords"));
    w.addPatient(2, QStringLiteral("Roe"), QStringLiteral("Rick"));
    w.db().Close();
    const QFileDevice::Permissions shared = QFile::ReadOwner | QFile::WriteOwner
                                            | QFile::ReadGroup | QFile::WriteGroup
                                            | QFile::ReadOther;
    QFile::setPermissions(working, shared);
    const QByteArray replaced = bytesOf(working);

    DatabaseFiles::restoreDatabase(backup, working, QString());

    EXPECT_EQ(bytesOf(working), bytesOf(backup));
    const auto modeBits = [](QFileDevice::Permissions p) {
        return p & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    };
    EXPECT_EQ(modeBits(QFile::permissions(working)), shared);
    const QString kept = DatabaseFiles::beforeRestorePath(working);
    EXPECT_EQ(kept, working + QStringLiteral(".before-restore"));
    EXPECT_EQ(bytesOf(kept), replaced);
    EXPECT_EQ(filesIn(QFileInfo(working).path()),
              (QStringList{QStringLiteral("dbData.mdb"),
                           QStringLiteral("dbData.mdb.before-restore")}));
}

TEST(DatabaseFiles, RestoreRepairsADamagedWorkingFile)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    const QString backup = w.path(QStringLiteral("desktop/dbData.mdb"));
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    DatabaseFiles::backupDatabase(working, backup, QString());
    w.db().Close();
    writeBytes(working, "overwritten by accident");

    DatabaseFiles::restoreDatabase(backup, working, QString());

    EXPECT_EQ(patientsIn(working), 1);
    EXPECT_EQ(bytesOf(DatabaseFiles::beforeRestorePath(working)),
              QByteArray("overwritten by accident"));
}

TEST(DatabaseFiles, UnusableSourceRestoresNothing)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    writeBytes(w.path(QStringLiteral("notes.mdb")), "not a database");
    const QByteArray before = bytesOf(working);

    EXPECT_THROW(DatabaseFiles::restoreDatabase(w.path(QStringLiteral("notes.mdb")), working,
                                                QString()),
                 std::runtime_error);
    EXPECT_EQ(bytesOf(working), before);
    EXPECT_EQ(filesIn(QFileInfo(working).path()), QStringList{QStringLiteral("dbData.mdb")});
}

TEST(DatabaseFiles, TrailingSeparatorIsAddedOnce)
{
    const struct
    {
        const char *folder;
        char sep;
        const char *expected;
    } cases[] = {
        {"/home/ann/Backups", '/', "/home/ann/Backups/"},
        {"/home/ann/Backups/", '/', "/home/ann/Backups/"},
        {"/", '/', "/"},
        {"C:\\Backups", '\\', "C:\\Backups\\"},
        {"C:\\", '\\', "C:\\"},
        {"", '/', ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(DatabaseFiles::withTrailingSeparator(QLatin1String(c.folder),
                                                        QLatin1Char(c.sep)),
                  QLatin1String(c.expected))
            << c.folder;
    }
}
