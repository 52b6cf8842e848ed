#include "app/MDIFormMain.h"

#include <exception>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>

#include "data/Audit.h"
#include "maintenance/AuditAnchors.h"
#include "maintenance/ExitBackup.h"
#include "maintenance/frmAuditTrail.h"
#include "maintenance/frmBackupData.h"
#include "maintenance/frmNetworkSettings.h"
#include "patients/frmAddNewPatient.h"
#include "patients/frmPatientList.h"
#include "patients/frmSearchPatient.h"
#include "reports/ReportLayouts.h"
#include "reports/ReportPreview.h"
#include "reports/modSaveRecordset.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/Form.h"
#include "shell/IdleLock.h"
#include "shell/Prompter.h"
#include "shell/Ribbon.h"
#include "shell/Settings.h"
#include "shell/StatusBarPanes.h"
#include "shell/modMain.h"
#include "users/Form1.h"
#include "users/UserSession.h"
#include "users/frmChangePassword.h"
#include "users/frmLocked.h"
#include "users/frmUserList.h"

namespace {

// The ribbon's icons, keyed by command id.
QIcon commandIcon(int id)
{
    return QIcon(QStringLiteral(":/icons/%1.png").arg(id));
}

QString builtInScheme()
{
    QFile file(QStringLiteral(":/Blue.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

MDIFormMain::MDIFormMain(AppContext &context) : ctx(context)
{
    setObjectName(QStringLiteral("MDIFormMain"));
    resize(1100, 720);
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(mdiArea);
    StatusBar1 = new StatusBarPanes(this);
    setStatusBar(StatusBar1);
    m_ribbon = new Ribbon(this);
    setMenuWidget(m_ribbon);
    connect(m_ribbon, &Ribbon::execute, this,
            [this](int id, const QString &caption) { CommandBars_Execute(id, caption); });
    CreateRibbonBar();
    // The keyboard lights have no change signal, so they are polled.
    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, StatusBar1, &StatusBarPanes::updateIndicators);
    // The openings of records wait in memory for the next write; at the latest
    // a minute later they go in on their own.
    auto *views = new QTimer(this);
    views->setInterval(60 * 1000);
    connect(views, &QTimer::timeout, this, [this] {
        try {
            Audit::flushViews(ctx.db());
        } catch (const std::exception &) {
            // Kept for the next write or the next minute: the server may be back then.
        }
    });
    views->start();
    m_idle = new IdleWatch(this);
    m_idle->onIdle = [this] { lockDesk(); };
}

MDIFormMain::~MDIFormMain()
{
    // The child windows belong to the context, not to their sub-windows.
    for (auto it = m_subWindows.cbegin(); it != m_subWindows.cend(); ++it) {
        it.key()->removeEventFilter(this);
        it.key()->setParent(nullptr);
    }
}

void MDIFormMain::CreateRibbonBar()
{
    Steps step(ctx.prompter(), QStringLiteral("MDIFormMain"), QStringLiteral("CreateRibbonBar"));
    Ribbon &r = *m_ribbon;
    step([&] { r.setWindowTitle(QStringLiteral("The Ribbon")); });
    step([&] {
        QMenu *file = r.setApplicationMenu(QStringLiteral("&File"),
                                           QIcon(QStringLiteral(":/icons/HARDDRIVE.png")));
        r.addCommand(file, 9031, QStringLiteral("Add Patient"), commandIcon(9031));
        r.addCommand(file, 9021, QStringLiteral("Add Patient Visit"), commandIcon(9021));
    });
    step([&] {
        const int home = r.insertTab(0, QStringLiteral("Home"));
        const int entry = r.addGroup(home, QStringLiteral("Data Entry"));
        r.addButton(home, entry, 9031, QStringLiteral("Add Patient"), commandIcon(9031));
        r.addButton(home, entry, 9021, QStringLiteral("Add Patient Visit"), commandIcon(9021));
        const int views = r.addGroup(home, QStringLiteral("Views"));
        r.addButton(home, views, 9028, QStringLiteral("View Patient List"), commandIcon(9028));
        r.addButton(home, views, 9022, QStringLiteral("View Patient Visit(s)"),
                    commandIcon(9022));
        const int quit = r.addGroup(home, QStringLiteral("Quit Application"));
        r.addButton(home, quit, 9044, QStringLiteral("Exit"), commandIcon(9044));
    });
    step([&] {
        const int reports = r.insertTab(1, QStringLiteral("Reports"));
        const int print = r.addGroup(reports, QStringLiteral("Print"));
        r.addButton(reports, print, 9028, QStringLiteral("Print Patient List"),
                    QIcon(QStringLiteral(":/icons/print-list.png")));
        r.addButton(reports, print, 9022, QStringLiteral("Print Patient Visit(s)"),
                    QIcon(QStringLiteral(":/icons/print-visits.png")));
        const int exportGroup = r.addGroup(reports, QStringLiteral("Export"));
        QMenu *list = r.addDropDown(reports, exportGroup, 9028,
                                    QStringLiteral("Save Patient List As"),
                                    QIcon(QStringLiteral(":/icons/save-list.png")));
        r.addCommand(list, 9050, QStringLiteral("TXT"), commandIcon(9050));
        r.addCommand(list, 9053, QStringLiteral("XLS"), commandIcon(9053));
        r.addCommand(list, 9058, QStringLiteral("CSV"), commandIcon(9058));
        r.addCommand(list, 9057, QStringLiteral("PDF"), commandIcon(9057));
        r.addCommand(list, 9059, QStringLiteral("XML"), commandIcon(9059));
        QMenu *visits = r.addDropDown(reports, exportGroup, 9022,
                                      QStringLiteral("Save Patient Visit(s) As"),
                                      QIcon(QStringLiteral(":/icons/save-visits.png")));
        // Same captions as above; the ids tell them apart, and the icons by format.
        r.addCommand(visits, 9060, QStringLiteral("TXT"), commandIcon(9050));
        r.addCommand(visits, 9063, QStringLiteral("XLS"), commandIcon(9053));
        r.addCommand(visits, 9064, QStringLiteral("CSV"), commandIcon(9058));
        r.addCommand(visits, 9062, QStringLiteral("PDF"), commandIcon(9057));
        r.addCommand(visits, 9061, QStringLiteral("XML"), commandIcon(9059));
    });
    step([&] {
        const int tools = r.insertTab(2, QStringLiteral("Tools"));
        const int maintenance = r.addGroup(tools, QStringLiteral("Maintenance"));
        r.addButton(tools, maintenance, 9040, QStringLiteral("Users"), commandIcon(9040));
        r.addButton(tools, maintenance, 9045, QStringLiteral("Change Password"),
                    commandIcon(9045));
        r.addButton(tools, maintenance, 9023, QStringLiteral("Backup / Restore Patient Database"),
                    commandIcon(9023));
        r.addButton(tools, maintenance, 9101, QStringLiteral("Network Settings"),
                    commandIcon(9101));
        r.addButton(tools, maintenance, 9046, QStringLiteral("Audit Trail"), commandIcon(9046));
        const int support = r.addGroup(tools, QStringLiteral("Support"));
        r.addButton(tools, support, 9048, QStringLiteral("Support"), commandIcon(9048));
        r.addButton(tools, support, 9049, QStringLiteral("www.medlantis.example"),
                    commandIcon(9049));
    });
    step([&] {
        QMenu *options = r.setOptionsMenu(QStringLiteral("Options"));
        QMenu *styles = options->addMenu(QStringLiteral("Styles"));
        r.addCommand(styles, 3000, QStringLiteral("Blue"));
        r.addCommand(styles, 3001, QStringLiteral("Black"));
        r.addCommand(styles, 3003, QStringLiteral("Silver"));
        r.addCommand(styles, 3002, QStringLiteral("Aqua"));
        r.addCommand(options, 3004, QStringLiteral("Right To Left"));
    });
}

void MDIFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        MDIForm_Load();
    }
}

void MDIFormMain::MDIForm_Load()
{
    Steps step(ctx.prompter(), QStringLiteral("MDIFormMain"), QStringLiteral("MDIForm_Load"));
    step([&] { ctx.AppExiting = false; });
    step([&] {
        setWindowTitle(applicationTitle());
        setWindowIcon(QIcon(QStringLiteral(":/medlantis.png")));
    });
    step([&] {
        setStyleSheet(builtInScheme());
        m_timer->start();
    });
    step([&] { StatusBar1->setVisible(true); });
    step([&] { applyPrivileges(); });
    step([&] { reportBackupsAtStart(ctx); });
}

void MDIFormMain::applyPrivileges()
{
    // Only administrators open the user list (the first button of the first
    // group of the third tab) and read the audit trail.
    const bool administrator = ctx.CurrentUser.Privilege == QLatin1String("Administrator");
    const QList<QAction *> maintenance = m_ribbon->groupCommands(2, 0);
    if (!maintenance.isEmpty())
        maintenance.first()->setEnabled(administrator);
    for (QAction *command : maintenance) {
        if (command->data().toInt() == 9046)
            command->setEnabled(administrator);
    }
}

void MDIFormMain::showFrame()
{
    // Each sign-in, not only the first, sets the commands for its user.
    applyPrivileges();
    bool number = false;
    const int minutes =
        ctx.settings().GetSetting(SettingKeys::LockAfterMinutes, QStringLiteral("15"))
            .toInt(&number);
    m_idle->setIdleMilliseconds(number && minutes > 0 ? qint64(minutes) * 60 * 1000 : 0);
    m_idle->start();
    showMaximized();
}

bool MDIFormMain::unsavedTyping() const
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() != QLatin1String("frmLocked") && holdsTypedChanges(window))
            return true;
    }
    return false;
}

