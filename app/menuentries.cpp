#include "menuentries.h"

#include "mainwindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>

QList<QAction*> addMenuEntries(QMenu* menu, const QList<MenuEntry>& entries, MainWindow* window, int deviceCount)
{
    QList<QAction*> actions;
    for (const MenuEntry& entry : entries) {
        if (!entry.text) {
            menu->addSeparator();
            continue;
        }
        const QString text = QCoreApplication::translate("QObject", entry.text);
        QAction* action = entry.icon ? menu->addAction(QIcon(QString::fromLatin1(entry.icon)), text) : menu->addAction(text);
        action->setShortcut(QKeySequence());
        action->setEnabled(deviceCount >= entry.minDevices);
        QObject::connect(action, &QAction::triggered, window, [window, command = entry.command] { command(*window); });
        actions.append(action);
    }
    return actions;
}
