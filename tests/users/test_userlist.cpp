#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include "data/Cipher.h"
#include "reports/ReportPreview.h"
#include "app/MDIFormMain.h"
#include "shell/modMain.h"
#include "support/TestWorld.h"
#include "users/frmAddNewUser.h"
#include "users/frmUserList.h"

namespace {

// Admin (user 1), Anna, Bert and O'Hara, each with log rows; Admin is signed in.
class UserListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *names[] = {"Admin", "Anna", "Bert", "O'Hara"};
        int id = 1;
        for (const char *name : names) {
            const QString n = QString::fromUtf8(name);
            w.addUser(id, n, QStringLiteral("password"),
                      id == 1 ? QStringLiteral("Administrator") : QStringLiteral("Staff"));
            for (int i = 0; i < 2; ++i) {
                w.exec(QStringLiteral("insert into UserLog (LogID, UserName, Privilege) values "
                                      "(%1, '%2', 'Staff')")
                           .arg(id * 10 + i)
                           .arg(sqlText(n)));
            }
            ++id;
        }
        w.ctx().CurrentUser.UserID = 1;
        w.ctx().CurrentUser.UserName = QStringLiteral("Admin");
        w.ctx().CurrentUser.Privilege = QStringLiteral("Administrator");
    }

    frmUserList &open()
    {
        frmUserList &f = w.ctx().window<frmUserList>();
        f.show();
        return f;
    }

    static void press(frmUserList &f, const QString &caption)
    {
        for (QAction *button : f.Toolbar1->actions()) {
            if (button->text() == caption) {
                button->trigger();
                return;
            }
        }
        FAIL() << "no button " << caption.toStdString();
    }

    static QString cell(const frmUserList &f, int row, int column)
    {
        return f.ListView1->model()->index(row, column).data().toString();
    }

    // The lines whose user name (column 1) is exactly name.
    static QList<int> linesNamed(const frmUserList &f, const QString &name)
    {
        QList<int> found;
        for (int row = 0; row < f.ListView1->model()->rowCount(); ++row) {
            if (cell(f, row, 1) == name)
                found << row;
        }
        return found;
    }

    static QModelIndex lineOf(const frmUserList &f, const QString &name)
    {
        const QList<int> found = linesNamed(f, name);
        EXPECT_EQ(found.size(), 1) << name.toStdString();
        return found.size() == 1 ? f.ListView1->model()->index(found.first(), 0) : QModelIndex();
    }

    static void choose(frmUserList &f, const QString &name)
    {
        const QModelIndex line = lineOf(f, name);
        ASSERT_TRUE(line.isValid());
        f.ListView1->setCurrentIndex(line);
    }

    static QStringList rows(const frmUserList &f)
    {
        QStringList list;
        for (int row = 0; row < f.ListView1->model()->rowCount(); ++row)
            list << cell(f, row, 0) + u' ' + cell(f, row, 1) + u' ' + cell(f, row, 2);
        return list;
    }

    int logRowsOf(const QString &name)
    {
        return w.scalar(QStringLiteral("select count(*) from UserLog where UserName='")
                        + sqlText(name) + u'\'')
            .toInt();
    }

    TestWorld w;
};

} // namespace

TEST_F(UserListTest, ListsEveryAccountDecipheredInTableOrder)
{
    frmUserList &f = open();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("User List"));
    const QAbstractItemModel *model = f.ListView1->model();
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column)
        headers << model->headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"User ID", "Username", "Priviledge"}));
    QStringList captions;
    for (const QAction *button : f.Toolbar1->actions())
        captions << button->text();
    EXPECT_EQ(captions, QStringList({"Add New", "Edit", "Delete", "Print"}));
    EXPECT_EQ(rows(f), QStringList({"1 Admin Administrator", "2 Anna Staff", "3 Bert Staff",
                                    "4 O'Hara Staff"}));
    // The first line is chosen, so the commands act on it at once.
    EXPECT_EQ(f.ListView1->currentIndex().row(), 0);
    EXPECT_TRUE(f.ListView1->selectionModel()->isRowSelected(0));
}

