// The audit trail as an inspector would try it: its seals, its check, the
// anchors kept outside the database, what a restore keeps, and the roles that
// keep workstations from changing it.
#include <functional>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "data/Audit.h"
#include "data/AuditCheck.h"
#include "data/Cipher.h"
#include "data/DbError.h"
#include "data/PgEngine.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "maintenance/AuditAnchors.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmAuditTrail.h"
#include "app/MDIFormMain.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmMedicalHistory.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "support/TestWorld.h"
#include "visits/frmAddNewPatientRecord.h"

namespace {

void signIn(TestWorld &w)
{
    w.ctx().CurrentUser.UserID = 1;
    w.ctx().CurrentUser.UserName = QStringLiteral("Anna");
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
}

void addRows(TestWorld &w, int n)
{
    for (int i = 1; i <= n; ++i)
        Audit::add(w.db(),
                   {QStringLiteral("Update"), QStringLiteral("PatientRecords"), i, i,
                    QStringLiteral("Phone: %1 -> %2").arg(i).arg(i + 1)});
}

Audit::Stored rowAt(TestWorld &w, qint64 id)
{
    Audit::Stored found;
    Audit::forEachRow(w.db(), [&](const Audit::Stored &row) {
        if (row.id == id)
            found = row;
        return row.id < id;
    });
    return found;
}

QString databaseName(TestWorld &w)
{
    return w.ctx().databaseFile().section(QLatin1Char('/'), -1);
}

// Runs SQL as someone at the database with its own command-line tool would:
// sqlcipher on the file, psql on the server (as the tests' superuser).
void runTool(TestWorld &w, const QString &sql)
{
    QProcess tool;
    if (w.onServer()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), testServerPassword());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("psql"),
                   {QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-q"),
                    QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                    qEnvironmentVariable("MEDLANTIS_TEST_PG_PORT"), QStringLiteral("-U"),
                    qEnvironmentVariable("MEDLANTIS_TEST_PG_USER", QStringLiteral("medlantis")),
                    QStringLiteral("-d"), databaseName(w)});
    } else {
        tool.start(QStringLiteral("sqlcipher"), {w.ctx().databaseFile()});
    }
    ASSERT_TRUE(tool.waitForStarted());
    tool.write(sql.toUtf8() + "\n");
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
}

// The statements that lift the append-only guard, as each tool writes them
// (the server keeps the names' letter case only in quotes).
QString unguarded(TestWorld &w, const QString &sql)
{
    if (!w.onServer())
        return QStringLiteral("DROP TRIGGER AuditTrailNoUpdate; DROP TRIGGER AuditTrailNoDelete; ")
            + sql;
    QString quoted = sql;
    quoted.replace(QRegularExpression(QStringLiteral(
                       "\\b(AuditTrail|AuditID|EventDate|UserName|Action|Changes|Seal)\\b")),
                   QStringLiteral("\"\\1\""));
    return QStringLiteral("ALTER TABLE \"AuditTrail\" DISABLE TRIGGER USER; ") + quoted;
}

QString changedRowText(const Audit::Stored &row)
{
    return QStringLiteral("Row %1 of %2 was changed, or a row before it was removed, after it "
                          "was written.")
        .arg(row.id)
        .arg(Audit::shownDate(row.eventDate));
}

