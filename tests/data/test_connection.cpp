#include <gtest/gtest.h>

#include <QFile>

#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Recordset.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "maintenance/DatabaseFiles.h"
#include "support/TestWorld.h"

namespace {
QByteArray header(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.read(16);
}
} // namespace

TEST(Connection, MissingFileIsReportedAndNeverCreated)
{
    TestWorld w(false);
    const QString missing = w.path(QStringLiteral("nowhere/dbData.mdb"));
    w.ctx().settings().SaveSetting(SettingKeys::DatabaseFile, missing);
    SystemModule::connect(w.ctx());
    EXPECT_EQ(w.db().State(), 0);
    EXPECT_FALSE(QFile::exists(missing));
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(w.prompter().last().text.contains(QStringLiteral("SystemModule.connect at line 102")));
    EXPECT_TRUE(w.prompter().last().text.contains(missing));
}

TEST(Connection, FileThatIsNotADatabaseDoesNotOpenAndIsNotChanged)
{
    TestWorld w(false);
    const QString path = w.path(QStringLiteral("notes.mdb"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("just some text, not a database\n");
    f.close();
    Connection c;
    EXPECT_THROW(c.Open(path, QString()), DbError);
    EXPECT_EQ(c.State(), 0);
    EXPECT_EQ(header(path), QByteArray("just some text, "));
}

TEST(Connection, EncryptedFileOpensOnlyWithItsPassword)
{
    TestWorld w(false);
    const QString path = w.path(QStringLiteral("secret.mdb"));
    copyBlankDatabase(path);
    {
        Connection plain;
        plain.Open(path, QString());
        plain.Execute(QStringLiteral("insert into PatientRecords (PatientID, LastName) values (1, 'Doe')"));
    }
    DatabaseFiles::changePassword(path, QString(), QStringLiteral("s3cret"));

    EXPECT_NE(header(path), QByteArray("SQLite format 3\0", 16));
    Connection c;
    EXPECT_THROW(c.Open(path, QString()), DbError);
    EXPECT_THROW(c.Open(path, QStringLiteral("wrong")), DbError);
    c.Open(path, QStringLiteral("s3cret"));
    Recordset rs;
    rs.Open(QStringLiteral("select LastName from PatientRecords"), c, adOpenStatic, adLockReadOnly);
    EXPECT_EQ(rs.Text(QStringLiteral("LastName")), QStringLiteral("Doe"));
}

TEST(Connection, WrongPasswordFromSettingsIsReportedByConnect)
{
    TestWorld w;
    w.db().Close();
    DatabaseFiles::changePassword(w.ctx().defaultDatabase(), QString(), QStringLiteral("right"));
    w.ctx().settings().SaveSetting(SettingKeys::DatabasePassword, QStringLiteral("wrong"));
    SystemModule::connect(w.ctx());
    EXPECT_EQ(w.db().State(), 0);
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_TRUE(w.prompter().last().text.startsWith(
        QStringLiteral("The file is not a database, or the database password is wrong.")));

    w.ctx().settings().SaveSetting(SettingKeys::DatabasePassword, QStringLiteral("right"));
    SystemModule::connect(w.ctx());
    EXPECT_EQ(w.db().State(), 1);
}

TEST(Connection, TransactionRollsBackUnlessCommitted)
{
    TestWorld w;
    {
        Transaction t(w.db());
        w.exec(QStringLiteral("insert into Users (UserID) values (1)"));
    }
    EXPECT_EQ(w.count(QStringLiteral("Users")), 0);
    {
        Transaction t(w.db());
        w.exec(QStringLiteral("insert into Users (UserID) values (1)"));
        t.commit();
    }
    EXPECT_EQ(w.count(QStringLiteral("Users")), 1);
}

TEST(Connection, SqlFunctionsOfTheOlderDialectWork)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Smith"), QStringLiteral("Anna"));
    w.addPatient(2, QStringLiteral("smythe"), QStringLiteral("Bob"));
    w.addPatient(3, QStringLiteral("Öhlund"), QStringLiteral("Carl"));
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where [LastName] like 'SM%'")).toInt(), 2);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where LastName like 'öh%'")).toInt(), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select FirstName+' '+LastName from PatientRecords where PatientID=1")).toString(),
              QStringLiteral("Anna Smith"));
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where StrComp(LastName, 'smith', 0) = 0")).toInt(), 0);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where StrComp(LastName, 'Smith', 0) = 0")).toInt(), 1);
    w.exec(QStringLiteral("Delete * from PatientRecords where PatientID=2"));
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 2);
}
