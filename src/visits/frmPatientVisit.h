#pragma once

#include "shell/Form.h"
#include "visits/PatientInfoFrame.h"

class QLineEdit;
class QPushButton;
class QTreeView;
class VisitListModel;

// "Patient's Visit": one patient's header and visits, read only, and their
// printout.
class frmPatientVisit : public Form, public PatientHeaderBoxes
{
    Q_OBJECT
public:
    explicit frmPatientVisit(AppContext &ctx);

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
    QString m_patientID;
};