class AuditSeal : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(, AuditSeal, ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

TEST(AuditSealForm, IsTheDocumentedDigestOfThePreviousSealAndTheFields)
{
    Audit::Stored row;
    row.id = 7;
    row.eventDate = QStringLiteral("2026-03-01T09:30:00Z");
    row.userName = QStringLiteral("Zoë");
    row.action = QStringLiteral("Update");
    row.table = QStringLiteral("PatientRecords");
    row.recordId = 12;
    row.patientId = 12;
    row.changes = QStringLiteral("Notes: a -> b");
    const QString previous(64, QLatin1Char('a'));
    QByteArray form = "Medlantis audit trail seal 1\n" + previous.toUtf8() + "\n";
    for (const QByteArray &field :
         {QByteArray("7"), QByteArray("2026-03-01T09:30:00Z"), QByteArray("Zo\xc3\xab"),
          QByteArray(), QByteArray(), QByteArray("Update"), QByteArray("PatientRecords"),
          QByteArray("12"), QByteArray("12"), QByteArray("Notes: a -> b"), QByteArray(),
          QByteArray()})
        form += QByteArray::number(field.size()) + ":" + field + "\n";
    EXPECT_EQ(
        Audit::sealOf(previous, row),
        QString::fromLatin1(QCryptographicHash::hash(form, QCryptographicHash::Sha256).toHex()));
    // Any one field, or the row before, changes it.
    Audit::Stored other = row;
    other.changes += QLatin1Char(' ');
    EXPECT_NE(Audit::sealOf(previous, other), Audit::sealOf(previous, row));
    EXPECT_NE(Audit::sealOf(QString(), row), Audit::sealOf(previous, row));
}

TEST_P(AuditSeal, HardTextsSealAndCheckAndTheWindowSaysSo)
{
    TestWorld w(GetParam());
    signIn(w);
    const QString texts[] = {QString(100000, QLatin1Char('x')),
                             QStringLiteral("O'Doe said \"no\"; -- \\' end"),
                             QStringLiteral("line one\r\nline two\nthree\t4"),
                             QStringLiteral("Müller, Ærøskøbing, Ελένη, 山田, 🩺")};
    for (const QString &text : texts)
        Audit::add(w.db(),
                   {QStringLiteral("Update"), QStringLiteral("PatientRecords"), 1, 1, text});
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(rowAt(w, i + 1).changes, texts[i]) << i;
    const Audit::CheckReport report = Audit::check(w.db());
    EXPECT_TRUE(report.whole) << report.text().toStdString();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(report.lines.value(0),
              QStringLiteral("The audit trail is whole: 4 rows from %1 to "
                             "%1.")
                  .arg(today));

    frmAuditTrail &f = w.ctx().window<frmAuditTrail>();
    f.show();
    w.prompter().clear();
    f.cmdCheck->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
    EXPECT_TRUE(w.prompter().last().text.startsWith(report.lines.value(0)));
}

TEST_P(AuditSeal, TheProgramCannotChangeOrRemoveATrailRow)
{
    TestWorld w(GetParam());
    signIn(w);
    addRows(w, 2);
    for (const char *sql : {"update AuditTrail set Changes = 'x' where AuditID = 1",
                            "delete from AuditTrail where AuditID = 2", "delete from AuditTrail"}) {
        SCOPED_TRACE(sql);
        try {
            w.exec(QLatin1String(sql));
            ADD_FAILURE() << "the statement ran";
        } catch (const DbError &e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("Audit trail rows cannot be")))
                << e.description().toStdString();
        }
    }
    EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), 2);
    EXPECT_TRUE(Audit::check(w.db()).whole);
}

