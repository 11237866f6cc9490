// The recovery of deleted iOS 5 messages on tables declared as real phones
// declare them: the carve layout taken from the file's own declaration,
// values read by column name, and the SMS rows that hold 0 or nothing in the
// iMessage columns.
#include <QtTest>

#include "deletedsmsfixture.h"
#include "ios5messagerecovery.h"
#include "ios5smsfixture.h"
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
    "case is_madrid when 1 then 'iMessage' else 'SMS' end || '|' || "
    "case is_madrid when 1 then date else date - 978307200 end || '|' || coalesce(madrid_handle, address) || '|' || "
    "case is_madrid when 1 then madrid_date_delivered > 0 else flags = 3 end || '|' || text || '|' || "
    "case is_madrid when 1 then madrid_guid || '|' || madrid_error else '' end";
const char* const kStored =
    "select service || '|' || date || '|' || handle || '|' || is_from_me || '|' || text || '|' || "
    "case service when 'iMessage' then guid || '|' || error else '' end as v from message";


// What each deleted row of `where` must come back as, by row id.
QHash<qint64, QString> expectedOf(const QString& sms, const QString& where)
{
    QHash<qint64, QString> byRow;
    const QString sql = QString("select group_concat(ROWID || char(9) || %1, char(10)) from message where %2")
                            .arg(QLatin1String(kExpectedOfSource), where);
    const QStringList lines = SqlFixture::scalar(sms, sql).toString().split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines)
        byRow.insert(line.section('\t', 0, 0).toLongLong(), line.section('\t', 1));
    return byRow;
}