TEST_F(UserListTest, DeleteRefusesTheOwnAccountAndUserOne)
{
    // Bert renamed his own account to Bertram after signing in as Bert.
    w.exec(QStringLiteral("update Users set UserName='%1' where UserID=3")
               .arg(E(QStringLiteral("Bertram"))));
    // Only administrators delete accounts at all.
    w.exec(QStringLiteral("update Users set Privilege='%1' where UserID in (2, 3)")
               .arg(E(QStringLiteral("Administrator"))));
    struct Case
    {
        int signedInId;
        const char *signedInAs;
        const char *chosen;
        const char *text; // "" when the delete goes on to its question
    };
    const Case cases[] = {
        {2, "Anna", "Anna", "You cannot delete your own account."},
        {1, "Admin", "Admin", "You cannot delete your own account."},
        {2, "Anna", "Admin", "You cannot delete a default user."},
        {3, "Bert", "Bertram", "You cannot delete your own account."},
        // A name like one's own in another letter case is somebody else's account.
        {2, "o'hara", "O'Hara", ""},
    };
    frmUserList &f = open();
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.signedInAs) + " deletes " + c.chosen);
        w.ctx().CurrentUser.UserID = c.signedInId;
        w.ctx().CurrentUser.UserName = QString::fromUtf8(c.signedInAs);
        w.prompter().clear();
        w.prompter().answers = {MsgAnswer::No};
        choose(f, QString::fromUtf8(c.chosen));
        press(f, QStringLiteral("Delete"));
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        if (*c.text == '\0') {
            EXPECT_EQ(w.prompter().last().title, QStringLiteral("Confirm Record Deletion"));
            continue;
        }
        EXPECT_EQ(w.prompter().last().text, QLatin1String(c.text));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Request Denied"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Critical);
    }
    EXPECT_EQ(w.count(QStringLiteral("Users")), 4);
    EXPECT_EQ(w.count(QStringLiteral("UserLog")), 8);
}

TEST_F(UserListTest, DeleteRemovesTheAccountAndItsLogRowsOnceConfirmed)
{
    frmUserList &f = open();
    for (const QString name : {QStringLiteral("Bert"), QStringLiteral("O'Hara")}) {
        SCOPED_TRACE(name.toStdString());
        const QString question =
            "Are you sure you want to delete [" + name + "] from the User List?";

        w.prompter().clear();
        choose(f, name);
        press(f, QStringLiteral("Delete")); // answered No
        ASSERT_EQ(w.prompter().boxes.size(), 1u);
        EXPECT_EQ(w.prompter().last().text, question);
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Confirm Record Deletion"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Exclamation);
        EXPECT_EQ(w.prompter().last().buttons, MsgButtons::YesNo);
        EXPECT_EQ(logRowsOf(name), 2);

        w.prompter().clear();
        w.prompter().answers = {MsgAnswer::Yes};
        press(f, QStringLiteral("Delete"));
        EXPECT_EQ(w.prompter().texts(),
                  QStringList({question, QStringLiteral("User account deleted successfully.")}));
        EXPECT_EQ(w.prompter().last().title, QStringLiteral("Record Deleted"));
        EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
        EXPECT_EQ(logRowsOf(name), 0);
        EXPECT_TRUE(linesNamed(f, name).isEmpty());
        EXPECT_TRUE(f.isVisible());
    }
    EXPECT_EQ(rows(f), QStringList({"1 Admin Administrator", "2 Anna Staff"}));
    EXPECT_EQ(w.count(QStringLiteral("Users")), 2);
    EXPECT_EQ(logRowsOf(QStringLiteral("Anna")) + logRowsOf(QStringLiteral("Admin")), 4);
}

