#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/MDIFormMain.h"
#include "data/Cipher.h"
#include "data/Credentials.h"
#include "data/Recordset.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/modMain.h"
#include "support/TestWorld.h"
#include "users/Form1.h"
#include "users/UserSession.h"
#include "users/frmAddNewUser.h"
#include "users/frmChangePassword.h"
#include "users/frmSetAdmin.h"

// Passwords are kept as salted hashes that nobody can read back; a desk
// remembers a sign-in by a token of its own, never by a stored password.
namespace {

// Signs in at the login window; the texts of the boxes it showed.
QStringList signIn(TestWorld &w, const QString &name, const QString &password,
                   bool savePassword = false)
{
    w.prompter().clear();
    Form1 &login = w.ctx().window<Form1>();
    login.show();
    login.cboUsers->lineEdit()->setText(name);
    login.LoadSavedPassword();
    if (!password.isNull())
        login.txtPassword->setText(password);
    login.Check1->setChecked(savePassword);
    login.cmdLogin->click();
    return w.prompter().texts();
}

bool signedIn(TestWorld &w, const QString &name)
{
    return w.ctx().CurrentUser.UserName == name && w.ctx().window<MDIFormMain>().isVisible();
}

void signOutForTest(TestWorld &w)
{
    w.ctx().window<MDIFormMain>().hide();
    w.ctx().CurrentUser = UserRecord();
}

// Every file under folder, read whole.
QByteArray everyFileUnder(const QString &folder)
{
    QByteArray all;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

} // namespace

TEST(Credentials, HashesAreSaltedAndCheckOnlyTheirOwnPassword)
{
    const QString a = Credentials::hashPassword(QStringLiteral("secret1"));
    const QString b = Credentials::hashPassword(QStringLiteral("secret1"));
    EXPECT_TRUE(a.startsWith(QStringLiteral("$argon2id$")));
    EXPECT_NE(a, b); // a salt of its own
    EXPECT_EQ(Credentials::check(a, QStringLiteral("secret1")), Credentials::Match::Yes);
    EXPECT_EQ(Credentials::check(b, QStringLiteral("secret1")), Credentials::Match::Yes);
    EXPECT_EQ(Credentials::check(a, QStringLiteral("Secret1")), Credentials::Match::No);
    EXPECT_EQ(Credentials::check(a, QString()), Credentials::Match::No);
    // The older enciphered form still checks, until it is replaced.
    EXPECT_EQ(Credentials::check(E(QStringLiteral("oldpass")), QStringLiteral("oldpass")),
              Credentials::Match::Yes);
    EXPECT_EQ(Credentials::check(E(QStringLiteral("oldpass")), QStringLiteral("oldpas")),
              Credentials::Match::No);
    // Values that are neither match no password, and break nothing.
    for (const char *broken : {"", "secret1", "$argon2id$v=19$garbage", "ZZ 1", "0"}) {
        SCOPED_TRACE(broken);
        EXPECT_EQ(Credentials::check(QLatin1String(broken), QLatin1String(broken)),
                  Credentials::Match::No);
    }
    const QByteArray token = Credentials::newToken();
    EXPECT_EQ(token.size(), 32);
    EXPECT_NE(token, Credentials::newToken());
    EXPECT_EQ(Credentials::tokenHash(token).size(), 64);
}

TEST(Credentials, EveryBoxStoresAndChecksItsLongestAndStrangestPasswords)
{
    // What the setup (20 characters), the account editor (30) and the change
    // of password accept, stored and checked the same way.
    const QString passwords[] = {
        QStringLiteral("abcdefghij0123456789"),                    // the setup's 20
        QStringLiteral("abcdefghij0123456789ABCDEFGHIJ"),          // the editor's 30
        QStringLiteral("Grüße aus Köln"),
        QString::fromUtf8("pass\xF0\x9F\x94\x92word"),            // an emoji
        QStringLiteral("it's \"quoted\" \\ + %_"),
    };
    for (const QString &password : passwords) {
        SCOPED_TRACE(password.toStdString());
        TestWorld w(true);
        QDir().mkpath(w.ctx().userDataFolder());
        // Setup.
        frmSetAdmin &setup = w.ctx().window<frmSetAdmin>();
        setup.show();
        setup.txtUserName->setText(QStringLiteral("Root"));
        setup.txtPassword->setText(password.left(20));
        setup.txtRetype->setText(password.left(20));
        setup.cmdSave->click();
        ASSERT_TRUE(setup.AdminSaved) << w.prompter().texts().join('|').toStdString();
        signOutForTest(w);
        EXPECT_TRUE(signIn(w, QStringLiteral("Root"), password.left(20)).isEmpty());
        EXPECT_TRUE(signedIn(w, QStringLiteral("Root")));

        // The account editor.
        w.ctx().UserEditorMode = QStringLiteral("Save");
        frmAddNewUser &editor = w.ctx().window<frmAddNewUser>();
        editor.cmdSave->setText(QStringLiteral("Save"));
        editor.show();
        editor.txtUserName->setText(QStringLiteral("Anna"));
        editor.cboPrivilege->setCurrentIndex(editor.cboPrivilege->findText("Staff"));
        editor.txtPassword->setText(password);
        editor.txtRetype->setText(password);
        editor.cmdSave->click();
        editor.hide();
        signOutForTest(w);
        EXPECT_EQ(signIn(w, QStringLiteral("Anna"), password.left(password.size() - 1)),
                  QStringList{"Invalid Password."});
        EXPECT_TRUE(signIn(w, QStringLiteral("Anna"), password).isEmpty());
        ASSERT_TRUE(signedIn(w, QStringLiteral("Anna")));

        // Change of password: Anna takes the password reversed.
        QString reversed = password;
        std::reverse(reversed.begin(), reversed.end());
        frmChangePassword &change = w.ctx().window<frmChangePassword>();
        change.show();
        change.txtOldPassword->setText(password);
        change.txtNewPassword->setText(reversed);
        change.txtRetypePassword->setText(reversed);
        w.prompter().clear();
        change.cmdLogin->click();
        EXPECT_EQ(w.prompter().texts(), QStringList{"Your password has been changed."});
        EXPECT_TRUE(w.passwordIs(2, reversed));
        EXPECT_FALSE(w.passwordIs(2, password));

        // Nothing stored reads back as the password: no column, no file.
        Recordset rs;
        rs.Open(QStringLiteral("select * from Users"), w.db(), adOpenStatic, adLockReadOnly);
        for (; !rs.isEOF(); rs.MoveNext()) {
            for (int i = 0; i < rs.FieldCount(); ++i) {
                const QString value = rs.Value(i).toString();
                EXPECT_NE(D(value), password.left(20));
                EXPECT_NE(D(value), password);
                EXPECT_FALSE(value.contains(password.left(20)));
            }
        }
        w.ctx().window<MDIFormMain>().hide();
        w.db().Close(); // the journal and the file as another program would see them
        const QByteArray files = everyFileUnder(w.ctx().userDataFolder())
                                 + everyFileUnder(w.root() + QStringLiteral("/settings.ini"));
        ASSERT_FALSE(files.isEmpty());
        for (const QString &typed : {password, password.left(20), reversed}) {
            EXPECT_FALSE(files.contains(typed.toUtf8()));
            EXPECT_FALSE(files.contains(E(typed).toUtf8()));
        }
        QFile settings(w.ctx().settings().fileName());
        ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
        EXPECT_FALSE(settings.readAll().contains(password.left(6).toUtf8()));
    }
}

TEST(Credentials, AnOlderDatabaseIsUpgradedWholeAtItsFirstOpen)
{
    TestWorld w;
    // As an older version stored them: enciphered, and readable by anyone.
    w.addStoredUser(1, QStringLiteral("Admin"), E(QStringLiteral("secret1")),
                    QStringLiteral("Administrator"));
    w.addStoredUser(2, QStringLiteral("Anna"), E(QStringLiteral("Anna's pw")),
                    QStringLiteral("Staff"), 1);
    w.addStoredUser(3, QStringLiteral("Bob"), QStringLiteral("not a stored form"),
                    QStringLiteral("Staff"));
    SystemModule::connect(w.ctx());
    ASSERT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();

    // Upgraded before anybody signed in.
    EXPECT_TRUE(Credentials::isHash(
        w.scalar(QStringLiteral("select Password from Users where UserID=1")).toString()));
    EXPECT_TRUE(Credentials::isHash(
        w.scalar(QStringLiteral("select Password from Users where UserID=2")).toString()));
    EXPECT_TRUE(w.passwordIs(2, QStringLiteral("Anna's pw")));
    EXPECT_EQ(w.scalar(QStringLiteral("select Password from Users where UserID=3")).toString(),
              QStringLiteral("not a stored form"));

    EXPECT_TRUE(signIn(w, QStringLiteral("Anna"), QStringLiteral("Anna's pw")).isEmpty());
    EXPECT_TRUE(signedIn(w, QStringLiteral("Anna")));
    // Whatever is typed, the broken value refuses with the usual words.
    signOutForTest(w);
    EXPECT_EQ(signIn(w, QStringLiteral("Bob"), QStringLiteral("not a stored form")),
              QStringList{"Invalid Password."});
    EXPECT_EQ(w.ctx().CurrentUser.UserID, 0);
}

TEST(Credentials, AMarkerWithAPasswordInItIsWrittenAgainWithout)
{
    TestWorld w;
    QString old = E(QStringLiteral("Root")) + u'|' + E(QStringLiteral("abc123")) + u'|'
                  + E(QStringLiteral("Administrator"));
    ASSERT_EQ(ReadWriteTextFile(w.ctx().markerPath(), old, 2), 0);
    scrubAdministratorMarker(w.ctx());
    QFile marker(w.ctx().markerPath());
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    EXPECT_EQ(marker.readAll(), (E(QStringLiteral("Administrator")) + "\r\n").toUtf8());
    EXPECT_EQ(marker.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
}

TEST(RememberedDesk, SignsInByItsTokenAtThisDeskAloneAndEndsWithThePassword)
{
    TestWorld w;
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), QStringLiteral("Staff"));
    ASSERT_TRUE(signIn(w, QStringLiteral("Anna"), QStringLiteral("annapass"), true).isEmpty());
    EXPECT_EQ(w.scalar(QStringLiteral("select SavePassword from Users where UserID=2")).toInt(),
              1);
    ASSERT_EQ(w.count(QStringLiteral("RememberedDesks")), 1);

