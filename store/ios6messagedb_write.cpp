// Writing conversations, correspondents, messages and attachments into an
// iOS 6+ message database, and deleting messages. Columns that only some
// schemas have are written only where the table's CREATE statement names
// them; dates go in the table's unit. Every statement binds its values, so
// the database compiles each text once however many rows go in.
#include "ios6messagedb.h"
#include "messagecolumns.h"
#include "msgidentifiers.h"

#include <initializer_list>
#include <stdexcept>

namespace {

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

struct PlannedColumn
{
    int* position;
    const char* name;
    bool inTable = true;
};

// Adds the columns the table has to the insert in this order; each position
// is -1 for a column the table lacks, which its rows then leave out.
void addColumns(Sqlite3Insert& insert, std::initializer_list<PlannedColumn> columns)
{
    for (const PlannedColumn& c : columns)
        *c.position = c.inTable ? insert.addColumn(QLatin1String(c.name)) : -1;
}

} // namespace

IOS6MessageDb::WritePlan& IOS6MessageDb::writePlan()
{
    WritePlan& p = m_writePlan;
    if (p.ready)
        return p;
    const QString chat = QStringLiteral("chat");
    const QString handle = QStringLiteral("handle");
    const QString message = QStringLiteral("message");
    const QString attachment = QStringLiteral("attachment");

    p.chat = Sqlite3Insert(chat);
    addColumns(p.chat, {{&p.chatGuid, "guid"},
                        {&p.chatStyle, "style"},
                        {&p.chatState, "state"},
                        {&p.chatAccountId, "account_id"},
                        {&p.chatIdentifier, "chat_identifier"},
                        {&p.chatServiceName, "service_name"},
                        {&p.chatRoomName, "room_name"},
                        {&p.chatAccountLogin, "account_login"},
                        {&p.chatIsArchived, "is_archived"},
                        {&p.chatDisplayName, "display_name", tableSqlHas(chat, "display_name")},
                        {&p.chatGroupId, "group_id", tableSqlHas(chat, "group_id")}});

    p.handle = Sqlite3Insert(handle);
    addColumns(p.handle, {{&p.handleId, "id"},
                          {&p.handleCountry, "country"},
                          {&p.handleService, "service"},
                          {&p.handleUncanonicalizedId, "uncanonicalized_id"},
                          {&p.handleCtName, "_ct_name", tableSqlHas(handle, "_ct_name TEXT", Qt::CaseInsensitive)},
                          {&p.handlePhoto, "_photo", tableSqlHas(handle, "_photo BLOB", Qt::CaseInsensitive)}});

    p.message = Sqlite3Insert(message);
    p.messageColumns.clear();
    using Slot = WritePlan::MessageSlot;
    for (const MessageColumn& col : messageColumns()) {
        if (col.has(MessageColumn::Later) && !tableSqlHas(message, col.name))
            continue;
        // The links point at rows of this file, not of the one the record came from.
        const Slot::Link link = qstrcmp(col.name, "handle_id") == 0      ? Slot::Sender
                                : qstrcmp(col.name, "other_handle") == 0 ? Slot::Other
                                                                         : Slot::None;
        p.messageColumns.push_back({&col, p.message.addColumn(QLatin1String(col.name)), link});
    }
    addColumns(p.message,
               {{&p.messageRowId, "ROWID"}, {&p.messageLogicHash, "logic_hash", tableSqlHas(message, "logic_hash")}});
    p.nanosecondDates = isNanosecondTable();

    p.attachment = Sqlite3Insert(attachment);
    addColumns(p.attachment, {{&p.attGuid, "guid"},
                              {&p.attCreatedDate, "created_date"},
                              {&p.attStartDate, "start_date"},
                              {&p.attFilename, "filename"},
                              {&p.attUti, "uti"},
                              {&p.attMimeType, "mime_type"},
                              {&p.attTransferState, "transfer_state"},
                              {&p.attIsOutgoing, "is_outgoing"},
                              {&p.attUserInfo, "user_info", tableSqlHas(attachment, "user_info")},
                              {&p.attTransferName, "transfer_name", tableSqlHas(attachment, "transfer_name")},
                              {&p.attTotalBytes, "total_bytes", tableSqlHas(attachment, "total_bytes")},
                              {&p.attOriginalGuid, "original_guid", tableSqlHas(attachment, "original_guid")}});

    p.ready = true;
    return p;
}

qint64 IOS6MessageDb::insertRow(Sqlite3Insert& insert)
{
    executeThrow(insert.takeRow());
    return lastInsertId();
}

