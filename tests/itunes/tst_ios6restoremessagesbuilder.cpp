// Building the message database for a backup or an iPhone: the merged order,
// what the new file holds (the backup's rows with their ids, the chosen
// messages once per guid, the joins), the files listed for the merge, and
// what a failure, a cancel or a taken path leave behind.
#include <QtTest>

#include <sys/stat.h>

#include "ios6messagedb.h"
#include "ios6restoremessagesbuilder.h"
#include "messagefixture.h"
#include "progressreporter.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "translation.h"

using Builder = IOS6RestoreMessagesBuilder;
Q_DECLARE_METATYPE(IOS6RestoreMessagesBuilder::InsertData)

namespace {

// Records every percentage; cancels once `cancelAt` reports were made.
class Reporter : public ProgressReporter
{
public:
    void reportProgress(const QString& status, int percent, const QString&) override
    {
        if (!status.isEmpty())
            statuses << status;
        if (percent > 0)
            percents << percent;
        if (cancelAt > 0 && percents.size() >= cancelAt)
            cancelled = true;
    }
    bool isCancelled() const override { return cancelled; }

    QStringList statuses;
    QList<int> percents;
    int cancelAt = 0;
    bool cancelled = false;
};

Builder::InsertData entry(qint64 rowid, int date, bool fromTarget, bool recovered = false)
{
    Builder::InsertData d;
    d.rowid = rowid;
    d.date21 = date;
    d.fromTarget = fromTarget;
    d.recovered = recovered;
    return d;
}

QStringList column(const QString& path, const QString& sql)
{
    const QString joined = SqlFixture::scalar(path, QStringLiteral("select group_concat(x, '|') from (%1)").arg(sql)).toString();
    return joined.isEmpty() ? QStringList() : joined.split(QLatin1Char('|'));
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// The text of the error that the build ends with; "<none>" after a success.
QString buildError(IOS6RestoreMessagesBuilder& builder)
{
    Reporter reporter;
    try {
        builder.run(reporter);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<none>");
}

} // namespace

class TestIOS6RestoreMessagesBuilder : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString cache;
    QString target;

    // The backup's sms.db in its cache folder: two chats (the first one with
    // a properties blob), two handles, messages 1 (date 100) and 2 (date
    // 500), message 1 with attachment 1.
    void makeTarget(int variant, qint64 dateScale = 1)
    {
        cache = dir.filePath(QStringLiteral("cache%1").arg(++folders));
        target = SmsDbFixture::smsDbPath(cache);
        SmsDbFixture::createDevice(target, variant);
        SqlFixture::build(target, QStringLiteral(
            "insert into handle (ROWID, id, service) values (3, '+100', 'SMS'), (7, '+200', 'iMessage');"
            "insert into chat (ROWID, guid, style, state, chat_identifier, service_name, properties) values"
            " (4, 'chat-a', 45, 3, '+100', 'SMS', x'0102'), (9, 'chat-b', 45, 3, '+200', 'iMessage', NULL);"
            "insert into chat_handle_join values (4, 3), (9, 7);"
            "insert into message (ROWID, guid, text, handle_id, date) values (1, 'm-1', 'one', 3, %1), (2, 'm-2', 'two', 7, %2);"
            "insert into chat_message_join values (4, 1), (9, 2);"
            "insert into attachment (ROWID, guid, filename) values (5, 'att-old', '~/Library/SMS/Attachments/old.jpg');"
            "insert into message_attachment_join values (1, 5);")
                                     .arg(100 * dateScale)
                                     .arg(500 * dateScale));
    }

    int folders = 0;

private slots:
    void initTestCase()
    {
        ::umask(022);
        QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
    }

    void mergedOrder_data()
    {
        QTest::addColumn<Builder::InsertData>("a");
        QTest::addColumn<Builder::InsertData>("b");
        QTest::addColumn<bool>("aFirst");
        QTest::newRow("ids close, times close: id order") << entry(90, 300, false) << entry(100, 200, true) << true;
        QTest::newRow("ids 25 apart: date order") << entry(125, 300, false) << entry(100, 200, true) << false;
        QTest::newRow("times 121 apart: date order") << entry(90, 321, false) << entry(100, 200, true) << false;
        QTest::newRow("recovered: date order") << entry(90, 300, false, true) << entry(100, 200, true) << false;
        QTest::newRow("row id 0: date order") << entry(0, 300, false) << entry(5, 200, true) << false;
        QTest::newRow("same id: the backup's row first") << entry(10, 50, false) << entry(10, 50, true) << false;
        QTest::newRow("same id, backup's row asked") << entry(10, 50, true) << entry(10, 50, false) << true;
        QTest::newRow("same date far apart: the backup's row first") << entry(500, 50, true) << entry(10, 50, false) << true;
    }

    void mergedOrder()
    {
        QFETCH(Builder::InsertData, a);
        QFETCH(Builder::InsertData, b);
        QFETCH(bool, aFirst);
        QCOMPARE(Builder::compareInsertDataLess(a, b), aFirst);
    }

    // The backup's rows keep their ids (the chat loses its properties); the
    // chosen messages join them once per guid in the merged order, new
    // conversations and correspondents come along, and only attachment files
    // that exist under a path inside "Library/" are listed.
    void buildsMergedDatabase()
    {
        makeTarget(SmsDbFixture::OptionalColumns | SmsDbFixture::FunctionTriggers);
        MessageFixture fx;
        _MsgHandle* known = fx.handle(QStringLiteral("+100"));
        _MsgChat* chatA = fx.chat(QStringLiteral("+100"), {known});
        chatA->guid = QStringLiteral("chat-a");
        _MsgMessage* between = fx.message(chatA, 300, false, QStringLiteral("between"));
        between->srcRowId = 200;
        _MsgMessage* dup = fx.message(chatA, 100, false, QStringLiteral("again"));
        dup->guid = QStringLiteral("m-1");
        dup->srcRowId = 1;
        _MsgHandle* fresh = fx.handle(QStringLiteral("+300"));
        _MsgHandle* other = fx.handle(QStringLiteral("+400"));
        _MsgChat* chatNew = fx.chat(QStringLiteral("group"), {fresh, other});
        chatNew->guid = QStringLiteral("chat-new");
        chatNew->style = 43;
        _MsgMessage* late = fx.message(chatNew, 900, false, QStringLiteral("late"));
        late->handle = fresh;
        late->srcRowId = 3;
        fx.message(nullptr, 50, true, QStringLiteral("no chat"));

        const QString present = dir.filePath(QStringLiteral("present.jpg"));
        QFile f(present);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("jpg") == 3);
        f.close();
        struct Att
        {
            const char* guid;
            const char* filename;
            QString local;
        };
        const QList<Att> atts = {{"att-1", "~/Library/SMS/Attachments/a/1.jpg", present},
                                 {"att-2", "~/Library/SMS/Attachments/a/missing.jpg", dir.filePath("missing.jpg")},
                                 {"att-3", "~/library/SMS/lower.jpg", present},
                                 {"att-4", "/x/Library/../../etc/passwd", present}};
        qint64 id = 10;
        for (const Att& a : atts) {
            auto* atta = new _MsgAttachment;
            atta->ROWID = id++;
            atta->guid = QLatin1String(a.guid);
            atta->filename = QLatin1String(a.filename);
            atta->localPath = a.local;
            fx.data.p()->attachments.insert(atta->ROWID, atta);
            late->attas.insert(QString::number(atta->ROWID), atta);
        }

        IOS6MessageDb db(QDir(cache), _CountryInfo(), false);
        db.openCheck();
        Builder builder(_CountryInfo(), fx.messages, db);
        Reporter reporter;
        builder.run(reporter);

        QCOMPARE(builder.acceptedCount(), 3);
        QCOMPARE(builder.unknownChatCount(), 1);
        QCOMPARE(reporter.statuses, QStringList{QStringLiteral("Saving SMS to iPhone...")});
        const QString built = builder.newDbPath();
        QVERIFY(built.startsWith(target) && built.size() > target.size());
        QCOMPARE(QFileInfo(built).permissions() & 0x0077, QFileDevice::Permissions());
        // One row per guid, numbered from 1 in the merged order: m-1 (id 1,
        // date 100) before "between" (id 200, date 300), then m-2, then late.
        QCOMPARE(column(built, "select guid as x from message order by rowid"),
                 (QStringList{"m-1", between->guid, "m-2", late->guid}));
        QCOMPARE(column(built, "select rowid as x from message order by rowid"), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(column(built, "select guid || ':' || ifnull(properties, 'null') as x from chat where rowid in (4, 9) order by rowid"),
                 (QStringList{"chat-a:null", "chat-b:null"}));
        QCOMPARE(column(built, "select rowid || id as x from handle where rowid in (3, 7) order by rowid"),
                 (QStringList{"3+100", "7+200"}));
        // The backup's joins follow its messages to their new ids; the chosen
        // message with m-1's guid adds nothing but its sender's pair.
        QCOMPARE(column(built, "select c.guid || '>' || m.guid as x from chat_message_join j join chat c on c.rowid = j.chat_id "
                               "join message m on m.rowid = j.message_id order by m.rowid"),
                 (QStringList{"chat-a>m-1", "chat-a>" + between->guid, "chat-b>m-2", "chat-new>" + late->guid}));
        QCOMPARE(column(built, "select m.guid || '>' || a.guid as x from message_attachment_join j join message m on "
                               "m.rowid = j.message_id join attachment a on a.rowid = j.attachment_id order by m.rowid, a.rowid"),
                 (QStringList{"m-1>att-old", late->guid + ">att-1", late->guid + ">att-2", late->guid + ">att-3",
                              late->guid + ">att-4"}));
        QCOMPARE(column(built, "select h.id as x from chat_handle_join j join chat c on c.rowid = j.chat_id join handle h "
                               "on h.rowid = j.handle_id where c.guid = 'chat-new' order by h.id"),
                 (QStringList{"+300", "+400"}));
        QCOMPARE(SqlFixture::scalar(built, "select last_addressed_handle from chat where guid = 'chat-new'").toString(),
                 QStringLiteral("+300"));
        QCOMPARE(SqlFixture::scalar(built, "pragma integrity_check").toString(), QStringLiteral("ok"));
        // The cached database is read, never written.
        QCOMPARE(SqlFixture::scalar(target, "select count(*) from message").toInt(), 2);
        QCOMPARE(SqlFixture::scalar(target, "select hex(properties) from chat where rowid = 4").toString(), QStringLiteral("0102"));

        const QList<Builder::FileToPlace>& files = builder.filesToPlace();
        QCOMPARE(files.size(), 2);
        QCOMPARE(files[0].domain, QStringLiteral("HomeDomain"));
        QCOMPARE(files[0].localFile, built);
        QCOMPARE(files[0].relativePath, QStringLiteral("Library/SMS/sms.db"));
        QVERIFY(files[0].overwrite);
        QCOMPARE(files[1].domain, QStringLiteral("MediaDomain"));
        QCOMPARE(files[1].localFile, present);
        QCOMPARE(files[1].relativePath, QStringLiteral("Library/SMS/Attachments/a/1.jpg"));
        QVERIFY(!files[1].overwrite);
    }

    // A chosen message that goes before the backup's row of its guid writes
    // the row; the backup's row only adds its joins to it.
    void chosenFirstTakesTheRow()
    {
        makeTarget(SmsDbFixture::OptionalColumns);
        MessageFixture fx;
        _MsgChat* chat = fx.chat(QStringLiteral("+100"), {fx.handle(QStringLiteral("+100"))});
        chat->guid = QStringLiteral("chat-a");
        _MsgMessage* m = fx.message(chat, 400, true, QStringLiteral("chosen text"));
        m->guid = QStringLiteral("m-2");
        m->srcRowId = 1;
        IOS6MessageDb db(QDir(cache), _CountryInfo(), false);
        Builder builder(_CountryInfo(), fx.messages, db);
        Reporter reporter;
        builder.run(reporter);
        const QString built = builder.newDbPath();
        QCOMPARE(column(built, "select guid || ':' || text as x from message order by rowid"),
                 (QStringList{"m-1:one", "m-2:chosen text"}));
        QCOMPARE(column(built, "select c.guid as x from chat_message_join j join chat c on c.rowid = j.chat_id "
                               "where j.message_id = 2 order by c.guid"),
                 (QStringList{"chat-a", "chat-b"}));
    }

    // Dates of a table that counts nanoseconds are merged by seconds: the
    // chosen message (id 50, date 300) goes between the rows of dates 100 and 500.
    void nanosecondTargetMergedBySeconds()
    {
        makeTarget(SmsDbFixture::OptionalColumns | SmsDbFixture::Nanoseconds, 1000000000);
        MessageFixture fx;
        _MsgChat* chat = fx.chat(QStringLiteral("+100"), {fx.handle(QStringLiteral("+100"))});
        chat->guid = QStringLiteral("chat-a");
        _MsgMessage* m = fx.message(chat, 300, true, QStringLiteral("mid"));
        m->srcRowId = 50;
        IOS6MessageDb db(QDir(cache), _CountryInfo(), false);
        Builder builder(_CountryInfo(), fx.messages, db);
        Reporter reporter;
        builder.run(reporter);
        QCOMPARE(column(builder.newDbPath(), "select guid as x from message order by rowid"),
                 (QStringList{"m-1", m->guid, "m-2"}));
        QCOMPARE(SqlFixture::scalar(builder.newDbPath(), QStringLiteral("select date from message where guid = '%1'").arg(m->guid))
                     .toLongLong(),
                 300LL * 1000000000);
        QCOMPARE(reporter.percents, (QList<int>{33, 66, 99}));
    }

    void progressPerEntry()
    {
        makeTarget(SmsDbFixture::OptionalColumns);
        MessageFixture fx;
        _MsgChat* chat = fx.chat(QStringLiteral("+100"), {fx.handle(QStringLiteral("+100"))});
        fx.message(chat, 1000, true, "a");
        fx.message(chat, 2000, true, "b");
        IOS6MessageDb db(QDir(cache), _CountryInfo(), false);
        Builder builder(_CountryInfo(), fx.messages, db);
        Reporter reporter;
        builder.run(reporter);
        QCOMPARE(reporter.percents, (QList<int>{24, 49, 74, 99}));
    }

    // Nothing is accepted, or a chosen conversation cannot be written: the
    // error names why, the new file is gone, nothing is listed.
    void failures_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown chats") << int(SmsDbFixture::OptionalColumns) << 0
                                       << "Only found 2 messages with unknown contact info.";
        QTest::newRow("group events without item_type") << int(SmsDbFixture::Base) << 1
                                                         << "Only found 0 messages with unknown contact info.";
        QTest::newRow("conversation of another service") << int(SmsDbFixture::OptionalColumns) << 2
                                                          << "IOS6MessageDb::insertChat, invalid chat, service_name:Fax";
    }

