#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "ReportsFixture.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "reports/ReportPreview.h"
#include "app/MDIFormMain.h"
#include "support/TestWorld.h"

namespace {

MDIFormMain &mainWindow(TestWorld &w)
{
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    w.prompter().clear();
    return main;
}

void addPatients(TestWorld &w)
{
    w.addPatient(1, QStringLiteral("Cruz"), QStringLiteral("Ana"));
    w.addPatient(2, QStringLiteral("O'Neil"), QStringLiteral("Brendan"));
    w.addPatient(3, QStringLiteral("Żółć"), QStringLiteral("Łukasz"));
}

const struct
{
    int id;
    const char *title;
    const char *filter;
    const char *heading;
} kFileExports[] = {
    {9050, "Save Text", "Text Files (*.txt)|*.txt",
     "Patient ID\tLast Name\tFirst Name\tMiddle Name\tBirth Date\tGender\tMarital Status\t"
     "Phone Number\tMobile Number\t"},
    {9058, "Save CSV", "CSV Files (*.csv)|*.csv",
     "\"Patient ID\",\"Last Name\",\"First Name\",\"Middle Name\",\"Birth Date\",\"Gender\","
     "\"Marital Status\",\"Phone Number\",\"Mobile Number\","},
    {9059, "Save XML", "XML Files (*.xml)|*.xml", "<xml>"},
};

} // namespace

TEST(RibbonReports, EmptyPatientTableRefusesEveryPrintAndExport)
{
    TestWorld w;
    MDIFormMain &main = mainWindow(w);
    const std::pair<int, const char *> commands[] = {
        {9028, "Print Patient List"}, {9050, "TXT"}, {9053, "XLS"},
        {9057, "PDF"},                {9058, "CSV"}, {9059, "XML"},
    };
    for (const auto &[id, caption] : commands) {
        SCOPED_TRACE(id);
        w.prompter().clear();
        main.CommandBars_Execute(id, QString::fromLatin1(caption));
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text, "No record found.");
        EXPECT_EQ(w.prompter().last().title, "No Records");
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
        EXPECT_TRUE(w.prompter().dialogs.empty());
        EXPECT_TRUE(w.prompter().urls.isEmpty());
    }
    EXPECT_FALSE(lastReportPreview() && lastReportPreview()->isVisible());
}

TEST(RibbonReports, SavePatientListAsWritesEveryPatientUnderReadableHeadings)
{
    TestWorld w;
    addPatients(w);
    MDIFormMain &main = mainWindow(w);
    // Whatever the list window had loaded, the export reads all patients.
    w.ctx().PatientListRecordset.Open(
        QStringLiteral("select * from PatientRecords where PatientID = 2"), w.db());
    for (const auto &e : kFileExports) {
        SCOPED_TRACE(e.title);
        w.prompter().clear();
        const QString file = w.path(QStringLiteral("list-%1").arg(e.id));
        w.prompter().files.push_back(file);
        main.CommandBars_Execute(e.id, QStringLiteral("ignored"));
        ASSERT_EQ(w.prompter().dialogs.size(), 1u);
        EXPECT_EQ(w.prompter().dialogs[0].kind, "save");
        EXPECT_EQ(w.prompter().dialogs[0].title, e.title);
        EXPECT_EQ(w.prompter().dialogs[0].filter, e.filter);
        EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join("|").toStdString();
        const QString text = QString::fromUtf8(readFile(file));
        EXPECT_EQ(text.section(QStringLiteral("\r\n"), 0, 0), QString::fromUtf8(e.heading));
        for (const char *name : {"Cruz", "O'Neil", "Żółć"})
            EXPECT_TRUE(text.contains(QString::fromUtf8(name))) << name;
        if (e.id == 9059)
            EXPECT_TRUE(text.contains("<Marital_Status>Single</Marital_Status>"));

        // Cancelling the dialog writes nothing and says nothing.
        w.prompter().clear();
        QFile::remove(file);
        main.CommandBars_Execute(e.id, QStringLiteral("ignored"));
        EXPECT_EQ(w.prompter().dialogs.size(), 1u);
        EXPECT_TRUE(w.prompter().boxes.empty());
        EXPECT_FALSE(QFileInfo::exists(file));
    }
}

