#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "data/Cipher.h"
#include "data/Connection.h"
#include "data/Schema.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmNetworkSettings.h"
#include "shell/Settings.h"
#include "app/Startup.h"
#include "shell/SystemModule.h"
#include "support/TestWorld.h"

namespace {
QString engine()
{
    return QStringLiteral("4.5.4 community");
}

void makeTemplateWithContent(TestWorld &w)
{
    const QString path = w.path(QStringLiteral("program/MedicalRecord.mdb"));
    copyBlankDatabase(path);
    Connection c;
    c.Open(path, QString());
    c.Execute(QStringLiteral("insert into PatientRecords (PatientID, LastName) values (1, 'Sample')"));
}
} // namespace

TEST(CopyBlankDB, PrefersTheTemplateWithContent)
{
    TestWorld w(false);
    makeTemplateWithContent(w);
    SystemModule::CopyBlankDB(w.ctx());
    EXPECT_TRUE(QDir(w.ctx().makerFolder()).exists());
    ASSERT_TRUE(QFile::exists(w.ctx().defaultDatabase()));
    EXPECT_EQ(patientsIn(w.ctx().defaultDatabase()), 1);
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST(CopyBlankDB, UsesTheBlankTemplateAndNeverReplacesAWorkingDatabase)
{
    TestWorld w(false);
    SystemModule::CopyBlankDB(w.ctx());
    ASSERT_TRUE(QFile::exists(w.ctx().defaultDatabase()));
    EXPECT_EQ(patientsIn(w.ctx().defaultDatabase()), 0);

    // Work done since then survives a later run, even with a newer template.
    {
        Connection c;
        c.Open(w.ctx().defaultDatabase(), QString());
        c.Execute(QStringLiteral("insert into PatientRecords (PatientID) values (1)"));
        c.Execute(QStringLiteral("insert into PatientRecords (PatientID) values (2)"));
    }
    makeTemplateWithContent(w);
    SystemModule::CopyBlankDB(w.ctx());
    EXPECT_EQ(patientsIn(w.ctx().defaultDatabase()), 2);
}

TEST(CopyBlankDB, CopiesAShippedMarkerOnlyWhenNoneExists)
{
    TestWorld w(false);
    QFile shipped(w.path(QStringLiteral("program/users.lst")));
    shipped.open(QIODevice::WriteOnly);
    shipped.write("shipped\r\n");
    shipped.close();
    SystemModule::CopyBlankDB(w.ctx());
    EXPECT_TRUE(QFile::exists(w.ctx().markerPath()));
}

TEST(Startup, ChoosesSetupWithoutMarkerAndLoginWithIt)
{
    TestWorld w(false);
    SingleInstance first(w.path(QStringLiteral("runtime")));
    EXPECT_EQ(Main(w.ctx(), first, engine), StartWindow::Setup);
    EXPECT_EQ(w.db().State(), 1);
    EXPECT_TRUE(w.prompter().boxes.empty());
    EXPECT_EQ(w.endedWith, -1);

    QFile marker(w.ctx().markerPath());
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    TestWorld again(false);
    SingleInstance second(again.path(QStringLiteral("runtime")));
    again.ctx().settings().SaveSetting(SettingKeys::DatabaseFile, w.ctx().defaultDatabase());
    EXPECT_EQ(Main(again.ctx(), second, engine), StartWindow::Login);
}

TEST(Startup, ADatabaseWithItsAdministratorButNoMarkerSignsIn)
{
    // The database was moved into a folder without "users.lst": its accounts
    // must reach the login window, never the setup that replaces them.
    TestWorld w;
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("secret2"), QStringLiteral("Staff"));
    w.exec(QStringLiteral("insert into UserLog (LogID, UserName) values (1, 'Admin')"));
    ASSERT_FALSE(QFile::exists(w.ctx().markerPath()));
    w.db().Close();

    SingleInstance instance(w.path(QStringLiteral("runtime")));
    EXPECT_EQ(Main(w.ctx(), instance, engine), StartWindow::Login);
    QFile marker(w.ctx().markerPath());
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    EXPECT_EQ(marker.readAll(), (E(QStringLiteral("Administrator")) + "\r\n").toUtf8());
    EXPECT_EQ(w.count(QStringLiteral("Users")), 2);
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 1);
    EXPECT_TRUE(w.prompter().boxes.empty());

    // Staff accounts alone are no administrator: the setup still comes.
    QFile::remove(w.ctx().markerPath());
    w.exec(QStringLiteral("delete from Users where UserID=1"));
    w.db().Close();
    SingleInstance next(w.path(QStringLiteral("runtime2")));
    EXPECT_EQ(Main(w.ctx(), next, engine), StartWindow::Setup);
    EXPECT_FALSE(QFile::exists(w.ctx().markerPath()));
}

