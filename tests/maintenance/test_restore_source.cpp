#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include "data/Cipher.h"
#include "data/Connection.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/RestoreSource.h"
#include "maintenance/frmRestoreData.h"
#include "support/TestWorld.h"

// A restore brings in a whole file: only what Medlantis itself creates may come
// with it, and a refused file changes nothing, on the file and on the server.
namespace {

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// A copy of the blank template with one patient, changed by the statements,
// under the world's database password (a backup of a server has it too).
QString craft(TestWorld &w, const QString &name, const QStringList &statements)
{
    const QString path = w.path(name);
    copyBlankDatabase(path);
    {
        Connection c;
        c.Open(path, QString());
        c.Execute(
            QStringLiteral("insert into PatientRecords (PatientID, LastName) values (7, 'Doe')"));
        // As another tool would write them: no translation on the way.
        for (const QString &sql : statements) {
            char *error = nullptr;
            sqlite3_exec(c.handle(), sql.toUtf8().constData(), nullptr, nullptr, &error);
            EXPECT_EQ(error, nullptr) << error << " in " << sql.toStdString();
            sqlite3_free(error);
        }
    }
    if (!w.ctx().databasePassword().isEmpty())
        DatabaseFiles::changePassword(path, QString(), w.ctx().databasePassword());
    return path;
}

const QString kAdministrator = E(QStringLiteral("Administrator"));

struct Crafted
{
    const char *file;
    QStringList statements;
    const char *holds;
};

std::vector<Crafted> craftedFiles()
{
    const QString users = QStringLiteral("UserName TEXT, Password TEXT, Privilege TEXT, "
                                         "SavePassword INTEGER)");
    return {
        // Whoever signs in next becomes an administrator.
        {"trigger.mdb",
         {QStringLiteral("create trigger PromoteEveryone after insert on UserLog begin update "
                         "Users set Privilege = '%1'; end")
              .arg(kAdministrator)},
         "trigger PromoteEveryone"},
        {"emptier.mdb",
         {QStringLiteral("create trigger ForgetNotes after update on PatientRecords begin update "
                         "PatientRecords set Notes = '' where PatientID = new.PatientID; end")},
         "trigger ForgetNotes"},
        {"view.mdb", {QStringLiteral("create view Everyone as select * from Users")},
         "view Everyone"},
        {"table.mdb", {QStringLiteral("create table Appointments (ID integer)")},
         "table Appointments"},
        {"index.mdb", {QStringLiteral("create index UsersByName on Users (UserName)")},
         "index UsersByName"},
        // The right name, another definition.
        {"renamed.mdb",
         {QStringLiteral("drop index MedicalHistoryPatient"),
          QStringLiteral("create index MedicalHistoryPatient on MedicalHistory (VisitDate)")},
         "index MedicalHistoryPatient"},
        {"column.mdb", {QStringLiteral("alter table PatientRecords add column Secret TEXT")},
         "column PatientRecords.Secret"},
        // A key that holds SQL instead of a number.
        {"textkey.mdb",
         {QStringLiteral("drop table Users"),
          QStringLiteral("create table Users (UserID TEXT, ") + users,
          QStringLiteral("insert into Users values ('1 or 1=1', '%1', '%2', '%3', 0)")
              .arg(E(QStringLiteral("Eve")), E(QStringLiteral("evepass1")), kAdministrator)},
         "column Users.UserID"},
        {"nokey.mdb",
         {QStringLiteral("drop table Users"),
          QStringLiteral("create table Users (UserID INTEGER, ") + users},
         "column Users.UserID"},
    };
}

class RestoreSourceOnBothEngines : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(, RestoreSourceOnBothEngines,
                         ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

TEST_P(RestoreSourceOnBothEngines, AFileWithAnythingElseIsRefusedAndNothingChanges)
{
    TestWorld w(GetParam());
    w.addPatient(1, QStringLiteral("Kept"), QStringLiteral("Patient"));
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    const QString working = w.ctx().databaseFile();
    const QString password = w.ctx().databasePassword();
    for (const Crafted &c : craftedFiles()) {
        SCOPED_TRACE(c.file);
        const QString source = craft(w, QLatin1String(c.file), c.statements);
        const QByteArray sourceBefore = hashOf(source);
        const QByteArray workingBefore = w.onServer() ? QByteArray() : hashOf(working);
        const int trailBefore = w.count(QStringLiteral("AuditTrail"));
        w.db().Close();
        try {
            DatabaseFiles::restoreDatabase(source, working, password);
            ADD_FAILURE() << "restored";
        } catch (const std::exception &e) {
            EXPECT_EQ(QString::fromUtf8(e.what()),
                      QStringLiteral("'%1' is not a Medlantis database: it holds %2.")
                          .arg(source, QLatin1String(c.holds)));
        }
        w.db().Open(working, password);
        EXPECT_EQ(hashOf(source), sourceBefore);
        if (!w.onServer())
            EXPECT_EQ(hashOf(working), workingBefore);
        EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
        EXPECT_EQ(w.scalar(QStringLiteral("select LastName from PatientRecords")).toString(),
                  QStringLiteral("Kept"));
        EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), trailBefore);
    }
    if (!w.onServer())
        EXPECT_EQ(QDir(w.root()).entryList({QStringLiteral("*.staging-*")}, QDir::Files),
                  QStringList());

