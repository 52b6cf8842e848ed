#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "data/PgEngine.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmBackupData.h"
#include "maintenance/frmRestoreData.h"
#include "patients/PatientListModel.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmPatientList.h"
#include "patients/frmSearchPatient.h"
#include "app/MDIFormMain.h"
#include "shell/Settings.h"
#include "app/Startup.h"
#include "shell/SystemModule.h"
#include "shell/TextArea.h"
#include "support/TestWorld.h"
#include "users/Form1.h"
#include "visits/VisitListModel.h"
#include "visits/frmAddNewPatientRecord.h"
#include "visits/frmPatientHistory.h"

// The everyday work of a desk, on the embedded file and on the server alike.
namespace {

class OnBothEngines : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }

    void signIn(TestWorld &w)
    {
        w.signIn(1, QStringLiteral("Anna"), QStringLiteral("Administrator"));
        w.ctx().window<MDIFormMain>().show();
    }
};

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

INSTANTIATE_TEST_SUITE_P(, OnBothEngines,
                         ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

TEST_P(OnBothEngines, SignInOpensTheMainWindowAndLogsTheSession)
{
    TestWorld w(GetParam());
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.addUser(2, QStringLiteral("Anna"), QStringLiteral("Anna's pw"), QStringLiteral("Staff"));
    Form1 &login = w.ctx().window<Form1>();
    login.show();
    login.cboUsers->setCurrentIndex(login.cboUsers->findText(QStringLiteral("Anna")));
    login.txtPassword->setText(QStringLiteral("wrong"));
    login.cmdLogin->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"Invalid Password."});
    login.txtPassword->setText(QStringLiteral("Anna's pw"));
    login.cmdLogin->click();
    EXPECT_TRUE(w.ctx().window<MDIFormMain>().isVisible());
    EXPECT_EQ(w.ctx().CurrentUser.Privilege, QStringLiteral("Staff"));
    EXPECT_EQ(w.scalar(QStringLiteral("select UserName from UserLog")), QStringLiteral("Anna"));
    EXPECT_EQ(w.ctx().OwnLogID, 1);
}

TEST_P(OnBothEngines, APatientIsSavedAndFoundBySearch)
{
    TestWorld w(GetParam());
    signIn(w);
    w.addPatient(1, QStringLiteral("Smith"), QStringLiteral("Anna"));
    w.ctx().EditPatientID.clear();
    w.ctx().modalHook = [](Form &form) {
        auto &ed = static_cast<frmAddNewPatient &>(form);
        ed.txtLastname->setText(QStringLiteral("Ó'Brien"));
        ed.txtFirstName->setText(QStringLiteral("Séan"));
        ed.txtNotes->setText(QStringLiteral("Allergic to 100% of cats \\ dogs"));
        ed.cmdSave->click();
    };
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>());
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(w.scalar(QStringLiteral("select PatientID from PatientRecords where "
                                      "FirstName='Séan'")),
              2);

    frmPatientList &list = w.ctx().window<frmPatientList>();
    ASSERT_TRUE(list.isVisible());
    EXPECT_EQ(list.model().rowCount(), 2);
    list.txtSearch->setText(QStringLiteral("ó'b"));
    ASSERT_EQ(list.model().rowCount(), 1);
    EXPECT_EQ(list.model().text(0, PatientListModel::LastName), QStringLiteral("Ó'Brien"));
    list.txtSearch->clear();
    EXPECT_EQ(list.model().rowCount(), 2);
}

TEST_P(OnBothEngines, AnEmojiPastedAtABoxLimitIsStoredWhole)
{
    TestWorld w(GetParam());
    signIn(w);
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString digits = QStringLiteral("1234567890123456789");
    w.ctx().EditPatientID.clear();
    w.ctx().modalHook = [&](Form &form) {
        auto &ed = static_cast<frmAddNewPatient &>(form);
        ed.txtLastname->setText(QStringLiteral("Limit"));
        ed.txtFirstName->setText(QStringLiteral("Lena"));
        ed.txtSSN->insert(digits + smile + QStringLiteral("0")); // a paste one past the limit
        ed.txtCity->insert(QStringLiteral("x").repeated(49) + smile + smile);
        ed.cmdSave->click();
    };
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>());
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(w.scalar(QStringLiteral("select SSN from PatientRecords where LastName='Limit'")),
              digits + smile);
    EXPECT_EQ(w.scalar(QStringLiteral("select City from PatientRecords where LastName='Limit'")),
              QStringLiteral("x").repeated(49) + smile);
}

