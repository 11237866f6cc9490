#include "messagerecycledb.h"

#include <QFile>
#include <QRegularExpression>
#include <stdexcept>

#include "messagecolumns.h"
#include "msgidentifiers.h"

namespace {

const char* const kSchema =
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT, replace "
    "INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country TEXT, attributedBody "
    "BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, error "
    "INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, "
    "is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, is_empty INTEGER "
    "DEFAULT 0, is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, "
    "is_read INTEGER DEFAULT 0, is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results "
    "INTEGER DEFAULT 0, is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER "
    "DEFAULT 0, is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, "
    "was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0,chat_identifier TEXT, handle TEXT, "
    "src_rowid INTEGER, is_skip INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX message_idx_chat_identifier on message(is_skip, chat_identifier, date);"
    "CREATE INDEX message_idx_chat_date on message(date);"
    "CREATE INDEX message_idx_handle_id on message(handle_id);"
    "CREATE INDEX message_idx_src_rowid on message(src_rowid);"
    "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER, state "
    "INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT, "
    "account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, display_name TEXT,src_rowid "
    "INTEGER);"
    "CREATE INDEX chat_idx_identifier ON chat(chat_identifier);"
    "CREATE INDEX chat_idx_src_rowid ON chat(src_rowid);"
    "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT, service "
    "TEXT NOT NULL, uncanonicalized_id TEXT, src_rowid INTEGER, UNIQUE (id, service));"
    "CREATE INDEX handle_idx_src_rowid ON handle(src_rowid);";

// Recovered messages and the conversations made for them sit far below the
// row ids of any real database.
constexpr qint64 kRecoveredBase = -2047483648LL;
constexpr qint64 kMaxStoredRowId = qint64(1) << 62;

} // namespace

bool isGuidShaped(const QString& guid)
{
    // Anchored at the very end: a "$" would also accept a trailing line break.
    static const QRegularExpression shape(QRegularExpression::anchoredPattern(
        QStringLiteral("[a-zA-Z0-9]{8}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{12}")));
    return shape.match(guid).hasMatch();
}

MessageRecycleDb::MessageRecycleDb(const QString& path) : path(path) {}

void MessageRecycleDb::openCheck()
{
    if (isOpen())
        return;
    if (QFile::exists(path)) {
        openThrow(path, ReadWrite);
        return;
    }
    try {
        createFromScriptThrow(path, kSchema);
    } catch (const Sqlite3Error& e) {
        throw std::runtime_error(std::string("create MessageRecycleDb error. ") + e.what());
    }
}

qint64 MessageRecycleDb::insertMessage(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle,
                                       qint64 srcRowId)
{
    openCheck();
    // The table has the columns of the first iOS 6 schema only.
    Sqlite3Row row = messageRow(*msg, false, [](const char*) { return false; });
    if (!isGuidShaped(msg->guid))
        row[QStringLiteral("guid")] = genUUID();
    row[QStringLiteral("cache_has_attachments")] = msg->attas.isEmpty() ? 0 : 1;
    row[QStringLiteral("chat_identifier")] = chatIdentifier;
    row[QStringLiteral("handle")] = handle;
    if (srcRowId > 0)
        row[QStringLiteral("src_rowid")] = srcRowId;
    return insertSqlRow(row, QStringLiteral("message"), {});
}

qint64 MessageRecycleDb::findMessage(const _MsgMessage* msg, const QString& handle)
{
    openCheck();
    // The correspondent takes part: one text sent in the same second to
    // several people is several messages. The unary + keeps SQLite from
    // searching by handle_id, which it would otherwise prefer to the date:
    // every recovered iOS 5 message has handle_id 0, and an iOS 6+ one shares
    // its handle_id with its whole conversation, so each lookup would read
    // every message stored so far.
    Sqlite3Cursor c = queryThrow(
        Sqlite3Sql("select rowid from message where guid=? or (date=? and is_from_me=? and text=? and +handle_id=? "
                   "and (?=0 or handle=?))")
            .addTextParam(msg->guid)
            .addIntParam(msg->date)
            .addIntParam(msg->is_from_me)
            .addTextParam(msg->text)
            .addInt64Param(msg->handle_id)
            .addIntParam(handle.isNull() ? 0 : 1)
            .addTextParam(handle));
    return c.moveNext() ? c.getInt64(QStringLiteral("rowid")) : 0;
}

