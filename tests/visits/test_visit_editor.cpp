#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "VisitTestSupport.h"
#include "patients/frmMedicalHistory.h"
#include "shell/modMain.h"
#include "shell/TextArea.h"
#include "shell/WidgetUtils.h"
#include "support/TestWorld.h"
#include "visits/VisitListModel.h"
#include "visits/VisitRecord.h"
#include "visits/frmAddNewPatientRecord.h"
#include "visits/frmPatientHistory.h"

namespace {

class VisitEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("John"));
        w.addPatient(2, QStringLiteral("Smith"), QStringLiteral("Anna"));
    }

    // Shows the editor on a new visit (historyId "") or on a stored one.
    frmAddNewPatientRecord &open(const QString &historyId = QString(),
                                 const QString &patientId = QStringLiteral("1"))
    {
        w.ctx().SelectedPatientID = patientId;
        w.ctx().SelectedHistoryID = historyId;
        frmAddNewPatientRecord &f = w.ctx().window<frmAddNewPatientRecord>();
        f.hide();
        f.show();
        return f;
    }

    QWidget *field(frmAddNewPatientRecord &f, const char *name)
    {
        return f.findChild<QWidget *>(QLatin1String(name));
    }

    // A distinct text with an apostrophe for every visit column.
    static QString sample(const VisitColumn &c)
    {
        return QStringLiteral("O'Neil's ") + QLatin1String(c.column);
    }

    TestWorld w;
};

} // namespace

