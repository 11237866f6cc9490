// The root object of the archive, as read (every value of another kind, or a
// number that does not fit the width it is read at, reads as 0 or absent):
//
//   KEY               READ AS
//   Target            string (through its UID); empty = no link target
//   Digest            data, or a dictionary whose "NS.data" is data or the
//                     UID of data in "$objects"
//   EncryptionKey     the same: a 4-byte little-endian class, then the wrapped key
//   Mode              integer, its low 16 bits
//   InodeNumber       64-bit integer
//   UserID, GroupID   32-bit integers
//   LastModified, LastStatusChange, Birth   32-bit integers
//   Size              64-bit integer
//   ProtectionClass   integer, its low 8 bits; when absent, the class that
//                     prefixes EncryptionKey
//
// "RelativePath" is not read: the path comes from the row's own column.
//
// As written, with d = 1 when there is a digest and k = 1 when there is a key:
//
//   $objects INDEX   OBJECT
//   0                "$null"
//   1                the root dictionary
//   2                the path string
//   3                the digest data                        (when d)
//   3 + d            {"$class": UID 4 + d, "NS.data": key}  (when k)
//   4 + d            the NSMutableData class dictionary     (when k)
//   3 + d + 2k       the MBFile class dictionary
#include "mbfile.h"

#include "cftype.h"
#include "mbfiledecoder.h"

#include <QStringList>
#include <QtEndian>

namespace {
// Data stored plainly or wrapped as an NSMutableData dictionary, whose bytes
// may be one UID away in "$objects"; only that one reference is followed.
QByteArray dataValue(const CFType& objects, const CFType& value)
{
    if (!value.isCFDictionary())
        return value.CFDataBytes();
    const CFType data = value.get(QStringLiteral("NS.data"));
    if (!data.isCFKeyedArchiverUID())
        return data.CFDataBytes();
    const quint32 index = data.CFKeyedArchiverUIDGetValue();
    return index < quint32(objects.array_size()) ? objects.at(int(index)).CFDataBytes() : QByteArray();
}

void setIfNotEmpty(MBDBParser::_MBDBBinary& field, const QByteArray& bytes)
{
    if (!bytes.isEmpty())
        field.setVal(bytes);
}

quint32 uint32Value(const QHash<QString, CFType>& object, const char* key)
{
    return quint32(object.value(QLatin1String(key)).CFNumberInt(0));
}

qint64 int64Value(const QHash<QString, CFType>& object, const char* key)
{
    return object.value(QLatin1String(key)).CFNumberInt64(0);
}
} // namespace

namespace MBFile {

void readArchive(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes)
{
    if (!g_decodeMbFileDirect(bytes, item, viewBytes))
        readArchiveThroughObjects(bytes, item);
}

void readArchiveThroughObjects(const QByteArray& bytes, MBDBParser::_MBDBItem& item)
{
    const CFType archive = CFType::createCFPropertyList(bytes);
    const QHash<QString, CFType> object = archive.NSKeyedArchiver();
    if (object.isEmpty())
        return;
    const CFType objects = archive.get(QStringLiteral("$objects"));
    setIfNotEmpty(item.linkTarget, object.value(QStringLiteral("Target")).CFStringQString().toUtf8());
    setIfNotEmpty(item.digest, dataValue(objects, object.value(QStringLiteral("Digest"))));
    setIfNotEmpty(item.encryptionKey, dataValue(objects, object.value(QStringLiteral("EncryptionKey"))));
    item.mode = quint16(int64Value(object, "Mode"));
    item.inode = quint64(int64Value(object, "InodeNumber"));
    item.userId = uint32Value(object, "UserID");
    item.groupId = uint32Value(object, "GroupID");
    item.lastModified = uint32Value(object, "LastModified");
    item.lastStatusChange = uint32Value(object, "LastStatusChange");
    item.birth = uint32Value(object, "Birth");
    item.size = int64Value(object, "Size");
    const CFType protectionClass = object.value(QStringLiteral("ProtectionClass"));
    if (protectionClass.isCFNumber())
        item.protectionClass = qint8(protectionClass.CFNumberInt64(0));
    else if (item.encryptionKey.data.size() >= 4)
        item.protectionClass = qint8(qFromLittleEndian<quint32>(item.encryptionKey.data.constData()));
}

namespace {
CFType classDictionary(const QString& name, const QStringList& classes)
{
    CFType list = CFType::createCFArray();
    for (const QString& c : classes)
        list.append(CFType::createCFString(c));
    CFType dict = CFType::createCFDictionary();
    dict.put(QStringLiteral("$classes"), list);
    dict.put(QStringLiteral("$classname"), CFType::createCFString(name));
    return dict;
}

CFType uid(long index)
{
    return CFType::createCFKeyedArchiverUID(index);
}

CFType int32(quint32 value)
{
    return CFType::createCFNumberInt32(int(value));
}
} // namespace

QByteArray writeArchive(const MBDBParser::_MBDBItem& item)
{
    const int d = item.digest.isValid() ? 1 : 0;
    const int k = item.encryptionKey.isValid() ? 1 : 0;
    CFType root = CFType::createCFDictionary();
    root.put(QStringLiteral("$class"), uid(3 + d + 2 * k));
    root.put(QStringLiteral("Birth"), int32(item.birth));
    if (d)
        root.put(QStringLiteral("Digest"), uid(3));
    if (k)
        root.put(QStringLiteral("EncryptionKey"), uid(3 + d));
    root.put(QStringLiteral("GroupID"), int32(item.groupId));
    root.put(QStringLiteral("InodeNumber"), CFType::createCFNumberInt64(qint64(item.inode)));
    root.put(QStringLiteral("LastModified"), int32(item.lastModified));
    root.put(QStringLiteral("LastStatusChange"), int32(item.lastStatusChange));
    root.put(QStringLiteral("Mode"), int32(item.mode));
    root.put(QStringLiteral("ProtectionClass"), CFType::createCFNumberInt8(char(item.protectionClass)));
    root.put(QStringLiteral("RelativePath"), uid(2));
    root.put(QStringLiteral("Size"), CFType::createCFNumberInt64(item.size));
    root.put(QStringLiteral("UserID"), int32(item.userId));

    CFType objects = CFType::createCFArray();
    objects.append(CFType::createCFString(QStringLiteral("$null")));
    objects.append(root);
    objects.append(CFType::createCFString(item.path.toString()));
    if (d)
        objects.append(CFType::createCFData(item.digest.data));
    if (k) {
        CFType key = CFType::createCFDictionary();
        key.put(QStringLiteral("$class"), uid(4 + d));
        key.put(QStringLiteral("NS.data"), CFType::createCFData(item.encryptionKey.data));
        objects.append(key);
        objects.append(classDictionary(QStringLiteral("NSMutableData"),
                                       {QStringLiteral("NSMutableData"), QStringLiteral("NSData"),
                                        QStringLiteral("NSObject")}));
    }
    objects.append(classDictionary(QStringLiteral("MBFile"), {QStringLiteral("MBFile"), QStringLiteral("NSObject")}));

    CFType top = CFType::createCFDictionary();
    top.put(QStringLiteral("root"), uid(1));
    CFType archive = CFType::createCFDictionary();
    archive.put(QStringLiteral("$archiver"), CFType::createCFString(QStringLiteral("NSKeyedArchiver")));
    archive.put(QStringLiteral("$objects"), objects);
    archive.put(QStringLiteral("$top"), top);
    archive.put(QStringLiteral("$version"), CFType::createCFNumberInt32(100000));
    return archive.CFPropertyListToBytes(200);
}

} // namespace MBFile
