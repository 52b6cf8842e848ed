#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "shell/AppState.h"
#include "shell/CommandLine.h"

TEST(CommandLine, OnlyVersionAndHelpAreAnsweredTheRestGoesToQt)
{
    using CommandLine::Action;
    const struct
    {
        QStringList arguments;
        Action action;
    } cases[] = {
        {{}, Action::Run},
        {{QStringLiteral("--version")}, Action::Version},
        {{QStringLiteral("--help")}, Action::Help},
        {{QStringLiteral("-h")}, Action::Help},
        {{QStringLiteral("--check-audit-trail")}, Action::CheckAuditTrail},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen")}, Action::Run},
        {{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("--version")},
         Action::Version},
        {{QStringLiteral("--help"), QStringLiteral("--version")}, Action::Help},
        {{QStringLiteral("--versions")}, Action::Run},
        {{QStringLiteral("help")}, Action::Run},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(CommandLine::parse(c.arguments), c.action);
    }
}

TEST(CommandLine, HelpIsOneParagraphNamingTheDataAndSettingsFiles)
{
    const QString data = QStringLiteral("/home/anna/.local/share/Trevanto/Medlantis");
    const QString ini = QStringLiteral("/home/anna/.config/Trevanto/Trevanto.ini");
    const QString help = CommandLine::helpText(data, ini);

    EXPECT_TRUE(help.startsWith(CommandLine::versionText() + QLatin1Char(' ')));
    EXPECT_TRUE(help.endsWith(QLatin1Char('\n')));
    EXPECT_FALSE(help.contains(QStringLiteral("\n\n")));
    const QString flat = QString(help).replace(QLatin1Char('\n'), QLatin1Char(' '));
    EXPECT_TRUE(flat.contains(QLatin1Char(' ') + data + QLatin1Char(' '))) << help.toStdString();
    EXPECT_TRUE(flat.contains(QLatin1Char(' ') + ini)) << help.toStdString();
    for (const QString &line : help.split(QLatin1Char('\n')))
        EXPECT_LE(line.size(), 78) << line.toStdString();
}

TEST(ProgramFolder, InstalledPrefixOrElseTheExecutablesOwnFolder)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    const auto make = [&](const QString &relative) {
        QDir().mkpath(QFileInfo(root + QLatin1Char('/') + relative).path());
        QFile file(root + QLatin1Char('/') + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    make(QStringLiteral("usr/bin/medlantis"));
    make(QStringLiteral("usr/share/medlantis/dbBlank.mdb"));
    make(QStringLiteral("build/medlantis"));
    make(QStringLiteral("build/dbBlank.mdb"));
    // A share folder without the template is not the program's.
    make(QStringLiteral("opt/bin/medlantis"));
    make(QStringLiteral("opt/share/medlantis/Styles/Office2007Aqua.qss"));

    const struct
    {
        const char *exe;
        const char *program;
    } cases[] = {
        {"usr/bin", "usr/share/medlantis"},
        {"build", "build"},
        {"opt/bin", "opt/bin"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.exe);
        EXPECT_EQ(Folders::programFolderFor(root + QLatin1Char('/') + QLatin1String(c.exe)),
                  root + QLatin1Char('/') + QLatin1String(c.program));
    }
}
