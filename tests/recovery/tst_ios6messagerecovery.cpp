// The recovery of deleted iOS 6+ messages: the carved row's mapping, the
// table shapes phones have had (and one no layout knows), the conversation a
// message is tied to, group events, progress and cancel, and the agreement of
// the carve layouts with the model's message columns.
#include <QtTest>
#include <memory>

#include "deletedsmsfixture.h"
#include "ios6messagelayouts.h"
#include "ios6messagerecovery.h"
#include "messagecolumns.h"
#include "recoverytestsupport.h"
#include "smsdbfixture.h"
#include "sqlitefilefixture.h"

using namespace RecoveryTestSupport;

namespace {

// The message table's columns as the newest phones declare them, in order;
// a table of N columns declares the first N.
const char* const kMessageColumns[] = {
    "ROWID INTEGER PRIMARY KEY AUTOINCREMENT", "guid TEXT UNIQUE NOT NULL", "text TEXT", "replace INTEGER DEFAULT 0",
    "service_center TEXT", "handle_id INTEGER DEFAULT 0", "subject TEXT", "country TEXT", "attributedBody BLOB",
    "version INTEGER DEFAULT 0", "type INTEGER DEFAULT 0", "service TEXT", "account TEXT", "account_guid TEXT",
    "error INTEGER DEFAULT 0", "date INTEGER", "date_read INTEGER", "date_delivered INTEGER",
    "is_delivered INTEGER DEFAULT 0", "is_finished INTEGER DEFAULT 0", "is_emote INTEGER DEFAULT 0",
    "is_from_me INTEGER DEFAULT 0", "is_empty INTEGER DEFAULT 0", "is_delayed INTEGER DEFAULT 0",
    "is_auto_reply INTEGER DEFAULT 0", "is_prepared INTEGER DEFAULT 0", "is_read INTEGER DEFAULT 0",
    "is_system_message INTEGER DEFAULT 0", "is_sent INTEGER DEFAULT 0", "has_dd_results INTEGER DEFAULT 0",
    "is_service_message INTEGER DEFAULT 0", "is_forward INTEGER DEFAULT 0", "was_downgraded INTEGER DEFAULT 0",
    "is_archive INTEGER DEFAULT 0", "cache_has_attachments INTEGER DEFAULT 0", "cache_roomnames TEXT",
    "was_data_detected INTEGER DEFAULT 0", "was_deduplicated INTEGER DEFAULT 0", "is_audio_message INTEGER DEFAULT 0",
    "is_played INTEGER DEFAULT 0", "date_played INTEGER", "item_type INTEGER DEFAULT 0",
    "other_handle INTEGER DEFAULT -1", "group_title TEXT", "group_action_type INTEGER DEFAULT 0",
    "share_status INTEGER", "share_direction INTEGER", "is_expirable INTEGER DEFAULT 0",
    "expire_state INTEGER DEFAULT 0", "message_action_type INTEGER DEFAULT 0", "message_source INTEGER DEFAULT 0",
    "associated_message_guid STRING DEFAULT NULL", "balloon_bundle_id STRING DEFAULT NULL", "payload_data BLOB",
    "associated_message_type INTEGER DEFAULT 0", "expressive_send_style_id STRING DEFAULT NULL",
    "associated_message_range_location INTEGER DEFAULT 0", "associated_message_range_length INTEGER DEFAULT 0",
    "time_expressive_send_played INTEGER DEFAULT 0", "message_summary_info BLOB DEFAULT NULL",
    "ck_sync_state INTEGER DEFAULT 0", "ck_record_id TEXT DEFAULT NULL", "ck_record_change_tag TEXT DEFAULT NULL",
    "destination_caller_id TEXT DEFAULT NULL", "sr_server_change_token TEXT DEFAULT NULL",
    "sr_ck_sync_state INTEGER DEFAULT 0", "sr_ck_record_system_property_blob BLOB DEFAULT NULL",
    "cloudkit_record_id TEXT DEFAULT NULL", "sr_cloudkit_record_id TEXT DEFAULT NULL"};

QString messageTable(int columns, const QString& extra)
{
    QStringList defs;
    for (int i = 0; i < columns; ++i)
        defs.append(QLatin1String(kMessageColumns[i]));
    if (!extra.isEmpty())
        defs.append(extra);
    return "CREATE TABLE message (" + defs.join(", ") + ");";
}

// A row carved with a layout of `n` values: service at value 11, date at 15,
// item_type at 41.
_SqliteFileRowData carvedRow(int n, const QVariant& service, const QVariant& date)
{
    _SqliteFileRowData row;
    row.rowid = 77;
    for (int i = 0; i < n; ++i)
        row.values.append(i == 1 ? QVariant("G") : i == 11 ? service : i == 15 ? date : i == 41 ? QVariant(7) : QVariant());
    return row;
}

// The chats a test ties messages to: each a name and the row ids of its handles.
struct ChatSet
{
    std::vector<std::unique_ptr<_MsgHandle>> handles;
    std::vector<std::unique_ptr<_MsgChat>> chats;
    QList<_MsgChat*> list;

