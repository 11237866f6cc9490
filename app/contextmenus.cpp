#include "contextmenus.h"

#include "itemmodelmain.h"
#include "mainwindow.h"
#include "menuactionstate.h"
#include "menuentries.h"

#include <QMenu>

namespace {

const QList<MenuEntry> kLocalDbRootEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Open Database Folder"), ":res/open_db_folder.png",
     windowSlot<&MainWindow::miOpenDbFolder>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Import SMS from iTunes Backup to Local Database"), ":res/import_itunes.png",
     windowSlot<&MainWindow::miImportItunes>, 0},
};

const QList<MenuEntry> kDeviceEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Backup SMS to Local Database"), ":res/backup.png",
     windowSlot<&MainWindow::miBackupAll>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer iPhone SMS to other iPhone"), ":res/i2i.png",
     windowSlot<&MainWindow::miI2IAll>, 2},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), ":res/export.png", windowSlot<&MainWindow::miExportAll>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS"), ":res/print.png", windowSlot<&MainWindow::miPrintAll>, 0},
    {QT_TRANSLATE_NOOP("QObject", "View Cache Files"), nullptr, windowSlot<&MainWindow::miViewCache>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Disconnect Device"), ":res/unmount.png",
     windowSlot<&MainWindow::miUnmoutDevice>, 0},
};

const QList<MenuEntry> kLocalDbEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Import SMS from iTunes Backup to this Local Database"), ":res/import_itunes.png",
     windowSlot<&MainWindow::miImportToLocalDb>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to iTunes Backup"), nullptr,
     windowSlot<&MainWindow::miExport2iTunesAll>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS from Database to iPhone"), ":res/db2i.png",
     windowSlot<&MainWindow::miDb2IAll>, 1},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), ":res/export.png", windowSlot<&MainWindow::miExportAll>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS"), ":res/print.png", windowSlot<&MainWindow::miPrintAll>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Delete this Database"), ":res/delete.png", windowSlot<&MainWindow::miDelAll>, 0},
};

const QList<MenuEntry> kLocalDbChatEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to iTunes Backup"), nullptr,
     windowSlot<&MainWindow::miExport2iTunesChat>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS with this contact to iPhone"), ":res/db2i.png",
     windowSlot<&MainWindow::miDb2IChat>, 1},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to File"), ":res/export.png",
     windowSlot<&MainWindow::miExportChat>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS with this contact"), ":res/print.png",
     windowSlot<&MainWindow::miPrintChat>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Delete SMS with this contact"), ":res/delete.png",
     windowSlot<&MainWindow::miDelChat>, 0},
};

const QList<MenuEntry> kDeviceChatEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Backup SMS with this contact to Local Database"), ":res/backup.png",
     windowSlot<&MainWindow::miBackupChat>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS with this contact to other iPhone"), ":res/i2i.png",
     windowSlot<&MainWindow::miI2IChat>, 2},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to File"), ":res/export.png",
     windowSlot<&MainWindow::miExportChat>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS with this contact"), ":res/print.png",
     windowSlot<&MainWindow::miPrintChat>, 0},
};

const QList<MenuEntry> kLocalDbSelEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to iTunes Backup"), nullptr,
     windowSlot<&MainWindow::miExport2iTunesSel>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer Selected SMS to iPhone"), ":res/db2i.png",
     windowSlot<&MainWindow::miDb2ISel>, 1},
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to File"), ":res/export.png",
     windowSlot<&MainWindow::miExportSel>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Print Selected SMS"), ":res/print.png", windowSlot<&MainWindow::miPrintSel>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Delete Selected SMS"), ":res/delete.png", windowSlot<&MainWindow::miDelSel>, 0},
};

const QList<MenuEntry> kDeviceSelEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Backup Selected SMS to Local Database"), ":res/backup.png",
     windowSlot<&MainWindow::miBackupSel>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer Selected SMS to other iPhone"), ":res/i2i.png",
     windowSlot<&MainWindow::miI2ISel>, 2},
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to File"), ":res/export.png",
     windowSlot<&MainWindow::miExportSel>, 0},
    {QT_TRANSLATE_NOOP("QObject", "Print Selected SMS"), ":res/print.png", windowSlot<&MainWindow::miPrintSel>, 0},
};

const QList<MenuEntry>* sourceTreeEntries(const AbsTreeItemModel::_ItemNode* node)
{
    switch (node ? node->type : 0) {
    case ITEMNODE_ROOT_LOCALDB:
        return &kLocalDbRootEntries;
    case ITEMNODE_IOS_DEVICE:
        return &kDeviceEntries;
    case ITEMNODE_LOCALDB:
        return &kLocalDbEntries;
    case ITEMNODE_CHAT_SESSION:
        if (!node->parent)
            return nullptr;
        if (node->parent->type == ITEMNODE_LOCALDB)
            return &kLocalDbChatEntries;
        if (node->parent->type == ITEMNODE_IOS_DEVICE)
            return &kDeviceChatEntries;
        return nullptr;
    default:
        return nullptr;
    }
}

QMenu* newMenu(const QList<MenuEntry>* entries, int deviceCount, MainWindow* window)
{
    if (!entries)
        return nullptr;
    auto* menu = new QMenu;
    addMenuEntries(menu, *entries, window, deviceCount);
    return menu;
}

} // namespace

QMenu* newSourceTreeMenu(const AbsTreeItemModel::_ItemNode* node, int deviceCount, MainWindow* window)
{
    return newMenu(sourceTreeEntries(node), deviceCount, window);
}

QMenu* newMessageListMenu(const AbsTreeItemModel::_ItemNode* node, int deviceCount, MainWindow* window)
{
    const AbsTreeItemModel::_ItemNode* owner = messageOwner(node);
    if (!owner)
        return nullptr;
    return newMenu(owner->type == ITEMNODE_LOCALDB ? &kLocalDbSelEntries : &kDeviceSelEntries, deviceCount, window);
}
