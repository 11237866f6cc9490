// Building the message database that goes into an iTunes backup, and through
// a restore of that backup onto an iPhone. It starts from the backup's own
// sms.db, already copied into a cache folder, and the chosen messages: a copy
// of the cached file beside it is emptied and refilled with the backup's
// conversations, correspondents, attachments and messages together with the
// chosen messages, every message numbered afresh in one merged order. Then it
// lists the files to place into the backup: the new database and the
// attachment files of the chosen messages.
//
// The copy is all or nothing: a cancel or a failure removes the new file,
// and the cached database is never written.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include "chatlastupdates.h"
#include "countryinfo.h"

#include <vector>

class IOS6MessageDb;
class ProgressReporter;
struct _MsgChat;
struct _MsgHandle;
struct _MsgMessage;

class IOS6RestoreMessagesBuilder
{
public:
    // A file for the merge into the backup.
    struct FileToPlace
    {
        QString domain;
        QString localFile;
        QString relativePath; // inside the domain
        bool overwrite;
    };

    // One message of the merged order: a row of the backup's table or a
    // chosen message.
    struct InsertData
    {
        qint64 rowid = 0; // the row id in the database the message comes from
        int date21 = 0;
        bool fromTarget = false;
        bool recovered = false;
        int index = 0; // into the backup's rows or the chosen messages
    };
    // Messages close together in both id (20) and time (120 seconds) follow
    // their ids, all others their dates; on a tie the backup's row goes
    // first. Not a strict weak ordering: sort only with qsMergeSort.
    static bool compareInsertDataLess(const InsertData& a, const InsertData& b);

    // `targetDb` is the cached sms.db of the backup; it is closed by run()
    // and not written. `messages` must stay unchanged until run() returns.
    IOS6RestoreMessagesBuilder(const _CountryInfo& country, const QList<_MsgMessage*>& messages,
                               IOS6MessageDb& targetDb);

    // Builds the new database. Leaves with Cancelled on a cancel and with a
    // std::exception on a failure, having removed the new file in both cases
    // (but when the copy itself failed: the path may be another's file).
    void run(ProgressReporter& reporter);

    // The new database file: the cached sms.db's path and the time of the
    // run in seconds since 1970.
    const QString& newDbPath() const { return m_newPath; }
    // Filled only by a successful run: the new database as HomeDomain
    // "Library/SMS/sms.db" first, then the existing attachment files of the
    // accepted messages in MediaDomain.
    const QList<FileToPlace>& filesToPlace() const { return m_files; }
    // The chosen messages taken into the database, and those left out for
    // want of a conversation.
    int acceptedCount() const { return m_accepted; }
    int unknownChatCount() const { return m_unknownChats; }

private:
    struct TargetRow
    {
        qint64 rowid;
        QString guid;
        bool writes; // the first of its guid in the merged order
    };

    // One step per message of the merged order: a cancel is seen before
    // each, and the percentage reported when it changes.
    struct Progress
    {
        ProgressReporter& reporter;
        qsizetype total;
        qsizetype done = 0;
        int lastPercent = -1;
        void step();
    };

    void build(IOS6MessageDb& db, const QString& targetPath, ProgressReporter& reporter);
    void clearCopy(IOS6MessageDb& db);
    void copyTargetTables(IOS6MessageDb& db);
    void loadKnownRows(IOS6MessageDb& db);
    void addTargetEntries(IOS6MessageDb& db, std::vector<InsertData>& entries);
    void addChosenEntries(IOS6MessageDb& db, std::vector<InsertData>& entries);
    // Gives every distinct guid its new row id, in the merged order.
    void numberMessages(const QList<InsertData>& order);
    void writeTargetRows(IOS6MessageDb& db, Progress& progress);
    // `writes`: the message is the first of its guid, else it only adds its joins.
    void writeChosen(IOS6MessageDb& db, const _MsgMessage& msg, bool writes);
    qint64 chatIdOf(IOS6MessageDb& db, const _MsgChat& chat);
    // The handle's row id, found or inserted, joined to the chat.
    qint64 handleIdIn(IOS6MessageDb& db, const _MsgHandle& handle, qint64 chatId);
    void listFiles();
    void removeNewFile();

    _CountryInfo m_country;
    const QList<_MsgMessage*>& m_messages;
    IOS6MessageDb& m_target;

    QString m_newPath;
    QList<FileToPlace> m_files;
    int m_accepted = 0;
    int m_unknownChats = 0;

    // The backup's message rows.
    std::vector<TargetRow> m_targetRows;
    // Whether each chosen message (by its index) writes its row.
    QHash<int, bool> m_chosenWrites;
    // What the new file holds, so that no row is looked up by a query of its
    // own: chats and attachments by guid, handles by id and service, the
    // pairs of chat and handle, and the new row id of every message guid.
    QHash<QString, qint64> m_chatIds;
    QHash<QString, qint64> m_attachmentIds;
    QHash<QString, qint64> m_handleIds;
    QSet<QPair<qint64, qint64>> m_chatHandles;
    QHash<QString, qint64> m_messageIds;
    // What the chat rows get once the chosen messages are in.
    ChatLastUpdates m_chatUpdates;
    // The accepted messages that have attachments, in the order chosen.
    QList<const _MsgMessage*> m_withAttachments;
};
