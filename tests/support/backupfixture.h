// Writes synthetic iTunes backup folders of both index generations for tests:
// Manifest.plist and Status.plist through libplist, Manifest.mbdb packed byte
// by byte, Manifest.db through SQLite with MBFile keyed archives, and the
// stored files under their SHA-1 names. It shares no code with the backup
// library, so that a fault of the reader and one of a writer cannot hide
// each other.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// One index record and the contents of its stored file.
struct BackupFixtureRecord
{
    QString domain;       // a null text is written as an absent string
    QString path;         // likewise
    QByteArray contents;  // the stored file; none is stored for folders
    quint16 mode = 0100644;
    QByteArray linkTarget;
    QByteArray digest;
    QByteArray encryptionKey;
    quint32 inodeHigh = 0;
    quint64 inode = 0;
    quint32 userId = 501;
    quint32 groupId = 501;
    quint32 lastModified = 1500000000;
    quint32 lastStatusChange = 1500000001;
    quint32 birth = 1500000002;
    qint64 size = -1; // -1: the size of `contents`
    qint8 protectionClass = 0;
    QList<QPair<QByteArray, QByteArray>> properties; // Manifest.mbdb only
    // Manifest.db: Digest and EncryptionKey as {"NS.data": bytes} dictionaries.
    bool dataAsDictionary = false;
    // Manifest.db: "NS.data" a UID of the bytes in "$objects" (with dataAsDictionary).
    bool dataByReference = false;
    // Manifest.db: no ProtectionClass key in the archive.
    bool omitProtectionClass = false;
    // Manifest.db: this value in the `file` column in place of the archive.
    std::optional<QByteArray> fileColumn;

    bool isFolder() const { return (mode & 0x4000) != 0; }
    qint64 storedSize() const { return size < 0 ? contents.size() : size; }
};

// What Manifest.plist says; empty texts and data are left out of the file.
struct BackupFixtureManifest
{
    QString uniqueDeviceId;
    QString deviceName;
    QString productType = QStringLiteral("iPhone10,3");
    QString productVersion = QStringLiteral("16.1");
    QString serialNumber;
    QDateTime date; // written when valid
    std::optional<bool> isEncrypted;
    QByteArray backupKeyBag;
    QByteArray manifestKey;
    bool binary = false; // binary rather than XML property list
};

class BackupFixture
{
public:
    enum class Generation { Mbdb, ManifestDb };

    BackupFixture(const QString& folder, Generation generation);

    const QString& folder() const { return m_folder; }
    Generation generation() const { return m_generation; }

    BackupFixtureRecord& addFile(const QString& domain, const QString& path, const QByteArray& contents);
    BackupFixtureRecord& addFolder(const QString& domain, const QString& path);
    BackupFixtureRecord& add(const BackupFixtureRecord& record);
    // A row of the Manifest.db table Properties (the cipher's 'salt', say).
    void setManifestDbProperty(const QString& key, const QByteArray& value);

    // Writes the index and, unless told not to, the stored files of every
    // record that is not a folder. The folder is created when missing.
    void write(bool storeFiles = true) const;
    void writeManifest(const BackupFixtureManifest& manifest) const;
    // Writes Status.plist and sets its modification time.
    void writeStatus(const QDateTime& modified) const;

    // The lower-case hex SHA-1 of domain + "-" + path.
    static QString storedName(const QString& domain, const QString& path);
    QString storedPath(const QString& domain, const QString& path) const;

    static QByteArray mbdbHeader();
    static QByteArray mbdbRecord(const BackupFixtureRecord& record);
    // The MBFile keyed archive of a record, as a binary property list.
    static QByteArray mbfileArchive(const BackupFixtureRecord& record);

    QList<BackupFixtureRecord> records;

private:
    void writeMbdb() const;
    void writeManifestDb() const;

    QString m_folder;
    Generation m_generation;
    QList<QPair<QString, QByteArray>> m_dbProperties;
};
