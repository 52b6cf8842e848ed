#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "data/Cipher.h"
#include "data/Credentials.h"
#include "app/MDIFormMain.h"
#include "shell/Settings.h"
#include "shell/StatusBarPanes.h"
#include "support/TestWorld.h"
#include "users/Form1.h"
#include "users/frmSetAdmin.h"

namespace {

frmSetAdmin &openSetup(TestWorld &w)
{
    frmSetAdmin &f = w.ctx().window<frmSetAdmin>();
    f.show();
    return f;
}

void fill(frmSetAdmin &f, const QString &name, const QString &password, const QString &retype)
{
    f.txtUserName->setText(name);
    f.txtPassword->setText(password);
    f.txtRetype->setText(retype);
}

QByteArray markerBytes(TestWorld &w)
{
    QFile marker(w.ctx().markerPath());
    return marker.open(QIODevice::ReadOnly) ? marker.readAll() : QByteArray();
}

} // namespace

TEST(SetAdmin, RulesAreCheckedInOrderAndNothingIsWritten)
{
    struct Case
    {
        const char *name, *password, *retype;
        const char *text, *title;
        bool passwordsEmptied;
    };
    const Case cases[] = {
        {"Adm", "secret1", "secret1", "User Name must be at least 4 characters in length.",
         "Invalid User Name Length", false},
        {"Adm", "abc", "xyz", "User Name must be at least 4 characters in length.",
         "Invalid User Name Length", false},
        {"Admin", "secret", "secre", "Password must be at least 6 characters in length.",
         "Invalid Password Length", true},
        {"Admin", "abc", "abcdef", "Password must be at least 6 characters in length.",
         "Invalid Password Length", true},
        {"Admin", "secret1", "Secret1",
         "Password entries did not match.\r\nMake sure you typed it correctly.",
         "Retype Password", true},
    };
    TestWorld w;
    w.addUser(5, QStringLiteral("Old"), QStringLiteral("oldpass"), QStringLiteral("Staff"));
    frmSetAdmin &f = openSetup(w);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        w.prompter().clear();
        fill(f, QLatin1String(c.name), QLatin1String(c.password), QLatin1String(c.retype));
        f.cmdSave->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text, QLatin1String(c.text));
        EXPECT_EQ(w.prompter().last().title, QLatin1String(c.title));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_EQ(f.txtPassword->text().isEmpty(), c.passwordsEmptied);
        EXPECT_EQ(f.txtRetype->text().isEmpty(), c.passwordsEmptied);
        EXPECT_EQ(f.focusWidget(), c.passwordsEmptied ? f.txtPassword : f.txtUserName);
        if (!c.passwordsEmptied)
            EXPECT_EQ(f.txtUserName->selectedText(), QLatin1String(c.name));
        EXPECT_TRUE(f.isVisible());
    }
    EXPECT_EQ(w.count(QStringLiteral("Users")), 1);
    EXPECT_FALSE(QFile::exists(w.ctx().markerPath()));
    EXPECT_FALSE(f.AdminSaved);
}

TEST(SetAdmin, SavingReplacesAllAccountsAndSignsTheAdministratorIn)
{
    // Accounts without an administrator (a shipped marker skipped the setup once).
    TestWorld w;
    w.addUser(1, QStringLiteral("Old"), QStringLiteral("oldpass"), QStringLiteral("Staff"));
    w.addUser(8, QStringLiteral("Other"), QStringLiteral("otherpw"), QStringLiteral("Staff"));
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (40, 'Old'), (41, 'x')"));
    frmSetAdmin &f = openSetup(w);
    // Shortest accepted lengths: 4 and 6.
    fill(f, QStringLiteral("Root"), QStringLiteral("abc123"), QStringLiteral("abc123"));
    QTest::keyClick(f.txtRetype, Qt::Key_Return);

    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join(u'|').toStdString();
    ASSERT_EQ(w.count(QStringLiteral("Users")), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select UserID from Users")).toInt(), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select UserName from Users")).toString(),
              E(QStringLiteral("Root")));
    EXPECT_TRUE(Credentials::isHash(w.scalar(QStringLiteral("select Password from Users"))
                                        .toString()));
    EXPECT_TRUE(w.passwordIs(1, QStringLiteral("abc123")));
    EXPECT_EQ(w.scalar(QStringLiteral("select Privilege from Users")).toString(),
              E(QStringLiteral("Administrator")));

    ASSERT_EQ(w.count(QStringLiteral("UserLog")), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select LogID from UserLog")).toInt(), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select UserName from UserLog")).toString(),
              QStringLiteral("Root"));
    EXPECT_EQ(w.ctx().OwnLogID, 1);
    EXPECT_EQ(w.ctx().CurrentUser.UserID, 1);
    EXPECT_EQ(w.ctx().CurrentUser.Privilege, QStringLiteral("Administrator"));

    // The marker says that the setup was done, and nothing of the account.
    EXPECT_EQ(markerBytes(w), (E(QStringLiteral("Administrator")) + "\r\n").toUtf8());
    EXPECT_EQ(QFile::permissions(w.ctx().markerPath()),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_TRUE(f.AdminSaved);
    EXPECT_FALSE(f.isVisible());
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.StatusBar1->PaneText(1), QStringLiteral("Current User: Root (Administrator)"));
    EXPECT_EQ(w.endedWith, -1);
}

