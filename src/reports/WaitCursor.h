#pragma once

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

// Shows the hourglass while long work runs (a big PDF, a spreadsheet);
// does nothing in a program without a screen.
class WaitCursor
{
public:
    WaitCursor() : m_on(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
    {
        if (m_on)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor()
    {
        if (m_on)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_on;
};
