#include "menuentries.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>

QList<QAction*> addMenuEntries(QMenu* menu, const QList<MenuEntry>& entries, QObject* receiver, int deviceCount)
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
        const bool connected = QObject::connect(action, SIGNAL(triggered()), receiver, entry.slot);
        Q_ASSERT(connected);
        Q_UNUSED(connected);
        actions.append(action);
    }
    return actions;
}
