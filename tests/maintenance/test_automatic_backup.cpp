#include <stdexcept>
#include <string>
#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include "data/Connection.h"
#include "maintenance/AutomaticBackup.h"
#include "maintenance/DatabaseFiles.h"
#include "shell/Settings.h"
#include "support/TestWorld.h"

namespace {

const QDateTime kNow(QDate(2026, 12, 10), QTime(18, 30));

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file with the given modification time, as an earlier exit would have left it.
void place(const QString &path, const QDateTime &modified, const QByteArray &bytes = "a copy")
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    ASSERT_TRUE(file.flush());
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

// Sets the modification time of a file as the clock of its writer had it.
void touch(const QString &path, const QDateTime &modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QString backups(TestWorld &w)
{
    return AutomaticBackup::defaultFolder(w.ctx());
}

QString copyOn(int day)
{
    return QStringLiteral("dbData-2026-12-%1.mdb").arg(day, 2, 10, QLatin1Char('0'));
}

void set(TestWorld &w, const char *key, const QString &value)
{
    w.ctx().settings().SaveSetting(QLatin1String(key), value);
}

} // namespace

TEST(AutomaticBackup, NamesCopiesAfterTheWorkingFileAndRecognisesOnlyThoseNames)
{
    const QDate day(2026, 12, 10);
    const struct
    {
        const char *database;
        const char *name;
    } names[] = {
        {"/srv/practice/dbData.mdb", "dbData-2026-12-10.mdb"},
        {"/srv/practice/clinic.v2.db", "clinic.v2-2026-12-10.db"},
        {"/srv/practice/dbData", "dbData-2026-12-10"},
        {"postgresql://db.example/clinic", "clinic-2026-12-10.mdb"},
    };
    for (const auto &n : names) {
        SCOPED_TRACE(n.database);
        EXPECT_EQ(AutomaticBackup::fileNameFor(QLatin1String(n.database), day),
                  QLatin1String(n.name));
        EXPECT_EQ(AutomaticBackup::dateInName(QLatin1String(n.name), QLatin1String(n.database)),
                  day);
    }

    const QString database = QStringLiteral("/srv/practice/dbData.mdb");
    const char *const others[] = {"dbData.mdb",
                                  "dbData-2026-13-40.mdb",
                                  "dbData-26-12-10.mdb",
                                  "dbData-2026-12-10.db",
                                  "dbData-2026-12-10.mdb.bak",
                                  "dbData-2026-12-10.mdb.Xa81Qz", // a copy being written
                                  "dbData-2026-12-10",
                                  "dbData-copy-2026-12-10.mdb",
                                  "DBDATA-2026-12-10.mdb",
                                  "olddbData-2026-12-10.mdb"};
    for (const char *other : others) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(AutomaticBackup::dateInName(QLatin1String(other), database).isValid());
    }
}

TEST(AutomaticBackup, SettingsReadBothSpellingsAndFallBackToTheirDefaults)
{
    const struct
    {
        const char *value; // nullptr: never written
        bool on;
    } switches[] = {{nullptr, true}, {"1", true},      {"true", true},
                    {"0", false},    {"false", false}, {"False", false}};
    for (const auto &s : switches) {
        SCOPED_TRACE(s.value ? s.value : "(unset)");
        TestWorld w(false);
        if (s.value)
            set(w, "Automatic Backup", QLatin1String(s.value));
        EXPECT_EQ(AutomaticBackup::isOn(w.ctx()), s.on);
    }

    const struct
    {
        const char *value;
        int keep;
    } keeps[] = {{nullptr, 14}, {"3", 3}, {"0", 1}, {"-5", 1}, {"many", 14}};
    for (const auto &k : keeps) {
        SCOPED_TRACE(k.value ? k.value : "(unset)");
        TestWorld w(false);
        if (k.value)
            set(w, "Keep Backups", QLatin1String(k.value));
        EXPECT_EQ(AutomaticBackup::keepCount(w.ctx()), k.keep);
    }

    TestWorld w(false);
    EXPECT_EQ(AutomaticBackup::folder(w.ctx()), w.ctx().userDataFolder() + "/Backups");
    set(w, "Database File", w.path(QStringLiteral("share/practice.mdb")));
    EXPECT_EQ(AutomaticBackup::folder(w.ctx()), w.path(QStringLiteral("share/Backups")));
    set(w, "Database File", QStringLiteral("postgresql://db.example/clinic"));
    EXPECT_EQ(AutomaticBackup::folder(w.ctx()), w.ctx().userDataFolder() + "/Backups");
    set(w, "Automatic Backup Folder", QStringLiteral("/mnt/usb/daily"));
    EXPECT_EQ(AutomaticBackup::folder(w.ctx()), QStringLiteral("/mnt/usb/daily"));
    set(w, "Automatic Backup Folder", QStringLiteral("  "));
    EXPECT_EQ(AutomaticBackup::folder(w.ctx()), w.ctx().userDataFolder() + "/Backups");
}

