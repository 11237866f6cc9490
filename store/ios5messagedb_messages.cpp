// Reading the messages of an iOS 5 message database: SMS and iMessage rows of
// the one message table, linked to the conversations and correspondents that
// chats() loaded, with their iMessage attachments.
#include <QRegularExpression>
#include <memory>

#include "devicefilepath.h"
#include "ios5messagedb.h"
#include "msgidentifiers.h"

// What one call of messages() keeps between rows.
struct IOS5MessageDb::MessageRead
{
    QHash<QString, _MsgChat*> byIdent; // every conversation by chat identifier
    CountryCache countries;
    bool hasMadridAttachments = false;
    bool attachmentRowsLoaded = false;
    AttachmentRows attachmentRows;
    QSet<qint64> readNow; // message rows this call put into the set
};

namespace {

// Seconds between 1970-01-01 and 2001-01-01: SMS rows count from 1970.
constexpr quint32 kUnixTo2001 = 978307200u;

// The attachment GUIDs named in a madrid_attachmentInfo blob, in order,
// repeats included. The blob is an archive; every byte that is no ASCII
// letter, digit or '-' is read as a blank, and the text is searched for
// GUID-shaped words.
QStringList g_madridAttachmentGUIDS(const QByteArray& info)
{
    static const QRegularExpression kGuid(QStringLiteral(
        "[a-zA-Z0-9]{8}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{12}"));
    QString text(info.size(), QLatin1Char(' '));
    for (int i = 0; i < info.size(); ++i) {
        const char ch = info.at(i);
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-')
            text[i] = QLatin1Char(ch);
    }
    QStringList guids;
    for (auto it = kGuid.globalMatch(text); it.hasNext();)
        guids.append(it.next().captured());
    return guids;
}

} // namespace

void IOS5MessageDb::messages(MsgData& data, long long chatId)
{
    openCheck();
    chats(data);
    __MsgData& d = *data.p();
    MessageRead read;
    for (_MsgChat* chat : data.chats())
        read.byIdent.insert(chat->chat_identifier, chat);
    read.hasMadridAttachments = tables.contains(QStringLiteral("madrid_attachment"));
    readMessageRows(d, chatId, read);
    if (chatId >= 0)
        readParts(d, chatId, read.readNow);
}

// A message enters the set (and its conversation) only once its row was read
// whole: a row that fails half way leaves nothing behind, so a later call
// reads it again instead of skipping a broken record.
void IOS5MessageDb::readMessageRows(__MsgData& d, long long chatId, MessageRead& read)
{
    QString sql = QStringLiteral("select m.*,m.rowid as rowid from message as m");
    if (chatId > 0)
        sql += QStringLiteral(" where m.group_id=%1").arg(chatId);
    else if (chatId < 0)
        sql += QStringLiteral(" inner join madrid_chat as c on (m.madrid_roomname=c.chat_identifier or "
                              "m.madrid_handle=c.chat_identifier) and c.rowid=%1")
                   .arg(-chatId);
    Sqlite3Cursor c = queryThrow(sql);
    while (c.moveNext()) {
        const qint64 rowId = c.getInt64(QStringLiteral("rowid"));
        if (d.messages.contains(rowId))
            continue;
        auto msg = std::make_unique<_MsgMessage>();
        msg->ROWID = rowId;
        msg->srcRowId = rowId;
        fillMessage(c, *msg);
        if (c.getInt(QStringLiteral("is_madrid")) == 0) {
            linkSms(c, d, *msg, read);
        } else {
            linkMadrid(c, *msg, read);
            if (read.hasMadridAttachments)
                readMadridAttachments(c, d, *msg, read);
        }
        d.messages.insert(rowId, msg.get());
        if (msg->chat)
            msg->chat->messages.insert(QString::number(rowId), msg.get());
        read.readNow.insert(rowId);
        msg.release();
    }
}

void IOS5MessageDb::fillMessage(const Sqlite3Cursor& c, _MsgMessage& msg)
{
    msg.text = c.getText(QStringLiteral("text"));
    msg.service_center = c.getText(QStringLiteral("svc_center"));
    msg.subject = c.getText(QStringLiteral("subject"));
    msg.country = c.getText(QStringLiteral("country"));
    msg.version = 10;
    msg.is_finished = 1;
    msg.is_prepared = 1;
    msg.is_read = 1;
    msg.is_sent = 1;
    msg.was_data_detected = 1;
    if (c.getInt(QStringLiteral("is_madrid")) == 0) {
        msg.guid = genUUID();
        msg.service = QStringLiteral("SMS");
        msg.account = QStringLiteral("e:");
        // Modulo 2^32, as the phone's 32-bit dates wrap.
        msg.date = int(quint32(c.getInt64(QStringLiteral("date"))) - kUnixTo2001);
        msg.date_read = msg.date;
        msg.date_delivered = msg.date;
        msg.is_from_me = c.getInt(QStringLiteral("flags")) == 3 ? 1 : 0;
    } else {
        msg.guid = c.getText(QStringLiteral("madrid_guid"));
        msg.service = QStringLiteral("iMessage");
        msg.account = c.getText(QStringLiteral("madrid_account"));
        msg.account_guid = c.getText(QStringLiteral("madrid_account_guid"));
        msg.error = c.getInt(QStringLiteral("madrid_error"));
        msg.date = c.getInt(QStringLiteral("date"));
        msg.date_read = c.getInt(QStringLiteral("madrid_date_read"));
        msg.date_delivered = c.getInt(QStringLiteral("madrid_date_delivered"));
        msg.is_from_me = msg.date_delivered > 0 ? 1 : 0;
    }
}

