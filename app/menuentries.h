// Menu entries written as tables: each entry's text, icon, the receiver's
// slot it calls, and how many device nodes it needs to be enabled. The main
// menu and the context menus are filled from such tables.
#pragma once

#include <QList>

class QAction;
class QMenu;
class QObject;

struct MenuEntry
{
    const char* text; // translated in the context "QObject"; null: a separator
    const char* icon; // a resource path, or null for none
    const char* slot; // SLOT(name()) of the receiver
    int minDevices;   // enabled when the device count is at least this
};

// Appends the entries to `menu`, each connected to its slot of `receiver`
// and without a shortcut, and returns the actions in order (separators
// left out).
QList<QAction*> addMenuEntries(QMenu* menu, const QList<MenuEntry>& entries, QObject* receiver, int deviceCount);