TEST(AutomaticBackup, TodaysCopyOpensWithThePasswordHoldsEveryPatientAndIsMadeOnce)
{
    TestWorld w;
    for (int id = 1; id <= 3; ++id)
        w.addPatient(id, QStringLiteral("Doe"), QStringLiteral("Patient %1").arg(id));
    w.db().Close();
    DatabaseFiles::changePassword(w.ctx().databaseFile(), QString(), QStringLiteral("s3cret"));
    set(w, "Database Password", QStringLiteral("s3cret"));
    ASSERT_FALSE(QFileInfo::exists(backups(w)));

    const AutomaticBackup::Outcome first = AutomaticBackup::run(w.ctx(), kNow);

    const QString copy = backups(w) + QStringLiteral("/dbData-2026-12-10.mdb");
    EXPECT_EQ(first.result, AutomaticBackup::Result::Written);
    EXPECT_EQ(first.file, copy);
    EXPECT_TRUE(first.removed.isEmpty());
    EXPECT_EQ(patientsIn(copy, QStringLiteral("s3cret")), 3);
    EXPECT_FALSE(databaseOpens(copy, QString()));
    // The working database gained only the backup's trail row.
    EXPECT_EQ(patientsIn(w.ctx().databaseFile(), QStringLiteral("s3cret")), 3);
    {
        Connection db;
        db.Open(w.ctx().databaseFile(), QStringLiteral("s3cret"));
        Recordset rs;
        rs.Open(QStringLiteral("select Action, Changes from AuditTrail"), db, adOpenStatic,
                adLockReadOnly);
        ASSERT_EQ(rs.RecordCount(), 1);
        EXPECT_EQ(rs.Text(QStringLiteral("Action")), QStringLiteral("Backup"));
        EXPECT_EQ(rs.Text(QStringLiteral("Changes")), QStringLiteral("To: ") + copy);
    }

    // The second exit of the day, and one an hour later.
    touch(copy, kNow);
    for (const QDateTime &later : {kNow, kNow.addSecs(3600)}) {
        const AutomaticBackup::Outcome again = AutomaticBackup::run(w.ctx(), later);
        EXPECT_EQ(again.result, AutomaticBackup::Result::NotDue);
        EXPECT_EQ(again.file, copy);
    }
    EXPECT_EQ(filesIn(backups(w)), QStringList{QStringLiteral("dbData-2026-12-10.mdb")});

    set(w, "Automatic Backup", QStringLiteral("0"));
    EXPECT_EQ(AutomaticBackup::run(w.ctx(), kNow.addDays(2)).result, AutomaticBackup::Result::Off);
    EXPECT_EQ(filesIn(backups(w)).size(), 1);
}

