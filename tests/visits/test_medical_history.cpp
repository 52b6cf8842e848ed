#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "patients/frmMedicalHistory.h"
#include "shell/TextArea.h"
#include "shell/WidgetUtils.h"
#include "shell/modMain.h"
#include "support/TestWorld.h"

namespace {

// The history columns and their boxes.
const std::pair<const char *, const char *> kHistory[] = {
    {"Illness", "txtPastIllness"},
    {"Hospitalization", "txtPastHospitalization"},
    {"Medications", "txtPresentMedications"},
    {"Allergies", "txtAllergies"},
    {"FamilyHistory", "txtFamilyHistory"},
    {"TobaccoUse", "txtTobaccoUse"},
    {"AlcoholUse", "txtAlcoholUse"},
    {"IllicitDrugUse", "txtIllicitDrugUse"},
    {"SexualHistory", "txtSexualHistory"},
    {"OBScore", "txtObScore"},
    {"OBMenarche", "txtMenarche"},
    {"OCPUse", "txtOCPUse"},
    {"PadsDay", "txtPadsDay"},
    {"NoDays", "txtNoDays"},
    {"Regularity", "txtRegularity"},
    {"DysmenorrheaNoted", "txtDysmenorrhea"},
};

class MedicalHistoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"),
                     QStringLiteral("1990-02-03"));
        w.ctx().SelectedPatientID = QStringLiteral("1");
    }

    frmMedicalHistory &open()
    {
        frmMedicalHistory &f = w.ctx().window<frmMedicalHistory>();
        f.hide();
        f.show();
        return f;
    }

    static QString boxText(frmMedicalHistory &f, const char *name)
    {
        return ::boxText(f.findChild<QWidget *>(QLatin1String(name)));
    }

    static void setBoxText(frmMedicalHistory &f, const char *name, const QString &text)
    {
        ::setBoxText(f.findChild<QWidget *>(QLatin1String(name)), text);
    }

    QVariant column(const char *name)
    {
        return w.scalar(QStringLiteral("select %1 from PatientRecords where PatientID=1")
                            .arg(QLatin1String(name)));
    }

    TestWorld w;
};

} // namespace

TEST_F(MedicalHistoryTest, AnEmptyHistoryIsStoredAsEmptyTexts)
{
    frmMedicalHistory &f = open();
    EXPECT_EQ(f.txtFirstname->text(), QStringLiteral("Jane"));
    EXPECT_EQ(f.txtBirthDate->text(), QStringLiteral("1990-02-03"));
    EXPECT_EQ(f.txtAge->text(), QString::number(AgeInYears(QStringLiteral("1990-02-03"))));
    for (const auto &[columnName, box] : kHistory) {
        EXPECT_TRUE(column(columnName).isNull()) << columnName;
        EXPECT_EQ(boxText(f, box), QString()) << box;
    }
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Record Successfully Saved."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Saved"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
    EXPECT_FALSE(f.isVisible());
    for (const auto &[columnName, box] : kHistory) {
        const QVariant stored = column(columnName);
        EXPECT_FALSE(stored.isNull()) << columnName;
        EXPECT_EQ(stored.toString(), QString()) << columnName;
    }
}

TEST_F(MedicalHistoryTest, EveryHistoryTextRoundTripsWithItsApostrophes)
{
    frmMedicalHistory &f = open();
    for (const auto &[columnName, box] : kHistory)
        setBoxText(f, box, QStringLiteral("O'Hara's ") + QLatin1String(columnName));
    setBoxText(f, "txtAllergies", QStringLiteral("nurse's latex gloves"));
    setBoxText(f, "txtFamilyHistory", QStringLiteral("Mother: diabetes\nFather's side: asthma"));
    f.cmdSave->click();
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Record Successfully Saved."));
    EXPECT_EQ(column("Allergies"), QStringLiteral("nurse's latex gloves"));
    EXPECT_EQ(column("FamilyHistory"), QStringLiteral("Mother: diabetes\nFather's side: asthma"));
    EXPECT_EQ(column("DysmenorrheaNoted"), QStringLiteral("O'Hara's DysmenorrheaNoted"));
    EXPECT_EQ(column("LastName"), QStringLiteral("Doe"));

    frmMedicalHistory &again = open();
    for (const auto &[columnName, box] : kHistory)
        EXPECT_EQ(boxText(again, box), column(columnName).toString()) << box;
}

TEST_F(MedicalHistoryTest, CancelAndANewShowingDropWhatWasTyped)
{
    frmMedicalHistory &f = open();
    f.txtTobaccoUse->setText(QStringLiteral("10 a day"));
    f.cmdCancel->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(column("TobaccoUse").isNull());
    EXPECT_EQ(open().txtTobaccoUse->text(), QString());
}

TEST_F(MedicalHistoryTest, ChoosingATabPutsTheCursorInItsFirstField)
{
    frmMedicalHistory &f = open();
    QWidget *const first[] = {f.txtPastIllness, f.txtFamilyHistory, f.txtTobaccoUse,
                              f.txtObScore};
    for (int tab : {2, 1, 3, 0}) {
        f.SSTab1->setCurrentIndex(tab);
        EXPECT_EQ(f.focusWidget(), first[tab]) << tab;
    }
    EXPECT_EQ(f.SSTab1->tabText(2), QStringLiteral("&Social History"));
}

TEST_F(MedicalHistoryTest, AFailingSaveKeepsTheWindowAndWhatWasTyped)
{
    w.exec(QStringLiteral("create trigger refuse before update on PatientRecords "
                          "begin select raise(abort, 'disk I/O error'); end"));
    frmMedicalHistory &f = open();
    f.txtAllergies->setText(QStringLiteral("nurse's latex gloves"));
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(w.prompter().last().text.contains(QStringLiteral("disk I/O error")));
    EXPECT_TRUE(
        w.prompter().last().text.contains(QStringLiteral("frmMedicalHistory.cmdSave_Click")));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.txtAllergies->text(), QStringLiteral("nurse's latex gloves"));
    EXPECT_TRUE(column("Allergies").isNull());
}

TEST_F(MedicalHistoryTest, APatientGoneOrDeletedElsewhereIsNeverWritten)
{
    w.ctx().SelectedPatientID = QStringLiteral("42");
    frmMedicalHistory &gone = open();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Patient record not found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Not Found"));
    EXPECT_FALSE(gone.isVisible());

    w.prompter().clear();
    w.ctx().SelectedPatientID = QStringLiteral("1");
    frmMedicalHistory &f = open();
    f.txtAllergies->setText(QStringLiteral("none"));
    w.exec(QStringLiteral("delete from PatientRecords where PatientID=1"));
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text,
              QStringLiteral("This record was deleted at another workstation after you opened "
                             "it. Nothing was saved."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Deleted"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.txtAllergies->text(), QStringLiteral("none"));
    EXPECT_EQ(w.count(QStringLiteral("PatientRecords")), 0);
}

TEST_F(MedicalHistoryTest, ExportToPdfSavesThePatientsVisits)
{
    frmMedicalHistory &f = open();
    f.txtAllergies->setText(QStringLiteral("pollen"));
    f.Command1->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Record Found"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);

    addVisit(w, 1, 1, QStringLiteral("2024-01-01"), QStringLiteral("Cough"));
    w.prompter().clear();
    const QString pdf = w.path(QStringLiteral("history.pdf"));
    w.prompter().files.push_back(pdf);
    f.Command1->click();
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_TRUE(QFile::exists(pdf));
}
