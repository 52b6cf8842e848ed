#include <functional>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "data/Cipher.h"
#include "data/Recordset.h"
#include "maintenance/DatabaseFiles.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmMedicalHistory.h"
#include "shell/Settings.h"
#include "shell/SystemModule.h"
#include "shell/TextArea.h"
#include "support/TestWorld.h"
#include "users/frmAddNewUser.h"
#include "visits/frmAddNewPatientRecord.h"

// Two workstations on one record: the second save never overwrites the first
// without asking, and never writes back a record deleted meanwhile.
namespace {

const QString kChangedText = QStringLiteral(
    "This record was changed at another workstation after you opened it.\r\nSave your version "
    "over it?");
const QString kDeletedText = QStringLiteral(
    "This record was deleted at another workstation after you opened it. Nothing was saved.");

// One editor and what the test needs to drive it.
struct Editor
{
    std::function<Form &(TestWorld &)> open;    // shows it on the record
    std::function<void(Form &)> type;           // this workstation's change
    std::function<QPushButton *(Form &)> save;  // its Save button
    QString typedCheck;                         // SQL: this window's value
    QString typedValue;
    QString otherChange;                        // SQL: the other workstation's change
    QString otherCheck;                         // SQL: the other workstation's value
    QString otherValue;
    QString deleteSql;                          // SQL: the other workstation's delete
    QString countSql;                           // SQL: rows of the record
};

QString text(TestWorld &w, const QString &sql)
{
    return w.scalar(sql).toString();
}

// The other workstation changes the record while this one is open: No keeps
// the other change and the window; Yes stores this window's values. Then the
// record is deleted meanwhile: nothing is written.
void expectGuarded(const Editor &e, const std::function<void(TestWorld &)> &seed)
{
    {
        TestWorld w;
        seed(w);
        Form &f = e.open(w);
        e.type(f);
        w.exec(e.otherChange);
        w.prompter().answers = {MsgAnswer::No};
        e.save(f)->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u) << w.prompter().texts().join('|').toStdString();
        EXPECT_EQ(w.prompter().last().text, kChangedText);
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Changed"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
        EXPECT_EQ(w.prompter().last().buttons, MsgButtons::YesNo);
        EXPECT_EQ(text(w, e.otherCheck), e.otherValue);
        EXPECT_NE(text(w, e.typedCheck), e.typedValue);
        EXPECT_TRUE(f.isVisible());

        // Yes: this window's values, the other change lost knowingly.
        w.prompter().clear();
        w.prompter().answers = {MsgAnswer::Yes};
        e.save(f)->click();
        ASSERT_GE(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().boxes.front().text, kChangedText);
        EXPECT_EQ(text(w, e.typedCheck), e.typedValue);
        EXPECT_NE(text(w, e.otherCheck), e.otherValue);
        EXPECT_FALSE(f.isVisible());
    }
    {
        TestWorld w;
        seed(w);
        Form &f = e.open(w);
        e.type(f);
        w.exec(e.deleteSql);
        e.save(f)->click();
        ASSERT_EQ(w.prompter().boxes.size(), 1u) << w.prompter().texts().join('|').toStdString();
        EXPECT_EQ(w.prompter().last().text, kDeletedText);
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Deleted"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_EQ(w.scalar(e.countSql).toInt(), 0);
        EXPECT_TRUE(f.isVisible());
    }
}

Form &showPatientEditor(TestWorld &w, const QString &id)
{
    w.ctx().EditPatientID = id;
    frmAddNewPatient &f = w.ctx().window<frmAddNewPatient>();
    f.hide();
    f.show();
    return f;
}

void seedPatient(TestWorld &w)
{
    w.addPatient(7, QStringLiteral("Doe"), QStringLiteral("Jane"));
    w.exec(QStringLiteral("update PatientRecords set Phone='555-0100', Address1='1 Elm St' "
                          "where PatientID=7"));
}

} // namespace

TEST(ConcurrentEdits, PatientEditor)
{
    Editor e;
    e.open = [](TestWorld &w) -> Form & { return showPatientEditor(w, QStringLiteral("7")); };
    e.type = [](Form &f) {
        static_cast<frmAddNewPatient &>(f).txtAddress1->setText(QStringLiteral("9 Oak Ave"));
    };
    e.save = [](Form &f) { return static_cast<frmAddNewPatient &>(f).cmdSave; };
    e.typedCheck = QStringLiteral("select Address1 from PatientRecords where PatientID=7");
    e.typedValue = QStringLiteral("9 Oak Ave");
    e.otherChange = QStringLiteral("update PatientRecords set Phone='555-0199' where PatientID=7");
    e.otherCheck = QStringLiteral("select Phone from PatientRecords where PatientID=7");
    e.otherValue = QStringLiteral("555-0199");
    e.deleteSql = QStringLiteral("delete from PatientRecords where PatientID=7");
    e.countSql = QStringLiteral("select count(*) from PatientRecords");
    expectGuarded(e, seedPatient);
}

