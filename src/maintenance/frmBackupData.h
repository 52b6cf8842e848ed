#pragma once

#include "shell/Form.h"

class QLineEdit;
class QPushButton;

// Copies the working database file into a folder of the user's choice.
class frmBackupData : public Form
{
    Q_OBJECT
public:
    explicit frmBackupData(AppContext &ctx);

    QLineEdit *Text1;
    QPushButton *cmdLoad;
    QLineEdit *Text2;
    QPushButton *cmdSave;
    QPushButton *Command1;
    QPushButton *cmdCancel;

    void cmdLoad_Click();
    void cmdSave_Click();
    void Command1_Click();

protected:
    void Form_Activate() override;
};
