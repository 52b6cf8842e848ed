#include "users/frmAddNewUser.h"

#include <limits>

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "data/Audit.h"
#include "data/Cipher.h"
#include "data/Connection.h"
#include "data/Credentials.h"
#include "data/DbError.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Prompter.h"
#include "shell/WidgetUtils.h"
#include "users/UserSession.h"
#include "users/frmUserList.h"

namespace {

const QString kAdministrator = QStringLiteral("Administrator");
const QString kStaff = QStringLiteral("Staff");

// True when an account already has exactly this name (letter case included).
bool nameTaken(Connection &db, const QString &userName)
{
    Recordset rs;
    rs.Open(QStringLiteral("Select * from Users where UserName = '") + E(userName)
                + QStringLiteral("'"),
            db);
    const bool taken = !rs.isEOF();
    rs.Close();
    return taken;
}

} // namespace

frmAddNewUser::frmAddNewUser(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmAddNewUser"));
    setWindowTitle(QStringLiteral("Add New User"));

    lblUserID = new QLabel(this);
    lblUserID->setObjectName(QStringLiteral("lblUserID"));
    lblUserID->setTextFormat(Qt::PlainText);
    txtUserName = newLineEdit(this, "txtUserName", 30);
    cboPrivilege = new QComboBox(this);
    cboPrivilege->setObjectName(QStringLiteral("cboPrivilege"));
    cboPrivilege->addItems({kAdministrator, kStaff});
    txtPassword = newLineEdit(this, "txtPassword", 30);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtRetype = newLineEdit(this, "txtRetype", 30);
    txtRetype->setEchoMode(QLineEdit::Password);
    lblRememberedDesks = new QLabel(this);
    lblRememberedDesks->setObjectName(QStringLiteral("lblRememberedDesks"));
    cmdClearDesks = newButton(this, "cmdClearDesks", QStringLiteral("Clear Remembered Desks"));
    cmdSave = newDefaultButton(this, "cmdSave", QStringLiteral("Save"));
    cmdCancel = newButton(this, "cmdCancel", QStringLiteral("Cancel"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("User ID:"), this), 0, 0);
    grid->addWidget(lblUserID, 0, 1);
    const std::pair<const char *, QWidget *> rows[] = {{"User Name:", txtUserName},
                                                       {"Privilege:", cboPrivilege},
                                                       {"Password:", txtPassword},
                                                       {"Retype Password:", txtRetype}};
    int row = 1;
    for (const auto &[caption, box] : rows) {
        grid->addWidget(newBuddyLabel(this, QLatin1String(caption), box), row, 0);
        grid->addWidget(box, row++, 1);
    }
    grid->addWidget(lblRememberedDesks, row, 0, 1, 2);
    grid->addWidget(cmdClearDesks, row + 1, 1, Qt::AlignLeft);
    auto *buttons = buttonRow({}, {cmdSave, cmdCancel});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setMinimumWidth(340);
    setTabChain(
        {txtUserName, cboPrivilege, txtPassword, txtRetype, cmdClearDesks, cmdSave, cmdCancel});

    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
    connect(cmdClearDesks, &QPushButton::clicked, this, [this] { cmdClearDesks_Click(); });
}

void frmAddNewUser::Form_Load()
{
    setWindowIcon(QIcon(QStringLiteral(":/medlantis.png")));
    applyHandCursor(this, ctx.folders().program);
}

void frmAddNewUser::Form_Activate()
{
    Steps step(ctx.prompter(), QStringLiteral("frmAddNewUser"), QStringLiteral("Form_Activate"));
    step([&] { ResetControls(this); });
    m_guard.clear();
    if (ctx.UserEditorMode == QLatin1String("Update")) {
        Recordset &rs = ctx.UserListRecordset;
        step([&] { lblUserID->setText(rs.Text(QStringLiteral("UserID"))); });
        step([&] { txtUserName->setText(D(rs.Text(QStringLiteral("UserName")))); });
        step([&] {
            cboPrivilege->setCurrentIndex(
                cboPrivilege->findText(D(rs.Text(QStringLiteral("Privilege")))));
        });
        step([&] { LoadedUserName = D(rs.Text(QStringLiteral("UserName"))); });
        step([&] {
            m_guard.load(rs, QStringLiteral("Users"), QStringLiteral("UserID"),
                         rs.Text(QStringLiteral("UserID")),
                         {QStringLiteral("UserName"), QStringLiteral("Privilege"),
                          QStringLiteral("Password")});
        });
    } else if (ctx.UserEditorMode == QLatin1String("Save")) {
        step([&] {
            if (m_users.State())
                m_users.Close();
            m_users.Open(QStringLiteral("Select * from Users"), ctx.db());
        });
        step([&] {
            if (m_users.isEOF() || m_users.RecordCount() < 1) {
                NextUserID = 1;
                return;
            }
            m_users.MoveLast();
            const qint64 next = m_users.Value(QStringLiteral("UserID")).toLongLong() + 1;
            if (next > std::numeric_limits<qint32>::max())
                throw DbError(6, QStringLiteral("Overflow"));
            NextUserID = qint32(next);
        });
        step([&] { lblUserID->setText(QString::number(NextUserID)); });
        step([&] {
            txtUserName->clear();
            txtPassword->clear();
            cboPrivilege->setCurrentIndex(-1);
            txtRetype->clear();
        });
    }
    step([&] { showRememberedDesks(); });
    txtUserName->setFocus();
}

