#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "data/Cipher.h"
#include "data/Credentials.h"
#include "shell/modMain.h"
#include "support/TestWorld.h"
#include "users/Form1.h"
#include "users/UserSession.h"
#include "users/frmAddNewUser.h"
#include "users/frmUserList.h"

namespace {

const QString kAdministrator = QStringLiteral("Administrator");
const QString kStaff = QStringLiteral("Staff");

// The editor saves only for an administrator: the first one is signed in.
void signInAnAdministrator(TestWorld &w)
{
    const QVariant id = w.scalar(QStringLiteral("select min(UserID) from Users where "
                                                "Privilege = '%1'")
                                     .arg(E(kAdministrator)));
    w.ctx().CurrentUser.UserID = id.isNull() ? 0 : id.toInt();
    w.ctx().CurrentUser.Privilege = kAdministrator;
}

// Opens the editor the way the user list does.
frmAddNewUser &openForAdd(TestWorld &w)
{
    signInAnAdministrator(w);
    w.ctx().UserEditorMode = QStringLiteral("Save");
    frmAddNewUser &f = w.ctx().window<frmAddNewUser>();
    f.cmdSave->setText(QStringLiteral("Save"));
    f.setWindowTitle(QStringLiteral("Add New User"));
    f.hide();
    f.show();
    return f;
}

frmAddNewUser &openForEdit(TestWorld &w, int userId)
{
    signInAnAdministrator(w);
    Recordset &rs = w.ctx().UserListRecordset;
    if (rs.State())
        rs.Close();
    rs.Open(QStringLiteral("Select * from users where userid=") + QString::number(userId), w.db());
    w.ctx().UserEditorMode = QStringLiteral("Update");
    frmAddNewUser &f = w.ctx().window<frmAddNewUser>();
    f.cmdSave->setText(QStringLiteral("Update"));
    f.setWindowTitle(QStringLiteral("Edit User Information"));
    f.hide();
    f.show();
    return f;
}

// An empty privilege leaves the list with no item chosen.
void fill(frmAddNewUser &f, const QString &name, const QString &privilege,
          const QString &password, const QString &retype)
{
    f.txtUserName->setText(name);
    f.cboPrivilege->setCurrentIndex(f.cboPrivilege->findText(privilege));
    f.txtPassword->setText(password);
    f.txtRetype->setText(retype);
}

void addLog(TestWorld &w, int logId, const QString &name, const QString &privilege)
{
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName, Privilege, LogDate, TimeIn) "
                          "values (%1, '%2', '%3', '08/31/2021', '02:05:09 pm')")
               .arg(logId)
               .arg(sqlText(name), privilege));
}

// "name/privilege" of every log row in LogID order.
QStringList logRows(TestWorld &w)
{
    Recordset rs;
    rs.Open(QStringLiteral("select UserName, Privilege from UserLog order by LogID"), w.db(),
            adOpenStatic, adLockReadOnly);
    QStringList rows;
    for (; !rs.isEOF(); rs.MoveNext())
        rows << rs.Text(QStringLiteral("UserName")) + u'/' + rs.Text(QStringLiteral("Privilege"));
    return rows;
}

// The password a stored hash checks with, among those these tests type; the
// stored value itself when none does (or it is no hash).
QString passwordOf(const QString &stored)
{
    static QHash<QString, QString> known;
    if (const auto it = known.constFind(stored); it != known.constEnd())
        return *it;
    QString found = stored;
    if (Credentials::isHash(stored)) {
        for (const char *typed : {"secret1", "annapass", "newpass1", "carlpass", "dorapass",
                                  "emilpass", "otherpass"}) {
            if (Credentials::check(stored, QLatin1String(typed)) == Credentials::Match::Yes) {
                found = QLatin1String(typed);
                break;
            }
        }
    }
    known.insert(stored, found);
    return found;
}

// "id name privilege password" of every account: names deciphered, the
// password that the stored hash checks with.
QStringList accounts(TestWorld &w)
{
    Recordset rs;
    rs.Open(QStringLiteral("select * from Users"), w.db(), adOpenStatic, adLockReadOnly);
    QStringList rows;
    for (; !rs.isEOF(); rs.MoveNext()) {
        rows << QStringList{rs.Text(QStringLiteral("UserID")),
                            D(rs.Text(QStringLiteral("UserName"))),
                            D(rs.Text(QStringLiteral("Privilege"))),
                            passwordOf(rs.Text(QStringLiteral("Password")))}
                    .join(u' ');
    }
    return rows;
}

