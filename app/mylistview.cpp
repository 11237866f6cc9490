#include "mylistview.h"

#include <QAbstractScrollArea>

MyListView::MyListView(QWidget* parent) : QListView(parent) {}

void MyListView::contextMenuEvent(QContextMenuEvent* event)
{
    emit createContextMenu();
    QAbstractScrollArea::contextMenuEvent(event);
}

void MyListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    emit onSelectionChanged(selected, deselected);
    QListView::selectionChanged(selected, deselected);
}
