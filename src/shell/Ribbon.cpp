#include "shell/Ribbon.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kIconSize = 32;

// Long captions go on two lines under the icon, broken at the middle blank.
QString buttonText(const QString &caption)
{
    if (caption.size() <= 14)
        return caption;
    const int middle = caption.size() / 2;
    int best = -1;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char(' ')
            && (best < 0 || qAbs(i - middle) < qAbs(best - middle)))
            best = i;
    }
    if (best < 0)
        return caption;
    return caption.left(best) + QLatin1Char('\n') + caption.mid(best + 1);
}

} // namespace

Ribbon::Ribbon(QWidget *parent) : QWidget(parent), m_tabs(new QTabWidget(this))
{
    setObjectName(QStringLiteral("Ribbon"));
    // Colour schemes paint the ribbon and its pages through style sheets.
    setAttribute(Qt::WA_StyledBackground, true);
    m_tabs->setObjectName(QStringLiteral("RibbonTabs"));
    m_tabs->setDocumentMode(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QMenu *Ribbon::setApplicationMenu(const QString &caption, const QIcon &icon)
{
    auto *button = new QToolButton(m_tabs);
    button->setObjectName(QStringLiteral("ApplicationMenuButton"));
    button->setText(caption);
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setAutoRaise(true);
    auto *menu = new QMenu(caption, button);
    button->setMenu(menu);
    m_tabs->setCornerWidget(button, Qt::TopLeftCorner);
    return menu;
}

QMenu *Ribbon::setOptionsMenu(const QString &caption)
{
    auto *button = new QToolButton(m_tabs);
    button->setObjectName(QStringLiteral("OptionsMenuButton"));
    button->setText(caption);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setAutoRaise(true);
    auto *menu = new QMenu(caption, button);
    button->setMenu(menu);
    m_tabs->setCornerWidget(button, Qt::TopRightCorner);
    return menu;
}

int Ribbon::insertTab(int position, const QString &caption)
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("RibbonPage"));
    page->setAttribute(Qt::WA_StyledBackground, true);
    auto *row = new QHBoxLayout(page);
    row->setContentsMargins(4, 4, 4, 2);
    row->setSpacing(4);
    row->addStretch();
    const int index = m_tabs->insertTab(position, page, caption);
    m_groups.insert(index, QList<Group>());
    return index;
}

int Ribbon::addGroup(int tab, const QString &caption)
{
    QWidget *page = m_tabs->widget(tab);
    auto *group = new QFrame(page);
    group->setObjectName(QStringLiteral("RibbonGroup"));
    group->setFrameShape(QFrame::StyledPanel);
    auto *column = new QVBoxLayout(group);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(0);
    auto *buttons = new QWidget(group);
    auto *buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(2);
    auto *label = new QLabel(caption, group);
    label->setObjectName(QStringLiteral("RibbonGroupCaption"));
    label->setAlignment(Qt::AlignCenter);
    column->addWidget(buttons, 1);
    column->addWidget(label);
    // Groups line up from the start; the stretch stays last.
    auto *row = static_cast<QHBoxLayout *>(page->layout());
    row->insertWidget(row->count() - 1, group);
    m_groups[tab].append(Group{caption, buttons, {}});
    return m_groups[tab].size() - 1;
}

QAction *Ribbon::newCommand(int id, const QString &caption, const QIcon &icon)
{
    auto *command = new QAction(icon, caption, this);
    command->setData(id);
    command->setIconText(buttonText(caption));
    command->setToolTip(caption);
    connect(command, &QAction::triggered, this,
            [this, command] { emit execute(commandId(command), command->text()); });
    m_commands.append(command);
    return command;
}

QToolButton *Ribbon::newButton(int tab, int group, QAction *command)
{
    QWidget *row = m_groups[tab][group].row;
    auto *button = new QToolButton(row);
    button->setDefaultAction(command);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(kIconSize, kIconSize));
    button->setAutoRaise(true);
    button->setMinimumWidth(64);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    row->layout()->addWidget(button);
    m_groups[tab][group].commands.append(command);
    return button;
}

QAction *Ribbon::addButton(int tab, int group, int id, const QString &caption, const QIcon &icon)
{
    QAction *command = newCommand(id, caption, icon);
    newButton(tab, group, command);
    return command;
}

QMenu *Ribbon::addDropDown(int tab, int group, int id, const QString &caption, const QIcon &icon)
{
    QAction *command = newCommand(id, caption, icon);
    QToolButton *button = newButton(tab, group, command);
    auto *menu = new QMenu(caption, button);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    return menu;
}

QAction *Ribbon::addCommand(QMenu *menu, int id, const QString &caption, const QIcon &icon)
{
    QAction *command = newCommand(id, caption, icon);
    menu->addAction(command);
    return command;
}

QAction *Ribbon::findCommand(const QString &caption, int id) const
{
    for (QAction *command : m_commands) {
        if (command->text() == caption && (id == -1 || commandId(command) == id))
            return command;
    }
    return nullptr;
}

int Ribbon::groupCount(int tab) const
{
    return (tab >= 0 && tab < m_groups.size()) ? m_groups[tab].size() : 0;
}

QString Ribbon::groupCaption(int tab, int group) const
{
    return (group >= 0 && group < groupCount(tab)) ? m_groups[tab][group].caption : QString();
}

QList<QAction *> Ribbon::groupCommands(int tab, int group) const
{
    return (group >= 0 && group < groupCount(tab)) ? m_groups[tab][group].commands
                                                    : QList<QAction *>();
}

QToolButton *Ribbon::buttonFor(const QAction *command) const
{
    const auto buttons = findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        if (button->defaultAction() == command)
            return button;
    }
    return nullptr;
}

int Ribbon::commandId(const QAction *command)
{
    return command ? command->data().toInt() : 0;
}