TEST(Startup, MissingDatabaseShowsTheMessageThenTheLocationWindow)
{
    TestWorld w(false);
    const QString missing = w.path(QStringLiteral("gone/dbData.mdb"));
    w.ctx().settings().SaveSetting(SettingKeys::DatabaseFile, missing);
    int shown = 0;
    w.ctx().modalHook = [&](Form &form) {
        auto *settings = qobject_cast<frmNetworkSettings *>(&form);
        ASSERT_NE(settings, nullptr);
        ++shown;
        EXPECT_EQ(settings->txtDatabasefile->text(), missing);
        // The window refuses to close while the stored file is missing.
        settings->cmdCancel->click();
        EXPECT_TRUE(settings->isVisible());
        settings->txtDatabasefile->setText(w.ctx().defaultDatabase());
        settings->cmdSave->click();
        EXPECT_FALSE(settings->isVisible());
    };
    SingleInstance instance(w.path(QStringLiteral("runtime")));
    EXPECT_EQ(Main(w.ctx(), instance, engine), StartWindow::Setup);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(w.db().State(), 1);
    const QStringList texts = w.prompter().texts();
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts.at(0), missing + QStringLiteral(" not found."));
    EXPECT_EQ(w.prompter().boxes.at(0).title, QStringLiteral("Database Not Found"));
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(Startup, SecondInstanceIsRefusedBeforeTouchingAnyFile)
{
    TestWorld w(false);
    SingleInstance running(w.path(QStringLiteral("runtime")));
    ASSERT_TRUE(running.acquire());
    SingleInstance second(w.path(QStringLiteral("runtime")));
    EXPECT_EQ(Main(w.ctx(), second, engine), StartWindow::None);
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Application is already running."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Run"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(w.endedWith, 0);
    EXPECT_FALSE(QDir(w.ctx().makerFolder()).exists());
}

TEST(Startup, MissingEngineOffersTheDownloadPagesAndEnds)
{
    TestWorld w(false);
    w.prompter().answers.push_back(MsgAnswer::Yes);
    SingleInstance instance(w.path(QStringLiteral("runtime")));
    EXPECT_EQ(Main(w.ctx(), instance, [] { return QString(); }), StartWindow::None);
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_TRUE(w.prompter().last().text.startsWith(
        QStringLiteral("Error #3706: Provider cannot be found.")));
    EXPECT_EQ(w.prompter().last().buttons, MsgButtons::YesNo);
    EXPECT_EQ(w.prompter().urls.size(), 2);
    EXPECT_EQ(w.endedWith, 1);
    EXPECT_FALSE(QDir(w.ctx().makerFolder()).exists());
}

