#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include "patients/PatientListModel.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmPatientList.h"
#include "reports/ReportPreview.h"
#include "app/MDIFormMain.h"
#include "shell/StatusBarPanes.h"
#include "support/TestWorld.h"

namespace {

// Signs in, shows the main window and opens the list from the ribbon.
frmPatientList &openList(TestWorld &w, const QString &privilege = QStringLiteral("Administrator"))
{
    w.signIn(1, QStringLiteral("Anna"), privilege);
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    main.CommandBars_Execute(9028, QStringLiteral("View Patient List"));
    frmPatientList &list = w.ctx().window<frmPatientList>();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&main));
    return list;
}

QString pane(TestWorld &w)
{
    return w.ctx().window<MDIFormMain>().StatusBar1->PaneText(0);
}

QStringList column(const frmPatientList &list, PatientListModel::Column c)
{
    QStringList out;
    for (int r = 0; r < list.model().rowCount(); ++r)
        out << list.model().text(r, c);
    return out;
}

QAction *buttonNamed(frmPatientList &list, const QString &caption)
{
    for (QAction *action : list.Toolbar1->actions()) {
        if (action->text() == caption)
            return action;
    }
    ADD_FAILURE() << "no tool bar button " << caption.toStdString();
    return nullptr;
}

void clickLine(frmPatientList &list, int row)
{
    const QRect rect = list.ListView1->visualRect(list.model().index(row, 1));
    QTest::mouseClick(list.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
}

// A small practice: last names in no particular order, with odd cases.
void addPractice(TestWorld &w)
{
    w.addPatient(1, QStringLiteral("Smith"), QStringLiteral("Anna"));
    w.addPatient(2, QStringLiteral("O'Brien"), QStringLiteral("Sean"));
    w.addPatient(3, QStringLiteral("smythe"), QStringLiteral("Bob"));
    w.addPatient(4, QStringLiteral("Adams"), QStringLiteral("Smilla"));
    w.addPatient(5, QStringLiteral("Jones"), QStringLiteral("Cara"));
    w.addPatient(6, QStringLiteral("Asmith"), QStringLiteral("Dan"));
}

} // namespace

TEST(PatientList, FillsEveryPatientByLastNameAndCountsTheSelectedLine)
{
    TestWorld w;
    const QStringList names = {"Kim",  "Lopez", "Baker", "Ito",   "Fox",   "Diaz",
                               "Hall", "Evans", "Cole",  "Green", "Adler", "Jung"};
    for (int id = 1; id <= names.size(); ++id)
        w.addPatient(id, names[id - 1], QStringLiteral("F%1").arg(id));
    w.exec(QStringLiteral("update PatientRecords set MiddleName=null, Gender='Female', "
                          "MaritalStatus='Married' where PatientID=3"));
    frmPatientList &list = openList(w);

    ASSERT_EQ(list.model().rowCount(), 12);
    QStringList sorted = column(list, PatientListModel::LastName);
    QStringList expected = sorted;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
    const int row3 = column(list, PatientListModel::PatientID).indexOf(QStringLiteral("3"));
    ASSERT_GE(row3, 0);
    EXPECT_EQ(list.model().text(row3, PatientListModel::MiddleName), QString());
    EXPECT_EQ(list.model().text(row3, PatientListModel::DateOfBirth),
              QStringLiteral("1980-05-17"));
    EXPECT_EQ(list.model().text(row3, PatientListModel::Gender), QStringLiteral("Female"));
    EXPECT_EQ(list.model().text(row3, PatientListModel::MaritalStatus), QStringLiteral("Married"));
    EXPECT_EQ(list.model().headerData(6, Qt::Horizontal).toString(),
              QStringLiteral("Marital Status"));
    EXPECT_EQ(pane(w), QStringLiteral("Record 1 of 12"));

    clickLine(list, 4);
    EXPECT_EQ(pane(w), QStringLiteral("Record 5 of 12"));
    EXPECT_EQ(w.ctx().EditPatientID, list.model().text(4, PatientListModel::PatientID));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
}

