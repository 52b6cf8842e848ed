#pragma once

#include "shell/Form.h"

class QLineEdit;
class QPushButton;

// The signed-in user replaces his or her own password.
class frmChangePassword : public Form
{
    Q_OBJECT
public:
    explicit frmChangePassword(AppContext &ctx);

    QLineEdit *txtOldPassword;
    QLineEdit *txtNewPassword;
    QLineEdit *txtRetypePassword;
    QPushButton *cmdLogin; // "Save"
    QPushButton *cmdCancel;

    void cmdLogin_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;
};
