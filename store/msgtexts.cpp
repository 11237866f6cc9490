// What the message records show: visible text, summaries, names, the contact
// column, dates, the logical hash and attachment thumbnails.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include "data_path_util.h"
#include "emojireplace.h"
#include "msgrecords.h"
#include "privatemode.h"

namespace {

const QChar kObjectReplacement(0xFFFC);

// Name of one party of a group event: the contact name, else the id; the
// device owner (no handle) is "You".
QString partyName(const _MsgHandle* h)
{
    if (!h)
        return QStringLiteral("You");
    return h->_ct_name.isEmpty() ? h->id : h->_ct_name;
}

QString attachmentMarker(const QString& mimeType)
{
    if (mimeType.startsWith(QLatin1String("image/"), Qt::CaseInsensitive))
        return QStringLiteral(" [IMAGE]");
    if (mimeType.startsWith(QLatin1String("video/"), Qt::CaseInsensitive))
        return QStringLiteral(" [VIDEO]");
    if (mimeType.startsWith(QLatin1String("audio/"), Qt::CaseInsensitive))
        return QStringLiteral(" [AUDIO]");
    if (mimeType.compare(QLatin1String("text/x-vCard"), Qt::CaseInsensitive) == 0
        || mimeType.compare(QLatin1String("text/vcard"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(" [VCARD]");
    return QStringLiteral(" [ATTA]");
}

// Group events are substituted in one multi-argument call, so a name that
// holds "%2" never receives a later argument.
QString groupEventText(const _MsgMessage& m)
{
    const QString when = dtFromDate21(m.date).toString(QStringLiteral("dd MMM yyyy h:m AP"));
    const QString sender = partyName(m.handle);
    switch (m.item_type) {
    case 1:
        return QStringLiteral("%1 Added %2 to the conversation.\n%3").arg(sender, partyName(m.otherHandle), when);
    case 2:
        return QStringLiteral("%1 named the conversation \"%2\".\n%3").arg(sender, m.group_title.value(), when);
    case 3:
        return QStringLiteral("%1 left the conversation.\n%2").arg(sender, when);
    case 4:
        return QStringLiteral("%1 %2 sharing location with %3.\n%4")
            .arg(sender, m.share_status != 0 ? QStringLiteral("stopped") : QStringLiteral("started"),
                 partyName(m.otherHandle), when);
    default:
        return QStringLiteral("System Information.\n%1").arg(when);
    }
}

void addLittleEndian32(QCryptographicHash& hash, qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    hash.addData(QByteArrayView(bytes, 4));
}

} // namespace

QDateTime dtFromDate21(int date)
{
    const quint32 seconds = quint32(qint64(date) + 978307200);
    return QDateTime::fromSecsSinceEpoch(qint64(seconds));
}

QString emoji_replace_handler(void*, QString)
{
    return QStringLiteral("[EMOJI]");
}

QString _MsgHandle::displayName(bool withId) const
{
    if (_ct_name.isEmpty())
        return id;
    return withId ? QStringLiteral("%1 (%2)").arg(_ct_name, id) : _ct_name;
}

QString _MsgChat::displayName(bool withId) const
{
    if (!display_name.isEmpty())
        return display_name;
    if (handles.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    for (const _MsgHandle* h : handles)
        if (h)
            names.append(h->displayName(withId));
    return names.join(QLatin1String(", "));
}

QString _MsgMessage::visibleText() const
{
    QString out = text;
    out.remove(kObjectReplacement);
    return out;
}

QString _MsgMessage::summaryRawEmoji() const
{
    if (item_type != 0)
        return groupEventText(*this);
    QString out = visibleText();
    for (const _MsgAttachment* a : attas)
        if (a)
            out.append(attachmentMarker(a->mime_type));
    return out.trimmed();
}

QString _MsgMessage::summary() const
{
    return emoji_replace(summaryRawEmoji(), emoji_replace_handler, nullptr);
}

QString _MsgMessage::contactInfo() const
{
    if (!chat)
        return QStringLiteral("unknown");
    QString out = chat->displayName(true);
    if (chat->handles.size() >= 2 && handle)
        out.append(QStringLiteral(" (%1)").arg(handle->_ct_name.isEmpty() ? handle->id : handle->_ct_name));
    return out;
}

// Fed in this order, as one plain concatenation:
//   group event (item_type != 0): guid (UTF-8), nothing else
//   sender id, lower case (UTF-8)           only when there is a handle
//   date                                    4 bytes, signed, little-endian
//   is_from_me                              1 byte, its low byte
//   visibleText() (UTF-8)
//   attachment file names, lower case       last path component of each
//                                           non-empty filename, sorted by
//                                           UTF-16 units, no separator
QString _MsgMessage::logicalHash() const
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (item_type != 0) {
        hash.addData(guid.toUtf8());
        return QString::fromLatin1(hash.result().toHex());
    }
    if (handle)
        hash.addData(handle->id.toLower().toUtf8());
    addLittleEndian32(hash, date);
    const char fromMe = char(is_from_me & 0xFF);
    hash.addData(QByteArrayView(&fromMe, 1));
    hash.addData(visibleText().toUtf8());
    QStringList names;
    for (const _MsgAttachment* a : attas)
        if (a && !a->filename.isEmpty())
            names.append(a->filename.mid(a->filename.lastIndexOf(QLatin1Char('/')) + 1).toLower());
    std::sort(names.begin(), names.end());
    for (const QString& name : std::as_const(names))
        hash.addData(name.toLower().toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

namespace {

// A thumbnail is taken as made only when this program wrote it: a regular
// file (no link) of this user that nobody else may read, as written below.
bool isOwnThumbnail(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & 077) == 0;
}

} // namespace

QString _MsgAttachment::thumbnail() const
{
    const QString path =
        g_dataSubDir(QStringLiteral("thumbnails")).filePath(g_pathHash(localPath) + QStringLiteral(".thumb"));
    if (isOwnThumbnail(path))
        return path;
    // Anything else there is not ours to show, nor a link to write through.
    QFile::remove(path);
    for (const char* format : {"JPEG", "PNG"}) {
        QImage image;
        if (!image.load(localPath, format))
            continue;
        const QImage scaled = image.height() <= image.width()
            ? image.scaledToWidth(120, Qt::FastTransformation)
            : image.scaledToHeight(120, Qt::FastTransformation);
        // Through a temporary file, so a broken write never leaves a
        // thumbnail that later calls would take as made.
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && g_makePrivate(file) && scaled.save(&file, format))
            file.commit();
        break;
    }
    return path;
}
