// Reading an iOS 6+ message database into the message set, and the finders.
#include <QtGlobal>

#include <algorithm>
#include <limits>

#include "devicefilepath.h"
#include "ios6messagedb.h"

#include <algorithm>
#include "messagecolumns.h"

namespace {

QString key(qint64 rowId)
{
    return QString::number(rowId, 10);
}

} // namespace

void IOS6MessageDb::chats(MsgData& data)
{
    readChatList(data, needsLastDates());
}

bool IOS6MessageDb::needsLastDates() const
{
    return !tableSqlHas(QStringLiteral("chat"), "_last INTEGER", Qt::CaseInsensitive);
}

void IOS6MessageDb::readChatList(MsgData& data, bool lastDates)
{
    __MsgData& d = beginChats(data);
    try {
        readChats(d);
        if (lastDates)
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
            chat->_last = readMessageDate(c, c.column(QStringLiteral("last")), nanoseconds);
    }
}

void IOS6MessageDb::readChatHandles(__MsgData& d)
{
    CountryCache countryCache;
    // The messages of a handle copy its country: handles that share one text
    // for it keep those copies on one counter instead of thousands.
    QSet<QString> countries;
    // Members in the order the phone joined them: a group without a name is
    // named after them, the same on every read and in a local database.
    Sqlite3Cursor c =
        queryThrow("select j.chat_id, h.* from chat_handle_join as j inner join handle as h on j.handle_id = h.rowid "
                   "order by j.rowid");
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
            h->country = *countries.insert(h->country);
        }
        if (_MsgChat* chat = d.chats.value(c.getInt64(QStringLiteral("chat_id"))))
            chat->handles.insert(key(rowId), h);
    }
}

void IOS6MessageDb::normaliseHandle(_MsgHandle& h, CountryCache& countryCache)
{
    if (h.country.isEmpty()) {
        h.country = country.sn.toLower();
        h.id = country.formatNumber(h.id);
    } else {
        h.id = countryOf(h.country, countryCache).formatNumber(h.id);
    }
    contacts.fillContact(h, "IOS6MessageDb::chats");
}

