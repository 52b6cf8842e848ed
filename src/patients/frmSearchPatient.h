#pragma once

#include "shell/Form.h"

class PatientListModel;
struct PatientListQuery;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeView;
class Steps;

// "Select One Patient": picks the patient for a visit command of the ribbon
// (PatientSelectorMode) and then carries that command out.
class frmSearchPatient : public Form
{
    Q_OBJECT
public:
    explicit frmSearchPatient(AppContext &ctx);

    QComboBox *cboSearch;
    QLineEdit *txtSearch;
    QPushButton *cmdShowAll;
    QPushButton *cmdHideAll;
    QTreeView *ListView1;
    QPushButton *cmdSelect;
    QPushButton *cmdCancel;

    PatientListModel &patients() { return *m_patients; }

    void cmdShowAll_Click();
    void cmdHideAll_Click();
    void txtSearch_Change();
    void cmdSelect_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;

private:
    void showAll(Steps &step);
    // Fills the list with the first lines of query and selects the first line.
    void fill(const PatientListQuery &query);
    void showRecordPosition();
    int selectedRow() const;
    // The export commands, on the chosen patient's visits.
    void exportVisits(Steps &step, const QString &mode);

    PatientListModel *m_patients;
};