void MDIFormMain::lockDesk()
{
    if (m_locked || ctx.CurrentUser.UserID == 0 || !isVisible())
        return;
    m_locked = true;
    Steps step(ctx.prompter(), QStringLiteral("MDIFormMain"), QStringLiteral("lockDesk"));
    step([&] {
        Audit::add(ctx.db(), {QStringLiteral("Desk Locked"), QStringLiteral("Users"),
                              ctx.CurrentUser.UserID, QVariant(), QString()});
    });
    const QPointer<QWidget> focus = QApplication::focusWidget();
    frmLocked &lock = ctx.window<frmLocked>();
    WindowCover cover;
    bool leave = false;
    for (;;) {
        // Windows opened meanwhile (a box of the lock window) are covered too.
        cover.coverAll(&lock);
        ctx.showModal(lock, this);
        if (lock.choice() == frmLocked::Choice::None && !ctx.modalHook)
            continue;
        if (lock.choice() != frmLocked::Choice::SignOut)
            break;
        if (!unsavedTyping()
            || ctx.prompter().message(QStringLiteral("Close without saving the open windows?"),
                                      applicationTitle(), MsgIcon::Question, MsgButtons::YesNo)
                   == MsgAnswer::Yes) {
            leave = true;
            break;
        }
    }
    cover.uncover();
    m_locked = false;
    if (leave) {
        signOut();
        return;
    }
    if (focus)
        focus->setFocus();
    m_idle->start();
}

