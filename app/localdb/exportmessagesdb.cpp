#include "exportmessagesdb.h"

#include "devicefilepath.h"
#include "msgrecords.h"
#include "pathguard.h"
#include "privatemode.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

namespace {

// The row ids that the message store gives to the conversations it makes up
// for recovered messages without a chat.
const qint64 kMadeUpChatRowIdLimit = -2047483647;

// Attachment files are copied in blocks of this size.
constexpr qint64 kCopyBlock = 64 * 1024;

QString handleKey(const QString& id, const QString& service)
{
    return id + QLatin1Char('\n') + service;
}

bool existsNoFollow(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Copies `from` to `to` through a temporary file beside `to` that is renamed
// into place only when every byte is written; the copy is private. False,
// with nothing at `to`, on any failure; `error` then says why.
bool copyPrivateFile(const QString& from, const QString& to, QString& error)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        error = source.errorString();
        return false;
    }
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly) || !g_makePrivate(target)) {
        error = target.errorString();
        return false;
    }
    QByteArray block(kCopyBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 n = source.read(block.data(), block.size());
        if (n < 0) {
            error = source.errorString();
            return false;
        }
        if (n == 0)
            break;
        if (target.write(block.constData(), n) != n) {
            error = target.errorString();
            return false;
        }
    }
    if (!target.commit()) {
        error = target.errorString();
        return false;
    }
    return true;
}

} // namespace

ExportMessagesDb::ExportMessagesDb(const QDir& dir, const _CountryInfo& country)
    : db(dir, country, true)
{
}

ExportMessagesDb::~ExportMessagesDb() = default;

void ExportMessagesDb::init()
{
    db.beginEdit();
    m_hasLogicHash = false;
    const QStringList columns = db.tbInfo(QStringLiteral("message")).keys();
    for (const QString& column : columns)
        m_hasLogicHash = m_hasLogicHash || column.compare(QLatin1String("logic_hash"), Qt::CaseInsensitive) == 0;
    loadKnownRows();
    m_fileRelayGuard = std::make_unique<PathGuard>(QDir(db.folder().filePath(QStringLiteral("file-relay"))));
    m_copiedFiles = 0;
}

// One query per table instead of one per message: a backup of many messages
// into a large database reads each table once.
void ExportMessagesDb::loadKnownRows()
{
    m_chatIds.clear();
    m_handleIds.clear();
    m_chatHandles.clear();
    m_messageIds.clear();
    m_messageHashes.clear();
    m_attachmentIds.clear();
    m_chatUpdates.clear();

    Sqlite3Cursor chats = db.queryThrow("select rowid, guid from chat");
    while (chats.moveNext())
        m_chatIds.insert(chats.getText(1), chats.getInt64(0));
    Sqlite3Cursor handles = db.queryThrow("select rowid, id, service from handle");
    while (handles.moveNext())
        m_handleIds.insert(handleKey(handles.getText(1), handles.getText(2)), handles.getInt64(0));
    Sqlite3Cursor joins = db.queryThrow("select chat_id, handle_id from chat_handle_join");
    while (joins.moveNext())
        m_chatHandles.insert(qMakePair(joins.getInt64(0), joins.getInt64(1)));
    Sqlite3Cursor messages = db.queryThrow(m_hasLogicHash ? "select rowid, guid, logic_hash from message"
                                                          : "select rowid, guid from message");
    while (messages.moveNext()) {
        const qint64 rowId = messages.getInt64(0);
        m_messageIds.insert(messages.getText(1), rowId);
        // The first row of a hash is the one a lookup by hash finds.
        if (m_hasLogicHash && !messages.isNull(QStringLiteral("logic_hash")))
            m_messageHashes.insert(messages.getText(2), rowId);
    }
    Sqlite3Cursor attachments = db.queryThrow("select rowid, guid from attachment");
    while (attachments.moveNext())
        m_attachmentIds.insert(attachments.getText(1), attachments.getInt64(0));
}