TEST(PatientList, SearchesByTheBeginningOfANameInAnyCase)
{
    TestWorld w;
    addPractice(w);
    frmPatientList &list = openList(w);

    const struct
    {
        const char *category;
        const char *typed;
        const char *shown;
        QStringList ids; // in the order listed (by last name, ascending)
    } cases[] = {
        {"Last Name", "sm", "SM", {"1", "3"}},
        {"Last Name", "SMY", "SMY", {"3"}},
        {"Last Name", "o'b", "O'B", {"2"}},
        {"First Name", "sm", "SM", {"4"}},
        {"Last Name", "zz", "ZZ", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        list.cboSearch->setCurrentText(QLatin1String(c.category));
        list.txtSearch->clear();
        QTest::keyClicks(list.txtSearch, QString::fromUtf8(c.typed));
        EXPECT_EQ(list.txtSearch->text(), QString::fromUtf8(c.shown));
        EXPECT_EQ(column(list, PatientListModel::PatientID), c.ids);
    }
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();

    // Changing only the category waits for the next keystroke.
    list.cboSearch->setCurrentText(QStringLiteral("Last Name"));
    list.txtSearch->setText(QStringLiteral("SM"));
    list.cboSearch->setCurrentText(QStringLiteral("First Name"));
    EXPECT_EQ(column(list, PatientListModel::PatientID), QStringList({"1", "3"}));
    QTest::keyClick(list.txtSearch, Qt::Key_I);
    EXPECT_EQ(column(list, PatientListModel::PatientID), QStringList({"4"}));

    // An empty search lists everyone; coming back to the window resets the
    // list to all patients by last name although the box keeps its text.
    list.cboSearch->setCurrentText(QStringLiteral("Last Name"));
    list.txtSearch->setText(QStringLiteral("J"));
    EXPECT_EQ(list.model().rowCount(), 1);
    list.txtSearch->clear();
    EXPECT_EQ(list.model().rowCount(), 6);
    list.txtSearch->setText(QStringLiteral("J"));
    w.ctx().window<MDIFormMain>().CommandBars_Execute(9028, QStringLiteral("View Patient List"));
    EXPECT_EQ(list.txtSearch->text(), QStringLiteral("J"));
    EXPECT_EQ(column(list, PatientListModel::LastName),
              QStringList({"Adams", "Asmith", "Jones", "O'Brien", "Smith", "smythe"}));
}

TEST(PatientList, SortsTheSearchByEitherNameBothWays)
{
    TestWorld w;
    addPractice(w);
    frmPatientList &list = openList(w);
    list.txtSearch->setText(QStringLiteral("S"));
    EXPECT_EQ(column(list, PatientListModel::LastName), QStringList({"Smith", "smythe"}));
    list.cboSortType->setCurrentText(QStringLiteral("Descending"));
    EXPECT_EQ(column(list, PatientListModel::LastName), QStringList({"smythe", "Smith"}));
    EXPECT_EQ(pane(w), QStringLiteral("Record 1 of 2"));

    list.txtSearch->clear();
    list.cboSortBy->setCurrentText(QStringLiteral("First Name"));
    EXPECT_EQ(column(list, PatientListModel::FirstName),
              QStringList({"Smilla", "Sean", "Dan", "Cara", "Bob", "Anna"}));
    list.cboSortType->setCurrentText(QStringLiteral("Ascending"));
    EXPECT_EQ(column(list, PatientListModel::FirstName),
              QStringList({"Anna", "Bob", "Cara", "Dan", "Sean", "Smilla"}));
    EXPECT_EQ(pane(w), QStringLiteral("Record 1 of 6"));
}

TEST(PatientList, DeleteAsksByNameAndLeavesTheVisits)
{
    TestWorld w;
    addPractice(w);
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID, VisitDate) "
                          "values (1, 2, '2024-01-02'), (2, 2, '2024-02-03')"));
    frmPatientList &list = openList(w);
    const int row = column(list, PatientListModel::PatientID).indexOf(QStringLiteral("2"));
    clickLine(list, row);

    w.prompter().answers = {MsgAnswer::No};
    buttonNamed(list, QStringLiteral("Delete Patient"))->trigger();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("Are you sure you want to delete [Sean O'Brien] "
                             "from the Patient List?"));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Confirm Record Deletion"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
    EXPECT_EQ(w.prompter().last().buttons, MsgButtons::YesNo);
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 6);

    w.prompter().clear();
    w.prompter().answers = {MsgAnswer::Yes};
    buttonNamed(list, QStringLiteral("Delete Patient"))->trigger();
    ASSERT_EQ(w.prompter().boxes.size(), 2u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Patient record deleted successfully."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Deleted"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
    EXPECT_EQ(w.scalar(QStringLiteral("select count(*) from PatientRecords where PatientID=2"))
                  .toInt(),
              0);
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 2);
    EXPECT_FALSE(column(list, PatientListModel::PatientID).contains(QStringLiteral("2")));
    EXPECT_EQ(list.model().rowCount(), 5);

    // An empty list has nothing to delete or print.
    w.exec(QStringLiteral("delete from PatientRecords"));
    list.listPatients();
    for (const char *caption : {"Delete Patient", "Print Patient List"}) {
        w.prompter().clear();
        buttonNamed(list, QLatin1String(caption))->trigger();
        ASSERT_EQ(w.prompter().boxes.size(), 1u) << caption;
        EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Records"));
    }
}

