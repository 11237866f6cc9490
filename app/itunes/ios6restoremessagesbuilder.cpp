#include "ios6restoremessagesbuilder.h"

#include "ios6messagedb.h"
#include "mergesort.h"
#include "messagecolumns.h"
#include "privatemode.h"
#include "progressreporter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// The row ids that the message store gives to the conversations it makes up
// for recovered messages without a chat.
const qint64 kMadeUpChatRowIdLimit = -2047483647;

QString tr(const char* text)
{
    return QCoreApplication::translate("IOS6RestoreMessagesThread", text);
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

QString handleKey(const QString& id, const QString& service)
{
    return id + QLatin1Char('\n') + service;
}

// The quoted columns of a table of the open file, the row id left out when asked.
QStringList quotedColumns(IOS6MessageDb& db, const QString& table, bool withRowId)
{
    QStringList columns;
    const QHash<QString, _SqliteCol> info = db.tbInfo(table);
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        if (!withRowId && it.key().compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0)
            continue;
        columns << sqlQuoteIdentifier(it.key());
    }
    columns.sort();
    return columns;
}

// A relative path that stays inside its domain: no empty, "." or ".." part.
bool staysInside(const QString& relativePath)
{
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        if (part == QLatin1String("..") || part == QLatin1String(".") || (part.isEmpty() && i + 1 < parts.size()))
            return false;
    }
    return !relativePath.endsWith(QLatin1Char('/'));
}

} // namespace

bool IOS6RestoreMessagesBuilder::compareInsertDataLess(const InsertData& a, const InsertData& b)
{
    if (a.rowid > 0 && b.rowid > 0 && !a.recovered && !b.recovered && qAbs(a.rowid - b.rowid) <= 20
        && qAbs(qint64(a.date21) - qint64(b.date21)) <= 120) {
        if (a.rowid == b.rowid)
            return a.fromTarget;
        return a.rowid < b.rowid;
    }
    if (a.date21 != b.date21)
        return a.date21 < b.date21;
    return a.fromTarget;
}

IOS6RestoreMessagesBuilder::IOS6RestoreMessagesBuilder(const _CountryInfo& country,
                                                       const QList<_MsgMessage*>& messages, IOS6MessageDb& targetDb)
    : m_country(country), m_messages(messages), m_target(targetDb)
{
}

void IOS6RestoreMessagesBuilder::run(ProgressReporter& reporter)
{
    reporter.reportProgress(tr("IDS_MERGING_IOS6_MESSAGES"), 0, QString());
    m_accepted = 0;
    m_unknownChats = 0;
    m_files.clear();
    const QString targetPath = m_target.iosDbPath();
    m_newPath = targetPath + QString::number(QDateTime::currentSecsSinceEpoch());
    m_target.close();
    // QFile::copy never replaces a file: a path taken fails here.
    if (!QFile::copy(targetPath, m_newPath))
        fail(tr("copy database to %1 failed.").arg(m_newPath));
    try {
        g_makePrivate(m_newPath);
        IOS6MessageDb db(m_target.folder(), m_country, false);
        db.setIOSDbPath(m_newPath);
        try {
            build(db, targetPath, reporter);
        } catch (...) {
            db.close();
            throw;
        }
    } catch (...) {
        removeNewFile();
        throw;
    }
    listFiles();
}

