#include "backupfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <openssl/sha.h>
#include <plist/plist.h>
#include <sqlite3.h>

#include <memory>

namespace {
using Plist = std::unique_ptr<void, decltype(&plist_free)>;

Plist own(plist_t node)
{
    return Plist(node, plist_free);
}

QByteArray serialise(plist_t root, bool binary)
{
    char* bytes = nullptr;
    uint32_t length = 0;
    if (binary)
        plist_to_bin(root, &bytes, &length);
    else
        plist_to_xml(root, &bytes, &length);
    const QByteArray out(bytes, qsizetype(length));
    binary ? plist_to_bin_free(bytes) : plist_to_xml_free(bytes);
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("backup fixture: cannot write %s", qPrintable(path));
}

void setText(plist_t dict, const char* key, const QString& text)
{
    if (!text.isEmpty())
        plist_dict_set_item(dict, key, plist_new_string(text.toUtf8().constData()));
}

void setData(plist_t dict, const char* key, const QByteArray& data)
{
    if (!data.isEmpty())
        plist_dict_set_item(dict, key, plist_new_data(data.constData(), uint64_t(data.size())));
}

// Big-endian numbers and length-prefixed strings of Manifest.mbdb.
void putNumber(QByteArray& out, quint64 value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

void putString(QByteArray& out, const QByteArray& bytes, bool absent)
{
    if (absent) {
        putNumber(out, 0xFFFF, 2);
        return;
    }
    putNumber(out, quint64(bytes.size()), 2);
    out.append(bytes);
}

void putText(QByteArray& out, const QString& text)
{
    putString(out, text.toUtf8(), text.isNull());
}

void putBytes(QByteArray& out, const QByteArray& bytes)
{
    putString(out, bytes, bytes.isEmpty());
}

// Builds the $objects array of a keyed archive; add() returns the UID index.
class ArchiveObjects
{
public:
    ArchiveObjects() : m_array(plist_new_array()) { add(plist_new_string("$null")); }
    uint64_t add(plist_t object)
    {
        plist_array_append_item(m_array, object);
        return m_count++;
    }
    plist_t array() const { return m_array; }

private:
    plist_t m_array;
    uint64_t m_count = 0;
};

plist_t classObject(const char* name, const char* super)
{
    plist_t cls = plist_new_dict();
    plist_dict_set_item(cls, "$classname", plist_new_string(name));
    plist_t classes = plist_new_array();
    plist_array_append_item(classes, plist_new_string(name));
    plist_array_append_item(classes, plist_new_string(super));
    plist_dict_set_item(cls, "$classes", classes);
    return cls;
}

void setUint(plist_t dict, const char* key, quint64 value)
{
    plist_dict_set_item(dict, key, plist_new_uint(value));
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        qFatal("backup fixture: %s: %s", what, sqlite3_errmsg(db));
}
} // namespace

BackupFixture::BackupFixture(const QString& folder, Generation generation)
    : m_folder(folder), m_generation(generation)
{
}

BackupFixtureRecord& BackupFixture::addFile(const QString& domain, const QString& path, const QByteArray& contents)
{
    BackupFixtureRecord record;
    record.domain = domain;
    record.path = path;
    record.contents = contents;
    return add(record);
}

BackupFixtureRecord& BackupFixture::addFolder(const QString& domain, const QString& path)
{
    BackupFixtureRecord record;
    record.domain = domain;
    record.path = path;
    record.mode = 040755;
    return add(record);
}

BackupFixtureRecord& BackupFixture::add(const BackupFixtureRecord& record)
{
    records.append(record);
    return records.last();
}

void BackupFixture::setManifestDbProperty(const QString& key, const QByteArray& value)
{
    m_dbProperties.append({key, value});
}

QString BackupFixture::storedName(const QString& domain, const QString& path)
{
    const QByteArray text = (domain + QLatin1Char('-') + path).toUtf8();
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.constData()), size_t(text.size()), digest);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), SHA_DIGEST_LENGTH).toHex());
}

