// The message database of the iOS 5 schema: a cached sms.db with the SMS
// tables msg_group, group_member, message and msg_pieces and, where the phone
// used iMessage, madrid_chat, madrid_attachment and the madrid_ columns of
// message. Read only; its conversations, correspondents, messages, iMessage
// attachments and MMS parts are translated into the iOS 6+ message model.
#pragma once

#include <QDir>
#include <QHash>
#include <QSet>
#include <QString>

#include "absiosmessagedb.h"

class IOS5MessageDb : public AbsIOSMessageDb
{
public:
    // `dir` is the cache folder holding file-relay/; `country` formats the
    // iMessage addresses (empty: numbers are only cleaned). Touches no file.
    IOS5MessageDb(const QDir& dir, const _CountryInfo& country);
    ~IOS5MessageDb() override;

    // Opens sms.db read-write (never creating it), registers the SQL function
    // read() and lists the tables. A failure closes the file again, so the
    // next call starts over.
    void openCheck() override;
    void chats(MsgData& data) override;
    void messages(MsgData& data, long long chatId) override;
    int type() const override { return kIOS5Schema; }

    MessageRecycleDb* recycleDb() { return &recycle; }
    // Adds every message of the recovery database to `data` as recovered messages.
    void deletedMessages(MsgData& data);
    // Rows of the message table; 0 when the query yields no row.
    qint64 total();

private:
    // madrid_attachment rows by attachment guid (first row of each guid).
    using AttachmentRows = QHash<QString, _MsgAttachment>;
    struct MessageRead;

    void readSmsChats(__MsgData& d);
    void readSmsMembers(__MsgData& d, CountryCache& cache);
    void readMadridChats(__MsgData& d);
    void readMadridLastDates(QHash<QString, _MsgChat*>& byIdent, const char* column);

    void readMessageRows(__MsgData& d, long long chatId, MessageRead& read);
    void fillMessage(const Sqlite3Cursor& c, _MsgMessage& msg);
    void linkSms(const Sqlite3Cursor& c, __MsgData& d, _MsgMessage& msg, MessageRead& read);
    void linkMadrid(const Sqlite3Cursor& c, _MsgMessage& msg, MessageRead& read);
    void readMadridAttachments(const Sqlite3Cursor& c, __MsgData& d, _MsgMessage& msg, MessageRead& read);
    const AttachmentRows& madridAttachmentRows(MessageRead& read);

    void readParts(__MsgData& d, long long chatId, const QSet<qint64>& readNow);
    void addMediaPart(const Sqlite3Cursor& c, __MsgData& d, _MsgMessage& msg);
    void writePartFile(const QString& path, const QByteArray& bytes);

    QHash<QString, QString> tables;
};
