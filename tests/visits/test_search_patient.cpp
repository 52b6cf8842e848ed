#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTreeView>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "patients/PatientListModel.h"
#include "patients/frmSearchPatient.h"
#include "app/MDIFormMain.h"
#include "shell/StatusBarPanes.h"
#include "support/TestWorld.h"
#include "visits/VisitListModel.h"
#include "visits/frmAddNewPatientRecord.h"
#include "visits/frmPatientHistory.h"

namespace {

// Four patients; John Doe has two visits, stored newest first.
class SelectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
        w.addPatient(2, QStringLiteral("Smith"), QStringLiteral("Anna"));
        w.addPatient(3, QStringLiteral("smythe"), QStringLiteral("Bob"));
        w.addPatient(4, QStringLiteral("O'Neil"), QStringLiteral("Mary"));
        addVisit(w, 1, 1, QStringLiteral("2024-03-01"), QStringLiteral("Cough"));
        addVisit(w, 2, 1, QStringLiteral("2023-11-20"), QStringLiteral("Fever"));
    }

    frmSearchPatient &open(const QString &mode = QString())
    {
        w.ctx().PatientSelectorMode = mode;
        frmSearchPatient &f = w.ctx().window<frmSearchPatient>();
        f.show();
        return f;
    }

    QStringList ids(frmSearchPatient &f)
    {
        QStringList out;
        for (int row = 0; row < f.patients().rowCount(); ++row)
            out << f.patients().text(row, PatientListModel::PatientID);
        return out;
    }

    void choose(frmSearchPatient &f, const QString &patientId)
    {
        for (int row = 0; row < f.patients().rowCount(); ++row) {
            if (f.patients().text(row, PatientListModel::PatientID) == patientId)
                f.ListView1->setCurrentIndex(f.patients().index(row, 0));
        }
    }

    QString paneText() { return w.ctx().window<MDIFormMain>().StatusBar1->PaneText(0); }

    TestWorld w;
};

// The label shows the text itself, brackets and all, not markup made of it.
bool shownAsTyped(const QLabel *label, const QString &text)
{
    const bool markup = label->textFormat() == Qt::RichText
                        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    return label->text() == text && !markup;
}

} // namespace

TEST_F(SelectorTest, ListsEveryoneAndNarrowsByTheBeginningOfAName)
{
    frmSearchPatient &f = open();
    EXPECT_EQ(ids(f), QStringList({"1", "4", "2", "3"})); // by last name, any letter case
    EXPECT_EQ(f.cboSearch->currentText(), QStringLiteral("Last Name"));
    EXPECT_EQ(paneText(), QStringLiteral("Record 1 of 4"));

    struct Case
    {
        int category; // 0 last name, 1 first name
        const char *typed;
        QStringList expected;
    };
    const Case cases[] = {
        {0, "sm", {"2", "3"}},  {0, "SM", {"2", "3"}}, {0, "o'", {"4"}},
        {0, "   ", {}},         {0, "zz", {}},         {1, "an", {"2"}},
        {1, "o'neil", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        f.txtSearch->clear();
        f.cboSearch->setCurrentIndex(c.category);
        QTest::keyClicks(f.txtSearch, QString::fromUtf8(c.typed));
        EXPECT_EQ(ids(f), c.expected);
        EXPECT_EQ(f.txtSearch->text(), QString::fromUtf8(c.typed));
    }
    f.cboSearch->setCurrentIndex(0);
    f.txtSearch->setText(QStringLiteral("sm"));
    EXPECT_EQ(paneText(), QStringLiteral("Record 1 of 2"));
    f.txtSearch->clear();
    EXPECT_TRUE(ids(f).isEmpty()); // an empty search shows nobody
    f.txtSearch->setText(QStringLiteral("sm"));
    f.cmdHideAll->click();
    EXPECT_TRUE(ids(f).isEmpty());
    f.cmdShowAll->click();
    EXPECT_EQ(ids(f).size(), 4);
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();

    // A new showing lists everybody again, though the box keeps its text.
    f.hide();
    f.show();
    EXPECT_EQ(ids(f).size(), 4);
    EXPECT_EQ(f.txtSearch->text(), QStringLiteral("sm"));
}

TEST_F(SelectorTest, ExportsThePatientsVisitsOldestFirst)
{
    struct Case
    {
        const char *mode;
        const char *dialogTitle; // "" = no dialog of its own
        const char *filter;
        const char *file;        // "" = the user cancels
    };
    const Case cases[] = {
        {"TXT", "Save Text", "Text Files (*.txt)|*.txt", "visits.txt"},
        {"CSV", "Save CSV", "CSV Files (*.csv)|*.csv", "visits.csv"},
        {"XML", "Save XML", "XML Files (*.xml)|*.xml", "visits.xml"},
        {"TXT", "Save Text", "Text Files (*.txt)|*.txt", ""},
        {"PDF", "Save PDF", "PDF Files (*.pdf)|*.pdf", "visits.pdf"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.file);
        w.prompter().clear();
        const QString file = *c.file ? w.path(QString::fromUtf8(c.file)) : QString();
        w.prompter().files.push_back(file);
        frmSearchPatient &f = open(QString::fromUtf8(c.mode));
        choose(f, QStringLiteral("1"));
        f.cmdSelect->click();
        EXPECT_FALSE(f.isVisible());
        EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
        ASSERT_EQ(w.prompter().dialogs.size(), 1u);
        EXPECT_EQ(w.prompter().dialogs[0].title, QString::fromUtf8(c.dialogTitle));
        EXPECT_EQ(w.prompter().dialogs[0].filter, QString::fromUtf8(c.filter));
        if (file.isEmpty())
            continue;
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(out.readAll());
        if (QLatin1String(c.mode) == QLatin1String("PDF"))
            continue;
        EXPECT_TRUE(text.contains(QStringLiteral("Chief")));
        EXPECT_TRUE(text.contains(QStringLiteral("John Doe")));
        EXPECT_LT(text.indexOf(QStringLiteral("Fever")), text.indexOf(QStringLiteral("Cough")));
    }
    // The spreadsheet goes to the temporary folder and opens at once.
    w.prompter().clear();
    frmSearchPatient &f = open(QStringLiteral("XLS"));
    choose(f, QStringLiteral("1"));
    f.cmdSelect->click();
    EXPECT_TRUE(w.prompter().dialogs.empty());
    ASSERT_EQ(w.prompter().urls.size(), 1);
    EXPECT_TRUE(QFile::exists(w.prompter().urls[0]));
}

TEST_F(SelectorTest, PrintAndExportsOfAPatientWithoutVisitsFindNothing)
{
    for (const char *mode : {"Print Patient Visit(s)", "TXT", "CSV", "XML", "XLS", "PDF"}) {
        SCOPED_TRACE(mode);
        w.prompter().clear();
        frmSearchPatient &f = open(QString::fromUtf8(mode));
        choose(f, QStringLiteral("2"));
        f.cmdSelect->click();
        EXPECT_EQ(w.ctx().SelectedPatientID, QStringLiteral("2"));
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Record Found"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
        EXPECT_TRUE(w.prompter().dialogs.empty());
        EXPECT_TRUE(w.prompter().urls.isEmpty());
    }
}

TEST_F(SelectorTest, PrintShowsTheIndividualReportOldestFirst)
{
    frmSearchPatient &f = open(QStringLiteral("Print Patient Visit(s)"));
    choose(f, QStringLiteral("1"));
    f.cmdSelect->click();
    const QStringList page = takeLastReportPage();
    EXPECT_GE(page.indexOf(QStringLiteral("Patient ID: 1")), 0);
    EXPECT_GE(page.indexOf(QStringLiteral("Patient Name: John Doe")), 0);
    ASSERT_GE(indexOfText(page, QStringLiteral("Cough")), 0);
    EXPECT_LT(indexOfText(page, QStringLiteral("Fever")),
              indexOfText(page, QStringLiteral("Cough")));
}

TEST_F(SelectorTest, DoubleClickForViewShowsTheVisitListUnderTheNameInCapitals)
{
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    frmSearchPatient &f = open(QStringLiteral("View Patient Visit(s)"));
    choose(f, QStringLiteral("1"));
    const QRect line = f.ListView1->visualRect(f.ListView1->currentIndex());
    QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, line.center());
    QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {}, line.center());

    EXPECT_FALSE(f.isVisible());
    frmPatientHistory &history = w.ctx().window<frmPatientHistory>();
    EXPECT_EQ(history.lblPatientName->text(), QStringLiteral("JOHN DOE"));
    EXPECT_TRUE(history.isVisible());
    ASSERT_NE(main.subWindowOf(history), nullptr);
    EXPECT_EQ(main.mdiArea->activeSubWindow(), main.subWindowOf(history));
    ASSERT_EQ(history.visits().rowCount(), 2);
    EXPECT_EQ(history.visits().text(0, VisitListModel::ChiefComplaint), QStringLiteral("Cough"));
}

