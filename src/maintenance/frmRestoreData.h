#pragma once

#include "shell/Form.h"

class QLineEdit;
class QPushButton;

// Puts a backup copy in the place of the working database file.
class frmRestoreData : public Form
{
    Q_OBJECT
public:
    explicit frmRestoreData(AppContext &ctx);

    QLineEdit *Text1;
    QPushButton *cmdLoad;
    QPushButton *cmdBackup;
    QPushButton *cmdCancel;

    void cmdLoad_Click();
    void cmdBackup_Click();

protected:
    void Form_Activate() override;
};