    // What the program made, in this version or an earlier one, comes in.
    const QString older =
        craft(w, QStringLiteral("older.mdb"),
              {QStringLiteral("drop table AuditTrail"),
               QStringLiteral("drop index PatientRecordsLastName"),
               QStringLiteral("create index PatientRecordsLastName on PatientRecords "
                              "(FoldCase(LastName), PatientID)"),
               // Another tool's statistics are SQLite's own.
               QStringLiteral("analyze")});
    w.db().Close();
    DatabaseFiles::restoreDatabase(older, working, password);
    w.db().Open(working, password);
    EXPECT_EQ(w.scalar(QStringLiteral("select LastName from PatientRecords")).toString(),
              QStringLiteral("Doe"));
}

TEST(RestoreSource, DefinitionsCompareWithoutRegardToBlanksCaseOrQuotes)
{
    TestWorld w;
    const QString respelled = craft(
        w, QStringLiteral("respelled.mdb"),
        {QStringLiteral("drop index MedicalHistoryPatient"),
         QStringLiteral("CREATE   INDEX \"medicalhistorypatient\" /* the visits */ ON "
                        "[MEDICALHISTORY]\n(  patientid  )")});
    EXPECT_EQ(RestoreSource::problem(respelled, QString()), QString());
    EXPECT_EQ(RestoreSource::normalised(QStringLiteral("CREATE INDEX [A b] ON T (x, 'It''s')")),
              RestoreSource::normalised(QStringLiteral("create index \"a B\" on t(X,'It''s')")));
    // Text inside quotes keeps its letter case.
    EXPECT_NE(RestoreSource::normalised(QStringLiteral("check (x = 'A')")),
              RestoreSource::normalised(QStringLiteral("check (x = 'a')")));
}

TEST(RestoreSource, TheRestoreWindowNamesTheObjectAndKeepsTheDatabase)
{
    TestWorld w;
    w.signIn(1, QStringLiteral("Admin"), QStringLiteral("Administrator"));
    w.addPatient(1, QStringLiteral("Kept"), QStringLiteral("Patient"));
    const QString working = w.ctx().databaseFile();
    const QString source =
        craft(w, QStringLiteral("view.mdb"),
              {QStringLiteral("create view Everyone as select * from Users")});
    const QByteArray before = hashOf(working);
    auto &win = w.ctx().window<frmRestoreData>();
    win.show();
    win.Text1->setText(source);
    win.cmdBackup->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("'%1' is not a Medlantis database: it holds view Everyone.")
                  .arg(source));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(hashOf(working), before);
    EXPECT_EQ(w.db().State(), 1);
}
