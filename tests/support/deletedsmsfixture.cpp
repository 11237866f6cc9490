#include "deletedsmsfixture.h"

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
