#include "maintenance/frmBackupData.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "maintenance/AutomaticBackup.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmRestoreData.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"

frmBackupData::frmBackupData(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmBackupData"));
    setWindowTitle(QStringLiteral("Backup Data"));

    Text1 = newLineEdit(this, "Text1");
    Text1->setMinimumWidth(340);
    cmdLoad = newButton(this, "cmdLoad", QStringLiteral("..."));
    cmdLoad->setFixedWidth(32);
    Text2 = newLineEdit(this, "Text2");
    cmdSave = newDefaultButton(this, "cmdSave", QStringLiteral("Backup Now"));
    Command1 = newButton(this, "Command1", QStringLiteral("Restore"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));
    chkAutoBackup =
        newCheckBox(this, "chkAutoBackup", QStringLiteral("Back up &automatically once a day"));
    txtAutoBackupFolder = newLineEdit(this, "txtAutoBackupFolder");
    cmdAutoBackupFolder = newButton(this, "cmdAutoBackupFolder", QStringLiteral("..."));
    cmdAutoBackupFolder->setFixedWidth(32);
    spnKeepBackups = new QSpinBox(this);
    spnKeepBackups->setObjectName(QStringLiteral("spnKeepBackups"));
    spnKeepBackups->setRange(1, 999);
    spnKeepBackups->setSuffix(QStringLiteral(" newest backups"));

    auto *grid = new QGridLayout;
    auto *destinationLabel = newBuddyLabel(this, QStringLiteral("Destination:"), Text1);
    auto *fileLabel = newBuddyLabel(this, QStringLiteral("Filename:"), Text2);
    grid->addWidget(destinationLabel, 0, 0);
    grid->addWidget(Text1, 0, 1);
    grid->addWidget(cmdLoad, 0, 2);
    grid->addWidget(fileLabel, 1, 0);
    grid->addWidget(Text2, 1, 1);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 2, 0, 1, 3);
    grid->addWidget(chkAutoBackup, 3, 0, 1, 3);
    grid->addWidget(newBuddyLabel(this, QStringLiteral("F&older:"), txtAutoBackupFolder), 4, 0);
    grid->addWidget(txtAutoBackupFolder, 4, 1);
    grid->addWidget(cmdAutoBackupFolder, 4, 2);
    grid->addWidget(newBuddyLabel(this, QStringLiteral("&Keep:"), spnKeepBackups), 5, 0);
    grid->addWidget(spnKeepBackups, 5, 1, Qt::AlignLeft);
    auto *buttons = buttonRow({}, {cmdSave, Command1, cmdCancel});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setTabChain({Text1, cmdLoad, Text2, chkAutoBackup, txtAutoBackupFolder, cmdAutoBackupFolder,
                 spnKeepBackups, cmdSave, Command1, cmdCancel});
    applyHandCursor(this, ctx.folders().program);

    QObject::connect(Text1, &QLineEdit::textChanged, this, [this](const QString &text) {
        ctx.settings().SaveSetting(SettingKeys::BackupDestination, text);
    });
    // The activation fills these three with their signals blocked, so a default
    // that was only shown is not written into the settings.
    QObject::connect(chkAutoBackup, &QCheckBox::toggled, this, [this](bool on) {
        ctx.settings().SaveSetting(SettingKeys::AutomaticBackup,
                                   on ? QStringLiteral("1") : QStringLiteral("0"));
        enableAutomaticControls();
    });
    QObject::connect(txtAutoBackupFolder, &QLineEdit::textChanged, this,
                     [this](const QString &text) {
                         ctx.settings().SaveSetting(SettingKeys::AutomaticBackupFolder, text);
                     });
    QObject::connect(
        spnKeepBackups, qOverload<int>(&QSpinBox::valueChanged), this, [this](int keep) {
            ctx.settings().SaveSetting(SettingKeys::KeepBackups, QString::number(keep));
        });
    QObject::connect(cmdLoad, &QPushButton::clicked, this, [this] { cmdLoad_Click(); });
    QObject::connect(cmdAutoBackupFolder, &QPushButton::clicked, this,
                     [this] { cmdAutoBackupFolder_Click(); });
    QObject::connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    QObject::connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    QObject::connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmBackupData::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("frmBackupData"), QStringLiteral("Form_Activate"));
    step([&] {
        Text1->setText(ctx.settings().GetSetting(SettingKeys::BackupDestination,
                                                 ctx.folders().desktop + nativeSeparator()));
    });
    step([&] {
        Text2->setText(ctx.settings().GetSetting(SettingKeys::BackupFilename,
                                                 QStringLiteral("dbData.mdb")));
    });
    step([&] {
        const QSignalBlocker blockCheck(chkAutoBackup);
        const QSignalBlocker blockFolder(txtAutoBackupFolder);
        const QSignalBlocker blockKeep(spnKeepBackups);
        chkAutoBackup->setChecked(AutomaticBackup::isOn(ctx));
        txtAutoBackupFolder->setText(AutomaticBackup::folder(ctx));
        spnKeepBackups->setValue(AutomaticBackup::keepCount(ctx));
        enableAutomaticControls();
    });
    // Restoring replaces every record, the accounts and the trail included.
    step([&] {
        Command1->setEnabled(false);
        Command1->setEnabled(currentUserIsAdministrator(ctx));
    });
}

