#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include "ReportsFixture.h"
#include "data/Recordset.h"
#include "reports/ReportLayouts.h"
#include "reports/ReportPreview.h"
#include "support/TestWorld.h"

namespace {
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

TEST(ReportPreview, PatientListOpensBesideItsCallerAndPages)
{
    TestWorld w;
    for (int id = 1; id <= 120; ++id)
        w.addPatient(id, QStringLiteral("Last%1").arg(id), QStringLiteral("First%1").arg(id));
    Recordset rs;
    rs.Open(QStringLiteral("Select * from PatientRecords"), w.db());
    rs.Move(5);
    QWidget owner;
    owner.show();
    showReport(w.ctx(), DRPatientList(), rs, &owner);

    EXPECT_EQ(rs.AbsolutePosition(), 5) << "the caller's row stays current";
    QPointer<ReportPreview> preview = lastReportPreview();
    ASSERT_TRUE(preview);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_FALSE(preview->isModal());
    EXPECT_EQ(preview->windowModality(), Qt::NonModal);
    EXPECT_EQ(preview->windowTitle(), "Patient List");
    ASSERT_GT(preview->pageCount(), 1);
    EXPECT_TRUE(preview->pageTexts(0).contains("Last1"));
    EXPECT_FALSE(preview->cmdPrevious->isEnabled());

    preview->cmdNext->click();
    EXPECT_EQ(preview->currentPage(), 1);
    EXPECT_EQ(preview->txtPage->value(), 2);
    preview->cmdLast->click();
    EXPECT_EQ(preview->currentPage(), preview->pageCount() - 1);
    EXPECT_FALSE(preview->cmdNext->isEnabled());
    preview->txtPage->setValue(1);
    EXPECT_EQ(preview->currentPage(), 0);
    EXPECT_TRUE(preview->pageTexts(preview->pageCount() - 1).contains("Total Records:"));
    preview->grab(); // paints a page

    QTest::keyClick(preview, Qt::Key_Escape);
    ASSERT_TRUE(preview);
    EXPECT_FALSE(preview->isVisible());
    flushDeletes();
    EXPECT_FALSE(preview) << "a closed preview is gone";
}

TEST(ReportPreview, UserListIsModalAndPrintsTheRowsItIsGiven)
{
    TestWorld w;
    ReportData data;
    data.fields = QStringList{"UserID", "UserName", "Privilege"};
    data.rows = {{1, QStringLiteral("admin"), QStringLiteral("Administrator")},
                 {2, QStringLiteral("nurse"), QStringLiteral("Staff")}};
    QStringList seen;
    QString title;
    w.ctx().modalHook = [&](Form &f) {
        auto *preview = qobject_cast<ReportPreview *>(&f);
        ASSERT_TRUE(preview);
        title = preview->windowTitle();
        seen = preview->pageTexts(0);
        preview->cmdClose->click();
        EXPECT_FALSE(preview->isVisible());
    };
    showReport(w.ctx(), DRUserList(), data, nullptr);
    EXPECT_EQ(title, "User List");
    EXPECT_EQ(seen.mid(seen.indexOf("User ID"), 9),
              QStringList({"User ID", "User Name", "Privilege", "1", "admin", "Administrator",
                           "2", "nurse", "Staff"}));
    flushDeletes();
    EXPECT_FALSE(lastReportPreview());
}

TEST(ReportPreview, SavesItsPagesAsPdf)
{
    TestWorld w;
    addTrickyVisits(w);
    Recordset rs;
    rs.Open(QStringLiteral("select a.PatientID,VisitDate,LastName,FirstName,ChiefComplaint,"
                           "Physician,Nurse from PatientRecords a inner join MedicalHistory b on "
                           "a.PatientID=b.PatientID"),
            w.db(), adOpenStatic, adLockReadOnly);
    ReportData data = ReportData::fromRecordset(rs);
    ReportLayout layout = DRMedicalHistoryAll();
    layout.modal = false; // keeps it open for the test
    showReport(w.ctx(), layout, data, nullptr);
    ReportPreview *preview = lastReportPreview();
    ASSERT_TRUE(preview);

    const QString pdf = w.path(QStringLiteral("history.pdf"));
    w.prompter().files.push_back(pdf);
    preview->cmdExport->click();
    ASSERT_EQ(w.prompter().dialogs.size(), 1u);
    EXPECT_EQ(w.prompter().dialogs[0].title, "Save PDF");
    EXPECT_EQ(w.prompter().dialogs[0].filter, "PDF Files (*.pdf)|*.pdf");
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join("|").toStdString();
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("Chief Complaint")) << text.toStdString();
    EXPECT_TRUE(text.contains("Dr. Ωμέγα"));
    EXPECT_TRUE(text.contains("Total Records:"));

    // Cancelling the dialog writes nothing.
    QFile::remove(pdf);
    preview->cmdExport->click();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    preview->close();
}