TEST_F(VisitEditorTest, ANewVisitTakesOneMoreThanTheLastId)
{
    EXPECT_EQ(open().currentHistoryID(), 1);
    addVisit(w, 1, 1, QStringLiteral("2024-01-01"), QStringLiteral("a"));
    addVisit(w, 2, 1, QStringLiteral("2024-01-02"), QStringLiteral("b"));
    addVisit(w, 5, 2, QStringLiteral("2024-01-03"), QStringLiteral("c"));
    frmAddNewPatientRecord &f = open();
    EXPECT_EQ(f.currentHistoryID(), 6);
    EXPECT_EQ(f.dtpVisitDate->date(), QDate::currentDate());
    EXPECT_EQ(f.dtpVisitDate->displayFormat(), QStringLiteral("MM/dd/yyyy"));
    EXPECT_EQ(f.txtLastname->text(), QStringLiteral("Doe"));
    EXPECT_EQ(f.txtAge->text(), QString::number(AgeInYears(QStringLiteral("1980-05-17"))));
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST_F(VisitEditorTest, AChiefComplaintOfBlanksIsRefused)
{
    frmAddNewPatientRecord &f = open();
    f.txtChiefComplaint->setText(QStringLiteral("   "));
    f.txtPhysician->setText(QStringLiteral("Dr. Reyes"));
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("You forgot to input chief compliant."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Medlantis"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 0);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.txtPhysician->text(), QStringLiteral("Dr. Reyes"));
}

TEST_F(VisitEditorTest, EveryFieldIsStoredAndReadBackWithItsApostrophes)
{
    w.ctx().window<frmPatientHistory>().setPatient(QStringLiteral("1"), QStringLiteral("JOHN DOE"));
    frmAddNewPatientRecord &f = open();
    for (const VisitColumn &c : visitTextColumns()) {
        QWidget *box = field(f, c.field);
        ASSERT_NE(box, nullptr) << c.field;
        setBoxText(box, sample(c));
    }
    const QString longText(3000, QLatin1Char('x'));
    f.txtOtherRecommendations->setText(longText);
    f.dtpVisitDate->setDate(QDate(2024, 2, 29));
    f.cmdSave->click();

    ASSERT_EQ(w.prompter().boxes.size(), 1u) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Record Successfully Saved."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Saved"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(w.scalar(QStringLiteral("select VisitDate from MedicalHistory where HistoryID=1")),
              QStringLiteral("2024-02-29"));
    EXPECT_EQ(w.scalar(QStringLiteral("select PatientID from MedicalHistory where HistoryID=1")),
              1);
    for (const VisitColumn &c : visitTextColumns()) {
        const QString stored =
            w.scalar(QStringLiteral("select %1 from MedicalHistory where HistoryID=1")
                         .arg(QLatin1String(c.column)))
                .toString();
        EXPECT_EQ(stored, QLatin1String(c.column) == QLatin1String("OtherRecommendations")
                              ? longText
                              : sample(c))
            << c.column;
    }
    // The visit list was brought up to date.
    EXPECT_EQ(w.ctx().window<frmPatientHistory>().visits().rowCount(), 1);

    frmAddNewPatientRecord &again = open(QStringLiteral("1"));
    EXPECT_EQ(again.currentHistoryID(), 1);
    EXPECT_EQ(again.dtpVisitDate->date(), QDate(2024, 2, 29));
    EXPECT_EQ(again.txtPhysician->text(), QStringLiteral("O'Neil's Physician"));
    EXPECT_EQ(again.txtOtherRecommendations->text(), longText);
    EXPECT_EQ(again.txtEENMTPE->text(), QStringLiteral("O'Neil's PEEENT"));
}

TEST_F(VisitEditorTest, SavingAStoredVisitUnchangedLeavesEveryColumnAsItWas)
{
    QStringList texts;
    for (const VisitColumn &c : visitTextColumns())
        texts << sample(c);
    w.exec(QStringLiteral("insert into MedicalHistory (HistoryID,PatientID) values (4,1)"));
    w.exec(visitUpdateSql(QStringLiteral("2023-07-04"), texts, 4));
    const QString row = QStringLiteral("select * from MedicalHistory where HistoryID=4");
    const QVariantList before = rowValues(w, row);
    ASSERT_EQ(before.size(), 48);

    frmAddNewPatientRecord &f = open(QStringLiteral("4"));
    f.cmdSave->click();
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Record Successfully Saved."));
    EXPECT_EQ(rowValues(w, row), before);
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 1);
}

TEST_F(VisitEditorTest, ANullColumnLeavesOnlyItsFieldEmpty)
{
    addVisit(w, 3, 1, QStringLiteral("2023-07-04"), QStringLiteral("Cough"));
    w.exec(QStringLiteral("update MedicalHistory set Physician=NULL, Weight='80 kg' "
                          "where HistoryID=3"));
    w.exec(QStringLiteral("update PatientRecords set MiddleName=NULL, Gender=NULL "
                          "where PatientID=1"));
    frmAddNewPatientRecord &f = open(QStringLiteral("3"));
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_EQ(f.txtPhysician->text(), QString());
    EXPECT_EQ(f.txtNurse->text(), QStringLiteral("Kim"));
    EXPECT_EQ(f.txtWeight->text(), QStringLiteral("80 kg"));
    EXPECT_EQ(f.txtGender->text(), QString());
    EXPECT_EQ(f.txtLastname->text(), QStringLiteral("Doe"));
    EXPECT_EQ(f.dtpVisitDate->date(), QDate(2023, 7, 4));
}

TEST_F(VisitEditorTest, TypedValuesAndCheckBoxesSurviveTheMedicalHistoryWindow)
{
    frmAddNewPatientRecord &f = open();
    f.txtChiefComplaint->setText(QStringLiteral("Headache"));
    f.txtWeight->setText(QStringLiteral("72 kg"));
    f.chkGeneral->setChecked(true);
    f.chkNeurologicPE->setChecked(true);
    f.dtpVisitDate->setDate(QDate(2024, 1, 15));
    bool historyShown = false;
    w.ctx().modalHook = [&](Form &form) {
        auto *history = qobject_cast<frmMedicalHistory *>(&form);
        ASSERT_NE(history, nullptr);
        historyShown = true;
        EXPECT_EQ(history->txtLastname->text(), QStringLiteral("Doe"));
        history->txtAllergies->setText(QStringLiteral("penicillin"));
        history->cmdSave->click();
    };
    f.cmdMedicalHistory->click();
    EXPECT_TRUE(historyShown);
    EXPECT_EQ(f.txtChiefComplaint->text(), QStringLiteral("Headache"));
    EXPECT_EQ(f.txtWeight->text(), QStringLiteral("72 kg"));
    EXPECT_TRUE(f.chkGeneral->isChecked());
    EXPECT_TRUE(f.chkNeurologicPE->isChecked());
    EXPECT_EQ(f.dtpVisitDate->date(), QDate(2024, 1, 15));
    EXPECT_EQ(f.currentHistoryID(), 1);

    // Only that one return keeps the fields: the next showing starts afresh.
    frmAddNewPatientRecord &again = open();
    EXPECT_TRUE(again.txtChiefComplaint->text().isEmpty());
    EXPECT_FALSE(again.chkGeneral->isChecked());
}

TEST_F(VisitEditorTest, AnIdTakenByAnotherWorkstationMovesTheNewVisitOn)
{
    addVisit(w, 1, 2, QStringLiteral("2024-01-01"), QStringLiteral("Rash"));
    frmAddNewPatientRecord &f = open();
    ASSERT_EQ(f.currentHistoryID(), 2);
    // Meanwhile another workstation saves visits 2 and 3.
    addVisit(w, 2, 2, QStringLiteral("2024-01-02"), QStringLiteral("Other"));
    addVisit(w, 3, 2, QStringLiteral("2024-01-03"), QStringLiteral("Third"));
    f.txtChiefComplaint->setText(QStringLiteral("Headache"));
    f.cmdSave->click();
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Record Successfully Saved."));
    EXPECT_EQ(w.scalar(QStringLiteral("select ChiefComplaint from MedicalHistory "
                                      "where HistoryID=2")),
              QStringLiteral("Other"));
    EXPECT_EQ(w.scalar(QStringLiteral("select PatientID from MedicalHistory where HistoryID=2")),
              2);
    EXPECT_EQ(w.scalar(QStringLiteral("select ChiefComplaint from MedicalHistory "
                                      "where HistoryID=4")),
              QStringLiteral("Headache"));
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 4);
}