void MDIFormMain::signOut()
{
    Steps step(ctx.prompter(), QStringLiteral("MDIFormMain"), QStringLiteral("signOut"));
    m_idle->stop();
    step([&] { Audit::flushViews(ctx.db()); });
    step([&] { LogTimeOut(ctx); });
    ctx.OwnLogID = 0;
    // Every window closes; their modal loops end as the calls return.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible())
            window->hide();
    }
    for (const QPointer<QMdiSubWindow> &sub : qAsConst(m_subWindows)) {
        if (sub)
            sub->hide();
    }
    hide();
    ctx.CurrentUser = UserRecord();
    ctx.EditPatientID.clear();
    ctx.SelectedPatientID.clear();
    ctx.SelectedHistoryID.clear();
    ctx.PatientSelectorMode.clear();
    step([&] {
        if (ctx.PatientListRecordset.State())
            ctx.PatientListRecordset.Close();
        if (ctx.UserListRecordset.State())
            ctx.UserListRecordset.Close();
    });
    StatusBar1->SetPaneText(0, QString());
    StatusBar1->SetPaneText(1, QString());
    QTimer::singleShot(0, this, [this] { finishSignOut(); });
}

void MDIFormMain::finishSignOut()
{
    // The windows go only once no modal loop of theirs is left running.
    if (ctx.modalDepth() > 0 || QApplication::activeModalWidget()) {
        QTimer::singleShot(20, this, [this] { finishSignOut(); });
        return;
    }
    for (auto it = m_subWindows.begin(); it != m_subWindows.end(); ++it) {
        it.key()->removeEventFilter(this);
        it.key()->setParent(nullptr);
        delete it.value().data();
    }
    m_subWindows.clear();
    Form1 &login = ctx.window<Form1>();
    ctx.discardWindows({this, &login});
    login.show();
    login.raise();
    login.activateWindow();
}

