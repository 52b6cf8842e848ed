#include "maintenance/frmRestoreData.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

#include "maintenance/DatabaseFiles.h"
#include "maintenance/RestoreSource.h"
#include "patients/frmPatientList.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"

frmRestoreData::frmRestoreData(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmRestoreData"));
    setWindowTitle(QStringLiteral("Restore Data"));

    Text1 = newLineEdit(this, "Text1");
    Text1->setMinimumWidth(340);
    cmdLoad = newButton(this, "cmdLoad", QStringLiteral("..."));
    cmdLoad->setFixedWidth(32);
    cmdBackup = newDefaultButton(this, "cmdBackup", QStringLiteral("Restore Now"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));

    auto *grid = new QGridLayout;
    auto *sourceLabel = newBuddyLabel(this, QStringLiteral("Source Filename:"), Text1);
    grid->addWidget(sourceLabel, 0, 0);
    grid->addWidget(Text1, 0, 1);
    grid->addWidget(cmdLoad, 0, 2);
    auto *buttons = buttonRow({}, {cmdBackup, cmdCancel});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setTabChain({Text1, cmdLoad, cmdBackup, cmdCancel});
    applyHandCursor(this, ctx.folders().program);

    QObject::connect(Text1, &QLineEdit::textChanged, this, [this](const QString &text) {
        ctx.settings().SaveSetting(SettingKeys::BackupFile, text);
    });
    QObject::connect(cmdLoad, &QPushButton::clicked, this, [this] { cmdLoad_Click(); });
    QObject::connect(cmdBackup, &QPushButton::clicked, this, [this] { cmdBackup_Click(); });
    QObject::connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmRestoreData::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("frmRestoreData"), QStringLiteral("Form_Activate"));
    step([&] { Text1->setText(ctx.settings().GetSetting(SettingKeys::BackupFile, QString())); });
}

void frmRestoreData::cmdLoad_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmRestoreData"), QStringLiteral("cmdLoad_Click"));
    QString chosen;
    step([&] {
        // The undo copy of the last restore is offered too.
        chosen = ctx.prompter().openFile(QStringLiteral("Select Database File"),
                                         QStringLiteral("Database File (*.mdb)|*mdb|"
                                                        "Undo copy (*.before-restore)|"
                                                        "*.before-restore|"));
    });
    step([&] {
        if (!chosen.isEmpty())
            Text1->setText(QDir::toNativeSeparators(chosen));
    });
}

void frmRestoreData::cmdBackup_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmRestoreData"),
               QStringLiteral("cmdBackup_Click"));
    const QString source = Text1->text();
    bool usable = false;
    bool restored = false;
    // The whole database, its accounts and its trail included: rights are read
    // from the database now, not as they were at sign-in.
    if (!requireAdministrator(ctx, QStringLiteral("restore the database")))
        return;
    // The source is examined before anything is closed or replaced.
    step([&] {
        const QString problem = RestoreSource::problem(source, ctx.databasePassword());
        usable = problem.isEmpty();
        if (!usable)
            ctx.prompter().message(problem, QStringLiteral("Restore Data"), MsgIcon::Exclamation,
                                   MsgButtons::OK);
    });
    step([&] {
        if (usable)
            ctx.db().Close();
    });
    step([&] {
        QApplication::processEvents();
        QApplication::processEvents();
    });
    step([&] {
        if (!usable)
            return;
        QProgressDialog progress(QStringLiteral("Restoring the database file..."), QString(), 0,
                                 1000, this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        const auto report = [&](qint64 done, qint64 total) {
            progress.setValue(total > 0 ? int(done * 1000 / total) : 1000);
        };
        const AuditWho who = ctx.db().who();
        DatabaseFiles::restoreDatabase(source, ctx.databaseFile(), ctx.databasePassword(),
                                       report, &who);
        restored = true;
    });
    step([&] {
        if (restored)
            ctx.prompter().message(QStringLiteral("Database successfully restored."),
                                   applicationTitle(), MsgIcon::None, MsgButtons::OK);
    });
    step([&] {
        if (!ctx.db().State())
            SystemModule::connect(ctx);
    });
    // An open patient list would otherwise keep showing the replaced records.
    step([&] {
        if (restored && ctx.hasWindow<frmPatientList>() && ctx.window<frmPatientList>().isVisible())
            ctx.window<frmPatientList>().listPatients();
    });
}
