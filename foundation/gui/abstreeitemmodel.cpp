#include "abstreeitemmodel.h"

#include <QPainter>

#include <utility>

QImage AbsTreeItemModel::rowIcon(const QImage& picture)
{
    if (picture.isNull())
        return picture;
    const QImage scaled = picture.scaled(rowIconSize(), Qt::KeepAspectRatio, Qt::FastTransformation);
    if (scaled.size() == rowIconSize())
        return scaled;
    QImage square(rowIconSize(), QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((kRowIconSide - scaled.width()) / 2, (kRowIconSide - scaled.height()) / 2, scaled);
    return square;
}

AbsTreeItemModel::_ItemNode::_ItemNode(int type, const QString& text, _ItemNode* parent)
    : type(type)
    , text(text)
    , parent(parent)
{
}

AbsTreeItemModel::_ItemNode::~_ItemNode()
{
    qDeleteAll(childs);
    childs.clear();
}

AbsTreeItemModel::AbsTreeItemModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(roots);
}

namespace {
using Node = AbsTreeItemModel::_ItemNode;

Node* nodeOf(const QModelIndex& index)
{
    return static_cast<Node*>(index.internalPointer());
}
}

const QList<AbsTreeItemModel::_ItemNode*>& AbsTreeItemModel::siblings(const _ItemNode* node) const
{
    return node->parent ? node->parent->childs : roots;
}

QList<AbsTreeItemModel::_ItemNode*>& AbsTreeItemModel::childList(const _ItemNode* node)
{
    return node ? const_cast<_ItemNode*>(node)->childs : roots;
}

int AbsTreeItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const Node* node = nodeOf(parent);
    return int(node ? node->childs.size() : roots.size());
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    const Node* parentNode = nodeOf(parent);
    Node* node = (parentNode ? parentNode->childs : roots).at(row);
    node->index = createIndex(row, column, node);
    return node->index;
}

// Computed from the grandparent's list at every call, so that it stays right
// after rows above the parent were inserted or removed.
QModelIndex AbsTreeItemModel::parent(const QModelIndex& child) const
{
    const Node* node = nodeOf(child);
    if (!node || !node->parent)
        return QModelIndex();
    return indexOfItemNode(node->parent);
}

QModelIndex AbsTreeItemModel::indexOfItemNode(const _ItemNode* node) const
{
    if (!node)
        return QModelIndex();
    const qsizetype row = siblings(node).indexOf(const_cast<_ItemNode*>(node));
    if (row < 0)
        return QModelIndex();
    return createIndex(int(row), 0, const_cast<_ItemNode*>(node));
}

void AbsTreeItemModel::clearChilds(const _ItemNode* node)
{
    QList<_ItemNode*>& list = childList(node);
    if (list.isEmpty())
        return;
    beginRemoveRows(indexOfItemNode(node), 0, int(list.size()) - 1);
    const QList<_ItemNode*> removed = std::exchange(list, {});
    qDeleteAll(removed);
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(const _ItemNode* node)
{
    if (!node)
        return;
    clearChilds(node);
    QList<_ItemNode*>& list = childList(node->parent);
    const qsizetype row = list.indexOf(const_cast<_ItemNode*>(node));
    if (row < 0)
        return;
    beginRemoveRows(indexOfItemNode(node->parent), int(row), int(row));
    list.removeAt(row);
    delete node;
    endRemoveRows();
}

QList<const AbsTreeItemModel::_ItemNode*> AbsTreeItemModel::nodes() const
{
    QList<const _ItemNode*> list;
    for (const _ItemNode* root : roots)
        appendNode(list, root);
    return list;
}

void AbsTreeItemModel::appendNode(QList<const _ItemNode*>& list, const _ItemNode* node) const
{
    if (!node)
        return;
    list.append(node);
    for (const _ItemNode* child : node->childs)
        appendNode(list, child);
}

// dataChanged needs both corners under one parent: the node's row is one
// range, its children's rows (when it has any) another.
void AbsTreeItemModel::invokeDataChanged(const _ItemNode* node)
{
    const QModelIndex nodeIndex = indexOfItemNode(node);
    if (!nodeIndex.isValid())
        return;
    const int lastColumn = columnCount(nodeIndex.parent()) - 1;
    if (lastColumn < 0)
        return;
    emit dataChanged(nodeIndex, nodeIndex.siblingAtColumn(lastColumn));
    if (!node->childs.isEmpty()) {
        const int lastChildColumn = qMax(columnCount(nodeIndex) - 1, 0);
        emit dataChanged(index(0, 0, nodeIndex), index(int(node->childs.size()) - 1, lastChildColumn, nodeIndex));
    }
}

void AbsTreeItemModel::contentsUpdate()
{
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}
