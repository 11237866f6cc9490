#include "itemmodelloadbk.h"

#include "backupmanifest.h"

#include <QBrush>
#include <QImage>
#include <QLocale>
#include <QPixmap>
#include <QSize>

ItemModelLoadBk::_BKItemNode::_BKItemNode(QSharedPointer<BackupManifest> listed)
    : _ItemNode(0, listed->displayName, nullptr)
    , backup(std::move(listed))
{
}

ItemModelLoadBk::ItemModelLoadBk(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

int ItemModelLoadBk::columnCount(const QModelIndex&) const
{
    return 3;
}

QVariant ItemModelLoadBk::text(const BackupManifest& backup, int column) const
{
    switch (column) {
    case 0:
        return backup.displayName;
    case 1:
        return QLocale::system().toString(backup.info.Date, QLocale::ShortFormat);
    case 2:
        return backup.dir.absolutePath();
    default:
        return QVariant();
    }
}

QVariant ItemModelLoadBk::data(const QModelIndex& index, int role) const
{
    const QSharedPointer<BackupManifest> backup = backupAt(index);
    if (!backup)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return text(*backup, index.column());
    case Qt::DecorationRole:
        if (index.column() != 0)
            return QVariant();
        return QPixmap::fromImage(rowIcon(QImage(QStringLiteral(":res/iphone.png"))));
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250) : QColor(255, 255, 255));
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}

QVariant ItemModelLoadBk::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0:
        return QStringLiteral("Name");
    case 1:
        return QStringLiteral("Backup Date");
    case 2:
        return QStringLiteral("Path");
    default:
        return QVariant();
    }
}

ItemModelLoadBk::_BKItemNode* ItemModelLoadBk::addBackup(QSharedPointer<BackupManifest> backup)
{
    int row = 0;
    while (row < roots.size() && !(static_cast<_BKItemNode*>(roots.at(row))->backup->info.Date < backup->info.Date))
        ++row;
    beginInsertRows(QModelIndex(), row, row);
    auto* node = new _BKItemNode(std::move(backup));
    roots.insert(row, node);
    endInsertRows();
    return node;
}

QList<QSharedPointer<BackupManifest>> ItemModelLoadBk::backups() const
{
    QList<QSharedPointer<BackupManifest>> out;
    for (const _ItemNode* node : roots)
        out.append(static_cast<const _BKItemNode*>(node)->backup);
    return out;
}

QSharedPointer<BackupManifest> ItemModelLoadBk::backupAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.parent().isValid() || index.row() < 0 || index.row() >= roots.size())
        return {};
    return static_cast<const _BKItemNode*>(roots.at(index.row()))->backup;
}
