// The recovery of deleted handles and messages of iOS 6+ databases into the
// recovery database, and the return of recovered messages into a message set.
#include <QtTest>

#include "deletedsmsfixture.h"
#include "ios6handlerecovery.h"
#include "ios6messagerecovery.h"
#include "progressreporter.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "temphome.h"

namespace {

class Reporter : public ProgressReporter
{
public:
    bool cancel = false;
    QList<int> percents;
    void reportProgress(const QString&, int percent, const QString&) override { percents.append(percent); }
    bool isCancelled() const override { return cancel; }
};

QString recyclePath(const QString& folder)
{
    return folder + QStringLiteral("/recycle.db");
}

QSet<QString> column(const QString& path, const QString& sql)
{
    const QStringList values = SqlFixture::scalar(path, "select group_concat(v, char(10)) from (" + sql + ")")
                                   .toString()
                                   .split('\n', Qt::SkipEmptyParts);
    return QSet<QString>(values.begin(), values.end());
}

} // namespace

class TestRecoveryProcedures : public QObject
{
    Q_OBJECT

    TempHome home;
    int folders = 0;

    _CountryInfo us()
    {
        CountryLibDb lib{QString()};
        return lib.infoByCode("US", nullptr);
    }
    QString newFolder() { return home.file(QStringLiteral("db%1").arg(++folders)); }

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

        mergeRecoveredMessages(db, data);
        int recovered = 0;
        for (const _MsgMessage* m : data.p()->messages)
            recovered += m->recovered;
        QCOMPARE(recovered, deleted.size());
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