TEST(PatientList, StaffCannotEditOrDeleteButMayStillOpenAPatient)
{
    TestWorld w;
    addPractice(w);
    frmPatientList &list = openList(w, QStringLiteral("Staff"));
    EXPECT_FALSE(buttonNamed(list, QStringLiteral("Edit Patient"))->isEnabled());
    EXPECT_FALSE(buttonNamed(list, QStringLiteral("Delete Patient"))->isEnabled());
    EXPECT_TRUE(buttonNamed(list, QStringLiteral("Print Patient List"))->isEnabled());
    EXPECT_TRUE(buttonNamed(list, QStringLiteral("View Patient Visit"))->isEnabled());

    // A disabled button does nothing.
    QStringList opened; // window and the patient it shows
    w.ctx().modalHook = [&](Form &f) {
        if (auto *editor = qobject_cast<frmAddNewPatient *>(&f))
            opened << f.objectName() + QLatin1Char(':') + editor->txtLastname->text();
        else
            opened << f.objectName() + QLatin1Char(':') + w.ctx().SelectedPatientID;
    };
    buttonNamed(list, QStringLiteral("Delete Patient"))->trigger();
    buttonNamed(list, QStringLiteral("Edit Patient"))->trigger();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 6);

    const int row = column(list, PatientListModel::LastName).indexOf(QStringLiteral("Jones"));
    const QRect rect = list.ListView1->visualRect(list.model().index(row, 1));
    // A double-click is a press and release, then a second press.
    QTest::mouseClick(list.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(w.ctx().EditPatientID, QStringLiteral("5"));
    list.ListView1->setCurrentIndex(list.model().index(row, 0));
    buttonNamed(list, QStringLiteral("View Patient Visit"))->trigger();
    EXPECT_EQ(opened, QStringList({"frmAddNewPatient:Jones", "frmPatientVisit:5"}));
}

TEST(PatientList, PrintsOnlyTheFoundPatientsInTheirOrder)
{
    TestWorld w;
    addPractice(w);
    frmPatientList &list = openList(w);
    list.txtSearch->setText(QStringLiteral("S"));
    list.cboSortType->setCurrentText(QStringLiteral("Descending"));
    buttonNamed(list, QStringLiteral("Print Patient List"))->trigger();

    ReportPreview *preview = lastReportPreview();
    ASSERT_NE(preview, nullptr);
    const ReportData &data = preview->document().data();
    const int last = data.fieldIndex(QStringLiteral("LastName"));
    ASSERT_GE(last, 0);
    QStringList printed;
    for (const auto &row : data.rows)
        printed << row[size_t(last)].toString();
    EXPECT_EQ(printed, QStringList({"smythe", "Smith"}));
    EXPECT_FALSE(preview->isModal());
    EXPECT_TRUE(preview->document().pageLayout().orientation() == QPageLayout::Landscape);
    preview->close();
}

TEST(PatientList, PrintsWhatItShowsAfterARibbonExport)
{
    TestWorld w;
    addPractice(w);
    frmPatientList &list = openList(w);
    list.txtSearch->setText(QStringLiteral("S"));
    // The ribbon's export reopens the shared result on its own statement.
    w.prompter().files.push_back(w.path(QStringLiteral("temp/all.csv")));
    w.ctx().window<MDIFormMain>().CommandBars_Execute(9058, QStringLiteral("CSV"));
    ASSERT_TRUE(QFile::exists(w.path(QStringLiteral("temp/all.csv"))));

    buttonNamed(list, QStringLiteral("Print Patient List"))->trigger();
    ReportPreview *preview = lastReportPreview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join(QStringLiteral(" | ")).toStdString();
    const ReportData &data = preview->document().data();
    const int last = data.fieldIndex(QStringLiteral("LastName"));
    ASSERT_GE(last, 0);
    QStringList printed;
    for (const auto &row : data.rows)
        printed << row[size_t(last)].toString();
    EXPECT_EQ(printed, QStringList({"Smith", "smythe"}));
    preview->close();
}