QStringList items(const QComboBox *box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

} // namespace

TEST(AccountEditor, RefusesIncompleteEntriesInOrder)
{
    struct Case
    {
        const char *name;
        const char *privilege;
        const char *password;
        const char *retype;
        const char *text;
        const char *title;
        const char *focus;
    };
    const Case cases[] = {
        {"", "Staff", "secret1", "secret1", "Enter User Name.", "Enter User Name", "txtUserName"},
        {"Ann", "Staff", "secret1", "secret1", "User Name must be 4 or more characters long.",
         "Invalid User Name", "txtUserName"},
        {"Anna", "", "secret1", "secret1", "Select Privilege.", "Select Privilege",
         "cboPrivilege"},
        {"Anna", "Staff", "", "", "Enter Password.", "Enter Password", "txtPassword"},
        {"Anna", "Staff", "secr5", "secr5", "Password must be 6 or more characters long.",
         "Invalid Password", "txtPassword"},
        {"Anna", "Staff", "secret1", "Secret1", "Password entries did not match.",
         "Invalid Password", "txtPassword"},
    };
    TestWorld w;
    for (const bool edit : {false, true}) {
        w.exec(QStringLiteral("delete from Users"));
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), kAdministrator);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(edit ? "edit: " : "add: ") + c.text);
            frmAddNewUser &f = edit ? openForEdit(w, 1) : openForAdd(w);
            w.prompter().clear();
            fill(f, QString::fromUtf8(c.name), QString::fromUtf8(c.privilege),
                 QString::fromUtf8(c.password), QString::fromUtf8(c.retype));
            f.cmdSave->click();

            ASSERT_EQ(w.prompter().boxes.size(), 1u);
            EXPECT_EQ(w.prompter().last().text, QLatin1String(c.text));
            EXPECT_EQ(w.prompter().last().title, QLatin1String(c.title));
            EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
            EXPECT_EQ(w.prompter().last().buttons, MsgButtons::OK);
            ASSERT_TRUE(f.focusWidget());
            EXPECT_EQ(f.focusWidget()->objectName(), QLatin1String(c.focus));
            EXPECT_TRUE(f.isVisible());
            if (QLatin1String(c.text) == QLatin1String("Password entries did not match.")) {
                EXPECT_TRUE(f.txtPassword->text().isEmpty());
                EXPECT_TRUE(f.txtRetype->text().isEmpty());
            }
            EXPECT_EQ(accounts(w), QStringList{"1 Admin Administrator secret1"});
        }
    }

    // The boxes take 30 characters and no more.
    frmAddNewUser &f = openForAdd(w);
    const QString thirtyOne = QString(31, u'x');
    for (QLineEdit *box : {f.txtUserName, f.txtPassword, f.txtRetype}) {
        QTest::keyClicks(box, thirtyOne);
        EXPECT_EQ(box->text().size(), 30) << box->objectName().toStdString();
    }
}

TEST(AccountEditor, ProposesTheNextIdAndCountsOnAfterYes)
{
    TestWorld w;
    EXPECT_EQ(openForAdd(w).lblUserID->text(), QStringLiteral("1"));

    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), kAdministrator);
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), kStaff);
    w.addUser(7, QStringLiteral("Carl"), QStringLiteral("carlpass"), kStaff);
    frmAddNewUser &f = openForAdd(w);
    EXPECT_EQ(f.lblUserID->text(), QStringLiteral("8"));
    EXPECT_EQ(f.cboPrivilege->currentIndex(), -1);

    w.prompter().answers = {MsgAnswer::Yes, MsgAnswer::No};
    fill(f, QStringLiteral("Dora"), kStaff, QStringLiteral("dorapass"),
         QStringLiteral("dorapass"));
    QTest::keyClick(f.txtRetype, Qt::Key_Return); // Enter saves
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text,
              "New user added successfully. Would you like to add another record?");
    EXPECT_EQ(w.prompter().last().title, "Success");
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
    EXPECT_EQ(w.prompter().last().buttons, MsgButtons::YesNo);
    ASSERT_TRUE(f.isVisible());
    EXPECT_EQ(f.lblUserID->text(), QStringLiteral("9"));
    EXPECT_TRUE(f.txtUserName->text().isEmpty());
    EXPECT_TRUE(f.txtPassword->text().isEmpty());
    EXPECT_EQ(f.cboPrivilege->currentIndex(), -1);
    // The user list is current, even though it was never shown.
    EXPECT_EQ(w.ctx().window<frmUserList>().ListView1->model()->rowCount(), 4);

    fill(f, QStringLiteral("Emil"), kAdministrator, QStringLiteral("emilpass"),
         QStringLiteral("emilpass"));
    f.cmdSave->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(accounts(w), QStringList({"1 Admin Administrator secret1", "2 Anna Staff annapass",
                                        "7 Carl Staff carlpass", "8 Dora Staff dorapass",
                                        "9 Emil Administrator emilpass"}));
    // A new account has no saved password.
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from Users where SavePassword=1")).toInt(),
              0);
}

