#include "users/Form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "data/Cipher.h"
#include "data/Recordset.h"
#include "maintenance/frmNetworkSettings.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/MainFrame.h"
#include "shell/Prompter.h"
#include "shell/Settings.h"
#include "shell/StatusBarPanes.h"
#include "shell/SystemModule.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"
#include "users/frmAddNewUser.h"

Form1::Form1(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Login"));

    cboUsers = new QComboBox(this);
    cboUsers->setObjectName(QStringLiteral("cboUsers"));
    cboUsers->setEditable(true);
    cboUsers->setInsertPolicy(QComboBox::NoInsert);
    // Names match letter for letter, so nothing completes a typed name.
    cboUsers->setCompleter(nullptr);
    cboUsers->setMinimumWidth(220);
    txtPassword = newLineEdit(this, "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->installEventFilter(this);
    Check1 = newCheckBox(this, "Check1", QStringLiteral("Save Password"));
    cmdLogin = newButton(this, "cmdLogin", QStringLiteral("Login"));
    cmdLogin->setDefault(true);
    cmdNewLogin = newButton(this, "cmdNewLogin", QStringLiteral("Add New User"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));
    cmdDatabaseSettings =
        newButton(this, "cmdDatabaseSettings", QStringLiteral("Network Settings"));

    auto *grid = new QGridLayout;
    auto *userLabel = newBuddyLabel(this, QStringLiteral("User Name:"), cboUsers);
    auto *passwordLabel = newBuddyLabel(this, QStringLiteral("Password:"), txtPassword);
    grid->addWidget(userLabel, 0, 0);
    grid->addWidget(cboUsers, 0, 1);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(txtPassword, 1, 1);
    grid->addWidget(Check1, 2, 1);
    auto *buttons = buttonRow({cmdLogin, cmdNewLogin, cmdCancel}, {cmdDatabaseSettings});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setTabChain({cboUsers, txtPassword, Check1, cmdLogin, cmdNewLogin, cmdCancel,
                 cmdDatabaseSettings});

    connect(cboUsers, &QComboBox::activated, this, [this] { cboUsers_Click(); });
    connect(cboUsers->lineEdit(), &QLineEdit::textEdited, this, [this] { cboUsers_Change(); });
    // An editable combo box keeps Enter to itself; here it means "Login".
    connect(cboUsers->lineEdit(), &QLineEdit::returnPressed, cmdLogin, &QPushButton::click);
    // Typing in the box means a typed password, not the remembered sign-in.
    connect(txtPassword, &QLineEdit::textEdited, this, [this] { RememberedAccount = 0; });
    connect(cmdLogin, &QPushButton::clicked, this, [this] { cmdLogin_Click(); });
    connect(cmdNewLogin, &QPushButton::clicked, this, [this] { cmdNewLogin_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdDatabaseSettings, &QPushButton::clicked, this,
            [this] { cmdDatabaseSettings_Click(); });
}

void Form1::Form_Load()
{
    Steps step(ctx.prompter(), QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    const QString program = ctx.folders().program;
    step([&] { setWindowIcon(QIcon(QStringLiteral(":/medlantis.png"))); });
    step([&] {
        applyStyleSheetFile(this, program + nativeSeparator() + QStringLiteral("styles")
                                      + nativeSeparator() + QStringLiteral("Office2007.cjstyles"));
    });
    step([&] { SystemModule::CopyBlankDB(ctx); });
    step([&] { ApplyLoginSkin(this, program); });
    step([&] { applyHandCursor(this, program); });
    step([&] { CheckPdfPrinter(QtPrinterList(), ctx.prompter()); });
}

void Form1::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("Form1"), QStringLiteral("Form_Activate"));
    step([&] { LoadUserNames(); });
    step([&] {
        const int n =
            ctx.settings().GetSetting(SettingKeys::LastLogin, QStringLiteral("0")).toInt();
        if (n < cboUsers->count()) {
            cboUsers->setCurrentIndex(n < 0 ? -1 : n);
            cboUsers_Click();
        }
    });
}

bool Form1::Form_QueryUnload()
{
    // Closing the login window leaves the application, as Cancel does.
    ctx.endProcess(0);
    return true;
}

void Form1::LoadUserNames()
{
    Recordset rs;
    rs.Open(QStringLiteral("Select UserName from Users"), ctx.db());
    cboUsers->clear();
    for (; !rs.isEOF(); rs.MoveNext())
        cboUsers->addItem(D(rs.Text(QStringLiteral("UserName"))));
    // A filled list starts with no entry chosen; the activation chooses one.
    cboUsers->setCurrentIndex(-1);
    rs.Close();
}

void Form1::LoadSavedPassword()
{
    const QString name = cboUsers->currentText();
    if (name.isEmpty())
        return;
    // No password is kept anywhere to fill in: a desk that remembers the
    // account shows the box as filled and signs in by its token.
    RememberedAccount = 0;
    UserRecord account;
    if (FindUserByName(ctx.db(), name, account) && deskRemembers(ctx, account.UserID))
        RememberedAccount = account.UserID;
    txtPassword->setText(RememberedAccount ? rememberedPlaceholder() : QString());
    Check1->setChecked(RememberedAccount != 0);
}

QString Form1::rememberedPlaceholder()
{
    return QString(10, QLatin1Char(' '));
}

void Form1::cboUsers_Click()
{
    trapped(ctx.prompter(), QStringLiteral("Form1"), QStringLiteral("cboUsers_Click"), 100, [&] {
        ctx.settings().SaveSetting(SettingKeys::LastLogin,
                                   QString::number(cboUsers->currentIndex()));
        LoadSavedPassword();
    });
}

void Form1::cboUsers_Change()
{
    // A typed name is no entry of the list.
    trapped(ctx.prompter(), QStringLiteral("Form1"), QStringLiteral("cboUsers_Change"), 100, [&] {
        ctx.settings().SaveSetting(SettingKeys::LastLogin, QStringLiteral("-1"));
        LoadSavedPassword();
    });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // The whole password is selected on entry; after the click that gave the
    // focus, so the click does not undo it.
    if (watched == txtPassword && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, txtPassword, [this] { txtPassword->selectAll(); });
    return Form::eventFilter(watched, event);
}

void Form1::cmdLogin_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("Form1"), QStringLiteral("cmdLogin_Click"));
    SignInCheck check;
    step([&] {
        if (cboUsers->currentText().isEmpty()) {
            cboUsers->setFocus();
            step.stop();
        }
    });
    step([&] {
        if (txtPassword->text().isEmpty()) {
            txtPassword->setFocus();
            step.stop();
        }
    });
    // A remembered sign-in is used only while the box shows it untouched.
    const bool byToken =
        RememberedAccount != 0 && txtPassword->text() == rememberedPlaceholder();
    step([&] {
        check = byToken ? checkRememberedDesk(ctx, cboUsers->currentText())
                        : checkPassword(ctx, cboUsers->currentText(), txtPassword->text());
    });
    step([&] {
        switch (check.outcome) {
        case SignInOutcome::SignedIn:
            return;
        case SignInOutcome::NoSuchAccount:
            ctx.prompter().message(QStringLiteral("Invalid User Name."),
                                   QStringLiteral("Invalid User Name"), MsgIcon::Exclamation,
                                   MsgButtons::OK);
            cboUsers->setFocus();
            cboUsers->lineEdit()->selectAll();
            break;
        case SignInOutcome::WrongPassword:
            if (byToken) {
                // The desk's token no longer holds: the password must be typed.
                RememberedAccount = 0;
                txtPassword->clear();
                Check1->setChecked(false);
            }
            ctx.prompter().message(QStringLiteral("Invalid Password."),
                                   QStringLiteral("Invalid User Password"), MsgIcon::Exclamation,
                                   MsgButtons::OK);
            txtPassword->setFocus();
            txtPassword->selectAll();
            break;
        case SignInOutcome::Locked:
            ctx.prompter().message(lockedMessage(check.account.UserName, check.lockedUntil),
                                   QStringLiteral("Account Locked"), MsgIcon::Exclamation,
                                   MsgButtons::OK);
            txtPassword->clear();
            txtPassword->setFocus();
            break;
        }
        step.stop();
    });
    if (step.stopped() || check.outcome != SignInOutcome::SignedIn)
        return;
    // Only now, with the password matched, is anybody signed in.
    ctx.CurrentUser = check.account;
    step([&] {
        ctx.db().Execute(QStringLiteral("update Users set savepassword=")
                         + (Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"))
                         + QStringLiteral(" where userid=")
                         + QString::number(ctx.CurrentUser.UserID));
    });
    step([&] {
        if (!Check1->isChecked())
            forgetDesk(ctx, ctx.CurrentUser.UserID);
        else if (!byToken)
            rememberDesk(ctx, ctx.CurrentUser.UserID);
    });
    step([&] { LogTimeIn(ctx); });
    step([&] {
        RememberedAccount = 0;
        txtPassword->clear();
    });
    step([&] { hide(); });
    step([&] { ctx.mainFrame().showFrame(); });
    step([&] {
        ctx.mainFrame().setStatusText(
            1, QStringLiteral("  Current User: ") + ctx.CurrentUser.UserName
                   + QStringLiteral(" (") + ctx.CurrentUser.Privilege + QStringLiteral(")"));
    });
}

