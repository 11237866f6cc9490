// The worker that copies a backup's message and address-book folders into
// the cache layout "file-relay/var/mobile/Library" that the message databases
// open, decrypting them when the backup is encrypted and skipping files that
// are already cached from an unchanged index record.
#pragma once

#include "backupmanifest.h"
#include "bkcachedb.h"

#include <QDir>
#include <QThread>

class ProgressForm;

class ITunesCacheSMSThread : public QThread
{
    Q_OBJECT
public:
    // The cache folder is the data folder's "itunes_cache/" + the backup's MD5 name.
    ITunesCacheSMSThread(BackupManifest& backup, ProgressForm& form, QObject* parent = nullptr);
    ITunesCacheSMSThread(BackupManifest& backup, const QDir& cacheDir, ProgressForm& form,
                         QObject* parent = nullptr);

    const QDir& cacheDir() const { return m_cacheDir; }

    // Copies `node` (a folder with everything below it, or a file) into `target`.
    void copy(const BackupManifest::_FileNode* node, QDir target);

protected:
    void run() override;

private:
    void copyFile(const BackupManifest::_FileNode* node, const QString& targetPath);
    void removeCache();

    BackupManifest* m_backup;
    ProgressForm* m_form;
    QDir m_cacheDir;
    BkCacheDb m_db;
};
