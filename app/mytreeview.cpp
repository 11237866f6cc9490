#include "mytreeview.h"

#include <QAbstractScrollArea>

MyTreeView::MyTreeView(QWidget* parent) : QTreeView(parent) {}

void MyTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    emit createContextMenu();
    QAbstractScrollArea::contextMenuEvent(event);
}

void MyTreeView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    emit onSelectionChanged(selected, deselected);
    QTreeView::selectionChanged(selected, deselected);
}
