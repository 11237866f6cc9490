// The four records of the message model, each mirroring one table of the
// iOS 6+ sms.db (as the local databases store it) field for field, plus a few
// fields of the application's own. Links between records are raw pointers
// that own nothing: the message set (MsgData) owns every record.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include "keyedlinks.h"
#include "raretext.h"

struct _MsgHandle;
struct _MsgChat;
struct _MsgAttachment;

// Dates are date21: signed 32-bit seconds since 2001-01-01 00:00:00 UTC.
struct _MsgMessage
{
    // Members run from the widest to the narrowest, so that a million
    // records carry no padding between them.
    qint64 ROWID = 0;
    qint64 handle_id = 0;
    qint64 srcRowId = 0; // row id in the database it was read from
    QString guid;
    QString text;
    QString country;
    QString service;
    QString account;
    QString account_guid;
    QString cache_roomnames;
    QByteArray attributedBody;
    RareText service_center;
    RareText subject;
    RareText group_title;
    int replace = 0;
    int version = 10;
    int type = 0;
    int error = 0;
    int date = 0;
    int date_read = 0;
    int date_delivered = 0;
    int is_delivered = 0;
    int is_finished = 0;
    int is_emote = 0;
    int is_from_me = 0;
    int is_empty = 0;
    int is_delayed = 0;
    int is_auto_reply = 0;
    int is_prepared = 0;
    int is_read = 0;
    int is_system_message = 0;
    int is_sent = 0;
    int has_dd_results = 0;
    int is_service_message = 0;
    int is_forward = 0;
    int was_downgraded = 0;
    int is_archive = 0;
    int cache_has_attachments = 0;
    int was_data_detected = 0;
    int was_deduplicated = 0;
    int is_audio_message = 0;
    int is_played = 0;
    int date_played = 0;
    int item_type = 0;
    int other_handle = -1;
    int group_action_type = 0;
    int share_status = 0;
    int share_direction = 0;
    int is_expirable = 0;
    int expire_state = 0;
    int message_action_type = 0;
    bool recovered = false; // brought back by the recovery engine, not a live row

    _MsgHandle* handle = nullptr;
    _MsgChat* chat = nullptr;
    _MsgHandle* otherHandle = nullptr;
    AttachmentLinks attas; // keyed by attachment row id in decimal

    // The attachments ordered by row id.
    QList<_MsgAttachment*> attachments() const;

    // `text` without the attachment place holders (U+FFFC). Named apart from
    // the field it reads.
    QString visibleText() const;
    // One line (group events: two) for lists: group events written out,
    // attachments as markers ("[IMAGE]", ...), emoji left as they are.
    QString summaryRawEmoji() const;
    // summaryRawEmoji() with every emoji replaced by "[EMOJI]".
    QString summary() const;
    // The conversation's name and, in groups, the sender; names and numbers
    // in isolates as in _MsgChat::displayLine.
    QString contactInfo() const;
    // MD5 over the content (sender, date, direction, text, attachment names),
    // independent of row ids, so one message is recognised across databases.
    QString logicalHash() const;
};

struct _MsgChat
{
    qint64 ROWID = 0;
    QString guid;
    int style = 45; // 45 '-' one-to-one, 43 '+' group
    int state = 3;
    QString account_id;
    QByteArray properties;
    QString chat_identifier;
    QString service_name = QStringLiteral("SMS");
    QString room_name;
    QString account_login = QStringLiteral("E:");
    int is_archived = 0;
    QString last_addressed_handle;
    QString display_name;
    int _last = 0; // date21 of the newest message
    QString group_id;

    // keyed by handle row id in decimal (iOS 5: by address), in the order the
    // phone lists the members, so a group's name reads the same every time
    HandleLinks handles;
    MessageLinks messages; // keyed by message row id in decimal

    bool isGroup() const { return handles.size() > 1; }
    // display_name, else the handles' names joined with ", ", else "Unknown".
    QString displayName(bool withId) const;
    // displayName for a line of text: where a name or number in it runs right
    // to left, each name and each number sits in Unicode isolates.
    QString displayLine(bool withId) const;
};

struct _MsgHandle
{
    qint64 ROWID = 0;
    QString id;
    QString country;
    QString service = QStringLiteral("SMS");
    QString uncanonicalized_id;
    QString _ct_name;
    QByteArray _photo;

    // The contact name (with the id in parentheses when asked), else the id.
    QString displayName(bool withId) const;
};

struct _MsgAttachment
{
    qint64 ROWID = 0;
    QString guid;
    int created_date = 0;
    int start_date = 0;
    QString filename;
    QString uti;
    QString mime_type;
    int transfer_state = 5;
    int is_outgoing = 0;
    QByteArray user_info;
    QString transfer_name;
    qint64 total_bytes = 0;
    QString localPath; // the file inside the database folder's file-relay tree

    // Path of a 120-pixel thumbnail of the image at localPath, made on first
    // use in the private folder "thumbnails" of the data folder. Nothing is
    // written when the file is not a JPEG or PNG image or the write fails;
    // the caller then finds no file at the path.
    QString thumbnail() const;
};

// A date21 value in local time (the sum with the 1970 offset is taken as an
// unsigned 32-bit count of seconds).
QDateTime dtFromDate21(int date);
// The emoji handler of _MsgMessage::summary(): always "[EMOJI]".
QString emoji_replace_handler(void* context, QString code);

bool compareMsgAttachmentAsc(const _MsgAttachment* a, const _MsgAttachment* b);
