#include "users/frmUserList.h"

#include <QAction>
#include <QPushButton>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "data/Audit.h"
#include "data/Cipher.h"
#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/SqlId.h"
#include "reports/ReportData.h"
#include "reports/ReportLayouts.h"
#include "reports/ReportPreview.h"
#include "shell/AppContext.h"
#include "shell/ErrorTrap.h"
#include "shell/ListViews.h"
#include "shell/Prompter.h"
#include "shell/modMain.h"
#include "users/UserListModel.h"
#include "users/UserSession.h"
#include "users/frmAddNewUser.h"

frmUserList::frmUserList(AppContext &context) : Form(context)
{
    setObjectName(QStringLiteral("frmUserList"));
    setWindowTitle(QStringLiteral("User List"));

    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Toolbar1->setIconSize(QSize(24, 24));
    const struct
    {
        const char *caption;
        const char *themeIcon;
        QIcon fallback;
    } buttons[] = {
        {"Add New", "list-add", style()->standardIcon(QStyle::SP_FileIcon)},
        {"Edit", "document-edit", style()->standardIcon(QStyle::SP_FileDialogDetailedView)},
        {"Delete", "edit-delete", style()->standardIcon(QStyle::SP_TrashIcon)},
        {"Print", "document-print", QIcon(QStringLiteral(":/icons/print-list.png"))},
    };
    int index = 1;
    for (const auto &button : buttons) {
        QAction *action = Toolbar1->addAction(
            QIcon::fromTheme(QLatin1String(button.themeIcon), button.fallback),
            QLatin1String(button.caption));
        connect(action, &QAction::triggered, this,
                [this, index] { Toolbar1_ButtonClick(index); });
        ++index;
    }

    m_users = new UserListModel(this);
    ListView1 = newReportList(m_users, this, {80, 200});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Toolbar1);
    layout->addWidget(ListView1);
    resize(480, 360);

    connect(ListView1, &QTreeView::doubleClicked, this, [this] { ListView1_DblClick(); });
}

void frmUserList::Form_Load()
{
    Steps step(ctx.prompter(), QStringLiteral("frmUserList"), QStringLiteral("Form_Load"));
    step([&] { setWindowIcon(QIcon(QStringLiteral(":/medlantis.png"))); });
    step([&] { listUsers(); });
}

void frmUserList::listUsers()
{
    Recordset &rs = ctx.UserListRecordset;
    if (rs.State())
        rs.Close();
    rs.Open(QStringLiteral("Select * from users"), ctx.db());
    m_users->load(rs);
    if (m_users->rowCount() > 0)
        ListView1->setCurrentIndex(m_users->index(0, 0));
}

