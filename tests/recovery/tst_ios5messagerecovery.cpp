// The recovery of deleted iOS 5 messages on tables declared as real phones
// declare them: the carve layout taken from the file's own declaration,
// values read by column name, and the SMS rows that hold 0 or nothing in the
// iMessage columns.
#include <QtTest>

#include "deletedsmsfixture.h"
#include "ios5messagerecovery.h"
#include "recoverytestsupport.h"
#include "smsdbfixture.h"
#include "sqlitefilefixture.h"

using namespace RecoveryTestSupport;
using DeletedSmsFixture::Ios5Shape;

namespace {

// A row as the carver gives it for the table's shape: every column NULL but
// those named.
_SqliteFileRowData rowOf(const RecoveryTable& shape, const QVariantHash& values)
{
    _SqliteFileRowData row;
    row.rowid = 42;
    for (const _SqliteCol& col : shape.columns())
        row.values.append(values.value(col.name));
    return row;
}

// What a deleted row of the fixture must come back as: kind, date (seconds
// since 2001), correspondent, direction, text, and an iMessage's guid.
const char* const kExpectedOfSource =
    "select case is_madrid when 1 then 'iMessage' else 'SMS' end || '|' || "
    "case is_madrid when 1 then date else date - 978307200 end || '|' || coalesce(madrid_handle, address) || '|' || "
    "case is_madrid when 1 then madrid_date_delivered > 0 else flags = 3 end || '|' || text || '|' || "
    "case is_madrid when 1 then madrid_guid || '|' || madrid_error else '' end as v from message";
const char* const kStored =
    "select service || '|' || date || '|' || handle || '|' || is_from_me || '|' || text || '|' || "
    "case service when 'iMessage' then guid || '|' || error else '' end as v from message";

} // namespace

class TestIOS5MessageRecovery : public QObject
{
    Q_OBJECT

    Folders folders;
    QString newFolder() { return folders.next(); }

private slots:
    // Single rows go into freeblocks (four SMS, four iMessages, one of them
    // with an error); a range frees pages onto the free list. Every row stored
    // is a deleted row as it was (kind, date, correspondent, direction, text,
    // guid and error), and no live row is stored.
    void deletedRowsOfEitherShapeComeBack_data()
    {
        QTest::addColumn<int>("shape");
        QTest::newRow("declared as a phone declares it") << int(Ios5Shape::Phone);
        QTest::newRow("iMessage columns appended") << int(Ios5Shape::Appended);
    }
    void deletedRowsOfEitherShapeComeBack()
    {
        QFETCH(int, shape);
        const QString folder = newFolder();
        DeletedSmsFixture::createIos5(folder, 7, 600, Ios5Shape(shape));
        const QString sms = SmsDbFixture::smsDbPath(folder);
        const QString singles = "ROWID IN (10, 11, 12, 13, 150, 297, 298, 450)";
        const QString range = "ROWID BETWEEN 200 AND 290";
        const QSet<QString> expectedSingles = column(sms, QString(kExpectedOfSource) + " where " + singles);
        const QSet<QString> expectedRange = column(sms, QString(kExpectedOfSource) + " where " + range);
        QCOMPARE(expectedSingles.size() + expectedRange.size(), 99);
        DeletedSmsFixture::exec(folder, "CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(20000)); DROP TABLE filler;"
                                        "DELETE FROM message WHERE " + singles + " OR " + range + ";");

        IOS5MessageDb db(QDir(folder), us());
        IOS5MessageRecovery::recycleDeletedMessages(db, nullptr);
        const QSet<QString> stored = column(recyclePath(folder), kStored);
        QCOMPARE(stored - expectedSingles - expectedRange, QSet<QString>());
        QCOMPARE(expectedSingles - stored, QSet<QString>());
        // SQLite rebalances the pages the range leaves half empty and
        // overwrites part of it; the pages it frees keep their rows whole.
        QVERIFY((stored & expectedRange).size() >= 40);
        QVERIFY(SqlFixture::scalar(recyclePath(folder), "select count(*) from message where src_rowid between 200 and 290")
                    .toInt() >= 30);
    }

