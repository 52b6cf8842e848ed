#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "patients/PatientListModel.h"
#include "patients/frmMedicalHistory.h"
#include "patients/frmSearchPatient.h"
#include "app/MDIFormMain.h"
#include "shell/TextArea.h"
#include "support/TestWorld.h"
#include "visits/VisitListModel.h"
#include "visits/frmAddNewPatientRecord.h"
#include "visits/frmPatientHistory.h"

TEST(VisitCommands, EachOpensThePatientSelectorInItsMode)
{
    TestWorld w;
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    const std::pair<int, const char *> commands[] = {
        {9021, "Add Patient Visit"}, {9022, "View Patient Visit(s)"},
        {9022, "Print Patient Visit(s)"}, {9060, "TXT"}, {9061, "XML"},
        {9062, "PDF"}, {9063, "XLS"}, {9064, "CSV"},
    };
    for (const auto &[id, caption] : commands) {
        SCOPED_TRACE(caption);
        QString shown;
        w.ctx().modalHook = [&](Form &form) {
            shown = form.objectName();
            EXPECT_EQ(w.ctx().PatientSelectorMode, QString::fromUtf8(caption));
        };
        main.CommandBars_Execute(id, QString::fromUtf8(caption));
        EXPECT_EQ(shown, QStringLiteral("frmSearchPatient"));
    }
    EXPECT_TRUE(w.prompter().boxes.empty());
}

// The whole way of a new visit: ribbon, selector, editor, medical history,
// back, save; then the patient's visits are listed.
TEST(VisitCommands, AVisitIsRecordedFromTheRibbon)
{
    TestWorld w;
    w.ctx().CurrentUser.Privilege = QStringLiteral("Staff");
    w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
    w.addPatient(2, QStringLiteral("Roe"), QStringLiteral("Rita"));
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    QStringList shown;
    w.ctx().modalHook = [&](Form &form) {
        shown << form.objectName();
        if (auto *selector = qobject_cast<frmSearchPatient *>(&form)) {
            QTest::keyClicks(selector->txtSearch, QStringLiteral("ro"));
            ASSERT_EQ(selector->patients().rowCount(), 1);
            selector->cmdSelect->click();
        } else if (auto *editor = qobject_cast<frmAddNewPatientRecord *>(&form)) {
            EXPECT_EQ(editor->txtFirstname->text(), QStringLiteral("Rita"));
            editor->txtChiefComplaint->setText(QStringLiteral("Sore throat"));
            editor->SSTab1->setCurrentIndex(2);
            QTest::keyClicks(editor->txtTemperature, QStringLiteral("38.5 C"));
            editor->chkGeneralPE->setChecked(true);
            editor->cmdMedicalHistory->click();
            EXPECT_EQ(editor->txtTemperature->text(), QStringLiteral("38.5 C"));
            editor->cmdSave->click();
        } else if (auto *history = qobject_cast<frmMedicalHistory *>(&form)) {
            history->txtAllergies->setText(QStringLiteral("nurse's latex gloves"));
            history->cmdSave->click();
        }
    };
    main.CommandBars_Execute(9021, QStringLiteral("Add Patient Visit"));
    EXPECT_EQ(shown, QStringList({"frmSearchPatient", "frmAddNewPatientRecord",
                                  "frmMedicalHistory"}));
    EXPECT_EQ(w.scalar(QStringLiteral("select Temperature from MedicalHistory "
                                      "where HistoryID=1 and PatientID=2")),
              QStringLiteral("38.5 C"));
    EXPECT_EQ(w.scalar(QStringLiteral("select Allergies from PatientRecords where PatientID=2")),
              QStringLiteral("nurse's latex gloves"));

    w.ctx().modalHook = [&](Form &form) {
        if (auto *selector = qobject_cast<frmSearchPatient *>(&form)) {
            selector->txtSearch->clear();
            selector->cmdShowAll->click();
            selector->ListView1->setCurrentIndex(selector->patients().index(1, 0));
            selector->cmdSelect->click();
        }
    };
    main.CommandBars_Execute(9022, QStringLiteral("View Patient Visit(s)"));
    frmPatientHistory &list = w.ctx().window<frmPatientHistory>();
    EXPECT_EQ(list.lblPatientName->text(), QStringLiteral("RITA ROE"));
    ASSERT_EQ(list.visits().rowCount(), 1);
    EXPECT_EQ(list.visits().text(0, VisitListModel::ChiefComplaint),
              QStringLiteral("Sore throat"));
}