    void failures()
    {
        QFETCH(int, variant);
        QFETCH(int, kind);
        QFETCH(QString, error);
        makeTarget(variant);
        MessageFixture fx;
        _MsgChat* chat = fx.chat(QStringLiteral("+9"), {fx.handle(QStringLiteral("+9"))});
        if (kind == 0) {
            fx.message(nullptr, 10, true, "x");
            chat->ROWID = -2047483647;
            fx.message(chat, 10, true, "y");
        } else if (kind == 1) {
            fx.message(chat, 10, true, "x")->item_type = 1;
        } else {
            chat->service_name = QStringLiteral("Fax");
            fx.message(chat, 10, true, "x");
        }
        IOS6MessageDb db(QDir(cache), _CountryInfo(), false);
        Builder builder(_CountryInfo(), fx.messages, db);
        const QString shown = buildError(builder);
        QVERIFY2(shown.contains(error), qPrintable(shown));
        QCOMPARE(filesIn(QFileInfo(target).absolutePath()), QStringList{QStringLiteral("sms.db")});
        QVERIFY(builder.filesToPlace().isEmpty());
    }

    void cancelLeavesNothing()
    {
        makeTarget(SmsDbFixture::OptionalColumns);
        MessageFixture fx;
        _MsgChat* chat = fx.chat(QStringLiteral("+100"), {fx.handle(QStringLiteral("+100"))});
        fx.message(chat, 1000, true, "a");
        IOS6MessageDb db(QDir(cache), _CountryInfo(), false);
        Builder builder(_CountryInfo(), fx.messages, db);
        Reporter reporter;
        reporter.cancelAt = 1;
        QVERIFY_THROWS_EXCEPTION(Cancelled, builder.run(reporter));
        QCOMPARE(filesIn(QFileInfo(target).absolutePath()), QStringList{QStringLiteral("sms.db")});
        QVERIFY(builder.filesToPlace().isEmpty());
    }

    // A second build within the same second finds its path taken: the copy
    // fails and leaves the file it found alone.
    void takenPathFailsTheCopy()
    {
        makeTarget(SmsDbFixture::OptionalColumns);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (qint64 s = now; s < now + 3; ++s) {
            QFile f(target + QString::number(s));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("mine") == 4);
        }
        MessageFixture fx;
        _MsgChat* chat = fx.chat(QStringLiteral("+100"), {fx.handle(QStringLiteral("+100"))});
        fx.message(chat, 1000, true, "a");
        IOS6MessageDb db(QDir(cache), _CountryInfo(), false);
        Builder builder(_CountryInfo(), fx.messages, db);
        const QString shown = buildError(builder);
        QCOMPARE(shown, QStringLiteral("copy database to %1 failed.").arg(builder.newDbPath()));
        QFile f(builder.newDbPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("mine"));
    }
};

QTEST_GUILESS_MAIN(TestIOS6RestoreMessagesBuilder)
#include "tst_ios6restoremessagesbuilder.moc"
