// The list view counterpart of MyTreeView: selection changes and
// context-menu requests become the same two signals.
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
    // Carries no position: receivers open their menu at the mouse cursor.
    void createContextMenu();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
};
