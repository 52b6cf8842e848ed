#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>

#include <gtest/gtest.h>

#include "shell/Form.h"
#include "app/MDIFormMain.h"
#include "shell/Ribbon.h"
#include "support/TestWorld.h"

namespace {

MDIFormMain &showMain(TestWorld &w)
{
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    return main;
}

QString entry(const QAction *command)
{
    return command->text() + QLatin1Char('=') + QString::number(Ribbon::commandId(command));
}

void addMenu(QStringList &lines, const QString &path, const QMenu *menu)
{
    for (const QAction *item : menu->actions()) {
        if (item->menu())
            addMenu(lines, path + QLatin1Char('/') + item->text(), item->menu());
        else
            lines << path + QLatin1Char('/') + entry(item);
    }
}

// The whole ribbon as text, in display order.
QStringList layoutOf(Ribbon &ribbon)
{
    QStringList lines;
    auto *file = ribbon.tabs()->cornerWidget(Qt::TopLeftCorner)->findChild<QMenu *>();
    addMenu(lines, QStringLiteral("&File"), file);
    for (int t = 0; t < ribbon.tabs()->count(); ++t) {
        for (int g = 0; g < ribbon.groupCount(t); ++g) {
            const QString group = ribbon.tabs()->tabText(t) + QLatin1Char('/')
                                  + ribbon.groupCaption(t, g) + QLatin1Char('/');
            for (QAction *command : ribbon.groupCommands(t, g)) {
                lines << group + entry(command);
                if (QMenu *menu = ribbon.buttonFor(command)->menu())
                    addMenu(lines, group + command->text(), menu);
            }
        }
    }
    auto *options = ribbon.tabs()->cornerWidget(Qt::TopRightCorner)->findChild<QMenu *>();
    addMenu(lines, QStringLiteral("Options"), options);
    return lines;
}

} // namespace

TEST(RibbonLayout, EveryCommandInItsPlaceWithItsId)
{
    TestWorld w;
    MDIFormMain &main = showMain(w);
    const QStringList expected = {
        "&File/Add Patient=9031",
        "&File/Add Patient Visit=9021",
        "Home/Data Entry/Add Patient=9031",
        "Home/Data Entry/Add Patient Visit=9021",
        "Home/Views/View Patient List=9028",
        "Home/Views/View Patient Visit(s)=9022",
        "Home/Quit Application/Exit=9044",
        "Reports/Print/Print Patient List=9028",
        "Reports/Print/Print Patient Visit(s)=9022",
        "Reports/Export/Save Patient List As=9028",
        "Reports/Export/Save Patient List As/TXT=9050",
        "Reports/Export/Save Patient List As/XLS=9053",
        "Reports/Export/Save Patient List As/CSV=9058",
        "Reports/Export/Save Patient List As/PDF=9057",
        "Reports/Export/Save Patient List As/XML=9059",
        "Reports/Export/Save Patient Visit(s) As=9022",
        "Reports/Export/Save Patient Visit(s) As/TXT=9060",
        "Reports/Export/Save Patient Visit(s) As/XLS=9063",
        "Reports/Export/Save Patient Visit(s) As/CSV=9064",
        "Reports/Export/Save Patient Visit(s) As/PDF=9062",
        "Reports/Export/Save Patient Visit(s) As/XML=9061",
        "Tools/Maintenance/Users=9040",
        "Tools/Maintenance/Change Password=9045",
        "Tools/Maintenance/Backup / Restore Patient Database=9023",
        "Tools/Maintenance/Network Settings=9101",
        "Tools/Maintenance/Audit Trail=9046",
        "Tools/Support/Support=9048",
        "Tools/Support/www.medlantis.example=9049",
        "Options/Styles/Blue=3000",
        "Options/Styles/Black=3001",
        "Options/Styles/Silver=3003",
        "Options/Styles/Aqua=3002",
        "Options/Right To Left=3004",
    };
    EXPECT_EQ(layoutOf(*main.RibbonBar()), expected);

    // Group buttons are large and every one has its picture.
    for (int t = 0; t < main.RibbonBar()->tabs()->count(); ++t) {
        for (int g = 0; g < main.RibbonBar()->groupCount(t); ++g) {
            for (QAction *command : main.RibbonBar()->groupCommands(t, g)) {
                EXPECT_FALSE(command->icon().isNull()) << entry(command).toStdString();
                QToolButton *button = main.RibbonBar()->buttonFor(command);
                EXPECT_EQ(button->iconSize(), QSize(32, 32));
                EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
            }
        }
    }
}

