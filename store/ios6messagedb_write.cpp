// Writing conversations, correspondents, messages and attachments into an
// iOS 6+ message database, and deleting messages. Columns that only some
// schemas have are written only where the table's CREATE statement names
// them; dates go in the table's unit.
#include "ios6messagedb.h"
#include "messagecolumns.h"
#include "msgidentifiers.h"

#include <stdexcept>

namespace {

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Sets the column only when the value is not empty; the column default applies otherwise.
template <typename T>
void setIfNotEmpty(Sqlite3Row& row, const char* column, const T& value)
{
    if (!value.isEmpty())
        row[QLatin1String(column)] = value;
}

} // namespace

qint64 IOS6MessageDb::insertChatAndHandles(const _MsgChat& chat)
{
    openCheck();
    if (chat.service_name != QLatin1String("SMS") && chat.service_name != QLatin1String("iMessage"))
        throw std::runtime_error(
            QStringLiteral("IOS6MessageDb::insertChat, invalid chat, service_name:%1").arg(chat.service_name).toStdString());
    const QString chatTable = QStringLiteral("chat");
    Sqlite3Row row;
    row["guid"] = chat.guid;
    row["style"] = chat.style;
    row["state"] = chat.state;
    setIfNotEmpty(row, "account_id", chat.account_id);
    row["chat_identifier"] = chat.chat_identifier;
    row["service_name"] = chat.service_name;
    setIfNotEmpty(row, "room_name", chat.room_name);
    row["account_login"] = chat.account_login;
    row["is_archived"] = chat.is_archived;
    if (tableSqlHas(chatTable, "display_name"))
        setIfNotEmpty(row, "display_name", chat.display_name);
    if (tableSqlHas(chatTable, "group_id"))
        row["group_id"] = chat.group_id.isEmpty() ? hashUUID(chat.guid.toUtf8()) : chat.group_id;
    const qint64 chatId = insertSqlRow(row, chatTable, {});
    for (const _MsgHandle* h : chat.handles) {
        qint64 handleId = findHandle(*h);
        if (handleId == 0)
            handleId = insertHandle(*h);
        joinChatHandle(chatId, handleId);
    }
    return chatId;
}

qint64 IOS6MessageDb::insertHandle(const _MsgHandle& handle)
{
    openCheck();
    const QString handleTable = QStringLiteral("handle");
    Sqlite3Row row;
    row["id"] = handle.id;
    setIfNotEmpty(row, "country", handle.country);
    row["service"] = handle.service;
    setIfNotEmpty(row, "uncanonicalized_id", handle.uncanonicalized_id);
    if (tableSqlHas(handleTable, "_ct_name TEXT", Qt::CaseInsensitive))
        row["_ct_name"] = handle._ct_name;
    if (tableSqlHas(handleTable, "_photo BLOB", Qt::CaseInsensitive))
        row["_photo"] = handle._photo;
    return insertSqlRow(row, handleTable, {});
}

void IOS6MessageDb::joinChatHandle(long long chatId, long long handleId)
{
    execute(QStringLiteral("replace into chat_handle_join(chat_id,handle_id) values(%1,%2)").arg(chatId).arg(handleId));
}

void IOS6MessageDb::updateChatLastHandle(long long chatId, const QString& handleId)
{
    openCheck();
    executeThrow(Sqlite3Sql("update chat set last_addressed_handle=? where rowid=?").addTextParam(handleId).addInt64Param(chatId));
}

void IOS6MessageDb::updateChatLastDate21(long long chatId, int date21)
{
    openCheck();
    if (!tableSqlHas(QStringLiteral("chat"), "_last INTEGER", Qt::CaseInsensitive))
        return;
    executeThrow(QStringLiteral("update chat set _last=%1 where rowid=%2 and _last < %1").arg(date21).arg(chatId));
}

qint64 IOS6MessageDb::insertMessage(const _MsgMessage& msg, long long handleId, long long otherHandleId, QString logicHash,
                                   qint64 rowId)
{
    openCheck();
    const QString messageTable = QStringLiteral("message");
    auto has = [&](const char* column) { return tableSqlHas(messageTable, column); };
    Sqlite3Row row = messageRow(msg, isNanosecondTable(), has);
    if (rowId > 0)
        row["ROWID"] = rowId;
    // The links point at rows of this file, not of the one the record came from.
    row["handle_id"] = qint64(handleId);
    if (otherHandleId > 0 && has("other_handle"))
        row["other_handle"] = qint64(otherHandleId);
    else
        row.remove(QStringLiteral("other_handle"));
    if (has("logic_hash"))
        row["logic_hash"] = logicHash.isEmpty() ? msg.logicalHash() : logicHash;
    return insertSqlRow(row, messageTable, {});
}

void IOS6MessageDb::joinChatMessage(long long chatId, long long messageId)
{
    execute(QStringLiteral("replace into chat_message_join(chat_id,message_id) values(%1,%2)").arg(chatId).arg(messageId));
}

qint64 IOS6MessageDb::insertAttachment(const _MsgAttachment& atta)
{
    openCheck();
    const QString attachmentTable = QStringLiteral("attachment");
    auto has = [&](const char* column) { return tableSqlHas(attachmentTable, column); };
    Sqlite3Row row;
    row["guid"] = atta.guid;
    row["created_date"] = atta.created_date;
    row["start_date"] = atta.start_date;
    row["filename"] = atta.filename;
    row["uti"] = atta.uti;
    row["mime_type"] = atta.mime_type;
    row["transfer_state"] = atta.transfer_state;
    row["is_outgoing"] = atta.is_outgoing;
    if (has("user_info"))
        setIfNotEmpty(row, "user_info", atta.user_info);
    if (has("transfer_name"))
        row["transfer_name"] = fileNameOf(atta.localPath);
    if (has("total_bytes"))
        row["total_bytes"] = atta.total_bytes;
    if (has("original_guid"))
        row["original_guid"] = atta.guid;
    return insertSqlRow(row, attachmentTable, {});
}

void IOS6MessageDb::joinMessageAtta(long long messageId, long long attachmentId)
{
    execute(QStringLiteral("replace into message_attachment_join(message_id,attachment_id) values(%1,%2)")
                .arg(messageId)
                .arg(attachmentId));
}

void IOS6MessageDb::deleteMessage(const _MsgMessage* msg)
{
    openCheck();
    const qint64 rowId = msg->ROWID;
    execute(QStringLiteral("DELETE FROM message WHERE rowid=%1").arg(rowId));
    execute(QStringLiteral("DELETE FROM chat_message_join where message_id=%1").arg(rowId));
    execute(QStringLiteral("DELETE FROM message_attachment_join where message_id=%1").arg(rowId));
    if (!msg->chat)
        return;
    const qint64 chatId = msg->chat->ROWID;
    execute(QStringLiteral("DELETE FROM chat WHERE rowid=%1 and (SELECT 1 from chat_message_join WHERE chat_id=%1 LIMIT 1) IS NULL")
                .arg(chatId));
    // A chat that went takes its links to correspondents along; the schema's
    // trigger then removes correspondents nothing refers to any more.
    execute(QStringLiteral("DELETE FROM chat_handle_join WHERE chat_id=%1 and (SELECT 1 from chat WHERE rowid=%1) IS NULL")
                .arg(chatId));
}
