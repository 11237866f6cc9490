#include "bplistfixture.h"

namespace {

QByteArray bigEndian(quint64 value, int width)
{
    QByteArray out(width, '\0');
    for (int i = width - 1; i >= 0; --i, value >>= 8)
        out[i] = char(value & 0xff);
    return out;
}

} // namespace

int BplistFixture::add(const QByteArray& object)
{
    m_objects.append(object);
    return int(m_objects.size() - 1);
}

void BplistFixture::set(int ref, const QByteArray& object)
{
    m_objects[ref] = object;
}

QByteArray BplistFixture::bytes(const std::function<void(Trailer&)>& change,
                                const std::function<void(QList<quint64>&)>& offsets) const
{
    QByteArray out("bplist00");
    QList<quint64> at;
    for (const QByteArray& object : m_objects) {
        at.append(quint64(out.size()));
        out.append(object);
    }
    if (offsets)
        offsets(at);
    Trailer trailer;
    trailer.count = quint64(m_objects.size());
    trailer.tableOffset = quint64(out.size());
    if (change)
        change(trailer);
    for (quint64 offset : at)
        out.append(bigEndian(offset, 2));
    out.append(QByteArray(6, '\0'));
    out.append(char(trailer.offsetSize)).append(char(trailer.refSize));
    out.append(bigEndian(trailer.count, 8)).append(bigEndian(trailer.top, 8)).append(bigEndian(trailer.tableOffset, 8));
    return out;
}

QByteArray BplistFixture::marker(int kind, quint64 count)
{
    if (count < 15)
        return QByteArray(1, char(kind << 4 | int(count)));
    return QByteArray(1, char(kind << 4 | 0x0f)) + char(0x13) + bigEndian(count, 8);
}

QByteArray BplistFixture::ascii(const QByteArray& text)
{
    return marker(0x5, quint64(text.size())) + text;
}

QByteArray BplistFixture::utf16(const QString& text)
{
    QByteArray out = marker(0x6, quint64(text.size()));
    for (QChar c : text)
        out.append(bigEndian(c.unicode(), 2));
    return out;
}

QByteArray BplistFixture::integer(quint8 value)
{
    return QByteArray(1, char(0x10)) + char(value);
}

QByteArray BplistFixture::data(const QByteArray& bytes)
{
    return marker(0x4, quint64(bytes.size())) + bytes;
}

QByteArray BplistFixture::uid(quint8 value)
{
    return QByteArray(1, char(0x80)) + char(value);
}

QByteArray BplistFixture::array(const QList<int>& refs)
{
    QByteArray out = marker(0xA, quint64(refs.size()));
    for (int ref : refs)
        out.append(char(ref));
    return out;
}

QByteArray BplistFixture::dict(const QList<int>& keys, const QList<int>& values)
{
    QByteArray out = marker(0xD, quint64(keys.size()));
    for (int ref : keys)
        out.append(char(ref));
    for (int ref : values)
        out.append(char(ref));
    return out;
}