void MessageRecycleDb::updateMessageChat(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle)
{
    const qint64 rowid = findMessage(msg);
    if (rowid == 0)
        return;
    executeThrow(Sqlite3Sql("update message set chat_identifier=?, handle=? where rowid=?")
                     .addTextParam(chatIdentifier)
                     .addTextParam(handle)
                     .addInt64Param(rowid));
}

QList<RecycleMsg> MessageRecycleDb::messages()
{
    openCheck();
    QList<RecycleMsg> list;
    Sqlite3Cursor c = queryThrow("select * from message where is_skip=0");
    MessageRowReader reader(c, false, false);
    while (c.moveNext()) {
        const qint64 stored = c.getInt64(QStringLiteral("rowid"));
        // Row ids of a damaged file that would leave the recovered range (or
        // overflow) are skipped rather than mixed with other objects.
        if (stored <= 0 || stored > kMaxStoredRowId) {
            qWarning("MessageRecycleDb::messages, row id %lld out of range, skipped.", stored);
            continue;
        }
        RecycleMsg r;
        _MsgMessage& m = r.msg;
        reader.read(m);
        m.ROWID = kRecoveredBase - stored;
        m.recovered = true;
        r.chatIdentifier = c.getText(QStringLiteral("chat_identifier"));
        r.handleId = c.getText(QStringLiteral("handle"));
        list.append(r);
    }
    return list;
}

qint64 MessageRecycleDb::findHandle(const _MsgHandle* h)
{
    openCheck();
    Sqlite3Cursor c =
        queryThrow(Sqlite3Sql("select rowid from handle where id=? and service=?").addTextParam(h->id).addTextParam(h->service));
    return c.moveNext() ? c.getInt64(QStringLiteral("rowid")) : 0;
}

qint64 MessageRecycleDb::insertHandle(const _MsgHandle* h, qint64 srcRowId)
{
    openCheck();
    Sqlite3Row row;
    row[QStringLiteral("id")] = h->id;
    row[QStringLiteral("country")] = h->country;
    row[QStringLiteral("service")] = h->service;
    row[QStringLiteral("uncanonicalized_id")] = h->uncanonicalized_id;
    if (srcRowId > 0)
        row[QStringLiteral("src_rowid")] = srcRowId;
    return insertSqlRow(row, QStringLiteral("handle"), {});
}

namespace {
void fillHandle(_MsgHandle& h, const Sqlite3Cursor& c, const char* rowidColumn)
{
    h.ROWID = c.getInt64(QLatin1String(rowidColumn));
    h.id = c.getText(QStringLiteral("id"));
    h.service = c.getText(QStringLiteral("service"));
    h.uncanonicalized_id = c.getText(QStringLiteral("uncanonicalized_id"));
}
} // namespace

QList<_MsgHandle> MessageRecycleDb::handles()
{
    openCheck();
    QList<_MsgHandle> list;
    Sqlite3Cursor c = queryThrow("select * from handle");
    while (c.moveNext()) {
        _MsgHandle h;
        fillHandle(h, c, "rowid");
        list.append(h);
    }
    return list;
}

_MsgHandle MessageRecycleDb::handleBySrcRowId(qint64 srcRowId)
{
    openCheck();
    _MsgHandle h;
    Sqlite3Cursor c = queryThrow(QStringLiteral("select * from handle where src_rowid=%1").arg(srcRowId));
    if (c.moveNext())
        fillHandle(h, c, "src_rowid");
    return h;
}
