// Reading an iOS 6+ message database into the message set, and the finders.
#include <QtGlobal>
#include <limits>

#include "devicefilepath.h"
#include "ios6messagedb.h"

namespace {

// A date column in the model's unit, date21 seconds. Files of newer phones
// hold nanoseconds; a value that does not fit the model reads as 0.
int readDate(const Sqlite3Cursor& c, const QString& column, bool nanoseconds)
{
    qint64 value = c.getInt64(column);
    if (nanoseconds)
        value /= 1000000000;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return 0;
    return int(value);
}

QString key(qint64 rowId)
{
    return QString::number(rowId, 10);
}

} // namespace

void IOS6MessageDb::chats(MsgData& data)
{
    openCheck();
    try {
        contacts.openCheck();
    } catch (const std::exception&) {
        // Without the contacts cache the names stored in the file stand.
    }
    __MsgData& d = *data.p();
    try {
        readChats(d);
        if (!tableSqlHas(QStringLiteral("chat"), "_last INTEGER", Qt::CaseInsensitive))
            readLastDates(d);
        readChatHandles(d);
    } catch (const Sqlite3Error& e) {
        rethrowNamingFile(e);
    }
}

void IOS6MessageDb::readChats(__MsgData& d)
{
    Sqlite3Cursor c = queryThrow("select * from chat");
    while (c.moveNext()) {
        const qint64 rowId = c.getInt64(QStringLiteral("rowid"));
        if (d.chats.contains(rowId))
            continue;
        auto* chat = new _MsgChat;
        d.chats.insert(rowId, chat);
        chat->ROWID = rowId;
        chat->guid = c.getText(QStringLiteral("guid"));
        chat->style = c.getInt(QStringLiteral("style"));
        chat->state = c.getInt(QStringLiteral("state"));
        chat->account_id = c.getText(QStringLiteral("account_id"));
        chat->properties = c.getBlob(QStringLiteral("properties"));
        chat->chat_identifier = c.getText(QStringLiteral("chat_identifier"));
        chat->service_name = c.getText(QStringLiteral("service_name"));
        chat->room_name = c.getText(QStringLiteral("room_name"));
        chat->account_login = c.getText(QStringLiteral("account_login"));
        chat->is_archived = c.getInt(QStringLiteral("is_archived"));
        chat->last_addressed_handle = c.getText(QStringLiteral("last_addressed_handle"));
        chat->display_name = c.getText(QStringLiteral("display_name"));
        chat->_last = c.getInt(QStringLiteral("_last"));
        chat->group_id = c.getText(QStringLiteral("group_id"));
    }
}

void IOS6MessageDb::readLastDates(__MsgData& d)
{
    const bool nanoseconds = isNanosecondTable();
    Sqlite3Cursor c = queryThrow("select chat_id, max(date) as last from ( select cm.chat_id, m.date from "
                                 "chat_message_join as cm inner join message as m on cm.message_id=m.rowid ) as tmp "
                                 "group by chat_id");
    while (c.moveNext()) {
        if (_MsgChat* chat = d.chats.value(c.getInt64(QStringLiteral("chat_id"))))
            chat->_last = readDate(c, QStringLiteral("last"), nanoseconds);
    }
}

void IOS6MessageDb::readChatHandles(__MsgData& d)
{
    QHash<QString, _CountryInfo> countryCache;
    Sqlite3Cursor c =
        queryThrow("select j.chat_id, h.* from chat_handle_join as j inner join handle as h on j.handle_id = h.rowid");
    while (c.moveNext()) {
        const qint64 rowId = c.getInt64(QStringLiteral("rowid"));
        _MsgHandle* h = d.handles.value(rowId);
        if (!h) {
            h = new _MsgHandle;
            d.handles.insert(rowId, h);
            h->ROWID = rowId;
            h->id = c.getText(QStringLiteral("id"));
            h->country = c.getText(QStringLiteral("country"));
            h->service = c.getText(QStringLiteral("service"));
            h->uncanonicalized_id = c.getText(QStringLiteral("uncanonicalized_id"));
            h->_ct_name = c.getText(QStringLiteral("_ct_name"));
            h->_photo = c.getBlob(QStringLiteral("_photo"));
            normaliseHandle(*h, countryCache);
        }
        if (_MsgChat* chat = d.chats.value(c.getInt64(QStringLiteral("chat_id"))))
            chat->handles.insert(key(rowId), h);
    }
}

void IOS6MessageDb::normaliseHandle(_MsgHandle& h, QHash<QString, _CountryInfo>& countryCache)
{
    if (h.country.isEmpty()) {
        h.country = country.sn.toLower();
        h.id = country.formatNumber(h.id);
    } else {
        auto it = countryCache.find(h.country);
        if (it == countryCache.end())
            it = countryCache.insert(h.country, countries.infoByCode(h.country, nullptr));
        h.id = it->formatNumber(h.id);
    }
    contacts.fillContact(h, "IOS6MessageDb::chats");
}

