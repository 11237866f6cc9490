#include "demomedia.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QtEndian>

#include <stdexcept>

namespace DemoMedia {

namespace {

QColor hue(int seed, int offset, int saturation, int value)
{
    return QColor::fromHsv((seed * 47 + offset) % 360, saturation, value);
}

// A ridge of mountains across the picture, from `top` down to the bottom.
QPolygonF ridge(int seed, int width, int height, int top, int peaks)
{
    QPolygonF shape;
    shape << QPointF(0, height);
    for (int i = 0; i <= peaks; ++i) {
        const int rise = (seed * 31 + i * 53) % 90;
        shape << QPointF(width * i / double(peaks), top + (i % 2 ? rise : 90 - rise));
    }
    shape << QPointF(width, height);
    return shape;
}

// An ISO base media box: a 32-bit big-endian size, the type, the body.
QByteArray box(const char* type, const QByteArray& body)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(8 + body.size()), out.data());
    return out + QByteArray(type, 4) + body;
}

QByteArray be32(quint32 value)
{
    QByteArray out(4, '\0');
    qToBigEndian(value, out.data());
    return out;
}

} // namespace

QByteArray picture(int seed)
{
    const int width = 640;
    const int height = 480;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, hue(seed, 200, 160, 230));
    sky.setColorAt(1, hue(seed, 20, 90, 250));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(hue(seed, 50, 120, 255));
    painter.drawEllipse(QPointF(120 + (seed * 97) % 400, 110), 48, 48);
    painter.setBrush(hue(seed, 240, 70, 150));
    painter.drawPolygon(ridge(seed, width, height, 170, 5));
    painter.setBrush(hue(seed, 120, 140, 110));
    painter.drawPolygon(ridge(seed + 3, width, height, 260, 7));
    painter.setBrush(hue(seed, 190, 120, 200));
    painter.drawRect(0, 400, width, 80);
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    if (!writer.write(image))
        throw std::runtime_error("cannot write a JPEG picture: " + writer.errorString().toStdString());
    return bytes;
}

QByteArray emptyMovie(int seconds)
{
    const quint32 timeScale = 600;
    const quint32 created = 3500000000u; // seconds since 1904, in 2014
    QByteArray header = be32(0) + be32(created) + be32(created) + be32(timeScale) + be32(timeScale * seconds);
    header += be32(0x00010000) + QByteArray::fromHex("0100") + QByteArray(10, '\0'); // rate 1.0, volume 1.0
    for (quint32 v : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) // identity matrix
        header += be32(v);
    header += QByteArray(24, '\0') + be32(1); // predefined, next track id
    return box("ftyp", QByteArray("qt  ") + be32(0x200) + QByteArray("qt  ")) + box("moov", box("mvhd", header))
        + box("mdat", QByteArray());
}

QByteArray forMimeType(const QString& mimeType, int seed)
{
    if (mimeType.startsWith(QLatin1String("image/")))
        return picture(seed);
    if (mimeType.startsWith(QLatin1String("video/")))
        return emptyMovie(3);
    throw std::runtime_error("no demo file for the type " + mimeType.toStdString());
}

} // namespace DemoMedia
