// The iOS 6+ message database: opening, creating and upgrading; reading a
// device's file into the message set; finding, writing, reading back and
// deleting; and files that are damaged or odd.
#include <QtTest>

#include "addressbookfixture.h"
#include "countrylibdb.h"
#include "data_path_util.h"
#include "ios6messagedb.h"
#include "msgidentifiers.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "temphome.h"

#include <sys/stat.h>

namespace {
// One device file's worth of rows. Dates are multiplied by `unit` (1 for
// seconds, 1e9 for nanoseconds). Row by row:
//  chats 1 (SMS, one handle) and 2 (iMessage, two handles); chat_handle_join
//  also names a chat 99 that does not exist (handle 3 loads without chat).
//  messages 1, 2 in chat 1; 3 in chats 1 and 2; 4 a group event (item_type 1)
//  with an attachment; 5 in no chat; 6 of item_type 4.
QString deviceRows(qint64 unit)
{
    return QStringLiteral(
               "insert into chat (ROWID, guid, style, state, chat_identifier, service_name, account_login, display_name) values"
               " (1, 'chat-1', 45, 3, '+12125550123', 'SMS', 'E:', ''),"
               " (2, 'chat-2', 43, 3, 'chat123', 'iMessage', 'E:me', 'Team');"
               "insert into handle (ROWID, id, country, service) values"
               " (1, '(212) 555-0123', '', 'SMS'), (2, 'Ann@Example.com', 'us', 'iMessage'), (3, '555-0199', '', 'SMS');"
               "insert into chat_handle_join values (1, 1), (2, 1), (2, 2), (99, 3);"
               "insert into message (ROWID, guid, text, handle_id, service, date, date_read, date_played, is_from_me,"
               " item_type, other_handle) values"
               " (1, 'm-1', 'hello', 1, 'SMS', 100 * %1, 0, 7, 0, 0, 0),"
               " (2, 'm-2', 'reply', 0, 'SMS', 200 * %1, 0, 0, 1, 0, 0),"
               " (3, 'm-3', 'both', 2, 'iMessage', 599529600 * %1, 0, 0, 0, 0, 0),"
               " (4, 'm-4', NULL, 2, 'iMessage', 400 * %1, 0, 0, 0, 1, 1),"
               " (5, 'm-5', 'lost', 1, 'SMS', 500 * %1, 0, 0, 0, 0, 0),"
               " (6, 'm-6', NULL, 1, 'SMS', 600 * %1, 0, 0, 0, 4, 0);"
               "insert into chat_message_join values (1, 1), (1, 2), (1, 3), (2, 3), (2, 4), (1, 6);"
               "insert into attachment (ROWID, guid, filename, mime_type, total_bytes) values"
               " (1, 'a-1', '~/Library/SMS/Attachments/0a/10/IMG_0001.JPG', 'image/jpeg', 1234),"
               " (2, 'a-2', '/var/mobile/Library/SMS/Attachments/x.jpg', 'image/jpeg', 5);"
               "insert into message_attachment_join values (1, 1), (4, 2);")
        .arg(unit);
}

} // namespace

class TestIOS6MessageDb : public QObject
{
    Q_OBJECT

    TempHome m_home;
    int m_folders = 0;

    _CountryInfo us()
    {
        CountryLibDb lib{QString()};
        return lib.infoByCode("US", nullptr);
    }
    QString newFolder() { return m_home.file(QStringLiteral("db%1").arg(++m_folders)); }
    QString deviceFolder(int variant, qint64 unit)
    {
        const QString folder = newFolder();
        SmsDbFixture::createDevice(SmsDbFixture::smsDbPath(folder), variant);
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), deviceRows(unit));
        return folder;
    }
    static QVariant scalar(const QString& folder, const QString& sql)
    {
        return SqlFixture::scalar(SmsDbFixture::smsDbPath(folder), sql);
    }
    static QString tableSql(const QString& folder, const QString& table)
    {
        return scalar(folder, QStringLiteral("select sql from sqlite_master where name='%1'").arg(table)).toString();
    }

