#include <cstdio>
#include <memory>

#include <QApplication>
#include <QIcon>
#include <QStringList>

#include "app/MDIFormMain.h"
#include "app/Startup.h"
#include "data/Connection.h"
#include "shell/AppContext.h"
#include "shell/CommandLine.h"
#include "shell/QtPrompter.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/modMain.h"

namespace {

// --version and --help answer before any window exists, so they need no display.
bool answeredOption(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString text;
    switch (CommandLine::parse(arguments)) {
    case CommandLine::Action::Run:
        return false;
    case CommandLine::Action::Version:
        text = CommandLine::versionText() + QLatin1Char('\n');
        break;
    case CommandLine::Action::Help:
        text = CommandLine::helpText(AppState::userDataFolderIn(SpecialFolderPath(26)),
                                     Settings().fileName());
        break;
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("Medlantis"));
    QCoreApplication::setOrganizationName(QStringLiteral("Trevanto"));
    QCoreApplication::setApplicationVersion(CommandLine::version());
    if (answeredOption(argc, argv))
        return 0;

    // The pictures and colour schemes sit in a static library.
    Q_INIT_RESOURCE(medlantis);
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/medlantis.png")));
    // Lets the desktop match the windows with the installed menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.medlantis.Medlantis"));
    // Windows are hidden, not closed; the process ends only when told to.
    QApplication::setQuitOnLastWindowClosed(false);

    auto ctx = std::make_unique<AppContext>(
        std::make_unique<Settings>(), std::make_unique<QtPrompter>(),
        Folders::fromEnvironment(Folders::programFolderFor(QApplication::applicationDirPath())));
    useMainWindow(*ctx);
    // Static, so the lock is released when the process ends through exit().
    static SingleInstance instance(ctx->folders().runtime);

    const StartWindow start = Main(*ctx, instance, cipherVersion);
    if (start == StartWindow::None)
        return 0;
    showStartWindow(*ctx, start);
    return app.exec();
}