TEST(AccountEditor, AddRefusesAnExistingNameButNotAnotherLetterCase)
{
    TestWorld w;
    w.addUser(1, QStringLiteral("Anna"), QStringLiteral("annapass"), kAdministrator);
    frmAddNewUser &f = openForAdd(w);
    fill(f, QStringLiteral("Anna"), kStaff, QStringLiteral("otherpass"),
         QStringLiteral("otherpass"));
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, "User Name already exists. Please specify another.");
    EXPECT_EQ(w.prompter().last().title, "Invalid User Name");
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(w.prompter().last().buttons, MsgButtons::OK);
    EXPECT_EQ(f.txtUserName->selectedText(), QStringLiteral("Anna"));
    EXPECT_EQ(f.focusWidget(), f.txtUserName);
    EXPECT_EQ(w.count(QStringLiteral("Users")), 1);

    w.prompter().clear();
    f.txtUserName->setText(QStringLiteral("anna"));
    f.cmdSave->click();
    EXPECT_EQ(w.prompter().texts(),
              QStringList{"New user added successfully. Would you like to add another record?"});
    EXPECT_EQ(accounts(w),
              QStringList({"1 Anna Administrator annapass", "2 anna Staff otherpass"}));
}

TEST(AccountEditor, EditRewritesTheAccountAndOnlyItsLogRows)
{
    struct Case
    {
        const char *from;
        const char *to;
        const char *privilege;
    };
    const Case cases[] = {
        {"Anna", "Bert", "Staff"},
        {"O'Hara", "O'Brien", "Staff"},    // apostrophes in both names
        {"Anna", "Anna", "Administrator"}, // same name: only password and privilege
        // The word "join" inside a value says nothing about the statement.
        {"Big Join", "Big Join", "Staff"},
        {"Big Join", "JOIN the dots", "Administrator"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.to);
        const QString from = QString::fromUtf8(c.from);
        const QString to = QString::fromUtf8(c.to);
        TestWorld w;
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), kAdministrator);
        w.addUser(2, from, QStringLiteral("oldpass"), kStaff);
        w.addUser(3, QStringLiteral("Carl"), QStringLiteral("carlpass"), kStaff);
        addLog(w, 1, from, kStaff);
        addLog(w, 2, QStringLiteral("Carl"), kStaff);
        addLog(w, 3, from, kStaff);
        addLog(w, 4, from.toUpper(), kStaff); // another name as far as the log knows

        frmAddNewUser &f = openForEdit(w, 2);
        EXPECT_EQ(f.lblUserID->text(), QStringLiteral("2"));
        EXPECT_EQ(f.txtUserName->text(), from);
        EXPECT_EQ(f.cboPrivilege->currentText(), kStaff);
        EXPECT_TRUE(f.txtPassword->text().isEmpty());
        EXPECT_EQ(f.LoadedUserName, from);

        fill(f, to, QString::fromUtf8(c.privilege), QStringLiteral("newpass1"),
             QStringLiteral("newpass1"));
        f.cmdSave->click();

        EXPECT_EQ(w.prompter().texts(), QStringList{"User information updated successfully."});
        EXPECT_EQ(w.prompter().last().title, "Success");
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
        EXPECT_FALSE(f.isVisible());
        const QString moved = to + u'/' + QString::fromUtf8(c.privilege);
        EXPECT_EQ(logRows(w),
                  QStringList({moved, "Carl/Staff", moved, from.toUpper() + "/Staff"}));
        EXPECT_EQ(accounts(w),
                  QStringList({"1 Admin Administrator secret1",
                               "2 " + to + u' ' + QString::fromUtf8(c.privilege) + " newpass1",
                               "3 Carl Staff carlpass"}));
        const QAbstractItemModel *listed = w.ctx().window<frmUserList>().ListView1->model();
        EXPECT_EQ(listed->index(1, 1).data().toString(), to);
    }
}

