#pragma once

#include <vector>

#include "shell/Form.h"
#include "shell/RowGuard.h"
#include "visits/PatientInfoFrame.h"

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TextArea;

// "New Patient Visit": records one visit. A new one (SelectedHistoryID empty)
// belongs to SelectedPatientID as it stands when the window opens; an existing
// one belongs to the patient its own row names.
class frmAddNewPatientRecord : public Form, public PatientHeaderBoxes
{
    Q_OBJECT
public:
    explicit frmAddNewPatientRecord(AppContext &ctx);

    // Medical information.
    QDateEdit *dtpVisitDate;
    QLineEdit *txtChiefComplaint;
    QLineEdit *txtPhysician;
    QLineEdit *txtNurse;

    QTabWidget *SSTab1;
    // History of the present illness.
    QLineEdit *txtLocation;
    QLineEdit *txtQuality;
    QLineEdit *txtSeverity;
    QLineEdit *txtDuration;
    QLineEdit *txtTiming;
    QLineEdit *txtContext;
    QLineEdit *txtModifyingFactors;
    QLineEdit *txtSignsSymptoms;
    TextArea *txtHPI;
    // Review of symptoms.
    QCheckBox *chkGeneral;
    TextArea *txtGeneral;
    QCheckBox *chkSkinBreast;
    TextArea *txtSkinBreast;
    QCheckBox *chkEENT;
    TextArea *txtEENT;
    QCheckBox *chkCardioVascular;
    TextArea *txtCardioVascular;
    QCheckBox *chkRespiratory;
    TextArea *txtRespiratory;
    QCheckBox *chkGastroIntestinal;
    TextArea *txtGastroIntestinal;
    QCheckBox *chkGenitoUrinary;
    TextArea *txtGenitourinary;
    QCheckBox *chkMusculoskeletal;
    TextArea *txtMusculoskeletal;
    QCheckBox *chkNeurologic;
    TextArea *txtNeurologic;
    QCheckBox *chkAllergy;
    TextArea *txtAllergy;
    // Vital signs.
    QLineEdit *txtBloodPressure;
    QLineEdit *txtHeartRate;
    QLineEdit *txtRespiratoryRate;
    QLineEdit *txtTemperature;
    QLineEdit *txtHeight;
    QLineEdit *txtWeight;
    // Physical examination.
    QCheckBox *chkGeneralPE;
    TextArea *txtGeneralPE;
    QCheckBox *chkSkinBreastPE;
    TextArea *txtSkinBreastPE;
    QCheckBox *chkEENMTPE;
    TextArea *txtEENMTPE;
    QCheckBox *chkRespiratoryPE;
    TextArea *txtRespiratoryPE;
    QCheckBox *chkCardiovascularPE;
    TextArea *txtCardiovascularPE;
    QCheckBox *chkGastrointestinalPE;
    TextArea *txtGastrointestinalPE;
    QCheckBox *chkGenitourinaryPE;
    TextArea *txtGenitourinaryPE;
    QCheckBox *chkMusculoskeletalPE;
    TextArea *txtMusculoskeletalPE;
    QCheckBox *chkNeurologicPE;
    TextArea *txtNeurologicPE;
    // Assessment.
    TextArea *txtDiagnosis;
    TextArea *txtBodyRegion;
    TextArea *txtOrganSystem;
    // Plan.
    TextArea *txtDiagnostics;
    TextArea *txtTherapeutics;
    TextArea *txtOtherRecommendations;
    TextArea *txtEmergencyResponse;
    TextArea *txtWorkRelated;

    QPushButton *cmdMedicalHistory;
    QPushButton *Command1;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    // The visit being edited, or the id chosen for the new one.
    qint32 currentHistoryID() const { return m_currentHistoryID; }
    // The patient whose visit this is, fixed when the window opens.
    QString patientID() const { return m_patientID; }

    void SSTab1_Click(int tab);
    void cmdSave_Click();
    void cmdMedicalHistory_Click();
    void Command1_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;

private:
    void buildTabs();

    qint32 m_currentHistoryID = 0;
    bool m_newVisit = true;
    QString m_patientID;
    // The stored visit the window opened with, for the check at Save.
    RowGuard m_guard;
    // Set while the medical history window is open, so that coming back
    // keeps what was typed.
    bool m_keepFieldsOnActivate = false;
    // The editor fields in the order of visitTextColumns().
    std::vector<QWidget *> m_visitFields;
};