void IOS6MessageDb::messages(MsgData& data, long long chatId)
{
    openCheck();
    chats(data);
    __MsgData& d = *data.p();
    try {
        readMessageRows(d, chatId);
        readAttachmentRows(d, chatId);
    } catch (const Sqlite3Error& e) {
        rethrowNamingFile(e);
    }
}

void IOS6MessageDb::readMessageRows(__MsgData& d, long long chatId)
{
    QString sql("select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid");
    if (isItemTypeEnabled())
        sql += " and m.item_type <> 4";
    if (chatId > 0)
        sql += QStringLiteral(" and j.chat_id=%1").arg(chatId);
    const bool nanoseconds = isNanosecondTable();
    Sqlite3Cursor c = queryThrow(sql);
    while (c.moveNext()) {
        if (c.getInt(QStringLiteral("item_type")) != 0)
            continue; // group events are not messages
        const qint64 rowId = c.getInt64(QStringLiteral("rowid"));
        _MsgMessage* msg = d.messages.value(rowId);
        if (!msg) {
            msg = new _MsgMessage;
            d.messages.insert(rowId, msg);
            msg->srcRowId = rowId;
            fillMessage(c, *msg, nanoseconds);
        }
        if (_MsgHandle* h = d.handles.value(c.getInt64(QStringLiteral("handle_id")))) {
            msg->handle = h;
            if (msg->country.isEmpty())
                msg->country = h->country;
        }
        const qint64 other = c.getInt64(QStringLiteral("other_handle"));
        if (other > 0)
            if (_MsgHandle* h = d.handles.value(other))
                msg->otherHandle = h;
        if (_MsgChat* chat = d.chats.value(c.getInt64(QStringLiteral("chat_id")))) {
            msg->chat = chat;
            chat->messages.insert(key(rowId), msg);
        }
    }
}

void IOS6MessageDb::readAttachmentRows(__MsgData& d, long long chatId)
{
    QString sql("select ma.message_id, ma.attachment_id, cm.chat_id, a.* from message_attachment_join as ma "
                "inner join attachment as a on ma.attachment_id=a.rowid "
                "inner join chat_message_join as cm on ma.message_id=cm.message_id");
    if (chatId > 0)
        sql += QStringLiteral(" and cm.chat_id=%1").arg(chatId);
    Sqlite3Cursor c = queryThrow(sql);
    while (c.moveNext()) {
        const qint64 rowId = c.getInt64(QStringLiteral("attachment_id"));
        _MsgAttachment* a = d.attachments.value(rowId);
        if (!a) {
            a = new _MsgAttachment;
            d.attachments.insert(rowId, a);
            a->ROWID = c.getInt64(QStringLiteral("rowid"));
            a->guid = c.getText(QStringLiteral("guid"));
            a->created_date = c.getInt(QStringLiteral("created_date"));
            a->start_date = c.getInt(QStringLiteral("start_date"));
            a->filename = c.getText(QStringLiteral("filename"));
            a->uti = c.getText(QStringLiteral("uti"));
            a->mime_type = c.getText(QStringLiteral("mime_type"));
            a->transfer_state = c.getInt(QStringLiteral("transfer_state"));
            a->is_outgoing = c.getInt(QStringLiteral("is_outgoing"));
            a->user_info = c.getBlob(QStringLiteral("user_info"));
            a->transfer_name = c.getText(QStringLiteral("transfer_name"));
            a->total_bytes = c.getInt64(QStringLiteral("total_bytes"));
        }
        if (!a->filename.isEmpty())
            a->localPath = localPathOf(a->filename);
        if (_MsgMessage* msg = d.messages.value(c.getInt64(QStringLiteral("message_id"))))
            msg->attas.insert(key(rowId), a);
    }
}

QString IOS6MessageDb::localPathOf(const QString& filename) const
{
    return deviceFileLocalPath(fileRelayDir, filename, "IOS6MessageDb::messages");
}

void IOS6MessageDb::fillMessage(Sqlite3Cursor& c, _MsgMessage& msg)
{
    fillMessage(c, msg, isNanosecondTable());
}

