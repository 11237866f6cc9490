// The model of the source tree: the "Devices" and "Local Databases" roots,
// one node per device or local database holding its message database and the
// messages read from it, and one node per conversation below them. Views and
// menus read a node's kind from the index's internal pointer before they
// read the members of its class.
#pragma once

#include <QSharedPointer>

#include "absmessagedb.h"
#include "abstreeitemmodel.h"
#include "dbfilestamp.h"
#include "iosdevice.h"
#include "msgdata.h"

enum ITEMNODE_TYPE {
    ITEMNODE_ROOT_DEVICE = 1,
    ITEMNODE_ROOT_LOCALDB = 2,
    ITEMNODE_IOS_DEVICE = 3,
    // 4 was a kind of device no longer made.
    ITEMNODE_LOCALDB = 5,
    ITEMNODE_CHAT_SESSION = 6
};

class _RootDeviceItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    explicit _RootDeviceItemNode(const QString& text);
    // The number of direct children of that kind.
    int deviceCount(ITEMNODE_TYPE kind) const;
};

class _RootLocalDBItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    explicit _RootLocalDBItemNode(const QString& text);
};

// A device or local database node. `data` is declared after `db`, so the
// messages go before the database that produced them.
class _AbsDBItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    _AbsDBItemNode(ITEMNODE_TYPE kind, const QString& text, AbsTreeItemModel::_ItemNode* parent,
                   QSharedPointer<AbsMessageDb> db);

    QSharedPointer<AbsMessageDb> db;
    MsgData data;
    // The database file when all its messages were last read into `data`.
    DbFileStamp messagesRead;
};

class _IOSDeviceItemNode : public _AbsDBItemNode
{
public:
    _IOSDeviceItemNode(AbsTreeItemModel::_ItemNode* parent, const IOSDevice& device, QSharedPointer<AbsMessageDb> db);

    IOSDevice device;
};

class _LocalDBItemNode : public _AbsDBItemNode
{
public:
    _LocalDBItemNode(AbsTreeItemModel::_ItemNode* parent, const QString& name, QSharedPointer<AbsMessageDb> db);
};

// One conversation: the chats of one chat identifier, which live in the
// parent's data.
class _ChatSessionItemNode : public AbsTreeItemModel::_ItemNode
{
public:
    _ChatSessionItemNode(AbsTreeItemModel::_ItemNode* parent, const _MsgChatMerge& merge);

    _MsgChatMerge merge;
};

class ItemModelMain : public AbsTreeItemModel
{
    Q_OBJECT
public:
    explicit ItemModelMain(QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Append a node (nothing is read from the database) and return it.
    _IOSDeviceItemNode* addIOSDevice(QSharedPointer<AbsMessageDb> db, const IOSDevice& device);
    _LocalDBItemNode* addLocalDb(QSharedPointer<AbsMessageDb> db, const QString& name);
    // Replaces the node's conversation children with one per merged
    // conversation of its data, the most recent first.
    void listChats(_AbsDBItemNode* node);

    _RootDeviceItemNode* rootDevice;
    _RootLocalDBItemNode* rootLocalDb;

private:
    // Appends under `parent`, announcing the new rows.
    void appendChild(AbsTreeItemModel::_ItemNode* parent, AbsTreeItemModel::_ItemNode* child);
};
