#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include "data/Cipher.h"
#include "app/MDIFormMain.h"
#include "shell/Settings.h"
#include "shell/StatusBarPanes.h"
#include "support/TestWorld.h"
#include "users/Form1.h"

namespace {

// Anna (Staff, saved password), Admin (Administrator), Bob (Staff).
class LoginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
                  QStringLiteral("Administrator"));
        w.addUser(2, QStringLiteral("Anna"), QStringLiteral("Anna's pw"), QStringLiteral("Staff"),
                  1);
        w.addUser(3, QStringLiteral("Bob"), QStringLiteral("bobpass"), QStringLiteral("Staff"));
    }

    Form1 &open()
    {
        Form1 &f = w.ctx().window<Form1>();
        f.show();
        return f;
    }

    void typeName(Form1 &f, const QString &name)
    {
        f.cboUsers->lineEdit()->clear();
        QTest::keyClicks(f.cboUsers->lineEdit(), name);
    }

    QString lastLogin() { return w.ctx().settings().GetSetting(SettingKeys::LastLogin); }
    bool mainWindowShown()
    {
        return w.ctx().hasWindow<MDIFormMain>() && w.ctx().window<MDIFormMain>().isVisible();
    }

    TestWorld w;
};

} // namespace

TEST_F(LoginTest, RefusalsStopBeforeAnythingIsWritten)
{
    struct Case
    {
        const char *name;
        const char *password;
        const char *text;  // "" = no box
        const char *title;
        const char *focus; // objectName of the control that gets the focus
    };
    const Case cases[] = {
        {"", "secret1", "", "", "cboUsers"},
        {"Admin", "", "", "", "txtPassword"},
        {"admin", "secret1", "Invalid User Name.", "Invalid User Name", "cboUsers"},
        {"Nobody", "secret1", "Invalid User Name.", "Invalid User Name", "cboUsers"},
        {"Admin", "Secret1", "Invalid Password.", "Invalid User Password", "txtPassword"},
        {"Anna", "anna's pw", "Invalid Password.", "Invalid User Password", "txtPassword"},
    };
    Form1 &f = open();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name + std::string("/") + c.password);
        w.prompter().clear();
        typeName(f, QString::fromUtf8(c.name));
        f.txtPassword->setText(QString::fromUtf8(c.password));
        f.cmdLogin->click();

        if (*c.text) {
            ASSERT_EQ(w.prompter().boxes.size(), 1u);
            EXPECT_EQ(w.prompter().last().text, QLatin1String(c.text));
            EXPECT_EQ(w.prompter().last().title, QLatin1String(c.title));
            EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        } else {
            EXPECT_TRUE(w.prompter().boxes.empty());
        }
        QWidget *focus = f.focusWidget();
        ASSERT_NE(focus, nullptr);
        if (QLatin1String(c.focus) == QLatin1String("cboUsers"))
            EXPECT_TRUE(focus == f.cboUsers || focus == f.cboUsers->lineEdit());
        else
            EXPECT_EQ(focus, f.txtPassword);
        EXPECT_TRUE(f.isVisible());
    }
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 0);
    EXPECT_FALSE(mainWindowShown());
}

TEST_F(LoginTest, WrongPasswordSelectsItForRetyping)
{
    Form1 &f = open();
    typeName(f, QStringLiteral("Bob"));
    f.txtPassword->setText(QStringLiteral("wrong"));
    f.cmdLogin->click();
    EXPECT_EQ(f.txtPassword->selectedText(), QStringLiteral("wrong"));

    typeName(f, QStringLiteral("bob"));
    f.txtPassword->setText(QStringLiteral("bobpass"));
    f.cmdLogin->click();
    EXPECT_EQ(f.cboUsers->lineEdit()->selectedText(), QStringLiteral("bob"));
}

