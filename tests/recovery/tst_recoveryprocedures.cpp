// The recovery of deleted handles and messages of iOS 6+ databases into the
// recovery database, and the return of recovered messages into a message set.
#include <QtTest>

#include "deletedsmsfixture.h"
#include "ios5messagerecovery.h"
#include "ios6handlerecovery.h"
#include "ios6messagerecovery.h"
#include "recoverytestsupport.h"
#include "smsdbfixture.h"

using namespace RecoveryTestSupport;

class TestRecoveryProcedures : public QObject
{
    Q_OBJECT

    Folders folders;
    QString newFolder() { return folders.next(); }

    QList<_MsgChat*> chatsOf(IOS6MessageDb& db, MsgData& data)
    {
        db.chats(data);
        return data.p()->chats.values();
    }

private slots:
    void deletedHandlesComeBackOnce()
    {
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 60, 10);
        DeletedSmsFixture::exec(folder, "DELETE FROM handle WHERE ROWID IN (3, 10, 11, 40);");
        IOS6MessageDb db(QDir(folder), us(), false);
        IOS6HandleRecovery::recycleDeletedHandles(db, nullptr);

        const QSet<QString> stored = column(recyclePath(folder), "select id as v from handle");
        const QSet<QString> expected{"+12125550003", "+12125550010", "+12125550011", "+12125550040"};
        QCOMPARE(stored, expected);
        QVERIFY(!stored.intersects(DeletedSmsFixture::liveHandleIds(folder)));
        // Row ids come back only where the cell proves them, and then right.
        QCOMPARE(SqlFixture::scalar(recyclePath(folder),
                                    "select count(*) from handle where src_rowid is not null and "
                                    "cast(substr(id, 9) as integer) <> src_rowid").toInt(), 0);

