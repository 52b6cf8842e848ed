#include <signal.h>

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#include "data/DbError.h"
#include "data/PgEngine.h"
#include "data/Schema.h"
#include "patients/PatientListModel.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmPatientList.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "support/TestWorld.h"
#include "users/Form1.h"

// A server that stops answering (its process stopped, as a hung machine whose
// kernel still acknowledges) costs a desk the deadline, never a hang, and what
// the desk then says about the work is true.
namespace {

constexpr int kDeadline = 2;

PgEngine &serverOf(TestWorld &w)
{
    return dynamic_cast<PgEngine &>(w.db().engine());
}

// A server world whose desk gives the server kDeadline seconds.
void useShortDeadline(TestWorld &w)
{
    w.ctx().settings().SaveSetting(SettingKeys::ServerTimeoutSeconds,
                                   QString::number(kDeadline));
    SystemModule::connect(w.ctx());
}

int backendOf(TestWorld &w)
{
    return w.scalar(QStringLiteral("select pg_backend_pid()")).toInt();
}

// Sends SIGCONT to a stopped server process after a while, at the latest when
// the test ends, so that no test leaves it stopped or hangs on it.
class Resume
{
public:
    Resume(int pid, int afterMs) : m_pid(pid)
    {
        m_thread = std::thread([this, afterMs] {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(afterMs), [this] { return m_now; });
            ::kill(m_pid, SIGCONT);
        });
    }
    ~Resume() { now(); }
    void now()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_now = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    int m_pid;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_now = false;
    std::thread m_thread;
};

// Waits until the server process has ended (its client went away), so that
// what it held is let go; false when it still runs after ten seconds.
bool waitUntilGone(int pid)
{
    PgEngine admin(testServerUri(QStringLiteral("postgres")), testServerPassword());
    for (int i = 0; i < 100; ++i) {
        const ResultRows rows = admin.queryRaw(
            QStringLiteral("select count(*) from pg_stat_activity where pid = %1").arg(pid));
        if (rows.value(rows.cells.at(0)).toInt() == 0)
            return true;
        QThread::msleep(100);
    }
    return false;
}

// A trigger on the patients that stops its own server process once per
// transaction: at the statement (row) or at the commit (deferred), and then,
// when resumed, lets the transaction through or fails it.
void freezeOnSave(TestWorld &w, bool atCommit, bool failAfter)
{
    PgEngine &pg = serverOf(w);
    pg.executeRaw(QStringLiteral(
        "CREATE OR REPLACE FUNCTION medlantis_test_freeze() RETURNS trigger LANGUAGE plpgsql "
        "AS $$ BEGIN "
        "IF current_setting('medlantis_test.frozen', true) IS DISTINCT FROM 'y' THEN "
        "PERFORM set_config('medlantis_test.frozen', 'y', true); "
        "EXECUTE format('COPY (SELECT 1) TO PROGRAM %L', "
        "'cat >/dev/null; kill -STOP ' || pg_backend_pid()); "
        "IF TG_ARGV[0] = 'fail' THEN RAISE EXCEPTION 'refused after the freeze'; END IF; "
        "END IF; RETURN NULL; END $$"));
    pg.executeRaw(
        QStringLiteral("DROP TRIGGER IF EXISTS medlantis_test_freeze ON \"PatientRecords\""));
    pg.executeRaw(
        QStringLiteral("CREATE %1 TRIGGER medlantis_test_freeze AFTER INSERT OR UPDATE ON "
                       "\"PatientRecords\" %2 FOR EACH ROW EXECUTE FUNCTION "
                       "medlantis_test_freeze('%3')")
            .arg(atCommit ? QStringLiteral("CONSTRAINT") : QString(),
                 atCommit ? QStringLiteral("DEFERRABLE INITIALLY DEFERRED") : QString(),
                 failAfter ? QStringLiteral("fail") : QStringLiteral("keep")));
}

void unfreeze(TestWorld &w)
{
    serverOf(w).executeRaw(
        QStringLiteral("DROP TRIGGER IF EXISTS medlantis_test_freeze ON \"PatientRecords\""));
}

// Saves a new patient through the editor; the seconds the save took.
double saveNewPatient(TestWorld &w, const QString &lastName)
{
    w.ctx().EditPatientID.clear();
    w.ctx().modalHook = [lastName](Form &form) {
        auto &ed = static_cast<frmAddNewPatient &>(form);
        ed.txtLastname->setText(lastName);
        ed.txtFirstName->setText(QStringLiteral("Ann"));
        ed.cmdSave->click();
        ed.close();
    };
    QElapsedTimer clock;
    clock.start();
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>());
    return double(clock.elapsed()) / 1000.0;
}

