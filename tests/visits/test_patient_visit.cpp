#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "patients/PatientListModel.h"
#include "patients/frmPatientList.h"
#include "reports/ReportPreview.h"
#include "support/TestWorld.h"
#include "visits/VisitListModel.h"
#include "visits/frmPatientVisit.h"

namespace {

class VisitSummaryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
        w.addPatient(2, QStringLiteral("Smith"), QStringLiteral("Anna"));
        addVisit(w, 1, 1, QStringLiteral("2023-11-20"), QStringLiteral("Fever"));
        addVisit(w, 2, 1, QStringLiteral("2024-03-01"), QStringLiteral("Cough"));
        addVisit(w, 3, 1, QStringLiteral("2022-01-05"), QStringLiteral("Check-up"));
    }

    frmPatientVisit &open(const QString &patientId)
    {
        w.ctx().SelectedPatientID = patientId;
        frmPatientVisit &f = w.ctx().window<frmPatientVisit>();
        f.hide();
        f.show();
        return f;
    }

    TestWorld w;
};

} // namespace

TEST_F(VisitSummaryTest, ListsVisitsInStorageOrderAndPrintsThemNewestFirst)
{
    frmPatientVisit &f = open(QStringLiteral("1"));
    EXPECT_EQ(f.txtLastname->text(), QStringLiteral("Doe"));
    EXPECT_EQ(f.txtCivilStatus->text(), QStringLiteral("Single"));
    ASSERT_EQ(f.visits().rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(f.visits().text(row, VisitListModel::HistoryID), QString::number(row + 1));

    QStringList page;
    w.ctx().modalHook = [&](Form &form) {
        auto *preview = qobject_cast<ReportPreview *>(&form);
        ASSERT_NE(preview, nullptr);
        page = preview->pageTexts(0);
    };
    f.cmdSave->click();
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    const int newest = page.indexOf(QStringLiteral("Cough"));
    const int middle = page.indexOf(QStringLiteral("Fever"));
    const int oldest = page.indexOf(QStringLiteral("Check-up"));
    ASSERT_GE(newest, 0);
    EXPECT_LT(newest, middle);
    EXPECT_LT(middle, oldest);
    EXPECT_GE(page.indexOf(QStringLiteral("John")), 0);
}

TEST_F(VisitSummaryTest, APatientWithoutVisitsHasNothingToPrint)
{
    frmPatientVisit &f = open(QStringLiteral("2"));
    EXPECT_EQ(f.visits().rowCount(), 0);
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Records"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
}

TEST_F(VisitSummaryTest, ADeletedPatientClosesTheWindow)
{
    frmPatientVisit &f = open(QStringLiteral("9"));
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Patient record not found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Not Found"));
    EXPECT_FALSE(f.isVisible());
}

TEST_F(VisitSummaryTest, ThePatientListOpensItForTheSelectedPatient)
{
    w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    QString shownFor;
    w.ctx().modalHook = [&](Form &form) {
        auto *summary = qobject_cast<frmPatientVisit *>(&form);
        ASSERT_NE(summary, nullptr);
        shownFor = summary->txtFirstname->text();
    };
    frmPatientList &list = w.ctx().window<frmPatientList>();
    list.show();
    for (int row = 0; row < list.model().rowCount(); ++row) {
        if (list.model().text(row, PatientListModel::PatientID) == QLatin1String("2"))
            list.ListView1->setCurrentIndex(list.model().index(row, 0));
    }
    list.Toolbar1_ButtonClick(4);
    EXPECT_EQ(w.ctx().SelectedPatientID, QStringLiteral("2"));
    EXPECT_EQ(shownFor, QStringLiteral("Anna"));
}
