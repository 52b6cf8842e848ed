#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "support/TestWorld.h"
#include "visits/VisitListModel.h"
#include "visits/frmAddNewPatientRecord.h"
#include "visits/frmPatientHistory.h"

namespace {

// John Doe's three visits, stored in neither date order; a NULL nurse on one.
// Anna Smith's visit must never show in his list.
class VisitListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
        w.addPatient(2, QStringLiteral("Smith"), QStringLiteral("Anna"));
        addVisit(w, 1, 1, QStringLiteral("2023-11-20"), QStringLiteral("Fever"));
        addVisit(w, 2, 1, QStringLiteral("2024-03-01"), QStringLiteral("Cough"));
        addVisit(w, 3, 1, QStringLiteral("2022-01-05"), QStringLiteral("Check-up"));
        addVisit(w, 4, 2, QStringLiteral("2024-01-01"), QStringLiteral("Rash"));
        w.exec(QStringLiteral("update MedicalHistory set Nurse=NULL where HistoryID=3"));
        w.signIn(1, QStringLiteral("Anna"), QStringLiteral("Administrator"));
        w.ctx().SelectedPatientID = QStringLiteral("1");
    }

    // Opens the list as the selector does, for the patient SelectedPatientID names.
    frmPatientHistory &open(const QString &name = QStringLiteral("JOHN DOE"))
    {
        frmPatientHistory &f = w.ctx().window<frmPatientHistory>();
        f.setPatient(w.ctx().SelectedPatientID, name);
        f.show();
        return f;
    }

    QStringList ids(frmPatientHistory &f)
    {
        QStringList out;
        for (int row = 0; row < f.visits().rowCount(); ++row)
            out << f.visits().text(row, VisitListModel::HistoryID);
        return out;
    }

    void choose(frmPatientHistory &f, int row)
    {
        f.ListView1->setCurrentIndex(f.visits().index(row, 0));
    }

    TestWorld w;
};

} // namespace

TEST_F(VisitListTest, ListsThePatientsVisitsNewestFirst)
{
    frmPatientHistory &f = open();
    EXPECT_EQ(ids(f), QStringList({"2", "1", "3"}));
    EXPECT_EQ(f.visits().text(2, VisitListModel::VisitDate), QStringLiteral("2022-01-05"));
    EXPECT_EQ(f.visits().text(2, VisitListModel::Nurse), QString());
    EXPECT_EQ(f.visits().text(1, VisitListModel::Nurse), QStringLiteral("Kim"));
    EXPECT_EQ(f.visits().headerData(4, Qt::Horizontal).toString(),
              QStringLiteral("Nurse On Duty"));
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST_F(VisitListTest, DeleteAsksFirstAndRemovesOnlyThatVisitOnYes)
{
    frmPatientHistory &f = open();
    choose(f, 1); // Fever, 2023-11-20
    w.prompter().answers = {MsgAnswer::No};
    f.Toolbar1_ButtonClick(2);
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("Are you sure you want to delete [Fever 2023-11-20] from the "
                             "Patient List?"));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Confirm Record Deletion"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
    EXPECT_EQ(w.prompter().last().buttons, MsgButtons::YesNo);
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 4);
    EXPECT_EQ(ids(f).size(), 3);

    w.prompter().clear();
    w.prompter().answers = {MsgAnswer::Yes};
    f.Toolbar1_ButtonClick(2);
    ASSERT_EQ(w.prompter().boxes.size(), 2u);
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("Patient visit record deleted successfully."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Deleted"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
    EXPECT_EQ(ids(f), QStringList({"2", "3"}));
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 3);
}

TEST_F(VisitListTest, OnlyAdministratorsEditOrDeleteButDoubleClickStillEdits)
{
    struct Case
    {
        const char *privilege;
        bool enabled;
    };
    for (const Case c : {Case{"Administrator", true}, Case{"Staff", false},
                         Case{"administrator", false}}) {
        SCOPED_TRACE(c.privilege);
        TestWorld world;
        world.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
        addVisit(world, 7, 1, QStringLiteral("2024-03-01"), QStringLiteral("Cough"));
        world.signIn(1, QStringLiteral("Anna"), QString::fromUtf8(c.privilege));
        world.ctx().SelectedPatientID = QStringLiteral("1");
        QString opened;
        world.ctx().modalHook = [&](Form &form) {
            auto *editor = qobject_cast<frmAddNewPatientRecord *>(&form);
            ASSERT_NE(editor, nullptr);
            opened = editor->txtChiefComplaint->text();
        };
        frmPatientHistory &f = world.ctx().window<frmPatientHistory>();
        f.setPatient(QStringLiteral("1"), QStringLiteral("JOHN DOE"));
        f.show();
        EXPECT_EQ(f.button(1)->isEnabled(), c.enabled);
        EXPECT_EQ(f.button(2)->isEnabled(), c.enabled);
        EXPECT_TRUE(f.button(3)->isEnabled());

        f.Toolbar1_ButtonClick(1);
        EXPECT_EQ(opened, c.enabled ? QStringLiteral("Cough") : QString());
        opened.clear();
        const QRect line = f.ListView1->visualRect(f.visits().index(0, 1));
        // A double-click is a press and release, then a second press.
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, line.center());
        QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {}, line.center());
        EXPECT_EQ(opened, QStringLiteral("Cough"));
        EXPECT_EQ(world.ctx().SelectedHistoryID, QStringLiteral("7"));
    }
}

