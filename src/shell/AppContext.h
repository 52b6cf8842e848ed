#pragma once

#include <functional>
#include <map>
#include <typeindex>

#include <QList>

#include "shell/AppState.h"

class Form;
class MainFrame;
class QWidget;

// The shared state plus the windows: one object each, created on first use.
// Every window is constructed as T(AppContext &).
class AppContext : public AppState
{
public:
    using AppState::AppState;
    ~AppContext() override;

    template <class T>
    T &window()
    {
        const std::type_index key(typeid(T));
        auto it = m_windows.find(key);
        if (it == m_windows.end())
            it = m_windows.emplace(key, new T(*this)).first;
        return *static_cast<T *>(it->second);
    }

    template <class T>
    bool hasWindow() const
    {
        return m_windows.count(std::type_index(typeid(T))) > 0;
    }

    // Shows a window modally over owner and, when it returns, runs the owner's
    // activation again. Tests set modalHook to script what happens inside the
    // window instead of blocking in exec().
    void showModal(Form &child, QWidget *owner = nullptr);
    std::function<void(Form &)> modalHook;
    // How many modal windows are showing through showModal right now.
    int modalDepth() const { return m_modalDepth; }

    // Deletes every window but those in keep, with what they held; a sign-out
    // leaves nothing of the previous user behind. Only while no modal window
    // is showing.
    void discardWindows(const QList<QWidget *> &keep);

    // The frame that holds the windows; whoever assembles the program says
    // how to make it (mainFrameFactory), since windows cannot name it.
    MainFrame &mainFrame();
    std::function<MainFrame &(AppContext &)> mainFrameFactory;

private:
    std::map<std::type_index, QWidget *> m_windows;
    int m_modalDepth = 0;
};