TEST_F(LoginTest, SuccessLogsInOpensTheMainWindowAndShowsTheUser)
{
    Form1 &f = open();
    typeName(f, QStringLiteral("Bob"));
    f.txtPassword->setText(QStringLiteral("bobpass"));
    f.Check1->setChecked(true);
    // Enter presses "Login".
    QTest::keyClick(f.txtPassword, Qt::Key_Return);

    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join(u'|').toStdString();
    EXPECT_FALSE(f.isVisible());
    ASSERT_TRUE(mainWindowShown());
    EXPECT_EQ(w.ctx().window<MDIFormMain>().StatusBar1->PaneText(1),
              QStringLiteral("  Current User: Bob (Staff)"));
    EXPECT_EQ(w.ctx().CurrentUser.UserID, 3);

    ASSERT_EQ(w.count(QStringLiteral("UserLog")), 1);
    EXPECT_EQ(w.ctx().OwnLogID, 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select UserName from UserLog")).toString(),
              QStringLiteral("Bob"));
    EXPECT_EQ(w.scalar(QStringLiteral("select Privilege from UserLog")).toString(),
              QStringLiteral("Staff"));
    const QRegularExpression date(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}$"));
    const QRegularExpression time(QStringLiteral("^(0\\d|1[0-2]):[0-5]\\d:[0-5]\\d (am|pm)$"));
    EXPECT_TRUE(date.match(w.scalar(QStringLiteral("select LogDate from UserLog")).toString())
                    .hasMatch());
    EXPECT_TRUE(time.match(w.scalar(QStringLiteral("select TimeIn from UserLog")).toString())
                    .hasMatch());
    EXPECT_EQ(w.scalar(QStringLiteral("select SavePassword from Users where UserID=3")).toInt(),
              1);

    // The password stays out of the settings file and the log.
    QFile settings(w.ctx().settings().fileName());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray stored = settings.readAll();
    EXPECT_FALSE(stored.contains("bobpass"));
    EXPECT_FALSE(stored.contains(E(QStringLiteral("bobpass")).toUtf8()));
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from UserLog where UserName like "
                                      "'%bobpass%' or Privilege like '%bobpass%'"))
                  .toInt(),
              0);
}

TEST_F(LoginTest, EnterInTheNameBoxPressesLogin)
{
    Form1 &f = open();
    typeName(f, QStringLiteral("Bob"));
    f.txtPassword->setText(QStringLiteral("bobpass"));
    QTest::keyClick(f.cboUsers->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(mainWindowShown());
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 1);
    EXPECT_EQ(f.cboUsers->count(), 3); // Enter adds nothing to the list
}

TEST_F(LoginTest, UntickedSaveClearsTheSavedPasswordFlag)
{
    Form1 &f = open();
    typeName(f, QStringLiteral("Anna"));
    f.txtPassword->setText(QStringLiteral("Anna's pw"));
    f.Check1->setChecked(false);
    f.cmdLogin->click();
    ASSERT_TRUE(mainWindowShown());
    EXPECT_EQ(w.scalar(QStringLiteral("select SavePassword from Users where UserID=2")).toInt(),
              0);
}

TEST_F(LoginTest, OnlyADeskThatRemembersTheAccountShowsItsPasswordAsFilled)
{
    Form1 &f = open();
    ASSERT_EQ(f.cboUsers->count(), 3);
    EXPECT_EQ(f.cboUsers->itemText(1), QStringLiteral("Anna"));

    // Anna's flag is set, but no password is kept anywhere to fill in.
    f.cboUsers->setCurrentIndex(1);
    emit f.cboUsers->activated(1);
    EXPECT_EQ(f.txtPassword->text(), QString());
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_EQ(lastLogin(), QStringLiteral("1"));

    // Signed in here with "Save Password", this desk remembers her.
    f.txtPassword->setText(QStringLiteral("Anna's pw"));
    f.Check1->setChecked(true);
    f.cmdLogin->click();
    ASSERT_TRUE(mainWindowShown());
    w.ctx().window<MDIFormMain>().hide();
    f.show();
    f.cboUsers->setCurrentIndex(1);
    emit f.cboUsers->activated(1);
    EXPECT_FALSE(f.txtPassword->text().isEmpty());
    EXPECT_NE(f.txtPassword->text(), QStringLiteral("Anna's pw"));
    EXPECT_TRUE(f.Check1->isChecked());

    f.cboUsers->setCurrentIndex(2);
    emit f.cboUsers->activated(2); // Bob saved nothing
    EXPECT_EQ(f.txtPassword->text(), QString());
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_EQ(lastLogin(), QStringLiteral("2"));

    // Typed letter for letter, the box fills; typing on empties it.
    typeName(f, QStringLiteral("Ann"));
    EXPECT_EQ(f.txtPassword->text(), QString());
    QTest::keyClick(f.cboUsers->lineEdit(), Qt::Key_A);
    EXPECT_FALSE(f.txtPassword->text().isEmpty());
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_EQ(lastLogin(), QStringLiteral("-1"));
    QTest::keyClick(f.cboUsers->lineEdit(), Qt::Key_X);
    EXPECT_EQ(f.txtPassword->text(), QString());
    EXPECT_FALSE(f.Check1->isChecked());
}

