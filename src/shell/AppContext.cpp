#include "shell/AppContext.h"

#include <stdexcept>

#include <QEvent>
#include <QEventLoop>
#include <QWidget>
#include <QWindow>

#include "shell/Form.h"

namespace {

// Ends a modal loop when its window is hidden (closed, saved, cancelled).
class HideWatcher : public QObject
{
public:
    explicit HideWatcher(QEventLoop &loop) : m_loop(loop) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            m_loop.quit();
        return QObject::eventFilter(watched, event);
    }

private:
    QEventLoop &m_loop;
};

} // namespace

AppContext::~AppContext()
{
    AppExiting = true;
    for (auto &entry : m_windows)
        delete entry.second;
    m_windows.clear();
}

MainFrame &AppContext::mainFrame()
{
    if (!mainFrameFactory)
        throw std::logic_error("no main frame was set up for this context");
    return mainFrameFactory(*this);
}

void AppContext::discardWindows(const QList<QWidget *> &keep)
{
    for (auto it = m_windows.begin(); it != m_windows.end();) {
        if (keep.contains(it->second)) {
            ++it;
            continue;
        }
        QWidget *window = it->second;
        it = m_windows.erase(it);
        delete window;
    }
}

void AppContext::showModal(Form &child, QWidget *owner)
{
    ++m_modalDepth;
    struct Depth
    {
        int &depth;
        ~Depth() { --depth; }
    } depth{m_modalDepth};
    if (modalHook) {
        child.show();
        if (child.isVisible())
            modalHook(child);
        if (child.isVisible())
            child.hide();
    } else {
        if (owner) {
            child.winId();
            QWindow *ownerWindow = owner->window()->windowHandle();
            if (child.windowHandle() && ownerWindow)
                child.windowHandle()->setTransientParent(ownerWindow);
        }
        child.setWindowModality(Qt::ApplicationModal);
        // The activation may already close the window (a record that is gone).
        child.show();
        if (child.isVisible()) {
            QEventLoop loop;
            HideWatcher watcher(loop);
            child.installEventFilter(&watcher);
            loop.exec(QEventLoop::DialogExec);
            child.removeEventFilter(&watcher);
        }
        child.setWindowModality(Qt::NonModal);
    }
    if (auto *form = qobject_cast<Form *>(owner)) {
        if (form->isVisible())
            form->activate();
    }
}
