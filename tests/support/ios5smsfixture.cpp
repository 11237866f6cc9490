#include "ios5smsfixture.h"

#include <plist/plist.h>

#include "sqlfixture.h"

namespace IOS5SmsFixture {

const char* const kGuidA1 = "A1A1A1A1-1111-4111-8111-111111111111";
const char* const kGuidA2 = "A2A2A2A2-2222-4222-8222-222222222222";
const char* const kGuidA3 = "A3A3A3A3-3333-4333-8333-333333333333";

namespace {

// The phone's own columns, a few unread ones included.
const char* const kSmsSchema =
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, text TEXT, "
    "flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, association_id INTEGER, height INTEGER, "
    "UIFlags INTEGER, version INTEGER, subject TEXT, country TEXT, headers BLOB, recipients BLOB, read INTEGER%1);"
    "CREATE TABLE msg_group (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, type INTEGER, newest_message INTEGER, "
    "unread_count INTEGER, hash INTEGER);"
    "CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, group_id INTEGER, address TEXT, "
    "country TEXT);"
    "CREATE TABLE msg_pieces (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, message_id INTEGER, data BLOB, "
    "part_id INTEGER, preview_part INTEGER, content_type TEXT, height INTEGER, version INTEGER, flags INTEGER, "
    "content_id TEXT, content_loc TEXT, headers BLOB);";
const char* const kMadridColumns =
    ", madrid_attributedBody BLOB, madrid_handle TEXT, madrid_version INTEGER, madrid_guid TEXT, "
    "madrid_type INTEGER, madrid_roomname TEXT, madrid_service TEXT, madrid_account TEXT, "
    "madrid_account_guid TEXT, madrid_flags INTEGER, madrid_attachmentInfo BLOB, madrid_url TEXT, "
    "madrid_error INTEGER, is_madrid INTEGER, madrid_date_read INTEGER, madrid_date_delivered INTEGER";
const char* const kMadridTables =
    "CREATE TABLE madrid_attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, attachment_guid TEXT UNIQUE, "
    "created_date INTEGER, start_date INTEGER, filename TEXT, uti_type TEXT, mime_type TEXT, "
    "transfer_state INTEGER, is_incoming INTEGER, message_id INTEGER);"
    "CREATE TABLE madrid_chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, style INTEGER, state INTEGER, "
    "account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, guid TEXT, room_name TEXT, "
    "account_login TEXT, participants BLOB);";

QByteArray binaryArray(const QStringList& items)
{
    plist_t array = plist_new_array();
    for (const QString& item : items)
        plist_array_append_item(array, plist_new_string(item.toUtf8().constData()));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(array, &bytes, &length);
    QByteArray out(bytes, int(length));
    plist_to_bin_free(bytes);
    plist_free(array);
    return out;
}

} // namespace

void create(const QString& path, bool madrid)
{
    QString sql = QString::fromLatin1(kSmsSchema).arg(madrid ? QLatin1String(kMadridColumns) : QLatin1String(""));
    if (madrid)
        sql += QLatin1String(kMadridTables);
    SqlFixture::build(path, sql);
}

QByteArray participantsBlob(const QStringList& addresses)
{
    return binaryArray(addresses);
}

QByteArray attachmentInfoBlob(const QStringList& guids)
{
    return binaryArray(guids);
}

QString blobLiteral(const QByteArray& bytes)
{
    return QStringLiteral("X'%1'").arg(QString::fromLatin1(bytes.toHex()));
}

void createSample(const QString& path)
{
    create(path, true);
    const QString sql =
        QStringLiteral(
            "insert into msg_group (ROWID, type, newest_message, hash) values (1, 0, 2, 111), (2, 0, 5, 222),"
            " (3, 0, 6, 333), (4, 0, 999, 444);"
            "insert into group_member (ROWID, group_id, address, country) values (1, 1, '(212) 555-0123', 'us'),"
            " (2, 2, '2125550150', 'us'), (3, 2, '212.555.0151', 'us'), (4, 2, '(212) 555-0150', 'us'),"
            " (5, 4, '2125550199', 'us');"
            "insert into message (ROWID, address, date, text, flags, svc_center, group_id, subject, country,"
            " is_madrid) values"
            " (1, '2125550123', 1300000000, 'hi', 2, '+12125550000', 1, 'subj', 'us', 0),"
            " (2, '2125550123', 1300000100, 'hello back', 3, NULL, 1, NULL, 'us', 0),"
            " (3, '212.555.0151', 1300000200, 'group hi', 2, NULL, 2, NULL, 'us', 0),"
            " (4, NULL, 1300000300, 'to group', 3, NULL, 2, NULL, 'us', 0),"
            " (5, '2125550150', 1300000400, NULL, 2, NULL, 2, NULL, 'us', 0),"
            " (6, '5550000', 978307200, 'orphan date', 2, NULL, 3, NULL, '', 0),"
            " (7, '5550001', 1300000500, 'lost', 2, NULL, 77, NULL, 'us', 0);"
            "insert into msg_pieces (ROWID, message_id, data, part_id, content_type, content_loc) values"
            " (1, 5, CAST('Look ' AS BLOB), 0, 'text/plain', 'text_0.txt'),"
            " (2, 5, CAST('<smil/>' AS BLOB), 1, 'application/smil', 'smil.xml'),"
            " (3, 5, CAST('JPEGDATA' AS BLOB), 2, 'image/jpeg', 'IMG_0001.JPG'),"
            " (4, 5, NULL, 3, 'image/png', 'b.png'),"
            " (5, 5, NULL, 4, 'image/gif', 'c.gif');"
            "insert into madrid_chat (ROWID, style, state, account_id, chat_identifier, account_login, participants)"
            " values (1, 45, 3, 'acc-1', 'Ann@Example.com', 'me@example.com', %1),"
            " (2, 43, 3, 'acc-2', 'chat900', 'me@example.com', %2);"
            "insert into message (ROWID, date, text, is_madrid, madrid_handle, madrid_roomname, madrid_guid,"
            " madrid_account, madrid_account_guid, madrid_error, madrid_date_read, madrid_date_delivered,"
            " madrid_attachmentInfo, madrid_attributedBody) values"
            " (8, 350000000, '\uFFFC', 1, 'ann@example.com', NULL, 'G-8', 'e:me@example.com', 'AG', 0,"
            "  350000050, 0, %3, CAST('stored8' AS BLOB)),"
            " (9, 350000100, '\uFFFC\uFFFC', 1, NULL, 'chat900', 'G-9', 'e:me@example.com', 'AG', 4,"
            "  0, 350000110, %4, CAST('stored9' AS BLOB)),"
            " (10, 350000200, 'from bob', 1, 'bob@example.com', 'chat900', 'G-10', 'e:me@example.com', 'AG', 0,"
            "  0, 0, NULL, NULL);"
            "insert into madrid_attachment (ROWID, attachment_guid, created_date, start_date, filename, uti_type,"
            " mime_type, transfer_state, is_incoming) values"
            " (1, '%5', 350000000, 350000001, '/var/mobile/Library/SMS/Attachments/ab/11/%5/IMG_0001.JPG',"
            "  'public.jpeg', 'image/jpeg', 5, 1),"
            " (2, '%6', 350000100, 0, '~/Library/SMS/Attachments/cd/22/%6/a:b|c.png', 'public.png', 'image/png', 5, 0),"
            " (3, '%7', 0, 0, NULL, 'public.data', NULL, 0, 0);")
            .arg(blobLiteral(participantsBlob({QStringLiteral("Ann@Example.com")})),
                 blobLiteral(participantsBlob({QStringLiteral("+12125550150"), QStringLiteral("Bob@Example.com")})),
                 blobLiteral(attachmentInfoBlob({QLatin1String(kGuidA1), QLatin1String(kGuidA1)})),
                 blobLiteral(attachmentInfoBlob({QLatin1String(kGuidA2), QLatin1String(kGuidA3)})),
                 QLatin1String(kGuidA1), QLatin1String(kGuidA2), QLatin1String(kGuidA3));
    SqlFixture::build(path, sql);
}

} // namespace IOS5SmsFixture
