#pragma once

#include <functional>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QTimer;
class QWidget;

// Watches the program's keyboard and mouse input and calls onIdle once the
// program has had none for the idle time; watching starts again with start().
class IdleWatch : public QObject
{
    Q_OBJECT
public:
    explicit IdleWatch(QObject *parent = nullptr);
    ~IdleWatch() override;

    // 0 switches the watch off.
    void setIdleMilliseconds(qint64 milliseconds);
    qint64 idleMilliseconds() const { return m_idle; }
    void start();
    void stop();
    bool running() const;

    std::function<void()> onIdle;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void check();

    QTimer *m_timer = nullptr;
    QElapsedTimer m_sinceInput;
    qint64 m_idle = 0;
};

// Covers windows with an opaque, empty panel each, so that nothing they show
// can be read while the desk is locked; the windows and what was typed into
// them stay as they are underneath.
class WindowCover
{
public:
    WindowCover() = default;
    ~WindowCover() { uncover(); }
    WindowCover(const WindowCover &) = delete;
    WindowCover &operator=(const WindowCover &) = delete;

    // Covers every visible top-level window but except.
    void coverAll(const QWidget *except = nullptr);
    void uncover();
    bool covers(const QWidget *window) const;

private:
    std::vector<QPointer<QWidget>> m_panels;
};

// True when a visible window holds text typed since it was filled: a line box
// or a paragraph box the user changed.
bool holdsTypedChanges(const QWidget *window);