        IOS6HandleRecovery::recycleDeletedHandles(db, nullptr);
        QCOMPARE(SqlFixture::scalar(recyclePath(folder), "select count(*) from handle").toInt(), 4);
    }

    void handleRowMapping_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("stored");
        QTest::newRow("cleaned") << "(12) 3-4" << "" << "SMS" << "1234";
        QTest::newRow("letters lower-cased") << "Ab-C 1" << "" << "iMessage" << "ab-c 1";
        QTest::newRow("sms lower case") << "+15551234567" << "us" << "sms" << "+15551234567";
        QTest::newRow("unknown country") << "+15551234567" << "zz" << "SMS" << "";
        QTest::newRow("other service") << "+15551234567" << "us" << "MMS" << "";
        QTest::newRow("empty after cleaning") << "()-" << "" << "SMS" << "";
    }
    void handleRowMapping()
    {
        QFETCH(QString, id);
        QFETCH(QString, country);
        QFETCH(QString, service);
        QFETCH(QString, stored);
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 1, 1);
        IOS6MessageDb db(QDir(folder), us(), false);
        IOS6HandleRecovery recovery(db);
        _SqliteFileRowData row;
        row.rowid = 9;
        row.values = {QVariant(), id, country, service, QVariant()};
        _MsgHandle h;
        QCOMPARE(recovery.recoverFetchHandle(row, &h), !stored.isEmpty());
        if (!stored.isEmpty())
            QCOMPARE(h.id, stored);
    }

    void deletedMessagesComeBackWithTheirConversation()
    {
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 20, 600, 97);
        QSet<QString> deleted;
        for (qint64 id : {5, 6, 7, 97, 194, 300, 301, 302, 303, 550})
            deleted.insert(DeletedSmsFixture::guidOf(id));
        // A free list already there keeps the freed overflow pages whole (the
        // first page freed into an empty list becomes its trunk).
        DeletedSmsFixture::exec(folder, "CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(20000)); DROP TABLE filler;"
                                        "DELETE FROM message WHERE ROWID IN (5, 6, 7, 97, 194, 300, 301, 302, 303, 550);"
                                        "DELETE FROM chat_message_join WHERE message_id NOT IN (SELECT ROWID FROM message);");
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        Reporter progress;
        IOS6MessageRecovery::recycleDeletedMessages(db, chatsOf(db, data), &progress);

        const QSet<QString> stored = column(recyclePath(folder), "select guid as v from message");
        QCOMPARE(stored, deleted);
        QVERIFY(!progress.percents.isEmpty() && progress.percents.last() == 100);
        // Every message is tied to its conversation and correspondent.
        QCOMPARE(SqlFixture::scalar(recyclePath(folder), "select count(*) from message where chat_identifier = '' "
                                                         "or chat_identifier is null or handle <> chat_identifier").toInt(), 0);
        QVERIFY(SqlFixture::scalar(recyclePath(folder), "select min(length(text)) from message where guid = '" +
                                                        DeletedSmsFixture::guidOf(97) + "'").toInt() > 12000);

        // A message back in the live table is not merged as recovered.
        db.executeThrow(Sqlite3Sql("insert into message (guid, text, service) values (?, 'back', 'SMS')")
                            .addTextParam(DeletedSmsFixture::guidOf(550)));
        db.deletedMessages(data);
        int recovered = 0;
        for (const _MsgMessage* m : data.p()->messages)
            recovered += m->recovered;
        QCOMPARE(recovered, deleted.size() - 1);
    }

    void nothingLiveIsStoredAfterUpdatesMoveRows()
    {
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 5, 300);
        // Updates that grow rows move them to other pages, leaving stale copies behind.
        DeletedSmsFixture::exec(folder, "UPDATE message SET text = text || replace(hex(zeroblob(300)), '00', 'ab') "
                                        "WHERE ROWID % 4 = 0; DELETE FROM message WHERE ROWID % 50 = 1;");
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        IOS6MessageRecovery::recycleDeletedMessages(db, chatsOf(db, data), nullptr);
        const QSet<QString> stored = column(recyclePath(folder), "select guid as v from message");
        QVERIFY(!stored.intersects(DeletedSmsFixture::liveGuids(folder)));
        QCOMPARE(stored.size(), 6);
    }

    void deletedIos5MessagesComeBackOnce()
    {
        const QString folder = newFolder();
        DeletedSmsFixture::createIos5(folder, 7, 300);
        DeletedSmsFixture::exec(folder, "CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(20000)); DROP TABLE filler;"
                                        "DELETE FROM message WHERE ROWID IN (10, 11, 12, 13, 150, 298);");
        IOS5MessageDb db(QDir(folder), us());
        IOS5MessageRecovery::recycleDeletedMessages(db, nullptr);
        const QString recycle = recyclePath(folder);
        // SMS by their texts (their guids are made up), iMessages by guid.
        QCOMPARE(column(recycle, "select text as v from message where service = 'SMS'"),
                 QSet<QString>({"Old message 10 of the phone", "Old message 11 of the phone", "Old message 13 of the phone",
                                "Old message 298 of the phone"}));
        QCOMPARE(column(recycle, "select guid as v from message where service = 'iMessage'"),
                 QSet<QString>({DeletedSmsFixture::guidOf(12), DeletedSmsFixture::guidOf(150)}));
        QCOMPARE(SqlFixture::scalar(recycle, "select chat_identifier || '|' || handle || '|' || is_from_me || '|' || date "
                                             "from message where text like 'Old message 11 %'").toString(),
                 QStringLiteral("+12125550005|+12125550005|1|%1").arg(1300000000 + 11 * 60 - 978307200));
        QCOMPARE(SqlFixture::scalar(recycle, "select handle || '|' || is_from_me from message where service = 'iMessage' "
                                             "and guid = '" + DeletedSmsFixture::guidOf(150) + "'").toString(),
                 QStringLiteral("+12125550004|0"));

        IOS5MessageRecovery::recycleDeletedMessages(db, nullptr);
        QCOMPARE(SqlFixture::scalar(recycle, "select count(*) from message").toInt(), 6);
        MsgData data;
        db.deletedMessages(data);
        QCOMPARE(data.p()->messages.size(), 6);
    }

    // A whole table dropped lies on the free list: without the table the
    // free-list phase still reads the cells of its freed pages, and what it
    // finds is committed. Nothing is carved, so the rows deleted before the
    // drop (in freeblocks of those pages) stay out, and no progress is told.
    void withoutTheTableOnlyFreedCellsAreKept_data()
    {
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("rows");
        QTest::newRow("iOS 6 handles") << "handles" << "select count(*) from handle" << 12;
        QTest::newRow("iOS 6 messages") << "messages" << "select count(*) from message" << 40;
        QTest::newRow("iOS 5 messages") << "ios5" << "select count(*) from message" << 60;
    }
    void withoutTheTableOnlyFreedCellsAreKept()
    {
        QFETCH(QString, procedure);
        QFETCH(QString, stored);
        QFETCH(int, rows);
        const QString folder = newFolder();
        const QString table = procedure == "handles" ? "handle" : "message";
        const QString dropped = "CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(20000)); DROP TABLE filler;"
                                "DELETE FROM " + table + " WHERE ROWID IN (4, 8); DROP TABLE " + table + ";";
        Reporter progress;
        if (procedure == "ios5") {
            DeletedSmsFixture::createIos5(folder, 5, rows);
            DeletedSmsFixture::exec(folder, dropped);
            IOS5MessageDb db(QDir(folder), us());
            IOS5MessageRecovery::recycleDeletedMessages(db, &progress);
            QVERIFY(!db.recycleDb()->inTransaction);
        } else {
            DeletedSmsFixture::create(folder, 12, 40);
            DeletedSmsFixture::exec(folder, dropped);
            IOS6MessageDb db(QDir(folder), us(), false);
            if (procedure == "handles")
                IOS6HandleRecovery::recycleDeletedHandles(db, &progress);
            else
                IOS6MessageRecovery::recycleDeletedMessages(db, {}, &progress);
            QVERIFY(!db.recycleDb().inTransaction);
        }
        QCOMPARE(SqlFixture::scalar(recyclePath(folder), stored).toInt(), rows - 2);
        QCOMPARE(progress.percents, QList<int>());
    }

    void missingFileIsAnErrorAndCreatesNothing()
    {
        const QString folder = newFolder();
        IOS6MessageDb db(QDir(folder), us(), false);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, IOS6HandleRecovery::recycleDeletedHandles(db, nullptr));
        QVERIFY(!QFile::exists(SmsDbFixture::smsDbPath(folder)));
        QVERIFY(!QFile::exists(recyclePath(folder)));
    }

    void failureRollsTheTransactionBack()
    {
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 10, 50);
        DeletedSmsFixture::exec(folder, "DELETE FROM message WHERE ROWID < 10;");
        // A recovery database whose message table cannot take the rows.
        SqlFixture::build(recyclePath(folder), "CREATE TABLE message (guid TEXT, date INTEGER, is_from_me INTEGER, "
                                               "text TEXT, handle_id INTEGER, is_skip INTEGER);"
                                               "CREATE TABLE handle (id TEXT, service TEXT, src_rowid INTEGER);");
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        QVERIFY_THROWS_EXCEPTION(std::exception, IOS6MessageRecovery::recycleDeletedMessages(db, chatsOf(db, data), nullptr));
        QVERIFY(!db.recycleDb().inTransaction);
        QCOMPARE(SqlFixture::scalar(recyclePath(folder), "select count(*) from message").toInt(), 0);
    }

    void cancelledBeforeTheStartStoresNothing()
    {
        const QString folder = newFolder();
        DeletedSmsFixture::create(folder, 10, 50);
        DeletedSmsFixture::exec(folder, "DELETE FROM handle WHERE ROWID < 5;");
        IOS6MessageDb db(QDir(folder), us(), false);
        Reporter progress;
        progress.cancel = true;
        IOS6HandleRecovery::recycleDeletedHandles(db, &progress);
        QVERIFY(progress.percents.isEmpty());
        QVERIFY(!db.recycleDb().inTransaction);
        QCOMPARE(SqlFixture::scalar(recyclePath(folder), "select count(*) from handle").toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecoveryProcedures)
#include "tst_recoveryprocedures.moc"