TEST(RibbonReports, AnExportOfALongListLetsOtherWorkstationsSaveWhileItsFileIsChosen)
{
    TestWorld w;
    w.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where "
                          "i < 2500) insert into PatientRecords (PatientID, LastName) select i, "
                          "'Name' || i from n"));
    MDIFormMain &main = mainWindow(w);
    Connection other;
    other.Open(w.ctx().databaseFile(), w.ctx().databasePassword());
    QString otherFailed;
    w.prompter().whileDialogOpen = [&] {
        try {
            other.Execute(QStringLiteral("update PatientRecords set LastName='Moved' where "
                                         "PatientID=2500"));
        } catch (const DbError &e) {
            otherFailed = e.description();
        }
    };
    const QString file = w.path(QStringLiteral("all.csv"));
    w.prompter().files.push_back(file);
    main.CommandBars_Execute(9058, QStringLiteral("CSV"));
    EXPECT_TRUE(otherFailed.isEmpty()) << otherFailed.toStdString();
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join("|").toStdString();
    // Every patient once, in the file as it was when written.
    const QStringList lines = QString::fromUtf8(readFile(file)).split(QStringLiteral("\r\n"),
                                                                      Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2501);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("\"1\",\"Name1\"")));
    EXPECT_TRUE(lines[2500].startsWith(QStringLiteral("\"2500\",\"Moved\"")));
    // The export let go of the database: this workstation saves too.
    w.exec(QStringLiteral("update PatientRecords set LastName='Own' where PatientID=1"));
}

TEST(RibbonReports, SpreadsheetAndPdfNeedNoFileDialogFirst)
{
    TestWorld w;
    addPatients(w);
    MDIFormMain &main = mainWindow(w);
    main.CommandBars_Execute(9053, QStringLiteral("XLS"));
    EXPECT_TRUE(w.prompter().dialogs.empty());
    ASSERT_EQ(w.prompter().urls.size(), 1);
    EXPECT_TRUE(w.prompter().urls[0].endsWith(".xlsx"));

    w.prompter().clear();
    const QString pdf = w.path(QStringLiteral("patients.pdf"));
    w.prompter().files.push_back(pdf);
    main.CommandBars_Execute(9057, QStringLiteral("PDF"));
    ASSERT_EQ(w.prompter().dialogs.size(), 1u);
    EXPECT_EQ(w.prompter().dialogs[0].title, "Save PDF");
    EXPECT_EQ(w.prompter().urls, QStringList{pdf});
    EXPECT_TRUE(pdfText(pdf).contains(
        QRegularExpression("Patient ID +Last Name +First Name +Middle Name +Birth Date")));
}

TEST(RibbonReports, PrintPatientListPreviewsEveryPatient)
{
    TestWorld w;
    addPatients(w);
    MDIFormMain &main = mainWindow(w);
    w.ctx().PatientListRecordset.Open(
        QStringLiteral("select * from PatientRecords where PatientID = 2"), w.db());
    main.CommandBars_Execute(9028, QStringLiteral("Print Patient List"));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join("|").toStdString();
    ReportPreview *preview = lastReportPreview();
    ASSERT_TRUE(preview);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_FALSE(preview->isModal());
    EXPECT_EQ(preview->windowTitle(), "Patient List");
    EXPECT_EQ(preview->document().pageLayout().orientation(), QPageLayout::Landscape);
    const QStringList texts = preview->pageTexts(preview->pageCount() - 1);
    EXPECT_EQ(texts.value(texts.indexOf("Total Records:") + 1), "3");
    EXPECT_TRUE(preview->pageTexts(0).contains("Żółć"));
    EXPECT_EQ(w.ctx().PatientListRecordset.RecordCount(), 3);
    preview->close();

    // Any other caption on the same id does nothing.
    w.prompter().clear();
    main.CommandBars_Execute(9028, QStringLiteral("Something Else"));
    EXPECT_TRUE(w.prompter().boxes.empty());
}
