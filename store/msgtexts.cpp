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

namespace {

// A right-to-left name beside a number or other names takes them into its
// own direction ("(+971501234567" shows as "(971501234567+"). Where a line
// holds one, each name and each number is set between a first-strong isolate
// and its pop, so every piece keeps its own direction; lines of left-to-right
// names stay as they are.
bool hasRightToLeft(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        if (c > 0xFFFF)
            ++i;
        const QChar::Direction d = QChar::direction(c);
        if (d == QChar::DirR || d == QChar::DirAL)
            return true;
    }
    return false;
}

QString piece(const QString& text, bool isolate)
{
    return isolate ? QChar(0x2068) + text + QChar(0x2069) : text;
}

bool handleRightToLeft(const _MsgHandle* h)
{
    return h && (hasRightToLeft(h->_ct_name) || hasRightToLeft(h->id));
}

bool chatRightToLeft(const _MsgChat& chat)
{
    if (!chat.display_name.isEmpty())
        return hasRightToLeft(chat.display_name);
    for (const _MsgHandle* h : chat.handles)
        if (handleRightToLeft(h))
            return true;
    return false;
}

QString handleText(const _MsgHandle& h, bool withId, bool isolate)
{
    if (h._ct_name.isEmpty())
        return piece(h.id, isolate);
    return withId ? QStringLiteral("%1 (%2)").arg(piece(h._ct_name, isolate), piece(h.id, isolate))
                  : piece(h._ct_name, isolate);
}

QString chatText(const _MsgChat& chat, bool withId, bool isolate)
{
    if (!chat.display_name.isEmpty())
        return piece(chat.display_name, isolate);
    if (chat.handles.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    for (const _MsgHandle* h : chat.handles)
        if (h)
            names.append(handleText(*h, withId, isolate));
    return names.join(QLatin1String(", "));
}

} // namespace

QString _MsgHandle::displayName(bool withId) const
{
    return handleText(*this, withId, false);
}

QString _MsgChat::displayName(bool withId) const
{
    return chatText(*this, withId, false);
}

QString _MsgChat::displayLine(bool withId) const
{
    return chatText(*this, withId, chatRightToLeft(*this));
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
    const bool withSender = chat->handles.size() >= 2 && handle;
    const bool isolate = chatRightToLeft(*chat) || (withSender && handleRightToLeft(handle));
    QString out = chatText(*chat, true, isolate);
    if (withSender)
        out.append(QStringLiteral(" (%1)").arg(piece(handle->_ct_name.isEmpty() ? handle->id : handle->_ct_name, isolate)));
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