void Form1::cmdNewLogin_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("Form1"), QStringLiteral("cmdNewLogin_Click"));
    SignInCheck check;
    // Whoever walks up to the desk is nobody: an administrator must type their
    // own name and password here, and a wrong one counts as at Login. A
    // remembered sign-in proves nothing about who is at the desk.
    const bool typed = !cboUsers->currentText().isEmpty() && !txtPassword->text().isEmpty()
                       && !(RememberedAccount != 0
                            && txtPassword->text() == rememberedPlaceholder());
    step([&] {
        if (typed)
            check = checkPassword(ctx, cboUsers->currentText(), txtPassword->text());
    });
    if (check.outcome == SignInOutcome::Locked) {
        ctx.prompter().message(lockedMessage(check.account.UserName, check.lockedUntil),
                               QStringLiteral("Account Locked"), MsgIcon::Exclamation,
                               MsgButtons::OK);
        txtPassword->clear();
        txtPassword->setFocus();
        return;
    }
    if (check.outcome != SignInOutcome::SignedIn
        || check.account.Privilege != QLatin1String("Administrator")) {
        ctx.prompter().message(
            QStringLiteral("Only an administrator can add an account. Type an administrator's "
                           "user name and password, then press Add New User."),
            QStringLiteral("Administrator Required"), MsgIcon::Exclamation, MsgButtons::OK);
        txtPassword->setFocus();
        return;
    }
    step([&] {
        ctx.UserEditorMode = QStringLiteral("Save");
        frmAddNewUser &editor = ctx.window<frmAddNewUser>();
        editor.cmdSave->setText(QStringLiteral("Save"));
        editor.setWindowTitle(QStringLiteral("Add New User"));
        // The editor's rights and trail rows are this administrator's, for as
        // long as it is open; nobody is signed in afterwards.
        ctx.CurrentUser = check.account;
        try {
            // Owned by this window, so the names are read again when it closes.
            showModal(editor);
        } catch (...) {
            ctx.CurrentUser = UserRecord();
            throw;
        }
        ctx.CurrentUser = UserRecord();
    });
    // The administrator's password does not stay for the next person to use.
    RememberedAccount = 0;
    txtPassword->clear();
    Check1->setChecked(false);
}

void Form1::cmdCancel_Click()
{
    ctx.endProcess(0);
}

void Form1::cmdDatabaseSettings_Click()
{
    // Owned by this window, so the names are read again from the file chosen there.
    showModal(ctx.window<frmNetworkSettings>());
}
