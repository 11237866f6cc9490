// The tree view of both panes of the main window: selection changes and
// context-menu requests become signals, so the window reacts to them without
// deriving from the view.
#pragma once

#include <QItemSelection>
#include <QTreeView>

class MyTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit MyTreeView(QWidget* parent = nullptr);

signals:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // Carries no position: receivers open their menu at the mouse cursor.
    void createContextMenu();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
};
