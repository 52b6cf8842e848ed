#include "shell/ListViews.h"

#include <QTreeView>

QTreeView *newReportList(QAbstractItemModel *model, QWidget *parent, const QList<int> &widths)
{
    auto *view = new QTreeView(parent);
    view->setObjectName(QStringLiteral("ListView1"));
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    int column = 0;
    for (int width : widths)
        view->setColumnWidth(column++, width);
    return view;
}
