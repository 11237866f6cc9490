// The root object of the archive, as read (every value of another kind, or a
// number that does not fit the width it is read at, reads as 0 or absent):
//
//   KEY               READ AS
//   Target            string (through its UID); empty = no link target
//   Digest            data, or a dictionary whose "NS.data" is data
//   EncryptionKey     data, or a dictionary whose "NS.data" is data
//   Mode              integer, its low 16 bits
//   InodeNumber       64-bit integer
//   UserID, GroupID   32-bit integers
//   LastModified, LastStatusChange, Birth   32-bit integers
//   Size              64-bit integer
//   ProtectionClass   integer, its low 8 bits
//
// "RelativePath" is not read: the path comes from the row's own column.
#include "mbfile.h"

#include "cftype.h"

namespace {
// Data stored plainly or wrapped as an NSMutableData dictionary.
QByteArray dataValue(const CFType& value)
{
    if (value.isCFDictionary())
        return value.get(QStringLiteral("NS.data")).CFDataBytes();
    return value.CFDataBytes();
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

void readArchive(const QByteArray& bytes, MBDBParser::_MBDBItem& item)
{
    const QHash<QString, CFType> object = CFType::createCFPropertyList(bytes).NSKeyedArchiver();
    if (object.isEmpty())
        return;
    setIfNotEmpty(item.linkTarget, object.value(QStringLiteral("Target")).CFStringQString().toUtf8());
    setIfNotEmpty(item.digest, dataValue(object.value(QStringLiteral("Digest"))));
    setIfNotEmpty(item.encryptionKey, dataValue(object.value(QStringLiteral("EncryptionKey"))));
    item.mode = quint16(int64Value(object, "Mode"));
    item.inode = quint64(int64Value(object, "InodeNumber"));
    item.userId = uint32Value(object, "UserID");
    item.groupId = uint32Value(object, "GroupID");
    item.lastModified = uint32Value(object, "LastModified");
    item.lastStatusChange = uint32Value(object, "LastStatusChange");
    item.birth = uint32Value(object, "Birth");
    item.size = int64Value(object, "Size");
    item.protectionClass = qint8(int64Value(object, "ProtectionClass"));
}

} // namespace MBFile