QString BackupFixture::storedPath(const QString& domain, const QString& path) const
{
    const QString name = storedName(domain, path);
    if (m_generation == Generation::Mbdb)
        return m_folder + QLatin1Char('/') + name;
    return m_folder + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name;
}

void BackupFixture::write(bool storeFiles) const
{
    QDir().mkpath(m_folder);
    if (m_generation == Generation::Mbdb)
        writeMbdb();
    else
        writeManifestDb();
    if (!storeFiles)
        return;
    for (const BackupFixtureRecord& record : records) {
        if (!record.isFolder())
            writeFile(storedPath(record.domain, record.path), record.contents);
    }
}

void BackupFixture::writeManifest(const BackupFixtureManifest& manifest) const
{
    Plist root = own(plist_new_dict());
    plist_t lockdown = plist_new_dict();
    setText(lockdown, "UniqueDeviceID", manifest.uniqueDeviceId);
    setText(lockdown, "DeviceName", manifest.deviceName);
    setText(lockdown, "ProductType", manifest.productType);
    setText(lockdown, "ProductVersion", manifest.productVersion);
    setText(lockdown, "SerialNumber", manifest.serialNumber);
    plist_dict_set_item(root.get(), "Lockdown", lockdown);
    if (manifest.date.isValid()) {
        // Seconds since 2001-01-01 00:00:00 UTC.
        const qint64 since2001 = manifest.date.toSecsSinceEpoch() - 978307200;
        plist_dict_set_item(root.get(), "Date", plist_new_date(int32_t(since2001), 0));
    }
    if (manifest.isEncrypted)
        plist_dict_set_item(root.get(), "IsEncrypted", plist_new_bool(*manifest.isEncrypted ? 1 : 0));
    setData(root.get(), "BackupKeyBag", manifest.backupKeyBag);
    setData(root.get(), "ManifestKey", manifest.manifestKey);
    writeFile(m_folder + QStringLiteral("/Manifest.plist"), serialise(root.get(), manifest.binary));
}

void BackupFixture::writeStatus(const QDateTime& modified) const
{
    Plist root = own(plist_new_dict());
    plist_dict_set_item(root.get(), "SnapshotState", plist_new_string("finished"));
    plist_dict_set_item(root.get(), "IsFullBackup", plist_new_bool(0));
    const QString path = m_folder + QStringLiteral("/Status.plist");
    writeFile(path, serialise(root.get(), false));
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(modified, QFileDevice::FileModificationTime))
        qFatal("backup fixture: cannot date %s", qPrintable(path));
}

QByteArray BackupFixture::mbdbHeader()
{
    return QByteArray("mbdb\x05\x00", 6);
}

QByteArray BackupFixture::mbdbRecord(const BackupFixtureRecord& r)
{
    QByteArray out;
    putText(out, r.domain);
    putText(out, r.path);
    putBytes(out, r.linkTarget);
    putBytes(out, r.digest);
    putBytes(out, r.encryptionKey);
    putNumber(out, r.mode, 2);
    putNumber(out, r.inodeHigh, 4);
    putNumber(out, r.inode & 0xFFFFFFFFu, 4);
    putNumber(out, r.userId, 4);
    putNumber(out, r.groupId, 4);
    putNumber(out, r.lastModified, 4);
    putNumber(out, r.lastStatusChange, 4);
    putNumber(out, r.birth, 4);
    putNumber(out, quint64(r.storedSize()), 8);
    putNumber(out, quint8(r.protectionClass), 1);
    putNumber(out, quint64(r.properties.size()), 1);
    for (const auto& property : r.properties) {
        putBytes(out, property.first);
        putBytes(out, property.second);
    }
    return out;
}

