// The list-view counterpart of MyTreeView: the same two signals for a view
// that shows a flat list.
#pragma once

#include <QItemSelection>
#include <QListView>

class MyListView : public QListView
{
    Q_OBJECT
public:
    explicit MyListView(QWidget* parent = nullptr);

signals:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void createContextMenu();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
};
