// The MMS parts of an iOS 5 message database (table msg_pieces): text parts
// join their message's text; media parts become attachments whose files lie
// under file-relay/var/mobile/Library/SMS/Parts, written there from the
// database when it holds the bytes. The model carries one attachment per
// message, so every media part after the first gets a clone of its message.
#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>

#include "devicefilepath.h"
#include "ios5messagedb.h"
#include "msgidentifiers.h"
#include "uptonul.h"
#include "privatemode.h"

namespace {

// Row ids of clone messages: below every row id a message table can hold.
constexpr qint64 kCloneRowIdBase = -1647483648LL;
constexpr qint64 kUnixTo2001 = 978307200;
const QChar kObjectReplacement(0xFFFC);

// Non-negative remainder, so that odd ids still give a folder name.
int modulo(qint64 value, int divisor)
{
    return int(((value % divisor) + divisor) % divisor);
}

/* The file of a media part, relative to file-relay:
     var/mobile/Library/SMS/Parts/GG/MM/<message_id>-<part_id>.<suffix>
   GG   group_id modulo 256, two lower-case hexadecimal digits
   MM   message_id modulo 16, two decimal digits
   suffix: the text after the last '.' of content_loc's file name (may be empty) */
QString partPath(qint64 groupId, qint64 messageId, qint64 partId, const QString& contentLoc)
{
    return QStringLiteral("var/mobile/Library/SMS/Parts/%1/%2/%3-%4.%5")
        .arg(QStringLiteral("%1").arg(modulo(groupId, 256), 2, 16, QLatin1Char('0')),
             QStringLiteral("%1").arg(modulo(messageId, 16), 2, 10, QLatin1Char('0')), QString::number(messageId),
             QString::number(partId), QFileInfo(contentLoc).suffix());
}

} // namespace

// Parts come in the order the database returns them; that order decides the
// order of text pieces and which media part stays on the message itself.
void IOS5MessageDb::readParts(__MsgData& d, long long chatId, const QSet<qint64>& readNow)
{
    QString sql = QStringLiteral("select p.*,p.rowid as rowid,m.group_id,m.flags as msg_flags from msg_pieces as p "
                                 "inner join message as m on p.message_id=m.rowid");
    if (chatId > 0)
        sql += QStringLiteral(" and m.group_id=%1").arg(chatId);
    Sqlite3Cursor c = queryThrow(sql);
    while (c.moveNext()) {
        if (d.attachments.contains(c.getInt64(QStringLiteral("rowid"))))
            continue; // made an attachment by an earlier read
        _MsgMessage* msg = d.messages.value(c.getInt(QStringLiteral("message_id")));
        if (!msg)
            continue;
        const QString type = c.getText(QStringLiteral("content_type"));
        if (type.isEmpty() || type.startsWith(QLatin1String("application/"), Qt::CaseInsensitive))
            continue;
        if (type.compare(QLatin1String("text/plain"), Qt::CaseInsensitive) == 0) {
            if (readNow.contains(msg->ROWID)) {
                const QByteArray bytes = upToFirstNul(c.getBlob(QStringLiteral("data")));
                msg->text = (msg->text + QLatin1Char('\n') + QString::fromUtf8(bytes)).trimmed();
            }
            continue;
        }
        if (c.getText(QStringLiteral("content_loc")).isEmpty()) {
            qWarning("IOS5MessageDb::messages, part %lld of message %lld has no file name, passed over",
                     c.getInt64(QStringLiteral("rowid")), msg->ROWID);
            continue;
        }
        addMediaPart(c, d, *msg);
    }
}

void IOS5MessageDb::addMediaPart(const Sqlite3Cursor& c, __MsgData& d, _MsgMessage& msg)
{
    const qint64 rowId = c.getInt64(QStringLiteral("rowid"));
    const qint64 messageId = c.getInt(QStringLiteral("message_id"));
    const QString type = c.getText(QStringLiteral("content_type"));
    const QString loc = c.getText(QStringLiteral("content_loc"));
    const QString relative = partPath(c.getInt64(QStringLiteral("group_id")), messageId,
                                      c.getInt64(QStringLiteral("part_id")), loc);
    auto* a = new _MsgAttachment;
    d.attachments.insert(rowId, a);
    a->ROWID = rowId;
    a->localPath = localPathInside(fileRelayDir, relative, "IOS5MessageDb::messages");
    const QByteArray bytes = c.getBlob(QStringLiteral("data"));
    if (!bytes.isEmpty() && !a->localPath.isEmpty())
        writePartFile(a->localPath, bytes);
    a->guid = hashUUID(relative.toUtf8());
    a->created_date = int(QDateTime::currentSecsSinceEpoch() - kUnixTo2001);
    a->start_date = 0;
    a->filename = QStringLiteral("~/Library/SMS/Attachments/%1/%2/%3/%4")
                      .arg(a->guid.left(2).toLower(), a->guid.mid(2, 2).toLower(), a->guid, loc);
    a->mime_type = type;
    a->uti = QStringLiteral("public.") + type.split(QLatin1Char('/')).value(1);
    a->transfer_state = 5;
    a->is_outgoing = c.getInt(QStringLiteral("msg_flags")) == 3 ? 1 : 0;
    a->transfer_name = loc;

    if (msg.attas.isEmpty()) {
        msg.attas.insert(a->guid, a);
        msg.text += kObjectReplacement;
        msg.attributedBody = msgAttaAttributeBody(a->guid);
        return;
    }
    const qint64 cloneId = kCloneRowIdBase - rowId;
    if (d.messages.contains(cloneId))
        return; // the clone of this part is in the set already
    qDebug("IOS5MessageDb::messages, clone attachment message.");
    auto* clone = new _MsgMessage(msg);
    clone->ROWID = cloneId;
    clone->guid = hashUUID(QStringLiteral("%1(%2)").arg(a->guid, QString::number(msg.ROWID)).toUtf8());
    clone->text = QString(kObjectReplacement);
    clone->attas.clear();
    clone->attas.insert(a->guid, a);
    clone->attributedBody = msgAttaAttributeBody(a->guid);
    d.messages.insert(cloneId, clone);
    if (clone->chat)
        clone->chat->messages.insert(QString::number(cloneId), clone);
}

// Written through a temporary file and a rename, so a failed write leaves no
// partial file (an earlier copy stays whole). Failures are logged and reading
// goes on: the attachment keeps its path.
void IOS5MessageDb::writePartFile(const QString& path, const QByteArray& bytes)
{
    // Checked again just before the write: a folder linked out of the cache
    // folder is neither created through nor written to.
    if (localPathInside(fileRelayDir, fileRelayDir.relativeFilePath(path), "IOS5MessageDb::messages").isEmpty())
        return;
    const QString folder = QFileInfo(path).absolutePath();
    if (!g_mkPrivatePath(folder)) {
        qWarning("%s", qPrintable(QStringLiteral("IOS5MessageDb::messages, can not create %1").arg(folder)));
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !g_makePrivate(file) || file.write(bytes) != bytes.size() || !file.commit())
        qWarning("%s", qPrintable(QStringLiteral("IOS5MessageDb::messages, can not write %1. %2").arg(path, file.errorString())));
}
