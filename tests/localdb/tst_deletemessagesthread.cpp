// The delete worker over a small local database: what one run deletes (the
// chat row only with its last message), its progress, and that a cancel, an
// injected failure or a database that cannot be opened leave the file as it
// was.
#include <QLabel>
#include <QtTest>

#include "conversationfixture.h"
#include "deletemessagesthread.h"
#include "ios6messagedb.h"
#include "modalwatcher.h"
#include "msgdata.h"
#include "progressform.h"
#include "progressrunner.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "temphome.h"
#include "translation.h"

namespace {

// Records every percentage; cancels once `cancelAt` reports were made.
class Recorder : public ProgressReporter
{
public:
    void reportProgress(const QString&, int percent, const QString& detail) override
    {
        percents.append(percent);
        details.append(detail);
    }
    bool isCancelled() const override { return cancelAt >= 0 && percents.size() >= cancelAt; }

    QList<int> percents;
    QStringList details;
    int cancelAt = -1;
};

int count(const QString& db, const QString& table)
{
    return SqlFixture::scalar(db, QStringLiteral("select count(*) from %1").arg(table)).toInt();
}

// The messages of `data` with these row ids, in that order.
QList<_MsgMessage*> byRowIds(const MsgData& data, const QList<qint64>& rowIds)
{
    QList<_MsgMessage*> list;
    for (qint64 id : rowIds)
        list.append(data.p()->messages.value(id));
    return list;
}

} // namespace

class TestDeleteMessagesThread : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempHome> home;
    QString folder;
    QString file;

private slots:
    void initTestCase() { QVERIFY(installEnglishTranslation(QCoreApplication::instance())); }

    void init()
    {
        home = std::make_unique<TempHome>();
        folder = home->file(QStringLiteral("db"));
        file = SmsDbFixture::smsDbPath(folder);
        // Chat 1 holds messages 1 to 3, chat 2 messages 4 and 5.
        ConversationFixture::create(folder, {{QStringLiteral("+100"), 3}, {QStringLiteral("+200"), 2}});
    }

    void cleanup() { home.reset(); }

    void deletesInListOrder_data()
    {
        QTest::addColumn<QList<qint64>>("rowIds");
        QTest::addColumn<int>("messagesLeft");
        QTest::addColumn<int>("chatsLeft");
        QTest::addColumn<QList<int>>("percents");
        QTest::newRow("empty list: committed, nothing deleted") << QList<qint64>{} << 5 << 2 << QList<int>{};
        QTest::newRow("part of a chat keeps its row") << QList<qint64>{1, 2} << 3 << 2 << QList<int>{50, 100};
        QTest::newRow("the last message of a chat takes its row")
            << QList<qint64>{4, 5, 1, 2} << 1 << 1 << QList<int>{25, 50, 75, 100};
    }

    void deletesInListOrder()
    {
        QFETCH(QList<qint64>, rowIds);
        QFETCH(int, messagesLeft);
        QFETCH(int, chatsLeft);
        QFETCH(QList<int>, percents);
        IOS6MessageDb db(QDir(folder), _CountryInfo(), true);
        MsgData data;
        db.messages(data, 0);
        Recorder progress;
        QCOMPARE(DeleteMessagesThread::deleteInOneTransaction(db, byRowIds(data, rowIds), progress),
                 int(rowIds.size()));
        QCOMPARE(progress.percents, percents);
        QVERIFY(!db.inTransaction);
        QCOMPARE(count(file, "message"), messagesLeft);
        QCOMPARE(count(file, "chat"), chatsLeft);
        QCOMPARE(count(file, "chat_message_join"), messagesLeft);
    }

    // A message already gone from the file deletes nothing and still counts.
    void goneMessageCounts()
    {
        IOS6MessageDb db(QDir(folder), _CountryInfo(), true);
        MsgData data;
        db.messages(data, 0);
        SqlFixture::build(file, QStringLiteral("delete from message where ROWID = 4;"));
        Recorder progress;
        QCOMPARE(DeleteMessagesThread::deleteInOneTransaction(db, byRowIds(data, {4, 1}), progress), 2);
        QCOMPARE(count(file, "message"), 3);
    }

    // A cancel before the third message, or a statement that fails on it:
    // the two deleted before it come back.
    void cancelOrFailureLeavesFile_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancel") << true;
        QTest::newRow("injected failure") << false;
    }

    void cancelOrFailureLeavesFile()
    {
        QFETCH(bool, cancel);
        if (!cancel)
            SqlFixture::build(file, QStringLiteral("create trigger refuse before delete on message when old.ROWID = 3"
                                                   " begin select raise(abort, 'injected failure'); end;"));
        IOS6MessageDb db(QDir(folder), _CountryInfo(), true);
        MsgData data;
        db.messages(data, 0);
        Recorder progress;
        progress.cancelAt = cancel ? 2 : -1;
        const QList<_MsgMessage*> list = byRowIds(data, {1, 2, 3, 4});
        if (cancel) {
            QVERIFY_THROWS_EXCEPTION(Cancelled, DeleteMessagesThread::deleteInOneTransaction(db, list, progress));
        } else {
            QVERIFY_THROWS_EXCEPTION(std::exception, DeleteMessagesThread::deleteInOneTransaction(db, list, progress));
        }
        QVERIFY(!db.inTransaction);
        QCOMPARE(count(file, "message"), 5);
        QCOMPARE(count(file, "chat"), 2);
        QCOMPARE(count(file, "chat_message_join"), 5);
        // The connection is usable again.
        Recorder again;
        QCOMPARE(DeleteMessagesThread::deleteInOneTransaction(db, byRowIds(data, {5}), again), 1);
    }

    // Behind its dialog: the start status, the success box with the count.
    void reportsThroughDialog()
    {
        IOS6MessageDb db(QDir(folder), _CountryInfo(), true);
        MsgData data;
        db.messages(data, 0);
        const QList<_MsgMessage*> list = byRowIds(data, {1, 2, 3});
        ModalWatcher watcher;
        ProgressForm form(QString(), nullptr);
        DeleteMessagesThread worker(db, list, form);
        QVERIFY(g_runWithProgress(form, worker));
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Information);
        QCOMPARE(watcher.shown().first().text, QStringLiteral("Successfully Deleted 3 SMS."));
        QCOMPARE(form.findChild<QLabel*>("lbStatus")->text(), QStringLiteral("Deleting SMS..."));
        QCOMPARE(form.findChild<QLabel*>("lbProgress")->text(), QStringLiteral("Progress:100%"));
        QCOMPARE(count(file, "message"), 2);
    }

    // A folder where the database file should be: the error box, and no success.
    void unopenableDatabaseIsAnError()
    {
        const QString other = home->file(QStringLiteral("broken"));
        QVERIFY(QDir().mkpath(SmsDbFixture::smsDbPath(other)));
        IOS6MessageDb db(QDir(other), _CountryInfo(), true);
        _MsgMessage message;
        message.ROWID = 1;
        const QList<_MsgMessage*> list{&message};
        ModalWatcher watcher;
        ProgressForm form(QString(), nullptr);
        DeleteMessagesThread worker(db, list, form);
        QVERIFY(!g_runWithProgress(form, worker));
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Critical);
        QVERIFY(QFileInfo(SmsDbFixture::smsDbPath(other)).isDir());
    }
};

QTEST_MAIN(TestDeleteMessagesThread)
#include "tst_deletemessagesthread.moc"
