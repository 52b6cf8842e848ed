#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "ReportsFixture.h"
#include "data/Recordset.h"
#include "reports/TextTablePdf.h"
#include "reports/modSaveRecordset.h"
#include "support/TestWorld.h"

namespace {

const QString kPatientListSql = QStringLiteral(
    "Select PatientID as [Patient ID],LastName as [Last Name],FirstName as [First Name],"
    "MiddleName as [Middle Name],DateOfBirth as [Birth Date],Gender,MaritalStatus as [Marital "
    "Status],Phone as [Phone Number],Mobile as [Mobile Number] from PatientRecords");

// Records.txt is only a step on the way: nothing of it may stay in TEMP.
bool recordsTextLeft(TestWorld &w)
{
    return !w.tempFilesLeft().isEmpty();
}

} // namespace

TEST(PdfOutput, SavesTheTableWhereTheUserChoosesAndOpensIt)
{
    TestWorld w;
    for (int id = 1; id <= 150; ++id)
        w.addPatient(id, QStringLiteral("Surname%1").arg(id), QStringLiteral("Given%1").arg(id));
    Recordset rs;
    rs.Open(kPatientListSql, w.db());
    const QString pdf = w.path(QStringLiteral("patients.pdf"));
    w.prompter().files.push_back(pdf);
    SaveRecordsetToPDF(rs, QString(), w.ctx());

    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join("|").toStdString();
    ASSERT_EQ(w.prompter().dialogs.size(), 1u);
    EXPECT_EQ(w.prompter().dialogs[0].title, "Save PDF");
    EXPECT_EQ(w.prompter().dialogs[0].filter, "PDF Files (*.pdf)|*.pdf");
    EXPECT_EQ(w.prompter().urls, QStringList{pdf});
    EXPECT_FALSE(recordsTextLeft(w));

    const QString text = pdfText(pdf);
    const QRegularExpression heading(QStringLiteral(
        "Patient ID +Last Name +First Name +Middle Name +Birth Date +Gender +Marital Status +"
        "Phone Number +Mobile Number"));
    // The table runs over several pages, each headed by the field names.
    const int pages = int(text.count(QLatin1Char('\f')));
    EXPECT_GE(pages, 2);
    EXPECT_EQ(int(text.count(heading)), pages) << text.left(2000).toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(
        QStringLiteral("\n *150 +Surname150 +Given150 +1980-05-17 +Male +Single"))));
}

TEST(PdfOutput, AValueWithATabOrLineBreakStaysOnItsRowUnderItsHeading)
{
    TestWorld w;
    w.addPatient(7, QStringLiteral("Cruz"), QStringLiteral("Ana"));
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID, PatientID, VisitDate, "
                          "ChiefComplaint, Physician, Nurse) values (1, 7, '2024-05-01', "
                          "'Cough' || char(13) || char(10) || 'at night', "
                          "'Dr.' || char(9) || 'Reyes', 'Kim')"));
    Recordset rs;
    rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
    const QString pdf = w.path(QStringLiteral("visits.pdf"));
    w.prompter().files.push_back(pdf);
    SaveRecordsetToPDF(rs, QString(), w.ctx());
    ASSERT_TRUE(QFileInfo::exists(pdf)) << w.prompter().texts().join("|").toStdString();

    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral(
        "\\n *7 +Ana Cruz +2024-05-01 +Cough +at night +Dr\\. Reyes +Kim *\\n"))))
        << text.toStdString();
}

TEST(PdfOutput, CancelWritesNothingAndFailureStillCleansUp)
{
    TestWorld w;
    addTrickyVisits(w);
    Recordset rs;
    rs.Open(visitExportSql(), w.db(), adOpenStatic, adLockReadOnly);
    SaveRecordsetToPDF(rs, QString(), w.ctx()); // the dialog is cancelled
    EXPECT_EQ(w.prompter().dialogs.size(), 1u);
    EXPECT_TRUE(w.prompter().boxes.empty());
    EXPECT_TRUE(w.prompter().urls.isEmpty());
    EXPECT_FALSE(recordsTextLeft(w));
    EXPECT_EQ(QDir(w.root()).entryList({"*.pdf"}), QStringList());

    rs.MoveFirst();
    w.prompter().files.push_back(w.path(QStringLiteral("missing/visits.pdf")));
    SaveRecordsetToPDF(rs, QString(), w.ctx());
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, "Application Error");
    EXPECT_TRUE(w.prompter().last().text.contains(
        "in Pathmere2021/08/31.modSaveRecordset.SaveRecordsetToPDF at line 108"))
        << w.prompter().last().text.toStdString();
    EXPECT_FALSE(recordsTextLeft(w));
    EXPECT_TRUE(w.prompter().urls.isEmpty());
}

TEST(PdfOutput, TextTableLayout)
{
    // Columns align, long cells wrap in their column, pages repeat the heading.
    const QString text = QStringLiteral("ID\tName\tNote\t\r\n"
                                        "1\tAna\tshort\t\r\n"
                                        "22\tBartholomew\tthis note is long enough to wrap\t\r\n"
                                        "3\tCy\t\t\r\n\r\n");
    const auto pages = textTablePages(text, 80, 5, 12);
    const QString heading = QStringLiteral("ID  Name         Note");
    const QString rule = QStringLiteral("--  -----------  ------------");
    const std::vector<QStringList> expected = {
        {heading, rule, "1   Ana          short"},
        {heading, rule, "22  Bartholomew  this note is", "                 long enough",
         "                 to wrap"},
        {heading, rule, "3   Cy"},
    };
    EXPECT_EQ(pages, expected);

    // Too wide for one line: the columns that do not fit follow as a group.
    const auto grouped = textTablePages(QStringLiteral("A\tB\tC\t\r\naaaa\tbbbb\tcccc\t\r\n"),
                                        10, 20);
    EXPECT_EQ(grouped, (std::vector<QStringList>{
                           {"A     B", "----  ----", "aaaa  bbbb", "", "C", "----", "cccc"}}));
}
