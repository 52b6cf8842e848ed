#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/MDIFormMain.h"
#include "patients/frmAddNewPatient.h"
#include "shell/IdleLock.h"
#include "shell/Ribbon.h"
#include "shell/Settings.h"
#include "support/TestWorld.h"
#include "users/Form1.h"
#include "users/frmLocked.h"

// A desk left alone covers its windows and asks for the signed-in user's
// password; signing out there leaves nothing of that user behind.
namespace {

class IdleLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
                  QStringLiteral("Administrator"));
        w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), QStringLiteral("Staff"));
        w.ctx().settings().SaveSetting(SettingKeys::LockAfterMinutes, QStringLiteral("1"));
    }

    MDIFormMain &signIn(const QString &name, const QString &password)
    {
        Form1 &login = w.ctx().window<Form1>();
        login.show();
        login.cboUsers->lineEdit()->setText(name);
        login.txtPassword->setText(password);
        login.cmdLogin->click();
        MDIFormMain &main = w.ctx().window<MDIFormMain>();
        EXPECT_TRUE(main.isVisible()) << w.prompter().texts().join('|').toStdString();
        return main;
    }

    bool usersCommandEnabled(MDIFormMain &main)
    {
        return main.RibbonBar()->groupCommands(2, 0).first()->isEnabled();
    }

    // The patient editor, with typing nobody saved, left until the desk locks.
    void typeAndWalkAway(MDIFormMain &main, const std::function<void(frmLocked &)> &atLock)
    {
        main.idleWatch().setIdleMilliseconds(300);
        int locks = 0;
        w.ctx().modalHook = [&](Form &f) {
            if (f.objectName() == QLatin1String("frmLocked")) {
                ++locks;
                atLock(static_cast<frmLocked &>(f));
                return;
            }
            if (f.objectName() != QLatin1String("frmAddNewPatient"))
                return;
            auto &editor = static_cast<frmAddNewPatient &>(f);
            QTest::keyClicks(editor.txtLastname, QStringLiteral("Unsaved"));
            EXPECT_TRUE(QTest::qWaitFor([&] { return locks > 0 && !main.deskLocked(); }, 10000));
            typedAfterLock = editor.txtLastname->text();
        };
        main.CommandBars_Execute(9031, QStringLiteral("Add Patient"));
        w.ctx().modalHook = [](Form &) {};
    }

    TestWorld w;
    QString typedAfterLock;
};

} // namespace

TEST_F(IdleLockTest, TheRightPasswordUnlocksAndTheUnsavedTypingIsStillThere)
{
    MDIFormMain &main = signIn(QStringLiteral("Anna"), QStringLiteral("annapass"));
    EXPECT_EQ(main.idleWatch().idleMilliseconds(), 60 * 1000); // "Lock After Minutes" = 1
    bool everythingCovered = true;
    QString message;
    typeAndWalkAway(main, [&](frmLocked &lock) {
        message = lock.lblMessage->text();
        // Every line of the message shows, however long the name.
        EXPECT_GE(lock.lblMessage->height(),
                  lock.lblMessage->heightForWidth(lock.lblMessage->width()));
        EXPECT_EQ(lock.windowTitle(), QStringLiteral("Locked"));
        EXPECT_TRUE(lock.cmdUnlock->isDefault());
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window != &lock && window->isVisible()
                && !window->findChild<QWidget *>(QStringLiteral("lockCover"),
                                                 Qt::FindDirectChildrenOnly))
                everythingCovered = false;
        }
        w.prompter().clear();
        lock.txtPassword->setText(QStringLiteral("wrongpass"));
        lock.cmdUnlock->click();
        EXPECT_EQ(w.prompter().texts(), QStringList{"Invalid Password."});
        EXPECT_TRUE(lock.isVisible());
        // Escape does not open the desk.
        QTest::keyClick(lock.txtPassword, Qt::Key_Escape);
        EXPECT_TRUE(lock.isVisible());
        lock.txtPassword->setText(QStringLiteral("annapass"));
        lock.cmdUnlock->click();
        EXPECT_FALSE(lock.isVisible());
    });
    EXPECT_EQ(message,
              QStringLiteral("Medlantis is locked. Type the password of Anna to go on."));
    EXPECT_TRUE(everythingCovered);
    EXPECT_EQ(typedAfterLock, QStringLiteral("Unsaved"));
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.findChild<QWidget *>(QStringLiteral("lockCover")), nullptr);
    EXPECT_EQ(w.ctx().CurrentUser.UserName, QStringLiteral("Anna"));
    // The lock, the wrong password and the unlock are in the trail.
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from AuditTrail where Action='Desk "
                                      "Locked' and UserName='Anna' and RecordID=2"))
                  .toInt(),
              1);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from AuditTrail where Action='Wrong "
                                      "Password' and RecordID=2"))
                  .toInt(),
              1);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from AuditTrail where Action='Desk "
                                      "Unlocked' and RecordID=2"))
                  .toInt(),
              1);
}

TEST_F(IdleLockTest, SignOutAsksAboutUnsavedTypingThenClosesEveryWindow)
{
    MDIFormMain &main = signIn(QStringLiteral("Anna"), QStringLiteral("annapass"));
    EXPECT_FALSE(usersCommandEnabled(main));
    // No keeps the desk locked; Yes signs out.
    w.prompter().answers = {MsgAnswer::No, MsgAnswer::Yes};
    int shown = 0;
    typeAndWalkAway(main, [&](frmLocked &lock) {
        ++shown;
        lock.cmdSignOut->click();
    });
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(w.prompter().texts(),
              QStringList({"Close without saving the open windows?",
                           "Close without saving the open windows?"}));
    Form1 &login = w.ctx().window<Form1>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return login.isVisible(); }, 10000));
    EXPECT_FALSE(main.isVisible());
    EXPECT_FALSE(w.ctx().hasWindow<frmAddNewPatient>()); // gone, with what was typed
    EXPECT_EQ(w.ctx().CurrentUser.UserID, 0);
    EXPECT_FALSE(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=1"))
                     .toString()
                     .isEmpty());

    // The next sign-in sets the commands for its own privilege.
    signIn(QStringLiteral("Admin"), QStringLiteral("secret1"));
    EXPECT_TRUE(usersCommandEnabled(main));
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 2);
}

TEST(IdleWatch, ZeroMinutesNeverLocks)
{
    TestWorld w;
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.ctx().settings().SaveSetting(SettingKeys::LockAfterMinutes, QStringLiteral("0"));
    w.ctx().CurrentUser = {1, QStringLiteral("Admin"), QStringLiteral("Administrator")};
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.showFrame();
    EXPECT_FALSE(main.idleWatch().running());
}
