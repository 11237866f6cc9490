// Reading an iOS 6+ message database into the message set, and the finders.
#include <QtGlobal>
#include <limits>

#include "devicefilepath.h"
#include "ios6messagedb.h"
#include "textpool.h"

namespace {

// A date column in the model's unit, date21 seconds. Files of newer phones
// hold nanoseconds; a value that does not fit the model reads as 0.
int readDate(const Sqlite3Cursor& c, int column, bool nanoseconds)
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

// The positions of the message columns in a result row, looked up once per
// statement rather than by name for every field of every row.
struct MessageColumns
{
    explicit MessageColumns(const Sqlite3Cursor& c) : c(c) {}
    int at(const char* name) const { return c.column(QLatin1String(name)); }

    const Sqlite3Cursor& c;
    const int chat_id = at("chat_id"), rowid = at("rowid"), guid = at("guid"), text = at("text"),
              replace = at("replace"), service_center = at("service_center"), handle_id = at("handle_id"),
              subject = at("subject"), country = at("country"), attributedBody = at("attributedBody"),
              version = at("version"), type = at("type"), service = at("service"), account = at("account"),
              account_guid = at("account_guid"), error = at("error"), date = at("date"), date_read = at("date_read"),
              date_delivered = at("date_delivered"), is_delivered = at("is_delivered"), is_finished = at("is_finished"),
              is_emote = at("is_emote"), is_from_me = at("is_from_me"), is_empty = at("is_empty"),
              is_delayed = at("is_delayed"), is_auto_reply = at("is_auto_reply"), is_prepared = at("is_prepared"),
              is_read = at("is_read"), is_system_message = at("is_system_message"), is_sent = at("is_sent"),
              has_dd_results = at("has_dd_results"), is_service_message = at("is_service_message"),
              is_forward = at("is_forward"), was_downgraded = at("was_downgraded"), is_archive = at("is_archive"),
              cache_has_attachments = at("cache_has_attachments"), cache_roomnames = at("cache_roomnames"),
              was_data_detected = at("was_data_detected"), was_deduplicated = at("was_deduplicated"),
              is_audio_message = at("is_audio_message"), is_played = at("is_played"), date_played = at("date_played"),
              item_type = at("item_type"), other_handle = at("other_handle"), group_title = at("group_title"),
              group_action_type = at("group_action_type"), share_status = at("share_status"),
              share_direction = at("share_direction"), is_expirable = at("is_expirable"),
              expire_state = at("expire_state"), message_action_type = at("message_action_type");
};

// One message row into `msg`. Texts that repeat across messages come from
// `pool`, so that equal ones share their buffer.
void readMessage(const Sqlite3Cursor& c, const MessageColumns& col, TextPool& pool, _MsgMessage& msg, bool nanoseconds)
{
    msg.ROWID = c.getInt64(col.rowid);
    msg.guid = c.getText(col.guid);
    msg.text = c.getText(col.text);
    msg.replace = c.getInt(col.replace);
    msg.service_center = pool.text(c, col.service_center);
    msg.handle_id = c.getInt64(col.handle_id);
    msg.subject = c.getText(col.subject);
    msg.country = pool.text(c, col.country);
    msg.attributedBody = c.getBlob(col.attributedBody);
    msg.version = c.getInt(col.version);
    msg.type = c.getInt(col.type);
    msg.service = pool.text(c, col.service);
    msg.account = pool.text(c, col.account);
    msg.account_guid = pool.text(c, col.account_guid);
    msg.error = c.getInt(col.error);
    msg.date = readDate(c, col.date, nanoseconds);
    msg.date_read = readDate(c, col.date_read, nanoseconds);
    msg.date_delivered = readDate(c, col.date_delivered, nanoseconds);
    msg.is_delivered = c.getInt(col.is_delivered);
    msg.is_finished = c.getInt(col.is_finished);
    msg.is_emote = c.getInt(col.is_emote);
    msg.is_from_me = c.getInt(col.is_from_me);
    msg.is_empty = c.getInt(col.is_empty);
    msg.is_delayed = c.getInt(col.is_delayed);
    msg.is_auto_reply = c.getInt(col.is_auto_reply);
    msg.is_prepared = c.getInt(col.is_prepared);
    msg.is_read = c.getInt(col.is_read);
    msg.is_system_message = c.getInt(col.is_system_message);
    msg.is_sent = c.getInt(col.is_sent);
    msg.has_dd_results = c.getInt(col.has_dd_results);
    msg.is_service_message = c.getInt(col.is_service_message);
    msg.is_forward = c.getInt(col.is_forward);
    msg.was_downgraded = c.getInt(col.was_downgraded);
    msg.is_archive = c.getInt(col.is_archive);
    msg.cache_has_attachments = c.getInt(col.cache_has_attachments);
    msg.cache_roomnames = pool.text(c, col.cache_roomnames);
    msg.was_data_detected = c.getInt(col.was_data_detected);
    msg.was_deduplicated = c.getInt(col.was_deduplicated);
    msg.is_audio_message = c.getInt(col.is_audio_message);
    msg.is_played = c.getInt(col.is_played);
    msg.date_played = c.getInt(col.date_played);
    msg.item_type = c.getInt(col.item_type);
    msg.other_handle = c.getInt(col.other_handle);
    msg.group_title = c.getText(col.group_title);
    msg.group_action_type = c.getInt(col.group_action_type);
    msg.share_status = c.getInt(col.share_status);
    msg.share_direction = c.getInt(col.share_direction);
    msg.is_expirable = c.getInt(col.is_expirable);
    msg.expire_state = c.getInt(col.expire_state);
    msg.message_action_type = c.getInt(col.message_action_type);
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
            chat->_last = readDate(c, c.column(QStringLiteral("last")), nanoseconds);
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
        reserveMessages(d, chatId);
        readMessageRows(d, chatId);
        readAttachmentRows(d, chatId);
    } catch (const Sqlite3Error& e) {
        rethrowNamingFile(e);
    }
}

