#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include "shell/Form.h"
#include "app/MDIFormMain.h"
#include "shell/Ribbon.h"
#include "shell/StatusBarPanes.h"
#include "support/TestWorld.h"
#include "users/UserSession.h"

namespace {

MDIFormMain &showMain(TestWorld &w, const QString &privilege)
{
    w.ctx().CurrentUser.UserID = 2;
    w.ctx().CurrentUser.UserName = QStringLiteral("Anna");
    w.ctx().CurrentUser.Privilege = privilege;
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    return main;
}

// A child window that counts its activations.
class ProbeForm : public Form
{
public:
    explicit ProbeForm(AppContext &ctx) : Form(ctx)
    {
        setObjectName(QStringLiteral("ProbeForm"));
        setWindowTitle(QStringLiteral("Probe"));
    }
    int loads = 0;
    int activations = 0;

protected:
    void Form_Load() override { ++loads; }
    void Form_Activate() override { ++activations; }
};

} // namespace

TEST(MainWindow, OnlyAnAdministratorMayOpenTheUserListOrTheAuditTrail)
{
    for (const char *privilege : {"Staff", "administrator", "Administrator"}) {
        SCOPED_TRACE(privilege);
        TestWorld w;
        MDIFormMain &main = showMain(w, QLatin1String(privilege));
        const bool admin = QLatin1String(privilege) == QLatin1String("Administrator");
        for (QAction *command : main.RibbonBar()->commands()) {
            const bool restricted = command->text() == QLatin1String("Users")
                                    || command->text() == QLatin1String("Audit Trail");
            EXPECT_EQ(command->isEnabled(), !restricted || admin)
                << command->text().toStdString();
        }
    }
}

TEST(MainWindow, LoadSetsCaptionPanesAndClearsTheExitingFlag)
{
    TestWorld w;
    w.ctx().AppExiting = true;
    MDIFormMain &main = showMain(w, QStringLiteral("Staff"));
    EXPECT_FALSE(w.ctx().AppExiting);
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Medlantis"));
    EXPECT_EQ(main.RibbonBar()->windowTitle(), QStringLiteral("The Ribbon"));
    EXPECT_TRUE(main.StatusBar1->isVisible());

    ASSERT_EQ(main.StatusBar1->PaneCount(), 5);
    const int ids[] = {0, 1, 59137, 59138, 59139};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(main.StatusBar1->PaneID(i), ids[i]);
    EXPECT_EQ(main.StatusBar1->PaneText(0), QString());
    EXPECT_EQ(main.StatusBar1->PaneText(1), QString());
    main.StatusBar1->SetPaneText(0, QStringLiteral("Record 3 of 9"));
    EXPECT_EQ(main.StatusBar1->PaneText(0), QStringLiteral("Record 3 of 9"));
    EXPECT_EQ(main.StatusBar1->PaneText(1), QString());
    EXPECT_TRUE(main.StatusBar1->pane(0)->isVisible());
}

TEST(MainWindow, ExitAnsweredNoKeepsEverything)
{
    TestWorld w;
    MDIFormMain &main = showMain(w, QStringLiteral("Staff"));
    LogTimeIn(w.ctx());
    w.prompter().answers.push_back(MsgAnswer::No);
    main.RibbonBar()->findCommand(QStringLiteral("Exit"), 9044)->trigger();

    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    const FakePrompter::Box &box = w.prompter().last();
    EXPECT_EQ(box.text, QStringLiteral("Are you sure you want to exit the application?"));
    EXPECT_EQ(box.title, QStringLiteral("Confirm Exit Application"));
    EXPECT_EQ(box.icon, MsgIcon::Question);
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(w.ctx().AppExiting);
    EXPECT_EQ(w.endedWith, -1);
    EXPECT_TRUE(w.scalar(QStringLiteral("select TimeOut from UserLog")).isNull());
}

TEST(MainWindow, ExitAnsweredYesClosesThisRunsLogRowAndEnds)
{
    TestWorld w;
    MDIFormMain &main = showMain(w, QStringLiteral("Staff"));
    LogTimeIn(w.ctx());
    const int own = w.ctx().OwnLogID;
    // A later sign-in on another workstation sharing the file.
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (%1, 'Other')")
               .arg(own + 1));
    w.prompter().answers.push_back(MsgAnswer::Yes);
    main.close(); // the close box asks the same question

    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Confirm Exit Application"));
    EXPECT_TRUE(w.ctx().AppExiting);
    EXPECT_EQ(w.endedWith, 0);
    EXPECT_FALSE(w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=%1").arg(own))
                     .toString()
                     .isEmpty());
    EXPECT_TRUE(
        w.scalar(QStringLiteral("select TimeOut from UserLog where LogID=%1").arg(own + 1))
            .isNull());
}

TEST(MainWindow, ShowChildWrapsOnceAndActivatesEveryTime)
{
    TestWorld w;
    MDIFormMain &main = showMain(w, QStringLiteral("Administrator"));
    ProbeForm &child = w.ctx().window<ProbeForm>();

    main.showChild(child);
    QMdiSubWindow *sub = main.subWindowOf(child);
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isVisible());
    EXPECT_TRUE(child.isVisible());
    EXPECT_EQ(main.mdiArea->activeSubWindow(), sub);
    EXPECT_EQ(child.loads, 1);
    EXPECT_EQ(child.activations, 1);

    // Already showing: still activated, still one frame.
    main.showChild(child);
    EXPECT_EQ(child.activations, 2);
    EXPECT_EQ(main.mdiArea->subWindowList().size(), 1);

    // Closing the child (close box, Escape) hides it and its frame.
    QTest::keyClick(&child, Qt::Key_Escape);
    EXPECT_FALSE(child.isVisible());
    EXPECT_FALSE(sub->isVisible());
    sub->close(); // the frame's own close box goes through the child
    EXPECT_EQ(main.subWindowOf(child), sub);

    main.showChild(child);
    EXPECT_TRUE(sub->isVisible());
    EXPECT_TRUE(child.isVisible());
    EXPECT_EQ(child.loads, 1);
    EXPECT_EQ(child.activations, 3);
    EXPECT_EQ(main.mdiArea->subWindowList().size(), 1);
}

TEST(MainWindow, ChildWindowsBelongToTheContextNotToTheFrame)
{
    TestWorld w;
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    ProbeForm &child = w.ctx().window<ProbeForm>();
    QPointer<ProbeForm> alive(&child);
    auto *main = new MDIFormMain(w.ctx());
    main->show();
    main->showChild(child);
    delete main; // the child is handed back, not deleted with its frame
    ASSERT_FALSE(alive.isNull());
    EXPECT_EQ(child.parentWidget(), nullptr);

    // A child that goes first leaves an empty frame behind, no dangling pointer.
    auto *second = new MDIFormMain(w.ctx());
    second->show();
    auto *loose = new ProbeForm(w.ctx());
    second->showChild(*loose);
    QPointer<QMdiSubWindow> frame(second->subWindowOf(*loose));
    delete loose;
    EXPECT_FALSE(frame.isNull());
    delete second;
    EXPECT_TRUE(frame.isNull());
}