void MDIFormMain::closeEvent(QCloseEvent *event)
{
    if (MDIForm_QueryUnload())
        event->accept();
    else
        event->ignore();
}

bool MDIFormMain::MDIForm_QueryUnload()
{
    Steps step(ctx.prompter(), QStringLiteral("MDIFormMain"),
               QStringLiteral("MDIForm_QueryUnload"));
    bool confirmed = false;
    step([&] {
        confirmed = ctx.prompter().message(
                        QStringLiteral("Are you sure you want to exit the application?"),
                        QStringLiteral("Confirm Exit Application"), MsgIcon::Question,
                        MsgButtons::YesNo)
                    == MsgAnswer::Yes;
    });
    if (!confirmed)
        return false;
    step([&] { ctx.AppExiting = true; });
    step([&] { Audit::flushViews(ctx.db()); });
    step([&] { LogTimeOut(ctx); });
    step([&] { backUpAtExit(ctx, this); });
    // The newest seal this desk has seen, kept where the database is not.
    step([&] { AuditAnchors::remember(ctx); });
    step([&] { ctx.endProcess(0); });
    return true;
}

void useMainWindow(AppContext &ctx)
{
    ctx.mainFrameFactory = [](AppContext &c) -> MainFrame & { return c.window<MDIFormMain>(); };
}

void MDIFormMain::setStatusText(int pane, const QString &text)
{
    StatusBar1->SetPaneText(pane, text);
}

void MDIFormMain::showChild(Form &child)
{
    QMdiSubWindow *sub = m_subWindows.value(&child);
    if (!sub) {
        sub = new QMdiSubWindow;
        // Closing hides; the child lives as long as the context does.
        sub->setAttribute(Qt::WA_DeleteOnClose, false);
        sub->setWidget(&child);
        mdiArea->addSubWindow(sub);
        child.installEventFilter(this);
        m_subWindows.insert(&child, sub);
        Form *key = &child;
        connect(&child, &QObject::destroyed, this, [this, key] { m_subWindows.remove(key); });
    }
    const bool wasShowing = sub->isVisible() && child.isVisible();
    sub->show();
    child.show();
    if (wasShowing)
        child.activate();
    mdiArea->setActiveSubWindow(sub);
    sub->raise();
    child.setFocus();
}

QMdiSubWindow *MDIFormMain::subWindowOf(const Form &child) const
{
    return m_subWindows.value(const_cast<Form *>(&child));
}