int frmUserList::selectedRow() const
{
    const QModelIndex current = ListView1->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void frmUserList::Toolbar1_ButtonClick(int index)
{
    Steps step(ctx.prompter(), QStringLiteral("frmUserList"),
               QStringLiteral("Toolbar1_ButtonClick"));
    switch (index) {
    case 1:
        addUser(step);
        break;
    case 2:
        editUser(step);
        break;
    case 3:
        deleteUser(step);
        break;
    case 4:
        printUsers(step);
        break;
    default:
        break;
    }
}

void frmUserList::ListView1_DblClick()
{
    Steps step(ctx.prompter(), QStringLiteral("frmUserList"),
               QStringLiteral("ListView1_DblClick"));
    editUser(step);
}

void frmUserList::addUser(Steps &step)
{
    frmAddNewUser &editor = ctx.window<frmAddNewUser>();
    step([&] {
        ctx.UserEditorMode = QStringLiteral("Save");
        editor.cmdSave->setText(QStringLiteral("Save"));
        editor.setWindowTitle(QStringLiteral("Add New User"));
    });
    step([&] { showModal(editor); });
}

void frmUserList::editUser(Steps &step)
{
    Recordset &rs = ctx.UserListRecordset;
    step([&] {
        if (m_users->rowCount() == 0)
            step.stop();
    });
    step([&] {
        if (rs.State())
            rs.Close();
        rs.Open(QStringLiteral("Select * from users where userid=")
                    + sqlId(m_users->text(selectedRow(), UserListModel::UserID)),
                ctx.db());
    });
    // Gone meanwhile (another workstation deleted it): nothing to edit.
    step([&] {
        if (rs.isEOF())
            step.stop();
    });
    frmAddNewUser &editor = ctx.window<frmAddNewUser>();
    step([&] {
        ctx.UserEditorMode = QStringLiteral("Update");
        editor.cmdSave->setText(QStringLiteral("Update"));
        editor.setWindowTitle(QStringLiteral("Edit User Information"));
    });
    step([&] { showModal(editor); });
}

void frmUserList::noRecordFound()
{
    ctx.prompter().message(QStringLiteral("No record found."), QStringLiteral("No Records"),
                           MsgIcon::Information, MsgButtons::OK);
}

void frmUserList::deleteUser(Steps &step)
{
    if (!requireAdministrator(ctx, QStringLiteral("manage the user accounts"))) {
        step.stop();
        return;
    }
    QString id;
    QString name;
    step([&] {
        if (m_users->rowCount() == 0) {
            noRecordFound();
            step.stop();
            return;
        }
        id = m_users->text(selectedRow(), UserListModel::UserID);
        name = m_users->text(selectedRow(), UserListModel::UserName);
    });
    step([&] {
        // By id, not name: renaming one's own account first must not open the way.
        if (id.toLongLong() == ctx.CurrentUser.UserID) {
            ctx.prompter().message(QStringLiteral("You cannot delete your own account."),
                                   QStringLiteral("Request Denied"), MsgIcon::Critical,
                                   MsgButtons::OK);
            step.stop();
        }
    });
    step([&] {
        if (id.toInt() == 1) {
            ctx.prompter().message(QStringLiteral("You cannot delete a default user."),
                                   QStringLiteral("Request Denied"), MsgIcon::Critical,
                                   MsgButtons::OK);
            step.stop();
        }
    });
    step([&] {
        const MsgAnswer answer = ctx.prompter().message(
            QStringLiteral("Are you sure you want to delete [") + name
                + QStringLiteral("] from the User List?"),
            QStringLiteral("Confirm Record Deletion"), MsgIcon::Exclamation, MsgButtons::YesNo);
        if (answer != MsgAnswer::Yes)
            step.stop();
    });
    if (step.stopped() || step.failed())
        return;
    bool deleted = false;
    step([&] {
        // The account goes together with its log rows, or neither goes.
        Transaction transaction(ctx.db());
        // Under the write lock, so two desks cannot delete the last two.
        if (storedPrivilege(ctx.db(), qint32(sqlId(id).toLongLong())) == QLatin1String("Administrator")) {
            try {
                requireAnotherAdministrator(ctx.db(), qint32(id.toLongLong()));
            } catch (const LastAdministrator &) {
                ctx.prompter().message(lastAdministratorMessage(), QStringLiteral("Users"),
                                       MsgIcon::Exclamation, MsgButtons::OK);
                return;
            }
        }
        clearSignInState(ctx.db(), qint32(id.toLongLong()), true);
        // The account's trail rows stay: only its log rows go with it.
        Audit::recordDelete(ctx.db(), QStringLiteral("Users"), QStringLiteral("UserID"), id,
                            QVariant(), QStringLiteral("delete from [Users] where [UserID]=") + sqlId(id));
        const QString ofUser = QStringLiteral(" from UserLog where UserName = '") + sqlText(name)
            + QStringLiteral("'");
        Recordset logRows;
        logRows.Open(QStringLiteral("select count(*)") + ofUser, ctx.db(), adOpenStatic,
                     adLockReadOnly);
        const qint64 count = logRows.Value(0).toLongLong();
        logRows.Close();
        ctx.db().Execute(QStringLiteral("Delete *") + ofUser);
        // One row for them all: how many, and whose.
        Audit::add(ctx.db(),
                   {QStringLiteral("Delete"), QStringLiteral("UserLog"), QVariant(), QVariant(),
                    QStringLiteral("UserName: %1\nRows: %2").arg(name).arg(count)});
        transaction.commit();
        deleted = true;
    });
    if (!deleted)
        return;
    step([&] {
        ctx.prompter().message(QStringLiteral("User account deleted successfully."),
                               QStringLiteral("Record Deleted"), MsgIcon::Information,
                               MsgButtons::OK);
    });
    step([&] { listUsers(); });
    step([&] {
        if (ctx.UserListRecordset.RecordCount() == 0) {
            noRecordFound();
            close();
        }
    });
}

void frmUserList::printUsers(Steps &step)
{
    Recordset rs;
    step([&] {
        rs.Open(QStringLiteral("Select * from users"), ctx.db(), adOpenStatic, adLockReadOnly);
        if (rs.isEOF()) {
            noRecordFound();
            step.stop();
        }
    });
    if (step.failed())
        return;
    step([&] {
        // The table holds enciphered texts; the report shows them readable.
        ReportData data;
        data.fields = QStringList{QStringLiteral("UserID"), QStringLiteral("UserName"),
                                  QStringLiteral("Privilege")};
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
            data.rows.push_back({rs.Value(QStringLiteral("UserID")),
                                 D(rs.Text(QStringLiteral("UserName"))),
                                 D(rs.Text(QStringLiteral("Privilege")))});
        }
        showReport(ctx, DRUserList(), data, this);
    });
}