// An SMS row belongs to the msg_group of its group_id; in a group, the sender
// is the member whose address, formatted for the row's own country, matches.
void IOS5MessageDb::linkSms(const Sqlite3Cursor& c, __MsgData& d, _MsgMessage& msg, MessageRead& read)
{
    _MsgChat* chat = d.chats.value(c.getInt(QStringLiteral("group_id")));
    if (!chat)
        return;
    msg.chat = chat;
    if (chat->handles.size() == 1) {
        msg.handle = chat->handles.cbegin().value();
    } else if (chat->handles.size() > 1 && msg.is_from_me != 1) {
        const _CountryInfo& info = countryOf(c.getText(QStringLiteral("country")), read.countries);
        msg.handle = chat->handles.value(info.formatNumber(c.getText(QStringLiteral("address"))));
    }
}

// An iMessage row belongs to the conversation of its room, or of its handle
// when it has no room; SMS and iMessage chats share one identifier index.
void IOS5MessageDb::linkMadrid(const Sqlite3Cursor& c, _MsgMessage& msg, MessageRead& read)
{
    const QString room = c.getText(QStringLiteral("madrid_roomname"));
    const QString handle = country.formatNumber(c.getText(QStringLiteral("madrid_handle")));
    _MsgChat* chat = read.byIdent.value(room.isEmpty() ? handle : room);
    if (!chat)
        return;
    msg.chat = chat;
    if (chat->handles.size() == 1)
        msg.handle = chat->handles.cbegin().value();
    else if (chat->handles.size() > 1 && msg.is_from_me == 0)
        msg.handle = chat->handles.value(handle);
}

// A message with one attachment carries a body built for it; with more it
// keeps the body the phone stored. Attachments named twice are entered once,
// and one attachment named by several messages is shared.
void IOS5MessageDb::readMadridAttachments(const Sqlite3Cursor& c, __MsgData& d, _MsgMessage& msg, MessageRead& read)
{
    const QStringList guids = g_madridAttachmentGUIDS(c.getBlob(QStringLiteral("madrid_attachmentInfo")));
    if (guids.isEmpty())
        return;
    const QByteArray storedBody = c.getBlob(QStringLiteral("madrid_attributedBody"));
    const AttachmentRows& rows = madridAttachmentRows(read);
    for (const QString& guid : guids) {
        if (msg.attas.contains(guid))
            continue;
        const auto row = rows.constFind(guid);
        if (row == rows.cend())
            continue;
        _MsgAttachment* a = d.attachments.value(row->ROWID);
        if (!a) {
            a = new _MsgAttachment(*row);
            if (!a->filename.isEmpty())
                a->localPath = deviceFileLocalPath(fileRelayDir, a->filename, "IOS5MessageDb::messages");
            d.attachments.insert(a->ROWID, a);
        }
        msg.attas.insert(a->guid, a);
        msg.attributedBody = msg.attas.size() == 1 ? msgAttaAttributeBody(a->guid) : storedBody;
    }
}

// The madrid_attachment rows, read in one query on first need and kept for
// the call; the first row of a guid counts.
const IOS5MessageDb::AttachmentRows& IOS5MessageDb::madridAttachmentRows(MessageRead& read)
{
    if (read.attachmentRowsLoaded)
        return read.attachmentRows;
    static const QRegularExpression kVarMobile(QStringLiteral("^/var/mobile/"));
    Sqlite3Cursor c = queryThrow("select *,rowid as rowid from madrid_attachment");
    while (c.moveNext()) {
        const QString guid = c.getText(QStringLiteral("attachment_guid"));
        if (read.attachmentRows.contains(guid))
            continue;
        _MsgAttachment a;
        a.ROWID = -c.getInt64(QStringLiteral("rowid"));
        a.guid = guid;
        a.created_date = c.getInt(QStringLiteral("created_date"));
        a.start_date = c.getInt(QStringLiteral("start_date"));
        a.filename = c.getText(QStringLiteral("filename")).replace(kVarMobile, QStringLiteral("~/"));
        a.uti = c.getText(QStringLiteral("uti_type"));
        a.mime_type = c.getText(QStringLiteral("mime_type"));
        a.transfer_state = c.getInt(QStringLiteral("transfer_state"));
        a.is_outgoing = c.getInt(QStringLiteral("is_incoming")) == 0 ? 1 : 0;
        read.attachmentRows.insert(guid, a);
    }
    read.attachmentRowsLoaded = true;
    return read.attachmentRows;
}
