#pragma once

#include "shell/Form.h"

class QAction;
class QLabel;
class QToolBar;
class QTreeView;
class VisitListModel;

// "Patient Visit(s)": the visits of one patient, newest first. An MDI child of
// the main window. It keeps the patient it was opened for, so every reload,
// edit, delete and print concerns the patient whose rows and name it shows.
class frmPatientHistory : public Form
{
    Q_OBJECT
public:
    explicit frmPatientHistory(AppContext &ctx);

    QLabel *lblPatientName;
    QToolBar *Toolbar1;
    QTreeView *ListView1;

    VisitListModel &visits() { return *m_visits; }
    // Toolbar buttons by index: 1 edit, 2 delete, 3 print all visits.
    QAction *button(int index) const;

    // The MDI frame opens at this size.
    QSize sizeHint() const override { return {800, 460}; }

    // The patient to list from now on, and the name its label shows.
    void setPatient(const QString &patientId, const QString &name);
    QString patientID() const { return m_patientID; }

    void loadPatientVisits();
    void Toolbar1_ButtonClick(int index);
    void ListView1_DblClick();

protected:
    void Form_Load() override;
    void Form_Activate() override;

private:
    void editVisit(const QString &procedure);
    void deleteVisit();
    void printAllVisits();
    int selectedRow() const;

    VisitListModel *m_visits;
    QString m_patientID;
    QList<QAction *> m_buttons;
};