private slots:
    // --- opening ---------------------------------------------------------

    void newFolderGetsLocalSchema()
    {
        const QString folder = newFolder();
        IOS6MessageDb db(QDir(folder), us(), true);
        QVERIFY(!QFile::exists(folder)); // construction touches nothing
        QVERIFY(!db.recycleDb().isOpen());
        QVERIFY(!db.isItemTypeEnabled());
        db.openCheck();
        QVERIFY(QFile::exists(SmsDbFixture::smsDbPath(folder)));
        QVERIFY(db.isItemTypeEnabled());
        QCOMPARE(scalar(folder, "select group_concat(name, ',') from (select name from sqlite_master where type='table' "
                                "order by name)")
                     .toString(),
                 QString("attachment,chat,chat_handle_join,chat_message_join,handle,message,message_attachment_join,"
                         "sqlite_sequence"));
        QCOMPARE(scalar(folder, "select count(*) from sqlite_master where type='index' and sql is not null").toInt(), 5);
        QCOMPARE(scalar(folder, "select count(*) from sqlite_master where type='trigger'").toInt(), 6);
        QVERIFY(!tableSql(folder, "message").contains("ck_record_id", Qt::CaseInsensitive));
        QVERIFY(tableSql(folder, "chat").contains("_last INTEGER"));
        QVERIFY(tableSql(folder, "handle").contains("_ct_name TEXT"));
        QVERIFY(tableSql(folder, "handle").contains("_photo BLOB"));
    }

    // Under the usual umask 022 every file and folder this database makes is
    // the user's alone: the database and its folders, the recovery database,
    // the contacts cache and the country table.
    void createdFilesArePrivate()
    {
        ::umask(022);
        const QString folder = newFolder();
        AddressBookFixture::build(folder, {});
        IOS6MessageDb db(QDir(folder), us(), true);
        MsgData data;
        db.chats(data);
        db.recycleDb().openCheck();
        const QString sms = SmsDbFixture::smsDbPath(folder);
        for (const QString& file : {sms, folder + "/recycle.db", folder + "/ct-phone.db",
                                    g_dataSaveDir().absoluteFilePath("countries.db")})
            QCOMPARE(modeOf(file), 0600);
        for (QString dir = QFileInfo(sms).absolutePath(); dir != folder + "/file-relay/var/mobile/Library";
             dir = QFileInfo(dir).absolutePath())
            QCOMPARE(modeOf(dir), 0700);
    }

    // A step after the file was created fails (its journal cannot be made):
    // the new file goes, and a later open starts over.
    void createdFileRemovedWhenALaterStepFails()
    {
        const QString folder = newFolder();
        const QString sms = SmsDbFixture::smsDbPath(folder);
        QVERIFY(QDir().mkpath(sms + "-journal"));
        IOS6MessageDb db(QDir(folder), us(), true);
        QVERIFY_THROWS_EXCEPTION(std::exception, db.openCheck());
        QVERIFY(!db.isOpen());
        QVERIFY(!QFileInfo::exists(sms));
        QVERIFY(QDir().rmdir(sms + "-journal"));
        db.openCheck();
        QVERIFY(db.isItemTypeEnabled());
    }

    // The schema's triggers keep the links and the attachment flag.
    void localSchemaTriggers()
    {
        const QString folder = newFolder();
        IOS6MessageDb db(QDir(folder), us(), false);
        db.openCheck();
        db.executeThrow("insert into handle (ROWID, id, service) values (1, 'h', 'SMS')");
        db.executeThrow("insert into message (ROWID, guid, handle_id) values (1, 'm1', 1)");
        db.executeThrow("insert into message (ROWID, guid, handle_id) values (2, 'm2', 1)");
        db.executeThrow("insert into chat_message_join values (1, 1)");
        db.executeThrow("insert into chat_message_join values (1, 2)");
        db.executeThrow("insert into attachment (ROWID, guid) values (1, 'a1')");
        db.executeThrow("insert into message_attachment_join values (1, 1)");
        db.executeThrow("insert into message_attachment_join values (2, 1)");
        QCOMPARE(scalar(folder, "select cache_has_attachments from message where rowid=1").toInt(), 1);
        db.executeThrow("delete from message_attachment_join where message_id=1");
        QCOMPARE(scalar(folder, "select cache_has_attachments from message where rowid=1").toInt(), 0);
        QCOMPARE(scalar(folder, "select count(*) from attachment").toInt(), 1); // still used by message 2
        db.executeThrow("delete from chat_message_join where message_id=1");
        QCOMPARE(scalar(folder, "select count(*) from message").toInt(), 1);
        QCOMPARE(scalar(folder, "select count(*) from handle").toInt(), 1); // message 2 still names it
        db.executeThrow("delete from chat_message_join where message_id=2");
        QCOMPARE(scalar(folder, "select count(*) from handle").toInt(), 0);
        db.executeThrow("delete from message_attachment_join where message_id=2");
        QCOMPARE(scalar(folder, "select count(*) from attachment").toInt(), 0);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.executeThrow("insert into chat (guid) values ('c'), ('c')"));
    }

    void upgradeAddsNewerColumns_data()
    {
        QTest::addColumn<bool>("upgrade");
        QTest::newRow("upgrade") << true;
        QTest::newRow("no upgrade") << false;
    }
    void upgradeAddsNewerColumns()
    {
        QFETCH(bool, upgrade);
        const QString folder = newFolder();
        SmsDbFixture::createOldLocal(SmsDbFixture::smsDbPath(folder));
        const QString before = tableSql(folder, "message");
        IOS6MessageDb db(QDir(folder), us(), upgrade);
        db.openCheck();
        const QString message = tableSql(folder, "message");
        if (!upgrade) {
            QCOMPARE(message, before);
            QVERIFY(!db.isItemTypeEnabled());
            return;
        }
        QVERIFY(message.contains("logic_hash TEXT"));
        QVERIFY(message.indexOf("is_audio_message") < message.indexOf("message_action_type"));
        QVERIFY(tableSql(folder, "chat").contains("group_id TEXT"));
        QCOMPARE(scalar(folder, "select count(*) from sqlite_master where name='message_idx_logic_hash'").toInt(), 1);
        QVERIFY(!tableSql(folder, "handle").contains("display_name"));
        QVERIFY(db.isItemTypeEnabled());
        // A second object finds nothing more to add.
        IOS6MessageDb again(QDir(folder), us(), true);
        again.openCheck();
        QCOMPARE(tableSql(folder, "message"), message);
    }

    // A column spelt in other letter case is the same column to SQLite.
    void upgradeIgnoresColumnCase()
    {
        const QString folder = newFolder();
        SmsDbFixture::createOldLocal(SmsDbFixture::smsDbPath(folder));
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), "ALTER TABLE message ADD COLUMN Item_Type INTEGER DEFAULT 0;");
        IOS6MessageDb db(QDir(folder), us(), true);
        db.openCheck();
        QCOMPARE(tableSql(folder, "message").count("item_type", Qt::CaseInsensitive), 1);
    }

    // A failed upgrade closes the file, and the next call starts over.
    void failedUpgradeClosesAndRetries()
    {
        const QString folder = newFolder();
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), "create table message (ROWID INTEGER PRIMARY KEY);");
        IOS6MessageDb db(QDir(folder), us(), true);
        try {
            db.openCheck();
            QFAIL("no exception");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString(e.what()).startsWith("line:159, sql:ALTER TABLE chat ADD COLUMN group_id TEXT;, error:"), e.what());
        }
        QVERIFY(!db.isOpen());
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), "create table chat (ROWID INTEGER PRIMARY KEY);");
        db.openCheck();
        QVERIFY(db.isOpen());
        QVERIFY(db.isItemTypeEnabled());
    }

    void syncTablesEmptiedAtOpen()
    {
        const QString folder = newFolder();
        SmsDbFixture::createDevice(SmsDbFixture::smsDbPath(folder), SmsDbFixture::SyncTables);
        IOS6MessageDb db(QDir(folder), us(), false);
        db.openCheck();
        for (const char* table : {"sync_deleted_messages", "sync_deleted_chats", "sync_deleted_attachments", "deleted_messages"})
            QCOMPARE(scalar(folder, QStringLiteral("select count(*) from %1").arg(table)).toInt(), 0);
        // Only opening empties them: an open object does nothing on the next call.
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), "insert into deleted_messages (guid) values ('x');");
        db.openCheck();
        QCOMPARE(scalar(folder, "select count(*) from deleted_messages").toInt(), 1);
    }

    void deviceTriggersRunOnceOpened()
    {
        const QString folder = newFolder();
        const QString path = SmsDbFixture::smsDbPath(folder);
        SmsDbFixture::createDevice(path, SmsDbFixture::FunctionTriggers);
        SqlFixture::build(path, "insert into attachment (guid, filename) values ('a', '/x');");
        IOS6MessageDb db(QDir(folder), us(), false);
        db.openCheck();
        db.executeThrow("delete from attachment");
        QCOMPARE(scalar(folder, "select count(*) from attachment").toInt(), 0);
    }

    // --- reading ---------------------------------------------------------

    // Reading every chat's messages finds each chat's newest date in the
    // same pass; it must be the one that reading the chats alone gives,
    // also when the newest row is a group event or of item_type 4.
    void newestDatesFromTheMessageScan_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("as written") << QString();
        QTest::newRow("newest is item_type 4") << QString("update message set date = 700000000 where rowid = 6");
        QTest::newRow("newest is a group event") << QString("update message set date = 800000000 where rowid = 4");
        QTest::newRow("a chat without messages") << QString("delete from chat_message_join where chat_id = 2");
    }
    void newestDatesFromTheMessageScan()
    {
        QFETCH(QString, change);
        const QString folder = deviceFolder(SmsDbFixture::OptionalColumns, 1);
        if (!change.isEmpty())
            SqlFixture::build(SmsDbFixture::smsDbPath(folder), change);
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData chatsOnly, all;
        db.openCheck();
        db.chats(chatsOnly);
        db.messages(all, 0);
        for (qint64 chat : {1, 2})
            QCOMPARE(all.p()->chats.value(chat)->_last, chatsOnly.p()->chats.value(chat)->_last);
    }

    void readsDeviceFile_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<qint64>("unit");
        QTest::newRow("seconds") << int(SmsDbFixture::OptionalColumns) << qint64(1);
        QTest::newRow("nanoseconds") << int(SmsDbFixture::OptionalColumns | SmsDbFixture::Nanoseconds) << qint64(1000000000);
    }
    void readsDeviceFile()
    {
        QFETCH(int, variant);
        QFETCH(qint64, unit);
        const QString folder = deviceFolder(variant, unit);
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        db.messages(data, 0);
        __MsgData& d = *data.p();

        QCOMPARE(d.chats.size(), 2);
        _MsgChat* c1 = d.chats.value(1);
        _MsgChat* c2 = d.chats.value(2);
        QCOMPARE(c2->display_name, QString("Team"));
        QCOMPARE(c1->_last, 599529600); // newest message, in seconds
        QCOMPARE(c2->_last, 599529600);

        QCOMPARE(d.handles.size(), 3);
        _MsgHandle* h1 = d.handles.value(1);
        QCOMPARE(h1->country, QString("us")); // the database's own country
        QCOMPARE(h1->id, QString("+12125550123"));
        QCOMPARE(d.handles.value(2)->id, QString("ann@example.com"));
        QCOMPARE(d.handles.value(2)->country, QString("us"));
        QCOMPARE(c2->handles.value("1"), h1); // one object in both chats
        QCOMPARE(c1->handles.value("1"), h1);
        QCOMPARE(c1->handles.size(), 1);

        QCOMPARE(d.messages.size(), 3); // not the group event, the chatless message or item_type 4
        _MsgMessage* m1 = d.messages.value(1);
        QCOMPARE(m1->text, QString("hello"));
        QCOMPARE(m1->date, 100);
        QCOMPARE(m1->date_played, 7);
        QCOMPARE(m1->srcRowId, qint64(1));
        QCOMPARE(m1->handle, h1);
        QCOMPARE(m1->country, QString("us"));
        QCOMPARE(m1->chat, c1);
        QVERIFY(!d.messages.value(2)->handle);
        QCOMPARE(d.messages.value(2)->service, QString("SMS"));
        QCOMPARE(d.messages.value(2)->service.constData(), m1->service.constData()); // equal texts share one buffer
        _MsgMessage* m3 = d.messages.value(3);
        QCOMPARE(m3->date, 599529600);
        QCOMPARE(c1->messages.value("3"), m3);
        QCOMPARE(c2->messages.value("3"), m3);

        QCOMPARE(d.attachments.size(), 2);
        _MsgAttachment* a1 = m1->attas.value("1");
        QVERIFY(a1);
        QCOMPARE(a1->total_bytes, qint64(1234));
        QCOMPARE(a1->localPath, QDir(folder).absoluteFilePath("file-relay/var/mobile/Library/SMS/Attachments/0a/10/IMG_0001.JPG"));
        QVERIFY(!d.attachments.value(2)->localPath.isEmpty()); // the group event's attachment loads, unlinked

        // A second call reads nothing again.
        m1->text = "changed";
        db.messages(data, 0);
        QCOMPARE(d.messages.size(), 3);
        QCOMPARE(m1->text, QString("changed"));
        QCOMPARE(d.chats.size(), 2);
    }

    // Names come from the address book when the folder has one; a number it
    // lacks empties the stored name; without one the stored names stand.
    void contactNames_data()
    {
        QTest::addColumn<bool>("withAddressBook");
        QTest::newRow("address book") << true;
        QTest::newRow("none") << false;
    }
    void contactNames()
    {
        QFETCH(bool, withAddressBook);
        const QString folder = newFolder();
        SmsDbFixture::createOldLocal(SmsDbFixture::smsDbPath(folder));
        SqlFixture::build(SmsDbFixture::smsDbPath(folder),
                          "insert into chat (ROWID, guid, service_name) values (1, 'c', 'SMS');"
                          "insert into handle (ROWID, id, country, service, _ct_name, _photo) values"
                          " (1, '2125550123', '', 'SMS', 'Stored', x'01'), (2, '+12125550999', 'us', 'SMS', 'Old', x'02');"
                          "insert into chat_handle_join values (1, 1), (1, 2);");
        if (withAddressBook) {
            AddressBookFixture::Person ann;
            ann.rowid = 1;
            ann.first = "Ann";
            ann.last = "Lee";
            ann.phones = QStringList{"(212) 555-0123"};
            ann.photo = "PNG";
            AddressBookFixture::build(folder, {ann});
        }
        IOS6MessageDb db(QDir(folder), us(), true);
        MsgData data;
        db.chats(data);
        const _MsgHandle* found = data.p()->handles.value(1);
        const _MsgHandle* unknown = data.p()->handles.value(2);
        QCOMPARE(found->id, QString("+12125550123"));
        QCOMPARE(found->_ct_name, withAddressBook ? QString("Ann Lee") : QString("Stored"));
        QCOMPARE(found->_photo, withAddressBook ? QByteArray("PNG") : QByteArray("\x01"));
        QCOMPARE(unknown->_ct_name, withAddressBook ? QString() : QString("Old"));
    }

    void readsOneChat_data()
    {
        QTest::addColumn<qint64>("chatId");
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("0: all") << qint64(0) << QList<qint64>{1, 2, 3};
        QTest::newRow("-5: all") << qint64(-5) << QList<qint64>{1, 2, 3};
        QTest::newRow("chat 2") << qint64(2) << QList<qint64>{3};
    }
    void readsOneChat()
    {
        QFETCH(qint64, chatId);
        QFETCH(QList<qint64>, expected);
        IOS6MessageDb db(QDir(deviceFolder(SmsDbFixture::OptionalColumns, 1)), us(), false);
        MsgData data;
        db.messages(data, chatId);
        QList<qint64> ids = data.p()->messages.keys();
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, expected);
        QCOMPARE(data.p()->chats.size(), 2); // the chats are always all read
    }

    // Without the newer columns every row is an ordinary message.
    void readsFileWithoutOptionalColumns()
    {
        const QString folder = newFolder();
        SmsDbFixture::createDevice(SmsDbFixture::smsDbPath(folder), SmsDbFixture::Base);
        SqlFixture::build(SmsDbFixture::smsDbPath(folder),
                          "insert into chat (ROWID, guid, service_name) values (1, 'c', 'SMS');"
                          "insert into message (ROWID, guid, date) values (1, 'm', 5);"
                          "insert into chat_message_join values (1, 1);");
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        db.messages(data, 0);
        QCOMPARE(data.p()->messages.size(), 1);
        QCOMPARE(data.p()->messages.value(1)->other_handle, 0);
        QCOMPARE(data.p()->chats.value(1)->_last, 5);
        QCOMPARE(db.total(), qint64(1));
    }

    void attachmentLocalPath_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("expected"); // below file-relay; empty: no local file
        QTest::newRow("home") << "~/Library/SMS/Attachments/0a/10/IMG_0001.JPG"
                              << "var/mobile/Library/SMS/Attachments/0a/10/IMG_0001.JPG";
        QTest::newRow("absolute") << "/var/mobile/Library/SMS/Attachments/x.jpg" << "var/mobile/Library/SMS/Attachments/x.jpg";
        QTest::newRow("slash tilde") << "/~/a" << "var/mobile/a";
        QTest::newRow("odd characters") << "~/Library/a:b?.jpg" << "var/mobile/Library/ab.jpg";
        QTest::newRow("climbs out") << "/var/mobile/../../../../etc/passwd" << "";
        QTest::newRow("double slash") << "//etc/passwd" << "";
        QTest::newRow("dot dot") << ".." << "";
    }
    void attachmentLocalPath()
    {
        QFETCH(QString, filename);
        QFETCH(QString, expected);
        const QString folder = newFolder();
        SmsDbFixture::createDevice(SmsDbFixture::smsDbPath(folder), SmsDbFixture::Base);
        QString sql = "insert into chat (ROWID, guid, service_name) values (1, 'c', 'SMS');"
                      "insert into message (ROWID, guid) values (1, 'm');"
                      "insert into chat_message_join values (1, 1);"
                      "insert into attachment (ROWID, guid, filename) values (1, 'a', '%1');"
                      "insert into message_attachment_join values (1, 1);";
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), sql.arg(filename));
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        if (expected.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("attachment path leaves its folder"));
        db.messages(data, 0);
        const QString local = data.p()->attachments.value(1)->localPath;
        QCOMPARE(local, expected.isEmpty() ? QString() : QDir(folder).absoluteFilePath("file-relay/" + expected));
    }

    // --- finding ---------------------------------------------------------

    void finders()
    {
        const QString folder = deviceFolder(SmsDbFixture::OptionalColumns, 1);
        IOS6MessageDb db(QDir(folder), us(), false);
        QCOMPARE(db.findChat("chat-2"), qint64(2));
        QCOMPARE(db.findChat("nope"), qint64(0));
        _MsgHandle h;
        h.id = "Ann@Example.com";
        h.service = "iMessage";
        QCOMPARE(db.findHandle(h), qint64(2));
        h.service = "SMS";
        QCOMPARE(db.findHandle(h), qint64(0));
        QVERIFY(db.isHandleBelong2Chat(2, 2));
        QVERIFY(!db.isHandleBelong2Chat(1, 2));
        QVERIFY(!db.isHandleBelong2Chat(-7, 2));
        QCOMPARE(db.findMessage("m-3"), qint64(3));
        _MsgMessage m;
        QCOMPARE(db.findMessageHash(m), qint64(0)); // a device file has no logic_hash
        _MsgAttachment a;
        a.guid = "a-2";
        QCOMPARE(db.findAttachment(a), qint64(2));
        QCOMPARE(db.total(), qint64(5)); // pairs; item_type 4 left out, the group event counted
        IOS6MessageDb empty(QDir(newFolder()), us(), true);
        QCOMPARE(empty.total(), qint64(0));
    }

    // --- writing ---------------------------------------------------------

    // Reads a device file, writes it the way the backup writer does, and reads it back.
    void writeAndReadBack()
    {
        IOS6MessageDb device(QDir(deviceFolder(SmsDbFixture::OptionalColumns, 1)), us(), false);
        MsgData source;
        device.messages(source, 0);
        const QString target = newFolder();
        IOS6MessageDb local(QDir(target), us(), true);
        local.beginEdit();
        const QList<_MsgMessage*> messages = source.messages();
        for (_MsgMessage* m : messages) {
            qint64 chatId = local.findChat(m->chat->guid);
            if (!chatId)
                chatId = local.insertChatAndHandles(*m->chat);
            qint64 handleId = 0;
            if (m->handle) {
                handleId = local.findHandle(*m->handle);
                if (!handleId) {
                    handleId = local.insertHandle(*m->handle);
                    local.joinChatHandle(chatId, handleId);
                } else if (!local.isHandleBelong2Chat(chatId, handleId)) {
                    local.joinChatHandle(chatId, handleId);
                }
            }
            QCOMPARE(local.findMessageHash(*m), qint64(0));
            const qint64 messageId = local.insertMessage(*m, handleId, 0, QString());
            local.joinChatMessage(chatId, messageId);
            local.updateChatLastDate21(chatId, m->date);
            QCOMPARE(local.findMessageHash(*m), messageId);
            for (_MsgAttachment* a : m->attachments()) {
                qint64 attaId = local.findAttachment(*a);
                if (!attaId)
                    attaId = local.insertAttachment(*a);
                local.joinMessageAtta(messageId, attaId);
            }
        }
        local.endEdit(true);

        IOS6MessageDb reread(QDir(target), us(), true);
        MsgData back;
        reread.messages(back, 0);
        QCOMPARE(back.p()->messages.size(), 3);
        QCOMPARE(back.p()->attachments.size(), 1);
        for (_MsgMessage* m : back.p()->messages) {
            const _MsgMessage* orig = nullptr;
            for (_MsgMessage* o : messages)
                if (o->guid == m->guid)
                    orig = o;
            QVERIFY(orig);
            QCOMPARE(m->text, orig->text);
            QCOMPARE(m->date, orig->date);
            QCOMPARE(m->is_from_me, orig->is_from_me);
            QCOMPARE(m->date_played, orig->date_played);
            QCOMPARE(m->handle ? m->handle->id : QString(), orig->handle ? orig->handle->id : QString());
            QCOMPARE(m->chat->guid, orig->chat->guid);
            QCOMPARE(m->attas.size(), orig->attas.size());
            QCOMPARE(m->logicalHash(), orig->logicalHash());
        }
        _MsgChat* chat = nullptr;
        for (_MsgChat* c : back.p()->chats)
            if (c->guid == "chat-2")
                chat = c;
        QVERIFY(chat);
        QCOMPARE(chat->display_name, QString("Team"));
        QCOMPARE(chat->_last, 599529600); // the stored column, raised as messages were written
        QCOMPARE(chat->group_id, hashUUID(QByteArray("chat-2")));
        const _MsgAttachment* a = back.p()->attachments.begin().value();
        QCOMPARE(a->transfer_name, QString("IMG_0001.JPG"));
        QCOMPARE(a->total_bytes, qint64(1234));
        QCOMPARE(scalar(target, "select cache_has_attachments from message where guid='m-1'").toInt(), 1);
    }

    void refusesUnknownService_data()
    {
        QTest::addColumn<QString>("service");
        QTest::newRow("sms") << "sms";
        QTest::newRow("empty") << "";
        QTest::newRow("other") << "Email";
    }
    void refusesUnknownService()
    {
        QFETCH(QString, service);
        const QString folder = newFolder();
        IOS6MessageDb db(QDir(folder), us(), true);
        _MsgChat chat;
        chat.guid = "g";
        chat.service_name = service;
        try {
            db.insertChatAndHandles(chat);
            QFAIL("no exception");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), "IOS6MessageDb::insertChat, invalid chat, service_name:" + service);
        }
        QCOMPARE(scalar(folder, "select count(*) from chat").toInt(), 0);
    }

    void chatHandlesAndLastDate()
    {
        const QString folder = newFolder();
        IOS6MessageDb db(QDir(folder), us(), true);
        _MsgHandle known, fresh;
        known.id = "+1";
        fresh.id = "+2";
        fresh._ct_name = "";
        const qint64 knownId = db.insertHandle(known);
        _MsgChat chat;
        chat.guid = "g";
        chat.group_id = "given";
        chat.handles.insert("1", &known);
        chat.handles.insert("2", &fresh);
        const qint64 chatId = db.insertChatAndHandles(chat);
        QCOMPARE(scalar(folder, "select count(*) from handle").toInt(), 2);
        QVERIFY(db.isHandleBelong2Chat(chatId, knownId));
        db.joinChatHandle(chatId, knownId);
        QCOMPARE(scalar(folder, "select count(*) from chat_handle_join").toInt(), 2);
        QCOMPARE(scalar(folder, "select group_id from chat").toString(), QString("given"));
        QCOMPARE(scalar(folder, "select _ct_name from handle where id='+2'").toString(), QString(""));

        db.updateChatLastDate21(chatId, 50);
        db.updateChatLastDate21(chatId, 40);
        QCOMPARE(scalar(folder, "select _last from chat").toInt(), 50);
        db.updateChatLastHandle(chatId, "+2");
        QCOMPARE(scalar(folder, "select last_addressed_handle from chat").toString(), QString("+2"));
    }

    // An unnamed group is named after its members in the order the phone
    // joined them (not by row id, not by hash order): the same on every read
    // and in a local database made from it.
    void unnamedGroupKeepsMembershipOrder()
    {
        const QString folder = newFolder();
        SmsDbFixture::createDevice(SmsDbFixture::smsDbPath(folder), SmsDbFixture::OptionalColumns);
        SqlFixture::build(SmsDbFixture::smsDbPath(folder),
                          "insert into chat (ROWID, guid, style, chat_identifier, service_name) values"
                          " (1, 'grp', 43, 'chat7', 'iMessage');"
                          "insert into handle (ROWID, id, service) values (1, 'a@x.org', 'iMessage'),"
                          " (2, 'b@x.org', 'iMessage'), (3, 'c@x.org', 'iMessage'), (4, 'd@x.org', 'iMessage'),"
                          " (5, 'e@x.org', 'iMessage');"
                          "insert into chat_handle_join values (1, 4), (1, 2), (1, 5), (1, 1), (1, 3);");
        const QString expected("d@x.org, b@x.org, e@x.org, a@x.org, c@x.org");
        const auto nameIn = [this](const QString& dbFolder, bool local) {
            IOS6MessageDb db(QDir(dbFolder), us(), local);
            MsgData data;
            db.chats(data);
            return data.p()->chats.size() == 1 ? data.p()->chats.value(1)->displayName(false) : QString();
        };
        QCOMPARE(nameIn(folder, false), expected);
        QCOMPARE(nameIn(folder, false), expected);

        IOS6MessageDb device(QDir(folder), us(), false);
        MsgData data;
        device.chats(data);
        const QString target = newFolder();
        {
            IOS6MessageDb local(QDir(target), us(), true);
            local.insertChatAndHandles(*data.p()->chats.value(1));
        }
        QCOMPARE(nameIn(target, true), expected);
    }

    // Device tables of later phones: dates in nanoseconds, and only the columns they have.
    void writesInTheTableUnit_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<qint64>("storedDate");
        QTest::newRow("seconds, base columns") << int(SmsDbFixture::Base) << qint64(100);
        QTest::newRow("nanoseconds") << int(SmsDbFixture::Nanoseconds | SmsDbFixture::OptionalColumns)
                                     << qint64(100000000000);
    }
    void writesInTheTableUnit()
    {
        QFETCH(int, variant);
        QFETCH(qint64, storedDate);
        const QString folder = newFolder();
        SmsDbFixture::createDevice(SmsDbFixture::smsDbPath(folder), variant);
        IOS6MessageDb db(QDir(folder), us(), false);
        _MsgMessage m;
        m.guid = "m";
        m.date = 100;
        m.date_delivered = -1;
        m.date_played = 9;
        m.item_type = 2;
        db.insertMessage(m, 3, 0, QString());
        QCOMPARE(scalar(folder, "select date from message").toLongLong(), storedDate);
        QCOMPARE(scalar(folder, "select date_delivered from message").toLongLong(), -storedDate / 100);
        QCOMPARE(scalar(folder, "select date_read from message").toLongLong(), qint64(0));
        QCOMPARE(scalar(folder, "select handle_id from message").toLongLong(), qint64(3));
        if (variant & SmsDbFixture::OptionalColumns) {
            QCOMPARE(scalar(folder, "select date_played from message").toInt(), 9);
            QCOMPARE(scalar(folder, "select item_type from message").toInt(), 2);
            QCOMPARE(scalar(folder, "select other_handle from message").toInt(), 0); // left to the default
        }
        _MsgAttachment a;
        a.guid = "a";
        a.localPath = "/x/y/";
        db.insertAttachment(a);
        if (variant & SmsDbFixture::OptionalColumns) {
            QCOMPARE(scalar(folder, "select original_guid from attachment").toString(), QString("a"));
            QCOMPARE(scalar(folder, "select transfer_name from attachment").toString(), QString(""));
            QCOMPARE(scalar(folder, "select total_bytes from attachment").toInt(), 0);
            QVERIFY(scalar(folder, "select user_info from attachment").isNull());
        }
    }

    void messageOptionalValues()
    {
        const QString folder = newFolder();
        IOS6MessageDb db(QDir(folder), us(), true);
        _MsgMessage m;
        m.guid = "m";
        db.insertMessage(m, 0, 0, "given-hash");
        m.guid = "n";
        db.insertMessage(m, 0, 4, QString());
        QCOMPARE(scalar(folder, "select logic_hash from message where guid='m'").toString(), QString("given-hash"));
        QCOMPARE(scalar(folder, "select logic_hash from message where guid='n'").toString(), m.logicalHash());
        QCOMPARE(scalar(folder, "select other_handle from message where guid='m'").toInt(), -1);
        QCOMPARE(scalar(folder, "select other_handle from message where guid='n'").toInt(), 4);
        QVERIFY(scalar(folder, "select subject from message where guid='m'").isNull());
        QVERIFY(scalar(folder, "select group_title from message where guid='m'").isNull());
        QVERIFY(!scalar(folder, "select text from message where guid='m'").isNull());
        db.joinChatMessage(1, 1);
        db.joinChatMessage(1, 1);
        QCOMPARE(scalar(folder, "select count(*) from chat_message_join").toInt(), 1);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.insertMessage(m, 0, 0, QString()));
    }

    // --- deleting --------------------------------------------------------

    void deleteMessage()
    {
        const QString source = deviceFolder(SmsDbFixture::OptionalColumns, 1);
        // Copy the device file into a local database first, so the local triggers apply.
        const QString folder = newFolder();
        {
            IOS6MessageDb device(QDir(source), us(), false);
            MsgData data;
            device.messages(data, 0);
            IOS6MessageDb local(QDir(folder), us(), true);
            for (_MsgMessage* m : data.messages()) {
                qint64 chatId = local.findChat(m->chat->guid);
                if (!chatId)
                    chatId = local.insertChatAndHandles(*m->chat);
                const qint64 id = local.insertMessage(*m, m->handle ? local.findHandle(*m->handle) : 0, 0, QString());
                local.joinChatMessage(chatId, id);
                for (_MsgAttachment* a : m->attachments())
                    local.joinMessageAtta(id, local.insertAttachment(*a));
            }
        }
        IOS6MessageDb db(QDir(folder), us(), true);
        MsgData data;
        db.messages(data, 0);
        auto byGuid = [&](const QString& guid) {
            for (_MsgMessage* m : data.p()->messages)
                if (m->guid == guid)
                    return m;
            return static_cast<_MsgMessage*>(nullptr);
        };
        _MsgMessage* both = byGuid("m-3"); // the only message of chat-2 (read back as chat of its later row)
        _MsgChat* chat2 = nullptr;
        for (_MsgChat* c : data.p()->chats)
            if (c->guid == "chat-2")
                chat2 = c;
        QVERIFY(both && chat2);
        db.beginEdit();
        _MsgMessage copy = *both;
        copy.chat = chat2;
        db.deleteMessage(&copy);
        db.deleteMessage(&copy); // the second time finds nothing, and is no error
        db.endEdit(true);
        QCOMPARE(scalar(folder, "select count(*) from chat where guid='chat-2'").toInt(), 0);
        QCOMPARE(scalar(folder, "select count(*) from chat_handle_join where chat_id not in (select rowid from chat)").toInt(), 0);
        QCOMPARE(scalar(folder, "select count(*) from handle where id='ann@example.com'").toInt(), 0);
        QCOMPARE(scalar(folder, "select count(*) from chat where guid='chat-1'").toInt(), 1);

        // Deleting one of several leaves the chat; the attachment goes with its only message.
        _MsgMessage* hello = byGuid("m-1");
        db.deleteMessage(hello);
        QCOMPARE(scalar(folder, "select count(*) from chat where guid='chat-1'").toInt(), 1);
        QCOMPARE(scalar(folder, "select count(*) from attachment").toInt(), 0);
        QCOMPARE(scalar(folder, "select count(*) from message").toInt(), 1);

        // Without a chat the chat table is not touched.
        _MsgMessage chatless = *byGuid("m-2");
        chatless.chat = nullptr;
        db.deleteMessage(&chatless);
        QCOMPARE(scalar(folder, "select count(*) from message").toInt(), 0);
        QCOMPARE(scalar(folder, "select count(*) from chat where guid='chat-1'").toInt(), 1);
    }

    // --- bad input -------------------------------------------------------

    void damagedFileNamesIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not sqlite") << QByteArray(2048, 'x');
        QTest::newRow("truncated header") << QByteArray("SQLite format 3\0", 16) + QByteArray(40, '\x01');
    }
    void damagedFileNamesIt()
    {
        QFETCH(QByteArray, bytes);
        const QString folder = newFolder();
        const QString path = SmsDbFixture::smsDbPath(folder);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        try {
            db.messages(data, 0);
            QFAIL("no exception");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(path), e.what());
        }
        QCOMPARE(QFileInfo(path).size(), qint64(bytes.size())); // left as it was
    }

    void missingTableNamesFile()
    {
        const QString folder = newFolder();
        SqlFixture::build(SmsDbFixture::smsDbPath(folder), "create table message (ROWID INTEGER PRIMARY KEY, guid TEXT);");
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        try {
            db.messages(data, 0);
            QFAIL("no exception");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("chat"), e.what());
            QVERIFY2(QString::fromUtf8(e.what()).contains(SmsDbFixture::smsDbPath(folder)), e.what());
        }
    }

    // NULLs where the schema says NOT NULL, and dates no model date can hold.
    void oddValuesReadWithDefaults()
    {
        const QString folder = newFolder();
        const QString path = SmsDbFixture::smsDbPath(folder);
        SqlFixture::build(path, "create table chat (ROWID INTEGER PRIMARY KEY, guid TEXT, service_name TEXT);"
                                "create table handle (ROWID INTEGER PRIMARY KEY, id TEXT, service TEXT);"
                                "create table chat_handle_join (chat_id, handle_id);"
                                "create table message (ROWID INTEGER PRIMARY KEY, guid TEXT, date INTEGER, handle_id, ck_record_id);"
                                "create table chat_message_join (chat_id, message_id);"
                                "create table attachment (ROWID INTEGER PRIMARY KEY, guid TEXT, filename TEXT);"
                                "create table message_attachment_join (message_id, attachment_id);"
                                "insert into chat values (1, NULL, NULL);"
                                "insert into handle values (1, NULL, NULL);"
                                "insert into chat_handle_join values (1, 1);"
                                "insert into message values (1, NULL, 9223372036854775807, 1, NULL);"
                                "insert into message values (2, NULL, 'text', 1, NULL);"
                                "insert into chat_message_join values (1, 1), (1, 2);"
                                "insert into attachment values (1, NULL, NULL);"
                                "insert into message_attachment_join values (1, 1);");
        IOS6MessageDb db(QDir(folder), us(), false);
        MsgData data;
        db.messages(data, 0);
        QCOMPARE(data.p()->messages.size(), 2);
        QCOMPARE(data.p()->messages.value(1)->date, 0);
        QCOMPARE(data.p()->messages.value(1)->guid, QString());
        QCOMPARE(data.p()->chats.value(1)->_last, 0);
        QCOMPARE(data.p()->attachments.value(1)->localPath, QString());
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageDb)
#include "tst_ios6messagedb.moc"