TEST_F(SelectorTest, AddOpensTheEditorOnANewVisitEvenAfterAnEdit)
{
    w.ctx().SelectedHistoryID = QStringLiteral("1");
    bool editorShown = false;
    w.ctx().modalHook = [&](Form &form) {
        auto *editor = qobject_cast<frmAddNewPatientRecord *>(&form);
        ASSERT_NE(editor, nullptr);
        editorShown = true;
        EXPECT_TRUE(w.ctx().SelectedHistoryID.isEmpty());
        EXPECT_EQ(editor->currentHistoryID(), 3);
        EXPECT_EQ(editor->txtLastname->text(), QStringLiteral("Smith"));
        EXPECT_TRUE(editor->txtChiefComplaint->text().isEmpty());
    };
    frmSearchPatient &f = open(QStringLiteral("Add Patient Visit"));
    choose(f, QStringLiteral("2"));
    f.cmdSelect->click();
    EXPECT_TRUE(editorShown);
    EXPECT_EQ(w.ctx().SelectedPatientID, QStringLiteral("2"));
}

TEST(SelectorEmptyTable, SelectDoesNothingAndTheWindowStays)
{
    TestWorld w;
    bool anything = false;
    w.ctx().modalHook = [&](Form &) { anything = true; };
    w.ctx().PatientSelectorMode = QStringLiteral("Add Patient Visit");
    frmSearchPatient &f = w.ctx().window<frmSearchPatient>();
    f.show();
    EXPECT_EQ(f.patients().rowCount(), 0);
    f.cmdSelect->click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(anything);
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST_F(SelectorTest, NamesThatLookLikeMarkupAreShownAsTyped)
{
    w.addPatient(5, QStringLiteral("<b>Ann</b>"), QStringLiteral("<img src=x>"));
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    // As the login writes it.
    const QString user = QStringLiteral("  Current User: <b>Ann</b> (Staff)");
    main.setStatusText(1, user);
    EXPECT_TRUE(shownAsTyped(main.StatusBar1->pane(1), user));

    frmSearchPatient &f = open(QStringLiteral("View Patient Visit(s)"));
    choose(f, QStringLiteral("5"));
    f.cmdSelect->click();
    frmPatientHistory &history = w.ctx().window<frmPatientHistory>();
    ASSERT_TRUE(history.isVisible());
    EXPECT_TRUE(shownAsTyped(history.lblPatientName, QStringLiteral("<IMG SRC=X> <B>ANN</B>")))
        << history.lblPatientName->text().toStdString();
}