TEST_F(UserListTest, EditOpensTheChosenAccountUnlessItIsGone)
{
    frmUserList &f = open();
    QStringList opened;
    w.ctx().modalHook = [&](Form &child) {
        auto *editor = qobject_cast<frmAddNewUser *>(&child);
        ASSERT_TRUE(editor);
        opened << editor->windowTitle() + u'/' + editor->cmdSave->text() + u'/'
                      + editor->txtUserName->text();
        editor->cmdCancel->click();
    };
    choose(f, QStringLiteral("Bert"));
    press(f, QStringLiteral("Edit"));
    // The double-click itself picks the line it lands on. A double-click is a
    // press and release, then a second press.
    const QModelIndex oHara = lineOf(f, QStringLiteral("O'Hara")).siblingAtColumn(1);
    ASSERT_TRUE(oHara.isValid());
    const QPoint spot = f.ListView1->visualRect(oHara).center();
    QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, spot);
    QTest::mouseDClick(f.ListView1->viewport(), Qt::LeftButton, {}, spot);
    EXPECT_EQ(opened, QStringList({"Edit User Information/Update/Bert",
                                   "Edit User Information/Update/O'Hara"}));
    EXPECT_EQ(w.ctx().UserEditorMode, QStringLiteral("Update"));

    // Deleted on another workstation meanwhile: nothing opens, nothing is said.
    w.exec(QStringLiteral("delete from Users where UserID=3"));
    choose(f, QStringLiteral("Bert"));
    press(f, QStringLiteral("Edit"));
    EXPECT_EQ(opened.size(), 2);
    EXPECT_TRUE(w.prompter().boxes.empty());
}

TEST_F(UserListTest, PrintShowsReadableNamesOfEveryAccount)
{
    frmUserList &f = open();
    QStringList printed;
    w.ctx().modalHook = [&](Form &child) {
        if (auto *editor = qobject_cast<frmAddNewUser *>(&child)) {
            editor->cmdCancel->click();
            return;
        }
        auto *preview = qobject_cast<ReportPreview *>(&child);
        ASSERT_TRUE(preview);
        EXPECT_EQ(preview->windowTitle(), QStringLiteral("User List"));
        printed = preview->pageTexts(0);
        preview->cmdClose->click();
    };
    // An edit, even cancelled, narrows the list's recordset to one account.
    choose(f, QStringLiteral("Bert"));
    press(f, QStringLiteral("Edit"));
    press(f, QStringLiteral("Print"));
    const int first = printed.indexOf(QStringLiteral("User ID"));
    ASSERT_GE(first, 0) << printed.join('|').toStdString();
    EXPECT_EQ(printed.mid(first, 15),
              QStringList({"User ID", "User Name", "Privilege", "1", "Admin", "Administrator",
                           "2", "Anna", "Staff", "3", "Bert", "Staff", "4", "O'Hara", "Staff"}));
    EXPECT_FALSE(printed.contains(E(QStringLiteral("Admin"))));
}

TEST_F(UserListTest, NothingToActOnSaysSo)
{
    w.exec(QStringLiteral("delete from Users"));
    frmUserList &f = open();
    ASSERT_EQ(f.ListView1->model()->rowCount(), 0);
    bool opened = false;
    w.ctx().modalHook = [&](Form &) { opened = true; };
    for (const QString caption : {QStringLiteral("Delete"), QStringLiteral("Print"),
                                  QStringLiteral("Edit")})
        press(f, caption);
    EXPECT_FALSE(opened);
    // With every account gone, the signed-in one is gone too.
    EXPECT_EQ(w.prompter().texts(),
              QStringList({"Only an administrator can manage the user accounts.",
                           "No record found."}));
    EXPECT_EQ(w.prompter().last().title, QStringLiteral("No Records"));
    EXPECT_EQ(w.prompter().last().icon, MsgIcon::Information);
}

TEST_F(UserListTest, TheUsersCommandOpensTheListOverTheMainWindow)
{
    MDIFormMain &main = w.ctx().window<MDIFormMain>();
    main.show();
    QString shown;
    w.ctx().modalHook = [&](Form &child) { shown = child.objectName(); };
    main.CommandBars_Execute(9040, QStringLiteral("Users"));
    EXPECT_EQ(shown, QStringLiteral("frmUserList"));
}