QSet<QString> valuesOf(const QHash<qint64, QString>& byRow)
{
    return QSet<QString>(byRow.cbegin(), byRow.cend());
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A phone upgraded from iOS 4 made its message table with the 17 SMS columns
// and gained the iMessage columns by ALTER TABLE: each row keeps as many
// values as the table had when the row was written.
struct UpgradedRow
{
    qint64 rowid = 0;
    bool imessage = false;
    int values = 17; // the table's columns when the row was written
    QString text;

    QString correspondent() const { return QStringLiteral("+1212555%1").arg(rowid, 4, 10, QLatin1Char('0')); }
    qint64 date() const { return imessage ? 322000000 + rowid * 60 : 1300000000 + rowid * 60; }
    bool fromMe() const { return rowid % 2 == 1; }
    int error() const { return imessage && rowid % 3 == 0 ? 4 : 0; }

    QString insert() const
    {
        if (imessage)
            return QStringLiteral(
                       "INSERT INTO message (ROWID, date, text, flags, replace, UIFlags, version, read, is_madrid, "
                       "madrid_handle, madrid_guid, madrid_service, madrid_account, madrid_error, madrid_date_read, "
                       "madrid_date_delivered, madrid_flags%1) VALUES (%2, %3, '%4', 0, 0, 0, 0, 1, 1, '%5', '%6', "
                       "'Madrid', 'e:me@example.com', %7, %8, %9, 12345%10);")
                .arg(values >= 33 ? ", madrid_account_guid" : "")
                .arg(rowid).arg(date()).arg(text, correspondent(), DeletedSmsFixture::guidOf(rowid))
                .arg(error()).arg(date() + 100).arg(fromMe() ? date() + 50 : 0)
                .arg(values >= 33 ? ", 'D1A0C0DE-0000-4000-8000-00000000ACC7'" : "");
        // Once the table has the iMessage columns, an SMS holds 0 in their
        // number columns, as a phone writes it.
        return QStringLiteral("INSERT INTO message (ROWID, address, date, text, flags, replace, group_id, UIFlags, "
                              "version, country, read%1) VALUES (%2, '%3', %4, '%5', %6, 0, 1, %7, 0, 'us', 1%8);")
            .arg(values > 17 ? ", is_madrid, madrid_version, madrid_type, madrid_flags, madrid_error, "
                               "madrid_date_read, madrid_date_delivered" : "")
            .arg(rowid).arg(correspondent()).arg(date()).arg(text)
            .arg(fromMe() ? 3 : 2).arg(rowid % 2 ? 4 : 0)
            .arg(values > 17 ? ", 0, 0, 0, 0, 0, 0, 0" : "");
    }
    // What the row must come back as (kStored's form).
    QString expected() const
    {
        const QString common = QStringLiteral("%1|%2|%3|%4|").arg(imessage ? "iMessage" : "SMS")
                                   .arg(imessage ? date() : date() - 978307200).arg(correspondent())
                                   .arg(fromMe() ? 1 : 0);
        return common + text + QLatin1Char('|')
            + (imessage ? DeletedSmsFixture::guidOf(rowid) + QStringLiteral("|%1").arg(error()) : QString());
    }
};

// ALTER TABLE statements that widen the 17-column message table from `from`
// to `to` columns, appending the iMessage columns in the known layout's
// order (madrid_account_guid last) or a phone's (after madrid_account).
QString widening(int from, int to, bool phoneOrder)
{
    QStringList cols{"madrid_attributedBody BLOB", "madrid_handle TEXT", "madrid_version INTEGER",
                     "madrid_guid TEXT", "madrid_type INTEGER", "madrid_roomname TEXT", "madrid_service TEXT",
                     "madrid_account TEXT", "madrid_flags INTEGER", "madrid_attachmentInfo BLOB",
                     "madrid_url TEXT", "madrid_error INTEGER", "is_madrid INTEGER", "madrid_date_read INTEGER",
                     "madrid_date_delivered INTEGER"};
    cols.insert(phoneOrder ? 8 : cols.size(), QStringLiteral("madrid_account_guid TEXT"));
    QString sql;
    for (int c = from; c < to; ++c)
        sql += QStringLiteral("ALTER TABLE message ADD COLUMN %1;").arg(cols.at(c - 17));
    return sql;
}

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
    // guid and error), and no live row is stored. Rows written before a
    // column was appended hold one value fewer than the table declares.
    void deletedRowsOfEitherShapeComeBack_data()
    {
        QTest::addColumn<int>("shape");
        QTest::newRow("declared as a phone declares it") << int(Ios5Shape::Phone);
        QTest::newRow("iMessage columns appended") << int(Ios5Shape::Appended);
        QTest::newRow("a phone's order, a column appended after the rows") << int(Ios5Shape::PhoneThenColumn);
    }
    void deletedRowsOfEitherShapeComeBack()
    {
        QFETCH(int, shape);
        const QString folder = newFolder();
        DeletedSmsFixture::createIos5(folder, 7, 600, Ios5Shape(shape));
        const QString sms = SmsDbFixture::smsDbPath(folder);
        const QString singles = "ROWID IN (10, 11, 12, 13, 150, 297, 298, 450)";
        const QString range = "ROWID BETWEEN 200 AND 290";
        const QHash<qint64, QString> expectedSingles = expectedOf(sms, singles);
        const QHash<qint64, QString> expectedRange = expectedOf(sms, range);
        QCOMPARE(expectedSingles.size() + expectedRange.size(), 99);
        QHash<qint64, QByteArray> records;
        for (const SqliteFileFixture::LiveRow& r : SqliteFileFixture::liveRows(sms, "message"))
            records.insert(r.rowid, SqliteFileFixture::recordFromValue1(r.values.mid(0, 33)));
        DeletedSmsFixture::exec(folder, "CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(20000)); DROP TABLE filler;"
                                        "DELETE FROM message WHERE " + singles + " OR " + range + ";");

        IOS5MessageDb db(QDir(folder), us());
        IOS5MessageRecovery::recycleDeletedMessages(db, nullptr);
        const QSet<QString> stored = column(recyclePath(folder), kStored);
        const QSet<QString> singleRows = valuesOf(expectedSingles);
        QCOMPARE(stored - singleRows - valuesOf(expectedRange), QSet<QString>());
        QCOMPARE(singleRows - stored, QSet<QString>());
        // SQLite rebalances the pages the range leaves half empty and
        // overwrites part of it; every row whose record it left whole comes
        // back.
        const QByteArray bytes = fileBytes(sms);
        QSet<QString> whole;
        for (auto it = expectedRange.cbegin(); it != expectedRange.cend(); ++it)
            if (bytes.contains(records.value(it.key())))
                whole.insert(it.value());
        QVERIFY2(whole.size() >= 40, qPrintable(QString::number(whole.size())));
        QCOMPARE(whole - stored, QSet<QString>());
        QVERIFY(SqlFixture::scalar(recyclePath(folder), "select count(*) from message where src_rowid between 200 and 290")
                    .toInt() >= 30);
    }

    // The newest row of a page has its cell at the start of the cell
    // content. Deleted, its first four bytes take the freeblock header and
    // the rest joins the unallocated gap, behind the zero bytes of the gap:
    // every run of them reads as a row of NULLs. The text's length moves the
    // record against the run, over every offset of the carver's steps.
    void newestRowComesBack_data()
    {
        QTest::addColumn<bool>("imessage");
        QTest::addColumn<int>("padding");
        for (bool imessage : {false, true})
            for (int padding = 0; padding < 40; ++padding)
                QTest::addRow("%s, text padded by %d", imessage ? "iMessage" : "SMS", padding) << imessage << padding;
    }
    void newestRowComesBack()
    {
        QFETCH(bool, imessage);
        QFETCH(int, padding);
        const QString folder = newFolder();
        DeletedSmsFixture::createIos5(folder, 2, 4, Ios5Shape::Phone);
        const QString text = QStringLiteral("Deleted at last") + QString(padding, QLatin1Char('.'));
        const QString insert = imessage
            ? "INSERT INTO message (ROWID, date, text, flags, replace, UIFlags, version, read, is_madrid, madrid_handle, "
              "madrid_guid, madrid_service, madrid_account, madrid_error, madrid_date_read, madrid_date_delivered, "
              "madrid_flags, madrid_account_guid) VALUES (5, 322009999, '%1', 0, 0, 0, 0, 1, 1, '+12125550077', '" +
                  DeletedSmsFixture::guidOf(5) + "', 'Madrid', 'e:me@example.com', 0, 322010100, 322010050, 12345, "
              "'D1A0C0DE-0000-4000-8000-00000000ACC7');"
            : "INSERT INTO message (ROWID, address, date, text, flags, replace, group_id, UIFlags, version, country, read, "
              "is_madrid, madrid_version, madrid_type, madrid_flags, madrid_error, madrid_date_read, madrid_date_delivered) "
              "VALUES (5, '+12125550077', 1300009999, '%1', 3, 0, 1, 0, 0, 'us', 1, 0, 0, 0, 0, 0, 0, 0);";
        DeletedSmsFixture::exec(folder, insert.arg(text) + "DELETE FROM message WHERE ROWID = 5;");
        const QString sms = SmsDbFixture::smsDbPath(folder);
        QCOMPARE(SqliteFileFixture::pages(sms, "message").size(), 1);

        IOS5MessageDb db(QDir(folder), us());
        IOS5MessageRecovery::recycleDeletedMessages(db, nullptr);
        const QString expected = imessage ? "iMessage|322009999|+12125550077|1|" + text + "|" + DeletedSmsFixture::guidOf(5) + "|0"
                                          : QStringLiteral("SMS|%1|+12125550077|1|%2|").arg(1300009999 - 978307200).arg(text);
        QCOMPARE(column(recyclePath(folder), kStored), QSet<QString>{expected});
    }

    // An upgraded phone's rows of every length, deleted from the one leaf
    // page of its table: 17 values (written before the upgrade), then 33, or
    // 32 and 33 where madrid_account_guid was appended on its own later. Each
    // generation's second and last rows are deleted (the newest row's cell
    // goes to the page's gap, a generation's last row and the next one's
    // first are neighbours); by generation, oldest or newest first, or each
    // generation's at once, before the next is written into the space they
    // left. The text's length moves the records against each other and
    // against the carver's steps. Every deleted row whose record still lies
    // whole in the file comes back exactly, and nothing else is stored.
    void upgradedRowsOfEveryLengthComeBack_data()
    {
        QTest::addColumn<QList<int>>("generations");
        QTest::addColumn<bool>("phoneOrder");
        QTest::addColumn<int>("deletion");
        QTest::addColumn<int>("padding");
        const char* const deletions[] = {"oldest first", "newest first", "before the next generation"};
        struct Shape
        {
            const char* name;
            QList<int> generations;
            bool phoneOrder;
        };
        const Shape shapes[] = {{"17 and 33, known order", {17, 33}, false},
                                {"17 and 33, a phone's order", {17, 33}, true},
                                {"17, 32 and 33", {17, 32, 33}, false}};
        for (const Shape& shape : shapes)
            for (int deletion = 0; deletion < 3; ++deletion)
                for (int padding = 0; padding < 8; ++padding)
                    QTest::addRow("%s, %s, text padded by %d", shape.name, deletions[deletion], padding)
                        << shape.generations << shape.phoneOrder << deletion << padding;
    }
    void upgradedRowsOfEveryLengthComeBack()
    {
        QFETCH(QList<int>, generations);
        QFETCH(bool, phoneOrder);
        QFETCH(int, deletion);
        QFETCH(int, padding);
        const QString folder = newFolder();
        const QString sms = SmsDbFixture::smsDbPath(folder);
        IOS5SmsFixture::create(sms, false);

        QStringList deletes; // each generation's DELETE statement
        QHash<qint64, QString> expected;  // every deleted row
        QHash<qint64, QByteArray> records; // its record as it was written
        qint64 rowid = 0;
        for (int g = 0; g < generations.size(); ++g) {
            const int values = generations.at(g);
            QString sql = widening(g == 0 ? 17 : generations.at(g - 1), values, phoneOrder);
            QList<UpgradedRow> rows;
            for (int i = 0; i < 4; ++i) {
                UpgradedRow row;
                row.rowid = ++rowid;
                row.imessage = values > 17 && (i + padding) % 2 == 1;
                row.values = values;
                row.text = QStringLiteral("%1 message %2").arg(g == 0 ? "Old" : "New").arg(rowid)
                    + QString(padding, QLatin1Char('.'));
                sql += row.insert();
                rows.append(row);
            }
            DeletedSmsFixture::exec(folder, sql);
            for (const SqliteFileFixture::LiveRow& r : SqliteFileFixture::liveRows(sms, "message"))
                if (r.rowid > rowid - 4)
                    records.insert(r.rowid, SqliteFileFixture::recordFromValue1(r.values.mid(0, values)));
            QStringList ids;
            for (int i : {1, 3}) {
                expected.insert(rows.at(i).rowid, rows.at(i).expected());
                ids.append(QString::number(rows.at(i).rowid));
            }
            const QString remove = "DELETE FROM message WHERE ROWID IN (" + ids.join(',') + ");";
            if (deletion == 2)
                DeletedSmsFixture::exec(folder, remove);
            else
                deletes.append(remove);
        }
        if (deletion == 1)
            std::reverse(deletes.begin(), deletes.end());
        for (const QString& remove : deletes)
            DeletedSmsFixture::exec(folder, remove);
        QCOMPARE(SqliteFileFixture::pages(sms, "message").size(), 1);

        IOS5MessageDb db(QDir(folder), us());
        IOS5MessageRecovery::recycleDeletedMessages(db, nullptr);
        const QSet<QString> stored = column(recyclePath(folder), kStored);
        const QByteArray bytes = fileBytes(sms);
        QSet<QString> whole;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            if (bytes.contains(records.value(it.key())))
                whole.insert(it.value());
        // Rows deleted after every insert keep their records; rows deleted
        // earlier may have given their space to later ones.
        QVERIFY(whole.size() >= (deletion == 2 ? 2 : expected.size()));
        QCOMPARE(stored - valuesOf(expected), QSet<QString>());
        QCOMPARE(whole - stored, QSet<QString>());
    }

    // A shorter layout tried where a longer one took a record reads that
    // record's last serial types as values. Here the 32-column layout, at
    // the start of a 33-value SMS whose madrid_account_guid holds a guid,
    // reads every value one byte early: the guid's serial type (85, "U")
    // and the address but its last letter, a date made of that letter and
    // the real date's first three bytes (a date of these years for the
    // letters A to j), and a text behind the real date's last byte (nothing
    // when that is zero). Such a row passes the row test; it must not be
    // stored beside the message it was read from.
    void shorterLayoutDoesNotMisreadALongerRecord_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<qint64>("date");
        for (const QString& address : QStringList{"VISA", "HSBC", "AT&T", "Google", "Chase"})
            for (qint64 date : {1300000000LL, 1300000065LL, 1300000120LL})
                QTest::addRow("%s, date %lld", qPrintable(address), date) << address << date;
    }
    void shorterLayoutDoesNotMisreadALongerRecord()
    {
        QFETCH(QString, address);
        QFETCH(qint64, date);
        const QString folder = newFolder();
        const QString sms = SmsDbFixture::smsDbPath(folder);
        IOS5SmsFixture::create(sms, false);
        DeletedSmsFixture::exec(folder, widening(17, 33, false) + QStringLiteral(
            "INSERT INTO message (ROWID, address, date, text, flags, replace, group_id, UIFlags, version, read, "
            "is_madrid, madrid_version, madrid_type, madrid_flags, madrid_error, madrid_date_read, "
            "madrid_date_delivered, madrid_account_guid) VALUES (1, '%1', %2, 'Your code is 1234', 2, 0, 1, 0, 0, 1, "
            "0, 0, 0, 0, 0, 0, 0, 'D1A0C0DE-0000-4000-8000-00000000ACC7');"
            "INSERT INTO message (ROWID, address, date, text, flags, replace, group_id, UIFlags, version, read, is_madrid) "
            "VALUES (2, '+12125550002', 1300000200, 'Kept', 2, 0, 1, 0, 0, 1, 0);"
            "DELETE FROM message WHERE ROWID = 1;").arg(address).arg(date));

        IOS5MessageDb db(QDir(folder), us());
        IOS5MessageRecovery::recycleDeletedMessages(db, nullptr);
        QCOMPARE(column(recyclePath(folder), kStored),
                 QSet<QString>{QStringLiteral("SMS|%1|%2|0|Your code is 1234|").arg(date - 978307200).arg(address.toLower())});
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
        QTest::newRow("a phone's order, one more column") << sms + madrid.arg("madrid_account_guid TEXT, ", ", extra TEXT")
                                                          << true << QList<int>{34, 33, 17};
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

    // What a row must hold to be taken. The row test and the mapping answer
    // alike, so the carver never takes, and steps over the bytes of, a row
    // that the mapping then drops; a row of NULLs (what every run of zero
    // bytes reads as) is refused by both. The known layouts' positions.
    void rowTestAndMappingAgree_data()
    {
        QTest::addColumn<int>("values");
        QTest::addColumn<QVariantHash>("set");
        QTest::addColumn<bool>("accepted");
        const QVariantHash sms{{"address", "+12125550100"}, {"date", 1300000000}, {"text", "hi"}};
        const QVariantHash imessage{{"date", 322000000}, {"text", "hi"}, {"is_madrid", 1}, {"madrid_service", "Madrid"},
                                    {"madrid_handle", "+12125550100"}};
        auto with = [](QVariantHash v, const QVariantHash& more) {
            v.insert(more);
            return v;
        };
        auto without = [](QVariantHash v, const char* name) {
            v.remove(name);
            return v;
        };
        QTest::newRow("16 values") << 16 << sms << false;
        QTest::newRow("17 values, read and UIFlags NULL") << 17 << sms << true;
        QTest::newRow("17 NULLs") << 17 << QVariantHash() << false;
        QTest::newRow("33 NULLs") << 33 << QVariantHash() << false;
        QTest::newRow("read 2") << 17 << with(sms, {{"read", 2}}) << false;
        QTest::newRow("read -1") << 17 << with(sms, {{"read", -1}}) << false;
        QTest::newRow("UIFlags 5") << 17 << with(sms, {{"read", 1}, {"UIFlags", 5}}) << true;
        QTest::newRow("UIFlags 3") << 17 << with(sms, {{"UIFlags", 3}}) << false;
        QTest::newRow("28 values, no is_madrid") << 28 << with(sms, {{"madrid_guid", "G"}}) << true;
        QTest::newRow("32 values, is_madrid 7") << 32 << with(sms, {{"is_madrid", 7}}) << false;
        QTest::newRow("33 values, is_madrid 2") << 33 << with(sms, {{"is_madrid", 2}}) << false;
        QTest::newRow("32 values, SMS with a madrid_guid") << 32 << with(sms, {{"madrid_guid", "G"}}) << false;
        QTest::newRow("32 values, iMessage") << 32 << imessage << true;
        QTest::newRow("SMS without a date") << 33 << without(sms, "date") << false;
        QTest::newRow("SMS at 2001-01-01 00:00:00") << 33 << with(sms, {{"date", 978307200}}) << false;
        QTest::newRow("SMS a second later") << 33 << with(sms, {{"date", 978307201}}) << true;
        QTest::newRow("SMS in 2038") << 33 << with(sms, {{"date", 2147483647}}) << false;
        QTest::newRow("SMS without an address") << 33 << without(sms, "address") << false;
        QTest::newRow("SMS with an empty address") << 33 << with(sms, {{"address", ""}}) << false;
        QTest::newRow("SMS without a text") << 33 << without(sms, "text") << true;
        QTest::newRow("iMessage") << 33 << imessage << true;
        QTest::newRow("iMessage, text only") << 33 << without(imessage, "madrid_handle") << true;
        QTest::newRow("iMessage, correspondent only") << 33 << without(imessage, "text") << true;
        QTest::newRow("iMessage, neither") << 33 << without(without(imessage, "text"), "madrid_handle") << false;
        QTest::newRow("iMessage without madrid_service") << 33 << without(imessage, "madrid_service") << false;
        QTest::newRow("iMessage, madrid in lower case") << 33 << with(imessage, {{"madrid_service", "madrid"}}) << false;
        QTest::newRow("iMessage dated 0") << 33 << with(imessage, {{"date", 0}}) << false;
        QTest::newRow("iMessage without a date") << 33 << without(imessage, "date") << false;
    }
    void rowTestAndMappingAgree()
    {
        QFETCH(int, values);
        QFETCH(QVariantHash, set);
        QFETCH(bool, accepted);
        IOS5MessageDb db(QDir(newFolder()), us());
        IOS5MessageRecovery recovery(db);
        _SqliteFileRowData row = rowOf(recovery.shape(), set);
        row.values = row.values.mid(0, values);
        QCOMPARE(recovery.rowTest()(row), accepted);
        IOS5RecycleMsgItem item;
        QCOMPARE(recovery.recoverFetchMessage(row, item), accepted);
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
