// The local-database writer: rows written once however often a message is
// written, the messages it skips, where attachment files land (and which
// ones it refuses to place), what a stopped run leaves, and the privacy of
// what it creates.
#include <QtTest>

#include <sys/stat.h>

#include "exportmessagesdb.h"
#include "messagefixture.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"

namespace {

QString smsDb(const QString& folder)
{
    return SmsDbFixture::smsDbPath(folder);
}

qint64 count(const QString& folder, const QString& sql)
{
    return SqlFixture::scalar(smsDb(folder), sql).toLongLong();
}

QString text(const QString& folder, const QString& sql)
{
    return SqlFixture::scalar(smsDb(folder), sql).toString();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

int mode(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

void runWriter(const QString& folder, const QList<_MsgMessage*>& messages)
{
    ExportMessagesDb writer{QDir(folder), _CountryInfo()};
    writer.init();
    for (_MsgMessage* m : messages)
        writer.write(*m);
    writer.uninit();
}

} // namespace

class TestExportMessagesDb : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int folders = 0;

    QString newFolder() { return dir.filePath(QStringLiteral("db%1").arg(++folders)); }

    // An attachment of `m` whose source file (when `content` is not null)
    // lies in the source cache under the rewritten device path.
    _MsgAttachment* attach(MessageFixture& f, _MsgMessage* m, const QString& filename, const QByteArray& content)
    {
        auto* a = new _MsgAttachment;
        a->ROWID = f.data.p()->attachments.size() + 1;
        a->guid = QStringLiteral("att-%1").arg(a->ROWID);
        a->filename = filename;
        a->localPath = dir.filePath(QStringLiteral("source/%1.bin").arg(a->ROWID));
        if (!content.isNull())
            writeFile(a->localPath, content);
        f.data.p()->attachments.insert(a->ROWID, a);
        m->attas.insert(QString::number(a->ROWID), a);
        return a;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        ::umask(022);
    }

    // Writing a list twice leaves one row per message and per join; the
    // second run copies no file again.
    void idempotent()
    {
        MessageFixture f;
        _MsgHandle* a = f.handle(QStringLiteral("+100"));
        _MsgHandle* b = f.handle(QStringLiteral("+200"));
        _MsgChat* single = f.chat(QStringLiteral("+100"), {a});
        _MsgChat* group = f.chat(QStringLiteral("chat-g"), {a, b});
        _MsgMessage* m1 = f.message(single, 100, false, QStringLiteral("one"));
        _MsgMessage* m2 = f.message(group, 200, false, QStringLiteral("two"));
        m2->handle = b;
        _MsgMessage* m3 = f.message(group, 300, true, QStringLiteral("three"));
        attach(f, m1, QStringLiteral("~/Library/SMS/Attachments/a.jpg"), "A");
        const QString folder = newFolder();

        for (int run = 0; run < 2; ++run) {
            ExportMessagesDb writer{QDir(folder), _CountryInfo()};
            writer.init();
            for (_MsgMessage* m : f.messages)
                writer.write(*m);
            writer.uninit();
            QCOMPARE(writer.copiedFiles(), run == 0 ? 1 : 0);
        }
        QCOMPARE(count(folder, "select count(*) from message"), 3);
        QCOMPARE(count(folder, "select count(*) from chat_message_join"), 3);
        QCOMPARE(count(folder, "select count(*) from chat"), 2);
        QCOMPARE(count(folder, "select count(*) from handle"), 2);
        QCOMPARE(count(folder, "select count(*) from chat_handle_join"), 3);
        QCOMPARE(count(folder, "select count(*) from attachment"), 1);
        QCOMPARE(count(folder, "select count(*) from message_attachment_join"), 1);
        // The group's last sender is the sender of its newest message that has one.
        QCOMPARE(text(folder, "select last_addressed_handle from chat where guid='chat-2'"), QStringLiteral("+200"));
        QCOMPARE(count(folder, "select _last from chat where guid='chat-2'"), 300);
        QCOMPARE(count(folder, "select handle_id from message where guid='msg-3'"), 0);
        Q_UNUSED(m3);
    }

    // A message stored under another guid but with the same content is found
    // by its logic hash.
    void sameContentOtherGuid()
    {
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+100"), {f.handle(QStringLiteral("+100"))});
        _MsgMessage* m = f.message(chat, 100, false, QStringLiteral("hello"));
        const QString folder = newFolder();
        runWriter(folder, {m});
        m->guid = QStringLiteral("another-guid");
        runWriter(folder, {m});
        QCOMPARE(count(folder, "select count(*) from message"), 1);
    }

    void skippedMessages_data()
    {
        QTest::addColumn<qint64>("chatRowId");
        QTest::addColumn<bool>("withChat");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("log");
        QTest::newRow("made-up chat") << qint64(-2047483647) << true << false
                                      << "IOS6RestoreMessagesThread skip message with unknown chat.";
        QTest::newRow("one above the made-up ones") << qint64(-2047483646) << true << true << QString();
        QTest::newRow("no chat") << qint64(1) << false << false
                                 << "IOS6RestoreMessagesThread skip message with empty chat.";
    }

    void skippedMessages()
    {
        QFETCH(qint64, chatRowId);
        QFETCH(bool, withChat);
        QFETCH(bool, written);
        QFETCH(QString, log);
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+100"), {f.handle(QStringLiteral("+100"))});
        chat->ROWID = chatRowId;
        _MsgMessage* m = f.message(withChat ? chat : nullptr, 100, false, QStringLiteral("x"));
        if (!log.isEmpty())
            QTest::ignoreMessage(QtDebugMsg, qPrintable(log));
        const QString folder = newFolder();
        runWriter(folder, {m});
        QCOMPARE(count(folder, "select count(*) from message"), written ? 1 : 0);
    }

    // Where copies land: both spellings of a device path name one file,
    // forbidden characters are dropped, a file already there stays, and a
    // name that climbs out of the folder is not copied while its row is
    // written.
    void attachmentFiles()
    {
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+100"), {f.handle(QStringLiteral("+100"))});
        _MsgMessage* m1 = f.message(chat, 100, false, QStringLiteral("one"));
        _MsgMessage* m2 = f.message(chat, 200, false, QStringLiteral("two"));
        _MsgMessage* m3 = f.message(chat, 300, false, QStringLiteral("three"));
        attach(f, m1, QStringLiteral("/var/mobile/Library/SMS/Attachments/same.jpg"), "first");
        attach(f, m2, QStringLiteral("~/Library/SMS/Attachments/same.jpg"), "second");
        attach(f, m2, QStringLiteral("~/Library/SMS/Attachments/a:b?c.jpg"), "odd");
        attach(f, m3, QStringLiteral("~/Library/SMS/Attachments/kept.jpg"), "new");
        attach(f, m3, QStringLiteral("~/../../../../escaped.jpg"), "evil");
        attach(f, m3, QStringLiteral("~/Library/SMS/Attachments/missing.jpg"), QByteArray());
        const QString folder = newFolder();
        const QString attachments = folder + QStringLiteral("/file-relay/var/mobile/Library/SMS/Attachments/");
        writeFile(attachments + QStringLiteral("kept.jpg"), "old");

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("attachment path leaves its folder")));
        runWriter(folder, f.messages);
        QCOMPARE(readFile(attachments + QStringLiteral("same.jpg")), QByteArray("first"));
        QCOMPARE(readFile(attachments + QStringLiteral("abc.jpg")), QByteArray("odd"));
        QCOMPARE(readFile(attachments + QStringLiteral("kept.jpg")), QByteArray("old"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("escaped.jpg"))));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/escaped.jpg")));
        QCOMPARE(count(folder, "select count(*) from attachment"), 6);
        QCOMPARE(count(folder, "select count(*) from message_attachment_join"), 6);
        QCOMPARE(mode(attachments + QStringLiteral("same.jpg")), 0600);
        QCOMPARE(mode(attachments), 0700);
        // No temporary file is left beside the copies.
        QCOMPARE(QDir(attachments).entryList(QDir::Files, QDir::Name),
                 QStringList({"abc.jpg", "kept.jpg", "same.jpg"}));
    }

    // A run given up before uninit() leaves the database without its
    // messages (the files already copied stay); what it made is private.
    void abandonedRun()
    {
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+100"), {f.handle(QStringLiteral("+100"))});
        _MsgMessage* kept = f.message(chat, 100, false, QStringLiteral("kept"));
        _MsgMessage* dropped = f.message(chat, 200, false, QStringLiteral("dropped"));
        attach(f, dropped, QStringLiteral("~/Library/SMS/Attachments/d.jpg"), "D");
        const QString folder = newFolder();
        runWriter(folder, {kept});
        {
            ExportMessagesDb writer{QDir(folder), _CountryInfo()};
            writer.init();
            writer.write(*dropped);
            writer.abandon();
        }
        QCOMPARE(count(folder, "select count(*) from message"), 1);
        QCOMPARE(text(folder, "select guid from message"), kept->guid);
        QVERIFY(QFile::exists(folder + QStringLiteral("/file-relay/var/mobile/Library/SMS/Attachments/d.jpg")));
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(folder + QStringLiteral("/file-relay")), 0700);
        QCOMPARE(mode(smsDb(folder)), 0600);
    }

    // A failure inside the run (a chat the schema cannot hold) leaves the
    // writer by a std::exception with the store's text.
    void failureText()
    {
        MessageFixture f;
        _MsgChat* chat = f.chat(QStringLiteral("+100"), {f.handle(QStringLiteral("+100"))});
        chat->service_name = QStringLiteral("Fax");
        _MsgMessage* m = f.message(chat, 100, false, QStringLiteral("x"));
        ExportMessagesDb writer{QDir(newFolder()), _CountryInfo()};
        writer.init();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writer.write(*m));
    }
};

QTEST_GUILESS_MAIN(TestExportMessagesDb)
#include "tst_exportmessagesdb.moc"
