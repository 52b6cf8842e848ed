#include <memory>

#include <QApplication>
#include <QIcon>

#include "data/Connection.h"
#include "shell/AppContext.h"
#include "shell/QtPrompter.h"
#include "shell/Settings.h"
#include "shell/Startup.h"
#include "shell/SystemModule.h"

int main(int argc, char **argv)
{
    // The pictures and colour schemes sit in a static library.
    Q_INIT_RESOURCE(medlantis);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Medlantis"));
    QApplication::setOrganizationName(QStringLiteral("Trevanto"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/medlantis.png")));
    // Windows are hidden, not closed; the process ends only when told to.
    QApplication::setQuitOnLastWindowClosed(false);

    auto ctx = std::make_unique<AppContext>(
        std::make_unique<Settings>(), std::make_unique<QtPrompter>(),
        Folders::fromEnvironment(QApplication::applicationDirPath()));
    // Static, so the lock is released when the process ends through exit().
    static SingleInstance instance(ctx->folders().runtime);

    const StartWindow start = Main(*ctx, instance, cipherVersion);
    if (start == StartWindow::None)
        return 0;
    showStartWindow(*ctx, start);
    return app.exec();
}
