#pragma once

#include "shell/Form.h"

class QToolBar;
class QTreeView;
class Steps;
class UserListModel;

// Every user account, with adding, editing, deleting and printing.
class frmUserList : public Form
{
    Q_OBJECT
public:
    explicit frmUserList(AppContext &ctx);

    // Buttons by index: 1 "Add New", 2 "Edit", 3 "Delete", 4 "Print".
    QToolBar *Toolbar1;
    // One line per account: UserID, then the deciphered name and privilege.
    QTreeView *ListView1;

    // Rebuilds the list from the Users table.
    void listUsers();

    void Toolbar1_ButtonClick(int index);
    void ListView1_DblClick();

protected:
    void Form_Load() override;

private:
    int selectedRow() const;
    void addUser(Steps &step);
    void editUser(Steps &step);
    void deleteUser(Steps &step);
    void printUsers(Steps &step);
    void noRecordFound();

    UserListModel *m_users;
};
