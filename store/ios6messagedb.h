// The message database of the iOS 6+ schema: a device's sms.db in its cache
// folder, or one of the application's own local databases. Opens (creating or
// upgrading local files) on first use, reads conversations, messages and
// attachments into the message set, finds stored rows, writes new ones and
// deletes messages.
#pragma once

#include <QDir>
#include <QHash>
#include <QSet>
#include <QString>

#include "absiosmessagedb.h"

#include <vector>

class NewMessageRows;
class PathGuard;
struct MessageColumn;

class IOS6MessageDb : public AbsIOSMessageDb
{
public:
    // `dir` is the database folder (file-relay/, ct-phone.db, recycle.db);
    // `country` the country of its numbers; `upgrade` lets openCheck add the
    // newer columns to an existing file (the local databases). Touches no file.
    IOS6MessageDb(const QDir& dir, const _CountryInfo& country, bool upgrade);
    ~IOS6MessageDb() override;

    // Opens the file, or creates it from the local schema when missing;
    // upgrades it when asked; registers the SQL functions the device triggers
    // call; caches the CREATE statements; empties the synchronisation tables.
    // On any failure the connection is closed again (and a file this call
    // created is removed), so the next call starts over.
    void openCheck() override;
    void setIOSDbPath(const QString& path) { smsDbPath = path; }
    // The recovery database beside the file (recycle.db in the folder).
    MessageRecycleDb& recycleDb() { return recycle; }
    // Whether the open file's message table has item_type; false before the first open.
    bool isItemTypeEnabled() const;
    // Whether the open file's message dates count nanoseconds (its message
    // table has ck_record_id); false before the first open.
    bool isNanosecondTable() const;
    int type() const override { return kIOS6Schema; }

    // Reading.
    void chats(MsgData& data) override;
    // Adds the messages of the recovery database to `data` as recovered
    // messages, but those whose guid the message table holds again.
    void deletedMessages(MsgData& data);
    void messages(MsgData& data, long long chatId) override;
    void fillMessage(Sqlite3Cursor& c, _MsgMessage& msg);

    // Finding: each gives the stored row id, or 0 when there is none.
    qint64 findChat(const QString& guid);
    qint64 findHandle(const _MsgHandle& handle);
    bool isHandleBelong2Chat(long long chatId, long long handleId);
    qint64 findMessage(const QString& guid);
    // Guids of every message of the table.
    QSet<QString> messageGuids();
    qint64 findMessageHash(const _MsgMessage& msg);
    qint64 findAttachment(const _MsgAttachment& atta);
    // Pairs of conversation and message (group events but those of item_type 4 included).
    qint64 total();

    // Writing, inside the caller's edit; nothing here looks for existing rows.
    qint64 insertChatAndHandles(const _MsgChat& chat);
    qint64 insertHandle(const _MsgHandle& handle);
    void joinChatHandle(long long chatId, long long handleId);
    void updateChatLastHandle(long long chatId, const QString& handleId);
    void updateChatLastDate21(long long chatId, int date21);
    // `rowId` > 0 places the row there rather than after the last one.
    qint64 insertMessage(const _MsgMessage& msg, long long handleId, long long otherHandleId, QString logicHash,
                         qint64 rowId = 0);
    void joinChatMessage(long long chatId, long long messageId);
    qint64 insertAttachment(const _MsgAttachment& atta);
    void joinMessageAtta(long long messageId, long long attachmentId);

    // Deletes the message, its links, and its chat when no message is left in it.
    void deleteMessage(const _MsgMessage* msg);

private:
    void createFromSchema();
    void upgradeColumns();
    void registerFunctions();
    void cacheTableSql();
    void emptySyncTables();
    // Whether the cached CREATE statement of `table` contains `text`.
    bool tableSqlHas(const QString& table, const char* text, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;

    // The chats with their handles; the newest message date of each chat
    // when `lastDates` (the message scan can find them instead).
    void readChatList(MsgData& data, bool lastDates);
    // Whether the chat table lacks the newest-date column, which is then
    // worked out from the messages.
    bool needsLastDates() const;
    void readChats(__MsgData& d);
    void readLastDates(__MsgData& d);
    void readChatHandles(__MsgData& d);
    void normaliseHandle(_MsgHandle& h, CountryCache& countryCache);
    // Sizes the hashes for the rows to read; returns their number.
    qint64 reserveMessages(__MsgData& d, long long chatId);
    // With `lastDates` every joined row is read, and each chat gets the date
    // of its newest row, as readLastDates gives it.
    void readMessageRows(__MsgData& d, long long chatId, bool lastDates, qint64 rows);
    void readMessageRows(__MsgData& d, long long chatId, bool lastDates, NewMessageRows& newRows);
    void readAttachmentRows(__MsgData& d, long long chatId);
    // The attachment's file inside file-relay; empty for a path that would leave it.
    QString localPathOf(PathGuard& fileRelayGuard, const QString& filename) const;
    qint64 findRowId(const Sqlite3Sql& sql);
    void execute(const Sqlite3Sql& sql);
    // Sqlite3Error texts from reading name this database's file.
    [[noreturn]] void rethrowNamingFile(const Sqlite3Error& e) const;

    // The insert of each table over the columns its CREATE statement has,
    // worked out at the first write after each open.
    struct WritePlan
    {
        bool ready = false;
        Sqlite3Insert chat, handle, message, attachment;
        int chatGuid, chatStyle, chatState, chatAccountId, chatIdentifier, chatServiceName, chatRoomName,
            chatAccountLogin, chatIsArchived, chatDisplayName, chatGroupId;
        int handleId, handleCountry, handleService, handleUncanonicalizedId, handleCtName, handlePhoto;
        // Each column of the message list this table takes, with its
        // position; the links to handles carry this file's row ids.
        struct MessageSlot
        {
            enum Link { None, Sender, Other };
            const MessageColumn* column;
            int position;
            Link link;
        };
        std::vector<MessageSlot> messageColumns;
        int messageRowId, messageLogicHash;
        bool nanosecondDates;
        int attGuid, attCreatedDate, attStartDate, attFilename, attUti, attMimeType, attTransferState, attIsOutgoing,
            attUserInfo, attTransferName, attTotalBytes, attOriginalGuid;
    };
    WritePlan& writePlan();
    qint64 insertRow(Sqlite3Insert& insert);

    QHash<QString, QString> tableSql;
    bool upgrade;
    WritePlan m_writePlan;
};
