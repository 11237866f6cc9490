#include "sqliterecordvalue.h"

#include <QByteArray>
#include <QString>
#include <cstring>

#include "sqlitefilebytes.h"

namespace {

// The n-byte big-endian number at p, missing trailing bytes counting as zero.
quint64 paddedBigEndian(const char* p, qint64 available, int n)
{
    uchar buf[8] = {};
    if (available > 0)
        std::memcpy(buf, p, size_t(qMin<qint64>(available, n)));
    quint64 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | buf[i];
    return v;
}

qint64 signExtend(quint64 v, int bytes)
{
    const int shift = 64 - 8 * bytes;
    return static_cast<qint64>(v << shift) >> shift;
}

} // namespace

QVariant sqliteDecodeValue(long long t, const char* body, qint64 length, qint64& offset)
{
    const qint64 available = offset < length ? length - offset : 0;
    const char* p = available > 0 ? body + offset : nullptr;
    const char* e = body + length;
    const qint64 size = sqliteSerialTypeSize(t);
    if (t >= 12) {
        const qint64 taken = qMin(size, available);
        offset += taken;
        if (t & 1) {
            // A text of no bytes is empty, not NULL.
            QString text = taken ? QString::fromUtf8(p, qsizetype(qstrnlen(p, size_t(taken)))) : QString();
            return QVariant(text.isNull() ? QStringLiteral("") : text);
        }
        return QVariant(taken ? QByteArray(p, qsizetype(taken)) : QByteArray());
    }
    offset += size;
    switch (t) {
    case 1: return QVariant(int(qint8(sqlitefile_byte(p, e))));
    case 2: return QVariant(int(sqlitefile_int16(p, e)));
    case 3: return QVariant(int(signExtend(paddedBigEndian(p, available, 3), 3)));
    case 4: return QVariant(sqlitefile_int32(p, e));
    case 5: return QVariant(static_cast<long long>(signExtend(paddedBigEndian(p, available, 6), 6)));
    case 6: return QVariant(sqlitefile_int64(p, e));
    case 7: {
        const quint64 bits = paddedBigEndian(p, available, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return QVariant(d);
    }
    case 8: return QVariant(0);
    case 9: return QVariant(1);
    default: return QVariant();
    }
}
