#pragma once

#include <vector>

#include "shell/Form.h"
#include "visits/PatientInfoFrame.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// "Medical History": the background history of SelectedPatientID, kept in
// sixteen columns of the patient's own row.
class frmMedicalHistory : public Form, public PatientHeaderBoxes
{
    Q_OBJECT
public:
    explicit frmMedicalHistory(AppContext &ctx);

    QTabWidget *SSTab1;
    QLineEdit *txtPastIllness;
    QLineEdit *txtPastHospitalization;
    QLineEdit *txtPresentMedications;
    QLineEdit *txtAllergies;
    QPlainTextEdit *txtFamilyHistory;
    QLineEdit *txtTobaccoUse;
    QLineEdit *txtAlcoholUse;
    QLineEdit *txtIllicitDrugUse;
    QLineEdit *txtSexualHistory;
    QLineEdit *txtObScore;
    QLineEdit *txtMenarche;
    QLineEdit *txtOCPUse;
    QLineEdit *txtPadsDay;
    QLineEdit *txtNoDays;
    QLineEdit *txtRegularity;
    QLineEdit *txtDysmenorrhea;

    QPushButton *Command1;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    void SSTab1_Click(int tab);
    void cmdSave_Click();
    void Command1_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;

private:
    QString historyText(size_t index) const;
    void setHistoryText(size_t index, const QString &text);

    // The sixteen history boxes in column order.
    std::vector<QWidget *> m_historyFields;
};