TEST_F(VisitListTest, PrintListsAllVisitsOldestFirst)
{
    frmPatientHistory &f = open();
    f.Toolbar1_ButtonClick(3);
    const QStringList page = takeLastReportPage();
    EXPECT_GE(page.indexOf(QStringLiteral("Patient ID: 1")), 0);
    EXPECT_GE(page.indexOf(QStringLiteral("Patient Name: John Doe")), 0);
    const int oldest = page.indexOf(QStringLiteral("Check-up"));
    const int middle = page.indexOf(QStringLiteral("Fever"));
    const int newest = page.indexOf(QStringLiteral("Cough"));
    ASSERT_GE(oldest, 0);
    EXPECT_LT(oldest, middle);
    EXPECT_LT(middle, newest);
    EXPECT_EQ(indexOfText(page, QStringLiteral("Rash")), -1);
}

TEST_F(VisitListTest, APatientWithoutVisits)
{
    w.ctx().SelectedPatientID = QStringLiteral("3");
    w.addPatient(3, QStringLiteral("New"), QStringLiteral("Nina"));
    bool opened = false;
    w.ctx().modalHook = [&](Form &) { opened = true; };
    frmPatientHistory &f = open(QStringLiteral("NINA NEW"));
    EXPECT_EQ(f.visits().rowCount(), 0);

    f.Toolbar1_ButtonClick(1);
    EXPECT_FALSE(opened);
    EXPECT_TRUE(w.prompter().boxes.empty());

    f.Toolbar1_ButtonClick(2);
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Records"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);

    f.Toolbar1_ButtonClick(3);
    ASSERT_EQ(w.prompter().boxes.size(), 2u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Record Found"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
}

TEST_F(VisitListTest, StaysWithItsPatientWhenAnotherIsChosenElsewhere)
{
    frmPatientHistory &f = open();
    // Another window picks Anna Smith (patient 2) meanwhile.
    w.ctx().SelectedPatientID = QStringLiteral("2");

    f.loadPatientVisits();
    EXPECT_EQ(ids(f), QStringList({"2", "1", "3"}));
    EXPECT_EQ(f.lblPatientName->text(), QStringLiteral("JOHN DOE"));

    // Edit: the editor's header names the visit's own patient.
    QString header;
    QString opened;
    w.ctx().modalHook = [&](Form &form) {
        auto &editor = static_cast<frmAddNewPatientRecord &>(form);
        header = editor.txtFirstname->text() + QLatin1Char(' ') + editor.txtLastname->text();
        opened = editor.patientID();
        // A save there reloads this list, which stays on John Doe.
        editor.txtChiefComplaint->setText(QStringLiteral("Cough, better"));
        editor.cmdSave->click();
    };
    choose(f, 0);
    f.Toolbar1_ButtonClick(1);
    EXPECT_EQ(header, QStringLiteral("John Doe"));
    EXPECT_EQ(opened, QStringLiteral("1"));
    EXPECT_EQ(w.scalar(QStringLiteral("select PatientID from MedicalHistory where HistoryID=2")),
              1);
    EXPECT_EQ(ids(f), QStringList({"2", "1", "3"}));
    w.ctx().modalHook = [](Form &) {};

    // Print: John Doe's visits only.
    f.Toolbar1_ButtonClick(3);
    const QStringList page = takeLastReportPage();
    EXPECT_GE(page.indexOf(QStringLiteral("Patient Name: John Doe")), 0);
    EXPECT_EQ(indexOfText(page, QStringLiteral("Rash")), -1);

    // Delete: a row of this list, and the list reloads John Doe's rows.
    w.prompter().answers = {MsgAnswer::Yes};
    choose(f, 2); // Check-up
    f.Toolbar1_ButtonClick(2);
    EXPECT_EQ(ids(f), QStringList({"2", "1"}));
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from MedicalHistory where PatientID=2")),
              1);
}

TEST_F(VisitListTest, AVisitSavedForAnotherPatientLeavesTheListOnItsOwn)
{
    frmPatientHistory &f = open();
    // A new visit for Anna Smith, through the selector's "Add Patient Visit".
    w.ctx().SelectedPatientID = QStringLiteral("2");
    w.ctx().SelectedHistoryID.clear();
    frmAddNewPatientRecord &editor = w.ctx().window<frmAddNewPatientRecord>();
    editor.show();
    EXPECT_EQ(editor.txtFirstname->text(), QStringLiteral("Anna"));
    editor.txtChiefComplaint->setText(QStringLiteral("Sprained ankle"));
    editor.cmdSave->click();
    EXPECT_EQ(w.scalar(QStringLiteral("select PatientID from MedicalHistory where "
                                      "ChiefComplaint='Sprained ankle'")),
              2);
    EXPECT_EQ(ids(f), QStringList({"2", "1", "3"}));
    EXPECT_EQ(f.lblPatientName->text(), QStringLiteral("JOHN DOE"));
}
