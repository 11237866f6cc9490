// The base of the tree models that views show (source tree, backup list): an
// owned tree of nodes answering Qt's structural questions. A subclass gives
// columnCount and data, creates nodes of its own node types and links them in
// (appending to the parent's childs or to roots) with its own notifications.
#pragma once

#include <QAbstractItemModel>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

class AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    class _ItemNode
    {
    public:
        // Does not link itself into the parent's childs.
        _ItemNode(int type, const QString& text, _ItemNode* parent);
        // Deletes the whole subtree.
        virtual ~_ItemNode();
        _ItemNode(const _ItemNode&) = delete;
        _ItemNode& operator=(const _ItemNode&) = delete;

        int type;
        QString text;
        // The index index() last produced for this node.
        QModelIndex index;
        _ItemNode* parent;
        QList<_ItemNode*> childs;
    };

    // The side of the square in which the rows' drawn pictures stand; the
    // views show their icons at this size, well inside a row's height.
    static constexpr int kRowIconSide = 18;
    static QSize rowIconSize() { return QSize(kRowIconSide, kRowIconSide); }
    // The picture scaled to fit the row icon's square, keeping its aspect
    // ratio, and centred on a transparent square when it does not fill it:
    // a tall picture scaled to the icon's width would be cut by the row.
    static QImage rowIcon(const QImage& picture);

    explicit AbsTreeItemModel(QObject* parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    // Column 0 of the parent node at its current row.
    QModelIndex parent(const QModelIndex& child) const override;
    // Children hang under column 0 only.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override = 0;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override = 0;

    // Column 0 of the node at its current row; invalid when the node is not
    // in the tree.
    QModelIndex indexOfItemNode(const _ItemNode* node) const;
    // Removes the node's children (one notification), then the node itself.
    void removeNode(const _ItemNode* node);
    // Removes all children of the node, or all roots when it is null, in one
    // notification.
    void clearChilds(const _ItemNode* node);
    // Every node in pre-order.
    QList<const _ItemNode*> nodes() const;
    // The node's row and its children's rows changed.
    void invokeDataChanged(const _ItemNode* node);
    // The subclass rearranged its lists.
    void contentsUpdate();

protected:
    QList<_ItemNode*> roots;

private:
    const QList<_ItemNode*>& siblings(const _ItemNode* node) const;
    QList<_ItemNode*>& childList(const _ItemNode* node);
    void appendNode(QList<const _ItemNode*>& list, const _ItemNode* node) const;
};