TEST_F(LoginTest, LastLoginChoosesTheEntryOnActivation)
{
    struct Case
    {
        const char *setting; // nullptr = never saved
        int chosen;
        const char *password;
    };
    const Case cases[] = {
        {nullptr, 0, ""}, {"1", 1, ""}, {"2", 2, ""}, {"3", -1, ""}, {"-1", -1, ""}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting ? c.setting : "none");
        TestWorld fresh;
        fresh.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
                      QStringLiteral("Administrator"));
        fresh.addUser(2, QStringLiteral("Anna"), QStringLiteral("Anna's pw"),
                      QStringLiteral("Staff"), 1);
        fresh.addUser(3, QStringLiteral("Bob"), QStringLiteral("bobpass"),
                      QStringLiteral("Staff"));
        if (c.setting)
            fresh.ctx().settings().SaveSetting(SettingKeys::LastLogin,
                                               QString::fromUtf8(c.setting));
        Form1 &f = fresh.ctx().window<Form1>();
        f.show();
        EXPECT_EQ(f.cboUsers->currentIndex(), c.chosen);
        EXPECT_EQ(f.txtPassword->text(), QString::fromUtf8(c.password));
    }
}

TEST_F(LoginTest, LookupFailureReportsThenRefusesTheName)
{
    Form1 &f = open();
    typeName(f, QStringLiteral("Admin"));
    f.txtPassword->setText(QStringLiteral("secret1"));
    w.db().Close();
    f.cmdLogin->click();

    ASSERT_EQ(w.prompter().boxes.size(), 2u);
    EXPECT_EQ(w.prompter().boxes[0].title, QStringLiteral("Application Error"));
    EXPECT_TRUE(w.prompter().boxes[0].text.contains(
        QStringLiteral("Form1.cmdLogin_Click at line 104")));
    EXPECT_EQ(w.prompter().boxes[1].text, QStringLiteral("Invalid User Name."));
    EXPECT_FALSE(mainWindowShown());
}

TEST_F(LoginTest, FailedLogRowStillOpensTheMainWindow)
{
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (2147483647, 'x')"));
    Form1 &f = open();
    typeName(f, QStringLiteral("Admin"));
    f.txtPassword->setText(QStringLiteral("secret1"));
    f.cmdLogin->click();

    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(mainWindowShown());
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 1);
}

TEST_F(LoginTest, CancelAndEscapeEndTheProcessWithoutALogRow)
{
    Form1 &f = open();
    typeName(f, QStringLiteral("Admin"));
    f.txtPassword->setText(QStringLiteral("nope"));
    f.cmdLogin->click();
    f.cmdCancel->click();
    EXPECT_EQ(w.endedWith, 0);

    w.endedWith = -1;
    QTest::keyClick(f.txtPassword, Qt::Key_Escape);
    EXPECT_EQ(w.endedWith, 0);
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 0);
}

TEST_F(LoginTest, NetworkSettingsOpensModallyAndTheNamesAreReadAgain)
{
    Form1 &f = open();
    QString shown;
    w.ctx().modalHook = [&](Form &child) {
        shown = child.objectName();
        w.addUser(4, QStringLiteral("Cleo"), QStringLiteral("cleopass"), QStringLiteral("Staff"));
    };
    f.cmdDatabaseSettings->click();
    EXPECT_EQ(shown, QStringLiteral("frmNetworkSettings"));
    EXPECT_EQ(f.cboUsers->count(), 4);
}
