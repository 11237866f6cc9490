#include "mbdbfilewriter.h"

#include "privatemode.h"

#include <QCoreApplication>
#include <QFile>

#include <stdexcept>

namespace {

const int kMaxStringBytes = 65534;
const int kMaxProperties = 127;

[[noreturn]] void failWrite(const QFileDevice& file)
{
    throw std::runtime_error(file.errorString().toUtf8().constData());
}

void writeBytes(QFileDevice& file, const char* data, qint64 size)
{
    if (file.write(data, size) != size)
        failWrite(file);
}

template <int N>
void writeBigEndian(QFileDevice& file, quint64 value)
{
    char bytes[N];
    for (int i = N - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    writeBytes(file, bytes, N);
}

bool fitsFormat(const MBDBParser::_MBDBBinary& value)
{
    // setVal keeps only the low 16 bits of the size: 65536 bytes would read as absent.
    if (!value.isValid())
        return value.data.isEmpty();
    return value.data.size() <= kMaxStringBytes && value.data.size() == value.length;
}

void writeRecord(QFileDevice& file, const MBDBParser::_MBDBItem& item)
{
    g_writeBinary(file, item.domain);
    g_writeBinary(file, item.path);
    g_writeBinary(file, item.linkTarget);
    g_writeBinary(file, item.digest);
    g_writeBinary(file, item.encryptionKey);
    g_writeInt16(file, item.mode);
    g_writeInt32(file, item.inodeHigh);
    g_writeInt32(file, quint32(item.inode));
    g_writeInt32(file, item.userId);
    g_writeInt32(file, item.groupId);
    g_writeInt32(file, item.lastModified);
    g_writeInt32(file, item.lastStatusChange);
    g_writeInt32(file, item.birth);
    writeBigEndian<8>(file, quint64(item.size));
    g_writeByte(file, char(item.protectionClass));
    g_writeByte(file, char(item.properties.size()));
    for (const MBDBParser::_MBDBProperty& property : item.properties) {
        g_writeBinary(file, property.name);
        g_writeBinary(file, property.value);
    }
}

} // namespace

void g_writeBinary(QFileDevice& file, const MBDBParser::_MBDBBinary& value)
{
    g_writeInt16(file, value.length);
    if (value.isValid() && file.write(value.data.constData(), value.length) != value.length)
        failWrite(file);
}

void g_writeInt16(QFileDevice& file, const unsigned short& value)
{
    writeBigEndian<2>(file, value);
}

void g_writeInt32(QFileDevice& file, const unsigned int& value)
{
    writeBigEndian<4>(file, value);
}

void g_writeByte(QFileDevice& file, char value)
{
    if (file.write(&value, 1) <= 0)
        failWrite(file);
}

void g_checkMbdbLimits(const MBDBParser::_MBDBItem& item)
{
    bool fits = fitsFormat(item.domain) && fitsFormat(item.path) && fitsFormat(item.linkTarget)
        && fitsFormat(item.digest) && fitsFormat(item.encryptionKey) && item.properties.size() <= kMaxProperties;
    for (const MBDBParser::_MBDBProperty& property : item.properties)
        fits = fits && fitsFormat(property.name) && fitsFormat(property.value);
    if (!fits)
        throw std::runtime_error(QCoreApplication::translate("MBDBParser",
                                                             "The record %1-%2 does not fit in Manifest.mbdb: a text "
                                                             "is longer than 65534 bytes or it has more than 127 "
                                                             "properties.")
                                     .arg(item.domain.toString(), item.path.toString())
                                     .toUtf8()
                                     .constData());
}

void g_writeMbdbIndex(const QString& path, const QList<MBDBParser::_MBDBItem>& items)
{
    for (const MBDBParser::_MBDBItem& item : items)
        if (!item.isRemoved)
            g_checkMbdbLimits(item);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !g_makePrivate(file))
        failWrite(file);
    writeBytes(file, "mbdb\x05\x00", 6);
    for (const MBDBSortedItem& sorted : g_sortedByDomainPath(items))
        if (!sorted.item->isRemoved)
            writeRecord(file, *sorted.item);
    if (!file.flush())
        failWrite(file);
    file.close();
}