TEST(SetAdmin, AnAdministratorCreatedElsewhereMeanwhileIsKept)
{
    TestWorld w;
    w.addUser(4, QStringLiteral("Anna"), QStringLiteral("secret4"), QStringLiteral("Staff"));
    frmSetAdmin &f = openSetup(w);
    // Another workstation finishes its setup while this window is open.
    w.addUser(1, QStringLiteral("Boss"), QStringLiteral("bosspw1"),
              QStringLiteral("Administrator"));
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (1, 'Boss')"));
    fill(f, QStringLiteral("Root"), QStringLiteral("abc123"), QStringLiteral("abc123"));
    f.cmdSave->click();

    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_TRUE(w.prompter().last().text.contains(QStringLiteral("another workstation")));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(w.count(QStringLiteral("Users")), 2);
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 1);
    EXPECT_TRUE(w.ctx().CurrentUser.UserName.isEmpty());
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(w.ctx().window<Form1>().isVisible());
    EXPECT_FALSE(w.ctx().hasWindow<MDIFormMain>() && w.ctx().window<MDIFormMain>().isVisible());
    EXPECT_TRUE(QFile::exists(w.ctx().markerPath()));
    EXPECT_EQ(w.endedWith, -1);
}

TEST(SetAdmin, AFailedSaveSignsNobodyInAndKeepsWhatWasTyped)
{
    TestWorld w;
    w.addUser(4, QStringLiteral("Anna"), QStringLiteral("secret4"), QStringLiteral("Staff"));
    // The log row cannot be written: the account must not stay either.
    w.exec(QStringLiteral("create trigger nolog before insert on UserLog "
                          "begin select raise(abort, 'disk full'); end"));
    frmSetAdmin &f = openSetup(w);
    fill(f, QStringLiteral("Root"), QStringLiteral("abc123"), QStringLiteral("abc123"));
    f.cmdSave->click();

    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(w.prompter().last().text.startsWith(QStringLiteral("disk full")));
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from Users where UserID=4")).toInt(), 1);
    EXPECT_EQ(w.count(QStringLiteral("Users")), 1);
    EXPECT_FALSE(QFile::exists(w.ctx().markerPath()));
    EXPECT_FALSE(f.AdminSaved);
    EXPECT_TRUE(w.ctx().CurrentUser.UserName.isEmpty());
    EXPECT_EQ(w.ctx().OwnLogID, 0);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.txtUserName->text(), QStringLiteral("Root"));
    EXPECT_EQ(f.txtPassword->text(), QStringLiteral("abc123"));
    EXPECT_FALSE(w.ctx().hasWindow<MDIFormMain>() && w.ctx().window<MDIFormMain>().isVisible());
}

TEST(SetAdmin, UnwritableMarkerStillCompletesTheSetup)
{
    TestWorld w;
    // The marker's folder is a file, so the marker cannot be created.
    const QString bad = w.path(QStringLiteral("notafolder"));
    {
        QFile blocker(bad);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    w.ctx().settings().SaveSetting(SettingKeys::DatabaseFile,
                                   bad + QStringLiteral("/dbData.mdb"));
    frmSetAdmin &f = openSetup(w);
    fill(f, QStringLiteral("Root"), QStringLiteral("abc123"), QStringLiteral("abc123"));
    f.cmdSave->click();

    EXPECT_TRUE(w.prompter().boxes.empty());
    EXPECT_FALSE(QFile::exists(w.ctx().markerPath()));
    EXPECT_TRUE(f.AdminSaved);
    EXPECT_TRUE(w.ctx().window<MDIFormMain>().isVisible());
    EXPECT_EQ(w.count(QStringLiteral("Users")), 1);
}

TEST(SetAdmin, LeavingBeforeSavingEndsTheProcessAndChangesNothing)
{
    TestWorld w;
    w.addUser(5, QStringLiteral("Old"), QStringLiteral("oldpass"), QStringLiteral("Staff"));
    frmSetAdmin &f = openSetup(w);
    fill(f, QStringLiteral("Root"), QStringLiteral("abc123"), QStringLiteral("abc123"));

    f.close(); // the close box
    EXPECT_EQ(w.endedWith, 0);
    w.endedWith = -1;
    f.show();
    f.cmdCancel->click();
    EXPECT_EQ(w.endedWith, 0);
    w.endedWith = -1;
    f.show();
    QTest::keyClick(f.txtUserName, Qt::Key_Escape);
    EXPECT_EQ(w.endedWith, 0);

    EXPECT_EQ(w.count(QStringLiteral("Users")), 1);
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 0);
    EXPECT_FALSE(QFile::exists(w.ctx().markerPath()));
}

TEST(SetAdmin, FieldsTakeAtMostTwentyCharacters)
{
    TestWorld w;
    frmSetAdmin &f = openSetup(w);
    for (QLineEdit *box : {f.txtUserName, f.txtPassword, f.txtRetype}) {
        QTest::keyClicks(box, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
        EXPECT_EQ(box->text().size(), 20) << box->objectName().toStdString();
    }
    EXPECT_EQ(f.txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(f.txtRetype->echoMode(), QLineEdit::Password);
}
