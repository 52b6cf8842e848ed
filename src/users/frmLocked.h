#pragma once

#include "shell/Form.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The window over a desk left alone: the signed-in user's password goes on,
// "Sign Out" ends the session. Nothing else closes it.
class frmLocked : public Form
{
    Q_OBJECT
public:
    explicit frmLocked(AppContext &ctx);

    enum class Choice { None, Unlock, SignOut };
    Choice choice() const { return m_choice; }

    QLabel *lblMessage;
    QLineEdit *txtPassword;
    QPushButton *cmdUnlock;
    QPushButton *cmdSignOut;

    void cmdUnlock_Click();
    void cmdSignOut_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;
    bool Form_QueryUnload() override;

private:
    Choice m_choice = Choice::None;
    bool m_leaving = false;
};
