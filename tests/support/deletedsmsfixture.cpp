#include "deletedsmsfixture.h"

#include "ios5smsfixture.h"
#include "smsdbfixture.h"
#include "sqlitefilefixture.h"

namespace DeletedSmsFixture {

void create(const QString& folder, int handles, int messages, int longEvery)
{
    const QString path = SmsDbFixture::smsDbPath(folder);
    // The first iOS 6 schema: its 38 message columns are one of the carving layouts.
    SmsDbFixture::createDevice(path, SmsDbFixture::Base);
    SqliteFileFixture::exec(path, QStringLiteral(
        "BEGIN;"
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < {H}) "
        "INSERT INTO handle (ROWID, id, country, service) SELECT i, '+1212555' || printf('%04d', i), 'us', "
        "CASE WHEN i % 3 THEN 'SMS' ELSE 'iMessage' END FROM c;"
        "INSERT INTO chat (ROWID, guid, style, state, chat_identifier, service_name) "
        "SELECT ROWID, 'chat-' || ROWID, 45, 3, id, service FROM handle;"
        "INSERT INTO chat_handle_join SELECT ROWID, ROWID FROM handle;"
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < {M}) "
        "INSERT INTO message (ROWID, guid, text, handle_id, service, account, date, date_read, is_from_me, is_read, is_sent) "
        "SELECT i, printf('%08X-0000-4000-8000-%012X', i, i), 'Message ' || i || ' about the ' || "
        "CASE WHEN {L} > 0 AND i % {L} = 0 THEN replace(hex(zeroblob(2500)), '00', 'long ') ELSE 'plans for friday' END, "
        "1 + i % {H}, (SELECT service FROM handle WHERE ROWID = 1 + i % {H}), 'e:', 600000000 + i * 60, "
        "600000000 + i * 60, i % 2, 1, i % 2 FROM c;"
        "INSERT INTO chat_message_join SELECT handle_id, ROWID FROM message;"
        "COMMIT;")
        .replace(QLatin1String("{H}"), QString::number(handles))
        .replace(QLatin1String("{M}"), QString::number(messages))
        .replace(QLatin1String("{L}"), QString::number(longEvery)));
}

namespace {

// The SMS columns of row i, is_madrid last when the table has it.
QString smsValues(bool isMadrid)
{
    return QStringLiteral("i, '+1212555' || printf('%04d', 1 + i % {H}), 1300000000 + i * 60, "
                          "'Old message ' || i || ' of the phone', 2 + i % 2, 0, 1 + i % {H}, "
                          "CASE WHEN i % 2 THEN 4 ELSE 0 END, 0, 'us', 1")
        + QLatin1String(isMadrid ? ", 0" : "");
}

} // namespace

