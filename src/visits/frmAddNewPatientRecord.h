#pragma once

#include <vector>

#include "shell/Form.h"
#include "visits/PatientInfoFrame.h"

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTabWidget;

// "New Patient Visit": records one visit of SelectedPatientID, a new one when
// SelectedHistoryID is empty, else the visit with that id.
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
    QLineEdit *txtHPI;
    // Review of symptoms.
    QCheckBox *chkGeneral;
    QLineEdit *txtGeneral;
    QCheckBox *chkSkinBreast;
    QLineEdit *txtSkinBreast;
    QCheckBox *chkEENT;
    QLineEdit *txtEENT;
    QCheckBox *chkCardioVascular;
    QLineEdit *txtCardioVascular;
    QCheckBox *chkRespiratory;
    QLineEdit *txtRespiratory;
    QCheckBox *chkGastroIntestinal;
    QLineEdit *txtGastroIntestinal;
    QCheckBox *chkGenitoUrinary;
    QLineEdit *txtGenitourinary;
    QCheckBox *chkMusculoskeletal;
    QLineEdit *txtMusculoskeletal;
    QCheckBox *chkNeurologic;
    QLineEdit *txtNeurologic;
    QCheckBox *chkAllergy;
    QLineEdit *txtAllergy;
    // Vital signs.
    QLineEdit *txtBloodPressure;
    QLineEdit *txtHeartRate;
    QLineEdit *txtRespiratoryRate;
    QLineEdit *txtTemperature;
    QLineEdit *txtHeight;
    QLineEdit *txtWeight;
    // Physical examination.
    QCheckBox *chkGeneralPE;
    QLineEdit *txtGeneralPE;
    QCheckBox *chkSkinBreastPE;
    QLineEdit *txtSkinBreastPE;
    QCheckBox *chkEENMTPE;
    QLineEdit *txtEENMTPE;
    QCheckBox *chkRespiratoryPE;
    QLineEdit *txtRespiratoryPE;
    QCheckBox *chkCardiovascularPE;
    QLineEdit *txtCardiovascularPE;
    QCheckBox *chkGastrointestinalPE;
    QLineEdit *txtGastrointestinalPE;
    QCheckBox *chkGenitourinaryPE;
    QLineEdit *txtGenitourinaryPE;
    QCheckBox *chkMusculoskeletalPE;
    QLineEdit *txtMusculoskeletalPE;
    QCheckBox *chkNeurologicPE;
    QLineEdit *txtNeurologicPE;
    // Assessment.
    QLineEdit *txtDiagnosis;
    QLineEdit *txtBodyRegion;
    QLineEdit *txtOrganSystem;
    // Plan.
    QLineEdit *txtDiagnostics;
    QLineEdit *txtTherapeutics;
    QLineEdit *txtOtherRecommendations;
    QLineEdit *txtEmergencyResponse;
    QLineEdit *txtWorkRelated;

    QPushButton *cmdMedicalHistory;
    QPushButton *Command1;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    // The visit being edited, or the id chosen for the new one.
    qint32 currentHistoryID() const { return m_currentHistoryID; }

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
    // Set while the medical history window is open, so that coming back
    // keeps what was typed.
    bool m_keepFieldsOnActivate = false;
    // The editor fields in the order of visitTextColumns().
    std::vector<QLineEdit *> m_visitFields;
};
