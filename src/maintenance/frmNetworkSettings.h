#pragma once

#include "shell/Form.h"

class QLineEdit;
class QPushButton;

// Which database file the program works on, and its password.
class frmNetworkSettings : public Form
{
    Q_OBJECT
public:
    explicit frmNetworkSettings(AppContext &ctx);

    QLineEdit *txtDatabasefile;
    QPushButton *cmdBrowse;
    QLineEdit *txtPassword;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    void cmdBrowse_Click();
    void cmdSave_Click();

protected:
    void Form_Activate() override;
    bool Form_QueryUnload() override;
};