void IOS6MessageDb::reserveMessages(__MsgData& d, long long chatId)
{
    // Counted on the join table's own index, a fraction of the message read;
    // sizing the hashes up front spares rehashing them row after row.
    QString sql("select chat_id, count(*) from chat_message_join");
    if (chatId > 0)
        sql += QStringLiteral(" where chat_id=%1").arg(chatId);
    sql += " group by chat_id";
    Sqlite3Cursor c = queryThrow(sql);
    qint64 total = 0;
    while (c.moveNext()) {
        const qint64 rows = c.getInt64(1);
        total += rows;
        if (_MsgChat* chat = d.chats.value(c.getInt64(0)))
            chat->messages.reserve(chat->messages.size() + rows);
    }
    d.messages.reserve(d.messages.size() + total);
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
    const MessageColumns col(c);
    TextPool pool;
    while (c.moveNext()) {
        if (c.getInt(col.item_type) != 0)
            continue; // group events are not messages
        const qint64 rowId = c.getInt64(col.rowid);
        _MsgMessage*& msg = d.messages[rowId];
        if (!msg) {
            msg = new _MsgMessage;
            msg->srcRowId = rowId;
            readMessage(c, col, pool, *msg, nanoseconds);
        }
        if (_MsgHandle* h = d.handles.value(c.getInt64(col.handle_id))) {
            msg->handle = h;
            if (msg->country.isEmpty())
                msg->country = h->country;
        }
        const qint64 other = c.getInt64(col.other_handle);
        if (other > 0)
            if (_MsgHandle* h = d.handles.value(other))
                msg->otherHandle = h;
        if (_MsgChat* chat = d.chats.value(c.getInt64(col.chat_id))) {
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
    TextPool pool;
    readMessage(c, MessageColumns(c), pool, msg, isNanosecondTable());
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
