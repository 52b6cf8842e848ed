#pragma once

class Form;
class QString;
class QWidget;

// What a window may ask of the frame that holds the program's windows. The
// frame itself sits above every window, so windows reach it only through this.
class MainFrame
{
public:
    // The frame as a widget, for owning modal windows.
    virtual QWidget &frameWidget() = 0;
    // Shows the frame maximized (after a sign-in).
    virtual void showFrame() = 0;
    // Shows child as one of the frame's documents, in front, with the focus.
    virtual void showChild(Form &child) = 0;
    // Sets the text of a status-bar pane: 0 the record position, 1 the user.
    virtual void setStatusText(int pane, const QString &text) = 0;

protected:
    ~MainFrame() = default;
};