void IOS6RestoreMessagesBuilder::build(IOS6MessageDb& db, const QString& targetPath, ProgressReporter& reporter)
{
    db.openCheck();
    clearCopy(db);
    // The cached file is read through the new file's connection: its tables
    // are copied by one statement each, and no message row is held in memory.
    db.executeThrow(Sqlite3Sql("attach database ? as tgt").addTextParam(targetPath));
    db.beginEdit();
    copyTargetTables(db);
    loadKnownRows(db);

    std::vector<InsertData> entries;
    addTargetEntries(db, entries);
    addChosenEntries(db, entries);
    if (m_accepted == 0)
        fail(tr("IDS_NO_VALID_MESSAGE_RESTORE_TO_IOS_%1_UNKNOWN_CHAT_MSG").arg(m_unknownChats));
    QList<InsertData> order(entries.begin(), entries.end());
    entries.clear();
    qsMergeSort(order, &IOS6RestoreMessagesBuilder::compareInsertDataLess);

    Progress progress{reporter, order.size()};
    numberMessages(order);
    writeTargetRows(db, progress);
    for (const InsertData& entry : std::as_const(order)) {
        if (entry.fromTarget)
            continue;
        progress.step();
        writeChosen(db, *m_messages.at(entry.index), m_chosenWrites.value(entry.index));
    }
    m_chatUpdates.flush(db);
    db.endEdit(true);
    db.close();
}

void IOS6RestoreMessagesBuilder::Progress::step()
{
    reporter.throwIfCancelled();
    ++done;
    const int percent = int(double(done) / double(total) * 99);
    if (percent != lastPercent)
        reporter.reportProgress(QString(), percent, QString());
    lastPercent = percent;
}

void IOS6RestoreMessagesBuilder::numberMessages(const QList<InsertData>& order)
{
    // The message table is empty and its sequence reset: written in the
    // merged order, one row per guid, the k-th row would get row id k. The
    // ids are given out here, so that the backup's rows can go in by one
    // statement and the chosen ones where they belong.
    m_messageIds.clear();
    m_messageIds.reserve(order.size());
    qint64 next = 1;
    for (const InsertData& entry : order) {
        const QString& guid = entry.fromTarget ? m_targetRows[size_t(entry.index)].guid : m_messages.at(entry.index)->guid;
        const bool first = !m_messageIds.contains(guid);
        if (first)
            m_messageIds.insert(guid, next++);
        if (entry.fromTarget)
            m_targetRows[size_t(entry.index)].writes = first;
        else
            m_chosenWrites.insert(entry.index, first);
    }
}

void IOS6RestoreMessagesBuilder::writeTargetRows(IOS6MessageDb& db, Progress& progress)
{
    // Which new row each of the backup's rows becomes, and whether it is the
    // one that writes that row (a chosen message of the same guid may have
    // come first).
    db.executeThrow("create temp table restore_rows (old_id INTEGER PRIMARY KEY, new_id INTEGER, writes INTEGER)");
    for (const TargetRow& row : m_targetRows) {
        progress.step();
        db.executeThrow(Sqlite3Sql("insert into temp.restore_rows values (?,?,?)")
                            .addInt64Param(row.rowid)
                            .addInt64Param(m_messageIds.value(row.guid))
                            .addIntParam(row.writes ? 1 : 0));
    }
    // Every column but the row id comes along; the joins follow the backup's
    // rows to their new ids.
    const QStringList columns = quotedColumns(db, QStringLiteral("message"), false);
    QStringList selected;
    for (const QString& column : columns)
        selected << QStringLiteral("m.") + column;
    db.executeThrow(QStringLiteral("insert into main.message (ROWID,%1) select r.new_id,%2 from temp.restore_rows r "
                                   "join tgt.message m on m.rowid = r.old_id where r.writes = 1 order by r.new_id")
                        .arg(columns.join(QLatin1Char(',')), selected.join(QLatin1Char(','))));
    db.executeThrow("insert or replace into main.chat_message_join (chat_id, message_id) select j.chat_id, r.new_id "
                    "from temp.restore_rows r join tgt.chat_message_join j on j.message_id = r.old_id");
    db.executeThrow("insert or replace into main.message_attachment_join (message_id, attachment_id) "
                    "select r.new_id, j.attachment_id from temp.restore_rows r "
                    "join tgt.message_attachment_join j on j.message_id = r.old_id");
    db.executeThrow("drop table temp.restore_rows");
}