TEST_P(AuditSeal, TheCheckNamesWhatTheCommandLineToolsChanged)
{
    struct Case
    {
        const char *what;
        QString sql;
        qint64 namedRow; // the row the check names
    };
    const QString fake(64, QLatin1Char('f'));
    const Case cases[] = {
        {"a changed field",
         QStringLiteral("UPDATE AuditTrail SET Changes = 'Phone: 9 -> 9' "
                        "WHERE AuditID = 3;"),
         3},
        {"a deleted row", QStringLiteral("DELETE FROM AuditTrail WHERE AuditID = 3;"), 4},
        {"an inserted row",
         QStringLiteral("INSERT INTO AuditTrail (AuditID, EventDate, UserName, Action, Seal) "
                        "VALUES (6, '2026-01-01T00:00:00Z', 'Mallory', 'Update', '%1');")
             .arg(fake),
         6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TestWorld w(GetParam());
        signIn(w);
        addRows(w, 5);
        runTool(w, unguarded(w, c.sql));
        const Audit::CheckReport report = Audit::check(w.db());
        EXPECT_FALSE(report.whole);
        EXPECT_EQ(report.lines,
                  QStringList{changedRowText(rowAt(w, c.namedRow))}
                      + QStringList{
                          QStringLiteral("Newest seal: row %1 of %2: %3")
                              .arg(report.newest.id)
                              .arg(Audit::shownDate(report.newest.eventDate), report.newest.seal)});
        // New rows go on sealing from the trail as it stands; nothing is repaired.
        addRows(w, 1);
        EXPECT_EQ(Audit::check(w.db()).lines.value(0), changedRowText(rowAt(w, c.namedRow)));
    }
}

TEST_P(AuditSeal, AChainRecomputedFromTheStartFailsTheDesksAnchor)
{
    TestWorld w(GetParam());
    signIn(w);
    addRows(w, 5);
    AuditAnchors::remember(w.ctx());
    const Audit::Stored seen = rowAt(w, 5);

    // Whoever holds the password rewrites row 2 and seals every row anew.
    QString sql;
    QString previous;
    for (qint64 id = 1; id <= 5; ++id) {
        Audit::Stored row = rowAt(w, id);
        if (id == 2)
            row.changes = QStringLiteral("Phone: nothing happened");
        row.seal = Audit::sealOf(previous, row);
        previous = row.seal;
        sql += QStringLiteral("UPDATE AuditTrail SET Changes = '%1', Seal = '%2' WHERE AuditID = "
                              "%3;\n")
                   .arg(row.changes, row.seal)
                   .arg(id);
    }
    runTool(w, unguarded(w, sql));
    EXPECT_TRUE(Audit::check(w.db()).whole);
    const Audit::CheckReport report = AuditAnchors::checkTrail(w.ctx());
    EXPECT_FALSE(report.whole);
    EXPECT_EQ(report.lines.value(0),
              QStringLiteral("The audit trail was rewritten after %1: row 5 no longer carries the "
                             "seal this workstation saw.")
                  .arg(Audit::shownDate(seen.eventDate)));
}

TEST(AuditSealCheck, AnUntouchedTrailOfAHundredThousandRowsIsWhole)
{
    TestWorld w;
    signIn(w);
    w.exec(QStringLiteral("insert into AuditTrail (AuditID, EventDate, Action) values "
                          "(1, '2020-01-01T00:00:00Z', 'Add')"));
    std::vector<Audit::Stored> rows(100000);
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].eventDate = QStringLiteral("2026-01-01T00:00:00Z");
        rows[i].userName = QStringLiteral("Anna");
        rows[i].action = QStringLiteral("Update");
        rows[i].table = QStringLiteral("PatientRecords");
        rows[i].recordId = qint64(i % 500 + 1);
        rows[i].changes = QStringLiteral("Phone: %1").arg(i);
    }
    Audit::appendRows(w.db(), rows);
    const Audit::CheckReport report = Audit::check(w.db());
    EXPECT_TRUE(report.whole) << report.text().toStdString();
    EXPECT_EQ(report.rows, 100001);
    EXPECT_EQ(report.lines.value(1), QStringLiteral("1 older rows carry no seal."));
}

TEST(AuditSealCheck, TheCommandLineCheckExitsWithWhatItFound)
{
    TestWorld w;
    signIn(w);
    addRows(w, 3);
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral("config"));
    Settings(config + QStringLiteral("/Trevanto/Trevanto.ini"))
        .SaveSetting(SettingKeys::DatabaseFile, w.ctx().databaseFile());
    const auto run = [&](int expected) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(MEDLANTIS_PROGRAM), {QStringLiteral("--check-audit-trail")});
        EXPECT_TRUE(program.waitForFinished(60000));
        EXPECT_EQ(program.exitCode(), expected);
        return QString::fromLocal8Bit(program.readAllStandardOutput());
    };
    EXPECT_TRUE(run(0).startsWith(QStringLiteral("The audit trail is whole: 3 rows from ")));
    w.db().Close();
    runTool(w,
            unguarded(w,
                      QStringLiteral("UPDATE AuditTrail SET UserName = 'Bert' "
                                     "WHERE AuditID = 2;")));
    SystemModule::connect(w.ctx());
    EXPECT_EQ(run(1).section(QLatin1Char('\n'), 0, 0), changedRowText(rowAt(w, 2)));
}