TEST(RibbonLayout, CommandsReachTheDispatchWithTheirIdAndCaption)
{
    TestWorld w;
    MDIFormMain &main = showMain(w);
    QList<std::pair<int, QString>> received;
    QObject::connect(main.RibbonBar(), &Ribbon::execute,
                     [&](int id, const QString &caption) { received.append({id, caption}); });
    main.RibbonBar()->findCommand(QStringLiteral("TXT"), 9060)->trigger();
    main.RibbonBar()->findCommand(QStringLiteral("TXT"), 9050)->trigger();
    main.RibbonBar()->findCommand(QStringLiteral("Print Patient List"))->trigger();
    const QList<std::pair<int, QString>> expected = {{9060, QStringLiteral("TXT")},
                                                     {9050, QStringLiteral("TXT")},
                                                     {9028, QStringLiteral("Print Patient List")}};
    EXPECT_EQ(received, expected);
    EXPECT_EQ(main.RibbonBar()->findCommand(QStringLiteral("TXT"), 9999), nullptr);
}

TEST(Dispatch, NetworkSettingsOpensModally)
{
    TestWorld w;
    MDIFormMain &main = showMain(w);
    QStringList shown;
    w.ctx().modalHook = [&](Form &child) { shown << child.objectName(); };
    main.RibbonBar()->findCommand(QStringLiteral("Network Settings"), 9101)->trigger();
    EXPECT_EQ(shown, QStringList{QStringLiteral("frmNetworkSettings")});
}

TEST(Dispatch, SupportAndWebSiteOpenTheirAddresses)
{
    TestWorld w;
    MDIFormMain &main = showMain(w);
    main.RibbonBar()->findCommand(QStringLiteral("Support"), 9048)->trigger();
    main.CommandBars_Execute(9049, QStringLiteral("www.medlantis.example"));
    const QStringList expected = {MDIFormMain::supportPage(), MDIFormMain::homePage()};
    EXPECT_EQ(w.prompter().urls, expected);
    EXPECT_NE(MDIFormMain::supportPage(), MDIFormMain::homePage());
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST(Dispatch, UnknownCommandsDoNothing)
{
    TestWorld w;
    MDIFormMain &main = showMain(w);
    const QString before = main.styleSheet();
    main.CommandBars_Execute(1234, QStringLiteral("Exit"));
    main.CommandBars_Execute(9028, QStringLiteral("Save Patient List As"));
    main.CommandBars_Execute(0, QString());
    EXPECT_TRUE(w.prompter().boxes.empty());
    EXPECT_TRUE(w.prompter().dialogs.empty());
    EXPECT_TRUE(w.prompter().urls.isEmpty());
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.styleSheet(), before);
}

TEST(Dispatch, ColourSchemesComeFromTheProgramFolderOrStayAsTheyAre)
{
    TestWorld w;
    MDIFormMain &main = showMain(w);
    const QString blue = main.styleSheet();
    EXPECT_FALSE(blue.isEmpty());
    EXPECT_EQ(main.colourScheme(), 3000);

    // No scheme files at all: every choice keeps the current look.
    main.RibbonBar()->findCommand(QStringLiteral("Black"))->trigger();
    EXPECT_EQ(main.styleSheet(), blue);
    EXPECT_EQ(main.colourScheme(), 3000);

    // The shipped files, under the names the dispatch looks for.
    const QDir shipped(QStringLiteral(MEDLANTIS_TEST_DATA "/../../src/resources/Styles"));
    QDir(w.path(QStringLiteral("program"))).mkpath(QStringLiteral("Styles"));
    QStringList looks{blue};
    for (int id : {3001, 3003, 3002}) {
        const QString relative = MDIFormMain::colourSchemeFile(id);
        const QString name = relative.section(QLatin1Char('/'), -1);
        ASSERT_TRUE(QFile::copy(shipped.filePath(name),
                                w.path(QStringLiteral("program/")) + relative))
            << relative.toStdString();
        main.CommandBars_Execute(id, QString());
        EXPECT_EQ(main.colourScheme(), id);
        looks << main.styleSheet();
    }
    EXPECT_EQ(looks.size(), 4);
    EXPECT_EQ(QSet<QString>(looks.begin(), looks.end()).size(), 4);

    // A scheme file that has gone keeps the current look; Blue is built in.
    QFile::remove(w.path(QStringLiteral("program/")) + MDIFormMain::colourSchemeFile(3003));
    main.RibbonBar()->findCommand(QStringLiteral("Silver"))->trigger();
    EXPECT_EQ(main.colourScheme(), 3002);
    EXPECT_EQ(main.styleSheet(), looks.last());
    main.RibbonBar()->findCommand(QStringLiteral("Blue"))->trigger();
    EXPECT_EQ(main.styleSheet(), blue);
}

TEST(Dispatch, RightToLeftTogglesAndReturns)
{
    TestWorld w;
    MDIFormMain &main = showMain(w);
    QAction *rtl = main.RibbonBar()->findCommand(QStringLiteral("Right To Left"), 3004);
    ASSERT_NE(rtl, nullptr);
    EXPECT_EQ(main.RibbonBar()->layoutDirection(), Qt::LeftToRight);
    rtl->trigger();
    EXPECT_EQ(main.RibbonBar()->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(main.RibbonBar()->tabs()->layoutDirection(), Qt::RightToLeft);
    rtl->trigger();
    EXPECT_EQ(main.RibbonBar()->layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(main.RibbonBar()->tabs()->layoutDirection(), Qt::LeftToRight);
}