TEST(ConcurrentEdits, MedicalHistory)
{
    Editor e;
    e.open = [](TestWorld &w) -> Form & {
        w.ctx().SelectedPatientID = QStringLiteral("7");
        frmMedicalHistory &f = w.ctx().window<frmMedicalHistory>();
        f.show();
        return f;
    };
    e.type = [](Form &f) {
        static_cast<frmMedicalHistory &>(f).txtAllergies->setText(QStringLiteral("latex"));
    };
    e.save = [](Form &f) { return static_cast<frmMedicalHistory &>(f).cmdSave; };
    e.typedCheck = QStringLiteral("select Allergies from PatientRecords where PatientID=7");
    e.typedValue = QStringLiteral("latex");
    e.otherChange =
        QStringLiteral("update PatientRecords set TobaccoUse='none' where PatientID=7");
    e.otherCheck = QStringLiteral("select TobaccoUse from PatientRecords where PatientID=7");
    e.otherValue = QStringLiteral("none");
    e.deleteSql = QStringLiteral("delete from PatientRecords where PatientID=7");
    e.countSql = QStringLiteral("select count(*) from PatientRecords");
    expectGuarded(e, seedPatient);
}

TEST(ConcurrentEdits, VisitEditor)
{
    Editor e;
    e.open = [](TestWorld &w) -> Form & {
        w.ctx().SelectedHistoryID = QStringLiteral("3");
        frmAddNewPatientRecord &f = w.ctx().window<frmAddNewPatientRecord>();
        f.show();
        return f;
    };
    e.type = [](Form &f) {
        static_cast<frmAddNewPatientRecord &>(f).txtDiagnosis->setText(QStringLiteral("Flu"));
    };
    e.save = [](Form &f) { return static_cast<frmAddNewPatientRecord &>(f).cmdSave; };
    e.typedCheck = QStringLiteral("select Diagnosis from MedicalHistory where HistoryID=3");
    e.typedValue = QStringLiteral("Flu");
    e.otherChange = QStringLiteral("update MedicalHistory set Nurse='Lee' where HistoryID=3");
    e.otherCheck = QStringLiteral("select Nurse from MedicalHistory where HistoryID=3");
    e.otherValue = QStringLiteral("Lee");
    e.deleteSql = QStringLiteral("delete from MedicalHistory where HistoryID=3");
    e.countSql = QStringLiteral("select count(*) from MedicalHistory");
    expectGuarded(e, [](TestWorld &w) {
        seedPatient(w);
        addVisit(w, 3, 7, QStringLiteral("2024-03-01"), QStringLiteral("Fever"));
    });
}

TEST(ConcurrentEdits, AccountEditor)
{
    Editor e;
    e.open = [](TestWorld &w) -> Form & {
        Recordset &rs = w.ctx().UserListRecordset;
        rs.Open(QStringLiteral("Select * from users where userid=2"), w.db());
        // Saved by the administrator, account 1.
        w.ctx().CurrentUser.UserID = 1;
        w.ctx().UserEditorMode = QStringLiteral("Update");
        frmAddNewUser &f = w.ctx().window<frmAddNewUser>();
        f.cmdSave->setText(QStringLiteral("Update"));
        f.show();
        return f;
    };
    e.type = [](Form &f) {
        auto &u = static_cast<frmAddNewUser &>(f);
        u.txtUserName->setText(QStringLiteral("Annabel"));
        u.txtPassword->setText(QStringLiteral("mine123"));
        u.txtRetype->setText(QStringLiteral("mine123"));
    };
    e.save = [](Form &f) { return static_cast<frmAddNewUser &>(f).cmdSave; };
    // The password is stored as a salted hash, so the name shows what was saved.
    e.typedCheck = QStringLiteral("select UserName from Users where UserID=2");
    e.typedValue = E(QStringLiteral("Annabel"));
    e.otherChange = QStringLiteral("update Users set Privilege='%1' where UserID=2")
                        .arg(E(QStringLiteral("Administrator")));
    e.otherCheck = QStringLiteral("select Privilege from Users where UserID=2");
    e.otherValue = E(QStringLiteral("Administrator"));
    e.deleteSql = QStringLiteral("delete from Users where UserID=2");
    e.countSql = QStringLiteral("select count(*) from Users where UserID=2");
    expectGuarded(e, [](TestWorld &w) {
        w.addUser(1, QStringLiteral("Admin"), QStringLiteral("secret1"),
                  QStringLiteral("Administrator"));
        w.addUser(2, QStringLiteral("Anna"), QStringLiteral("annapass"), QStringLiteral("Staff"));
    });
}