    void add(const QString& identifier, const QList<qint64>& handleIds)
    {
        auto chat = std::make_unique<_MsgChat>();
        chat->chat_identifier = identifier;
        for (qint64 id : handleIds) {
            auto h = std::make_unique<_MsgHandle>();
            h->ROWID = id;
            h->id = QStringLiteral("+1212555%1").arg(id, 4, 10, QLatin1Char('0'));
            chat->handles.insert(QString::number(id), h.get());
            handles.push_back(std::move(h));
        }
        list.append(chat.get());
        chats.push_back(std::move(chat));
    }
};

} // namespace

class TestIOS6MessageRecovery : public QObject
{
    Q_OBJECT

    Folders folders;
    QString newFolder() { return folders.next(); }

private slots:
    void rowMapping_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("values");
        QTest::addColumn<QVariant>("service");
        QTest::addColumn<QVariant>("date");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("itemType");
        const int s = SmsDbFixture::Base;
        const int ns = SmsDbFixture::Nanoseconds;
        QTest::newRow("37 values") << s << 37 << QVariant("SMS") << QVariant(1) << false << 0 << 0;
        QTest::newRow("38 values, sms") << s << 38 << QVariant("sms") << QVariant(600000000) << true << 600000000 << 0;
        QTest::newRow("iMessage") << s << 38 << QVariant("iMessage") << QVariant(1) << true << 1 << 0;
        QTest::newRow("MMS") << s << 38 << QVariant("MMS") << QVariant(1) << false << 0 << 0;
        QTest::newRow("empty service") << s << 38 << QVariant("") << QVariant(1) << false << 0 << 0;
        QTest::newRow("NULL service") << s << 38 << QVariant() << QVariant(1) << false << 0 << 0;
        QTest::newRow("iMessage and a blank") << s << 38 << QVariant("iMessage ") << QVariant(1) << false << 0 << 0;
        QTest::newRow("49 values: no later column") << s << 49 << QVariant("SMS") << QVariant(5) << true << 5 << 0;
        QTest::newRow("50 values: later columns") << s << 50 << QVariant("SMS") << QVariant(5) << true << 5 << 7;
        QTest::newRow("nanoseconds") << ns << 38 << QVariant("SMS") << QVariant(600000000000000000LL) << true
                                     << 600000000 << 0;
        QTest::newRow("negative nanoseconds") << ns << 38 << QVariant("SMS") << QVariant(-1500000000LL) << true << -1 << 0;
    }
    void rowMapping()
    {
        QFETCH(int, variant);
        QFETCH(int, values);
        QFETCH(QVariant, service);
        QFETCH(QVariant, date);
        QFETCH(bool, accepted);
        QFETCH(int, seconds);
        QFETCH(int, itemType);
        const QString folder = newFolder();
        SmsDbFixture::createDevice(SmsDbFixture::smsDbPath(folder), variant);
        IOS6MessageDb db(QDir(folder), us(), false);
        db.openCheck();
        IOS6MessageRecovery recovery(db, {});
        recovery.prepare(RecoveryTable::readDeclaration(db, "message"), true);
        _MsgMessage msg;
        QCOMPARE(recovery.recoverFetchMessage(carvedRow(values, service, date), &msg), accepted);
        if (!accepted)
            return;
        QCOMPARE(msg.ROWID, 77);
        QCOMPARE(msg.date, seconds);
        QCOMPARE(msg.item_type, itemType);
        QCOMPARE(msg.other_handle, values >= 50 ? 0 : -1);
    }

    // Tables of every length phones have declared, and one with a column no
    // layout knows: deleted rows come back with their dates in seconds.
    void carvesEveryTableShape_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("extra");
        QTest::newRow("38") << 38 << QString();
        QTest::newRow("51") << 51 << QString();
        QTest::newRow("60") << 60 << QString();
        QTest::newRow("64, nanoseconds") << 64 << QString();
        QTest::newRow("69, nanoseconds") << 69 << QString();
        QTest::newRow("69 and one unknown, nanoseconds") << 69 << "reply_to_guid TEXT";
    }
    void carvesEveryTableShape()
    {
        QFETCH(int, columns);
        QFETCH(QString, extra);
        const QString folder = newFolder();
        const QString sms = SmsDbFixture::smsDbPath(folder);
        const QString unit = columns > 61 ? "1000000000" : "1";
        SqliteFileFixture::create(sms, messageTable(columns, extra) +
            "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 120) "
            "INSERT INTO message (ROWID, guid, text, handle_id, service, account, date, date_read, is_from_me) "
            "SELECT i, printf('%08X-0000-4000-8000-%012X', i, i), 'Message ' || i || ' about the plans', 1 + i % 4, "
            "CASE WHEN i % 3 THEN 'SMS' ELSE 'iMessage' END, 'e:', (600000000 + i * 60) * " + unit + ", "
            "(600000000 + i * 60) * " + unit + ", i % 2 FROM c;");
        DeletedSmsFixture::exec(folder, "DELETE FROM message WHERE ROWID IN (3, 4, 50, 77, 119);");
        IOS6MessageDb db(QDir(folder), us(), false);
        IOS6MessageRecovery::recycleDeletedMessages(db, {}, nullptr);
        // SQLite rewrites a page now and then as rows go; every row whose
        // text it left in the file comes back.
        QFile file(sms);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QSet<QString> expected;
        for (int id : {3, 4, 50, 77, 119})
            if (bytes.contains(QStringLiteral("Message %1 about").arg(id).toUtf8()))
                expected.insert(DeletedSmsFixture::guidOf(id) + '|' + QString::number(600000000 + id * 60));
        QVERIFY(expected.size() >= 4);
        QCOMPARE(column(recyclePath(folder), "select guid || '|' || date as v from message"), expected);
    }

    // A handle maps to the last one-to-one chat holding it, else to the first group.
    void messageJoinsItsConversation_data()
    {
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("chat");
        QTest::newRow("later one-to-one wins") << QStringList{"group1", "a", "b", "group2"} << "b";
        QTest::newRow("one-to-one after a group") << QStringList{"b", "group1", "a"} << "a";
        QTest::newRow("one-to-one before a group") << QStringList{"a", "group1"} << "a";
        QTest::newRow("first group") << QStringList{"group2", "group1"} << "group2";
    }
    void messageJoinsItsConversation()
    {
        QFETCH(QStringList, order);
        QFETCH(QString, chat);
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 10, 50);
        DeletedSmsFixture::exec(folder, "DELETE FROM message WHERE ROWID = 14;"); // handle 5
        const QHash<QString, QList<qint64>> members{{"group1", {5, 6}}, {"a", {5}}, {"b", {5}}, {"group2", {5, 7}}};
        ChatSet chats;
        for (const QString& name : order)
            chats.add(name, members.value(name));
        IOS6MessageDb db(QDir(folder), us(), false);
        IOS6MessageRecovery::recycleDeletedMessages(db, chats.list, nullptr);
        QCOMPARE(SqlFixture::scalar(recyclePath(folder), "select group_concat(chat_identifier) from message").toString(), chat);
    }

    // Group events (item_type 2) never come back, from freed pages or free space.
    void groupEventsAreNeverStored()
    {
        const QString folder = newFolder();
        const QString sms = SmsDbFixture::smsDbPath(folder);
        SmsDbFixture::createDevice(sms, SmsDbFixture::OptionalColumns);
        DeletedSmsFixture::exec(folder,
            "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 400) "
            "INSERT INTO message (ROWID, guid, text, service, account, date, item_type) "
            "SELECT i, printf('%08X-0000-4000-8000-%012X', i, i), 'Message ' || i || ' about the plans', 'SMS', 'e:', "
            "600000000 + i * 60, CASE WHEN i % 2 THEN 0 ELSE 2 END FROM c;"
            "CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(20000)); DROP TABLE filler;"
            "DELETE FROM message WHERE ROWID IN (7, 8, 101, 102) OR ROWID BETWEEN 150 AND 260;");
        IOS6MessageDb db(QDir(folder), us(), false);
        IOS6MessageRecovery::recycleDeletedMessages(db, {}, nullptr);
        const QString recycle = recyclePath(folder);
        QCOMPARE(SqlFixture::scalar(recycle, "select count(*) from message where cast(substr(text, 9, 3) as integer) % 2 = 0")
                     .toInt(), 0);
        const QSet<QString> stored = column(recycle, "select guid as v from message");
        for (int id : {7, 101})
            QVERIFY(stored.contains(DeletedSmsFixture::guidOf(id)));
        QVERIFY(stored.size() > 20);
    }

    // A table of three pages: one report per page; a cancel during a report
    // skips that page and the rest, and what earlier pages gave is committed.
    void progressAndCancel_data()
    {
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<QList<int>>("percents");
        QTest::addColumn<int>("stored");
        QTest::newRow("no cancel") << 0 << QList<int>{33, 66, 100} << 2;
        QTest::newRow("cancel at the last page") << 3 << QList<int>{33, 66, 100} << 1;
        QTest::newRow("cancel at the first page") << 1 << QList<int>{33} << 0;
    }
    void progressAndCancel()
    {
        QFETCH(int, cancelAt);
        QFETCH(QList<int>, percents);
        QFETCH(int, stored);
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 4, 50);
        const QString sms = SmsDbFixture::smsDbPath(folder);
        QCOMPARE(SqliteFileFixture::pages(sms, "message").size(), 3); // the root and two leaves
        DeletedSmsFixture::exec(folder, "DELETE FROM message WHERE ROWID IN (2, 49);"); // one on each leaf
        QCOMPARE(SqliteFileFixture::freelistCount(sms), 0);
        IOS6MessageDb db(QDir(folder), us(), false);
        Reporter progress;
        progress.cancelAtReport = cancelAt;
        IOS6MessageRecovery::recycleDeletedMessages(db, {}, &progress);
        QCOMPARE(progress.percents, percents);
        QVERIFY(!db.recycleDb().inTransaction);
        QSet<QString> guids = column(recyclePath(folder), "select guid as v from message");
        QCOMPARE(guids.size(), stored);
        QVERIFY(guids.subtract({DeletedSmsFixture::guidOf(2), DeletedSmsFixture::guidOf(49)}).isEmpty());
    }

    // The carve layouts and the model's message columns describe one table:
    // every column both name sits at the same place with the same type.
    void layoutsAgreeWithTheModelColumns()
    {
        const QList<_SqliteCol> layout = ios6MessageColumns();
        QCOMPARE(layout.first().name, QStringLiteral("ROWID"));
        int k = 1;
        for (const MessageColumn& col : messageColumns()) {
            QVERIFY2(k < layout.size(), col.name);
            QCOMPARE(layout.at(k).name, QLatin1String(col.name));
            const char* type = col.kind == MessageColumn::Blob ? "BLOB"
                             : col.kind == MessageColumn::Text || col.kind == MessageColumn::SharedText ? "TEXT"
                                                                                                      : "INTEGER";
            QCOMPARE(layout.at(k).type, QLatin1String(type));
            ++k;
        }
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageRecovery)
#include "tst_ios6messagerecovery.moc"
