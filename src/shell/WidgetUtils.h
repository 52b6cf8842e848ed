#pragma once

#include <QString>

#include "shell/modMain.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QHBoxLayout;
class QWidget;

// Named controls: the object name is the one the window's code and tests use.

// A button that leaves Enter to the window's default button, even while it has
// the focus.
QPushButton *newButton(QWidget *parent, const char *name, const QString &caption);

// The window's default button (Enter). It keeps the auto-default a dialog gives
// its buttons, so some styles draw it a little larger than a newButton made default.
QPushButton *newDefaultButton(QWidget *parent, const char *name, const QString &caption);

// A text box; a maxLength of 0 leaves the length free. The limit counts code
// points, and a paste that does not fit is cut before the first that does not.
QLineEdit *newLineEdit(QWidget *parent, const char *name, int maxLength = 0);

// Puts a stored value into a box whole: a value longer than the box's limit
// raises the limit to its length until the next ResetControls, so a record is
// never cut short by opening and saving it.
void showWhole(QLineEdit *box, const QString &value);

// The text of a one-line box or a TextArea, and a stored value shown whole in either.
QString boxText(const QWidget *box);
void setBoxText(QWidget *box, const QString &value);

QCheckBox *newCheckBox(QWidget *parent, const char *name, const QString &caption = QString());

// A caption whose access key moves the focus to buddy ("&&" shows one ampersand).
QLabel *newBuddyLabel(QWidget *parent, const QString &text, QWidget *buddy);

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

// Tab order follows the list, first to last.
void setTabChain(const QList<QWidget *> &chain);

// A row of buttons: left ones, a stretch, right ones (OK/Cancel sit right).
QHBoxLayout *buttonRow(const QList<QWidget *> &left, const QList<QWidget *> &right);
