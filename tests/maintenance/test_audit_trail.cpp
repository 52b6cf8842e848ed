#include <functional>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTreeView>

#include <gtest/gtest.h>

#include "data/Audit.h"
#include "data/Cipher.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "maintenance/AuditTrailModel.h"
#include "maintenance/DatabaseFiles.h"
#include "maintenance/frmAuditTrail.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmMedicalHistory.h"
#include "patients/frmPatientList.h"
#include "app/MDIFormMain.h"
#include "shell/Ribbon.h"
#include "shell/SystemModule.h"
#include "shell/TextArea.h"
#include "support/TestWorld.h"
#include "users/frmAddNewUser.h"
#include "users/frmChangePassword.h"
#include "users/frmUserList.h"
#include "visits/frmAddNewPatientRecord.h"
#include "visits/frmPatientHistory.h"

namespace {

struct TrailRow
{
    QString action;
    QString table;
    QString record;
    QString patient;
    QString changes;
};

int trailCount(TestWorld &w)
{
    return w.count(QStringLiteral("AuditTrail"));
}

TrailRow newest(TestWorld &w)
{
    Recordset rs;
    rs.Open(QStringLiteral("select * from AuditTrail order by AuditID desc"), w.db(),
            adOpenStatic, adLockReadOnly);
    if (rs.isEOF())
        return {};
    return {rs.Text(QStringLiteral("Action")), rs.Text(QStringLiteral("TableName")),
            rs.Text(QStringLiteral("RecordID")), rs.Text(QStringLiteral("PatientID")),
            rs.Text(QStringLiteral("Changes"))};
}

void signIn(TestWorld &w, const QString &privilege = QStringLiteral("Administrator"))
{
    w.signIn(1, QStringLiteral("Anna"), privilege, QStringLiteral("annapass"));
    w.ctx().window<MDIFormMain>().show();
}

void inPatientEditor(TestWorld &w, const QString &id,
                     const std::function<void(frmAddNewPatient &)> &script)
{
    w.ctx().EditPatientID = id;
    w.ctx().modalHook = [&](Form &f) { script(static_cast<frmAddNewPatient &>(f)); };
    w.ctx().showModal(w.ctx().window<frmAddNewPatient>());
    w.ctx().modalHook = [](Form &) {};
}

class AuditTrail : public ::testing::TestWithParam<EngineKind>
{
protected:
    void SetUp() override { SKIP_WITHOUT_SERVER(GetParam()); }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(, AuditTrail,
                         ::testing::Values(EngineKind::Embedded, EngineKind::Server),
                         [](const auto &info) { return engineName(info.param); });

TEST_P(AuditTrail, EveryKindOfWriteLeavesExactlyOneRowWithWhatItChanged)
{
    TestWorld w(GetParam());
    signIn(w);
    const QString backup = w.path(QStringLiteral("desktop/backup.mdb"));
    const QString csv = w.path(QStringLiteral("list.csv"));
    struct Step
    {
        const char *what;
        std::function<void()> run;
        TrailRow expected;
        int rows = 1;
    };
    const Step steps[] = {
        {"a new patient",
         [&] {
             inPatientEditor(w, QString(), [](frmAddNewPatient &ed) {
                 ed.txtLastname->setText(QStringLiteral("O'Doe"));
                 ed.txtFirstName->setText(QStringLiteral("Jane"));
                 ed.txtPhoneNumber->setText(QStringLiteral("555-0100"));
                 ed.cmdSave->click();
             });
         },
         {"Add", "PatientRecords", "1", "1", "LastName: O'Doe"}},
        {"a changed phone number",
         [&] {
             inPatientEditor(w, QStringLiteral("1"), [](frmAddNewPatient &ed) {
                 ed.txtPhoneNumber->setText(QStringLiteral("555-0199"));
                 ed.cmdSave->click();
             });
         },
         // The opening of the record, then the change.
         {"Update", "PatientRecords", "1", "1", "Phone: 555-0100 -> 555-0199"},
         2},
        {"a medical history with an apostrophe and a line break",
         [&] {
             w.ctx().SelectedPatientID = QStringLiteral("1");
             frmMedicalHistory &f = w.ctx().window<frmMedicalHistory>();
             f.show();
             f.txtAllergies->setText(QStringLiteral("nurse's latex\r\ngloves"));
             f.cmdSave->click();
         },
         {"Update", "PatientRecords", "1", "1", "Allergies:  -> nurse's latex\r\ngloves"},
         2},
        {"a new visit",
         [&] {
             w.ctx().SelectedPatientID = QStringLiteral("1");
             w.ctx().SelectedHistoryID.clear();
             frmAddNewPatientRecord &f = w.ctx().window<frmAddNewPatientRecord>();
             f.show();
             f.txtChiefComplaint->setText(QStringLiteral("Cough"));
             f.cmdSave->click();
         },
         {"Add", "MedicalHistory", "1", "1", "ChiefComplaint: Cough"}},
        {"a changed visit",
         [&] {
             w.ctx().SelectedHistoryID = QStringLiteral("1");
             frmAddNewPatientRecord &f = w.ctx().window<frmAddNewPatientRecord>();
             f.show();
             f.txtNurse->setText(QStringLiteral("Kim"));
             f.cmdSave->click();
         },
         {"Update", "MedicalHistory", "1", "1", "Nurse:  -> Kim"},
         2},
        {"a deleted visit",
         [&] {
             frmPatientHistory &list = w.ctx().window<frmPatientHistory>();
             list.setPatient(QStringLiteral("1"), QStringLiteral("JANE O'DOE"));
             list.show();
             w.prompter().answers = {MsgAnswer::Yes};
             list.Toolbar1_ButtonClick(2);
         },
         {"Delete", "MedicalHistory", "1", "1", "ChiefComplaint: Cough"}},
        {"a printed patient list",
         [&] { w.ctx().window<MDIFormMain>().CommandBars_Execute(9028, "Print Patient List"); },
         {"Print", "Patient List", "", "1", "Rows: 1"}},
        {"an exported patient list",
         [&] {
             w.prompter().files = {csv};
             w.ctx().window<MDIFormMain>().CommandBars_Execute(9058, QStringLiteral("CSV"));
         },
         {"Export", "CSV file", "", "1", "To: " + csv}},
        {"a new account",
         [&] {
             w.ctx().UserEditorMode = QStringLiteral("Save");
             frmAddNewUser &f = w.ctx().window<frmAddNewUser>();
             f.cmdSave->setText(QStringLiteral("Save"));
             f.show();
             f.txtUserName->setText(QStringLiteral("Bert"));
             f.cboPrivilege->setCurrentIndex(f.cboPrivilege->findText(QStringLiteral("Staff")));
             f.txtPassword->setText(QStringLiteral("bertpass"));
             f.txtRetype->setText(QStringLiteral("bertpass"));
             f.cmdSave->click();
         },
         {"Add", "Users", "2", "", "UserName: Bert"}},
        {"a changed account",
         [&] {
             Recordset &rs = w.ctx().UserListRecordset;
             if (rs.State())
                 rs.Close();
             rs.Open(QStringLiteral("Select * from users where userid=2"), w.db());
             w.ctx().UserEditorMode = QStringLiteral("Update");
             frmAddNewUser &f = w.ctx().window<frmAddNewUser>();
             f.cmdSave->setText(QStringLiteral("Update"));
             f.hide();
             f.show();
             f.cboPrivilege->setCurrentIndex(
                 f.cboPrivilege->findText(QStringLiteral("Administrator")));
             f.txtPassword->setText(QStringLiteral("newpass1"));
             f.txtRetype->setText(QStringLiteral("newpass1"));
             f.cmdSave->click();
         },
         {"Update", "Users", "2", "", "Password: changed\nPrivilege: Staff -> Administrator"}},
        {"a new password",
         [&] {
             frmChangePassword &f = w.ctx().window<frmChangePassword>();
             f.show();
             f.txtOldPassword->setText(QStringLiteral("annapass"));
             f.txtNewPassword->setText(QStringLiteral("anna2pass"));
             f.txtRetypePassword->setText(QStringLiteral("anna2pass"));
             f.cmdLogin->click();
         },
         {"Password", "Users", "1", "", "Password: changed"}},
        {"a deleted account",
         [&] {
             frmUserList &list = w.ctx().window<frmUserList>();
             list.show();
             list.listUsers();
             const QAbstractItemModel *users = list.ListView1->model();
             for (int r = 0; r < users->rowCount(); ++r) {
                 if (users->index(r, 1).data().toString() == QLatin1String("Bert"))
                     list.ListView1->setCurrentIndex(users->index(r, 0));
             }
             w.prompter().answers = {MsgAnswer::Yes};
             list.Toolbar1_ButtonClick(3);
         },
         // The account's row, then one for its log rows.
         {"Delete", "UserLog", "", "", "UserName: Bert\nRows: 0"},
         2},
        {"a deleted patient",
         [&] {
             w.ctx().window<MDIFormMain>().CommandBars_Execute(9028, "View Patient List");
             w.prompter().answers = {MsgAnswer::Yes};
             w.ctx().window<frmPatientList>().Toolbar1_ButtonClick(2);
         },
         {"Delete", "PatientRecords", "1", "1", "LastName: O'Doe"}},
        {"a backup",
         [&] { DatabaseFiles::backupDatabase(w.ctx().databaseFile(), backup,
                                             w.ctx().databasePassword(), {}, nullptr); },
         {}},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        w.prompter().clear();
        const int before = trailCount(w);
        step.run();
        if (step.expected.action.isEmpty()) {
            // Without a who, the file functions leave the trail to their callers.
            EXPECT_EQ(trailCount(w), before);
            continue;
        }
        ASSERT_EQ(trailCount(w), before + step.rows)
            << w.prompter().texts().join('|').toStdString();
        const TrailRow row = newest(w);
        EXPECT_EQ(row.action, step.expected.action);
        EXPECT_EQ(row.table, step.expected.table);
        EXPECT_EQ(row.record, step.expected.record);
        EXPECT_EQ(row.patient, step.expected.patient);
        EXPECT_TRUE(row.changes.contains(step.expected.changes)) << row.changes.toStdString();
        // Never a password, nor a picture's bytes.
        EXPECT_FALSE(row.changes.contains(E(QStringLiteral("bertpass"))));
        EXPECT_FALSE(row.changes.contains(QStringLiteral("newpass1")));
    }
    // The whole row, for one of them: when, who and where.
    Recordset rs;
    rs.Open(QStringLiteral("select * from AuditTrail where AuditID=1"), w.db(), adOpenStatic,
            adLockReadOnly);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"))
                    .match(rs.Text(QStringLiteral("EventDate")))
                    .hasMatch())
        << rs.Text(QStringLiteral("EventDate")).toStdString();
    EXPECT_EQ(rs.Text(QStringLiteral("UserName")), QStringLiteral("Anna"));
    EXPECT_EQ(rs.Text(QStringLiteral("Privilege")), QStringLiteral("Administrator"));
    EXPECT_EQ(rs.Text(QStringLiteral("Workstation")), QSysInfo::machineHostName());
    // The deleted account's rows stay in the trail.
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from AuditTrail where TableName='Users' "
                                      "and RecordID=2"))
                  .toInt(),
              3);

    // Backup and restore through their windows name the one who did them.
    w.prompter().clear();
    const AuditWho who = w.db().who();
    DatabaseFiles::backupDatabase(w.ctx().databaseFile(), backup, w.ctx().databasePassword(),
                                  {}, &who);
    EXPECT_EQ(newest(w).action, QStringLiteral("Backup"));
    w.db().Close();
    DatabaseFiles::restoreDatabase(backup, w.ctx().databaseFile(), w.ctx().databasePassword(),
                                   {}, &who);
    SystemModule::connect(w.ctx());
    EXPECT_EQ(newest(w).action, QStringLiteral("Restore"));
    EXPECT_TRUE(newest(w).changes.startsWith(QStringLiteral("From: ") + backup + '\n'))
        << newest(w).changes.toStdString();
}