TEST(AccountEditor, RenamingOntoAnotherAccountOffersRetryOrCancelAndSavesNothing)
{
    TestWorld w;
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), kAdministrator);
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), kStaff);
    w.addUser(3, QStringLiteral("Carl"), QStringLiteral("carlpass"), kStaff);
    addLog(w, 1, QStringLiteral("Anna"), kStaff);
    const QStringList before = accounts(w);

    frmAddNewUser &f = openForEdit(w, 2);
    fill(f, QStringLiteral("Carl"), kAdministrator, QStringLiteral("newpass1"),
         QStringLiteral("newpass1"));
    w.prompter().answers = {MsgAnswer::Retry, MsgAnswer::Cancel};
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, "UserName already exists. Please specify another.");
    EXPECT_EQ(w.prompter().last().title, "Invalid UserName");
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(w.prompter().last().buttons, MsgButtons::RetryCancel);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.txtUserName->selectedText(), QStringLiteral("Carl"));

    f.cmdSave->click();
    EXPECT_EQ(w.prompter().boxes.size(), 2u);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(accounts(w), before);
    EXPECT_EQ(logRows(w), QStringList{"Anna/Staff"});
}

TEST(AccountEditor, AFailedEditChangesNeitherTheAccountNorItsLog)
{
    struct Case
    {
        const char *what;
        const char *sabotage;
        const char *title;
    };
    const Case cases[] = {
        // The user list's delete at another workstation.
        {"deleted on another workstation", "delete from Users where UserID=2", "Record Deleted"},
        {"log cannot be written",
         "create trigger keep before update on UserLog begin select raise(abort, 'disk full'); "
         "end",
         "Application Error"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TestWorld w;
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), kAdministrator);
        w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), kStaff);
        addLog(w, 1, QStringLiteral("Anna"), kStaff);
        frmAddNewUser &f = openForEdit(w, 2);
        fill(f, QStringLiteral("Bert"), kStaff, QStringLiteral("newpass1"),
             QStringLiteral("newpass1"));
        w.exec(QString::fromUtf8(c.sabotage));
        const QStringList before = accounts(w);

        f.cmdSave->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u) << w.prompter().texts().join('|').toStdString();
        EXPECT_EQ(w.prompter().last().title, QLatin1String(c.title));
        if (w.prompter().last().title == QLatin1String("Application Error"))
            EXPECT_TRUE(w.prompter().last().text.contains("frmAddNewUser.cmdSave_Click"));
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(accounts(w), before);
        EXPECT_EQ(logRows(w), QStringList{"Anna/Staff"});
    }
}