TEST(NetworkSettings, CancelStoresNothingAndSaveReconnects)
{
    TestWorld w;
    auto &win = w.ctx().window<frmNetworkSettings>();
    win.show();
    EXPECT_EQ(win.txtDatabasefile->text(), w.ctx().defaultDatabase());
    EXPECT_EQ(win.txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(win.cmdSave->isDefault());

    win.txtDatabasefile->setText(w.path(QStringLiteral("elsewhere.mdb")));
    win.cmdCancel->click();
    EXPECT_FALSE(win.isVisible());
    EXPECT_EQ(w.ctx().databaseFile(), w.ctx().defaultDatabase());

    // A new file elsewhere: stored, connected, window closed.
    const QString other = w.path(QStringLiteral("shared/dbData.mdb"));
    QDir().mkpath(w.path(QStringLiteral("shared")));
    copyBlankDatabase(other);
    win.show();
    win.txtDatabasefile->setText(other);
    win.cmdSave->click();
    EXPECT_FALSE(win.isVisible());
    EXPECT_EQ(w.ctx().databaseFile(), other);
    EXPECT_EQ(w.db().path(), other);
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST(NetworkSettings, SavingAMissingPathIsStoredButTheWindowStaysOpen)
{
    TestWorld w;
    auto &win = w.ctx().window<frmNetworkSettings>();
    win.show();
    const QString missing = w.path(QStringLiteral("missing.mdb"));
    win.txtDatabasefile->setText(missing);
    win.cmdSave->click();
    EXPECT_TRUE(win.isVisible());
    EXPECT_EQ(w.ctx().databaseFile(), missing);
    EXPECT_EQ(w.db().State(), 0);
    EXPECT_EQ(w.prompter().last().text, missing + QStringLiteral(" not found."));
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(NetworkSettings, AServerAddressThatCannotBeEncryptedAsItAsksIsNotTaken)
{
    TestWorld w;
    auto &win = w.ctx().window<frmNetworkSettings>();
    win.show();
    win.txtDatabasefile->setText(
        QStringLiteral("postgresql://medlantis@server.invalid/medlantis?sslmode=sometimes"));
    win.txtPassword->setText(QStringLiteral("elsewhere"));
    win.cmdSave->click();
    EXPECT_TRUE(win.isVisible());
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_TRUE(w.prompter().last().text.contains(QStringLiteral("sets sslmode to \"sometimes\"")))
        << w.prompter().last().text.toStdString();
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Database Server"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    // The desk stays where it was, still connected there.
    EXPECT_EQ(w.ctx().databaseFile(), w.ctx().defaultDatabase());
    EXPECT_EQ(w.ctx().databasePassword(), QString());
    EXPECT_EQ(w.db().path(), w.ctx().defaultDatabase());
    win.cmdCancel->click();
    EXPECT_FALSE(win.isVisible());
}

TEST(NetworkSettings, ANewPasswordCanEncryptTheFile)
{
    TestWorld w;
    w.signIn(1, QStringLiteral("Admin"), QStringLiteral("Administrator"));
    auto &win = w.ctx().window<frmNetworkSettings>();
    win.show();
    win.txtPassword->setText(QStringLiteral("n3w pass'word"));
    w.prompter().answers.push_back(MsgAnswer::Yes);
    win.cmdSave->click();
    EXPECT_FALSE(win.isVisible());
    EXPECT_EQ(w.db().State(), 1);
    EXPECT_FALSE(databaseOpens(w.ctx().defaultDatabase(), QString()));
    EXPECT_TRUE(databaseOpens(w.ctx().defaultDatabase(), QStringLiteral("n3w pass'word")));
}

TEST(NetworkSettings, TheQuestionNamesAnUndoCopyThatCannotFollowAndNoKeepsEverything)
{
    TestWorld w;
    w.signIn(1, QStringLiteral("Admin"), QStringLiteral("Administrator"));
    const QString undo = DatabaseFiles::beforeRestorePath(w.ctx().databaseFile());
    Schema::createDatabaseFile(undo);
    DatabaseFiles::changePassword(undo, QString(), QStringLiteral("long forgotten"));
    auto &win = w.ctx().window<frmNetworkSettings>();
    win.show();
    win.txtPassword->setText(QStringLiteral("n3w"));
    w.prompter().answers.push_back(MsgAnswer::No);
    win.cmdSave->click();
    ASSERT_FALSE(w.prompter().boxes.empty());
    EXPECT_TRUE(w.prompter().boxes.front().text.contains(QDir::toNativeSeparators(undo)));
    // "No" stores the setting but leaves the file's own password alone.
    EXPECT_TRUE(databaseOpens(w.ctx().defaultDatabase(), QString()));
    EXPECT_TRUE(databaseOpens(undo, QStringLiteral("long forgotten")));
}