TEST(AutomaticBackup, DueUnlessTodaysOrYesterdaysCopyWasWrittenInTheLast24Hours)
{
    const struct Case
    {
        const char *what;
        const char *existing; // nullptr: an empty folder
        QDateTime modified;
        bool written;
    } cases[] = {
        {"empty folder", nullptr, {}, true},
        {"today's copy, an hour old", "dbData-2026-12-10.mdb", kNow.addSecs(-3600), false},
        {"yesterday's copy, 23 hours old", "dbData-2026-12-09.mdb", kNow.addSecs(-23 * 3600),
         false},
        {"yesterday's copy, 25 hours old", "dbData-2026-12-09.mdb", kNow.addSecs(-25 * 3600),
         true},
        {"last week's copy", "dbData-2026-12-03.mdb", kNow.addDays(-7), true},
        // Copied into the folder an hour ago: the name tells its day.
        {"last week's copy, copied today", "dbData-2026-12-03.mdb", kNow.addSecs(-3600), true},
        // A desk whose clock runs ahead, or a file copied in: none stops the backup.
        {"today's copy, its time ahead", "dbData-2026-12-10.mdb", kNow.addSecs(2 * 3600), true},
        {"copy dated tomorrow", "dbData-2026-12-11.mdb", kNow.addDays(1), true},
        {"copy dated tomorrow, old time", "dbData-2026-12-11.mdb", kNow.addDays(-3), true},
        {"copy dated years ahead", "dbData-2099-01-01.mdb", kNow.addSecs(-3600), true},
        {"junk named like a copy", "dbData-2026-02-30.mdb", kNow.addSecs(-60), true},
        // Files of other names never count as the daily copy.
        {"a manual backup", "dbData.mdb", kNow.addSecs(-60), true},
        {"another database's copy", "clinic-2026-12-10.mdb", kNow.addSecs(-60), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TestWorld w;
        QDir().mkpath(backups(w));
        const QString today = backups(w) + QStringLiteral("/dbData-2026-12-10.mdb");
        if (c.existing)
            place(backups(w) + QLatin1Char('/') + QLatin1String(c.existing), c.modified);

        const AutomaticBackup::Outcome outcome = AutomaticBackup::run(w.ctx(), kNow);

        EXPECT_EQ(outcome.result,
                  c.written ? AutomaticBackup::Result::Written : AutomaticBackup::Result::NotDue);
        if (c.written) {
            EXPECT_TRUE(DatabaseFiles::isUsableDatabase(today, QString()));
        } else {
            EXPECT_EQ(outcome.file, backups(w) + QLatin1Char('/') + QLatin1String(c.existing));
        }
        if (c.existing && QLatin1String(c.existing) != QLatin1String("dbData-2026-12-10.mdb"))
            EXPECT_EQ(bytesOf(backups(w) + QLatin1Char('/') + QLatin1String(c.existing)),
                      QByteArray("a copy"));
    }
}

TEST(AutomaticBackup, DecidesByNamesAndTimesWithoutOpeningACopy)
{
    TestWorld w;
    const QString folder = backups(w);
    QDir().mkpath(folder);
    // Reading a file moves its access time on, when that was older than a day
    // or than its modification: a file this test reads itself shows whether
    // this file system keeps access times at all.
    const QDateTime longAgo = kNow.addDays(-30);
    const auto readAt = [](const QString &path) {
        return QFileInfo(path).fileTime(QFileDevice::FileAccessTime);
    };
    const auto setRead = [&](const QString &path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(longAgo, QFileDevice::FileAccessTime));
    };
    const QString probe = w.path(QStringLiteral("probe"));
    place(probe, kNow.addDays(-2));
    setRead(probe);
    bytesOf(probe);
    if (readAt(probe) == longAgo)
        GTEST_SKIP() << "this file system does not keep access times";

    // Not a database at all: a copy that was opened or checked would say so.
    const QString todays = folder + QStringLiteral("/dbData-2026-12-10.mdb");
    const QString older = folder + QLatin1Char('/') + copyOn(8);
    const QString ahead = folder + QStringLiteral("/dbData-2099-01-01.mdb");
    for (const QString &path : {todays, older, ahead}) {
        place(path, path == todays ? kNow.addSecs(-3600) : kNow.addDays(-2), "junk");
        setRead(path);
    }

    EXPECT_EQ(AutomaticBackup::run(w.ctx(), kNow).result, AutomaticBackup::Result::NotDue);
    QFile::remove(todays);
    EXPECT_EQ(AutomaticBackup::run(w.ctx(), kNow).result, AutomaticBackup::Result::Written);
    EXPECT_TRUE(AutomaticBackup::staleWarning(w.ctx(), kNow).isEmpty());

    for (const QString &path : {older, ahead}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(readAt(path), longAgo);
        EXPECT_EQ(bytesOf(path), QByteArray("junk"));
    }
}

