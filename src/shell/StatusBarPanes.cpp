#include "shell/StatusBarPanes.h"

#include <QDir>
#include <QFile>
#include <QLabel>

namespace {

struct Indicator
{
    int id;
    const char *text;
    const char *led; // the keyboard light's name under /sys/class/leds
};

const Indicator kIndicators[] = {
    {59137, "CAP", "capslock"},
    {59138, "NUM", "numlock"},
    {59139, "SCRL", "scrolllock"},
};

// True when any keyboard shows this lock light. Lights that cannot be read
// (no keyboard on this machine, a remote display) count as off.
bool lockLightOn(const char *led)
{
    const QDir leds(QStringLiteral("/sys/class/leds"));
    const QStringList names = leds.entryList({QStringLiteral("*::") + QLatin1String(led)},
                                             QDir::Dirs | QDir::System);
    for (const QString &name : names) {
        QFile brightness(leds.filePath(name + QStringLiteral("/brightness")));
        if (brightness.open(QIODevice::ReadOnly) && brightness.readAll().trimmed() != "0")
            return true;
    }
    return false;
}

} // namespace

StatusBarPanes::StatusBarPanes(QWidget *parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusBar1"));
    // The record position needs little room; the user's name takes the rest.
    for (int id : {0, 1}) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("pane%1").arg(id));
        // A user name is shown as typed, never read as markup.
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(id == 0 ? 180 : 160);
        addWidget(label, id == 0 ? 0 : 1);
        m_panes.append({id, label});
    }
    for (const Indicator &indicator : kIndicators) {
        auto *label = new QLabel(QLatin1String(indicator.text), this);
        label->setObjectName(QStringLiteral("pane%1").arg(indicator.id));
        label->setAlignment(Qt::AlignCenter);
        const int textWidth = label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL"));
        label->setMinimumWidth(textWidth + 12);
        addPermanentWidget(label);
        m_panes.append({indicator.id, label});
    }
    updateIndicators();
}

QLabel *StatusBarPanes::pane(int index) const
{
    return (index >= 0 && index < m_panes.size()) ? m_panes[index].label : nullptr;
}

void StatusBarPanes::SetPaneText(int index, const QString &text)
{
    if (QLabel *label = pane(index))
        label->setText(text);
}

QString StatusBarPanes::PaneText(int index) const
{
    const QLabel *label = pane(index);
    return label ? label->text() : QString();
}

int StatusBarPanes::PaneID(int index) const
{
    return (index >= 0 && index < m_panes.size()) ? m_panes[index].id : -1;
}

void StatusBarPanes::updateIndicators()
{
    for (int i = 0; i < 3; ++i)
        m_panes[2 + i].label->setEnabled(lockLightOn(kIndicators[i].led));
}