TEST_P(AuditTrail, AChangeThatCannotLeaveItsTraceIsNotMade)
{
    TestWorld w(GetParam());
    signIn(w);
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID, ChiefComplaint) "
                          "values (1, 1, 'Cough')"));
    w.exec(QStringLiteral("drop table AuditTrail"));

    inPatientEditor(w, QStringLiteral("1"), [](frmAddNewPatient &ed) {
        ed.txtPhoneNumber->setText(QStringLiteral("555-0199"));
        ed.cmdSave->click();
        EXPECT_TRUE(ed.isVisible());
    });
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(w.scalar(QStringLiteral("select Phone from PatientRecords")).toString().isEmpty());

    w.prompter().clear();
    frmPatientHistory &list = w.ctx().window<frmPatientHistory>();
    list.setPatient(QStringLiteral("1"), QStringLiteral("JANE DOE"));
    list.show();
    w.prompter().answers = {MsgAnswer::Yes};
    list.Toolbar1_ButtonClick(2);
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 1);
    EXPECT_FALSE(w.prompter().texts().contains(
        QStringLiteral("Patient visit record deleted successfully.")));
}

TEST(AuditTrailWindow, StaffHaveNoWayToIt)
{
    TestWorld w;
    signIn(w, QStringLiteral("Staff"));
    bool shown = false;
    w.ctx().modalHook = [&](Form &) { shown = true; };
    w.ctx().window<MDIFormMain>().CommandBars_Execute(9046, QStringLiteral("Audit Trail"));
    EXPECT_FALSE(shown);
    frmAuditTrail &f = w.ctx().window<frmAuditTrail>();
    f.show();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Administrator Required"));
    EXPECT_EQ(f.trail().rowCount(), 0);
}