TEST(AccountEditor, TheLoginWindowAddsAnAccountOnlyForAnAdministratorsTypedPassword)
{
    struct Case
    {
        const char *what;
        const char *name;
        const char *password; // typed; nullptr = the remembered one
        bool opens;
        int wrongBefore;   // wrong passwords typed for Admin at Login before
        int wrongCounted;  // Admin's count of wrong passwords afterwards
    };
    const Case cases[] = {
        {"nothing typed", "", "", false, 0, 0},
        {"a Staff account", "Bert", "bertpass", false, 0, 0},
        {"a wrong password", "Admin", "Secret1", false, 0, 1},
        {"a remembered password", "Admin", nullptr, false, 0, 0},
        {"an administrator", "Admin", "secret1", true, 2, 0},
        {"a locked administrator", "Admin", "secret1", false, 5, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TestWorld w;
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), kAdministrator, 1);
        w.addUser(2, QStringLiteral("Bert"), QStringLiteral("bertpass"), kStaff);
        QStringList offered;
        bool opened = false;
        w.ctx().modalHook = [&](Form &child) {
            auto *editor = qobject_cast<frmAddNewUser *>(&child);
            ASSERT_TRUE(editor);
            opened = true;
            offered = items(editor->cboPrivilege);
            EXPECT_EQ(editor->windowTitle(), QStringLiteral("Add New User"));
            EXPECT_EQ(editor->cmdSave->text(), QStringLiteral("Save"));
            fill(*editor, QStringLiteral("Newcomer"), kAdministrator, QStringLiteral("newpass1"),
                 QStringLiteral("newpass1"));
            editor->cmdSave->click(); // "No" to another record closes it
        };
        if (!c.password)
            rememberDesk(w.ctx(), 1);
        for (int i = 0; i < c.wrongBefore; ++i)
            checkPassword(w.ctx(), QStringLiteral("Admin"), QStringLiteral("guess"));
        Form1 &login = w.ctx().window<Form1>();
        login.show();
        login.cboUsers->lineEdit()->clear();
        QTest::keyClicks(login.cboUsers->lineEdit(), QString::fromUtf8(c.name));
        if (c.password) {
            login.txtPassword->clear();
            QTest::keyClicks(login.txtPassword, QString::fromUtf8(c.password));
        } else {
            ASSERT_EQ(login.txtPassword->text(), Form1::rememberedPlaceholder());
        }
        w.prompter().clear();
        login.cmdNewLogin->click();

        EXPECT_EQ(opened, c.opens);
        EXPECT_EQ(w.ctx().CurrentUser.UserID, 0);
        EXPECT_EQ(w.count(QStringLiteral("UserLog")), 0);
        EXPECT_TRUE(login.isVisible());
        // Counted as at Login: a wrong one adds to the count, a right one clears it.
        EXPECT_EQ(w.scalar(QStringLiteral("select coalesce(max(FailedPasswords), 0) from "
                                          "SignInLocks where UserID=1"))
                      .toInt(),
                  c.wrongCounted);
        if (c.wrongBefore >= kWrongPasswordsBeforeLock) {
            ASSERT_EQ(w.prompter().boxes.size(), 1u);
            EXPECT_TRUE(w.prompter().last().text.startsWith(
                QStringLiteral("Too many wrong passwords for Admin.")));
            EXPECT_EQ(w.prompter().last().title, QStringLiteral("Account Locked"));
            continue;
        }
        if (!c.opens) {
            EXPECT_EQ(w.prompter().texts(),
                      QStringList{"Only an administrator can add an account. Type an "
                                  "administrator's user name and password, then press Add New "
                                  "User."});
            EXPECT_EQ(w.prompter().last().title, QStringLiteral("Administrator Required"));
            EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
            EXPECT_EQ(w.count(QStringLiteral("Users")), 2);
            continue;
        }
        EXPECT_EQ(offered, QStringList({kAdministrator, kStaff}));
        EXPECT_EQ(accounts(w).last(), QStringLiteral("3 Newcomer Administrator newpass1"));
        EXPECT_EQ(w.scalar(QStringLiteral("select UserName || '/' || Privilege from AuditTrail "
                                          "where TableName = 'Users' and Action = 'Add'"))
                      .toString(),
                  QStringLiteral("Admin/Administrator"));
        // The login window lists the new account; the password is gone from it.
        EXPECT_GE(login.cboUsers->findText(QStringLiteral("Newcomer")), 0);
        EXPECT_TRUE(login.txtPassword->text().isEmpty());
    }
}

TEST(AccountEditor, RenameFollowsALogLongerThanASixteenBitCount)
{
    TestWorld w;
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"), kAdministrator);
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), kStaff);
    w.exec(QStringLiteral("with recursive n(x) as (select 1 union all select x+1 from n where "
                          "x<32800) insert into UserLog (LogID, UserName, Privilege) select x, "
                          "'Anna', 'Staff' from n"));
    frmAddNewUser &f = openForEdit(w, 2);
    fill(f, QStringLiteral("Bert"), kStaff, QStringLiteral("newpass1"),
         QStringLiteral("newpass1"));
    f.cmdSave->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"User information updated successfully."});
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from UserLog where UserName='Bert'")),
              32800);
}
