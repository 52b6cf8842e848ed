#include <cstdio>
#include <memory>

#include <QApplication>
#include <QIcon>
#include <QStringList>

#include "app/MDIFormMain.h"
#include "app/Startup.h"
#include "data/Connection.h"
#include "maintenance/AuditAnchors.h"
#include "shell/AppContext.h"
#include "shell/AppState.h"
#include "shell/CommandLine.h"
#include "shell/Prompter.h"
#include "shell/QtPrompter.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/modMain.h"

namespace {

// Answers nothing: the check from the command line shows no box.
class SilentPrompter : public Prompter
{
public:
    MsgAnswer message(const QString &, const QString &, MsgIcon, MsgButtons) override
    {
        return MsgAnswer::Cancel;
    }
    QString saveFile(const QString &, const QString &) override { return QString(); }
    QString openFile(const QString &, const QString &) override { return QString(); }
    QString browseFolder(const QString &, const QString &) override { return QString(); }
    bool openUrl(const QString &) override { return false; }
};

// --version, --help and --check-audit-trail answer before any window exists,
// so they need no display. Returns the exit code, or -1 to run the program.
int answeredOption(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString text;
    int code = 0;
    switch (CommandLine::parse(arguments)) {
    case CommandLine::Action::Run:
        return -1;
    case CommandLine::Action::CheckAuditTrail: {
        QCoreApplication app(argc, argv);
        AppState state(std::make_unique<Settings>(), std::make_unique<SilentPrompter>(),
                       Folders::fromEnvironment(
                           Folders::programFolderFor(QCoreApplication::applicationDirPath())));
        code = AuditAnchors::checkConfigured(state, text);
        break;
    }
    case CommandLine::Action::Version:
        text = CommandLine::versionText() + QLatin1Char('\n');
        break;
    case CommandLine::Action::Help:
        text = CommandLine::helpText(AppState::userDataFolderIn(SpecialFolderPath(26)),
                                     Settings().fileName());
        break;
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("Medlantis"));
    QCoreApplication::setOrganizationName(QStringLiteral("Trevanto"));
    QCoreApplication::setApplicationVersion(CommandLine::version());
    const int answered = answeredOption(argc, argv);
    if (answered >= 0)
        return answered;

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
