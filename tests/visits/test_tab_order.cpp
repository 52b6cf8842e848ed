#include <functional>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "patients/frmAddNewPatient.h"
#include "patients/frmMedicalHistory.h"
#include "support/TestWorld.h"
#include "users/frmAddNewUser.h"
#include "visits/frmAddNewPatientRecord.h"

namespace {

// The name of the control that has the focus; a page control's tab bar is the
// page control.
QString focusName()
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("(none)");
    if (qobject_cast<QTabBar *>(focus) && qobject_cast<QTabWidget *>(focus->parentWidget()))
        return focus->parentWidget()->objectName();
    return focus->objectName();
}

QStringList names(const char *list)
{
    return QString::fromLatin1(list).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

struct Chain
{
    const char *window;
    int page; // -1: a window without pages
    const char *before;
    const char *onPage;
    const char *after;
};

const char *const kPatient =
    "txtFirstName txtMiddleName txtLastname txtSSN txtMedicareNumber dtpBirthDate cboGender "
    "cboMaritalStatus txtAddress1 txtAddress2 txtCity txtState txtZip txtCountry "
    "txtPhoneNumber txtMobileNumber txtContactPerson txtContactPersonNumber txtNotes "
    "cmdLoadImage cmdSaveToFile cmdClear Command1 cmdSave cmdCancel";
const char *const kVisitHeader = "dtpVisitDate txtChiefComplaint txtPhysician txtNurse SSTab1";
const char *const kVisitButtons = "cmdMedicalHistory Command1 cmdSave cmdCancel";
const char *const kHistoryButtons = "Command1 cmdSave cmdCancel";

const Chain kChains[] = {
    {"frmAddNewPatient", -1, kPatient, "", ""},
    {"frmAddNewUser", -1, "txtUserName cboPrivilege txtPassword txtRetype cmdSave cmdCancel", "",
     ""},
    {"frmAddNewPatientRecord", 0, kVisitHeader,
     "txtLocation txtQuality txtSeverity txtDuration txtTiming txtContext txtModifyingFactors "
     "txtSignsSymptoms txtHPI",
     kVisitButtons},
    {"frmAddNewPatientRecord", 1, kVisitHeader,
     "chkGeneral txtGeneral chkSkinBreast txtSkinBreast chkEENT txtEENT chkCardioVascular "
     "txtCardioVascular chkRespiratory txtRespiratory chkGastroIntestinal txtGastroIntestinal "
     "chkGenitoUrinary txtGenitourinary chkMusculoskeletal txtMusculoskeletal chkNeurologic "
     "txtNeurologic chkAllergy txtAllergy",
     kVisitButtons},
    {"frmAddNewPatientRecord", 2, kVisitHeader,
     "txtBloodPressure txtHeartRate txtRespiratoryRate txtTemperature txtHeight txtWeight",
     kVisitButtons},
    {"frmAddNewPatientRecord", 3, kVisitHeader,
     "chkGeneralPE txtGeneralPE chkSkinBreastPE txtSkinBreastPE chkEENMTPE txtEENMTPE "
     "chkRespiratoryPE txtRespiratoryPE chkCardiovascularPE txtCardiovascularPE "
     "chkGastrointestinalPE txtGastrointestinalPE chkGenitourinaryPE txtGenitourinaryPE "
     "chkMusculoskeletalPE txtMusculoskeletalPE chkNeurologicPE txtNeurologicPE",
     kVisitButtons},
    {"frmAddNewPatientRecord", 4, kVisitHeader, "txtDiagnosis txtBodyRegion txtOrganSystem",
     kVisitButtons},
    {"frmAddNewPatientRecord", 5, kVisitHeader,
     "txtDiagnostics txtTherapeutics txtOtherRecommendations txtEmergencyResponse "
     "txtWorkRelated",
     kVisitButtons},
    {"frmMedicalHistory", 0, "SSTab1",
     "txtPastIllness txtPastHospitalization txtPresentMedications txtAllergies",
     kHistoryButtons},
    {"frmMedicalHistory", 1, "SSTab1", "txtFamilyHistory", kHistoryButtons},
    {"frmMedicalHistory", 2, "SSTab1",
     "txtTobaccoUse txtAlcoholUse txtIllicitDrugUse txtSexualHistory", kHistoryButtons},
    {"frmMedicalHistory", 3, "SSTab1",
     "txtObScore txtMenarche txtOCPUse txtPadsDay txtRegularity txtNoDays txtDysmenorrhea",
     kHistoryButtons},
};

Form &windowNamed(TestWorld &w, const QString &name)
{
    if (name == QLatin1String("frmAddNewPatient"))
        return w.ctx().window<frmAddNewPatient>();
    if (name == QLatin1String("frmAddNewUser"))
        return w.ctx().window<frmAddNewUser>();
    if (name == QLatin1String("frmAddNewPatientRecord"))
        return w.ctx().window<frmAddNewPatientRecord>();
    return w.ctx().window<frmMedicalHistory>();
}

} // namespace

TEST(TabOrder, TabAndShiftTabWalkTheShownPageAndTheButtonsOfEveryEditor)
{
    for (const Chain &c : kChains) {
        SCOPED_TRACE(std::string(c.window) + " page " + std::to_string(c.page));
        TestWorld w;
        w.addPatient(1, QStringLiteral("Doe"), QStringLiteral("Jane"));
        w.ctx().SelectedPatientID = QStringLiteral("1");
        w.ctx().UserEditorMode = QStringLiteral("Save");
        Form &form = windowNamed(w, QLatin1String(c.window));
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        if (c.page >= 0)
            form.findChild<QTabWidget *>(QStringLiteral("SSTab1"))->setCurrentIndex(c.page);
        const QStringList chain = names(c.before) + names(c.onPage) + names(c.after);
        form.findChild<QWidget *>(chain.first())->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(focusName(), chain.first());

        QStringList forward;
        for (int i = 0; i < chain.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forward << focusName();
        }
        EXPECT_EQ(forward, chain.mid(1) + chain.mid(0, 1));

        QStringList backward;
        for (int i = 0; i < chain.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            backward << focusName();
        }
        QStringList reversed;
        for (int i = chain.size() - 1; i >= 0; --i)
            reversed << chain.at(i);
        EXPECT_EQ(backward, reversed);

        for (QPlainTextEdit *box : form.findChildren<QPlainTextEdit *>())
            EXPECT_FALSE(box->toPlainText().contains(QLatin1Char('\t')))
                << box->objectName().toStdString();
        form.hide();
    }
}
