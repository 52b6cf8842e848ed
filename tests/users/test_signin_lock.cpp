#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "app/MDIFormMain.h"
#include "data/Cipher.h"
#include "support/TestWorld.h"
#include "users/Form1.h"
#include "users/UserSession.h"
#include "users/frmAddNewUser.h"

// Five wrong passwords in a row lock an account at every workstation for a
// quarter of an hour; nobody is signed in by a failed attempt.
namespace {

class SignInLock : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }
};

QStringList attempt(TestWorld &w, const QString &name, const QString &password)
{
    w.prompter().clear();
    Form1 &login = w.ctx().window<Form1>();
    login.show();
    login.cboUsers->lineEdit()->setText(name);
    login.txtPassword->setText(password);
    login.cmdLogin->click();
    return w.prompter().texts();
}

QStringList runWorkstation(const QStringList &args, const QString &report)
{
    QProcess helper;
    helper.start(QStringLiteral(MEDLANTIS_WORKSTATION), args + QStringList{report});
    EXPECT_TRUE(helper.waitForFinished(120000)) << helper.readAllStandardError().toStdString();
    QFile lines(report);
    return lines.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(lines.readAll()).split(u'\n', Qt::SkipEmptyParts)
               : QStringList();
}

} // namespace

INSTANTIATE_TEST_SUITE_P(, SignInLock,
                         ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

TEST_P(SignInLock, FiveWrongPasswordsLockTheAccountEvenAgainstTheRightOne)
{
    TestWorld w(GetParam());
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), QStringLiteral("Staff"));
    const int trailBefore = w.count(QStringLiteral("AuditTrail"));

    // A name that is no account is refused and stored nowhere.
    EXPECT_EQ(attempt(w, QStringLiteral("annapass"), QStringLiteral("x")),
              QStringList{"Invalid User Name."});
    EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), trailBefore);
    EXPECT_EQ(w.count(QStringLiteral("SignInLocks")), 0);

    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(attempt(w, QStringLiteral("Anna"), QStringLiteral("guess-xyz")),
                  QStringList{"Invalid Password."});
        EXPECT_EQ(w.ctx().CurrentUser.UserID, 0); // nobody half signed in
    }
    // A right password in between starts the count again.
    EXPECT_TRUE(attempt(w, QStringLiteral("Anna"), QStringLiteral("annapass")).isEmpty());
    EXPECT_EQ(w.count(QStringLiteral("SignInLocks")), 0);
    w.ctx().window<MDIFormMain>().hide();
    w.ctx().CurrentUser = UserRecord();

    for (int i = 1; i <= 4; ++i)
        attempt(w, QStringLiteral("Anna"), QStringLiteral("guess-xyz"));
    const QDateTime before = QDateTime::currentDateTime();
    const QStringList fifth = attempt(w, QStringLiteral("Anna"), QStringLiteral("guess-xyz"));
    ASSERT_EQ(fifth.size(), 1);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Account Locked"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(fifth[0] == lockedMessage(QStringLiteral("Anna"), before.addSecs(900))
                || fifth[0] == lockedMessage(QStringLiteral("Anna"), after.addSecs(900)))
        << fifth[0].toStdString();
    EXPECT_TRUE(fifth[0].startsWith(QStringLiteral("Too many wrong passwords for Anna. Try "
                                                   "again after ")));

    // Locked: even the right password, and nothing more is counted.
    EXPECT_EQ(attempt(w, QStringLiteral("Anna"), QStringLiteral("annapass")), fifth);
    EXPECT_EQ(w.ctx().CurrentUser.UserID, 0);
    EXPECT_FALSE(w.ctx().window<MDIFormMain>().isVisible());
    // Other accounts are not locked.
    EXPECT_TRUE(attempt(w, QStringLiteral("Admin"), QStringLiteral("secret1")).isEmpty());
    w.ctx().window<MDIFormMain>().hide();
    w.ctx().CurrentUser = UserRecord();

    // The trail: eight wrong passwords and a lock, naming nobody.
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from AuditTrail where Action='Wrong "
                                      "Password' and TableName='Users' and RecordID=2 and "
                                      "(UserName is null or UserName='')"))
                  .toInt(),
              9);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from AuditTrail where Action='Account "
                                      "Locked' and RecordID=2 and (UserName is null or "
                                      "UserName='') and Workstation <> ''"))
                  .toInt(),
              1);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from AuditTrail where Changes like "
                                      "'%annapass%' or Changes like '%guess-xyz%'"))
                  .toInt(),
              0);

    // A lock set by a clock far ahead lasts no more than a quarter of an hour.
    w.exec(QStringLiteral("update SignInLocks set LockedUntil='%1' where UserID=2")
               .arg(QDateTime::currentDateTimeUtc().addSecs(2 * 3600).toString(Qt::ISODate)));
    const QStringList clamped = attempt(w, QStringLiteral("Anna"), QStringLiteral("annapass"));
    ASSERT_EQ(clamped.size(), 1);
    // A quarter of an hour from now, told as the minute after which it is over.
    const QDateTime inAQuarter = QDateTime::currentDateTime().addSecs(900);
    EXPECT_TRUE(clamped[0] == lockedMessage(QStringLiteral("Anna"), inAQuarter)
                || clamped[0] == lockedMessage(QStringLiteral("Anna"), inAQuarter.addSecs(-60)))
        << clamped[0].toStdString();
    const QDateTime stored = QDateTime::fromString(
        w.scalar(QStringLiteral("select LockedUntil from SignInLocks where UserID=2")).toString(),
        Qt::ISODate);
    EXPECT_LE(QDateTime::currentDateTimeUtc().secsTo(stored), 15 * 60 + 5);

    // Once the lock is over the right password signs in.
    w.exec(QStringLiteral("update SignInLocks set LockedUntil='2000-01-01T00:00:00Z'"));
    EXPECT_TRUE(attempt(w, QStringLiteral("Anna"), QStringLiteral("annapass")).isEmpty());
    EXPECT_EQ(w.ctx().CurrentUser.UserName, QStringLiteral("Anna"));
    EXPECT_EQ(w.count(QStringLiteral("SignInLocks")), 0);
}