void frmBackupData::enableAutomaticControls()
{
    const bool on = chkAutoBackup->isChecked();
    txtAutoBackupFolder->setEnabled(on);
    cmdAutoBackupFolder->setEnabled(on);
    spnKeepBackups->setEnabled(on);
}

void frmBackupData::cmdLoad_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmBackupData"), QStringLiteral("cmdLoad_Click"));
    QString folder;
    step([&] {
        folder = BrowseForFolder(ctx.prompter(), QStringLiteral("Please select folder:"),
                                 QString());
    });
    step([&] {
        if (folder.isEmpty())
            step.stop();
    });
    // A chosen root already ends in a separator and keeps just that one.
    step([&] { Text1->setText(DatabaseFiles::withTrailingSeparator(folder)); });
}

void frmBackupData::cmdAutoBackupFolder_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmBackupData"),
               QStringLiteral("cmdAutoBackupFolder_Click"));
    QString folder;
    step([&] {
        folder = BrowseForFolder(ctx.prompter(),
                                 QStringLiteral("Please select the folder for the daily backups:"),
                                 txtAutoBackupFolder->text());
    });
    step([&] {
        if (!folder.isEmpty())
            txtAutoBackupFolder->setText(folder);
    });
}

void frmBackupData::cmdSave_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmBackupData"), QStringLiteral("cmdSave_Click"));
    bool copied = false;
    step([&] { ctx.db().Close(); });
    step([&] {
        QApplication::processEvents();
        QApplication::processEvents();
    });
    step([&] {
        // A folder typed without its final separator still means that folder.
        const QString destination =
            DatabaseFiles::withTrailingSeparator(Text1->text()) + Text2->text();
        QProgressDialog progress(QStringLiteral("Copying the database file..."), QString(), 0,
                                 1000, this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        const auto report = [&](qint64 done, qint64 total) {
            progress.setValue(total > 0 ? int(done * 1000 / total) : 1000);
        };
        const AuditWho who = ctx.db().who();
        DatabaseFiles::backupDatabase(ctx.databaseFile(), destination, ctx.databasePassword(),
                                      report, &who);
        copied = true;
    });
    step([&] {
        if (copied)
            ctx.prompter().message(QStringLiteral("Database successfully backup."),
                                   applicationTitle(), MsgIcon::Information, MsgButtons::OK);
    });
    step([&] { SystemModule::connect(ctx); });
}

void frmBackupData::Command1_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmBackupData"), QStringLiteral("Command1_Click"));
    step([&] {
        if (!requireAdministrator(ctx, QStringLiteral("restore the database"))) {
            Command1->setEnabled(false);
            step.stop();
        }
    });
    step([&] { close(); });
    step([&] { ctx.showModal(ctx.window<frmRestoreData>()); });
}