TEST_P(AuditSeal, TheThreeEditorsLeaveOneViewEachWithTheNextWrite)
{
    TestWorld w(GetParam());
    signIn(w);
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID, ChiefComplaint) "
                          "values (4, 1, 'Cough')"));
    w.ctx().window<MDIFormMain>().show();

    w.ctx().EditPatientID = QStringLiteral("1");
    w.ctx().modalHook = [](Form &f) {
        // Typing is no opening.
        static_cast<frmAddNewPatient &>(f).txtCity->setText(QStringLiteral("Oslo"));
        static_cast<frmAddNewPatient &>(f).txtCity->setText(QStringLiteral("Bergen"));
    };
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>());
    w.ctx().SelectedPatientID = QStringLiteral("1");
    w.ctx().window<frmMedicalHistory>().show();
    w.ctx().SelectedHistoryID = QStringLiteral("4");
    w.ctx().window<frmAddNewPatientRecord>().show();

    // Nothing waited for the write lock: the openings are in memory.
    EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), 0);
    EXPECT_EQ(Audit::pendingViews(w.db()), 3);
    Audit::add(w.db(),
               {QStringLiteral("Print"), QStringLiteral("Patient List"), QVariant(), QVariant(),
                QStringLiteral("Rows: 1")});
    EXPECT_EQ(Audit::pendingViews(w.db()), 0);
    Recordset rs;
    rs.Open(QStringLiteral("select Action, TableName, RecordID, PatientID from AuditTrail "
                           "order by AuditID"),
            w.db(), adOpenStatic, adLockReadOnly);
    QStringList rows;
    for (; !rs.isEOF(); rs.MoveNext())
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(rs.Text(QStringLiteral("Action")), rs.Text(QStringLiteral("TableName")),
                         rs.Text(QStringLiteral("RecordID")), rs.Text(QStringLiteral("PatientID")));
    EXPECT_EQ(rows,
              QStringList({"View PatientRecords 1 1", "View PatientRecords 1 1",
                           "View MedicalHistory 4 1", "Print Patient List  "}));
    EXPECT_TRUE(Audit::check(w.db()).whole);

    // A view that a failed write could not take along waits for the next one.
    w.ctx().window<frmAddNewPatientRecord>().hide();
    w.ctx().window<frmAddNewPatientRecord>().show();
    w.exec(QStringLiteral("drop table AuditTrail"));
    EXPECT_THROW(Audit::flushViews(w.db()), DbError);
    EXPECT_EQ(Audit::pendingViews(w.db()), 1);
}

TEST_P(AuditSeal, TwoProcessesAddingAtOnceKeepOneChain)
{
    TestWorld w(GetParam());
    signIn(w);
    const QString passwordFile = w.path(QStringLiteral("password"));
    {
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(w.ctx().databasePassword().toUtf8());
    }
    const QString report = w.path(QStringLiteral("report.txt"));
    QProcess other;
    other.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                {QStringLiteral("save-patients"), w.ctx().databaseFile(), passwordFile,
                 QStringLiteral("30"), report});
    ASSERT_TRUE(other.waitForStarted());
    addRows(w, 60);
    ASSERT_TRUE(other.waitForFinished(120000)) << other.readAllStandardError().toStdString();
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 30);
    EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), 90);
    const Audit::CheckReport checked = Audit::check(w.db());
    EXPECT_TRUE(checked.whole) << checked.text().toStdString();
}