TEST_P(SignInLock, AnAdministratorsSaveLiftsTheLock)
{
    TestWorld w(GetParam());
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), QStringLiteral("Staff"));
    for (int i = 0; i < kWrongPasswordsBeforeLock; ++i)
        checkPassword(w.ctx(), QStringLiteral("Anna"), QStringLiteral("wrong"));
    ASSERT_EQ(checkPassword(w.ctx(), QStringLiteral("Anna"), QStringLiteral("annapass")).outcome,
              SignInOutcome::Locked);

    ASSERT_EQ(checkPassword(w.ctx(), QStringLiteral("Admin"), QStringLiteral("secret1")).outcome,
              SignInOutcome::SignedIn);
    w.ctx().CurrentUser = {1, QStringLiteral("Admin"), QStringLiteral("Administrator")};
    w.ctx().UserListRecordset.Open(QStringLiteral("Select * from users where userid=2"), w.db());
    w.ctx().UserEditorMode = QStringLiteral("Update");
    frmAddNewUser &editor = w.ctx().window<frmAddNewUser>();
    editor.cmdSave->setText(QStringLiteral("Update"));
    editor.show();
    editor.txtPassword->setText(QStringLiteral("annapass"));
    editor.txtRetype->setText(QStringLiteral("annapass"));
    editor.cmdSave->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"User information updated successfully."});
    EXPECT_EQ(checkPassword(w.ctx(), QStringLiteral("Anna"), QStringLiteral("annapass")).outcome,
              SignInOutcome::SignedIn);
}

TEST_P(SignInLock, WrongPasswordsAtTwoWorkstationsAtOnceAllCount)
{
    TestWorld w(GetParam());
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), QStringLiteral("Staff"));
    const QStringList args{QStringLiteral("wrong-passwords"), w.ctx().databaseFile(),
                           w.ctx().databasePassword(), QStringLiteral("Anna"),
                           QStringLiteral("2")};
    QProcess first;
    QProcess second;
    first.start(QStringLiteral(MEDLANTIS_WORKSTATION), args + QStringList{w.path("one.txt")});
    second.start(QStringLiteral(MEDLANTIS_WORKSTATION), args + QStringList{w.path("two.txt")});
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_TRUE(second.waitForFinished(120000));
    for (const char *report : {"one.txt", "two.txt"}) {
        QFile f(w.path(QLatin1String(report)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("wrong\nwrong\n")) << report;
    }
    EXPECT_EQ(w.scalar(QStringLiteral("select FailedPasswords from SignInLocks where UserID=2"))
                  .toInt(),
              4);
    // The fifth, at this desk, locks the account for every desk.
    EXPECT_EQ(checkPassword(w.ctx(), QStringLiteral("Anna"), QStringLiteral("nope")).outcome,
              SignInOutcome::Locked);
    EXPECT_EQ(runWorkstation({QStringLiteral("wrong-passwords"), w.ctx().databaseFile(),
                              w.ctx().databasePassword(), QStringLiteral("Anna"),
                              QStringLiteral("1")},
                             w.path("three.txt")),
              QStringList{"locked"});
}

TEST_P(SignInLock, TheLastAdministratorStaysWhateverTwoWorkstationsDo)
{
    TestWorld w(GetParam());
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), QStringLiteral("Staff"));
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"),
              QStringLiteral("Administrator"));
    w.addUser(3, QStringLiteral("Bert"), QStringLiteral("bertpass"),
              QStringLiteral("Administrator"));
    // Each administrator makes themself Staff at their own workstation, at the
    // same moment.
    QProcess first;
    QProcess second;
    const QStringList common{QStringLiteral("set-privilege"), w.ctx().databaseFile(),
                             w.ctx().databasePassword()};
    first.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                common + QStringList{"2", "2", "Staff", w.path("one.txt")});
    second.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                 common + QStringList{"3", "3", "Staff", w.path("two.txt")});
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_TRUE(second.waitForFinished(120000));
    QStringList outcomes;
    for (const char *report : {"one.txt", "two.txt"}) {
        QFile f(w.path(QLatin1String(report)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        outcomes << QString::fromUtf8(f.readAll()).trimmed();
    }
    outcomes.sort();
    EXPECT_EQ(outcomes, QStringList({"There must be at least one Administrator account.",
                                     "saved"}));
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from Users where Privilege='%1'")
                           .arg(E(QStringLiteral("Administrator"))))
                  .toInt(),
              1);
}

TEST(SignInLockMessage, NamesAMinuteAtWhichTheLockIsOver)
{
    const QDate day(2026, 12, 11);
    const struct
    {
        QTime end;
        const char *shown;
    } cases[] = {
        {QTime(18, 59, 0, 0), "18:59"},
        {QTime(18, 58, 0, 1), "18:59"},
        {QTime(18, 58, 59, 999), "18:59"},
        {QTime(23, 59, 30), "00:00"},
    };
    for (const auto &c : cases) {
        const QDateTime end(day, c.end, Qt::LocalTime);
        EXPECT_EQ(lockedMessage(QStringLiteral("Anna"), end),
                  QStringLiteral("Too many wrong passwords for Anna. Try again after %1.")
                      .arg(QLatin1String(c.shown)))
            << c.end.toString(Qt::ISODateWithMs).toStdString();
    }
}
