#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include "shell/MainFrame.h"

class AppContext;
class Form;
class IdleWatch;
class QMdiArea;
class QMdiSubWindow;
class QTimer;
class Ribbon;
class Steps;
class StatusBarPanes;

// The main window: a multiple-document frame with the ribbon and the status
// bar. Every ribbon command arrives in CommandBars_Execute.
class MDIFormMain : public QMainWindow, public MainFrame
{
    Q_OBJECT
public:
    explicit MDIFormMain(AppContext &ctx);
    ~MDIFormMain() override;

    StatusBarPanes *StatusBar1;
    QMdiArea *mdiArea;

    // Shows a Form as an MDI child (wrapped once in a QMdiSubWindow), brings it
    // to the front and gives it the focus; runs the child's activation also
    // when it was already visible.
    void showChild(Form &child) override;
    QWidget &frameWidget() override { return *this; }
    // Shows the frame after a sign-in: the commands as the user's privilege
    // allows, and the watch for a desk left alone.
    void showFrame() override;
    void setStatusText(int pane, const QString &text) override;
    // The sub-window that holds child, or nullptr before its first showChild.
    QMdiSubWindow *subWindowOf(const Form &child) const;

    void CommandBars_Execute(int id, const QString &caption);
    Ribbon *RibbonBar() { return m_ribbon; }

    // Covers every window and asks for the signed-in user's password (the
    // watch calls it after "Lock After Minutes" without input).
    void lockDesk();
    bool deskLocked() const { return m_locked; }
    IdleWatch &idleWatch() { return *m_idle; }

    // The style sheet file of a colour scheme command (3001-3003), relative
    // to the program folder; "" for Blue, the built-in scheme.
    static QString colourSchemeFile(int id);
    // The scheme now showing: 3000 (Blue) to 3003.
    int colourScheme() const { return m_scheme; }

    // Registers the program's embedded pictures and schemes, once.

    static QString supportPage();
    static QString homePage();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void MDIForm_Load();
    void CreateRibbonBar();
    // The exit sequence; false keeps the window open.
    bool MDIForm_QueryUnload();
    void selectColourScheme(int id);
    // Reopens the shared patient-list result on sql for the ribbon's print and
    // exports; stops the steps after the error box or "No record found.". An
    // export reads it once from start to end, a chunk at a time, so it need
    // not hold every patient.
    void reopenPatientList(Steps &step, const QString &sql, bool forExport = false);
    void toggleRightToLeft();
    // Enables the commands that the signed-in user's privilege allows.
    void applyPrivileges();
    // Ends the session: the time out, every window closed, the login window.
    void signOut();
    void finishSignOut();
    bool unsavedTyping() const;

    AppContext &ctx;
    Ribbon *m_ribbon = nullptr;
    QTimer *m_timer = nullptr;
    bool m_loaded = false;
    int m_scheme = 3000;
    QHash<Form *, QPointer<QMdiSubWindow>> m_subWindows;
    IdleWatch *m_idle = nullptr;
    bool m_locked = false;
};

// Lets the windows of ctx reach this main window as their MainFrame.
void useMainWindow(AppContext &ctx);