void createIos5(const QString& folder, int handles, int messages, Ios5Shape shape)
{
    const QString path = SmsDbFixture::smsDbPath(folder);
    const bool phone = shape == Ios5Shape::Phone || shape == Ios5Shape::PhoneThenColumn;
    IOS5SmsFixture::create(path, phone);
    // The rows an upgraded phone wrote before it had the iMessage columns.
    const QString oldRows = QStringLiteral("i % 2 = 0 AND i % 3 <> 0");
    if (shape == Ios5Shape::Upgraded)
        SqliteFileFixture::exec(path, QStringLiteral(
            "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < {M}) "
            "INSERT INTO message (ROWID, address, date, text, flags, replace, group_id, UIFlags, version, country, read) "
            "SELECT {SMS} FROM c WHERE {OLD};")
            .replace(QLatin1String("{SMS}"), smsValues(false))
            .replace(QLatin1String("{OLD}"), oldRows)
            .replace(QLatin1String("{H}"), QString::number(handles))
            .replace(QLatin1String("{M}"), QString::number(messages)));
    if (!phone)
        SqliteFileFixture::exec(path, QStringLiteral(
            "ALTER TABLE message ADD COLUMN madrid_attributedBody BLOB; ALTER TABLE message ADD COLUMN madrid_handle TEXT;"
            "ALTER TABLE message ADD COLUMN madrid_version INTEGER; ALTER TABLE message ADD COLUMN madrid_guid TEXT;"
            "ALTER TABLE message ADD COLUMN madrid_type INTEGER; ALTER TABLE message ADD COLUMN madrid_roomname TEXT;"
            "ALTER TABLE message ADD COLUMN madrid_service TEXT; ALTER TABLE message ADD COLUMN madrid_account TEXT;"
            "ALTER TABLE message ADD COLUMN madrid_flags INTEGER; ALTER TABLE message ADD COLUMN madrid_attachmentInfo BLOB;"
            "ALTER TABLE message ADD COLUMN madrid_url TEXT; ALTER TABLE message ADD COLUMN madrid_error INTEGER;"
            "ALTER TABLE message ADD COLUMN is_madrid INTEGER; ALTER TABLE message ADD COLUMN madrid_date_read INTEGER;"
            "ALTER TABLE message ADD COLUMN madrid_date_delivered INTEGER; ALTER TABLE message ADD COLUMN madrid_account_guid TEXT;"));
    // What a phone writes into the iMessage columns of an SMS row.
    const QString smsMadrid = phone ? QStringLiteral(
        ", madrid_version, madrid_type, madrid_flags, madrid_error, madrid_date_read, madrid_date_delivered, "
        "madrid_attributedBody) SELECT {SMS}, 0, 0, 0, 0, 0, 0, CASE WHEN i % 5 = 0 THEN X'' END")
                                    : QStringLiteral(") SELECT {SMS}");
    SqliteFileFixture::exec(path, QStringLiteral(
        "BEGIN;"
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < {M}) "
        "INSERT INTO message (ROWID, address, date, text, flags, replace, group_id, UIFlags, version, country, read, is_madrid"
        "{SMSMADRID} FROM c WHERE i % 3 <> 0 AND NOT ({UPGRADED} AND {OLD});"
        "WITH RECURSIVE c(i) AS (SELECT 3 UNION ALL SELECT i + 3 FROM c WHERE i + 3 <= {M}) "
        "INSERT INTO message (ROWID, date, text, flags, replace, UIFlags, version, read, is_madrid, madrid_handle, "
        "madrid_guid, madrid_service, madrid_account, madrid_error, madrid_date_read, madrid_date_delivered, madrid_flags, "
        "madrid_account_guid) "
        "SELECT i, 322000000 + i * 60, 'iMessage ' || i || ' of the phone', 0, 0, 0, 0, 1, 1, "
        "'+1212555' || printf('%04d', 1 + i % {H}), printf('%08X-0000-4000-8000-%012X', i, i), 'Madrid', 'e:me@example.com', "
        "CASE WHEN i % 9 = 0 THEN 4 ELSE 0 END, 322000100 + i * 60, CASE WHEN i % 2 THEN 322000050 + i * 60 ELSE 0 END, "
        "12345, 'D1A0C0DE-0000-4000-8000-00000000ACC7' FROM c;"
        "COMMIT;")
        .replace(QLatin1String("{SMSMADRID}"), smsMadrid)
        .replace(QLatin1String("{SMS}"), smsValues(true))
        .replace(QLatin1String("{UPGRADED}"), QLatin1String(shape == Ios5Shape::Upgraded ? "1" : "0"))
        .replace(QLatin1String("{OLD}"), oldRows)
        .replace(QLatin1String("{H}"), QString::number(handles))
        .replace(QLatin1String("{M}"), QString::number(messages)));
    if (shape == Ios5Shape::PhoneThenColumn)
        SqliteFileFixture::exec(path, QStringLiteral("ALTER TABLE message ADD COLUMN extra TEXT;"));
}

QString guidOf(qint64 rowid)
{
    return QStringLiteral("%1-0000-4000-8000-%2")
        .arg(rowid, 8, 16, QLatin1Char('0'))
        .arg(rowid, 12, 16, QLatin1Char('0'))
        .toUpper();
}

QSet<QString> liveGuids(const QString& folder)
{
    QSet<QString> set;
    for (const SqliteFileFixture::LiveRow& r : SqliteFileFixture::liveRows(SmsDbFixture::smsDbPath(folder), "message"))
        set.insert(r.values.at(1).toString());
    return set;
}

QSet<QString> liveHandleIds(const QString& folder)
{
    QSet<QString> set;
    for (const SqliteFileFixture::LiveRow& r : SqliteFileFixture::liveRows(SmsDbFixture::smsDbPath(folder), "handle"))
        set.insert(r.values.at(1).toString());
    return set;
}

void exec(const QString& folder, const QString& sql)
{
    SqliteFileFixture::exec(SmsDbFixture::smsDbPath(folder), sql);
}

} // namespace DeletedSmsFixture