int patientsNamed(TestWorld &w, const QString &lastName)
{
    return w.scalar(QStringLiteral("select count(*) from PatientRecords where LastName='%1'")
                        .arg(lastName))
        .toInt();
}

void report(const char *what, double seconds)
{
    std::printf("[ timing ] %s: %.2f s (deadline %d s)\n", what, seconds, kDeadline);
}

class SilentServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!testServerUnavailable().isEmpty())
            GTEST_SKIP() << testServerUnavailable().toStdString();
    }

    void signIn(TestWorld &w)
    {
        w.ctx().CurrentUser.UserID = 1;
        w.ctx().CurrentUser.UserName = QStringLiteral("Anna");
        w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    }
};

const QString kLate = QStringLiteral("The database server at 127.0.0.1:%1 did not answer within "
                                     "2 seconds");

QString late()
{
    return kLate.arg(qEnvironmentVariable("MEDLANTIS_TEST_PG_PORT"));
}

} // namespace

TEST_F(SilentServer, ASaveFrozenBeforeItsCommitIsNotDoneAndTheNextSaveWorks)
{
    TestWorld w(EngineKind::Server);
    useShortDeadline(w);
    signIn(w);
    const int pid = backendOf(w);
    freezeOnSave(w, false, false);
    double seconds = 0;
    {
        Resume resume(pid, 30000);
        seconds = saveNewPatient(w, QStringLiteral("Frozen"));
        resume.now();
    }
    report("save frozen before its commit", seconds);
    EXPECT_TRUE(w.prompter().texts().join('|').contains(
        late() + QStringLiteral(", so this was not done. Please try again.")))
        << w.prompter().texts().join('|').toStdString();
    ASSERT_TRUE(waitUntilGone(pid));
    unfreeze(w);
    EXPECT_EQ(patientsNamed(w, QStringLiteral("Frozen")), 0);

    w.prompter().clear();
    saveNewPatient(w, QStringLiteral("Thawed"));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(patientsNamed(w, QStringLiteral("Thawed")), 1);
}

TEST_F(SilentServer, AFrozenCommitSaysTrulyWhetherItWasSaved)
{
    struct Case
    {
        const char *name;
        int resumeAfterMs; // while the desk still asks, or only after it gave up
        bool failAfter;
        const char *told;
        int rowsAfter;
    };
    const Case cases[] = {
        {"resumed and committed", 3000, false, ", so it is not known whether this was saved. "
                                               "It was saved.", 1},
        {"resumed and failed", 3000, true, ", so it is not known whether this was saved. It "
                                           "was not saved; please try again.", 0},
        {"still stopped", 30000, false, ", so it is not known whether this was saved. Check "
                                        "the record before saving again.", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld w(EngineKind::Server);
        useShortDeadline(w);
        signIn(w);
        const int pid = backendOf(w);
        freezeOnSave(w, true, c.failAfter);
        double seconds = 0;
        {
            Resume resume(pid, c.resumeAfterMs);
            seconds = saveNewPatient(w, QStringLiteral("Committing"));
            resume.now();
        }
        report(c.name, seconds);
        EXPECT_TRUE(w.prompter().texts().join('|').contains(late() + QLatin1String(c.told)))
            << w.prompter().texts().join('|').toStdString();
        ASSERT_TRUE(waitUntilGone(pid));
        unfreeze(w);
        // What was said holds: saved is there, not saved is not.
        if (c.rowsAfter >= 0)
            EXPECT_EQ(patientsNamed(w, QStringLiteral("Committing")), c.rowsAfter);
        w.prompter().clear();
        saveNewPatient(w, QStringLiteral("Next"));
        EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
        EXPECT_EQ(patientsNamed(w, QStringLiteral("Next")), 1);
    }
}

TEST_F(SilentServer, AListLoadAndASignInOnAStoppedServerGiveUpAtTheDeadline)
{
    TestWorld w(EngineKind::Server);
    useShortDeadline(w);
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addPatient(1, QStringLiteral("Smith"), QStringLiteral("Anna"));
    Form1 &login = w.ctx().window<Form1>();
    login.show();
    login.cboUsers->setCurrentIndex(login.cboUsers->findText(QStringLiteral("Admin")));
    login.txtPassword->setText(QStringLiteral("secret1"));

    const auto stopped = [&w](const char *what, const std::function<void()> &action) {
        const int pid = backendOf(w);
        ASSERT_EQ(::kill(pid, SIGSTOP), 0);
        Resume resume(pid, 30000);
        QElapsedTimer clock;
        clock.start();
        action();
        report(what, double(clock.elapsed()) / 1000.0);
        resume.now();
        EXPECT_TRUE(w.prompter().texts().join('|').contains(
            late() + QStringLiteral(", so this was not done. Please try again.")))
            << what << ": " << w.prompter().texts().join('|').toStdString();
        w.prompter().clear();
    };
    stopped("sign-in", [&] { login.cmdLogin->click(); });
    EXPECT_TRUE(w.ctx().CurrentUser.UserName.isEmpty());
    login.cmdLogin->click();
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(w.ctx().CurrentUser.UserName, QStringLiteral("Admin"));

    frmPatientList &list = w.ctx().window<frmPatientList>();
    list.show();
    ASSERT_EQ(list.model().rowCount(), 1);
    stopped("list load", [&] { list.txtSearch->setText(QStringLiteral("smi")); });
    list.txtSearch->setText(QStringLiteral("smit"));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(list.model().rowCount(), 1);
}

TEST_F(SilentServer, TheServersRefusalsReadInWords)
{
    TestWorld w(EngineKind::Server);
    // Another desk holds the write lock; this one waits a moment, not the usual 15 s.
    Connection other;
    other.Open(w.ctx().databaseFile(), w.ctx().databasePassword());
    Transaction holding(other);
    serverOf(w).executeRaw(QStringLiteral("SET lock_timeout = 300"));
    try {
        Transaction waiting(w.db());
        ADD_FAILURE() << "the write lock was taken twice";
    } catch (const DbError &e) {
        EXPECT_EQ(e.description(), QStringLiteral("The database is busy: another workstation is "
                                                  "writing to it. Please try again."));
    }
    try {
        w.exec(QStringLiteral("update NoSuchTable set x = 1"));
        ADD_FAILURE() << "a missing table was written";
    } catch (const DbError &e) {
        EXPECT_FALSE(e.description().contains(QLatin1String("ERROR:")))
            << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QLatin1String("does not exist")))
            << e.description().toStdString();
    }
}