qint64 IOS6MessageDb::insertChatAndHandles(const _MsgChat& chat)
{
    openCheck();
    if (chat.service_name != QLatin1String("SMS") && chat.service_name != QLatin1String("iMessage"))
        throw std::runtime_error(
            QStringLiteral("IOS6MessageDb::insertChat, invalid chat, service_name:%1").arg(chat.service_name).toStdString());
    WritePlan& p = writePlan();
    Sqlite3Insert& row = p.chat.newRow();
    // Empty optional texts are left out: the column default stands.
    row.setText(p.chatGuid, chat.guid).setInt64(p.chatStyle, chat.style).setInt64(p.chatState, chat.state);
    if (!chat.account_id.isEmpty())
        row.setText(p.chatAccountId, chat.account_id);
    row.setText(p.chatIdentifier, chat.chat_identifier).setText(p.chatServiceName, chat.service_name);
    if (!chat.room_name.isEmpty())
        row.setText(p.chatRoomName, chat.room_name);
    row.setText(p.chatAccountLogin, chat.account_login).setInt64(p.chatIsArchived, chat.is_archived);
    if (!chat.display_name.isEmpty())
        row.setText(p.chatDisplayName, chat.display_name);
    row.setText(p.chatGroupId, chat.group_id.isEmpty() ? hashUUID(chat.guid.toUtf8()) : chat.group_id);
    const qint64 chatId = insertRow(row);
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
    WritePlan& p = writePlan();
    Sqlite3Insert& row = p.handle.newRow();
    row.setText(p.handleId, handle.id);
    if (!handle.country.isEmpty())
        row.setText(p.handleCountry, handle.country);
    row.setText(p.handleService, handle.service);
    if (!handle.uncanonicalized_id.isEmpty())
        row.setText(p.handleUncanonicalizedId, handle.uncanonicalized_id);
    row.setText(p.handleCtName, handle._ct_name).setBlob(p.handlePhoto, handle._photo);
    return insertRow(row);
}

void IOS6MessageDb::joinChatHandle(long long chatId, long long handleId)
{
    execute(Sqlite3Sql("replace into chat_handle_join(chat_id,handle_id) values(?,?)")
                .addInt64Param(chatId)
                .addInt64Param(handleId));
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
    executeThrow(Sqlite3Sql("update chat set _last=?1 where rowid=?2 and _last < ?1").addIntParam(date21).addInt64Param(chatId));
}

qint64 IOS6MessageDb::insertMessage(const _MsgMessage& msg, long long handleId, long long otherHandleId, QString logicHash,
                                   qint64 rowId)
{
    openCheck();
    WritePlan& p = writePlan();
    Sqlite3Insert& row = p.message.newRow();
    for (const WritePlan::MessageSlot& slot : p.messageColumns) {
        switch (slot.link) {
        case WritePlan::MessageSlot::Sender:
            row.setInt64(slot.position, handleId);
            break;
        case WritePlan::MessageSlot::Other:
            if (otherHandleId > 0)
                row.setInt64(slot.position, otherHandleId);
            break;
        case WritePlan::MessageSlot::None:
            setMessageColumn(row, slot.position, *slot.column, msg, p.nanosecondDates);
            break;
        }
    }
    if (rowId > 0)
        row.setInt64(p.messageRowId, rowId);
    if (p.messageLogicHash >= 0)
        row.setText(p.messageLogicHash, logicHash.isEmpty() ? msg.logicalHash() : logicHash);
    return insertRow(row);
}

void IOS6MessageDb::joinChatMessage(long long chatId, long long messageId)
{
    execute(Sqlite3Sql("replace into chat_message_join(chat_id,message_id) values(?,?)")
                .addInt64Param(chatId)
                .addInt64Param(messageId));
}

qint64 IOS6MessageDb::insertAttachment(const _MsgAttachment& atta)
{
    openCheck();
    WritePlan& p = writePlan();
    Sqlite3Insert& row = p.attachment.newRow();
    row.setText(p.attGuid, atta.guid)
        .setInt64(p.attCreatedDate, atta.created_date)
        .setInt64(p.attStartDate, atta.start_date)
        .setText(p.attFilename, atta.filename)
        .setText(p.attUti, atta.uti)
        .setText(p.attMimeType, atta.mime_type)
        .setInt64(p.attTransferState, atta.transfer_state)
        .setInt64(p.attIsOutgoing, atta.is_outgoing);
    if (!atta.user_info.isEmpty())
        row.setBlob(p.attUserInfo, atta.user_info);
    row.setText(p.attTransferName, fileNameOf(atta.localPath))
        .setInt64(p.attTotalBytes, atta.total_bytes)
        .setText(p.attOriginalGuid, atta.guid);
    return insertRow(row);
}

void IOS6MessageDb::joinMessageAtta(long long messageId, long long attachmentId)
{
    execute(Sqlite3Sql("replace into message_attachment_join(message_id,attachment_id) values(?,?)")
                .addInt64Param(messageId)
                .addInt64Param(attachmentId));
}

void IOS6MessageDb::deleteMessage(const _MsgMessage* msg)
{
    openCheck();
    const qint64 rowId = msg->ROWID;
    execute(Sqlite3Sql("DELETE FROM message WHERE rowid=?").addInt64Param(rowId));
    execute(Sqlite3Sql("DELETE FROM chat_message_join where message_id=?").addInt64Param(rowId));
    execute(Sqlite3Sql("DELETE FROM message_attachment_join where message_id=?").addInt64Param(rowId));
    if (!msg->chat)
        return;
    const qint64 chatId = msg->chat->ROWID;
    execute(Sqlite3Sql("DELETE FROM chat WHERE rowid=?1 and (SELECT 1 from chat_message_join WHERE chat_id=?1 LIMIT 1) IS NULL")
                .addInt64Param(chatId));
    // A chat that went takes its links to correspondents along; the schema's
    // trigger then removes correspondents nothing refers to any more.
    execute(Sqlite3Sql("DELETE FROM chat_handle_join WHERE chat_id=?1 and (SELECT 1 from chat WHERE rowid=?1) IS NULL")
                .addInt64Param(chatId));
}
