#pragma once

#include "shell/Form.h"

class PatientInfoFrame;
class QLineEdit;
class QPushButton;
class QTreeView;
class VisitListModel;

// "Patient's Visit": one patient's header and visits, read only, and their
// printout.
class frmPatientVisit : public Form
{
    Q_OBJECT
public:
    explicit frmPatientVisit(AppContext &ctx);

    PatientInfoFrame *fraPatient;
    QLineEdit *txtLastname;
    QLineEdit *txtFirstname;
    QLineEdit *txtMi;
    QLineEdit *txtGender;
    QLineEdit *txtBirthDate;
    QLineEdit *txtAge;
    QLineEdit *txtCivilStatus;
    QTreeView *ListView1;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    VisitListModel &visits() { return *m_visits; }

    void cmdSave_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;

private:
    VisitListModel *m_visits;
};