void IOS6MessageDb::messages(MsgData& data, long long chatId)
{
    openCheck();
    // Reading every chat's messages passes every joined row once: their
    // newest dates come with it, sparing a second pass over the join.
    const bool scanLastDates = chatId <= 0 && needsLastDates();
    readChatList(data, needsLastDates() && !scanLastDates);
    __MsgData& d = *data.p();
    try {
        reserveMessages(d, chatId);
        readMessageRows(d, chatId, scanLastDates);
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

void IOS6MessageDb::readMessageRows(__MsgData& d, long long chatId, bool lastDates)
{
    QString sql("select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid");
    // Rows of other item types are passed over below; for the newest dates
    // every row counts.
    if (isItemTypeEnabled() && !lastDates)
        sql += " and m.item_type <> 4";
    if (chatId > 0)
        sql += QStringLiteral(" and j.chat_id=%1").arg(chatId);
    Sqlite3Cursor c = queryThrow(sql);
    const bool nanoseconds = isNanosecondTable();
    MessageRowReader reader(c, true, nanoseconds);
    const int chatIdAt = c.column(QStringLiteral("chat_id")), rowIdAt = c.column(QStringLiteral("rowid")),
              itemTypeAt = c.column(QStringLiteral("item_type")), handleIdAt = c.column(QStringLiteral("handle_id")),
              otherHandleAt = c.column(QStringLiteral("other_handle")), dateAt = c.column(QStringLiteral("date"));
    // The newest raw date per chat id; the join lists a chat's rows together.
    QHash<qint64, qint64> newest;
    qint64 lastHandleId = 0, lastRowChatId = 0;
    _MsgHandle* lastHandle = nullptr;
    _MsgChat* lastRowChat = nullptr;
    bool lastHandleKnown = false, lastRowChatKnown = false;
    qint64 lastChatId = 0;
    qint64* lastChatNewest = nullptr;
    while (c.moveNext()) {
        const qint64 rowChatId = c.getInt64(chatIdAt);
        if (lastDates) {
            if (!lastChatNewest || rowChatId != lastChatId) {
                lastChatId = rowChatId;
                auto it = newest.find(rowChatId);
                if (it == newest.end())
                    it = newest.insert(rowChatId, std::numeric_limits<qint64>::min());
                lastChatNewest = &it.value(); // valid until the next insert, which moves it anew
            }
            *lastChatNewest = std::max(*lastChatNewest, c.getInt64(dateAt));
        }
        if (c.getInt(itemTypeAt) != 0)
            continue; // group events are not messages
        const qint64 rowId = c.getInt64(rowIdAt);
        _MsgMessage*& msg = d.messages[rowId];
        const bool fresh = !msg;
        if (fresh) {
            msg = d.newMessage();
            msg->srcRowId = rowId;
            reader.read(*msg);
        }
        // Rows of a chat follow each other and mostly share a sender: the
        // last lookups are asked first.
        const qint64 handleId = c.getInt64(handleIdAt);
        if (handleId != lastHandleId || !lastHandleKnown) {
            lastHandleId = handleId;
            lastHandle = d.handles.value(handleId);
            lastHandleKnown = true;
        }
        if (_MsgHandle* h = lastHandle) {
            msg->handle = h;
            if (msg->country.isEmpty())
                msg->country = h->country;
        }
        const qint64 other = c.getInt64(otherHandleAt);
        if (other > 0)
            if (_MsgHandle* h = d.handles.value(other))
                msg->otherHandle = h;
        if (rowChatId != lastRowChatId || !lastRowChatKnown) {
            lastRowChatId = rowChatId;
            lastRowChat = d.chats.value(rowChatId);
            lastRowChatKnown = true;
        }
        if (_MsgChat* chat = lastRowChat) {
            msg->chat = chat;
            // A message just made is in no chat yet: no lookup of its key.
            if (fresh)
                chat->messages.insertNewUnderRowId(msg);
            else
                chat->messages.insert(key(rowId), msg);
        }
    }
    for (auto it = newest.cbegin(); it != newest.cend(); ++it)
        if (_MsgChat* chat = d.chats.value(it.key()))
            chat->_last = messageDate(it.value(), nanoseconds);
}

void IOS6MessageDb::readAttachmentRows(__MsgData& d, long long chatId)
{
    QString sql("select ma.message_id, ma.attachment_id, cm.chat_id, a.* from message_attachment_join as ma "
                "inner join attachment as a on ma.attachment_id=a.rowid "
                "inner join chat_message_join as cm on ma.message_id=cm.message_id");
    if (chatId > 0)
        sql += QStringLiteral(" and cm.chat_id=%1").arg(chatId);
    Sqlite3Cursor c = queryThrow(sql);
    PathGuard fileRelayGuard(fileRelayDir);
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
            a->localPath = localPathOf(fileRelayGuard, a->filename);
        if (_MsgMessage* msg = d.messages.value(c.getInt64(QStringLiteral("message_id"))))
            msg->attas.insert(key(rowId), a);
    }
}

QString IOS6MessageDb::localPathOf(PathGuard& fileRelayGuard, const QString& filename) const
{
    return deviceFileLocalPath(fileRelayGuard, filename, "IOS6MessageDb::messages");
}

void IOS6MessageDb::fillMessage(Sqlite3Cursor& c, _MsgMessage& msg)
{
    MessageRowReader(c, true, isNanosecondTable()).read(msg);
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

QSet<QString> IOS6MessageDb::messageGuids()
{
    openCheck();
    QSet<QString> guids;
    Sqlite3Cursor c = queryThrow("select guid from message");
    while (c.moveNext())
        guids.insert(c.getText(0));
    return guids;
}

void IOS6MessageDb::deletedMessages(MsgData& data)
{
    openCheck();
    QList<RecycleMsg> list = recycle.messages();
    const QSet<QString> live = messageGuids();
    list.erase(std::remove_if(list.begin(), list.end(), [&](const RecycleMsg& r) { return live.contains(r.msg.guid); }),
               list.end());
    recycle.mergeMessages(data, list);
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
