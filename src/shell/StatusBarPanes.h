#pragma once

#include <QStatusBar>
#include <QVector>

class QLabel;

// The main window's status bar: two text panes (record position, current
// user) and the Caps, Num and Scroll Lock indicators.
class StatusBarPanes : public QStatusBar
{
    Q_OBJECT
public:
    explicit StatusBarPanes(QWidget *parent = nullptr);

    void SetPaneText(int index, const QString &text);
    QString PaneText(int index) const;
    int PaneCount() const { return m_panes.size(); }
    // The pane ids: 0 and 1 for the text panes, then the keyboard indicators.
    int PaneID(int index) const;
    QLabel *pane(int index) const;

    // Reads the keyboard lock lights and shows them in the indicator panes.
    void updateIndicators();

private:
    struct Pane
    {
        int id;
        QLabel *label;
    };
    QVector<Pane> m_panes;
};