void frmAddNewUser::showRememberedDesks()
{
    const bool editing = ctx.UserEditorMode == QLatin1String("Update");
    const int desks = editing ? rememberedDeskCount(ctx.db(), lblUserID->text().toInt()) : 0;
    lblRememberedDesks->setVisible(editing);
    cmdClearDesks->setVisible(editing);
    lblRememberedDesks->setText(QStringLiteral("Desks that remember this sign-in: %1").arg(desks));
    cmdClearDesks->setEnabled(desks > 0);
}

void frmAddNewUser::cmdClearDesks_Click()
{
    Steps step(ctx.prompter(), QStringLiteral("frmAddNewUser"),
               QStringLiteral("cmdClearDesks_Click"));
    const QString id = QString::number(lblUserID->text().toLongLong());
    if (!requireAdministrator(ctx, QStringLiteral("manage the user accounts")))
        return;
    step([&] {
        Transaction transaction(ctx.db());
        ctx.db().Execute(QStringLiteral("delete from RememberedDesks where UserID=") + id);
        Audit::add(ctx.db(), {QStringLiteral("Forget Desks"), QStringLiteral("Users"), id,
                              QVariant(), QStringLiteral("Remembered sign-ins cleared")});
        transaction.commit();
    });
    step([&] { showRememberedDesks(); });
}

bool frmAddNewUser::refuse(const QString &text, const QString &title, QWidget *box)
{
    ctx.prompter().message(text, title, MsgIcon::Exclamation, MsgButtons::OK);
    box->setFocus();
    return false;
}

bool frmAddNewUser::validEntries()
{
    const QString userName = txtUserName->text();
    const QString password = txtPassword->text();
    if (userName.isEmpty())
        return refuse(QStringLiteral("Enter User Name."), QStringLiteral("Enter User Name"),
                      txtUserName);
    if (userName.size() < 4)
        return refuse(QStringLiteral("User Name must be 4 or more characters long."),
                      QStringLiteral("Invalid User Name"), txtUserName);
    if (cboPrivilege->currentIndex() < 0)
        return refuse(QStringLiteral("Select Privilege."), QStringLiteral("Select Privilege"),
                      cboPrivilege);
    if (password.isEmpty())
        return refuse(QStringLiteral("Enter Password."), QStringLiteral("Enter Password"),
                      txtPassword);
    if (password.size() < 6)
        return refuse(QStringLiteral("Password must be 6 or more characters long."),
                      QStringLiteral("Invalid Password"), txtPassword);
    if (txtRetype->text() != password) {
        txtPassword->clear();
        txtRetype->clear();
        return refuse(QStringLiteral("Password entries did not match."),
                      QStringLiteral("Invalid Password"), txtPassword);
    }
    return true;
}

void frmAddNewUser::cmdSave_Click()
{
    if (!requireAdministrator(ctx, QStringLiteral("manage the user accounts")))
        return;
    if (!validEntries())
        return;
    if (cmdSave->text() == QLatin1String("Save")) {
        addUser();
        return;
    }

    Steps step(ctx.prompter(), QStringLiteral("frmAddNewUser"), QStringLiteral("cmdSave_Click"));
    const QString userName = txtUserName->text();
    step([&] {
        if (userName == LoadedUserName || !nameTaken(ctx.db(), userName))
            return;
        step.stop();
        const MsgAnswer answer = ctx.prompter().message(
            QStringLiteral("UserName already exists. Please specify another."),
            QStringLiteral("Invalid UserName"), MsgIcon::Exclamation, MsgButtons::RetryCancel);
        if (answer == MsgAnswer::Retry) {
            txtUserName->setFocus();
            txtUserName->selectAll();
        } else {
            close();
        }
    });
    if (step.stopped() || step.failed())
        return;
    // The slow hash is made before the write lock is taken; a password typed
    // as it stands keeps its hash, so the desks that remember it still do.
    step([&] {
        m_keptPassword.clear();
        Recordset rs;
        rs.Open(QStringLiteral("select Password from Users where UserID=")
                    + QString::number(lblUserID->text().toLongLong()),
                ctx.db(), adOpenStatic, adLockReadOnly);
        const QString stored = rs.isEOF() ? QString() : rs.Text(QStringLiteral("Password"));
        if (Credentials::isHash(stored)
            && Credentials::check(stored, txtPassword->text()) == Credentials::Match::Yes)
            m_keptPassword = stored;
        m_newHash = m_keptPassword.isEmpty() ? Credentials::hashPassword(txtPassword->text())
                                             : m_keptPassword;
    });
    if (step.failed())
        return;
    bool updated = false;
    step([&] {
        // An account changed or deleted at another workstation (the user list's
        // delete there) is never written over without a word.
        try {
            updated = saveGuarded(ctx.db(), ctx.prompter(), m_guard, [&] { UpdateUser(); })
                      == GuardedSave::Saved;
        } catch (const LastAdministrator &) {
            ctx.prompter().message(lastAdministratorMessage(), QStringLiteral("Users"),
                                   MsgIcon::Exclamation, MsgButtons::OK);
        }
    });
    // A failed or refused write leaves the window open, without the success message.
    if (!updated)
        return;
    step([&] {
        ctx.prompter().message(QStringLiteral("User information updated successfully."),
                               QStringLiteral("Success"), MsgIcon::Information, MsgButtons::OK);
    });
    step([&] { ctx.window<frmUserList>().listUsers(); });
    step([&] { close(); });
}

