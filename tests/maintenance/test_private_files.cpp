#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "app/Startup.h"
#include "data/Connection.h"
#include "maintenance/AutomaticBackup.h"
#include "maintenance/DatabaseFiles.h"
#include "shell/PrivateFiles.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "support/TestWorld.h"
#include "users/UserSession.h"

namespace {

const QDateTime kNow(QDate(2026, 12, 10), QTime(18, 30));

// Files and folders here are made as a user with the usual umask would make them.
class UsualUmask : public ::testing::Test
{
protected:
    void SetUp() override { m_old = ::umask(022); }
    void TearDown() override { ::umask(m_old); }

private:
    mode_t m_old = 0;
};

struct Mode
{
    mode_t bits = 0;
    gid_t group = 0;
};

Mode modeOf(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {07777, 0};
    return {mode_t(info.st_mode & 07777), info.st_gid};
}

::testing::AssertionResult hasMode(const QString &path, mode_t wanted)
{
    const mode_t bits = modeOf(path).bits;
    if (bits == wanted)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << path.toStdString() << " is " << std::oct << bits << ", not " << wanted;
}

StartWindow start(TestWorld &w, const char *runtime = "runtime")
{
    SingleInstance instance(w.path(QLatin1String(runtime)));
    return Main(w.ctx(), instance, [] { return QStringLiteral("4.5.4 community"); });
}

void loosen(const QString &path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

} // namespace

using PrivateFilesOnDisk = UsualUmask;

TEST_F(PrivateFilesOnDisk, EveryFileOfThePracticeInTheDataFolderIsItsUsersAlone)
{
    TestWorld w(false);
    w.ctx().settings().SaveSetting(SettingKeys::LastLogin, QStringLiteral("ann"));
    EXPECT_EQ(start(w), StartWindow::Setup);
    const QString data = w.ctx().userDataFolder();
    const QString working = w.ctx().defaultDatabase();
    writeAdministratorMarker(w.ctx());
    EXPECT_TRUE(hasMode(w.ctx().makerFolder(), 0700));
    EXPECT_TRUE(hasMode(data, 0700));
    EXPECT_TRUE(hasMode(working, 0600));
    EXPECT_TRUE(hasMode(w.ctx().markerPath(), 0600));
    EXPECT_TRUE(hasMode(w.ctx().settings().fileName(), 0600));

    // The journal of a write under way.
    {
        Transaction writing(w.db());
        w.exec(QStringLiteral("insert into PatientRecords (PatientID, LastName) values (1, 'A')"));
        EXPECT_TRUE(hasMode(working + QStringLiteral("-journal"), 0600));
        writing.commit();
    }

    // Backup Now, the automatic backup and the folder it makes.
    const QString now = w.path(QStringLiteral("desktop/dbData.mdb"));
    DatabaseFiles::backupDatabase(working, now, QString());
    EXPECT_TRUE(hasMode(now, 0600));
    ASSERT_EQ(AutomaticBackup::run(w.ctx(), kNow).result, AutomaticBackup::Result::Written);
    const QString backups = AutomaticBackup::defaultFolder(w.ctx());
    EXPECT_TRUE(hasMode(backups, 0700));
    for (const QString &copy : QDir(backups).entryList(QDir::Files))
        EXPECT_TRUE(hasMode(QDir(backups).filePath(copy), 0600));

    // A restore from a file anyone could read, and its undo copy.
    loosen(now, 0644);
    w.db().Close();
    DatabaseFiles::restoreDatabase(now, working, QString());
    EXPECT_TRUE(hasMode(working, 0600));
    EXPECT_TRUE(hasMode(DatabaseFiles::beforeRestorePath(working), 0600));
    // A restore where no working file was.
    QFile::remove(working);
    DatabaseFiles::restoreDatabase(now, working, QString());
    EXPECT_TRUE(hasMode(working, 0600));

    // A new password.
    DatabaseFiles::changePassword(working, QString(), QStringLiteral("n3w"));
    EXPECT_TRUE(hasMode(working, 0600));
    EXPECT_TRUE(hasMode(DatabaseFiles::beforeRestorePath(working), 0600));

    // What an older version left loose is tightened at the next start.
    for (const QString &folder : {data, backups})
        loosen(folder, 0755);
    for (const QString &file : {working, w.ctx().markerPath(), w.ctx().settings().fileName()})
        loosen(file, 0644);
    w.ctx().settings().SaveSetting(SettingKeys::DatabasePassword, QStringLiteral("n3w"));
    loosen(w.ctx().settings().fileName(), 0644);
    w.prompter().clear();
    start(w, "runtime2");
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    for (const QString &folder : {data, backups})
        EXPECT_TRUE(hasMode(folder, 0700));
    for (const QString &file : {working, w.ctx().markerPath(), w.ctx().settings().fileName()})
        EXPECT_TRUE(hasMode(file, 0600));
}

TEST_F(PrivateFilesOnDisk, ADatabaseOnASharedFolderLendsItsModeAndGroupToWhatIsMadeBesideIt)
{
    TestWorld w(false);
    const QString shared = w.path(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    const QString working = QDir(shared).filePath(QStringLiteral("dbData.mdb"));
    copyBlankDatabase(working);
    // The practice's group: as root any group will do, else the user's own.
    const gid_t practice = ::geteuid() == 0 ? gid_t(100) : ::getegid();
    for (const QString &path : {shared, working})
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), uid_t(-1), practice), 0);
    loosen(shared, 02770);
    loosen(working, 0660);
    w.ctx().settings().SaveSetting(SettingKeys::DatabaseFile, working);
    w.db().Open(working, QString());

    writeAdministratorMarker(w.ctx());
    ASSERT_EQ(AutomaticBackup::run(w.ctx(), kNow).result, AutomaticBackup::Result::Written);
    const QString backups = AutomaticBackup::defaultFolder(w.ctx());
    w.db().Close();
    const QString source = w.path(QStringLiteral("desktop/source.mdb"));
    copyBlankDatabase(source);
    DatabaseFiles::restoreDatabase(source, working, QString());
    DatabaseFiles::changePassword(working, QString(), QStringLiteral("n3w"));

    const QString copy = QDir(backups).filePath(QDir(backups).entryList(QDir::Files).value(0));
    const QStringList files = {working, w.ctx().markerPath(),
                               DatabaseFiles::beforeRestorePath(working), copy};
    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_EQ(modeOf(file).bits, mode_t(0660));
        EXPECT_EQ(modeOf(file).group, practice);
    }
    EXPECT_EQ(modeOf(backups).bits, mode_t(02770));
    EXPECT_EQ(modeOf(backups).group, practice);
    // The desk's own data folder stays private all the same.
    start(w);
    EXPECT_TRUE(hasMode(w.ctx().userDataFolder(), 0700));
    EXPECT_EQ(modeOf(working).bits, mode_t(0660));
}

