#pragma once

#include <QString>

#include "shell/modMain.h"

class QWidget;

// Empties every text box, clears pictures ("img..." labels) and check boxes,
// puts every drop-down list on its first entry and every date picker on today.
void ResetControls(QWidget *window);

// Applies a Qt style sheet file to the window; false (and no change) when the
// file is absent or unreadable.
bool applyStyleSheetFile(QWidget *window, const QString &path);

// Applies "x/o.cjs" from the program folder to the login window, if present.
void ApplyLoginSkin(QWidget *loginWindow, const QString &programFolder);

// Uses "HAND-M.CUR" from the program folder as the pointer over buttons, if present.
void applyHandCursor(QWidget *window, const QString &programFolder);

// The printers Qt knows, plus the program's own PDF output.
class QtPrinterList : public PrinterList
{
public:
    QStringList printerNames() const override;
};
