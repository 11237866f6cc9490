#include "contextmenus.h"

#include "itemmodelmain.h"
#include "menuactionstate.h"
#include "menuentries.h"

#include <QMenu>

namespace {

const QList<MenuEntry> kLocalDbRootEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Open Database Folder"), ":res/open_db_folder.png", SLOT(miOpenDbFolder()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Import SMS from iTunes Backup to Local Database"), ":res/import_itunes.png",
     SLOT(miImportItunes()), 0},
};

const QList<MenuEntry> kDeviceEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Backup SMS to Local Database"), ":res/backup.png", SLOT(miBackupAll()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer iPhone SMS to other iPhone"), ":res/i2i.png", SLOT(miI2IAll()), 2},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), ":res/export.png", SLOT(miExportAll()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS"), ":res/print.png", SLOT(miPrintAll()), 0},
    {QT_TRANSLATE_NOOP("QObject", "View Cache Files"), nullptr, SLOT(miViewCache()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Disconnect Device"), ":res/unmount.png", SLOT(miUnmoutDevice()), 0},
};

const QList<MenuEntry> kLocalDbEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Import SMS from iTunes Backup to this Local Database"), ":res/import_itunes.png",
     SLOT(miImportToLocalDb()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to iTunes Backup"), nullptr, SLOT(miExport2iTunesAll()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS from Database to iPhone"), ":res/db2i.png", SLOT(miDb2IAll()), 1},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS to File"), ":res/export.png", SLOT(miExportAll()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS"), ":res/print.png", SLOT(miPrintAll()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Delete this Database"), ":res/delete.png", SLOT(miDelAll()), 0},
};

const QList<MenuEntry> kLocalDbChatEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to iTunes Backup"), nullptr,
     SLOT(miExport2iTunesChat()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS with this contact to iPhone"), ":res/db2i.png", SLOT(miDb2IChat()), 1},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to File"), ":res/export.png", SLOT(miExportChat()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS with this contact"), ":res/print.png", SLOT(miPrintChat()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Delete SMS with this contact"), ":res/delete.png", SLOT(miDelChat()), 0},
};

const QList<MenuEntry> kDeviceChatEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Backup SMS with this contact to Local Database"), ":res/backup.png",
     SLOT(miBackupChat()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer SMS with this contact to other iPhone"), ":res/i2i.png",
     SLOT(miI2IChat()), 2},
    {QT_TRANSLATE_NOOP("QObject", "Export SMS with this contact to File"), ":res/export.png", SLOT(miExportChat()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Print SMS with this contact"), ":res/print.png", SLOT(miPrintChat()), 0},
};

const QList<MenuEntry> kLocalDbSelEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to iTunes Backup"), nullptr, SLOT(miExport2iTunesSel()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer Selected SMS to iPhone"), ":res/db2i.png", SLOT(miDb2ISel()), 1},
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to File"), ":res/export.png", SLOT(miExportSel()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Print Selected SMS"), ":res/print.png", SLOT(miPrintSel()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Delete Selected SMS"), ":res/delete.png", SLOT(miDelSel()), 0},
};

const QList<MenuEntry> kDeviceSelEntries = {
    {QT_TRANSLATE_NOOP("QObject", "Backup Selected SMS to Local Database"), ":res/backup.png", SLOT(miBackupSel()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Transfer Selected SMS to other iPhone"), ":res/i2i.png", SLOT(miI2ISel()), 2},
    {QT_TRANSLATE_NOOP("QObject", "Export Selected SMS to File"), ":res/export.png", SLOT(miExportSel()), 0},
    {QT_TRANSLATE_NOOP("QObject", "Print Selected SMS"), ":res/print.png", SLOT(miPrintSel()), 0},
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

QMenu* newMenu(const QList<MenuEntry>* entries, int deviceCount, QObject* receiver)
{
    if (!entries)
        return nullptr;
    auto* menu = new QMenu;
    addMenuEntries(menu, *entries, receiver, deviceCount);
    return menu;
}

} // namespace

QMenu* newSourceTreeMenu(const AbsTreeItemModel::_ItemNode* node, int deviceCount, QObject* receiver)
{
    return newMenu(sourceTreeEntries(node), deviceCount, receiver);
}

QMenu* newMessageListMenu(const AbsTreeItemModel::_ItemNode* node, int deviceCount, QObject* receiver)
{
    const AbsTreeItemModel::_ItemNode* owner = messageOwner(node);
    if (!owner)
        return nullptr;
    return newMenu(owner->type == ITEMNODE_LOCALDB ? &kLocalDbSelEntries : &kDeviceSelEntries, deviceCount, receiver);
}
