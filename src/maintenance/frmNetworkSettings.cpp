#include "maintenance/frmNetworkSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/DbError.h"
#include "data/PgEngine.h"
#include "maintenance/DatabaseFiles.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"

frmNetworkSettings::frmNetworkSettings(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmNetworkSettings"));
    setWindowTitle(QStringLiteral("Network Settings"));

    txtDatabasefile = newLineEdit(this, "txtDatabasefile");
    txtDatabasefile->setMinimumWidth(380);
    cmdBrowse = newButton(this, "cmdBrowse", QStringLiteral("..."));
    cmdBrowse->setFixedWidth(32);
    txtPassword = newLineEdit(this, "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    chkNoPassword = newCheckBox(this, "chkNoPassword", QStringLiteral("No password"));
    cmdSave = newDefaultButton(this, "cmdSave", QStringLiteral("Save"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));

    auto *grid = new QGridLayout;
    auto *fileLabel = newBuddyLabel(this, QStringLiteral("Database File:"), txtDatabasefile);
    auto *passwordLabel = newBuddyLabel(this, QStringLiteral("Password:"), txtPassword);
    grid->addWidget(fileLabel, 0, 0);
    grid->addWidget(txtDatabasefile, 0, 1);
    grid->addWidget(cmdBrowse, 0, 2);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(txtPassword, 1, 1);
    grid->addWidget(chkNoPassword, 2, 1);
    auto *buttons = buttonRow({}, {cmdSave, cmdCancel});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setTabChain({txtDatabasefile, cmdBrowse, txtPassword, chkNoPassword, cmdSave, cmdCancel});

    // A password typed and "No password" contradict each other.
    QObject::connect(chkNoPassword, &QCheckBox::toggled, txtPassword,
                     [this](bool none) {
                         txtPassword->setEnabled(!none);
                         if (none)
                             txtPassword->clear();
                     });
    QObject::connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    QObject::connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    QObject::connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmNetworkSettings::Form_Activate()
{
    ResetControls(this);
    txtDatabasefile->setText(ctx.databaseFile());
    // The stored password stays out of every widget.
    txtPassword->clear();
    chkNoPassword->setChecked(false);
}

void frmNetworkSettings::cmdBrowse_Click()
{
    const QString chosen = ctx.prompter().openFile(QStringLiteral("Select Database File"),
                                                   QStringLiteral("Database File (*.mdb)|*mdb|"));
    if (!chosen.isEmpty())
        txtDatabasefile->setText(chosen);
}

void frmNetworkSettings::cmdSave_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmNetworkSettings"),
               QStringLiteral("cmdSave_Click"));
    const QString path = txtDatabasefile->text();
    const QString oldPassword = ctx.databasePassword();
    const bool sameLocation = sameDatabaseLocation(path, ctx.databaseFile());
    // The stored password goes only where it was saved for; elsewhere what is
    // typed now, nothing typed meaning none.
    QString password = txtPassword->text();
    if (chkNoPassword->isChecked())
        password.clear();
    else if (password.isEmpty() && sameLocation)
        password = oldPassword;
    if (addressHoldsPassword(path)) {
        ctx.prompter().message(
            QStringLiteral("Put the password in the Password box, not in the address."),
            QStringLiteral("Network Settings"), MsgIcon::Exclamation, MsgButtons::OK);
        txtDatabasefile->setFocus();
        return;
    }
    bool reencrypt = false;
    bool refused = false;
    step([&] {
        // A server that does not let us in, or whose encryption cannot be set
        // up (a wrong sslmode, a missing certificate, a server without TLS),
        // is not taken: the desk stays where it was, with its password.
        if (!isServerUri(path))
            return;
        QString title;
        const QString problem = serverProblem(path, password, true, &title);
        if (problem.isEmpty())
            return;
        refused = true;
        ctx.prompter().message(problem,
                               title.isEmpty() ? QStringLiteral("Network Settings") : title,
                               MsgIcon::Exclamation, MsgButtons::OK);
    });
    if (refused)
        return;
    step([&] {
        // A new password for a file that opens with the current one changes
        // the file's own password, once the user agrees: every desk sharing
        // it is concerned, so only an administrator may.
        // A server's password is its user's, not the database's own.
        if (isServerUri(path) || !sameLocation || password == oldPassword
            || !databaseOpens(path, oldPassword) || databaseOpens(path, password))
            return;
        if (!requireAdministrator(ctx, QStringLiteral("change the database password"))) {
            step.stop();
            return;
        }
        QString question = QStringLiteral(
            "The database file opens with the current password. Do you want to change the "
            "password of the file itself to the new one?\r\n\r\n"
            "Other workstations that share this file will need the new password too.");
        const QString left = DatabaseFiles::undoCopyLeftBy(path, oldPassword);
        if (!left.isEmpty())
            question += QStringLiteral("\r\n\r\nThe undo copy of the last restore, %1, "
                                       "does not open with the current password and will "
                                       "be left as it is.")
                            .arg(QDir::toNativeSeparators(left));
        reencrypt = ctx.prompter().message(question, QStringLiteral("Network Settings"),
                                           MsgIcon::Question, MsgButtons::YesNo)
                    == MsgAnswer::Yes;
    });
    if (step.stopped())
        return;
    if (reencrypt) {
        bool changed = false;
        step([&] {
            const AuditWho who = ctx.db().who();
            ctx.db().Close();
            try {
                DatabaseFiles::changePassword(path, oldPassword, password, 10000, &who);
                changed = true;
            } catch (const std::exception &e) {
                // Nothing changed, the settings included: the user may try again.
                const auto *db = dynamic_cast<const DbError *>(&e);
                ctx.prompter().message(db ? db->description() : QString::fromUtf8(e.what()),
                                       QStringLiteral("Network Settings"), MsgIcon::Exclamation,
                                       MsgButtons::OK);
            }
        });
        if (!changed) {
            step([&] { SystemModule::connect(ctx); });
            return;
        }
    }
    step([&] {
        ctx.settings().SaveSetting(SettingKeys::DatabaseFile, path);
        ctx.settings().SaveSetting(SettingKeys::DatabasePassword, password);
    });
    step([&] { ctx.db().Close(); });
    step([&] {
        QApplication::processEvents();
        QApplication::processEvents();
    });
    step([&] { SystemModule::connect(ctx); });
    step([&] { close(); });
}

bool frmNetworkSettings::Form_QueryUnload()
{
    // The stored location, not the one on screen; a server is tried by connecting.
    const QString stored = ctx.databaseFile();
    QString title = QStringLiteral("Database Not Found");
    const QString problem =
        isServerUri(stored) ? serverProblem(stored, ctx.databasePassword(), false, &title)
                            : (FileExists(stored) ? QString() : stored + QStringLiteral(" not found."));
    if (problem.isEmpty())
        return true;
    ctx.prompter().message(problem, title, MsgIcon::Warning, MsgButtons::OK);
    return false;
}
