#include "users/frmChangePassword.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "data/Audit.h"
#include "data/Connection.h"
#include "data/Credentials.h"
#include "data/Recordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"

frmChangePassword::frmChangePassword(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmChangePassword"));
    setWindowTitle(QStringLiteral("Change Password"));

    auto *grid = new QGridLayout;
    const std::pair<const char *, QLineEdit **> rows[] = {
        {"Old Password:", &txtOldPassword},
        {"New Password:", &txtNewPassword},
        {"Retype Password:", &txtRetypePassword},
    };
    const char *names[] = {"txtOldPassword", "txtNewPassword", "txtRetypePassword"};
    int row = 0;
    for (const auto &[caption, box] : rows) {
        *box = newLineEdit(this, names[row]);
        (*box)->setEchoMode(QLineEdit::Password);
        grid->addWidget(newBuddyLabel(this, QLatin1String(caption), *box), row, 0);
        grid->addWidget(*box, row++, 1);
    }
    cmdLogin = newDefaultButton(this, "cmdLogin", QStringLiteral("Save"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));

    auto *buttons = buttonRow({}, {cmdLogin, cmdCancel});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setMinimumWidth(340);
    setTabChain({txtOldPassword, txtNewPassword, txtRetypePassword, cmdLogin, cmdCancel});

    connect(cmdLogin, &QPushButton::clicked, this, [this] { cmdLogin_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

void frmChangePassword::Form_Load()
{
    setWindowIcon(QIcon(QStringLiteral(":/medlantis.png")));
    applyHandCursor(this, ctx.folders().program);
}

void frmChangePassword::Form_Activate()
{
    ResetControls(this);
    txtOldPassword->setFocus();
}

void frmChangePassword::cmdLogin_Click()
{
    const QString oldPassword = txtOldPassword->text();
    const QString newPassword = txtNewPassword->text();
    const QString retyped = txtRetypePassword->text();
    if (oldPassword.size() < 6 || newPassword.size() < 6 || retyped.size() < 6) {
        ctx.prompter().message(
            QStringLiteral("Passwords must be at least 6 characters in length."),
            QStringLiteral("Invalid Password Length"), MsgIcon::Exclamation, MsgButtons::OK);
        return;
    }

    // A failed check or write shows the error box and ends here: nothing is
    // reported as changed unless it was stored.
    Steps step(ctx.prompter(), QStringLiteral("frmChangePassword"),
               QStringLiteral("cmdLogin_Click"));
    const QString userId = QString::number(ctx.CurrentUser.UserID);
    // The old password counts against the account's lock like any sign-in:
    // an unattended desk is no place to guess it.
    SignInCheck check;
    step([&] { check = checkPasswordOf(ctx, ctx.CurrentUser.UserID, oldPassword); });
    if (step.failed())
        return;
    if (check.outcome == SignInOutcome::Locked) {
        ctx.prompter().message(lockedMessage(check.account.UserName, check.lockedUntil),
                               QStringLiteral("Account Locked"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        return;
    }
    if (check.outcome != SignInOutcome::SignedIn) {
        ctx.prompter().message(QStringLiteral("Invalid Old Password."),
                               QStringLiteral("Invalid Password"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        return;
    }
    if (newPassword != retyped) {
        ctx.prompter().message(QStringLiteral("Password entries did not match.\r\n"
                                              "Make sure you typed it correctly."),
                               QStringLiteral("Retype Password"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        return;
    }
    QString hash;
    step([&] { hash = Credentials::hashPassword(newPassword); });
    if (step.failed())
        return;
    step([&] {
        Audit::recordWrite(ctx.db(), QStringLiteral("Password"), QStringLiteral("Users"),
                           QStringLiteral("UserID"), userId, QVariant(), [&] {
                               Recordset rs;
                               rs.Open(QStringLiteral("select * from [Users] where [UserID]=")
                                           + userId,
                                       ctx.db());
                               rs.setValue(QStringLiteral("Password"), hash);
                               rs.UpdateBatch();
                               // Desks that remembered the old password forget it.
                               clearSignInState(ctx.db(), ctx.CurrentUser.UserID, true);
                           });
    });
    if (step.failed())
        return;
    ctx.prompter().message(QStringLiteral("Your password has been changed."),
                           QStringLiteral("Password Changed"), MsgIcon::Information,
                           MsgButtons::OK);
    close();
}
