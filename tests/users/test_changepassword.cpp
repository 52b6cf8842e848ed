#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/MDIFormMain.h"
#include "support/TestWorld.h"
#include "users/Form1.h"
#include "users/UserSession.h"
#include "users/frmChangePassword.h"

namespace {

// Admin (user 1) and Anna (user 2, signed in).
class ChangePasswordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("adminpass"),
                  QStringLiteral("Administrator"));
        w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), QStringLiteral("Staff"));
        ASSERT_TRUE(FindUserByName(w.db(), QStringLiteral("Anna"), w.ctx().CurrentUser));
    }

    frmChangePassword &open()
    {
        frmChangePassword &f = w.ctx().window<frmChangePassword>();
        f.hide();
        f.show();
        return f;
    }

    static void enter(frmChangePassword &f, const QString &oldPassword,
                      const QString &newPassword, const QString &retyped)
    {
        f.txtOldPassword->setText(oldPassword);
        f.txtNewPassword->setText(newPassword);
        f.txtRetypePassword->setText(retyped);
    }

    TestWorld w;
};

} // namespace

TEST_F(ChangePasswordTest, AnEntryShorterThanSixIsRefusedWithoutReadingTheDatabase)
{
    const char *entries[][3] = {
        {"annap", "newpass1", "newpass1"},
        {"annapass", "newp5", "newp5"},
        {"annapass", "newpass1", ""},
    };
    frmChangePassword &f = open();
    w.db().Close(); // any look-up would now fail with the error box
    for (const auto &e : entries) {
        SCOPED_TRACE(std::string(e[0]) + "/" + e[1] + "/" + e[2]);
        w.prompter().clear();
        enter(f, QString::fromUtf8(e[0]), QString::fromUtf8(e[1]), QString::fromUtf8(e[2]));
        f.cmdLogin->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text,
                  QStringLiteral("Passwords must be at least 6 characters in length."));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Invalid Password Length"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.txtNewPassword->text(), QString::fromUtf8(e[1])); // kept for correcting
    }
}

TEST_F(ChangePasswordTest, AWrongOldPasswordOrAMismatchChangesNothing)
{
    struct Case
    {
        const char *oldPassword;
        const char *newPassword;
        const char *retyped;
        const char *text;
        const char *title;
    };
    const Case cases[] = {
        {"ANNAPASS", "newpass1", "newpass1", "Invalid Old Password.", "Invalid Password"},
        {"adminpass", "newpass1", "newpass1", "Invalid Old Password.", "Invalid Password"},
        {"annapass", "newpass1", "Newpass1",
         "Password entries did not match.\r\nMake sure you typed it correctly.",
         "Retype Password"},
    };
    frmChangePassword &f = open();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.oldPassword);
        w.prompter().clear();
        enter(f, QString::fromUtf8(c.oldPassword), QString::fromUtf8(c.newPassword),
              QString::fromUtf8(c.retyped));
        f.cmdLogin->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text, QString::fromUtf8(c.text));
        EXPECT_EQ(w.prompter().last().title, QString::fromUtf8(c.title));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_TRUE(f.isVisible());
    }
    EXPECT_TRUE(w.passwordIs(1, QStringLiteral("adminpass")));
    EXPECT_TRUE(w.passwordIs(2, QStringLiteral("annapass")));
}

TEST_F(ChangePasswordTest, ANewPasswordOfFortyCharactersSignsInNextTime)
{
    const QString forty = QStringLiteral("0123456789abcdefghijABCDEFGHIJ!#$%&()*+,");
    ASSERT_EQ(forty.size(), 40);
    frmChangePassword &f = open();
    enter(f, QStringLiteral("annapass"), forty, forty);
    QTest::keyClick(f.txtRetypePassword, Qt::Key_Return); // Enter saves
    EXPECT_EQ(w.prompter().texts(), QStringList{"Your password has been changed."});
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Password Changed"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(w.passwordIs(2, forty));
    EXPECT_TRUE(w.passwordIs(1, QStringLiteral("adminpass")));

    // Shown again, it starts empty.
    f.show();
    EXPECT_TRUE(f.txtOldPassword->text().isEmpty());
    EXPECT_TRUE(f.txtNewPassword->text().isEmpty());
    f.hide();

    // Signing in again with the new password.
    w.prompter().clear();
    Form1 &login = w.ctx().window<Form1>();
    login.show();
    login.cboUsers->lineEdit()->setText(QStringLiteral("Anna"));
    login.txtPassword->setText(forty);
    login.cmdLogin->click();
    EXPECT_FALSE(w.prompter().texts().contains(QStringLiteral("Invalid Password.")));
    EXPECT_TRUE(w.ctx().window<MDIFormMain>().isVisible());
    EXPECT_EQ(w.ctx().CurrentUser.UserName, QStringLiteral("Anna"));
}

TEST_F(ChangePasswordTest, ADatabaseFailureIsReportedAndNothingCountsAsChanged)
{
    frmChangePassword &f = open();
    // Storing fails first, then the check itself.
    w.exec(QStringLiteral("create trigger keep before update on Users begin "
                          "select raise(abort, 'disk full'); end"));
    for (const char *what : {"storing", "checking"}) {
        SCOPED_TRACE(what);
        if (QLatin1String(what) == QLatin1String("checking")) {
            EXPECT_TRUE(w.passwordIs(2, QStringLiteral("annapass")));
            w.db().Close();
        }
        w.prompter().clear();
        enter(f, QStringLiteral("annapass"), QStringLiteral("newpass1"),
              QStringLiteral("newpass1"));
        f.cmdLogin->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u) << w.prompter().texts().join('|').toStdString();
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
        EXPECT_TRUE(w.prompter().last().text.contains("frmChangePassword.cmdLogin_Click"));
        EXPECT_TRUE(f.isVisible());
    }
}

TEST_F(ChangePasswordTest, TheChangePasswordCommandOpensTheWindowOverTheMainWindow)
{
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    QString shown;
    w.ctx().modalHook = [&](Form &child) { shown = child.objectName(); };
    main.CommandBars_Execute(9045, QStringLiteral("Change Password"));
    EXPECT_EQ(shown, QStringLiteral("frmChangePassword"));
}