TEST_P(OnBothEngines, AVisitIsSavedAndListed)
{
    TestWorld w(GetParam());
    signIn(w);
    w.addPatient(4, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.ctx().SelectedPatientID = QStringLiteral("4");
    w.ctx().SelectedHistoryID.clear();
    frmPatientHistory &list = w.ctx().window<frmPatientHistory>();
    list.setPatient(QStringLiteral("4"), QStringLiteral("JANE DOE"));
    frmAddNewPatientRecord &editor = w.ctx().window<frmAddNewPatientRecord>();
    editor.show();
    editor.txtChiefComplaint->setText(QStringLiteral("Cough"));
    editor.txtDiagnosis->setText(QStringLiteral("Bronchitis,\r\nmild"));
    editor.cmdSave->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"Record Successfully Saved."});
    ASSERT_EQ(list.visits().rowCount(), 1);
    EXPECT_EQ(list.visits().text(0, VisitListModel::ChiefComplaint), QStringLiteral("Cough"));
    EXPECT_EQ(w.scalar(QStringLiteral("select Diagnosis from MedicalHistory")),
              QStringLiteral("Bronchitis,\r\nmild"));
}

TEST_P(OnBothEngines, ThePatientListIsExported)
{
    TestWorld w(GetParam());
    signIn(w);
    w.addPatient(1, QStringLiteral("Cruz"), QStringLiteral("Ana"), QStringLiteral("1990-02-03"));
    w.addPatient(2, QStringLiteral("Żółć"), QStringLiteral("Łukasz"));
    const QString file = w.path(QStringLiteral("patients.csv"));
    w.prompter().files.push_back(file);
    w.ctx().window<MDIFormMain>().CommandBars_Execute(9058, QStringLiteral("CSV"));
    EXPECT_EQ(readAll(file),
              QStringLiteral("\"Patient ID\",\"Last Name\",\"First Name\",\"Middle Name\","
                             "\"Birth Date\",\"Gender\",\"Marital Status\",\"Phone Number\","
                             "\"Mobile Number\",\r\n"
                             "\"1\",\"Cruz\",\"Ana\",\"\",\"1990-02-03\",\"Male\",\"Single\",\"\","
                             "\"\",\r\n"
                             "\"2\",\"Żółć\",\"Łukasz\",\"\",\"1980-05-17\",\"Male\",\"Single\","
                             "\"\",\"\",\r\n\r\n"));
}

