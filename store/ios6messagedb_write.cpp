// Writing conversations, correspondents, messages and attachments into an
// iOS 6+ message database, and deleting messages. Columns that only some
// schemas have are written only where the table's CREATE statement names
// them; dates go in the table's unit. Every statement binds its values, so
// the database compiles each text once however many rows go in.
#include "ios6messagedb.h"
#include "messagecolumns.h"
#include "msgidentifiers.h"

#include <stdexcept>

namespace {

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

IOS6MessageDb::WritePlan& IOS6MessageDb::writePlan()
{
    WritePlan& p = m_writePlan;
    if (p.ready)
        return p;
    auto columnIf = [](Sqlite3Insert& insert, bool present, const char* name) {
        return present ? insert.addColumn(QLatin1String(name)) : -1;
    };

    const QString chatTable = QStringLiteral("chat");
    p.chat = Sqlite3Insert(chatTable);
    p.chatGuid = p.chat.addColumn(QStringLiteral("guid"));
    p.chatStyle = p.chat.addColumn(QStringLiteral("style"));
    p.chatState = p.chat.addColumn(QStringLiteral("state"));
    p.chatAccountId = p.chat.addColumn(QStringLiteral("account_id"));
    p.chatIdentifier = p.chat.addColumn(QStringLiteral("chat_identifier"));
    p.chatServiceName = p.chat.addColumn(QStringLiteral("service_name"));
    p.chatRoomName = p.chat.addColumn(QStringLiteral("room_name"));
    p.chatAccountLogin = p.chat.addColumn(QStringLiteral("account_login"));
    p.chatIsArchived = p.chat.addColumn(QStringLiteral("is_archived"));
    p.chatDisplayName = columnIf(p.chat, tableSqlHas(chatTable, "display_name"), "display_name");
    p.chatGroupId = columnIf(p.chat, tableSqlHas(chatTable, "group_id"), "group_id");

    const QString handleTable = QStringLiteral("handle");
    p.handle = Sqlite3Insert(handleTable);
    p.handleId = p.handle.addColumn(QStringLiteral("id"));
    p.handleCountry = p.handle.addColumn(QStringLiteral("country"));
    p.handleService = p.handle.addColumn(QStringLiteral("service"));
    p.handleUncanonicalizedId = p.handle.addColumn(QStringLiteral("uncanonicalized_id"));
    p.handleCtName = columnIf(p.handle, tableSqlHas(handleTable, "_ct_name TEXT", Qt::CaseInsensitive), "_ct_name");
    p.handlePhoto = columnIf(p.handle, tableSqlHas(handleTable, "_photo BLOB", Qt::CaseInsensitive), "_photo");

    const QString messageTable = QStringLiteral("message");
    p.message = Sqlite3Insert(messageTable);
    p.messageColumns.clear();
    using Slot = WritePlan::MessageSlot;
    for (const MessageColumn& col : messageColumns()) {
        if (col.has(MessageColumn::Later) && !tableSqlHas(messageTable, col.name))
            continue;
        // The links point at rows of this file, not of the one the record came from.
        const Slot::Link link = qstrcmp(col.name, "handle_id") == 0      ? Slot::Sender
                                : qstrcmp(col.name, "other_handle") == 0 ? Slot::Other
                                                                         : Slot::None;
        p.messageColumns.push_back({&col, p.message.addColumn(QLatin1String(col.name)), link});
    }
    p.messageRowId = p.message.addColumn(QStringLiteral("ROWID"));
    p.messageLogicHash = columnIf(p.message, tableSqlHas(messageTable, "logic_hash"), "logic_hash");
    p.nanosecondDates = isNanosecondTable();

    const QString attachmentTable = QStringLiteral("attachment");
    p.attachment = Sqlite3Insert(attachmentTable);
    p.attGuid = p.attachment.addColumn(QStringLiteral("guid"));
    p.attCreatedDate = p.attachment.addColumn(QStringLiteral("created_date"));
    p.attStartDate = p.attachment.addColumn(QStringLiteral("start_date"));
    p.attFilename = p.attachment.addColumn(QStringLiteral("filename"));
    p.attUti = p.attachment.addColumn(QStringLiteral("uti"));
    p.attMimeType = p.attachment.addColumn(QStringLiteral("mime_type"));
    p.attTransferState = p.attachment.addColumn(QStringLiteral("transfer_state"));
    p.attIsOutgoing = p.attachment.addColumn(QStringLiteral("is_outgoing"));
    p.attUserInfo = columnIf(p.attachment, tableSqlHas(attachmentTable, "user_info"), "user_info");
    p.attTransferName = columnIf(p.attachment, tableSqlHas(attachmentTable, "transfer_name"), "transfer_name");
    p.attTotalBytes = columnIf(p.attachment, tableSqlHas(attachmentTable, "total_bytes"), "total_bytes");
    p.attOriginalGuid = columnIf(p.attachment, tableSqlHas(attachmentTable, "original_guid"), "original_guid");

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
