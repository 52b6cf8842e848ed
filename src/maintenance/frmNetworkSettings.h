#pragma once

#include "shell/Form.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// Which database file the program works on, and its password. The stored
// password is never shown; an empty box keeps it, but only for the location
// it was saved for, and "No password" says that a location has none.
class frmNetworkSettings : public Form
{
    Q_OBJECT
public:
    explicit frmNetworkSettings(AppContext &ctx);

    QLineEdit *txtDatabasefile;
    QPushButton *cmdBrowse;
    QLineEdit *txtPassword;
    QCheckBox *chkNoPassword;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    void cmdBrowse_Click();
    void cmdSave_Click();

protected:
    void Form_Activate() override;
    bool Form_QueryUnload() override;
};
