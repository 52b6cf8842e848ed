#pragma once

#include "shell/Form.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// Copies the working database file into a folder of the user's choice, and
// holds the settings of the daily automatic backup.
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
    QCheckBox *chkAutoBackup;
    QLineEdit *txtAutoBackupFolder;
    QPushButton *cmdAutoBackupFolder;
    QSpinBox *spnKeepBackups;

    void cmdLoad_Click();
    void cmdAutoBackupFolder_Click();
    void cmdSave_Click();
    void Command1_Click();

protected:
    void Form_Activate() override;

private:
    void enableAutomaticControls();
};