void frmAddNewUser::addUser()
{
    Steps step(ctx.prompter(), QStringLiteral("frmAddNewUser"), QStringLiteral("cmdSave_Click"));
    const QString userName = txtUserName->text();
    bool saved = false;
    QString hash;
    step([&] { hash = Credentials::hashPassword(txtPassword->text()); });
    if (hash.isEmpty())
        return;
    step([&] {
        if (nameTaken(ctx.db(), userName)) {
            ctx.prompter().message(QStringLiteral("User Name already exists. Please specify "
                                                  "another."),
                                   QStringLiteral("Invalid User Name"), MsgIcon::Exclamation,
                                   MsgButtons::OK);
            txtUserName->selectAll();
            txtUserName->setFocus();
            return;
        }
        m_users.AddNew();
        try {
            Audit::recordWrite(ctx.db(), QStringLiteral("Add"), QStringLiteral("Users"),
                               QStringLiteral("UserID"), NextUserID, QVariant(), [&] {
                                   m_users.setValue(QStringLiteral("UserName"), E(userName));
                                   m_users.setValue(QStringLiteral("UserID"), NextUserID);
                                   m_users.setValue(QStringLiteral("Privilege"),
                                                    E(cboPrivilege->currentText()));
                                   m_users.setValue(QStringLiteral("Password"), hash);
                                   m_users.UpdateBatch();
                               });
        } catch (...) {
            // No half-added row stays behind in the recordset.
            m_users.CancelUpdate();
            throw;
        }
        saved = true;
    });
    // Nothing to report as added when the row was refused or not written.
    if (!saved)
        return;
    step([&] { ctx.window<frmUserList>().listUsers(); });
    step([&] {
        const MsgAnswer answer = ctx.prompter().message(
            QStringLiteral("New user added successfully. Would you like to add another record?"),
            QStringLiteral("Success"), MsgIcon::Information, MsgButtons::YesNo);
        if (answer != MsgAnswer::Yes) {
            close();
            step.stop();
        }
    });
    step([&] {
        NextUserID = qint32(m_users.Value(QStringLiteral("UserID")).toLongLong() + 1);
        lblUserID->setText(QString::number(NextUserID));
        cboPrivilege->setCurrentIndex(-1);
        txtUserName->setFocus();
        txtUserName->clear();
        txtPassword->clear();
        txtRetype->clear();
    });
}

void frmAddNewUser::UpdateUser()
{
    // The account and its log rows change together or not at all, so the log
    // never loses track of a renamed account.
    Transaction transaction(ctx.db());
    Recordset &rs = ctx.UserListRecordset;
    const qint32 id = qint32(lblUserID->text().toLongLong());
    // Checked under the write lock, so two desks cannot demote the last two.
    if (cboPrivilege->currentText() != kAdministrator)
        requireAnotherAdministrator(ctx.db(), id);
    const bool newPassword = m_newHash != m_keptPassword;
    Audit::recordWrite(ctx.db(), QStringLiteral("Update"), QStringLiteral("Users"),
                       QStringLiteral("UserID"), lblUserID->text(), QVariant(), [&] {
                           rs.setValue(QStringLiteral("UserID"), lblUserID->text().toLongLong());
                           rs.setValue(QStringLiteral("UserName"), E(txtUserName->text()));
                           rs.setValue(QStringLiteral("Privilege"), E(cboPrivilege->currentText()));
                           rs.setValue(QStringLiteral("Password"), m_newHash);
                           rs.UpdateBatch();
                       });
    // An administrator's save lifts the account's lock; a new password also
    // ends the sign-ins desks remember for it.
    clearSignInState(ctx.db(), id, newPassword);
    UpdateTrail();
    transaction.commit();
}

void frmAddNewUser::UpdateTrail()
{
    Recordset rs;
    rs.Open(QStringLiteral("Select * from UserLog where UserName = '") + sqlText(LoadedUserName)
                + QStringLiteral("'"),
            ctx.db());
    const qint32 n = rs.RecordCount();
    for (qint32 i = 1; i <= n; ++i) {
        rs.setValue(QStringLiteral("UserName"), txtUserName->text());
        rs.setValue(QStringLiteral("Privilege"), cboPrivilege->currentText());
        rs.UpdateBatch();
        rs.MoveNext();
    }
    rs.Close();
}
