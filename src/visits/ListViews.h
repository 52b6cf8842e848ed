#pragma once

#include <QList>

class QAbstractItemModel;
class QTreeView;
class QWidget;

// A read-only, report-style list over model: whole lines are selected, one
// at a time, with the given column widths. Named "ListView1" like the lists
// of the visit windows.
QTreeView *newReportList(QAbstractItemModel *model, QWidget *parent,
                         const QList<int> &widths);
// Widths that fit the visit lists' five columns.
inline QList<int> visitColumnWidths() { return {80, 100, 260, 160, 140}; }
