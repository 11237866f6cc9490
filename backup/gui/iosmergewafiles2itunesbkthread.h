// The worker that puts files into an iTunes backup: each item is stored under
// its hashed name (encrypted with a file key of the backup when the backup is
// encrypted) and entered into the backup's file index, which is then written
// back. The whole merge is one BackupWriteTransaction: a cancel or a failure
// leaves the backup exactly as it was.
#pragma once

#include "backupwritetransaction.h"

#include <QList>
#include <QString>
#include <QThread>

class BackupManifest;
class ProgressForm;

class IOSMergeWAFiles2iTunesBKThread : public QThread
{
    Q_OBJECT
public:
    // One file to put into a backup.
    struct _Item
    {
        _Item(const QString& domain, const QString& localFile, const QString& relativePath, bool overwrite)
            : domain(domain), localFile(localFile), relativePath(relativePath), overwrite(overwrite)
        {
        }

        QString domain;
        QString localFile;
        QString relativePath;
        bool overwrite;
    };

    IOSMergeWAFiles2iTunesBKThread(BackupManifest& backup, const QList<_Item>& items, ProgressForm& form,
                                   QObject* parent = nullptr);

    // Records of these domains (any case) whose paths start with these
    // relative paths (any case) are dropped from the index.
    void setRemoveItems(const QList<_Item>& items);
    // Consulted before every write step of the merge; tests interrupt it here.
    void setStepHook(BackupWriteTransaction::StepHook hook);

protected:
    void run() override;

private:
    void mergeThrow();

    BackupManifest* m_backup;
    QList<_Item> m_items;
    QList<_Item> m_removeItems;
    ProgressForm* m_form;
    BackupWriteTransaction::StepHook m_hook;
};