TEST(AuditSealPassword, ANewDatabasePasswordLeavesARowWithoutIt)
{
    TestWorld w;
    signIn(w);
    addRows(w, 1);
    const AuditWho who = w.db().who();
    const QString file = w.ctx().databaseFile();
    w.db().Close();
    DatabaseFiles::changePassword(file, QString(), QStringLiteral("n3w-secret"), 10000, &who);
    Connection c;
    c.Open(file, QStringLiteral("n3w-secret"));
    const Audit::Stored last = Audit::newest(c);
    EXPECT_EQ(last.action, QStringLiteral("Password"));
    EXPECT_EQ(last.userName, QStringLiteral("Anna"));
    EXPECT_EQ(last.changes, QStringLiteral("Database password: changed"));
    EXPECT_TRUE(Audit::check(c).whole);
}

TEST(AuditSealRestore, TheTrailKeepsWhatWasWrittenAfterTheBackup)
{
    TestWorld w;
    signIn(w);
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.addPatient(2, QStringLiteral("Roe"), QStringLiteral("Rick"));
    addRows(w, 2);
    const AuditWho who = w.db().who();
    const QString backup = w.path(QStringLiteral("desktop/dbData-yesterday.mdb"));
    DatabaseFiles::backupDatabase(w.ctx().databaseFile(), backup, QString(), {}, &who);
    EXPECT_TRUE(QFile::exists(AuditAnchors::sealFileFor(backup)));
    Audit::recordDelete(w.db(), QStringLiteral("PatientRecords"), QStringLiteral("PatientID"), 1, 1,
                        QStringLiteral("delete from PatientRecords where PatientID=1"));
    const Audit::Stored deleted = Audit::newest(w.db());
    ASSERT_EQ(deleted.action, QStringLiteral("Delete"));
    AuditAnchors::remember(w.ctx());

    const QString working = w.ctx().databaseFile();
    w.db().Close();
    DatabaseFiles::restoreDatabase(backup, working, QString(), {}, &who);
    SystemModule::connect(w.ctx());
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 2);
    // The backup's trail, then the backup row and the delete carried over,
    // then the restore.
    std::vector<Audit::Stored> trail;
    Audit::forEachRow(w.db(), [&](const Audit::Stored &row) {
        trail.push_back(row);
        return true;
    });
    ASSERT_EQ(trail.size(), 5u);
    EXPECT_EQ(trail[2].action, QStringLiteral("Backup"));
    EXPECT_EQ(trail[3].action, QStringLiteral("Delete"));
    EXPECT_EQ(trail[3].eventDate, deleted.eventDate);
    EXPECT_EQ(trail[3].changes, deleted.changes);
    EXPECT_EQ(trail[3].originalId.toLongLong(), deleted.id);
    EXPECT_EQ(trail[3].originalSeal, deleted.seal);
    EXPECT_EQ(trail[4].action, QStringLiteral("Restore"));
    const QStringList told = trail[4].changes.split(QLatin1Char('\n'));
    EXPECT_EQ(told.value(0), QStringLiteral("From: ") + backup);
    EXPECT_EQ(told.value(1),
              QStringLiteral("Rows brought in: PatientRecords 2, MedicalHistory 0, "
                             "Users 0, UserLog 0"));
    EXPECT_TRUE(told.value(2).startsWith(QStringLiteral("The source's newest trail row: 2 of ")));
    EXPECT_EQ(told.value(3),
              QStringLiteral("The replaced trail ended with row %1 of %2, seal %3")
                  .arg(deleted.id)
                  .arg(Audit::shownDate(deleted.eventDate), deleted.seal));
    EXPECT_EQ(told.value(4), QStringLiteral("Rows carried over from the replaced trail: 2"));
    // The desk's anchor (the delete) and the backup's both still hold.
    const Audit::CheckReport report = AuditAnchors::checkTrail(w.ctx());
    EXPECT_TRUE(report.whole) << report.text().toStdString();
    EXPECT_EQ(AuditAnchors::known(w.ctx()).size(), 2u);

    // Undoing the restore carries only the restore's own row back.
    w.db().Close();
    DatabaseFiles::restoreDatabase(DatabaseFiles::beforeRestorePath(working) + QStringLiteral(""),
                                   working, QString(), {}, nullptr);
    SystemModule::connect(w.ctx());
    EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), 5);
    EXPECT_EQ(Audit::newest(w.db()).action, QStringLiteral("Restore"));
    EXPECT_TRUE(Audit::check(w.db()).whole);
}