TEST(AutomaticBackup, AStartWarnsWhenTheNewestCopyIsOlderThanThreeDays)
{
    const struct Case
    {
        const char *what;
        const char *existing; // nullptr: an empty folder
        QDateTime modified;
        const char *since; // nullptr: no warning
    } cases[] = {
        {"no copy yet", nullptr, {}, nullptr},
        {"two days old", "dbData-2026-12-08.mdb", kNow.addDays(-2), nullptr},
        {"four days old", "dbData-2026-12-06.mdb", kNow.addDays(-4), "12/06/2026"},
        // Copied in lately: it holds the day of its name, no later.
        {"old copy copied in today", "dbData-2026-12-01.mdb", kNow.addSecs(-60), "12/01/2026"},
        {"dated years ahead only", "dbData-2099-01-01.mdb", kNow.addSecs(-60), nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TestWorld w;
        QDir().mkpath(backups(w));
        if (c.existing)
            place(backups(w) + QLatin1Char('/') + QLatin1String(c.existing), c.modified);
        const QString warning = AutomaticBackup::staleWarning(w.ctx(), kNow);
        if (!c.since) {
            EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
            continue;
        }
        EXPECT_EQ(warning, QStringLiteral("No automatic backup has been written since %1. "
                                          "Check the backup folder in Backup / Restore Patient "
                                          "Database.")
                               .arg(QLatin1String(c.since)));
        set(w, "Automatic Backup", QStringLiteral("0"));
        EXPECT_TRUE(AutomaticBackup::staleWarning(w.ctx(), kNow).isEmpty());
    }
}

TEST(AutomaticBackup, KeepsTheNewestCopiesAndNeverAFileItDidNotName)
{
    TestWorld w;
    set(w, "Keep Backups", QStringLiteral("3"));
    const QString folder = backups(w);
    QDir().mkpath(folder);
    for (int day = 1; day <= 5; ++day)
        place(folder + QLatin1Char('/') + copyOn(day),
              QDateTime(QDate(2026, 12, day), QTime(12, 0)));
    const QStringList strangers = {QStringLiteral("dbData.mdb"), QStringLiteral("notes.txt"),
                                   QStringLiteral("dbData-2026-11-01.mdb.bak"),
                                   QStringLiteral("dbData-2026-11-02.mdb.Xa81Qz"),
                                   QStringLiteral("clinic-2026-11-01.mdb")};
    for (const QString &name : strangers)
        place(folder + QLatin1Char('/') + name, QDateTime(QDate(2026, 11, 1), QTime(12, 0)));

    // Named for later days: neither counted nor removed.
    const QStringList ahead = {copyOn(11), QStringLiteral("dbData-2099-01-01.mdb")};
    for (const QString &name : ahead)
        place(folder + QLatin1Char('/') + name, QDateTime(QDate(2026, 12, 1), QTime(12, 0)));

    const AutomaticBackup::Outcome outcome = AutomaticBackup::run(w.ctx(), kNow);

    EXPECT_EQ(outcome.result, AutomaticBackup::Result::Written);
    EXPECT_EQ(
        outcome.removed,
        QStringList({folder + QLatin1Char('/') + copyOn(3), folder + QLatin1Char('/') + copyOn(2),
                     folder + QLatin1Char('/') + copyOn(1)}));
    QStringList expected = strangers + ahead;
    expected << copyOn(4) << copyOn(5) << copyOn(10);
    expected.sort();
    EXPECT_EQ(filesIn(folder), expected);
}

TEST(AutomaticBackup, FailingDestinationIsExplainedAndChangesNothing)
{
    const struct Case
    {
        const char *what;
        const char *folder;  // relative to the world; "/..." as it is
        const char *message; // part of the reason
    } cases[] = {
        {"chosen folder missing", "usb/daily", "does not exist"},
        {"a file in its place", "afile", "is a file"},
        {"relative folder", "@Backups", "is not a full path"},
        // No one may create files in /proc, root included.
        {"unwritable folder", "/proc", "Could not write"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TestWorld w;
        place(w.path(QStringLiteral("afile")), kNow);
        const QString given = QLatin1String(c.folder);
        const QString folder = given.startsWith(QLatin1Char('/')) ? given
            : given.startsWith(QLatin1Char('@'))                   ? given.mid(1)
                                                                   : w.path(given);
        set(w, "Automatic Backup Folder", folder);
        const QByteArray working = bytesOf(w.ctx().databaseFile());
        const QStringList before = filesIn(w.root());

        try {
            AutomaticBackup::run(w.ctx(), kNow);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error &e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(bytesOf(w.ctx().databaseFile()), working);
        EXPECT_EQ(filesIn(w.root()), before);
        EXPECT_FALSE(QFileInfo::exists(w.path(QStringLiteral("usb"))));
        EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath(QStringLiteral("Backups"))));
    }
}

TEST(AutomaticBackup, ACopyCutShortLeavesNoPartAndRemovesNoOlderCopy)
{
    TestWorld w;
    set(w, "Keep Backups", QStringLiteral("1"));
    const QString folder = backups(w);
    QDir().mkpath(folder);
    place(folder + QLatin1Char('/') + copyOn(1), kNow.addDays(-9));
    const QByteArray working = bytesOf(w.ctx().databaseFile());

    EXPECT_THROW(AutomaticBackup::run(
                     w.ctx(), kNow,
                     [](qint64, qint64) { throw std::runtime_error("No space left on device"); }),
                 std::runtime_error);

    EXPECT_EQ(filesIn(folder), QStringList{copyOn(1)});
    EXPECT_EQ(bytesOf(w.ctx().databaseFile()), working);
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 0);
}

