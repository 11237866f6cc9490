// Manifest.mbdb, all numbers big-endian, no padding:
//
//   OFFSET  SIZE  MEANING
//   0       4     "mbdb"
//   4       2     0x05 0x00 (version; the header is skipped unchecked)
//   6       ...   records, one after another, up to the end of the file
//
// One record:
//
//   SIZE         MEANING
//   2 + n        domain         string: 16-bit length n, then n bytes;
//   2 + n        path                   0 or 0xFFFF = absent, no bytes follow
//   2 + n        link target
//   2 + n        digest         (raw bytes)
//   2 + n        encryption key (raw bytes)
//   2            mode
//   4            inode, upper word
//   4            inode, lower word
//   4            user id
//   4            group id
//   4            last modified       (seconds since 1970)
//   4            last status change  (seconds since 1970)
//   4            birth               (seconds since 1970)
//   8            size (signed)
//   1            protection class (signed)
//   1            property count c (signed; 0 or below: none)
//   c x (2+n+2+m) properties: name string, value string
//
// Every length is bounded by the bytes that remain, so a hostile file can
// neither make us read past its end nor allocate more than it holds. A string
// cut short by the end of the file keeps the bytes that were there.
#include "mbdbfile.h"

#include "byterange.h"

#include <QCoreApplication>
#include <QFile>

#include <stdexcept>

#include <sys/mman.h>
#include <unistd.h>

namespace {
[[noreturn]] void throwTruncated(const MbdbCursor& cursor)
{
    throw std::runtime_error(QCoreApplication::translate("MBDBParser", "Manifest.mbdb ends unexpectedly at offset %1.")
                                 .arg(cursor.pos)
                                 .toStdString());
}

const uchar* take(MbdbCursor& cursor, quint64 size)
{
    if (!g_fitsIn(cursor.pos, size, cursor.size))
        throwTruncated(cursor);
    const auto* p = reinterpret_cast<const uchar*>(cursor.data + cursor.pos);
    cursor.pos += size;
    return p;
}

quint64 readBigEndian(MbdbCursor& cursor, int width)
{
    const uchar* p = take(cursor, quint64(width));
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | p[i];
    return value;
}

// A string's bytes: its length, then as many of them as the file still holds.
QByteArrayView readBinaryBytes(MbdbCursor& cursor, quint16& length)
{
    length = g_readInt16(cursor);
    if (length == 0 || length == 0xFFFF)
        return QByteArrayView();
    if (cursor.atEnd())
        throwTruncated(cursor);
    const quint64 n = qMin<quint64>(length, cursor.size - cursor.pos);
    return QByteArrayView(reinterpret_cast<const char*>(take(cursor, n)), qsizetype(n));
}

// A string as a view of the index bytes, which outlive the record.
void readView(MbdbCursor& cursor, MBDBParser::_MBDBBinary& out)
{
    const QByteArrayView bytes = readBinaryBytes(cursor, out.length);
    out.data = out.isValid() ? QByteArray::fromRawData(bytes.data(), bytes.size()) : QByteArray();
}

// Reads one record into `item`, reused from record to record: its texts are
// views of the index bytes, which the index copies as it enters them.
void readRecord(MbdbCursor& cursor, MBDBParser::_MBDBItem& item)
{
    for (MBDBParser::_MBDBBinary* text : {&item.domain, &item.path, &item.linkTarget, &item.digest, &item.encryptionKey})
        readView(cursor, *text);
    item.mode = g_readInt16(cursor);
    item.inodeHigh = g_readInt32(cursor);
    item.inode = g_readInt32(cursor);
    item.userId = g_readInt32(cursor);
    item.groupId = g_readInt32(cursor);
    item.lastModified = g_readInt32(cursor);
    item.lastStatusChange = g_readInt32(cursor);
    item.birth = g_readInt32(cursor);
    item.size = qint64(readBigEndian(cursor, 8));
    item.protectionClass = g_readByte(cursor);
    const int count = g_readByte(cursor);
    item.properties.clear();
    for (int i = 0; i < count; ++i) {
        MBDBParser::_MBDBProperty property;
        readView(cursor, property.name);
        readView(cursor, property.value);
        item.properties.append(property);
    }
}

// Pages of a mapped index that were read are handed back every few
// megabytes, so that reading a large index does not keep all of it resident.
class MappedPages
{
public:
    explicit MappedPages(const char* data) : m_data(data) {}

    void consumed(quint64 pos)
    {
        static const quint64 page = quint64(sysconf(_SC_PAGESIZE));
        const quint64 end = pos / page * page;
        if (!m_data || end < m_released + kStep)
            return;
        madvise(const_cast<char*>(m_data) + m_released, size_t(end - m_released), MADV_DONTNEED);
        m_released = end;
    }

private:
    static constexpr quint64 kStep = 8 << 20;
    const char* m_data;
    quint64 m_released = 0;
};

MBDBParser::Index parseBytes(const char* data, quint64 size, MappedPages* mapped)
{
    const quint64 headerSize = 6;
    MbdbCursor cursor{data, size, qMin(size, headerSize)};
    MBDBParser::Index index;
    // Sized once for records of the usual length, rather than regrown as a
    // million of them come in.
    index.reserve(qsizetype(qMin<quint64>(size / 128, quint64(1) << 24)));
    MBDBParser::_MBDBItem item;
    while (!cursor.atEnd()) {
        readRecord(cursor, item);
        if (item.domain.isValid())
            index.add(item);
        if (mapped)
            mapped->consumed(cursor.pos);
    }
    return index;
}
} // namespace

MBDBParser::_MBDBBinary g_readBinary(MbdbCursor& cursor)
{
    MBDBParser::_MBDBBinary value;
    const QByteArrayView bytes = readBinaryBytes(cursor, value.length);
    if (value.isValid())
        value.data = bytes.toByteArray();
    return value;
}

quint16 g_readInt16(MbdbCursor& cursor)
{
    return quint16(readBigEndian(cursor, 2));
}

quint32 g_readInt32(MbdbCursor& cursor)
{
    return quint32(readBigEndian(cursor, 4));
}

qint8 g_readByte(MbdbCursor& cursor)
{
    return qint8(readBigEndian(cursor, 1));
}

MBDBParser::Index g_parseMbdbBytes(const char* data, quint64 size)
{
    return parseBytes(data, size, nullptr);
}

MBDBParser::Index g_readMbdbIndex(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    const qint64 size = file.size();
    if (size <= 0)
        return MBDBParser::Index();
    // Mapped rather than read: an index of a million records is large.
    if (const uchar* mapped = file.map(0, size)) {
        const char* bytes = reinterpret_cast<const char*>(mapped);
        MappedPages pages(bytes);
        return parseBytes(bytes, quint64(size), &pages);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error(file.errorString().toStdString());
    return parseBytes(bytes.constData(), quint64(bytes.size()), nullptr);
}