TEST(AuditSealRestore, ABrokenSourceOrAnUnreadableWorkingFileIsRestoredAndSaysSo)
{
    TestWorld w;
    signIn(w);
    addRows(w, 3);
    const AuditWho who = w.db().who();
    const QString backup = w.path(QStringLiteral("desktop/backup.mdb"));
    DatabaseFiles::backupDatabase(w.ctx().databaseFile(), backup, QString(), {}, nullptr);
    QProcess tool;
    tool.start(QStringLiteral("sqlcipher"),
               {backup,
                QStringLiteral("DROP TRIGGER AuditTrailNoUpdate; UPDATE AuditTrail SET "
                               "Changes = 'x' WHERE AuditID = 2;")});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    const QString working = w.ctx().databaseFile();
    w.db().Close();
    {
        // Garbage where the working file's pages were.
        QFile damaged(working);
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write(QByteArray(8192, '\x5a'));
    }
    DatabaseFiles::restoreDatabase(backup, working, QString(), {}, &who);
    SystemModule::connect(w.ctx());
    const QString told = Audit::newest(w.db()).changes;
    EXPECT_TRUE(told.contains(QStringLiteral("The source's trail did not check: Row 2 of ")))
        << told.toStdString();
    EXPECT_TRUE(told.contains(QStringLiteral("The replaced trail could not be read.")))
        << told.toStdString();
}

namespace {

// Runs administrative SQL on the tests' server as its superuser.
void onServer(const QString &database, const QString &sql)
{
    PgEngine admin(testServerUri(database), testServerPassword());
    admin.executeRaw(sql);
}

void applyServerScript(const QString &database, const QString &owner, const QString &desks)
{
    QProcess tool;
    tool.start(QStringLiteral(MEDLANTIS_SERVER_SCHEMA), {owner, desks});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0);
    const QByteArray sql = tool.readAllStandardOutput();
    QProcess psql;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), testServerPassword());
    psql.setProcessEnvironment(env);
    psql.start(QStringLiteral("psql"),
               {QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-q"),
                QStringLiteral("--single-transaction"), QStringLiteral("-h"),
                QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                qEnvironmentVariable("MEDLANTIS_TEST_PG_PORT"), QStringLiteral("-U"),
                qEnvironmentVariable("MEDLANTIS_TEST_PG_USER", QStringLiteral("medlantis")),
                QStringLiteral("-d"), database});
    ASSERT_TRUE(psql.waitForStarted());
    psql.write(sql);
    psql.closeWriteChannel();
    ASSERT_TRUE(psql.waitForFinished(60000));
    ASSERT_EQ(psql.exitCode(), 0) << psql.readAllStandardError().toStdString();
}

} // namespace

