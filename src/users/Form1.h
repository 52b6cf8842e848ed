#pragma once

#include "shell/Form.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The login window.
class Form1 : public Form
{
    Q_OBJECT
public:
    explicit Form1(AppContext &ctx);

    QComboBox *cboUsers;
    QLineEdit *txtPassword;
    QCheckBox *Check1;
    QPushButton *cmdLogin;
    QPushButton *cmdNewLogin;
    QPushButton *cmdCancel;
    QPushButton *cmdDatabaseSettings;

    // The account whose remembered sign-in the password box stands for; 0
    // while the box holds what was typed.
    qint32 RememberedAccount = 0;
    static QString rememberedPlaceholder();

    void LoadUserNames();
    void LoadSavedPassword();

    void cboUsers_Click();
    void cboUsers_Change();
    void cmdLogin_Click();
    void cmdNewLogin_Click();
    void cmdCancel_Click();
    void cmdDatabaseSettings_Click();

protected:
    void Form_Load() override;
    void Form_Activate() override;
    bool Form_QueryUnload() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
