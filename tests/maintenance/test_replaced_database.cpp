#include <algorithm>
#include <set>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "maintenance/DatabaseFiles.h"
#include "patients/frmAddNewPatient.h"
#include "app/Startup.h"
#include "shell/SystemModule.h"
#include "support/TestWorld.h"

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList reportLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

std::set<QString> lastNames(const QString &database, const QString &password)
{
    Connection c;
    c.Open(database, password);
    Recordset rs;
    rs.Open(QStringLiteral("select LastName from PatientRecords"), c, adOpenStatic,
            adLockReadOnly);
    std::set<QString> names;
    for (; !rs.isEOF(); rs.MoveNext())
        names.insert(rs.Text(QStringLiteral("LastName")));
    return names;
}

long groupOf(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? long(info.st_gid) : -1;
#else
    return 0;
#endif
}

} // namespace

TEST(ReplacedDatabase, ANewPasswordWhileAnotherWorkstationSavesLosesNothing)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    w.db().Close();
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                       | QFile::WriteGroup);
    const QFileDevice::Permissions permissions = QFile::permissions(working);
    const long group = groupOf(working);
    const QString passwordFile = w.path(QStringLiteral("password.txt"));
    writeFile(passwordFile, QByteArray());
    const QString report = w.path(QStringLiteral("report.txt"));

    QProcess other;
    other.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                {QStringLiteral("save-patients"), working, passwordFile, QStringLiteral("200"),
                 report});
    ASSERT_TRUE(other.waitForStarted());
    // Re-encrypt while the other workstation is in the middle of its saves.
    for (int i = 0; i < 600 && reportLines(report).size() < 40; ++i)
        QThread::msleep(50);
    ASSERT_GE(reportLines(report).size(), 40) << other.readAllStandardError().toStdString();
    // Its user types the new password as soon as it is set.
    writeFile(passwordFile, "n3w pass'word");
    const DatabaseFiles::PasswordChange change =
        DatabaseFiles::changePassword(working, QString(), QStringLiteral("n3w pass'word"));
    EXPECT_TRUE(change.undoCopy.isEmpty());
    ASSERT_TRUE(other.waitForFinished(120000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();

    const QStringList lines = reportLines(report);
    ASSERT_EQ(lines.size(), 200);
    const std::set<QString> stored = lastNames(working, QStringLiteral("n3w pass'word"));
    int committed = 0;
    int refused = 0;
    for (const QString &line : lines) {
        const QString n = line.section(QLatin1Char(' '), 0, 0);
        if (line.section(QLatin1Char(' '), 1, 1) == QLatin1String("committed")) {
            ++committed;
            EXPECT_EQ(stored.count(QStringLiteral("Saved") + n), 1u) << line.toStdString();
        } else {
            ++refused;
            // Refused in words the user understands, never in silence.
            EXPECT_TRUE(line.contains(databaseReplacedText())) << line.toStdString();
        }
    }
    std::printf("re-encryption with a writer: %d saves reported, %d of them found, %d refused "
                "with the replaced-database message\n",
                committed, int(stored.size()), refused);
    EXPECT_EQ(int(stored.size()), committed);
    // Told at most once, by the save that found the file replaced.
    EXPECT_LE(refused, 1);
    EXPECT_EQ(QFile::permissions(working), permissions);
    EXPECT_EQ(groupOf(working), group);
}

TEST(ReplacedDatabase, ARestoreWhileAnotherWorkstationSavesIsToldOnceAndItsNextSavesLand)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Before"), QStringLiteral("Restore"));
    const QString working = w.ctx().databaseFile();
    const QString copy = w.path(QStringLiteral("copy.mdb"));
    DatabaseFiles::backupDatabase(working, copy, QString());
    w.db().Close();
    const QString passwordFile = w.path(QStringLiteral("password.txt"));
    writeFile(passwordFile, QByteArray());
    const QString report = w.path(QStringLiteral("report.txt"));

    QProcess other;
    other.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                {QStringLiteral("save-patients"), working, passwordFile, QStringLiteral("150"),
                 report});
    ASSERT_TRUE(other.waitForStarted());
    for (int i = 0; i < 600 && reportLines(report).size() < 30; ++i)
        QThread::msleep(50);
    DatabaseFiles::restoreDatabase(copy, working, QString());
    ASSERT_TRUE(other.waitForFinished(120000));

    const QStringList lines = reportLines(report);
    ASSERT_EQ(lines.size(), 150);
    const std::set<QString> stored = lastNames(working, QString());
    // Saves before the restore are gone with the old file, as a restore means;
    // none after it may be lost. (Opening the editor may find the replaced file
    // first and reopen it quietly, so the message comes at most once.)
    int refused = 0;
    int lastLost = 0;
    int firstKept = 1000;
    for (const QString &line : lines) {
        const int n = line.section(QLatin1Char(' '), 0, 0).toInt();
        if (line.section(QLatin1Char(' '), 1, 1) != QLatin1String("committed")) {
            ++refused;
            EXPECT_TRUE(line.contains(databaseReplacedText())) << line.toStdString();
        } else if (stored.count(QStringLiteral("Saved%1").arg(n))) {
            firstKept = std::min(firstKept, n);
        } else {
            lastLost = n;
        }
    }
    EXPECT_LE(refused, 1);
    EXPECT_LT(lastLost, firstKept);
    EXPECT_LT(firstKept, 150) << "no save landed in the restored file";
    EXPECT_EQ(stored.count(QStringLiteral("Before")), 1u);
}