TEST(AuditTrailWindow, FiltersShowTheChangesAndExportWhatIsShown)
{
    TestWorld w;
    signIn(w);
    const auto add = [&](const char *date, const char *user, int patient, const char *changes) {
        w.exec(QStringLiteral("insert into AuditTrail (AuditID, EventDate, UserName, Action, "
                              "TableName, RecordID, PatientID, Changes) values ((select "
                              "coalesce(max(AuditID), 0) + 1 from AuditTrail), '%1', '%2', "
                              "'Update', 'PatientRecords', %3, %3, '%4')")
                   .arg(QLatin1String(date), QLatin1String(user))
                   .arg(patient)
                   .arg(QLatin1String(changes)));
    };
    add("2026-01-05T10:00:00Z", "Anna", 1, "Phone: 1 -> 2");
    add("2026-02-10T10:00:00Z", "Bert", 2, "City: A -> B");
    add("2026-03-15T10:00:00Z", "Anna", 2, "Zip: 1 -> 2");
    for (int i = 0; i < 450; ++i)
        add("2026-04-01T10:00:00Z", "Carl", 3, "Notes:  -> x");

    frmAuditTrail &f = w.ctx().window<frmAuditTrail>();
    f.show();
    ASSERT_TRUE(f.isVisible());
    // Newest first, a page at a time (the list asks for more as it fills).
    EXPECT_LT(f.trail().rowCount(), 453);
    EXPECT_EQ(f.trail().text(0, AuditTrailModel::User), QStringLiteral("Carl"));
    while (f.trail().canFetchMore({}))
        f.trail().fetchMore({});
    EXPECT_EQ(f.trail().rowCount(), 453);
    EXPECT_EQ(f.trail().text(452, AuditTrailModel::User), QStringLiteral("Anna"));

    const auto shown = [&] {
        QStringList changes;
        for (int r = 0; r < f.trail().rowCount(); ++r)
            changes << f.trail().changes(r);
        return changes;
    };
    f.txtPatientID->setText(QStringLiteral("2"));
    f.cmdShow->click();
    EXPECT_EQ(shown(), QStringList({"Zip: 1 -> 2", "City: A -> B"}));
    EXPECT_EQ(f.txtChanges->toPlainText(), QStringLiteral("Zip: 1 -> 2"));
    f.ListView1->setCurrentIndex(f.trail().index(1, 0));
    EXPECT_EQ(f.txtChanges->toPlainText(), QStringLiteral("City: A -> B"));

    f.txtPatientID->clear();
    f.cboUser->setCurrentIndex(f.cboUser->findText(QStringLiteral("Anna")));
    f.cmdShow->click();
    EXPECT_EQ(shown(), QStringList({"Zip: 1 -> 2", "Phone: 1 -> 2"}));

    f.cboUser->setCurrentIndex(0);
    f.chkFrom->setChecked(true);
    f.dtpFrom->setDate(QDate(2026, 2, 1));
    f.chkTo->setChecked(true);
    f.dtpTo->setDate(QDate(2026, 3, 31));
    f.cmdShow->click();
    EXPECT_EQ(shown(), QStringList({"Zip: 1 -> 2", "City: A -> B"}));

    const QString file = w.path(QStringLiteral("trail.csv"));
    w.prompter().files = {file};
    f.cmdExportCSV->click();
    QFile exported(file);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(exported.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("\"Date\",\"User\",\"Workstation\",\"Action\",")));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 4); // heading, two rows, the final line
    EXPECT_TRUE(text.contains(QStringLiteral("City: A -> B")));
    EXPECT_FALSE(text.contains(QStringLiteral("Phone: 1 -> 2")));

    w.prompter().clear();
    f.txtPatientID->setText(QStringLiteral("two"));
    f.cmdShow->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"The patient id must be a number."});
}

TEST(AuditTrailWindow, AnOlderDatabaseGainsTheTrailWhenItOpens)
{
    TestWorld w;
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.exec(QStringLiteral("drop table AuditTrail"));
    const QString older = w.path(QStringLiteral("older.mdb"));
    DatabaseFiles::backupDatabase(w.ctx().databaseFile(), older, QString());
    // A file from before the trail is still a whole Medlantis database.
    EXPECT_TRUE(DatabaseFiles::isUsableDatabase(older, QString()));

    SystemModule::connect(w.ctx());
    EXPECT_EQ(w.count(QStringLiteral("AuditTrail")), 0);
    const QStringList objects = w.db().engine().schemaObjects();
    for (const char *name : {"audittrail", "audittrailpatient", "audittrailuser",
                             "audittraildate"})
        EXPECT_TRUE(objects.contains(QLatin1String(name))) << name;
}