bool MDIFormMain::eventFilter(QObject *watched, QEvent *event)
{
    // A child that hides itself (Cancel, Escape, close box) takes its frame along.
    // A child being destroyed hides too, when it is no longer a Form: the
    // cast then finds nothing and its frame goes with it anyway.
    if (event->type() == QEvent::Hide && !event->spontaneous()) {
        auto *child = qobject_cast<Form *>(watched);
        QMdiSubWindow *sub = child ? m_subWindows.value(child) : nullptr;
        if (sub && child->isHidden())
            sub->hide();
    }
    return QMainWindow::eventFilter(watched, event);
}

QString MDIFormMain::supportPage()
{
    return QStringLiteral("https://www.medlantis.example/support");
}

QString MDIFormMain::homePage()
{
    return QStringLiteral("https://www.medlantis.example/");
}

QString MDIFormMain::colourSchemeFile(int id)
{
    // The scheme names in one place: Styles/Office2007<Name>.qss in the program folder.
    switch (id) {
    case 3001:
        return QStringLiteral("Styles/Office2007Black.qss");
    case 3002:
        return QStringLiteral("Styles/Office2007Aqua.qss");
    case 3003:
        return QStringLiteral("Styles/Office2007Silver.qss");
    default:
        return QString();
    }
}

void MDIFormMain::selectColourScheme(int id)
{
    const QString relative = colourSchemeFile(id);
    if (relative.isEmpty()) {
        setStyleSheet(builtInScheme());
        m_scheme = 3000;
        return;
    }
    QFile file(NormalizePath(ctx.folders().program + nativeSeparator() + relative));
    // A missing or unreadable scheme keeps the current look.
    if (!file.open(QIODevice::ReadOnly))
        return;
    setStyleSheet(QString::fromUtf8(file.readAll()));
    m_scheme = id;
}

void MDIFormMain::toggleRightToLeft()
{
    const Qt::LayoutDirection next = m_ribbon->layoutDirection() == Qt::RightToLeft
                                         ? Qt::LeftToRight
                                         : Qt::RightToLeft;
    m_ribbon->setLayoutDirection(next);
    StatusBar1->setLayoutDirection(next);
}

void MDIFormMain::reopenPatientList(Steps &step, const QString &sql, bool forExport)
{
    Recordset &rs = ctx.PatientListRecordset;
    step([&] {
        if (rs.State() != 0)
            rs.Close();
    });
    step([&] {
        if (forExport)
            rs.Open(sql, ctx.db(), adOpenForwardOnly, adLockReadOnly);
        else
            rs.Open(sql, ctx.db(), adOpenDynamic, adLockOptimistic);
    });
    step([&] {
        if (rs.State() == 0) { // the failed open has shown its error
            step.stop();
        } else if (rs.isEOF()) {
            ctx.prompter().message(QStringLiteral("No record found."), QStringLiteral("No Records"),
                                   MsgIcon::Information);
            step.stop();
        }
    });
}

