#include "app/Startup.h"

#include <QApplication>

#include "data/Connection.h"
#include "data/PgEngine.h"
#include "data/Schema.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmNetworkSettings.h"
#include "reports/modSaveRecordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/PrivateFiles.h"
#include "shell/Prompter.h"
#include "shell/SystemModule.h"
#include "shell/modMain.h"
#include "users/Form1.h"
#include "users/UserSession.h"
#include "users/frmSetAdmin.h"

StartWindow Main(AppContext &ctx, SingleInstance &instance,
                 const std::function<QString()> &engineProbe)
{
    if (!ODBCProvider::CheckProvider(ctx.prompter(), engineProbe)) {
        ctx.endProcess(1);
        return StartWindow::None;
    }
    if (!instance.acquire()) {
        ctx.prompter().message(QStringLiteral("Application is already running."),
                               QStringLiteral("Run"), MsgIcon::Exclamation, MsgButtons::OK);
        ctx.endProcess(0);
        return StartWindow::None;
    }

    // Workbooks with patient data that earlier runs handed to the spreadsheet
    // program; only now, with no other run of ours alive, are they surely closed.
    removeOldWorkbooks(ctx.folders().temp);
    PrivateFiles::removeLeftovers(ctx.folders().temp);
    // Copies an interrupted restore or new password left beside the database.
    if (!isServerUri(ctx.databaseFile()))
        DatabaseFiles::removeStagedCopies(ctx.databaseFile());

    StartWindow choice = StartWindow::None;
    Steps step(ctx.prompter(), QStringLiteral("SystemModule"), QStringLiteral("Main"));
    step([&] { SystemModule::CopyBlankDB(ctx); });
    step([&] {
        // Files an older version left readable by every account, and copies
        // that kept a loose mode, are made private now.
        const QStringList left = SystemModule::makeUserFilesPrivate(ctx);
        if (!left.isEmpty())
            ctx.prompter().message(
                QStringLiteral("These files belong to another user, so they could not be made "
                               "readable by you alone. They are used as they are:")
                    + QStringLiteral("\r\n\r\n") + left.join(QStringLiteral("\r\n")),
                applicationTitle(), MsgIcon::Exclamation, MsgButtons::OK);
    });
    step([&] {
        // A server is tested by connecting to it; an empty database there is no
        // fault yet: connecting offers to create its tables.
        const QString path = ctx.databaseFile();
        QString title = QStringLiteral("Database Not Found");
        const QString problem =
            isServerUri(path) ? serverProblem(path, ctx.databasePassword(), true, &title)
                              : (FileExists(path) ? QString() : path + QStringLiteral(" not found."));
        if (!problem.isEmpty()) {
            ctx.prompter().message(problem, title, MsgIcon::Exclamation, MsgButtons::OK);
            ctx.showModal(ctx.window<frmNetworkSettings>());
        }
    });
    step([&] { SystemModule::connect(ctx); });
    step([&] {
        // The tables were not created (or are older than this version and this
        // role may not upgrade them): the database can only be set right in
        // the location window, which keeps to itself until it is.
        if (!isServerUri(ctx.databaseFile()) || !ctx.db().State()
            || (Schema::missingTables(ctx.db()).isEmpty()
                && (Schema::mayChangeSchema(ctx.db().engine())
                    || Schema::lacking(ctx.db().engine()).isEmpty())))
            return;
        ctx.prompter().message(serverProblem(ctx.databaseFile(), ctx.databasePassword(), false),
                               QStringLiteral("Database Not Found"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        ctx.showModal(ctx.window<frmNetworkSettings>());
    });
    step([&] {
        // A server database has no folder for the marker: its accounts decide.
        if (isServerUri(ctx.databaseFile())) {
            choice = ctx.db().State() && administratorExists(ctx.db()) ? StartWindow::Login
                                                                       : StartWindow::Setup;
            return;
        }
        if (FileExists(ctx.markerPath())) {
            scrubAdministratorMarker(ctx);
            choice = StartWindow::Login;
            return;
        }
        choice = StartWindow::Setup;
        // A database that has its administrator (the file was moved, or the
        // marker deleted) must never reach the setup, which replaces every
        // account: its marker is written again and people sign in.
        if (ctx.db().State() && administratorExists(ctx.db())) {
            writeAdministratorMarker(ctx);
            choice = StartWindow::Login;
        }
    });
    return choice;
}

void showStartWindow(AppContext &ctx, StartWindow which)
{
    if (which == StartWindow::Login)
        ctx.window<Form1>().show();
    else if (which == StartWindow::Setup)
        ctx.window<frmSetAdmin>().show();
}