TEST_F(PrivateFilesOnDisk, AFileOfAnotherUserIsUsedAsItIsAndTheStartSaysSoOnce)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    TestWorld w(false);
    start(w);
    const QString marker = w.ctx().markerPath();
    writeAdministratorMarker(w.ctx());
    loosen(marker, 0644);
    ASSERT_EQ(::chown(QFile::encodeName(marker).constData(), 65534, gid_t(-1)), 0);
    loosen(w.ctx().defaultDatabase(), 0644);
    w.prompter().clear();

    EXPECT_EQ(start(w, "runtime2"), StartWindow::Login);
    ASSERT_EQ(w.prompter().boxes.size(), 1u) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("These files belong to another user, so they could not be made "
                             "readable by you alone. They are used as they are:\r\n\r\n")
                  + QDir::toNativeSeparators(marker));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(hasMode(marker, 0644));
    EXPECT_TRUE(hasMode(w.ctx().defaultDatabase(), 0600));
}

TEST_F(PrivateFilesOnDisk, TemporaryFilesGetNamesNobodyCanGuessInAFolderNobodyElseMayEnter)
{
    QTemporaryDir dir;
    const QString temp = dir.path();
    const QString usual = QDir(temp).filePath(QStringLiteral("medlantis-%1").arg(::geteuid()));
    const QString first = PrivateFiles::newTempFile(temp, QStringLiteral("Records-XXXXXX.txt"));
    const QString second = PrivateFiles::newTempFile(temp, QStringLiteral("Records-XXXXXX.txt"));
    EXPECT_NE(first, second);
    EXPECT_EQ(QFileInfo(first).absolutePath(), usual);
    EXPECT_TRUE(hasMode(usual, 0700));
    EXPECT_TRUE(hasMode(first, 0600));
    EXPECT_FALSE(QFileInfo(first).fileName().contains(QStringLiteral("XXXXXX")));

    // What a crash left goes at the next start.
    EXPECT_EQ(PrivateFiles::removeLeftovers(temp), 2);
    EXPECT_FALSE(QFile::exists(first));

    // A usual name that is a link, a folder others may enter, or someone
    // else's is never used: a folder of a random name takes its place.
    struct Trap
    {
        const char *what;
        std::function<void()> set;
    };
    const QString elsewhere = QDir(temp).filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(elsewhere);
    loosen(elsewhere, 0700);
    const Trap traps[] = {
        {"a link", [&] { ASSERT_TRUE(QFile::link(elsewhere, usual)); }},
        {"a loose folder", [&] { QDir().mkpath(usual); loosen(usual, 0777); }},
        {"another user's", [&] {
             QDir().mkpath(usual);
             loosen(usual, 0700);
             if (::geteuid() == 0)
                 ASSERT_EQ(::chown(QFile::encodeName(usual).constData(), 65534, 65534), 0);
         }},
    };
    for (const Trap &trap : traps) {
        SCOPED_TRACE(trap.what);
        QFile::remove(usual);
        QDir(usual).removeRecursively();
        trap.set();
        if (std::string(trap.what) == "another user's" && ::geteuid() != 0)
            continue;
        const QString file = PrivateFiles::newTempFile(temp, QStringLiteral("temp-XXXXXX.bmp"));
        const QString folder = QFileInfo(file).absolutePath();
        EXPECT_NE(folder, usual);
        EXPECT_TRUE(folder.startsWith(usual + QLatin1Char('-')));
        EXPECT_TRUE(hasMode(folder, 0700));
        EXPECT_TRUE(QDir(elsewhere).isEmpty());
        QFile::remove(file);
    }
}