TEST(AuditSealServerRoles, TheDesksRoleUsesTheTablesButNeverChangesTheTrailOrTheSchema)
{
    if (!testServerUnavailable().isEmpty())
        GTEST_SKIP() << testServerUnavailable().toStdString();
    const QString tag = QString::number(QCoreApplication::applicationPid());
    const QString database = QStringLiteral("medlantis_roles_") + tag;
    const QString owner = QStringLiteral("medlantis_owner_") + tag;
    const QString desks = QStringLiteral("medlantis_desks_") + tag;
    const QString password = QStringLiteral("desk-pass-") + tag;
    onServer(QStringLiteral("postgres"),
             QStringLiteral("CREATE ROLE %1 NOLOGIN; CREATE ROLE %2 LOGIN PASSWORD '%3'")
                 .arg(owner, desks, password));
    onServer(QStringLiteral("postgres"),
             QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(database, owner));
    const QString uri = QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
                            .arg(desks, qEnvironmentVariable("MEDLANTIS_TEST_PG_PORT"), database);
    const QString ask = QStringLiteral(
        " Ask the practice's administrator to run tools/create-practice-database.sh.");
    const auto cleanUp = [&] {
        onServer(QStringLiteral("postgres"),
                 QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
        onServer(
            QStringLiteral("postgres"),
            QStringLiteral("DROP ROLE IF EXISTS %1; DROP ROLE IF EXISTS %2").arg(owner, desks));
    };
    struct Cleanup
    {
        std::function<void()> run;
        ~Cleanup() { run(); }
    } cleanup{cleanUp};

    {
        Connection desk;
        desk.Open(uri, password);
        EXPECT_FALSE(Schema::mayChangeSchema(desk.engine()));
    }
    const QString where = QStringLiteral("%1 on 127.0.0.1").arg(database);
    EXPECT_EQ(serverProblem(uri, password, true),
              QStringLiteral("The database %1 has no Medlantis tables.").arg(where) + ask);

    // Twice: the second run finds everything in place and changes nothing.
    applyServerScript(database, owner, desks);
    applyServerScript(database, owner, desks);
    EXPECT_EQ(serverProblem(uri, password, false), QString());

    Connection desk;
    desk.Open(uri, password);
    desk.setWhoSource([] {
        return AuditWho{QStringLiteral("Anna"), QStringLiteral("Staff"), QStringLiteral("desk1")};
    });
    desk.Execute(
        QStringLiteral("insert into PatientRecords (PatientID, LastName) values (1, 'Doe')"));
    desk.Execute(QStringLiteral("update PatientRecords set City = 'Oslo' where PatientID = 1"));
    desk.Execute(QStringLiteral("insert into Users (UserID, UserName) values (1, 'x')"));
    desk.Execute(QStringLiteral("delete from Users"));
    Audit::add(desk,
               {QStringLiteral("Update"), QStringLiteral("PatientRecords"), 1, 1,
                QStringLiteral("City:  -> Oslo")});
    auto &server = dynamic_cast<PgEngine &>(desk.engine());
    for (const char *sql :
         {"UPDATE \"AuditTrail\" SET \"Changes\" = 'x'", "DELETE FROM \"AuditTrail\"",
          "TRUNCATE \"AuditTrail\"", "DROP TABLE \"AuditTrail\"",
          "ALTER TABLE \"PatientRecords\" ADD COLUMN \"Extra\" text",
          "DROP TRIGGER \"AuditTrailNoUpdate\" ON \"AuditTrail\"",
          "CREATE TABLE \"Other\" (\"OtherID\" bigint PRIMARY KEY)"}) {
        SCOPED_TRACE(sql);
        try {
            server.executeRaw(QLatin1String(sql));
            ADD_FAILURE() << "the statement ran";
        } catch (const DbError &e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("permission denied"))
                        || e.description().contains(QStringLiteral("must be owner")))
                << e.description().toStdString();
        }
    }
    EXPECT_TRUE(Audit::check(desk).whole);
    EXPECT_EQ(Audit::newest(desk).changes, QStringLiteral("City:  -> Oslo"));

    // A database that a newer version would find older: the desk only says so.
    onServer(database, QStringLiteral("ALTER TABLE \"AuditTrail\" DROP COLUMN \"Seal\""));
    EXPECT_EQ(
        serverProblem(uri, password, false),
        QStringLiteral("The database %1 was made by an older version of Medlantis.").arg(where)
            + ask);
    applyServerScript(database, owner, desks);
    EXPECT_EQ(serverProblem(uri, password, false), QString());

    // A role that owns the database (set up as before) upgrades it itself.
    onServer(database,
             QStringLiteral("ALTER TABLE \"AuditTrail\" DROP COLUMN \"Seal\"; "
                            "DROP TRIGGER \"AuditTrailNoDelete\" ON \"AuditTrail\""));
    Connection admin;
    admin.Open(testServerUri(database), testServerPassword());
    EXPECT_TRUE(Schema::mayChangeSchema(admin.engine()));
    EXPECT_EQ(Schema::lacking(admin.engine()),
              QStringList({"AuditTrail.Seal", "AuditTrailNoDelete"}));
    Schema::createMissing(admin);
    EXPECT_EQ(Schema::lacking(admin.engine()), QStringList());
}
