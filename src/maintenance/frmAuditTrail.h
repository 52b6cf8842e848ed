#pragma once

#include "shell/Form.h"

class AuditTrailModel;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;
struct AuditFilter;

// "Audit Trail": who created, changed, printed, exported or deleted which
// record, newest first, with what the record held. Administrators only; it
// reads the trail and never writes to it (its exports add their own rows).
class frmAuditTrail : public Form
{
    Q_OBJECT
public:
    explicit frmAuditTrail(AppContext &ctx);

    QLineEdit *txtPatientID;
    QComboBox *cboUser;
    QCheckBox *chkFrom;
    QDateEdit *dtpFrom;
    QCheckBox *chkTo;
    QDateEdit *dtpTo;
    QPushButton *cmdShow;
    QTreeView *ListView1;
    QPlainTextEdit *txtChanges;
    QPushButton *cmdExportCSV;
    QPushButton *cmdExportXML;
    QPushButton *cmdCheck;
    QPushButton *cmdClose;

    AuditTrailModel &trail() { return *m_trail; }

    void cmdShow_Click();
    void exportShown(bool csv);
    // Checks every seal of the trail and its anchors, and says what it found.
    void cmdCheck_Click();

protected:
    void Form_Activate() override;

private:
    AuditFilter filter() const;
    void showChanges();

    AuditTrailModel *m_trail;
};
