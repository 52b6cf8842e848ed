#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>

class QAction;
class QMenu;
class QTabWidget;
class QToolButton;

// Our ribbon: an application-menu button, tabs of captioned groups of large
// command buttons, and a menu button at the right end of the tab row. Every
// command is a QAction that carries its id (data()) and its caption (text());
// triggering one emits execute(id, caption).
class Ribbon : public QWidget
{
    Q_OBJECT
public:
    explicit Ribbon(QWidget *parent = nullptr);

    // The "&File" style button at the start of the tab row and its menu.
    QMenu *setApplicationMenu(const QString &caption, const QIcon &icon);
    // The menu button at the right end of the tab row.
    QMenu *setOptionsMenu(const QString &caption);

    int insertTab(int position, const QString &caption);
    // A captioned group of buttons on a tab; returns its index on that tab.
    int addGroup(int tab, const QString &caption);
    QAction *addButton(int tab, int group, int id, const QString &caption, const QIcon &icon);
    // A button that drops down a menu of commands; the button itself only opens it.
    QMenu *addDropDown(int tab, int group, int id, const QString &caption, const QIcon &icon);
    QAction *addCommand(QMenu *menu, int id, const QString &caption,
                        const QIcon &icon = QIcon());

    // Every command in the order it was added.
    const QList<QAction *> &commands() const { return m_commands; }
    // The first command with this caption (and id, when not -1), else nullptr.
    QAction *findCommand(const QString &caption, int id = -1) const;
    int groupCount(int tab) const;
    QString groupCaption(int tab, int group) const;
    // The commands of a group's buttons, in order.
    QList<QAction *> groupCommands(int tab, int group) const;
    QToolButton *buttonFor(const QAction *command) const;
    QTabWidget *tabs() const { return m_tabs; }

    static int commandId(const QAction *command);

signals:
    void execute(int id, const QString &caption);

private:
    QAction *newCommand(int id, const QString &caption, const QIcon &icon);
    QToolButton *newButton(int tab, int group, QAction *command);

    QTabWidget *m_tabs;
    QList<QAction *> m_commands;
    struct Group
    {
        QString caption;
        QWidget *row; // holds the buttons
        QList<QAction *> commands;
    };
    QList<QList<Group>> m_groups; // per tab
};