TEST(ReplacedDatabase, ASaveThatFindsTheFileReplacedSaysSoOnceAndTheNextOneLands)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    const QString working = w.ctx().databaseFile();
    const QString copy = w.path(QStringLiteral("copy.mdb"));
    DatabaseFiles::backupDatabase(working, copy, QString());

    w.ctx().EditPatientID = QStringLiteral("1");
    bool stillOpen = false;
    QString kept;
    w.ctx().modalHook = [&](Form &form) {
        auto &ed = static_cast<frmAddNewPatient &>(form);
        ed.txtPhoneNumber->setText(QStringLiteral("555-0101"));
        // Another workstation restores the copy meanwhile.
        DatabaseFiles::restoreDatabase(copy, working, QString());
        ed.cmdSave->click();
        stillOpen = ed.isVisible();
        kept = ed.txtPhoneNumber->text();
        ASSERT_EQ(w.prompter().texts(), QStringList{databaseReplacedText()});
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_TRUE(w.scalar(QStringLiteral("select Phone from PatientRecords")).toString()
                        .isEmpty());
        ed.cmdSave->click();
    };
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>());
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(kept, QStringLiteral("555-0101"));
    EXPECT_EQ(w.prompter().boxes.size(), 1u) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(lastNames(working, QString()), std::set<QString>{QStringLiteral("Doe")});
    Connection fresh;
    fresh.Open(working, QString());
    Recordset rs;
    rs.Open(QStringLiteral("select Phone from PatientRecords"), fresh, adOpenStatic,
            adLockReadOnly);
    EXPECT_EQ(rs.Text(QStringLiteral("Phone")), QStringLiteral("555-0101"));
}

TEST(ReplacedDatabase, ANewPasswordWaitsForNoSaveForeverAndChangesNothing)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    const QByteArray before = [&] {
        QFile f(working);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    Transaction saving(w.db()); // another workstation in the middle of a save
    try {
        DatabaseFiles::changePassword(working, QString(), QStringLiteral("n3w"), 200);
        ADD_FAILURE() << "the password changed under a running save";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("another workstation is saving"),
                                             Qt::CaseInsensitive))
            << e.description().toStdString();
    }
    QFile f(working);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == before);
    EXPECT_TRUE(databaseOpens(working, QString()));
}

TEST(ReplacedDatabase, ANewPasswordReencryptsTheUndoCopyOrNamesIt)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    const QString working = w.ctx().databaseFile();
    const QString undo = DatabaseFiles::beforeRestorePath(working);
    DatabaseFiles::backupDatabase(working, undo, QString());
    w.db().Close();

    DatabaseFiles::PasswordChange change =
        DatabaseFiles::changePassword(working, QString(), QStringLiteral("first"));
    EXPECT_EQ(change.undoCopy, undo);
    EXPECT_FALSE(change.undoCopyLeft);
    EXPECT_FALSE(databaseOpens(undo, QString()));
    EXPECT_EQ(lastNames(undo, QStringLiteral("first")), std::set<QString>{QStringLiteral("Doe")});

    // An undo copy that does not open with the old password is left as it is.
    QFile::remove(undo);
    Schema::createDatabaseFile(undo);
    DatabaseFiles::changePassword(undo, QString(), QStringLiteral("strange"));
    EXPECT_EQ(DatabaseFiles::undoCopyLeftBy(working, QStringLiteral("first")), undo);
    change = DatabaseFiles::changePassword(working, QStringLiteral("first"),
                                           QStringLiteral("second"));
    EXPECT_TRUE(change.undoCopyLeft);
    EXPECT_TRUE(databaseOpens(undo, QStringLiteral("strange")));
    EXPECT_TRUE(databaseOpens(working, QStringLiteral("second")));
}

TEST(ReplacedDatabase, StagedCopiesLeftBehindGoAtTheNextStart)
{
    TestWorld w;
    const QString working = w.ctx().databaseFile();
    const QString undo = DatabaseFiles::beforeRestorePath(working);
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    const QStringList orphans = {working + ".staging-a1B2c3", undo + ".staging-Zz9Yy8"};
    const QStringList kept = {working + ".staging-fresh1", // another workstation's, right now
                              working + ".staging-abc",    // not a name the program makes
                              working + ".old"};
    for (const QString &path : orphans + kept) {
        writeFile(path, QByteArray(1 << 16, 'x'));
        if (!path.endsWith(QLatin1String("fresh1"))) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            ASSERT_TRUE(f.setFileTime(hourAgo, QFileDevice::FileModificationTime));
        }
    }
    w.db().Close();
    SingleInstance instance(w.path(QStringLiteral("runtime")));
    Main(w.ctx(), instance, [] { return QStringLiteral("4.5.4 community"); });
    for (const QString &path : orphans)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    for (const QString &path : kept)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
}