TEST(AutomaticBackup, TwoWorkstationsExitingAtOnceLeaveOneWholeCopy)
{
    TestWorld first;
    TestWorld second(false);
    first.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    const QString shared = first.path(QStringLiteral("shared"));
    QDir().mkpath(shared);
    for (TestWorld *w : {&first, &second}) {
        set(*w, "Database File", first.ctx().databaseFile());
        set(*w, "Automatic Backup Folder", shared);
    }

    // The second workstation's backup starts while the first is mid-copy.
    bool interleaved = false;
    AutomaticBackup::Outcome theirs;
    std::thread other;
    const AutomaticBackup::Outcome ours =
        AutomaticBackup::run(first.ctx(), kNow, [&](qint64, qint64) {
            if (!interleaved) {
                interleaved = true;
                other = std::thread([&] { theirs = AutomaticBackup::run(second.ctx(), kNow); });
                QThread::msleep(100);
            }
        });
    other.join();

    ASSERT_TRUE(interleaved);
    EXPECT_EQ(ours.result, AutomaticBackup::Result::Written);
    EXPECT_EQ(theirs.result, AutomaticBackup::Result::Written);
    EXPECT_EQ(filesIn(shared), QStringList{QStringLiteral("dbData-2026-12-10.mdb")});
    EXPECT_TRUE(DatabaseFiles::isUsableDatabase(ours.file, QString()));
    EXPECT_EQ(patientsIn(ours.file, QString()), 1);
}