    // The file's own declaration is carved with unless it is a known layout;
    // rows written before the iMessage columns existed keep the 17-column layout.
    void layoutsFollowTheDeclaration_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("declared");
        QTest::addColumn<QList<int>>("layouts");
        const QString sms = "ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, text TEXT, "
                            "flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, association_id INTEGER, "
                            "height INTEGER, UIFlags INTEGER, version INTEGER, subject TEXT, country TEXT, headers BLOB, "
                            "recipients BLOB, read INTEGER";
        const QString madrid = ", madrid_attributedBody BLOB, madrid_handle TEXT, madrid_version INTEGER, "
                               "madrid_guid TEXT, madrid_type INTEGER, madrid_roomname TEXT, madrid_service TEXT, "
                               "madrid_account TEXT, %1madrid_flags INTEGER, madrid_attachmentInfo BLOB, madrid_url TEXT, "
                               "madrid_error INTEGER, is_madrid INTEGER, madrid_date_read INTEGER, "
                               "madrid_date_delivered INTEGER%2";
        QTest::newRow("a phone's order") << sms + madrid.arg("madrid_account_guid TEXT, ", "") << true << QList<int>{33, 17};
        QTest::newRow("known order") << sms + madrid.arg("", ", madrid_account_guid TEXT") << false << QList<int>{33, 32, 17};
        QTest::newRow("known, without madrid_account_guid") << sms + madrid.arg("", "") << false << QList<int>{33, 32, 17};
        QTest::newRow("SMS columns only") << sms << false << QList<int>{33, 32, 17};
        QTest::newRow("one more column") << sms + madrid.arg("", ", madrid_account_guid TEXT, extra TEXT") << true
                                         << QList<int>{34, 33, 32, 17};
        QTest::newRow("a core column missing") << QString(sms).remove(", UIFlags INTEGER") + madrid.arg("", "") << false
                                               << QList<int>{33, 32, 17};
        QTest::newRow("row id not first") << "address TEXT, ROWID INTEGER PRIMARY KEY, date INTEGER" << false
                                          << QList<int>{33, 32, 17};
    }
    void layoutsFollowTheDeclaration()
    {
        QFETCH(QString, sql);
        QFETCH(bool, declared);
        QFETCH(QList<int>, layouts);
        const QString folder = newFolder();
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), "CREATE TABLE message (" + sql + ");");
        IOS5MessageDb db(QDir(folder), us());
        db.openCheck();
        IOS5MessageRecovery recovery(db);
        recovery.prepare(RecoveryTable::readDeclaration(db, "message"), true);
        QCOMPARE(recovery.shape().usesDeclaration(), declared);
        QList<int> columns;
        for (const CarveLayout& l : recovery.shape().layouts())
            columns.append(l.columns);
        QCOMPARE(columns, layouts);
    }

    // What an SMS row may hold in the iMessage columns, and an iMessage row
    // whose error sits where the known layout keeps is_madrid.
    void madridColumnsOfAWholeRow_data()
    {
        QTest::addColumn<QVariantHash>("values");
        QTest::addColumn<QString>("service"); // empty: refused
        const QVariantHash sms{{"address", "+12125550100"}, {"date", 1300000000}, {"text", "hi"}, {"is_madrid", 0}};
        auto with = [&](const QVariantHash& more) {
            QVariantHash v = sms;
            v.insert(more);
            return v;
        };
        QTest::newRow("SMS, NULLs") << sms << "SMS";
        QTest::newRow("SMS, zeros in the number columns")
            << with({{"madrid_version", 0}, {"madrid_type", 0}, {"madrid_flags", 0}, {"madrid_error", 0},
                     {"madrid_date_read", 0}, {"madrid_date_delivered", 0}}) << "SMS";
        QTest::newRow("SMS, blob of no bytes") << with({{"madrid_attributedBody", QByteArray()}}) << "SMS";
        QTest::newRow("SMS, empty texts") << with({{"madrid_handle", ""}, {"madrid_guid", ""}}) << "SMS";
        QTest::newRow("SMS, madrid_account_guid set") << with({{"madrid_account_guid", "X"}}) << "SMS";
        QTest::newRow("SMS, madrid_type 1") << with({{"madrid_type", 1}}) << "";
        QTest::newRow("SMS, madrid_date_read set") << with({{"madrid_date_read", 322000000}}) << "";
        QTest::newRow("SMS, madrid_guid set") << with({{"madrid_guid", "G"}}) << "";
        QTest::newRow("SMS, madrid_attributedBody bytes") << with({{"madrid_attributedBody", QByteArray("x")}}) << "";
        QTest::newRow("SMS, a text 0 in a number column") << with({{"madrid_flags", "0"}}) << "";
        QTest::newRow("is_madrid 2") << with({{"is_madrid", 2}}) << "";
        const QVariantHash imessage{{"date", 322000000}, {"text", "hi"}, {"is_madrid", 1}, {"madrid_service", "Madrid"},
                                    {"madrid_guid", "G"}, {"madrid_handle", "+12125550100"}, {"madrid_error", 4}};
        QTest::newRow("iMessage, error 4") << imessage << "iMessage";
    }
    void madridColumnsOfAWholeRow()
    {
        QFETCH(QVariantHash, values);
        QFETCH(QString, service);
        const QString folder = newFolder();
        DeletedSmsFixture::createIos5(folder, 1, 3, Ios5Shape::Phone);
        IOS5MessageDb db(QDir(folder), us());
        db.openCheck();
        IOS5MessageRecovery recovery(db);
        recovery.prepare(RecoveryTable::readDeclaration(db, "message"), true);
        const _SqliteFileRowData row = rowOf(recovery.shape(), values);
        IOS5RecycleMsgItem item;
        QCOMPARE(recovery.recoverFetchMessage(row, item), !service.isEmpty());
        if (!service.isEmpty()) {
            QCOMPARE(item.msg.service, service);
            QCOMPARE(item.handle, QStringLiteral("+12125550100"));
            QCOMPARE(item.msg.error, values.value("madrid_error").toInt());
        }
    }

    // With the known layout's positions a blob of no bytes is as good as NULL.
    void knownLayoutTakesABlobOfNoBytesForNull()
    {
        const QString folder = newFolder();
        DeletedSmsFixture::createIos5(folder, 1, 3, Ios5Shape::Appended);
        IOS5MessageDb db(QDir(folder), us());
        IOS5MessageRecovery recovery(db);
        QVariantHash values{{"address", "+12125550100"}, {"date", 1300000000}, {"text", "hi"}, {"is_madrid", 0}};
        values.insert("madrid_attributedBody", QByteArray());
        IOS5RecycleMsgItem item;
        QVERIFY(recovery.recoverFetchMessage(rowOf(recovery.shape(), values), item));
        values.insert("madrid_handle", "x");
        QVERIFY(!recovery.recoverFetchMessage(rowOf(recovery.shape(), values), item));
    }
};

QTEST_GUILESS_MAIN(TestIOS5MessageRecovery)
#include "tst_ios5messagerecovery.moc"