QByteArray BackupFixture::mbfileArchive(const BackupFixtureRecord& r)
{
    ArchiveObjects objects;
    plist_t file = plist_new_dict();
    objects.add(file); // the root, UID 1
    plist_dict_set_item(file, "RelativePath", plist_new_uid(objects.add(plist_new_string(r.path.toUtf8().constData()))));
    if (!r.linkTarget.isEmpty())
        plist_dict_set_item(file, "Target", plist_new_uid(objects.add(plist_new_string(r.linkTarget.constData()))));
    uint64_t dataClass = 0;
    const auto putData = [&](const char* key, const QByteArray& bytes) {
        if (bytes.isEmpty())
            return;
        plist_t data = plist_new_data(bytes.constData(), uint64_t(bytes.size()));
        if (r.dataAsDictionary) {
            if (!dataClass)
                dataClass = objects.add(classObject("NSMutableData", "NSData"));
            plist_t wrapped = plist_new_dict();
            plist_dict_set_item(wrapped, "$class", plist_new_uid(dataClass));
            plist_dict_set_item(wrapped, "NS.data", r.dataByReference ? plist_new_uid(objects.add(data)) : data);
            data = wrapped;
        }
        plist_dict_set_item(file, key, plist_new_uid(objects.add(data)));
    };
    putData("Digest", r.digest);
    putData("EncryptionKey", r.encryptionKey);
    setUint(file, "Mode", r.mode);
    setUint(file, "InodeNumber", r.inode);
    setUint(file, "UserID", r.userId);
    setUint(file, "GroupID", r.groupId);
    setUint(file, "LastModified", r.lastModified);
    setUint(file, "LastStatusChange", r.lastStatusChange);
    setUint(file, "Birth", r.birth);
    setUint(file, "Size", quint64(r.storedSize()));
    if (!r.omitProtectionClass)
        setUint(file, "ProtectionClass", quint8(r.protectionClass));
    plist_dict_set_item(file, "$class", plist_new_uid(objects.add(classObject("MBFile", "NSObject"))));

    Plist root = own(plist_new_dict());
    plist_dict_set_item(root.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_dict_set_item(root.get(), "$version", plist_new_uint(100000));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(1));
    plist_dict_set_item(root.get(), "$top", top);
    plist_dict_set_item(root.get(), "$objects", objects.array());
    return serialise(root.get(), true);
}

void BackupFixture::writeMbdb() const
{
    QByteArray out = mbdbHeader();
    for (const BackupFixtureRecord& record : records)
        out.append(mbdbRecord(record));
    writeFile(m_folder + QStringLiteral("/Manifest.mbdb"), out);
}

void BackupFixture::writeManifestDb() const
{
    const QString path = m_folder + QStringLiteral("/Manifest.db");
    QFile::remove(path);
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db, "open");
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closer(db, sqlite3_close);
    // No primary key on fileID, so that tests can store duplicate rows.
    check(sqlite3_exec(db,
                       "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
                       "CREATE TABLE Files (fileID TEXT, domain TEXT, relativePath TEXT, flags INTEGER, file BLOB);"
                       "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);",
                       nullptr, nullptr, nullptr),
          db, "schema");
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO Files VALUES (?,?,?,?,?)", -1, &insert, nullptr), db, "prepare");
    for (const BackupFixtureRecord& r : records) {
        const QByteArray id = storedName(r.domain, r.path).toUtf8();
        const QByteArray domain = r.domain.toUtf8();
        const QByteArray relative = r.path.toUtf8();
        const QByteArray file = r.fileColumn ? *r.fileColumn : mbfileArchive(r);
        const int flags = r.isFolder() ? 2 : (r.linkTarget.isEmpty() ? 1 : 4);
        sqlite3_bind_text(insert, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, domain.constData(), int(domain.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, relative.constData(), int(relative.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 4, flags);
        sqlite3_bind_blob(insert, 5, file.constData(), int(file.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_prepare_v2(db, "INSERT INTO Properties VALUES (?,?)", -1, &insert, nullptr), db, "prepare");
    for (const auto& property : m_dbProperties) {
        const QByteArray key = property.first.toUtf8();
        sqlite3_bind_text(insert, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 2, property.second.constData(), int(property.second.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert property");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
}
