#include "itemmodelmain.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include "mergesort.h"

namespace {

// Chats made up for recovered messages carry row ids at or below this.
constexpr qint64 kMadeUpChatRowId = -1947483647;
constexpr int kRowHeight = 25;

QImage icon(const char* resource)
{
    return AbsTreeItemModel::rowIcon(QImage(QString::fromLatin1(resource)));
}

const _MsgChat* firstChat(const _ChatSessionItemNode* node)
{
    return node->merge.chats.isEmpty() ? nullptr : node->merge.chats.first();
}

// A one-to-one conversation shows the contact's photo when it decodes as
// JPEG or PNG; groups and the rest show drawn pictures.
QVariant conversationPicture(const _ChatSessionItemNode* node)
{
    const _MsgChat* chat = firstChat(node);
    if (!chat)
        return QVariant();
    if (chat->handles.size() > 1)
        return icon(":/res/group.png");
    if (chat->handles.size() == 1) {
        const QByteArray& photo = chat->handles.cbegin().value()->_photo;
        if (!photo.isEmpty()) {
            QImage image;
            if (image.loadFromData(photo, "JPEG") || image.loadFromData(photo, "PNG"))
                return image.scaledToHeight(AbsTreeItemModel::kRowIconSide, Qt::FastTransformation);
        }
    }
    return icon(":/res/contact.png");
}

QVariant decoration(const AbsTreeItemModel::_ItemNode* node)
{
    switch (node->type) {
    case ITEMNODE_ROOT_DEVICE:
        return icon(":/res/devices.png");
    case ITEMNODE_ROOT_LOCALDB:
        return icon(":/res/databases.png");
    case ITEMNODE_IOS_DEVICE:
        return icon(":/res/iphone.png");
    case 4:
        return icon(":/res/android.png");
    case ITEMNODE_LOCALDB:
        return icon(":/res/database.png");
    case ITEMNODE_CHAT_SESSION:
        return conversationPicture(static_cast<const _ChatSessionItemNode*>(node));
    default:
        return QVariant();
    }
}

} // namespace

_RootDeviceItemNode::_RootDeviceItemNode(const QString& text) : _ItemNode(ITEMNODE_ROOT_DEVICE, text, nullptr) {}

int _RootDeviceItemNode::deviceCount(ITEMNODE_TYPE kind) const
{
    int count = 0;
    for (const _ItemNode* child : childs)
        count += child->type == kind;
    return count;
}

_RootLocalDBItemNode::_RootLocalDBItemNode(const QString& text) : _ItemNode(ITEMNODE_ROOT_LOCALDB, text, nullptr) {}

_AbsDBItemNode::_AbsDBItemNode(ITEMNODE_TYPE kind, const QString& text, AbsTreeItemModel::_ItemNode* parent,
                               QSharedPointer<AbsMessageDb> db)
    : _ItemNode(kind, text, parent)
    , db(std::move(db))
{
}

_IOSDeviceItemNode::_IOSDeviceItemNode(AbsTreeItemModel::_ItemNode* parent, const IOSDevice& device,
                                       QSharedPointer<AbsMessageDb> db)
    : _AbsDBItemNode(ITEMNODE_IOS_DEVICE, device.deviceName, parent, std::move(db))
    , device(device)
{
}

_LocalDBItemNode::_LocalDBItemNode(AbsTreeItemModel::_ItemNode* parent, const QString& name,
                                   QSharedPointer<AbsMessageDb> db)
    : _AbsDBItemNode(ITEMNODE_LOCALDB, name, parent, std::move(db))
{
}

_ChatSessionItemNode::_ChatSessionItemNode(AbsTreeItemModel::_ItemNode* parent, const _MsgChatMerge& merge)
    : _ItemNode(ITEMNODE_CHAT_SESSION, merge.chats.isEmpty() ? QString() : merge.chats.first()->displayName(false),
                parent)
    , merge(merge)
{
}

ItemModelMain::ItemModelMain(QObject* parent)
    : AbsTreeItemModel(parent)
    , rootDevice(new _RootDeviceItemNode(tr("IDS_ROOT_DEVICE")))
    , rootLocalDb(new _RootLocalDBItemNode(tr("IDS_ROOT_LOCALDB")))
{
    roots.append(rootDevice);
    roots.append(rootLocalDb);
}

int ItemModelMain::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ItemModelMain::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}

QVariant ItemModelMain::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    const auto* node = static_cast<const _ItemNode*>(index.internalPointer());
    switch (role) {
    case Qt::SizeHintRole:
        return QSize(0, kRowHeight);
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return node->text;
    case Qt::DecorationRole:
        return decoration(node);
    case Qt::ForegroundRole:
        if (node->type == ITEMNODE_CHAT_SESSION) {
            const _MsgChat* chat = firstChat(static_cast<const _ChatSessionItemNode*>(node));
            if (chat && chat->ROWID <= kMadeUpChatRowId)
                return QColor(255, 0, 0);
        }
        return QVariant();
    default:
        return QVariant();
    }
}

void ItemModelMain::appendChild(_ItemNode* parent, _ItemNode* child)
{
    const int row = int(parent->childs.size());
    beginInsertRows(indexOfItemNode(parent), row, row);
    parent->childs.append(child);
    endInsertRows();
}

_IOSDeviceItemNode* ItemModelMain::addIOSDevice(QSharedPointer<AbsMessageDb> db, const IOSDevice& device)
{
    auto* node = new _IOSDeviceItemNode(rootDevice, device, std::move(db));
    appendChild(rootDevice, node);
    return node;
}

_LocalDBItemNode* ItemModelMain::addLocalDb(QSharedPointer<AbsMessageDb> db, const QString& name)
{
    auto* node = new _LocalDBItemNode(rootLocalDb, name, std::move(db));
    appendChild(rootLocalDb, node);
    return node;
}

void ItemModelMain::listChats(_AbsDBItemNode* node)
{
    clearChilds(node);
    QList<_MsgChatMerge> merges = node->data.chatMergeList();
    if (merges.isEmpty())
        return;
    qsMergeSort(merges, compareMsgChatMergeLastDesc);
    beginInsertRows(indexOfItemNode(node), 0, int(merges.size()) - 1);
    node->childs.reserve(merges.size());
    for (const _MsgChatMerge& merge : merges)
        node->childs.append(new _ChatSessionItemNode(node, merge));
    endInsertRows();
}