TEST_P(OnBothEngines, ABackupBringsBackADeletedPatientAndItsVisit)
{
    TestWorld w(GetParam());
    signIn(w);
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    addVisit(w, 1, 1, QStringLiteral("2024-03-01"), QStringLiteral("Fever"));
    {
        Recordset rs;
        rs.Open(QStringLiteral("select Photo from PatientRecords where PatientID=1"), w.db());
        rs.setValue(QStringLiteral("Photo"), QByteArray("\x00\x01\xff photo", 10));
        rs.Update();
    }
    frmBackupData &backup = w.ctx().window<frmBackupData>();
    backup.show();
    backup.Text1->setText(w.path(QStringLiteral("desktop")) + QDir::separator());
    backup.cmdSave->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"Database successfully backup."});
    const QString copy = w.path(QStringLiteral("desktop/dbData.mdb"));
    // Every backup is a file of the embedded kind, whichever engine it came from.
    EXPECT_TRUE(DatabaseFiles::isUsableDatabase(copy, w.ctx().databasePassword()));

    w.exec(QStringLiteral("delete from PatientRecords"));
    w.exec(QStringLiteral("delete from MedicalHistory"));
    w.addPatient(9, QStringLiteral("Added"), QStringLiteral("Later"));
    w.prompter().clear();
    frmRestoreData &restore = w.ctx().window<frmRestoreData>();
    restore.show();
    restore.Text1->setText(copy);
    restore.cmdBackup->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"Database successfully restored."});
    ASSERT_EQ(w.db().State(), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select LastName from PatientRecords")), "Doe");
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
    EXPECT_EQ(w.scalar(QStringLiteral("select ChiefComplaint from MedicalHistory")), "Fever");
    EXPECT_EQ(w.scalar(QStringLiteral("select Photo from PatientRecords")).toByteArray(),
              QByteArray("\x00\x01\xff photo", 10));

    // A file that is not a whole Medlantis database changes nothing.
    w.prompter().clear();
    const QString broken = w.path(QStringLiteral("broken.mdb"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database");
    f.close();
    restore.Text1->setText(broken);
    restore.cmdBackup->click();
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 1);
}

class OnTheServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!testServerUnavailable().isEmpty())
            GTEST_SKIP() << testServerUnavailable().toStdString();
    }
};

TEST_F(OnTheServer, AnEmptyDatabaseGetsItsTablesAndThenItsAdministrator)
{
    TestWorld w(EngineKind::Server, false);
    SingleInstance instance(w.path(QStringLiteral("runtime")));
    w.prompter().answers = {MsgAnswer::Yes};
    EXPECT_EQ(Main(w.ctx(), instance, [] { return QStringLiteral("4.5.4"); }), StartWindow::Setup);
    ASSERT_GE(w.prompter().boxes.size(), 1u);
    EXPECT_TRUE(w.prompter().boxes.front().text.startsWith(QStringLiteral("The database ")));
    EXPECT_TRUE(w.prompter().boxes.front().text.endsWith(
        QStringLiteral(" has no Medlantis tables. Create them now?")));
    EXPECT_TRUE(Schema::missingTables(w.db()).isEmpty());
    // No marker file anywhere: the accounts on the server decide.
    w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
              QStringLiteral("Administrator"));
    w.prompter().clear();
    SingleInstance again(w.path(QStringLiteral("runtime2")));
    EXPECT_EQ(Main(w.ctx(), again, [] { return QStringLiteral("4.5.4"); }), StartWindow::Login);
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
}

TEST_F(OnTheServer, AWrongAddressOrPasswordNamesWhatIsWrong)
{
    const QString port = qEnvironmentVariable("MEDLANTIS_TEST_PG_PORT");
    const QString user = qEnvironmentVariable("MEDLANTIS_TEST_PG_USER");
    const QString password = testServerPassword();
    struct Case
    {
        QString uri;
        QString password;
        QString says;
    };
    const Case cases[] = {
        {QStringLiteral("postgresql://%1@no-such-host.invalid:%2/postgres").arg(user, port),
         password, QStringLiteral("host \"no-such-host.invalid\" is not known")},
        {QStringLiteral("postgresql://%1@127.0.0.1:1/postgres").arg(user), password,
         QStringLiteral("127.0.0.1:1 does not answer")},
        {QStringLiteral("postgresql://nobody@127.0.0.1:%1/postgres").arg(port), password,
         QStringLiteral("user \"nobody\"")},
        {QStringLiteral("postgresql://%1@127.0.0.1:%2/no_such_db").arg(user, port), password,
         QStringLiteral("no database \"no_such_db\"")},
        {QStringLiteral("postgresql://%1@127.0.0.1:%2/postgres").arg(user, port),
         QStringLiteral("wrong"), QStringLiteral("password")},
        {QStringLiteral("postgresql://%1@127.0.0.1:%2/postgres").arg(user, port), password,
         QStringLiteral("has no Medlantis tables")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.uri.toStdString());
        const QString problem = serverProblem(c.uri, c.password, false);
        EXPECT_TRUE(problem.contains(c.says)) << problem.toStdString();
    }
}
