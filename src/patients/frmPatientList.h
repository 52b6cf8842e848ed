#pragma once

#include "shell/Form.h"

class PatientListModel;
class QAction;
class QComboBox;
class QLineEdit;
class QToolBar;
class QTreeView;
class Recordset;
struct PatientListQuery;

// The practice's list of patients: a child window of the main window, with
// a search by the beginning of a name, sorting, and the commands on the
// selected patient.
class frmPatientList : public Form
{
    Q_OBJECT
public:
    explicit frmPatientList(AppContext &ctx);

    QComboBox *cboSearch;
    QLineEdit *txtSearch;
    QComboBox *cboSortBy;
    QComboBox *cboSortType;
    QToolBar *Toolbar1;
    QTreeView *ListView1;

    QSize sizeHint() const override;

    PatientListModel &model() const { return *m_model; }
    // The tool bar buttons by their index, 1 to 4.
    QAction *button(int index) const;

    // Reloads every patient, ordered by last name.
    void listPatients();
    void txtSearch_Change();
    void ListView1_Click();
    void ListView1_DblClick();
    void Toolbar1_ButtonClick(int index);

protected:
    void Form_Load() override;
    void Form_Activate() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The first lines of the query, the first one selected.
    void fillFrom(const PatientListQuery &query);
    // "Record n of m" for a new load, at once or, when the rows must be
    // counted, as soon as the first lines are shown.
    void showCount();
    void showRecordPosition(int position, int count);
    int selectedRow() const;
    void editPatient();
    void deletePatient();
    void printPatientList();
    void viewPatientVisit();

    PatientListModel *m_model;
    bool m_filling = false;
    // The statement the list was last filled from.
    QString m_shownSql;
};
