#pragma once

#include "data/Recordset.h"
#include "shell/Form.h"

class QLabel;
class QLineEdit;
class QPushButton;

// First-run setup: creates the administrator account.
class frmSetAdmin : public Form
{
    Q_OBJECT
public:
    explicit frmSetAdmin(AppContext &ctx);

    QLabel *lblInstructions;
    QLineEdit *txtUserName;
    QLineEdit *txtPassword;
    QLineEdit *txtRetype;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    bool AdminSaved = false;

    void cmdSave_Click();
    void cmdCancel_Click();

protected:
    void Form_Load() override;
    bool Form_QueryUnload() override;

private:
    Recordset m_users;
};