TEST(ConcurrentEdits, OnlyTheWindowsOwnColumnsCount)
{
    // The patient editor saves a patient whose history was just saved at
    // another workstation, and the history after a patient editor's save.
    TestWorld w;
    seedPatient(w);
    Form &editor = showPatientEditor(w, QStringLiteral("7"));
    static_cast<frmAddNewPatient &>(editor).txtPhoneNumber->setText(QStringLiteral("555-0111"));
    w.exec(QStringLiteral("update PatientRecords set Allergies='pollen' where PatientID=7"));
    static_cast<frmAddNewPatient &>(editor).cmdSave->click();
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(text(w, QStringLiteral("select Allergies from PatientRecords")), "pollen");

    w.ctx().SelectedPatientID = QStringLiteral("7");
    frmMedicalHistory &history = w.ctx().window<frmMedicalHistory>();
    history.show();
    history.txtAllergies->setText(QStringLiteral("pollen, dust"));
    w.exec(QStringLiteral("update PatientRecords set Mobile='555-0222' where PatientID=7"));
    history.cmdSave->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{"Record Successfully Saved."});
    EXPECT_EQ(text(w, QStringLiteral("select Allergies from PatientRecords")), "pollen, dust");
    EXPECT_EQ(text(w, QStringLiteral("select Mobile from PatientRecords")), "555-0222");
    EXPECT_EQ(text(w, QStringLiteral("select Phone from PatientRecords")), "555-0111");
}

TEST(ConcurrentEdits, TwoProcessesOnOneEncryptedFileAskAtTheSecondSave)
{
    TestWorld w;
    seedPatient(w);
    w.db().Close();
    DatabaseFiles::changePassword(w.ctx().databaseFile(), QString(), QStringLiteral("s3cret"));
    w.ctx().settings().SaveSetting(SettingKeys::DatabasePassword, QStringLiteral("s3cret"));
    SystemModule::connect(w.ctx());
    ASSERT_EQ(w.db().State(), 1);
    frmAddNewPatient &mine = static_cast<frmAddNewPatient &>(showPatientEditor(w, "7"));
    // Another workstation, a process of its own, saves a new phone number first.
    const QString report = w.path(QStringLiteral("report.txt"));
    QProcess other;
    other.start(QStringLiteral(MEDLANTIS_WORKSTATION),
                {QStringLiteral("set-phone"), w.ctx().databaseFile(), QStringLiteral("s3cret"),
                 QStringLiteral("7"), QStringLiteral("555-0199"), report});
    ASSERT_TRUE(other.waitForFinished(60000)) << other.readAllStandardError().toStdString();
    QFile lines(report);
    ASSERT_TRUE(lines.open(QIODevice::ReadOnly));
    EXPECT_EQ(lines.readAll().trimmed(), QByteArray("saved"));

    mine.txtAddress1->setText(QStringLiteral("9 Oak Ave"));
    w.prompter().answers = {MsgAnswer::No};
    mine.cmdSave->click();
    EXPECT_EQ(w.prompter().texts(), QStringList{kChangedText});
    EXPECT_EQ(text(w, QStringLiteral("select Phone from PatientRecords")), "555-0199");
    EXPECT_EQ(text(w, QStringLiteral("select Address1 from PatientRecords")), "1 Elm St");
    EXPECT_TRUE(mine.isVisible());
    EXPECT_EQ(mine.txtAddress1->text(), QStringLiteral("9 Oak Ave"));

    w.prompter().answers = {MsgAnswer::Yes};
    mine.cmdSave->click();
    EXPECT_EQ(text(w, QStringLiteral("select Address1 from PatientRecords")), "9 Oak Ave");
    EXPECT_EQ(text(w, QStringLiteral("select Phone from PatientRecords")), "555-0100");
}
