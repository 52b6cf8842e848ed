#include "users/frmLocked.h"

#include <algorithm>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"

frmLocked::frmLocked(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmLocked"));
    setWindowTitle(QStringLiteral("Locked"));
    // No close box: only the two buttons leave it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setWordWrap(true);
    txtPassword = newLineEdit(this, "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    cmdUnlock = newDefaultButton(this, "cmdUnlock", QStringLiteral("Unlock"));
    cmdSignOut = newButton(this, "cmdSignOut", QStringLiteral("Sign Out"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage);
    layout->addWidget(newBuddyLabel(this, QStringLiteral("Password:"), txtPassword));
    layout->addWidget(txtPassword);
    layout->addSpacing(6);
    layout->addLayout(buttonRow({}, {cmdUnlock, cmdSignOut}));
    setMinimumWidth(360);
    setTabChain({txtPassword, cmdUnlock, cmdSignOut});

    connect(cmdUnlock, &QPushButton::clicked, this, [this] { cmdUnlock_Click(); });
    connect(cmdSignOut, &QPushButton::clicked, this, [this] { cmdSignOut_Click(); });
}

void frmLocked::Form_Load()
{
    setWindowIcon(QIcon(QStringLiteral(":/medlantis.png")));
}

void frmLocked::Form_Activate()
{
    m_choice = Choice::None;
    m_leaving = false;
    lblMessage->setText(QStringLiteral("Medlantis is locked. Type the password of %1 to go on.")
                            .arg(ctx.CurrentUser.UserName));
    // As many lines as the name makes the message take.
    lblMessage->setMinimumHeight(lblMessage->heightForWidth(std::max(lblMessage->width(), 340)));
    adjustSize();
    txtPassword->clear();
    txtPassword->setFocus();
}

bool frmLocked::Form_QueryUnload()
{
    // Escape and the window manager's close leave the desk locked.
    return m_leaving || ctx.AppExiting;
}

void frmLocked::cmdUnlock_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmLocked"), QStringLiteral("cmdUnlock_Click"));
    SignInCheck check;
    check.outcome = SignInOutcome::WrongPassword;
    // Only the typed password opens the desk, never a remembered sign-in.
    step([&] { check = checkPasswordOf(ctx, ctx.CurrentUser.UserID, txtPassword->text()); });
    if (step.failed())
        return;
    switch (check.outcome) {
    case SignInOutcome::SignedIn:
        step([&] {
            Audit::add(ctx.db(), {QStringLiteral("Desk Unlocked"), QStringLiteral("Users"),
                                  ctx.CurrentUser.UserID, QVariant(), QString()});
        });
        txtPassword->clear();
        m_choice = Choice::Unlock;
        m_leaving = true;
        close();
        return;
    case SignInOutcome::Locked:
        ctx.prompter().message(lockedMessage(check.account.UserName, check.lockedUntil),
                               QStringLiteral("Account Locked"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        break;
    case SignInOutcome::WrongPassword:
    case SignInOutcome::NoSuchAccount:
        ctx.prompter().message(QStringLiteral("Invalid Password."),
                               QStringLiteral("Invalid User Password"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        break;
    }
    txtPassword->selectAll();
    txtPassword->setFocus();
}

void frmLocked::cmdSignOut_Click()
{
    txtPassword->clear();
    m_choice = Choice::SignOut;
    m_leaving = true;
    close();
}
