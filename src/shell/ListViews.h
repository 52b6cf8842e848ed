#pragma once

#include <QList>

class QAbstractItemModel;
class QTreeView;
class QWidget;

// A read-only, report-style list over model: whole lines are selected, one
// at a time, with the given column widths. Named "ListView1", as every
// window names its list.
QTreeView *newReportList(QAbstractItemModel *model, QWidget *parent, const QList<int> &widths);
