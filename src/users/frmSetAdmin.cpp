#include "users/frmSetAdmin.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "data/Audit.h"
#include "data/Cipher.h"
#include "data/Connection.h"
#include "data/Credentials.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/MainFrame.h"
#include "shell/Prompter.h"
#include "shell/StatusBarPanes.h"
#include "shell/WidgetUtils.h"
#include "users/Form1.h"
#include "users/UserSession.h"

frmSetAdmin::frmSetAdmin(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmSetAdmin"));
    setWindowTitle(QStringLiteral("Set New Administrator Password"));

    lblInstructions = new QLabel(QStringLiteral(" You are using this application for the first "
                                                "time. Enter the necessary  details for the "
                                                "Administrator account."),
                                 this);
    lblInstructions->setObjectName(QStringLiteral("lblInstructions"));
    lblInstructions->setWordWrap(true);
    const QString passwordTip = QStringLiteral(
        "Should not exceed 20 characters and must contain both numbers and letters.");
    txtUserName = newLineEdit(this, "txtUserName", 20);
    txtUserName->setToolTip(QStringLiteral("Should not exceed 20 characters."));
    txtPassword = newLineEdit(this, "txtPassword", 20);
    txtPassword->setToolTip(passwordTip);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtRetype = newLineEdit(this, "txtRetype", 20);
    txtRetype->setToolTip(passwordTip);
    txtRetype->setEchoMode(QLineEdit::Password);
    cmdSave = newDefaultButton(this, "cmdSave", QStringLiteral("Save"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));

    auto *grid = new QGridLayout;
    const std::pair<const char *, QLineEdit *> rows[] = {
        {"User Name:", txtUserName}, {"Password:", txtPassword}, {"Retype Password:", txtRetype}};
    int row = 0;
    for (const auto &[caption, box] : rows) {
        grid->addWidget(newBuddyLabel(this, QLatin1String(caption), box), row, 0);
        grid->addWidget(box, row++, 1);
    }
    auto *buttons = buttonRow({}, {cmdSave, cmdCancel});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblInstructions);
    layout->addSpacing(6);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setMinimumWidth(380);
    setTabChain({txtUserName, txtPassword, txtRetype, cmdSave, cmdCancel});

    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void frmSetAdmin::Form_Load()
{
    Steps step(ctx.prompter(), QStringLiteral("frmSetAdmin"), QStringLiteral("Form_Load"));
    const QString program = ctx.folders().program;
    step([&] { setWindowIcon(QIcon(QStringLiteral(":/medlantis.png"))); });
    step([&] {
        applyStyleSheetFile(this, program + nativeSeparator() + QStringLiteral("styles")
                                      + nativeSeparator() + QStringLiteral("Office2007.cjstyles"));
    });
    step([&] {
        if (m_users.State())
            m_users.Close();
        m_users.Open(QStringLiteral("SELECT * FROM Users"), ctx.db());
    });
    step([&] { applyHandCursor(this, program); });
}

void frmSetAdmin::cmdSave_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmSetAdmin"), QStringLiteral("cmdSave_Click"));
    const QString userName = txtUserName->text();
    const QString password = txtPassword->text();
    step([&] {
        if (userName.size() < 4) {
            ctx.prompter().message(
                QStringLiteral("User Name must be at least 4 characters in length."),
                QStringLiteral("Invalid User Name Length"), MsgIcon::Exclamation, MsgButtons::OK);
            txtUserName->setFocus();
            txtUserName->selectAll();
            step.stop();
        }
    });
    step([&] {
        if (password.size() < 6 || txtRetype->text().size() < 6) {
            ctx.prompter().message(
                QStringLiteral("Password must be at least 6 characters in length."),
                QStringLiteral("Invalid Password Length"), MsgIcon::Exclamation, MsgButtons::OK);
            txtPassword->clear();
            txtRetype->clear();
            txtPassword->setFocus();
            step.stop();
        }
    });
    step([&] {
        if (password != txtRetype->text()) {
            ctx.prompter().message(QStringLiteral("Password entries did not match.\r\n"
                                                  "Make sure you typed it correctly."),
                                   QStringLiteral("Retype Password"), MsgIcon::Exclamation,
                                   MsgButtons::OK);
            txtPassword->clear();
            txtRetype->clear();
            txtPassword->setFocus();
            step.stop();
        }
    });
    if (step.stopped())
        return;
    // The account and its log row go in together; nobody is signed in, and no
    // marker says the setup is done, until they are stored.
    bool saved = false;
    bool administratorThere = false;
    // The slow hash is made before the write lock is taken.
    QString hash;
    step([&] { hash = Credentials::hashPassword(password); });
    if (hash.isEmpty())
        return;
    step([&] {
        Transaction transaction(ctx.db());
        // Another workstation may have set up its administrator meanwhile:
        // then nothing is deleted, and that account signs in.
        if (administratorExists(ctx.db())) {
            administratorThere = true;
            return;
        }
        ctx.db().Execute(QStringLiteral("delete from Users"));
        ctx.db().Execute(QStringLiteral("delete from UserLog"));
        if (m_users.State())
            m_users.Close();
        m_users.Open(QStringLiteral("SELECT * FROM Users"), ctx.db());
        ctx.CurrentUser.UserID = 1;
        ctx.CurrentUser.UserName = userName;
        ctx.CurrentUser.Privilege = QStringLiteral("Administrator");
        try {
            Audit::recordWrite(ctx.db(), QStringLiteral("Add"), QStringLiteral("Users"),
                               QStringLiteral("UserID"), 1, QVariant(), [&] {
                                   m_users.AddNew();
                                   m_users.setValue(QStringLiteral("UserID"), 1);
                                   m_users.setValue(QStringLiteral("UserName"), E(userName));
                                   m_users.setValue(QStringLiteral("Privilege"),
                                                    E(QStringLiteral("Administrator")));
                                   m_users.setValue(QStringLiteral("Password"), hash);
                                   m_users.UpdateBatch();
                               });
            LogTimeIn(ctx);
            transaction.commit();
        } catch (...) {
            ctx.CurrentUser = UserRecord();
            ctx.OwnLogID = 0;
            throw;
        }
        saved = true;
    });
    if (administratorThere) {
        step([&] { writeAdministratorMarker(ctx); });
        step([&] {
            ctx.prompter().message(
                QStringLiteral("An administrator account was set up at another workstation "
                               "meanwhile. Nothing was changed here: please sign in with it."),
                windowTitle(), MsgIcon::Exclamation, MsgButtons::OK);
        });
        step([&] {
            AdminSaved = true;
            hide();
            ctx.window<Form1>().show();
        });
        return;
    }
    // The error box has said what failed; what was typed stays for another try.
    if (!saved)
        return;
    // A marker that cannot be written only means start-up writes it next time;
    // a server database needs none.
    step([&] { writeAdministratorMarker(ctx); });
    step([&] { AdminSaved = true; });
    step([&] { hide(); });
    step([&] { ctx.mainFrame().showFrame(); });
    step([&] {
        ctx.mainFrame().setStatusText(
            1, QStringLiteral("Current User: ") + ctx.CurrentUser.UserName + QStringLiteral(" (")
                   + ctx.CurrentUser.Privilege + QStringLiteral(")"));
    });
}

void frmSetAdmin::cmdCancel_Click()
{
    ctx.endProcess(0);
}

bool frmSetAdmin::Form_QueryUnload()
{
    // Leaving before the account exists leaves the application.
    if (!AdminSaved)
        ctx.endProcess(0);
    return true;
}
