// Builds cpio archives (odc), optionally gzip-compressed, as the file_relay
// service sends them, with libarchive's writer.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace CpioFixture {

struct Entry
{
    QString name;
    unsigned type;   // AE_IFREG, AE_IFDIR, AE_IFLNK
    QByteArray data; // a link's target for AE_IFLNK
    qint64 mtime = 1400000000;
};

Entry file(const QString& name, const QByteArray& data);
Entry folder(const QString& name);
Entry link(const QString& name, const QByteArray& target);

// The archive of the entries, in order, without padding after the last
// block (so that a cut always cuts the archive).
QByteArray cpio(const QList<Entry>& entries, bool gzip = false);

} // namespace CpioFixture
