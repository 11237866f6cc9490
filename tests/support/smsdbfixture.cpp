#include "smsdbfixture.h"

#include <QDir>

#include "sqlfixture.h"

namespace SmsDbFixture {

namespace {

const char* const kMessageBase =
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT, replace INTEGER DEFAULT 0, "
    "service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, country TEXT, attributedBody BLOB, "
    "version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, "
    "error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER DEFAULT 0, "
    "is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, "
    "is_delayed INTEGER DEFAULT 0, is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, "
    "is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER DEFAULT 0, "
    "is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, "
    "is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, "
    "was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0";
const char* const kMessageOptional =
    ", is_audio_message INTEGER DEFAULT 0, is_played INTEGER DEFAULT 0, date_played INTEGER, item_type INTEGER DEFAULT 0, "
    "other_handle INTEGER DEFAULT 0, group_title TEXT, group_action_type INTEGER DEFAULT 0, share_status INTEGER DEFAULT 0, "
    "share_direction INTEGER DEFAULT 0, is_expirable INTEGER DEFAULT 0, expire_state INTEGER DEFAULT 0, "
    "message_action_type INTEGER DEFAULT 0";
const char* const kMessageCloudKit = ", ck_sync_state INTEGER DEFAULT 0, ck_record_id TEXT, ck_record_change_tag TEXT";

const char* const kHandleBase =
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT, service TEXT NOT NULL, "
    "uncanonicalized_id TEXT";

const char* const kChatBase =
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER, state INTEGER, account_id TEXT, "
    "properties BLOB, chat_identifier TEXT, service_name TEXT, room_name TEXT, account_login TEXT, "
    "is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT";

const char* const kAttachmentBase =
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, created_date INTEGER DEFAULT 0, "
    "start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, mime_type TEXT, transfer_state INTEGER DEFAULT 0, "
    "is_outgoing INTEGER DEFAULT 0";
const char* const kAttachmentLocal = ", user_info BLOB, transfer_name TEXT, total_bytes INTEGER DEFAULT 0";

const char* const kJoins =
    "CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id));"
    "CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, PRIMARY KEY (chat_id, message_id));"
    "CREATE TABLE message_attachment_join (message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, "
    "attachment_id INTEGER REFERENCES attachment (ROWID) ON DELETE CASCADE, UNIQUE(message_id, attachment_id));";

QString table(const char* name, const QString& columns)
{
    return QStringLiteral("CREATE TABLE %1 (%2);").arg(QLatin1String(name), columns);
}

} // namespace

QString smsDbPath(const QString& folder)
{
    return QDir(folder).absoluteFilePath("file-relay/var/mobile/Library/SMS/sms.db");
}

void createDevice(const QString& path, int variant)
{
    const bool optional = variant & OptionalColumns;
    QString message = kMessageBase;
    if (optional)
        message += kMessageOptional;
    if (variant & Nanoseconds)
        message += kMessageCloudKit;
    QString chat = kChatBase;
    QString attachment = kAttachmentBase;
    if (optional) {
        chat += ", display_name TEXT, group_id TEXT";
        attachment += QString(kAttachmentLocal) + ", original_guid TEXT";
    }
    QString sql = table("message", message) + table("handle", QString(kHandleBase) + ", UNIQUE (id, service)")
                  + table("chat", chat) + table("attachment", attachment) + kJoins;
    if (variant & SyncTables) {
        for (const char* name : {"sync_deleted_messages", "sync_deleted_chats", "sync_deleted_attachments"})
            sql += QStringLiteral("CREATE TABLE %1 (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, recordID TEXT);"
                                  "INSERT INTO %1 (guid, recordID) VALUES ('gone', 'r1');")
                       .arg(QLatin1String(name));
        sql += "CREATE TABLE deleted_messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, guid TEXT NOT NULL);"
               "INSERT INTO deleted_messages (guid) VALUES ('gone');";
    }
    if (variant & FunctionTriggers)
        sql += "CREATE TRIGGER before_delete_on_attachment BEFORE DELETE ON attachment BEGIN "
               "SELECT before_delete_attachment_path(OLD.ROWID, OLD.guid); END;"
               "CREATE TRIGGER after_delete_on_attachment AFTER DELETE ON attachment BEGIN "
               "SELECT delete_attachment_path(OLD.filename); END;";
    SqlFixture::build(path, sql);
}

void createOldLocal(const QString& path)
{
    const QString sql = table("message", kMessageBase)
                        + table("handle", QString(kHandleBase) + ", _ct_name TEXT, _photo BLOB, UNIQUE (id, service)")
                        + table("chat", QString(kChatBase) + ", display_name TEXT, _last INTEGER DEFAULT 0")
                        + table("attachment", QString(kAttachmentBase) + kAttachmentLocal) + kJoins;
    SqlFixture::build(path, sql);
}

} // namespace SmsDbFixture
