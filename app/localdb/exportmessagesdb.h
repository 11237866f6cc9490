// The writer that backs messages up into a local database: a folder holding
// file-relay/var/mobile/Library/SMS/sms.db (created on first use) and copies
// of the attachment files under file-relay/. Each message is stored with its
// conversation, correspondents and attachments unless the database holds it
// already (same logic hash or guid), so writing a message twice leaves one row.
//
// One run is one transaction: init() begins it, uninit() commits it. A run
// stopped before uninit() leaves the database as it was once the writer is
// abandoned or destroyed. Attachment files go in through a temporary file and
// a rename, so a file at its place is whole; a name that would leave the
// database folder is not copied (its row is still written).
#pragma once

#include "absformatexport.h"
#include "chatlastupdates.h"
#include "countryinfo.h"
#include "ios6messagedb.h"

#include <QDir>
#include <QHash>
#include <QPair>
#include <QSet>
#include <QString>

#include <memory>

class PathGuard;
struct _MsgAttachment;
struct _MsgChat;
struct _MsgHandle;
struct _MsgMessage;

class ExportMessagesDb : public AbsFormatExport<_MsgMessage>
{
public:
    // Opens nothing; the database folder need not exist.
    ExportMessagesDb(const QDir& dir, const _CountryInfo& country);
    ~ExportMessagesDb() override;

    // Opens (creating or upgrading) the database and begins the transaction.
    void init() override;
    void write(_MsgMessage& msg) override;
    // Commits and closes.
    void uninit() override;
    // Closes without committing: nothing of this run stays in the database.
    void abandon();

    // Attachment files copied by this run.
    int copiedFiles() const { return m_copiedFiles; }

    IOS6MessageDb db;

private:
    void loadKnownRows();
    qint64 chatIdOf(const _MsgChat& chat);
    // The handle's row id, found or inserted, joined to the chat.
    qint64 handleIdIn(const _MsgHandle& handle, qint64 chatId);
    void writeAttachment(const _MsgAttachment& att, qint64 messageId);
    void copyAttachmentFile(const _MsgAttachment& att);

    std::unique_ptr<PathGuard> m_fileRelayGuard;
    bool m_hasLogicHash = false;
    int m_copiedFiles = 0;

    // What the database holds, read once by init() and kept up to date by
    // the writes, so that no row is looked up by a query of its own.
    QHash<QString, qint64> m_chatIds;       // by guid
    QHash<QString, qint64> m_handleIds;     // by id and service
    QSet<QPair<qint64, qint64>> m_chatHandles;
    QHash<QString, qint64> m_messageIds;    // by guid
    QHash<QString, qint64> m_messageHashes; // by logic hash
    QHash<QString, qint64> m_attachmentIds; // by guid
    // The newest date and the last group sender of each chat this run
    // wrote to, put into the chat rows once before the commit.
    ChatLastUpdates m_chatUpdates;
};
