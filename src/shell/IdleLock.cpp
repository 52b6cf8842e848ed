#include "shell/IdleLock.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

IdleWatch::IdleWatch(QObject *parent) : QObject(parent)
{
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, [this] { check(); });
}

IdleWatch::~IdleWatch()
{
    stop();
}

void IdleWatch::setIdleMilliseconds(qint64 milliseconds)
{
    m_idle = milliseconds;
    if (running())
        start();
}

void IdleWatch::start()
{
    if (m_idle <= 0) {
        stop();
        return;
    }
    qApp->installEventFilter(this);
    m_sinceInput.start();
    // Often enough to lock within a few seconds of the time, rarely enough to cost nothing.
    m_timer->start(int(qBound(qint64(50), m_idle / 10, qint64(5000))));
}

void IdleWatch::stop()
{
    m_timer->stop();
    if (qApp)
        qApp->removeEventFilter(this);
}

bool IdleWatch::running() const
{
    return m_timer->isActive();
}

bool IdleWatch::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        m_sinceInput.restart();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void IdleWatch::check()
{
    if (m_sinceInput.elapsed() < m_idle)
        return;
    stop();
    if (onIdle)
        onIdle();
}

namespace {

// An opaque panel over the whole of its window, also when the window grows.
class CoverPanel : public QWidget
{
public:
    explicit CoverPanel(QWidget *window) : QWidget(window)
    {
        setObjectName(QStringLiteral("lockCover"));
        setAutoFillBackground(true);
        setAttribute(Qt::WA_NoMousePropagation);
        window->installEventFilter(this);
        setGeometry(window->rect());
        raise();
        show();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parent()) {
            if (event->type() == QEvent::Resize)
                setGeometry(static_cast<QWidget *>(watched)->rect());
            else if (event->type() == QEvent::ChildAdded || event->type() == QEvent::LayoutRequest)
                raise();
        }
        return QWidget::eventFilter(watched, event);
    }
};

} // namespace

void WindowCover::coverAll(const QWidget *except)
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window == except || !window->isVisible() || covers(window))
            continue;
        m_panels.emplace_back(new CoverPanel(window));
    }
}

void WindowCover::uncover()
{
    for (const QPointer<QWidget> &panel : m_panels)
        delete panel.data();
    m_panels.clear();
}

bool WindowCover::covers(const QWidget *window) const
{
    for (const QPointer<QWidget> &panel : m_panels) {
        if (panel && panel->parentWidget() == window)
            return true;
    }
    return false;
}

bool holdsTypedChanges(const QWidget *window)
{
    if (!window || !window->isVisible())
        return false;
    for (const QLineEdit *box : window->findChildren<QLineEdit *>()) {
        if (box->isVisible() && box->isModified() && !box->text().isEmpty())
            return true;
    }
    for (const QPlainTextEdit *box : window->findChildren<QPlainTextEdit *>()) {
        if (box->isVisible() && box->document()->isModified())
            return true;
    }
    for (const QTextEdit *box : window->findChildren<QTextEdit *>()) {
        if (box->isVisible() && box->document()->isModified())
            return true;
    }
    return false;
}