void MDIFormMain::CommandBars_Execute(int id, const QString &caption)
{
    Steps step(ctx.prompter(), QStringLiteral("MDIFormMain"),
               QStringLiteral("CommandBars_Execute"));
    switch (id) {
    case 9031:
        step([&] { ctx.EditPatientID.clear(); });
        step([&] { ctx.showModal(ctx.window<frmAddNewPatient>(), this); });
        break;
    case 9021:
    case 9060:
    case 9061:
    case 9062:
    case 9063:
    case 9064:
        step([&] { ctx.PatientSelectorMode = caption; });
        step([&] { ctx.showModal(ctx.window<frmSearchPatient>(), this); });
        break;
    case 9022:
        if (caption == QLatin1String("View Patient Visit(s)")
            || caption == QLatin1String("Print Patient Visit(s)")) {
            step([&] { ctx.PatientSelectorMode = caption; });
            step([&] { ctx.showModal(ctx.window<frmSearchPatient>(), this); });
        }
        break;
    case 9028:
        if (caption == QLatin1String("View Patient List")) {
            step([&] { showChild(ctx.window<frmPatientList>()); });
        } else if (caption == QLatin1String("Print Patient List")) {
            reopenPatientList(step, QStringLiteral("Select * ")
                                        + QStringLiteral("from PatientRecords"));
            step([&] { showReport(ctx, DRPatientList(), ctx.PatientListRecordset, this); });
        }
        break;
    case 9050:
    case 9053:
    case 9057:
    case 9058:
    case 9059: {
        Recordset &rs = ctx.PatientListRecordset;
        QString file;
        const QString sql =
            QStringLiteral("Select PatientID as [Patient ID],LastName as [Last Name],"
                           "FirstName as [First Name],MiddleName as [Middle Name],"
                           "DateOfBirth as [Birth Date],Gender,MaritalStatus as "
                           "[Marital Status],Phone as [Phone Number],Mobile as "
                           "[Mobile Number] ")
            + QStringLiteral("from PatientRecords");
        reopenPatientList(step, sql, true);
        // An open read keeps other workstations from saving: none is left
        // open while the user picks a file.
        step([&] { rs.Close(); });
        step([&] {
            if (id == 9050)
                file = ctx.prompter().saveFile(QStringLiteral("Save Text"),
                                               QStringLiteral("Text Files (*.txt)|*.txt"));
            else if (id == 9058)
                file = ctx.prompter().saveFile(QStringLiteral("Save CSV"),
                                               QStringLiteral("CSV Files (*.csv)|*.csv"));
            else if (id == 9059)
                file = ctx.prompter().saveFile(QStringLiteral("Save XML"),
                                               QStringLiteral("XML Files (*.xml)|*.xml"));
            if (file.isEmpty() && id != 9053 && id != 9057)
                step.stop(); // cancelled
        });
        step([&] { rs.Open(sql, ctx.db(), adOpenForwardOnly, adLockReadOnly); });
        step([&] {
            if (rs.State() == 0) { // the failed open has shown its error
                step.stop();
                return;
            }
            switch (id) {
            case 9050:
                SaveRecordsetToTXT(rs, file);
                break;
            case 9058:
                SaveRecordsetToCSV(rs, file);
                break;
            case 9059:
                SaveRecordsetToXML(rs, file);
                break;
            case 9053:
                SaveRecordsetToXLS(rs, QString(), ctx);
                break;
            default:
                SaveRecordsetToPDF(rs, QString(), ctx);
            }
        });
        if (rs.State() != 0 && !rs.isEOF())
            rs.Close(); // a failed export lets go of the rest of the rows
        break;
    }
    case 9040:
        step([&] {
            // The database says who is an administrator now, not the sign-in.
            if (requireAdministrator(ctx, QStringLiteral("manage the user accounts")))
                ctx.showModal(ctx.window<frmUserList>(), this);
        });
        break;
    case 9045:
        step([&] { ctx.showModal(ctx.window<frmChangePassword>(), this); });
        break;
    case 9023:
        step([&] { ctx.showModal(ctx.window<frmBackupData>(), this); });
        break;
    case 9101:
        step([&] { ctx.showModal(ctx.window<frmNetworkSettings>()); });
        break;
    case 9046:
        step([&] {
            if (requireAdministrator(ctx, QStringLiteral("read the audit trail")))
                ctx.showModal(ctx.window<frmAuditTrail>(), this);
        });
        break;
    case 9044:
        step([&] { close(); });
        break;
    case 9048:
        step([&] { ctx.prompter().openUrl(supportPage()); });
        break;
    case 9049:
        step([&] { ctx.prompter().openUrl(homePage()); });
        break;
    case 3000:
    case 3001:
    case 3002:
    case 3003:
        step([&] { selectColourScheme(id); });
        break;
    case 3004:
        step([&] { toggleRightToLeft(); });
        break;
    default:
        break;
    }
}