void ExportMessagesDb::write(_MsgMessage& msg)
{
    if (msg.item_type != 0 && !db.isItemTypeEnabled())
        return; // a group event this file cannot hold
    if (!msg.chat) {
        qDebug("IOS6RestoreMessagesThread skip message with empty chat.");
        return;
    }
    if (msg.chat->ROWID <= kMadeUpChatRowIdLimit) {
        qDebug("IOS6RestoreMessagesThread skip message with unknown chat.");
        return;
    }
    const _MsgChat& chat = *msg.chat;
    const qint64 chatId = chatIdOf(chat);
    const qint64 senderId = msg.handle ? handleIdIn(*msg.handle, chatId) : 0;

    const QString hash = m_hasLogicHash ? msg.logicalHash() : QString();
    qint64 messageId = m_hasLogicHash ? m_messageHashes.value(hash) : 0;
    if (messageId == 0)
        messageId = m_messageIds.value(msg.guid);
    if (messageId == 0) {
        const qint64 otherId = msg.otherHandle ? handleIdIn(*msg.otherHandle, chatId) : 0;
        messageId = db.insertMessage(msg, senderId, otherId, hash);
        db.joinChatMessage(chatId, messageId);
        m_messageIds.insert(msg.guid, messageId);
        if (m_hasLogicHash && !m_messageHashes.contains(hash))
            m_messageHashes.insert(hash, messageId);
        m_chatUpdates.noteDate(chatId, msg.date);
    }
    if (chat.isGroup() && msg.handle)
        m_chatUpdates.noteSender(chatId, msg.handle->id);

    for (const _MsgAttachment* att : msg.attachments())
        writeAttachment(*att, messageId);
}

qint64 ExportMessagesDb::chatIdOf(const _MsgChat& chat)
{
    const qint64 known = m_chatIds.value(chat.guid);
    if (known != 0)
        return known;
    const qint64 chatId = db.insertChatAndHandles(chat);
    m_chatIds.insert(chat.guid, chatId);
    // The store found or inserted the chat's handles and joined them; learn
    // their ids (once per new chat).
    for (const _MsgHandle* h : chat.handles) {
        const QString key = handleKey(h->id, h->service);
        qint64 handleId = m_handleIds.value(key);
        if (handleId == 0) {
            handleId = db.findHandle(*h);
            m_handleIds.insert(key, handleId);
        }
        m_chatHandles.insert(qMakePair(chatId, handleId));
    }
    return chatId;
}

qint64 ExportMessagesDb::handleIdIn(const _MsgHandle& handle, qint64 chatId)
{
    const QString key = handleKey(handle.id, handle.service);
    qint64 handleId = m_handleIds.value(key);
    if (handleId == 0) {
        handleId = db.insertHandle(handle);
        m_handleIds.insert(key, handleId);
    }
    const QPair<qint64, qint64> pair(chatId, handleId);
    if (!m_chatHandles.contains(pair)) {
        db.joinChatHandle(chatId, handleId);
        m_chatHandles.insert(pair);
    }
    return handleId;
}

void ExportMessagesDb::writeAttachment(const _MsgAttachment& att, qint64 messageId)
{
    if (!att.localPath.isEmpty() && QFileInfo(att.localPath).isFile())
        copyAttachmentFile(att);
    qint64 attachmentId = m_attachmentIds.value(att.guid);
    if (attachmentId == 0) {
        attachmentId = db.insertAttachment(att);
        m_attachmentIds.insert(att.guid, attachmentId);
    }
    db.joinMessageAtta(messageId, attachmentId);
}

// The copy lies where a reader of this database looks for it: the device
// path rewritten under file-relay. A file already there stays as it is; a
// copy that fails only leaves the file out.
void ExportMessagesDb::copyAttachmentFile(const _MsgAttachment& att)
{
    const QString target = deviceFileLocalPath(*m_fileRelayGuard, att.filename, "ExportMessagesDb::write");
    if (target.isEmpty() || existsNoFollow(target))
        return;
    QString error;
    if (!g_mkPrivatePath(QFileInfo(target).absolutePath()))
        error = QStringLiteral("can not create its folder");
    else if (copyPrivateFile(att.localPath, target, error))
        ++m_copiedFiles;
    if (!error.isEmpty())
        qWarning("%s", qPrintable(QStringLiteral("ExportMessagesDb::write, attachment not copied: %1 -> %2 (%3)")
                                      .arg(att.localPath, target, error)));
}

void ExportMessagesDb::uninit()
{
    m_chatUpdates.flush(db);
    db.endEdit(true);
    db.close();
}

void ExportMessagesDb::abandon()
{
    db.close();
}
