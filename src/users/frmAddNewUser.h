#pragma once

#include "data/Recordset.h"
#include "shell/Form.h"
#include "shell/RowGuard.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Adds a user account ("Save") or edits the one UserListRecordset is on
// ("Update"). Whoever opens it sets UserEditorMode, the caption of cmdSave
// and the window caption first; only an administrator saves with it.
class frmAddNewUser : public Form
{
    Q_OBJECT
public:
    explicit frmAddNewUser(AppContext &ctx);

    QLabel *lblUserID;
    QLineEdit *txtUserName;
    QComboBox *cboPrivilege;
    QLineEdit *txtPassword;
    QLineEdit *txtRetype;
    // The desks that remember the account's sign-in, and a way to end them.
    QLabel *lblRememberedDesks;
    QPushButton *cmdClearDesks;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    qint32 NextUserID = 0;
    QString LoadedUserName;

    void cmdSave_Click();
    void cmdClearDesks_Click();
    // Writes the edited account and its user-log rows as one change.
    void UpdateUser();
    // Gives the account's user-log rows the new name and privilege.
    void UpdateTrail();

protected:
    void Form_Load() override;
    void Form_Activate() override;

private:
    void showRememberedDesks();
    // Shows the box of a failed check, puts the focus on box and stops.
    bool refuse(const QString &text, const QString &title, QWidget *box);
    bool validEntries();
    void addUser();

    Recordset m_users; // the add mode's users
    QString m_newHash;      // what the edit mode stores as the password
    QString m_keptPassword; // the stored hash when the typed password matched it
    // The account as the edit mode opened it, for the check at Save.
    RowGuard m_guard;
};
