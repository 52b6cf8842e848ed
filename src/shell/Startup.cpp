#include "shell/Startup.h"

#include <QApplication>

#include "data/Connection.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmNetworkSettings.h"
#include "reports/modSaveRecordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
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
    // Copies an interrupted restore or new password left beside the database.
    if (!isServerUri(ctx.databaseFile()))
        DatabaseFiles::removeStagedCopies(ctx.databaseFile());

    StartWindow choice = StartWindow::None;
    Steps step(ctx.prompter(), QStringLiteral("SystemModule"), QStringLiteral("Main"));
    step([&] { SystemModule::CopyBlankDB(ctx); });
    step([&] {
        const QString path = ctx.databaseFile();
        if (!FileExists(path)) {
            ctx.prompter().message(path + QStringLiteral(" not found."),
                                   QStringLiteral("Database Not Found"), MsgIcon::Exclamation,
                                   MsgButtons::OK);
            ctx.showModal(ctx.window<frmNetworkSettings>());
        }
    });
    step([&] { SystemModule::connect(ctx); });
    step([&] {
        if (FileExists(ctx.markerPath())) {
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