void IOS6RestoreMessagesBuilder::clearCopy(IOS6MessageDb& db)
{
    for (const char* table : {"attachment", "chat", "handle", "message", "message_attachment_join",
                              "chat_message_join", "chat_handle_join"})
        db.executeThrow(QStringLiteral("delete from %1").arg(QLatin1String(table)));
    // A file without AUTOINCREMENT tables has no sequence table to reset.
    if (db.queryThrow("select 1 from sqlite_master where name='sqlite_sequence'").moveNext())
        db.executeThrow("update sqlite_sequence set seq=0 where name in ('handle', 'chat', 'message', 'attachment')");
    db.executeThrow("vacuum");
}

void IOS6RestoreMessagesBuilder::copyTargetTables(IOS6MessageDb& db)
{
    // The rows keep their row ids; a chat's properties are not carried over.
    for (const char* name : {"chat", "handle", "chat_handle_join", "attachment"}) {
        const QString table = QLatin1String(name);
        const QStringList columns = quotedColumns(db, table, true);
        QStringList values = columns;
        if (table == QLatin1String("chat"))
            for (QString& value : values)
                if (value.compare(QLatin1String("\"properties\""), Qt::CaseInsensitive) == 0)
                    value = QStringLiteral("NULL");
        db.executeThrow(QStringLiteral("insert into main.%1 (%2) select %3 from tgt.%1")
                            .arg(table, columns.join(QLatin1Char(',')), values.join(QLatin1Char(','))));
    }
}

void IOS6RestoreMessagesBuilder::loadKnownRows(IOS6MessageDb& db)
{
    m_chatIds.clear();
    m_attachmentIds.clear();
    m_handleIds.clear();
    m_chatHandles.clear();
    m_chatUpdates.clear();
    Sqlite3Cursor chats = db.queryThrow("select rowid, guid from main.chat order by rowid");
    while (chats.moveNext())
        m_chatIds.insert(chats.getText(1), chats.getInt64(0)); // guids are unique
    Sqlite3Cursor attachments = db.queryThrow("select rowid, guid from main.attachment order by rowid");
    while (attachments.moveNext())
        m_attachmentIds.insert(attachments.getText(1), attachments.getInt64(0));
    // The first row of an id and service stands for it, as a lookup finds it.
    Sqlite3Cursor handles = db.queryThrow("select rowid, id, service from main.handle order by rowid");
    while (handles.moveNext()) {
        const QString key = handleKey(handles.getText(1), handles.getText(2));
        if (!m_handleIds.contains(key))
            m_handleIds.insert(key, handles.getInt64(0));
    }
    Sqlite3Cursor pairs = db.queryThrow("select chat_id, handle_id from main.chat_handle_join");
    while (pairs.moveNext())
        m_chatHandles.insert(qMakePair(pairs.getInt64(0), pairs.getInt64(1)));
}

void IOS6RestoreMessagesBuilder::addTargetEntries(IOS6MessageDb& db, std::vector<InsertData>& entries)
{
    m_targetRows.clear();
    const bool nanoseconds = db.isNanosecondTable();
    Sqlite3Cursor c = db.queryThrow("select rowid, guid, date from tgt.message order by rowid");
    while (c.moveNext()) {
        InsertData entry;
        entry.rowid = c.getInt64(0);
        entry.date21 = messageDate(c.getInt64(2), nanoseconds);
        entry.fromTarget = true;
        entry.index = int(m_targetRows.size());
        m_targetRows.push_back({entry.rowid, c.getText(1), false});
        entries.push_back(entry);
    }
}

void IOS6RestoreMessagesBuilder::addChosenEntries(IOS6MessageDb& db, std::vector<InsertData>& entries)
{
    m_withAttachments.clear();
    const bool groupEvents = db.isItemTypeEnabled();
    for (int i = 0; i < m_messages.size(); ++i) {
        const _MsgMessage* msg = m_messages.at(i);
        if (!msg->chat || msg->chat->ROWID <= kMadeUpChatRowIdLimit) {
            qDebug("IOS6RestoreMessagesThread skip message with unknown chat.");
            ++m_unknownChats;
            continue;
        }
        if (msg->item_type != 0 && !groupEvents)
            continue;
        ++m_accepted;
        if (!msg->attas.isEmpty())
            m_withAttachments.append(msg);
        InsertData entry;
        entry.rowid = msg->srcRowId;
        entry.date21 = msg->date;
        entry.recovered = msg->recovered;
        entry.index = i;
        entries.push_back(entry);
    }
}

