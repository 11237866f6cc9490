// One iTunes backup folder: its manifest information, the name it is listed
// under, the keys of an unlocked encrypted backup, and the file tree built
// from its file index. Lives for one operation; never copied.
#pragma once

#include "backupfilecipher.h"
#include "keybag.h"
#include "mbdbparser.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <cstddef>
#include <memory>
#include <vector>

class BackupManifest : public QObject
{
    Q_OBJECT

public:
    struct _InfoPlist
    {
        QString UniqueDeviceID;
        QString DeviceName;
        QDateTime Date;
        QString ProductType;
        QString ProductVersion;
        QString SerialNumber;
        bool IsEncrypted = false;
        QByteArray BackupKeyBag;
        // A 4-byte prefix, then the wrapped key of an encrypted Manifest.db.
        QByteArray ManifestKey;
    };

    // One node of the file tree. Names come from the backup as they are: "",
    // "." or ".." are kept here, and whoever turns names into paths on disk
    // must refuse them. A node stands for a record of the index the tree was
    // built from (`items`, unchanged while the tree lives), by its number
    // there; the folders and the root that the tree adds have none. The
    // backup owns every node but the root in blocks (FileNodeBlocks); a
    // node's children are views.
    struct _FileNode
    {
        static constexpr qsizetype kNoRecord = -1;

        _FileNode(_FileNode* parent, const MBDBParser::Index* index, qsizetype record, QString name);
        _FileNode(const _FileNode&) = delete;
        _FileNode& operator=(const _FileNode&) = delete;

        // The node's record, made on demand: an empty one with the folder
        // mode for an added folder, with mode 0 for the root.
        MBDBParser::_MBDBItem item() const;
        bool isFolder() const;

        QString name;
        _FileNode* parent;
        QList<const _FileNode*> children;
        const MBDBParser::Index* index;
        qsizetype record;
    };

    // The nodes of a tree, made in blocks rather than one allocation each;
    // destroyed with the blocks.
    class FileNodeBlocks
    {
    public:
        FileNodeBlocks() = default;
        ~FileNodeBlocks();
        FileNodeBlocks(const FileNodeBlocks&) = delete;
        FileNodeBlocks& operator=(const FileNodeBlocks&) = delete;

        _FileNode* make(_FileNode* parent, const MBDBParser::Index* index, qsizetype record, QString name);
        // The nodes made so far, numbered from 0 in the order they were made.
        qsizetype count() const
        {
            return m_blocks.empty() ? 0 : qsizetype((m_blocks.size() - 1) * kBlockNodes + m_usedInLast);
        }
        _FileNode* at(qsizetype n) const
        {
            return reinterpret_cast<_FileNode*>(m_blocks[size_t(n) / kBlockNodes].get()) + size_t(n) % kBlockNodes;
        }

    private:
        static constexpr size_t kBlockNodes = 1024;
        std::vector<std::unique_ptr<std::byte[]>> m_blocks;
        size_t m_usedInLast = kBlockNodes;
    };

    explicit BackupManifest(const QString& folder, QObject* parent = nullptr);
    ~BackupManifest() override;

    // The folders that hold the computer's backups, one subfolder per backup.
    static QList<QDir> iTunesBackupDirs();

    // Fills `info` and `displayName` from Manifest.plist and Status.plist.
    // Throws std::runtime_error when the framework is not loaded or the
    // manifest is missing or unreadable; a manifest that does not parse
    // leaves the fields empty.
    void readManifestInfo();
    // Lower-case hex MD5 of the UTF-8 of the folder's absolute path.
    QString dirPathMd5() const;
    // Reads the file index and builds the tree, once: a later call does
    // nothing while the tree has nodes. Index errors pass through unchanged.
    void parseInfo();

    // Unlocks an encrypted backup with its password, all or nothing: on
    // success the keybag with its class keys, the password and, for a backup
    // whose Manifest.db is encrypted, the manifest key and the decrypted copy
    // are set; otherwise nothing changes. False for a wrong password; throws
    // std::runtime_error when Manifest.db cannot be decrypted.
    bool setPasscodeNoUIThrow(const QString& password);
    // The same on the GUI thread: runs the unlock on a worker behind a
    // progress dialog and returns once the worker ended; false also when the
    // unlock failed with an error, which the dialog has shown.
    bool setPasscode(const QString& password);

    // Copies a stored file out of the backup, decrypting it when the backup
    // is encrypted, and gives it the record's modification time. Throws
    // std::runtime_error, also for a record of an encrypted backup whose key
    // does not unwrap. Nothing for a null node.
    void copyFile(const _FileNode* node, const QString& target, void* context,
                  BackupProgressCallback callback) const;
    void copyItemThrow(const MBDBParser::_MBDBItem& item, const QString& target, void* context,
                       BackupProgressCallback callback) const;
    void decryptFileThrow(const QByteArray& key, const QString& source, const QString& target, void* context,
                          BackupProgressCallback callback) const;
    static void encryptFileThrow(const QString& source, const QString& target, const QByteArray& key);
    // A record of the index whose file key unwraps, with that key; throws
    // when there is none.
    MBDBParser::_MBDBItem firstEncryptedItem(QByteArray& key) const;
    // A fresh random file key for a file stored under the record: wrapped by
    // the key of the record's protection class, it becomes the record's
    // encryption key, as the readers find it; the plain key is returned.
    // Throws when the keybag holds no key of that class.
    QByteArray newFileKey(MBDBParser::_MBDBItem& item) const;

    _InfoPlist info;
    QString displayName;
    // The decrypted copy of an encrypted Manifest.db, in a private folder of
    // the data folder; removed when this object is destroyed.
    QString decryptedManifestDbPath;
    QByteArray manifestKey;
    QDir dir;
    // Declared before the root, so that the nodes below it go after it.
    FileNodeBlocks nodes;
    _FileNode root;
    QString password;
    _KeybagInfo keybag;

    // Well-known files, found while the tree is built; views into the tree.
    QList<const _FileNode*> cameraRollPhotos;
    QList<const _FileNode*> cameraRollVideos;
    QMap<QString, const _FileNode*> cameraRollThumbnails;
    QMap<QString, const _FileNode*> smsParts;
    QMap<QString, const _FileNode*> smsAttachments;
    QMap<QString, const _FileNode*> smsFiles;
    const _FileNode* smsDbNode = nullptr;
    const _FileNode* addressBookDbNode = nullptr;
    const _FileNode* addressBookImagesDbNode = nullptr;
    const _FileNode* notesDbNode = nullptr;
    const _FileNode* calendarDbNode = nullptr;
    const _FileNode* calendarExtrasDbNode = nullptr;
    const _FileNode* recordingsDbNode = nullptr;
    const _FileNode* voicemailDbNode = nullptr;
    const _FileNode* safariBookmarksDbNode = nullptr;
    const _FileNode* callHistoryDbNode = nullptr;
    const _FileNode* callHistoryStoreNode = nullptr;
    QMap<QString, const _FileNode*> recordings;
    QMap<int, const _FileNode*> voicemails;

    // The index the tree was built from, by stored name.
    MBDBParser::Index items;

private:
    // A new private file in the data folder for the decrypted Manifest.db.
    static QString reserveDecryptedManifestPath();
    // The record's file key unwrapped by its class key; empty when it does not unwrap.
    QByteArray fileKey(const MBDBParser::_MBDBItem& item) const;
};
