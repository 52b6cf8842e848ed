#pragma once

#include <vector>

#include "shell/Form.h"
#include "shell/RowGuard.h"
#include "visits/PatientInfoFrame.h"

class QPushButton;
class QTabWidget;
class TextArea;

// "Medical History": the background history of the patient SelectedPatientID
// names when the window opens, kept in sixteen columns of the patient's own row.
class frmMedicalHistory : public Form, public PatientHeaderBoxes
{
    Q_OBJECT
public:
    explicit frmMedicalHistory(AppContext &ctx);

    QTabWidget *SSTab1;
    TextArea *txtPastIllness;
    TextArea *txtPastHospitalization;
    TextArea *txtPresentMedications;
    TextArea *txtAllergies;
    TextArea *txtFamilyHistory;
    TextArea *txtTobaccoUse;
    TextArea *txtAlcoholUse;
    TextArea *txtIllicitDrugUse;
    TextArea *txtSexualHistory;
    TextArea *txtObScore;
    TextArea *txtMenarche;
    TextArea *txtOCPUse;
    TextArea *txtPadsDay;
    TextArea *txtNoDays;
    TextArea *txtRegularity;
    TextArea *txtDysmenorrhea;

    QPushButton *Command1;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    void SSTab1_Click(int tab);
    void cmdSave_Click();
    void Command1_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;

    // The patient this window shows and saves.
    QString patientID() const { return m_patientID; }

private:
    // The sixteen history boxes in column order.
    std::vector<TextArea *> m_historyFields;
    QString m_patientID;
    RowGuard m_guard;
};
