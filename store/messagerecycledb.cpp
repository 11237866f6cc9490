#include "messagerecycledb.h"

#include <QFile>
#include <QRegularExpression>
#include <stdexcept>

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

// The 32-bit columns of a stored message, in table order, with their fields.
struct IntColumn
{
    const char* name;
    int _MsgMessage::*field;
};
const IntColumn kIntColumns[] = {
    {"replace", &_MsgMessage::replace},
    {"version", &_MsgMessage::version},
    {"type", &_MsgMessage::type},
    {"error", &_MsgMessage::error},
    {"date", &_MsgMessage::date},
    {"date_read", &_MsgMessage::date_read},
    {"date_delivered", &_MsgMessage::date_delivered},
    {"is_delivered", &_MsgMessage::is_delivered},
    {"is_finished", &_MsgMessage::is_finished},
    {"is_emote", &_MsgMessage::is_emote},
    {"is_from_me", &_MsgMessage::is_from_me},
    {"is_empty", &_MsgMessage::is_empty},
    {"is_delayed", &_MsgMessage::is_delayed},
    {"is_auto_reply", &_MsgMessage::is_auto_reply},
    {"is_prepared", &_MsgMessage::is_prepared},
    {"is_read", &_MsgMessage::is_read},
    {"is_system_message", &_MsgMessage::is_system_message},
    {"is_sent", &_MsgMessage::is_sent},
    {"has_dd_results", &_MsgMessage::has_dd_results},
    {"is_service_message", &_MsgMessage::is_service_message},
    {"is_forward", &_MsgMessage::is_forward},
    {"was_downgraded", &_MsgMessage::was_downgraded},
    {"is_archive", &_MsgMessage::is_archive},
    {"cache_has_attachments", &_MsgMessage::cache_has_attachments},
    {"was_data_detected", &_MsgMessage::was_data_detected},
    {"was_deduplicated", &_MsgMessage::was_deduplicated},
};

struct TextColumn
{
    const char* name;
    QString _MsgMessage::*field;
};
const TextColumn kTextColumns[] = {
    {"guid", &_MsgMessage::guid},
    {"text", &_MsgMessage::text},
    {"service_center", &_MsgMessage::service_center},
    {"subject", &_MsgMessage::subject},
    {"country", &_MsgMessage::country},
    {"service", &_MsgMessage::service},
    {"account", &_MsgMessage::account},
    {"account_guid", &_MsgMessage::account_guid},
    {"cache_roomnames", &_MsgMessage::cache_roomnames},
};

// Texts stored only when not empty.
const char* const kOptionalTexts[] = {"service_center", "subject", "country"};

bool isOptionalText(const char* name)
{
    for (const char* optional : kOptionalTexts)
        if (qstrcmp(optional, name) == 0)
            return true;
    return false;
}

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
    if (handle)
        return;
    if (QFile::exists(path)) {
        openThrow(path, ReadWrite);
        return;
    }
    openThrow(path, ReadWriteCreate);
    QString error;
    if (exec(QString::fromLatin1(kSchema), error) != 0) {
        // A half-made schema would be taken as a recovery database by every
        // later open: drop the file this call created.
        close();
        QFile::remove(path);
        throw std::runtime_error(QStringLiteral("create MessageRecycleDb error. %1").arg(error).toUtf8().toStdString());
    }
}

qint64 MessageRecycleDb::insertMessage(const _MsgMessage* msg, const QString& chatIdentifier, const QString& handle,
                                       qint64 srcRowId)
{
    openCheck();
    Sqlite3Row row;
    for (const TextColumn& col : kTextColumns) {
        const QString& value = msg->*col.field;
        if (!isOptionalText(col.name) || !value.isEmpty())
            row[QLatin1String(col.name)] = value;
    }
    if (!isGuidShaped(msg->guid))
        row[QStringLiteral("guid")] = genUUID();
    row[QStringLiteral("handle_id")] = msg->handle_id;
    if (!msg->attributedBody.isEmpty())
        row[QStringLiteral("attributedBody")] = msg->attributedBody;
    for (const IntColumn& col : kIntColumns)
        row[QLatin1String(col.name)] = msg->*col.field;
    row[QStringLiteral("cache_has_attachments")] = msg->attas.isEmpty() ? 0 : 1;
    row[QStringLiteral("chat_identifier")] = chatIdentifier;
    row[QStringLiteral("handle")] = handle;
    if (srcRowId > 0)
        row[QStringLiteral("src_rowid")] = srcRowId;
    return insertSqlRow(row, QStringLiteral("message"), {});
}

qint64 MessageRecycleDb::findMessage(const _MsgMessage* msg)
{
    openCheck();
    Sqlite3Cursor c = queryThrow(Sqlite3Sql("select rowid from message where guid=? or (date=? and is_from_me=? and text=?)")
                                     .addTextParam(msg->guid)
                                     .addIntParam(msg->date)
                                     .addIntParam(msg->is_from_me)
                                     .addTextParam(msg->text));
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
        m.ROWID = kRecoveredBase - stored;
        for (const TextColumn& col : kTextColumns)
            m.*col.field = c.getText(QLatin1String(col.name));
        m.handle_id = c.getInt64(QStringLiteral("handle_id"));
        m.attributedBody = c.getBlob(QStringLiteral("attributedBody"));
        for (const IntColumn& col : kIntColumns)
            m.*col.field = c.getInt(QLatin1String(col.name));
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
