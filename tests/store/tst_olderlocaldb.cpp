// The reader of older single-file local databases: the body cipher against
// published vectors, each view_sms row mapped to a message with its own
// conversation and correspondent, and the errors of files it cannot read.
#include <QtTest>

#include "msgidentifiers.h"
#include "olderlocaldb.h"
#include "olderlocaldbfixture.h"
#include "temphome.h"

using Row = OlderLocalDbFixture::Row;

class TestOlderLocalDb : public QObject
{
    Q_OBJECT

private slots:
    void rc4MatchesPublishedVectors_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("cipherHex");
        QTest::newRow("Key") << QByteArray("Key") << QByteArray("Plaintext") << QByteArray("bbf316e8d940af0ad3");
        QTest::newRow("Wiki") << QByteArray("Wiki") << QByteArray("pedia") << QByteArray("1021bf0420");
        QTest::newRow("Secret") << QByteArray("Secret") << QByteArray("Attack at dawn")
                                << QByteArray("45a01f645fc35b383552544b9bf5");
    }

    void rc4MatchesPublishedVectors()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, cipherHex);
        QCOMPARE(g_rc4(key, plain).toHex(), cipherHex);
        QCOMPARE(g_rc4(key, g_rc4(key, plain)), plain);
    }

    void rowsBecomeMessages()
    {
        TempHome home;
        const QString path = home.file(QStringLiteral("old.db"));
        OlderLocalDbFixture::create(path, {
            {QStringLiteral("+1 (555) 010-0200"), QStringLiteral("Hello \u00e9\u4e16 \U0001F600"), QStringLiteral("Ann"), 978307200 + 60, 7},
            {QStringLiteral("Ann@Example.COM"), QVariant(), QStringLiteral(""), 978307200, 0},
            {QStringLiteral("()--"), QByteArray(), QStringLiteral("Nobody"), 0, 0},
        });
        OlderLocalDb db(path);
        db.open();
        db.queryRows();
        QCOMPARE(db.count(), 3);

        OlderLocalDbMessage row;
        QVERIFY(db.next(row));
        const _MsgMessage& m = row.message;
        QCOMPARE(m.text, QStringLiteral("Hello \u00e9\u4e16 \U0001F600"));
        QCOMPARE(m.date, 60);
        QCOMPARE(m.date_read, 60);
        QCOMPARE(m.date_delivered, 60);
        QCOMPARE(m.is_from_me, 1);
        QCOMPARE(m.service, QStringLiteral("SMS"));
        QCOMPARE(m.account, QStringLiteral("e:"));
        QCOMPARE(m.version, 10);
        QCOMPARE(m.other_handle, -1);
        QCOMPARE(m.is_finished + m.is_prepared + m.is_read + m.is_sent + m.was_data_detected, 5);
        QCOMPARE(m.is_delivered + m.is_emote + m.is_empty + m.item_type + m.cache_has_attachments, 0);
        QCOMPARE(m.ROWID, qint64(0));
        QCOMPARE(m.handle, &row.handle);
        QCOMPARE(m.chat, &row.chat);
        QVERIFY(m.attas.isEmpty() && !m.otherHandle);
        QCOMPARE(m.guid, hashUUID(m.logicalHash().toUtf8()));
        QCOMPARE(row.handle.id, QStringLiteral("+15550100200"));
        QCOMPARE(row.handle.service, QStringLiteral("SMS"));
        QCOMPARE(row.handle._ct_name, QStringLiteral("Ann"));
        QCOMPARE(row.chat.guid, QStringLiteral("SMS;-;+15550100200"));
        QCOMPARE(row.chat.chat_identifier, QStringLiteral("+15550100200"));
        QCOMPARE(row.chat.account_login, QStringLiteral("E:"));
        QCOMPARE(row.chat.style, 45);
        QCOMPARE(row.chat.handles.value(QStringLiteral("+15550100200")), &row.handle);
        QVERIFY(row.chat.messages.isEmpty());

        // A NULL body, a mail address, the date 2001-01-01, received.
        QVERIFY(db.next(row));
        QCOMPARE(row.message.text, QString());
        QCOMPARE(row.message.date, 0);
        QCOMPARE(row.message.is_from_me, 0);
        QCOMPARE(row.handle.id, QStringLiteral("ann@example.com"));
        QCOMPARE(row.chat.handles.size(), 1);

        // An empty body; an address with nothing left (no id is made up for
        // it); a date before 2001.
        QVERIFY(db.next(row));
        QCOMPARE(row.message.text, QString());
        QCOMPARE(row.message.date, -978307200);
        QCOMPARE(row.handle.id, QString());
        QVERIFY(!db.next(row));
        db.close();
    }

    // The same address, date, direction and text give the same guid; so the
    // writer stores such rows once.
    void equalRowsShareGuid()
    {
        OlderLocalDbMessage a;
        OlderLocalDbMessage b;
        OlderLocalDb::fill(a, QStringLiteral("555-0100"), QByteArray(), QStringLiteral("A"), 1000000000, 1);
        OlderLocalDb::fill(b, QStringLiteral("(555) 0100"), QByteArray(), QStringLiteral("B"), 1000000000, 2);
        QCOMPARE(a.message.guid, b.message.guid);
        OlderLocalDb::fill(b, QStringLiteral("(555) 0100"), QByteArray(), QStringLiteral("B"), 1000000000, 0);
        QVERIFY(a.message.guid != b.message.guid);
    }

    void unreadableFilesThrow()
    {
        TempHome home;
        const QString noView = home.file(QStringLiteral("noview.db"));
        OlderLocalDbFixture::createWithoutView(noView);
        OlderLocalDb withoutView(noView);
        withoutView.open();
        QVERIFY_THROWS_EXCEPTION(std::exception, withoutView.queryRows());

        const QString text = home.file(QStringLiteral("notes.txt"));
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        OlderLocalDb notDatabase(text);
        QVERIFY_THROWS_EXCEPTION(std::exception, notDatabase.open());

        // A folder where the file should be.
        OlderLocalDb folder(home.path());
        QVERIFY_THROWS_EXCEPTION(std::exception, folder.open());
    }
};

QTEST_MAIN(TestOlderLocalDb)
#include "tst_olderlocaldb.moc"
