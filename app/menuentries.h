// Menu entries written as tables: each entry's text, icon, the main window's
// slot it calls, and how many device nodes it needs to be enabled. The main
// menu and the context menus are filled from such tables.
#pragma once

#include <QList>

class MainWindow;
class QAction;
class QMenu;

// What an entry runs: a slot of the window, written windowSlot<&MainWindow::name>
// so that the compiler checks the name.
using MenuCommand = void (*)(MainWindow&);

template <auto Slot>
void windowSlot(MainWindow& window)
{
    (window.*Slot)();
}

struct MenuEntry
{
    const char* text;    // translated in the context "QObject"; null: a separator
    const char* icon;    // a resource path, or null for none
    MenuCommand command; // null for a separator
    int minDevices;      // enabled when the device count is at least this
};

// Appends the entries to `menu`, each running its command on `window` when
// triggered and without a shortcut, and returns the actions in order
// (separators left out).
QList<QAction*> addMenuEntries(QMenu* menu, const QList<MenuEntry>& entries, MainWindow* window, int deviceCount);
