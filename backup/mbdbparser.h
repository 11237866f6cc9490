// A backup's file index: its record types, the stored names and stored-file
// paths of both index generations (Manifest.mbdb and Manifest.db), the cipher
// of the Manifest.db `file` column, and reading the whole index of a backup.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <iterator>
#include <type_traits>
#include <vector>

class BackupManifest;
class BackupWriteTransaction;
class MbdbIndex;

class MBDBParser
{
public:
    // A length-prefixed byte string, the unit of every text or byte field.
    // A length of 0 or 0xFFFF means absent.
    struct _MBDBBinary
    {
        quint16 length = 0xFFFF;
        QByteArray data;

        bool isValid() const { return length != 0 && length != 0xFFFF; }
        // UTF-8 up to the first NUL byte; empty when absent.
        QString toString() const;
        void setVal(const QByteArray& bytes);
    };

    struct _MBDBProperty
    {
        _MBDBBinary name;
        _MBDBBinary value;
    };

    // One file, folder or symbolic link of the device.
    struct _MBDBItem
    {
        _MBDBBinary domain;
        _MBDBBinary path;
        _MBDBBinary linkTarget;
        _MBDBBinary digest;
        _MBDBBinary encryptionKey;
        quint16 mode = 0;
        quint32 inodeHigh = 0;
        quint64 inode = 0;
        quint32 userId = 0;
        quint32 groupId = 0;
        quint32 lastModified = 0;
        quint32 lastStatusChange = 0;
        quint32 birth = 0;
        qint64 size = 0;
        qint8 protectionClass = 0;
        bool isNew = false;
        bool isModified = false;
        bool isRemoved = false;
        QList<_MBDBProperty> properties;

        bool isFolder() const { return (mode & 0x4000) != 0; }
        QString backupFileName() const;
        // The same as the digest's 20 bytes.
        void backupFileDigest(quint8* digest) const;
    };

    // The index of a backup, by stored name (mbdbindex.h).
    using Index = MbdbIndex;

    // True for the Manifest.db generation: no Manifest.mbdb but a Manifest.db.
    // A folder with both files, or neither, is of the Manifest.mbdb generation.
    static bool isIos10Mbdb(const QDir& folder);
    // The lower-case hex SHA-1 of the UTF-8 of domain + "-" + path.
    static QString getFileHashName(const QString& domain, const QString& path);
    // Where the stored file of a name lies: folder/N, or folder/N[0..2)/N in
    // the Manifest.db generation, whose subfolder is made when `makeFolder`.
    static QString getBKFilePath(const QDir& folder, const QString& storedName, bool makeFolder);
    // The raw SHA-1 of a file's contents; empty when it cannot be read.
    static QByteArray readFileHash(const QString& filePath);

    // The cipher of the Manifest.db `file` column of a password-protected backup.
    static QByteArray fileDescKey(const QByteArray& password, const QByteArray& salt);
    static QByteArray decryptFileDescThrow(const QByteArray& ciphertext, const QByteArray& key);
    static QByteArray encryptFileDescThrow(const QByteArray& plaintext, const QByteArray& key);

    // The whole index of the backup, keyed by stored name. Throws
    // std::runtime_error; never returns a partial index.
    // A change interrupted by a crash is finished first (BackupWriteTransaction).
    static Index parse(const BackupManifest& backup);

    // Enters the stored file at `storedFilePath` (its digest and times are
    // read from it) under domain and relative path, with the missing parent
    // folders; an existing record is marked modified and takes the new size.
    // `size` <= 0 takes the stored file's size; `tmpl` gives the protection
    // class and wrapped key. `inodeCounter`, when given, carries the largest
    // inode from call to call (start it at -1), so a long list of files does
    // not scan the index each time. Nothing for an empty domain.
    static void appendFile(Index& index, const QString& storedFilePath, const QString& domain,
                           const QString& relativePath, qint64 size, const _MBDBItem* tmpl,
                           qint64* inodeCounter = nullptr);
    // Writes the whole index back in the backup's own generation through
    // `transaction`, which stages the new index files; the caller commits.
    static void save2File(QList<_MBDBItem> items, BackupManifest& backup, BackupWriteTransaction& transaction);
    // The same, committed at once: the index is replaced whole or not at all.
    static void save2File(QList<_MBDBItem> items, BackupManifest& backup);
    // The record's MBFile archive for the Manifest.db `file` column.
    static QByteArray mbFilePlist(const _MBDBItem& item);
};

// Records move by copying their bytes (every member is a Qt container or a
// number), so growing a hash or list of a million records does not run a move
// constructor for each.
Q_DECLARE_TYPEINFO(MBDBParser::_MBDBBinary, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(MBDBParser::_MBDBProperty, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(MBDBParser::_MBDBItem, Q_RELOCATABLE_TYPE);

// Ascending by domain, then by path, as text compared by UTF-16 code units.
bool g_domainPathLess(const QString& domainA, const QString& pathA, const QString& domainB, const QString& pathB);
bool compareMBDBItemLess(const MBDBParser::_MBDBItem& a, const MBDBParser::_MBDBItem& b);

// A record with its domain and path decoded once, for sorting many records.
struct MBDBSortedItem
{
    QString domain;
    QString path;
    const MBDBParser::_MBDBItem* item;
};

// The records of a container of _MBDBItem in the order of
// compareMBDBItemLess; each text is decoded once, not at every comparison.
// The result points at the container's records, so the container must hold
// them: one whose iterator makes each record on demand (MbdbIndex) would
// leave every pointer dangling, and is refused.
template <class Container>
std::vector<MBDBSortedItem> g_sortedByDomainPath(const Container& items)
{
    static_assert(std::is_lvalue_reference_v<decltype(*std::cbegin(items))>,
                  "g_sortedByDomainPath keeps pointers to the records: give it a container that holds them "
                  "(e.g. MbdbIndex::values())");
    std::vector<MBDBSortedItem> sorted;
    sorted.reserve(size_t(items.size()));
    // Domains repeat across thousands of records: one decoded copy of each.
    QByteArray domainBytes;
    QString domain;
    for (const MBDBParser::_MBDBItem& item : items) {
        if (sorted.empty() || item.domain.data != domainBytes || !item.domain.isValid()) {
            domainBytes = item.domain.data;
            domain = item.domain.toString();
        }
        sorted.push_back({domain, item.path.toString(), &item});
    }
    std::sort(sorted.begin(), sorted.end(), [](const MBDBSortedItem& a, const MBDBSortedItem& b) {
        return g_domainPathLess(a.domain, a.path, b.domain, b.path);
    });
    return sorted;
}

#include "mbdbindex.h"
