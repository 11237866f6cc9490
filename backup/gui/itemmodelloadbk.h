// The list of the backup chooser: one row per iTunes backup, newest backup
// first, with its name, date and folder. Each row shares its backup with the
// dialog, which hands the chosen one to the caller.
#pragma once

#include "abstreeitemmodel.h"

#include <QSharedPointer>

class BackupManifest;

class ItemModelLoadBk : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _BKItemNode : public _ItemNode
    {
    public:
        explicit _BKItemNode(QSharedPointer<BackupManifest> backup);
        QSharedPointer<BackupManifest> backup;
    };

    explicit ItemModelLoadBk(QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Lists the backup after every backup of the same date or a later one.
    _BKItemNode* addBackup(QSharedPointer<BackupManifest> backup);
    // The backups in list order.
    QList<QSharedPointer<BackupManifest>> backups() const;
    // The backup of a row; null for an invalid index.
    QSharedPointer<BackupManifest> backupAt(const QModelIndex& index) const;

private:
    QVariant text(const BackupManifest& backup, int column) const;
};
