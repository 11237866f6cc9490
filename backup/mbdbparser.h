// A backup's file index: its record types, the stored names and stored-file
// paths of both index generations (Manifest.mbdb and Manifest.db), the cipher
// of the Manifest.db `file` column, and reading the whole index of a backup.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QList>
#include <QString>

class BackupManifest;

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
    };

    using Index = QHash<QString, _MBDBItem>;

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
    static Index parse(const BackupManifest& backup);
};

// Ascending by domain, then by path, as text compared by UTF-16 code units.
bool g_domainPathLess(const QString& domainA, const QString& pathA, const QString& domainB, const QString& pathB);
bool compareMBDBItemLess(const MBDBParser::_MBDBItem& a, const MBDBParser::_MBDBItem& b);
