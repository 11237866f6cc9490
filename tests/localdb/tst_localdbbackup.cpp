// One backup run into a local database: the progress it shows, the order in
// which the messages are written, the count it reports, and that a cancel or
// a failure leaves the database exactly as it was.
#include <QtTest>

#include "localdbbackup.h"
#include "messagefixture.h"
#include "progressreporter.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "translation.h"

namespace {

// Records what is shown; cancels once `cancelAt` messages were reported.
class Reporter : public ProgressReporter
{
public:
    void reportProgress(const QString& status, int percent, const QString& detail) override
    {
        statuses << status;
        percents << percent;
        details << detail;
        if (cancelAt > 0 && percents.size() > cancelAt)
            cancelled = true;
    }
    bool isCancelled() const override { return cancelled; }

    QStringList statuses;
    QList<int> percents;
    QStringList details;
    int cancelAt = 0;
    bool cancelled = false;
};

QString guids(const QString& folder)
{
    return SqlFixture::scalar(SmsDbFixture::smsDbPath(folder),
                              "select group_concat(guid, ',') from (select guid from message order by rowid)")
        .toString();
}

} // namespace

class TestLocalDbBackup : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int folders = 0;

    QString newFolder() { return dir.filePath(QStringLiteral("db%1").arg(++folders)); }

private slots:
    void initTestCase() { QVERIFY(installEnglishTranslation(QCoreApplication::instance())); }

    void progress()
    {
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+1"), {f.handle(QStringLiteral("+1"))});
        for (int i = 0; i < 3; ++i)
            f.message(chat, 100 + i, false, QStringLiteral("m%1").arg(i));
        LocalDbBackup backup(f.messages, QDir(newFolder()), _CountryInfo());
        Reporter reporter;
        QCOMPARE(backup.run(reporter), 3);
        QCOMPARE(reporter.percents, QList<int>({0, 33, 66, 100}));
        QCOMPARE(reporter.details, QStringList({QString(), "SMS: 1/3", "SMS: 2/3", "SMS: 3/3"}));
        QCOMPARE(reporter.statuses.first(), QStringLiteral("Backing up SMS to Local Database..."));
    }

    // Close in both row id and time, the source row ids decide; else the dates.
    void writeOrder_data()
    {
        QTest::addColumn<qint64>("laterRowId");
        QTest::addColumn<QString>("expected");
        QTest::newRow("row ids 5 and 7") << qint64(5) << "later,earlier";
        QTest::newRow("row ids 5 and 30") << qint64(30) << "earlier,later";
    }

    void writeOrder()
    {
        QFETCH(qint64, laterRowId);
        QFETCH(QString, expected);
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+1"), {f.handle(QStringLiteral("+1"))});
        _MsgMessage* earlier = f.message(chat, 1000, false, QStringLiteral("earlier"));
        _MsgMessage* later = f.message(chat, 1060, false, QStringLiteral("later"));
        earlier->guid = QStringLiteral("earlier");
        later->guid = QStringLiteral("later");
        earlier->srcRowId = 7;
        later->srcRowId = laterRowId;
        const QString folder = newFolder();
        LocalDbBackup backup({earlier, later}, QDir(folder), _CountryInfo());
        Reporter reporter;
        backup.run(reporter);
        QCOMPARE(guids(folder), expected);
    }

    // An empty list still creates the database; skipped messages count.
    void countsEveryMessage()
    {
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+1"), {f.handle(QStringLiteral("+1"))});
        f.message(chat, 100, false, QStringLiteral("kept"));
        QTest::ignoreMessage(QtDebugMsg, "IOS6RestoreMessagesThread skip message with empty chat.");
        f.message(nullptr, 200, false, QStringLiteral("no chat"));
        const QString empty = newFolder();
        Reporter reporter;
        QCOMPARE(LocalDbBackup({}, QDir(empty), _CountryInfo()).run(reporter), 0);
        QVERIFY(QFile::exists(SmsDbFixture::smsDbPath(empty)));
        const QString folder = newFolder();
        QCOMPARE(LocalDbBackup(f.messages, QDir(folder), _CountryInfo()).run(reporter), 2);
        QCOMPARE(LocalDbBackup(f.messages, QDir(folder), _CountryInfo()).run(reporter), 2);
        QCOMPARE(guids(folder), f.messages.first()->guid);
    }

    // A cancel after some messages, or a failure on a later one, leaves the
    // database with what it held before the run.
    void stoppedRunKeepsNothing_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancel") << true;
        QTest::newRow("failure") << false;
    }

    void stoppedRunKeepsNothing()
    {
        QFETCH(bool, cancel);
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+1"), {f.handle(QStringLiteral("+1"))});
        _MsgChat* fax = f.chat(QStringLiteral("+2"), {f.handle(QStringLiteral("+2"))});
        fax->service_name = QStringLiteral("Fax");
        _MsgMessage* before = f.message(chat, 100, false, QStringLiteral("before"));
        const QString folder = newFolder();
        Reporter reporter;
        LocalDbBackup({before}, QDir(folder), _CountryInfo()).run(reporter);

        QList<_MsgMessage*> run;
        for (int i = 0; i < 3; ++i)
            run << f.message(chat, 200 + i, false, QStringLiteral("run %1").arg(i));
        if (!cancel)
            run << f.message(fax, 300, false, QStringLiteral("fails"));
        Reporter stopping;
        stopping.cancelAt = cancel ? 2 : 0;
        LocalDbBackup backup(run, QDir(folder), _CountryInfo());
        if (cancel) {
            QVERIFY_THROWS_EXCEPTION(Cancelled, backup.run(stopping));
        } else {
            try {
                backup.run(stopping);
                QFAIL("no failure");
            } catch (const std::exception& e) {
                QCOMPARE(QString::fromUtf8(e.what()),
                         QStringLiteral("IOS6MessageDb::insertChat, invalid chat, service_name:Fax"));
            }
        }
        QCOMPARE(guids(folder), before->guid);
        QCOMPARE(SqlFixture::scalar(SmsDbFixture::smsDbPath(folder), "select count(*) from chat").toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLocalDbBackup)
#include "tst_localdbbackup.moc"