TEST_F(VisitEditorTest, AFailingSaveKeepsTheWindowAndReportsNothingSaved)
{
    w.exec(QStringLiteral("create trigger refuse before update on MedicalHistory "
                          "begin select raise(abort, 'database is locked'); end"));
    frmAddNewPatientRecord &f = open();
    f.txtChiefComplaint->setText(QStringLiteral("Headache"));
    f.chkAllergy->setChecked(true);
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Application Error"));
    EXPECT_TRUE(w.prompter().last().text.contains(QStringLiteral("database is locked")));
    EXPECT_TRUE(w.prompter().last().text.contains(
        QStringLiteral("frmAddNewPatientRecord.cmdSave_Click")));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.txtChiefComplaint->text(), QStringLiteral("Headache"));
    EXPECT_TRUE(f.chkAllergy->isChecked());
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 0); // the id row went back too
    EXPECT_FALSE(w.ctx().hasWindow<frmPatientHistory>());

    // Once the database accepts it, the same window saves.
    w.exec(QStringLiteral("drop trigger refuse"));
    f.cmdSave->click();
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Record Successfully Saved."));
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 1);
}

TEST_F(VisitEditorTest, APatientDeletedElsewhereClosesTheEditorWithoutWriting)
{
    frmAddNewPatientRecord &gone = open(QString(), QStringLiteral("99"));
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Patient record not found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Not Found"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Warning);
    EXPECT_FALSE(gone.isVisible());

    w.prompter().clear();
    frmAddNewPatientRecord &f = open();
    f.txtChiefComplaint->setText(QStringLiteral("Headache"));
    w.exec(QStringLiteral("delete from PatientRecords where PatientID=1"));
    f.cmdSave->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("Patient record not found."));
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(w.count(QStringLiteral("MedicalHistory")), 0);
}

TEST_F(VisitEditorTest, ChoosingATabPutsTheCursorInItsFirstField)
{
    frmAddNewPatientRecord &f = open();
    QWidget *const first[] = {f.txtLocation,  f.txtGeneral,   f.txtBloodPressure,
                              f.txtGeneralPE, f.txtDiagnosis, f.txtDiagnostics};
    for (int tab : {3, 1, 5, 2, 4, 0}) {
        f.SSTab1->setCurrentIndex(tab);
        EXPECT_EQ(f.focusWidget(), first[tab]) << tab;
    }
    EXPECT_EQ(f.SSTab1->tabText(0), QStringLiteral("History Of  Present &Illness"));
}

TEST_F(VisitEditorTest, ExportToPdfSavesTheStoredVisitOnly)
{
    frmAddNewPatientRecord &f = open();
    f.Command1->click();
    ASSERT_EQ(w.prompter().boxes.size(), 1u);
    EXPECT_EQ(w.prompter().last().text, QStringLiteral("No record found."));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Record Found"));

    addVisit(w, 1, 1, QStringLiteral("2024-01-01"), QStringLiteral("Cough"));
    w.prompter().clear();
    const QString pdf = w.path(QStringLiteral("visit.pdf"));
    w.prompter().files.push_back(pdf);
    open(QStringLiteral("1")).Command1->click();
    EXPECT_TRUE(w.prompter().boxes.empty()) << w.prompter().texts().join('|').toStdString();
    EXPECT_TRUE(QFile::exists(pdf));
}