    // The desk keeps a token only its user can read; the database its hash.
    const QString tokens = rememberedSignInsFile(w.ctx());
    QFile file(tokens);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                                      | QFile::WriteUser);
    const QByteArray line = file.readAll().trimmed();
    const QByteArray token = QByteArray::fromHex(line.split(' ').value(2));
    ASSERT_EQ(token.size(), 32);
    EXPECT_EQ(w.scalar(QStringLiteral("select TokenHash from RememberedDesks")).toString(),
              Credentials::tokenHash(token));
    EXPECT_FALSE(everyFileUnder(w.ctx().userDataFolder()).contains("annapass"));

    // Next time the box shows as filled, and the token signs in.
    signOutForTest(w);
    Form1 &login = w.ctx().window<Form1>();
    login.hide();
    login.show();
    login.cboUsers->setCurrentIndex(1);
    emit login.cboUsers->activated(1);
    EXPECT_TRUE(login.Check1->isChecked());
    EXPECT_FALSE(login.txtPassword->text().isEmpty());
    EXPECT_NE(login.txtPassword->text(), QStringLiteral("annapass"));
    login.cmdLogin->click();
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_TRUE(signedIn(w, QStringLiteral("Anna")));

    // A second desk on the same database sees nothing filled in.
    {
        TestWorld other(false);
        other.ctx().settings().SaveSetting(SettingKeys::DatabaseFile, w.ctx().databaseFile());
        SystemModule::connect(other.ctx());
        Form1 &there = other.ctx().window<Form1>();
        there.show();
        there.cboUsers->setCurrentIndex(1);
        emit there.cboUsers->activated(1);
        EXPECT_FALSE(there.Check1->isChecked());
        EXPECT_TRUE(there.txtPassword->text().isEmpty());
        // Nor does the token file carried to another workstation sign in there.
        QDir().mkpath(other.ctx().userDataFolder());
        ASSERT_TRUE(QFile::copy(tokens, rememberedSignInsFile(other.ctx())));
        other.db().setWhoSource([] { return AuditWho{QString(), QString(), "desk-two"}; });
        EXPECT_FALSE(deskRemembers(other.ctx(), 2));
    }
    EXPECT_TRUE(deskRemembers(w.ctx(), 2));

    // A new password ends it, and so does the administrator's clearing.
    w.exec(QStringLiteral("update Users set Password='%1' where UserID=2")
               .arg(Credentials::hashPassword(QStringLiteral("annapass"))));
    EXPECT_FALSE(deskRemembers(w.ctx(), 2));
    signOutForTest(w);
    ASSERT_TRUE(signIn(w, QStringLiteral("Anna"), QStringLiteral("annapass"), true).isEmpty());
    EXPECT_TRUE(deskRemembers(w.ctx(), 2));
    EXPECT_EQ(w.count(QStringLiteral("RememberedDesks")), 1); // the old one went
    // The administrator clears it in the account editor.
    w.ctx().CurrentUser = {1, QStringLiteral("Admin"), QStringLiteral("Administrator")};
    w.ctx().UserListRecordset.Open(QStringLiteral("Select * from users where userid=2"),
                                   w.db());
    w.ctx().UserEditorMode = QStringLiteral("Update");
    frmAddNewUser &editor = w.ctx().window<frmAddNewUser>();
    editor.cmdSave->setText(QStringLiteral("Update"));
    editor.show();
    EXPECT_TRUE(editor.cmdClearDesks->isEnabled());
    editor.cmdClearDesks->click();
    EXPECT_FALSE(editor.cmdClearDesks->isEnabled());
    EXPECT_FALSE(deskRemembers(w.ctx(), 2));
    editor.hide();

    // Unticked at sign-in, this desk forgets the account.
    signOutForTest(w);
    ASSERT_TRUE(signIn(w, QStringLiteral("Anna"), QStringLiteral("annapass"), true).isEmpty());
    signOutForTest(w);
    ASSERT_TRUE(signIn(w, QStringLiteral("Anna"), QStringLiteral("annapass"), false).isEmpty());
    EXPECT_EQ(w.count(QStringLiteral("RememberedDesks")), 0);
    EXPECT_EQ(w.scalar(QStringLiteral("select SavePassword from Users where UserID=2")).toInt(),
              0);
}