void IOS6MessageDb::fillMessage(Sqlite3Cursor& c, _MsgMessage& msg, bool nanoseconds)
{
    msg.ROWID = c.getInt64(QStringLiteral("rowid"));
    msg.guid = c.getText(QStringLiteral("guid"));
    msg.text = c.getText(QStringLiteral("text"));
    msg.replace = c.getInt(QStringLiteral("replace"));
    msg.service_center = c.getText(QStringLiteral("service_center"));
    msg.handle_id = c.getInt64(QStringLiteral("handle_id"));
    msg.subject = c.getText(QStringLiteral("subject"));
    msg.country = c.getText(QStringLiteral("country"));
    msg.attributedBody = c.getBlob(QStringLiteral("attributedBody"));
    msg.version = c.getInt(QStringLiteral("version"));
    msg.type = c.getInt(QStringLiteral("type"));
    msg.service = c.getText(QStringLiteral("service"));
    msg.account = c.getText(QStringLiteral("account"));
    msg.account_guid = c.getText(QStringLiteral("account_guid"));
    msg.error = c.getInt(QStringLiteral("error"));
    msg.date = readDate(c, QStringLiteral("date"), nanoseconds);
    msg.date_read = readDate(c, QStringLiteral("date_read"), nanoseconds);
    msg.date_delivered = readDate(c, QStringLiteral("date_delivered"), nanoseconds);
    msg.is_delivered = c.getInt(QStringLiteral("is_delivered"));
    msg.is_finished = c.getInt(QStringLiteral("is_finished"));
    msg.is_emote = c.getInt(QStringLiteral("is_emote"));
    msg.is_from_me = c.getInt(QStringLiteral("is_from_me"));
    msg.is_empty = c.getInt(QStringLiteral("is_empty"));
    msg.is_delayed = c.getInt(QStringLiteral("is_delayed"));
    msg.is_auto_reply = c.getInt(QStringLiteral("is_auto_reply"));
    msg.is_prepared = c.getInt(QStringLiteral("is_prepared"));
    msg.is_read = c.getInt(QStringLiteral("is_read"));
    msg.is_system_message = c.getInt(QStringLiteral("is_system_message"));
    msg.is_sent = c.getInt(QStringLiteral("is_sent"));
    msg.has_dd_results = c.getInt(QStringLiteral("has_dd_results"));
    msg.is_service_message = c.getInt(QStringLiteral("is_service_message"));
    msg.is_forward = c.getInt(QStringLiteral("is_forward"));
    msg.was_downgraded = c.getInt(QStringLiteral("was_downgraded"));
    msg.is_archive = c.getInt(QStringLiteral("is_archive"));
    msg.cache_has_attachments = c.getInt(QStringLiteral("cache_has_attachments"));
    msg.cache_roomnames = c.getText(QStringLiteral("cache_roomnames"));
    msg.was_data_detected = c.getInt(QStringLiteral("was_data_detected"));
    msg.was_deduplicated = c.getInt(QStringLiteral("was_deduplicated"));
    msg.is_audio_message = c.getInt(QStringLiteral("is_audio_message"));
    msg.is_played = c.getInt(QStringLiteral("is_played"));
    msg.date_played = c.getInt(QStringLiteral("date_played"));
    msg.item_type = c.getInt(QStringLiteral("item_type"));
    msg.other_handle = c.getInt(QStringLiteral("other_handle"));
    msg.group_title = c.getText(QStringLiteral("group_title"));
    msg.group_action_type = c.getInt(QStringLiteral("group_action_type"));
    msg.share_status = c.getInt(QStringLiteral("share_status"));
    msg.share_direction = c.getInt(QStringLiteral("share_direction"));
    msg.is_expirable = c.getInt(QStringLiteral("is_expirable"));
    msg.expire_state = c.getInt(QStringLiteral("expire_state"));
    msg.message_action_type = c.getInt(QStringLiteral("message_action_type"));
}

qint64 IOS6MessageDb::findRowId(const Sqlite3Sql& sql)
{
    openCheck();
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64(QStringLiteral("rowid")) : 0;
}

qint64 IOS6MessageDb::findChat(const QString& guid)
{
    return findRowId(Sqlite3Sql("select rowid from chat where guid=?").addTextParam(guid));
}

qint64 IOS6MessageDb::findHandle(const _MsgHandle& handle)
{
    return findRowId(
        Sqlite3Sql("select rowid from handle where id=? and service=?").addTextParam(handle.id).addTextParam(handle.service));
}

bool IOS6MessageDb::isHandleBelong2Chat(long long chatId, long long handleId)
{
    openCheck();
    Sqlite3Cursor c =
        queryThrow(QStringLiteral("select 1 from chat_handle_join where chat_id=%1 and handle_id=%2").arg(chatId).arg(handleId));
    return c.moveNext();
}

qint64 IOS6MessageDb::findMessage(const QString& guid)
{
    return findRowId(Sqlite3Sql("select rowid from message where guid=?").addTextParam(guid));
}

qint64 IOS6MessageDb::findMessageHash(const _MsgMessage& msg)
{
    openCheck();
    if (!tableSqlHas(QStringLiteral("message"), "logic_hash"))
        return 0;
    return findRowId(Sqlite3Sql("select rowid from message where logic_hash=?").addTextParam(msg.logicalHash()));
}

qint64 IOS6MessageDb::findAttachment(const _MsgAttachment& atta)
{
    return findRowId(Sqlite3Sql("select rowid from attachment where guid=?").addTextParam(atta.guid));
}

qint64 IOS6MessageDb::total()
{
    openCheck();
    QString sql("select count(*) from chat_message_join as j inner join message as m on j.message_id = m.rowid");
    if (isItemTypeEnabled())
        sql += " and m.item_type <> 4";
    Sqlite3Cursor c = queryThrow(sql);
    return c.moveNext() ? c.getInt64(0) : 0;
}