TEST_F(SilentServer, AFailedStartConnectsOnceTheServerDatabaseIsThere)
{
    TestWorld w(false);
    const QString database =
        QStringLiteral("medlantis_test_late_%1").arg(QCoreApplication::applicationPid());
    const QString uri = testServerUri(database);
    w.ctx().settings().SaveSetting(SettingKeys::DatabaseFile, uri);
    w.ctx().settings().SaveSetting(SettingKeys::DatabasePassword, testServerPassword());
    SystemModule::connect(w.ctx());
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    const QString atStart = QStringLiteral("has no database \"%1\"").arg(database);
    EXPECT_TRUE(w.prompter().last().text.contains(atStart))
        << w.prompter().last().text.toStdString();
    // Each action that needs the database tries again, in the same words.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            w.count(QStringLiteral("PatientRecords"));
            ADD_FAILURE() << "read a database that is not there";
        } catch (const DbError &e) {
            EXPECT_TRUE(e.description().contains(atStart)) << e.description().toStdString();
        }
    }
    PgEngine admin(testServerUri(QStringLiteral("postgres")), testServerPassword());
    admin.executeRaw(QStringLiteral("CREATE DATABASE %1").arg(database));
    {
        Connection setup;
        setup.Open(uri, testServerPassword());
        Schema::createMissing(setup);
    }
    w.addPatient(7, QStringLiteral("Late"), QStringLiteral("Lou"));
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
    w.db().Close();
    admin.executeRaw(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
}

TEST_F(SilentServer, AnIndexBuildLongerThanTheDeadlineGoesOnWhileItMakesProgress)
{
    TestWorld w(EngineKind::Server);
    useShortDeadline(w);
    PgEngine &pg = serverOf(w);
    // One row a page, and a key that takes a while to compute: the build runs
    // about twice the deadline, its scan advancing a page at a time.
    pg.executeRaw(QStringLiteral(
        "CREATE FUNCTION medlantis_test_slow(n bigint) RETURNS bigint LANGUAGE plpgsql "
        "IMMUTABLE AS $$ BEGIN PERFORM pg_sleep(0.05); RETURN n; END $$"));
    pg.executeRaw(QStringLiteral("CREATE TABLE slow_rows (n bigint, pad text) WITH "
                                 "(fillfactor = 10)"));
    pg.executeRaw(QStringLiteral("ALTER TABLE slow_rows ALTER pad SET STORAGE PLAIN"));
    pg.executeRaw(QStringLiteral("INSERT INTO slow_rows SELECT g, repeat('x', 1500) FROM "
                                 "generate_series(1, 80) g"));
    QElapsedTimer clock;
    clock.start();
    pg.createSchemaObject(
        QStringLiteral("CREATE INDEX slow_rows_n ON slow_rows (medlantis_test_slow(n))"));
    report("index build", double(clock.elapsed()) / 1000.0);
    EXPECT_GT(clock.elapsed(), kDeadline * 1000) << "the build was too quick to show anything";
    EXPECT_TRUE(pg.schemaObjects().contains(QStringLiteral("slow_rows_n")));
}