void IOS6RestoreMessagesBuilder::writeChosen(IOS6MessageDb& db, const _MsgMessage& msg, bool writes)
{
    const qint64 chatId = chatIdOf(db, *msg.chat);
    const qint64 senderId = msg.handle ? handleIdIn(db, *msg.handle, chatId) : 0;
    const qint64 messageId = m_messageIds.value(msg.guid);
    if (writes) {
        const qint64 otherId = msg.otherHandle ? handleIdIn(db, *msg.otherHandle, chatId) : 0;
        db.insertMessage(msg, senderId, otherId, QString(), messageId);
        db.joinChatMessage(chatId, messageId);
        m_chatUpdates.noteDate(chatId, msg.date);
    }
    if (msg.chat->isGroup() && msg.handle)
        m_chatUpdates.noteSender(chatId, msg.handle->id);
    for (const _MsgAttachment* atta : msg.attachments()) {
        qint64 attachmentId = m_attachmentIds.value(atta->guid);
        if (attachmentId == 0) {
            attachmentId = db.insertAttachment(*atta);
            m_attachmentIds.insert(atta->guid, attachmentId);
        }
        db.joinMessageAtta(messageId, attachmentId);
    }
}

qint64 IOS6RestoreMessagesBuilder::chatIdOf(IOS6MessageDb& db, const _MsgChat& chat)
{
    qint64 chatId = m_chatIds.value(chat.guid);
    if (chatId == 0) {
        chatId = db.insertChatAndHandles(chat);
        m_chatIds.insert(chat.guid, chatId);
    }
    return chatId;
}

qint64 IOS6RestoreMessagesBuilder::handleIdIn(IOS6MessageDb& db, const _MsgHandle& handle, qint64 chatId)
{
    // A new conversation brings its correspondents along, past these lookups:
    // a handle or pair not seen yet is asked of the file once.
    const QString key = handleKey(handle.id, handle.service);
    qint64 handleId = m_handleIds.value(key);
    if (handleId == 0) {
        handleId = db.findHandle(handle);
        if (handleId == 0)
            handleId = db.insertHandle(handle);
        m_handleIds.insert(key, handleId);
    }
    const QPair<qint64, qint64> pair(chatId, handleId);
    if (!m_chatHandles.contains(pair)) {
        if (!db.isHandleBelong2Chat(chatId, handleId))
            db.joinChatHandle(chatId, handleId);
        m_chatHandles.insert(pair);
    }
    return handleId;
}

void IOS6RestoreMessagesBuilder::listFiles()
{
    m_files.clear();
    m_files.append({QStringLiteral("HomeDomain"), m_newPath, QStringLiteral("Library/SMS/sms.db"), true});
    for (const _MsgMessage* msg : std::as_const(m_withAttachments)) {
        for (const _MsgAttachment* atta : msg->attachments()) {
            const int at = atta->filename.indexOf(QLatin1String("Library/"));
            if (at < 0 || !QFileInfo(atta->localPath).isFile())
                continue;
            const QString relativePath = atta->filename.mid(at);
            // The path is where the phone puts the file: one that climbs out
            // of its domain is not handed on.
            if (!staysInside(relativePath)) {
                qWarning("IOS6RestoreMessagesThread: skipped the attachment path \"%s\"", qUtf8Printable(relativePath));
                continue;
            }
            m_files.append({QStringLiteral("MediaDomain"), atta->localPath, relativePath, false});
        }
    }
}

void IOS6RestoreMessagesBuilder::removeNewFile()
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(m_newPath + QLatin1String(suffix));
}
