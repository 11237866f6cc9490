// The iOS 5 message database: opening, conversations and correspondents,
// SMS and iMessage messages with their attachments, MMS parts with their
// files and clones, repeated reads, and damaged or odd files.
#include <QtTest>

#include <sys/stat.h>

#include <sqlite3.h>

#include "addressbookfixture.h"
#include "countrylibdb.h"
#include "ios5messagedb.h"
#include "ios5smsfixture.h"
#include "mobiledevice_loader.h"
#include "msgidentifiers.h"
#include "sqlfixture.h"
#include "temphome.h"

namespace {

// Reads of this table fail on every new connection while set: the injected
// fault for the failure paths that a real file cannot be made to show.
QByteArray g_deniedTable;

int denyReads(void*, int action, const char* table, const char*, const char*, const char*)
{
    return action == SQLITE_READ && table && !g_deniedTable.isEmpty() && g_deniedTable == table ? SQLITE_DENY
                                                                                                 : SQLITE_OK;
}

int installDenyReads(sqlite3* db, char**, const sqlite3_api_routines*)
{
    sqlite3_set_authorizer(db, denyReads, nullptr);
    return SQLITE_OK;
}

struct DenyReads
{
    explicit DenyReads(const char* table) { g_deniedTable = table; }
    ~DenyReads() { g_deniedTable.clear(); }
};

const QString kFfc(QChar(0xFFFC));
constexpr int kUnixTo2001 = 978307200;

QString smsDb(const QString& folder)
{
    return folder + QStringLiteral("/file-relay/var/mobile/Library/SMS/sms.db");
}

QString fileRelay(const QString& folder)
{
    return folder + QStringLiteral("/file-relay/");
}

} // namespace

class TestIOS5MessageDb : public QObject
{
    Q_OBJECT

    TempHome m_home;
    int m_folders = 0;
    _CountryInfo m_us;

    QString newFolder() { return m_home.file(QStringLiteral("cache%1").arg(++m_folders)); }
    QString sampleFolder()
    {
        const QString folder = newFolder();
        IOS5SmsFixture::createSample(smsDb(folder));
        return folder;
    }
    // An SMS-only database with one conversation (group 1, member 5550100) and
    // the given message and part rows.
    QString partsFolder(const QString& rows)
    {
        const QString folder = newFolder();
        IOS5SmsFixture::create(smsDb(folder), false);
        SqlFixture::build(smsDb(folder),
                          QStringLiteral("insert into msg_group (ROWID, newest_message, hash) values (300, 37, 1);"
                                         "insert into group_member (ROWID, group_id, address, country) values (1, 300, '5550100', '');"
                                         "insert into message (ROWID, date, flags, group_id, text) values (37, 1300000000, 3, 300, NULL);")
                              + rows);
        return folder;
    }

    // Everything the database at `folder` holds, read by a database object
    // that is gone afterwards: the set owns what was read.
    MsgData readAll(const QString& folder, long long chatId = 0)
    {
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        db.messages(data, chatId);
        return data;
    }

private slots:
    void initTestCase()
    {
        QString error;
        mobiledevice_loader_ini(error, QString());
        QVERIFY2(mobiledevice_loader_is_corefoundation_loaded(), qPrintable(error));
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(installDenyReads));
        CountryLibDb lib{QString()};
        m_us = lib.infoByCode(QStringLiteral("US"));
        QVERIFY(!m_us.pnum.isEmpty());
    }

    // --- opening ---------------------------------------------------------

    void missingFolderFailsEveryCall()
    {
        IOS5MessageDb db(QDir(m_home.file("nowhere")), m_us);
        QCOMPARE(db.type(), 5);
        MsgData data;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.chats(data));
        QVERIFY_THROWS_EXCEPTION(std::exception, db.messages(data, 0));
        QVERIFY(!db.isOpen());
        QVERIFY(!QFileInfo::exists(m_home.file("nowhere")));
    }

    void readFunction_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("result");
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("seven") << "7" << 1;
        QTest::newRow("minus one") << "-1" << 1;
        QTest::newRow("null") << "NULL" << 0;
        QTest::newRow("numeric text") << "'12'" << 1;
        QTest::newRow("text") << "'abc'" << 0;
    }
    void readFunction()
    {
        QFETCH(QString, argument);
        QFETCH(int, result);
        static const QString folder = sampleFolder();
        IOS5MessageDb db{QDir(folder), m_us};
        db.openCheck();
        Sqlite3Cursor c = db.queryThrow(QStringLiteral("select read(%1) as r").arg(argument));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(QStringLiteral("r")), result);
    }

    void totalCountsMessageRows()
    {
        IOS5MessageDb sample{QDir(sampleFolder()), m_us};
        QCOMPARE(sample.total(), qint64(10));
        const QString empty = newFolder();
        IOS5SmsFixture::create(smsDb(empty), false);
        QCOMPARE(IOS5MessageDb(QDir(empty), m_us).total(), qint64(0));
        const QString noMessages = newFolder();
        SqlFixture::build(smsDb(noMessages), "create table other (a);");
        IOS5MessageDb broken{QDir(noMessages), m_us};
        QVERIFY_THROWS_EXCEPTION(std::exception, broken.total());
    }

    // The table list is read once: tables added later stay unknown.
    void secondOpenDoesNothing()
    {
        const QString folder = partsFolder(QString());
        IOS5MessageDb db{QDir(folder), m_us};
        db.openCheck();
        SqlFixture::build(smsDb(folder), "create table madrid_chat (chat_identifier TEXT, participants BLOB);"
                                         "insert into madrid_chat values ('x', NULL);");
        db.openCheck();
        MsgData data;
        db.chats(data);
        QCOMPARE(data.p()->chats.size(), 1);
    }

    // A table list that could not be read is not kept: the next call opens
    // again and finds the iMessage conversations.
    void tableListFailureRetries()
    {
        IOS5MessageDb db{QDir(sampleFolder()), m_us};
        MsgData data;
        {
            DenyReads deny("sqlite_master");
            QVERIFY_THROWS_EXCEPTION(std::exception, db.chats(data));
        }
        QVERIFY(!db.isOpen());
        db.chats(data);
        QVERIFY(data.p()->chats.contains(-1));
        QVERIFY(data.p()->chats.contains(-2));
    }

    // --- conversations ---------------------------------------------------

    // An SMS group is named after its members in the order of their
    // group_member rows, the same on every read.
    void groupNameInMemberOrder()
    {
        const QString folder = newFolder();
        IOS5SmsFixture::create(smsDb(folder), true);
        SqlFixture::build(smsDb(folder),
                          "insert into msg_group (ROWID, type, newest_message, hash) values (1, 0, 1, 1);"
                          "insert into message (ROWID, address, date, text, flags, group_id) values"
                          " (1, '2125550101', 1300000000, 'hi', 2, 1);"
                          "insert into group_member (ROWID, group_id, address, country) values"
                          " (1, 1, '2125550104', 'us'), (2, 1, '2125550102', 'us'), (3, 1, '2125550105', 'us'),"
                          " (4, 1, '2125550101', 'us'), (5, 1, '2125550103', 'us');");
        QStringList members;
        for (const char* number : {"2125550104", "2125550102", "2125550105", "2125550101", "2125550103"})
            members.append(m_us.formatNumber(QString::fromLatin1(number)));
        for (int read = 0; read < 2; ++read) {
            IOS5MessageDb db{QDir(folder), m_us};
            MsgData data;
            db.chats(data);
            QVERIFY(data.p()->chats.contains(1));
            QCOMPARE(data.p()->chats.value(1)->displayName(false), members.join(", "));
        }
    }

    void smsConversations()
    {
        const QString folder = sampleFolder();
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        db.chats(data);
        const __MsgData& d = *data.p();
        QCOMPARE(d.chats.size(), 5); // groups 1 to 3, madrid chats 1 and 2
        QVERIFY(!d.chats.contains(4));
        QVERIFY(!d.handles.contains(5));

        const _MsgChat* one = d.chats.value(1);
        const QString ann = m_us.formatNumber(QStringLiteral("(212) 555-0123"));
        QCOMPARE(one->chat_identifier, ann);
        QCOMPARE(one->guid, QStringLiteral("SMS;-;") + ann);
        QCOMPARE(one->style, 45);
        QCOMPARE(one->_last, 1300000100 - kUnixTo2001);
        QCOMPARE(one->handles.keys(), QStringList{ann});

        const _MsgChat* group = d.chats.value(2);
        const QString first = m_us.formatNumber(QStringLiteral("2125550150"));
        const QString ident = genChatIdentifier(QStringLiteral("SMS;-;") + first);
        QCOMPARE(group->chat_identifier, ident);
        QCOMPARE(group->guid, QStringLiteral("SMS;+;") + ident);
        QCOMPARE(group->room_name, ident);
        QCOMPARE(group->style, 43);
        QCOMPARE(group->account_id, hashUUID((QStringLiteral("SMS;+;") + ident).toUtf8()));
        QCOMPARE(group->handles.size(), 2); // the repeated address counts once
        QVERIFY(d.handles.contains(4));     // but keeps its own handle
        QCOMPARE(d.handles.value(2)->country, QStringLiteral("us"));

        const _MsgChat* none = d.chats.value(3);
        QCOMPARE(none->guid, QStringLiteral("SMS;-;333"));
        QCOMPARE(none->chat_identifier, QStringLiteral("unknown"));
        QCOMPARE(none->service_name, QStringLiteral("SMS"));
        QCOMPARE(none->account_login, QStringLiteral("E:"));
    }

    void iMessageConversations()
    {
        IOS5MessageDb db{QDir(sampleFolder()), m_us};
        MsgData data;
        db.chats(data);
        const __MsgData& d = *data.p();
        const _MsgChat* ann = d.chats.value(-1);
        QCOMPARE(ann->chat_identifier, QStringLiteral("ann@example.com"));
        QCOMPARE(ann->guid, QStringLiteral("iMessage;-;ann@example.com"));
        QCOMPARE(ann->service_name, QStringLiteral("iMessage"));
        QCOMPARE(ann->account_login, QStringLiteral("me@example.com"));
        QCOMPARE(ann->account_id, QStringLiteral("acc-1"));
        QCOMPARE(ann->_last, 350000000);
        QCOMPARE(ann->handles.size(), 1);
        QCOMPARE(ann->handles.value("ann@example.com")->ROWID, -5); // after the four SMS handles

        const _MsgChat* room = d.chats.value(-2);
        QCOMPARE(room->guid, QStringLiteral("iMessage;+;chat900"));
        QCOMPARE(room->style, 43);
        QCOMPARE(room->_last, 350000200);
        QCOMPARE(room->handles.size(), 2);
        QCOMPARE(room->handles.value("bob@example.com")->service, QStringLiteral("iMessage"));
        QCOMPARE(room->handles.value("+12125550150")->ROWID, -6);
    }

    void contactNamesAndRepeatedCalls()
    {
        const QString folder = sampleFolder();
        AddressBookFixture::Person bob;
        bob.rowid = 1;
        bob.first = QStringLiteral("Bob");
        bob.last = QStringLiteral("Stone");
        bob.phones = QStringList{QStringLiteral("(212) 555-0150")};
        bob.photo = QByteArray::fromHex("ffd8ffe0");
        AddressBookFixture::Person ann;
        ann.rowid = 2;
        ann.first = QStringLiteral("Ann");
        ann.phones = QStringList{QStringLiteral("(212) 555-0123")};
        AddressBookFixture::build(folder, {bob, ann});

        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        db.chats(data);
        const __MsgData& d = *data.p();
        QCOMPARE(d.handles.value(1)->_ct_name, QStringLiteral("Ann"));
        const _MsgHandle* bobHandle = d.handles.value(2);
        QCOMPARE(bobHandle->_ct_name, QStringLiteral("Bob Stone"));
        QCOMPARE(bobHandle->_photo, bob.photo);

        const QHash<qint64, _MsgChat*> chats = d.chats;
        const QHash<qint64, _MsgHandle*> handles = d.handles;
        db.chats(data);
        QCOMPARE(d.chats, chats);
        QCOMPARE(d.handles, handles);
        QCOMPARE(d.chats.value(2)->handles.size(), 2);
    }

    // --- messages --------------------------------------------------------

    void smsMessages()
    {
        const MsgData data = readAll(sampleFolder());
        const __MsgData& d = *data.p();
        QCOMPARE(d.messages.size(), 12); // ten rows and two MMS clones

        const _MsgMessage* in = d.messages.value(1);
        QCOMPARE(in->srcRowId, 1);
        QCOMPARE(in->service, QStringLiteral("SMS"));
        QCOMPARE(in->account, QStringLiteral("e:"));
        QCOMPARE(in->service_center, QStringLiteral("+12125550000"));
        QCOMPARE(in->subject, QStringLiteral("subj"));
        QCOMPARE(in->date, 1300000000 - kUnixTo2001);
        QCOMPARE(in->date_read, in->date);
        QCOMPARE(in->date_delivered, in->date);
        QCOMPARE(in->guid.size(), 36);
        QCOMPARE(in->is_from_me, 0);
        QCOMPARE(in->is_finished, 1);
        QCOMPARE(in->was_data_detected, 1);
        QCOMPARE(in->chat, d.chats.value(1));
        QCOMPARE(in->handle, d.handles.value(1));
        QCOMPARE(d.chats.value(1)->messages.value("1"), in);
        // In a one-to-one chat even a sent message has the correspondent.
        QCOMPARE(d.messages.value(2)->is_from_me, 1);
        QCOMPARE(d.messages.value(2)->handle, d.handles.value(1));
        // In a group the sender is found by address; a sent message has none.
        QCOMPARE(d.messages.value(3)->handle, d.handles.value(3));
        QVERIFY(!d.messages.value(4)->handle);
        QCOMPARE(d.messages.value(6)->date, 0);
        QCOMPARE(d.messages.value(6)->date_delivered, 0);
        const _MsgMessage* lost = d.messages.value(7);
        QVERIFY(!lost->chat);
        QVERIFY(!lost->handle);
    }

    void iMessages()
    {
        const QString folder = sampleFolder();
        const MsgData data = readAll(folder);
        const __MsgData& d = *data.p();

        const _MsgMessage* received = d.messages.value(8);
        QCOMPARE(received->guid, QStringLiteral("G-8"));
        QCOMPARE(received->service, QStringLiteral("iMessage"));
        QCOMPARE(received->account, QStringLiteral("e:me@example.com"));
        QCOMPARE(received->account_guid, QStringLiteral("AG"));
        QCOMPARE(received->date, 350000000);
        QCOMPARE(received->date_read, 350000050);
        QCOMPARE(received->is_from_me, 0);
        QCOMPARE(received->chat, d.chats.value(-1));
        QCOMPARE(received->handle, d.chats.value(-1)->handles.value("ann@example.com"));
        QCOMPARE(received->attas.size(), 1); // named twice, entered once
        const QString a1 = QLatin1String(IOS5SmsFixture::kGuidA1);
        QCOMPARE(received->attributedBody, msgAttaAttributeBody(a1));
        const _MsgAttachment* att = received->attas.value(a1);
        QCOMPARE(att, d.attachments.value(-1));
        QCOMPARE(att->filename, QStringLiteral("~/Library/SMS/Attachments/ab/11/%1/IMG_0001.JPG").arg(a1));
        QCOMPARE(att->localPath,
                 fileRelay(folder) + QStringLiteral("var/mobile/Library/SMS/Attachments/ab/11/%1/IMG_0001.JPG").arg(a1));
        QCOMPARE(att->created_date, 350000000);
        QCOMPARE(att->start_date, 350000001);
        QCOMPARE(att->uti, QStringLiteral("public.jpeg"));
        QCOMPARE(att->is_outgoing, 0);

        const _MsgMessage* sent = d.messages.value(9);
        QCOMPARE(sent->is_from_me, 1);
        QCOMPARE(sent->error, 4);
        QCOMPARE(sent->chat, d.chats.value(-2));
        QVERIFY(!sent->handle);
        QCOMPARE(sent->attas.size(), 2);
        QCOMPARE(sent->attributedBody, QByteArray("stored9"));
        const _MsgAttachment* odd = sent->attas.value(QLatin1String(IOS5SmsFixture::kGuidA2));
        QVERIFY(odd->filename.endsWith(QLatin1String("/a:b|c.png")));
        QVERIFY(odd->localPath.endsWith(QLatin1String("/abc.png")));
        QCOMPARE(odd->is_outgoing, 1);
        QVERIFY(sent->attas.value(QLatin1String(IOS5SmsFixture::kGuidA3))->localPath.isEmpty());

        QCOMPARE(d.messages.value(10)->handle, d.chats.value(-2)->handles.value("bob@example.com"));
        QVERIFY(d.messages.value(10)->attributedBody.isEmpty());
    }

    void mmsParts()
    {
        const QString folder = sampleFolder();
        const MsgData data = readAll(folder);
        const __MsgData& d = *data.p();
        const _MsgMessage* mms = d.messages.value(5);
        QCOMPARE(mms->text, QStringLiteral("Look") + kFfc);
        QCOMPARE(mms->attas.size(), 1);
        const QString relative = QStringLiteral("var/mobile/Library/SMS/Parts/02/05/5-2.JPG");
        const QString guid = hashUUID(relative.toUtf8());
        QCOMPARE(mms->attributedBody, msgAttaAttributeBody(guid));
        const _MsgAttachment* picture = mms->attas.value(guid);
        QCOMPARE(picture, d.attachments.value(3));
        QCOMPARE(picture->localPath, fileRelay(folder) + relative);
        QCOMPARE(picture->filename, QStringLiteral("~/Library/SMS/Attachments/%1/%2/%3/IMG_0001.JPG")
                                        .arg(guid.left(2).toLower(), guid.mid(2, 2).toLower(), guid));
        QCOMPARE(picture->mime_type, QStringLiteral("image/jpeg"));
        QCOMPARE(picture->uti, QStringLiteral("public.jpeg"));
        QCOMPARE(picture->transfer_name, QStringLiteral("IMG_0001.JPG"));
        QCOMPARE(picture->is_outgoing, 0);
        QVERIFY(qAbs(picture->created_date - (QDateTime::currentSecsSinceEpoch() - kUnixTo2001)) < 60);
        QFile file(picture->localPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("JPEGDATA"));
        QVERIFY(!QFileInfo::exists(fileRelay(folder) + "var/mobile/Library/SMS/Parts/02/05/5-3.png"));

        for (qint64 part : {4, 5}) {
            const _MsgMessage* clone = d.messages.value(-1647483648LL - part);
            QVERIFY(clone);
            QCOMPARE(clone->text, kFfc);
            QCOMPARE(clone->attas.size(), 1);
            const _MsgAttachment* a = clone->attas.cbegin().value();
            QCOMPARE(a, d.attachments.value(part));
            QCOMPARE(clone->guid, hashUUID(QStringLiteral("%1(5)").arg(a->guid).toUtf8()));
            QCOMPARE(clone->attributedBody, msgAttaAttributeBody(a->guid));
            QCOMPARE(clone->chat, mms->chat);
            QCOMPARE(clone->handle, mms->handle);
            QCOMPARE(clone->date, mms->date);
            QCOMPARE(clone->srcRowId, 5);
            QCOMPARE(mms->chat->messages.value(QString::number(clone->ROWID)), clone);
        }
        QCOMPARE(d.attachments.value(4)->uti, QStringLiteral("public.png"));
    }

    // Reading again adds nothing: no message, clone, attachment or file, and
    // no text or guid changes.
    void repeatedReadAddsOnlyNewRows()
    {
        const QString folder = sampleFolder();
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        db.messages(data, 0);
        const __MsgData& d = *data.p();
        const QString smsGuid = d.messages.value(1)->guid;
        const QString picture = d.messages.value(5)->attas.cbegin().value()->localPath;
        QVERIFY(QFile::remove(picture));
        const int messages = d.messages.size();
        const int attachments = d.attachments.size();

        SqlFixture::build(smsDb(folder), "insert into message (ROWID, date, text, flags, group_id, is_madrid)"
                                         " values (11, 1300000600, 'new', 3, 1, 0);");
        db.messages(data, 0);
        QCOMPARE(d.messages.size(), messages + 1);
        QCOMPARE(d.attachments.size(), attachments);
        QCOMPARE(d.messages.value(1)->guid, smsGuid);
        QCOMPARE(d.messages.value(5)->text, QStringLiteral("Look") + kFfc);
        QVERIFY(!QFileInfo::exists(picture));
        QCOMPARE(d.chats.value(1)->messages.size(), 3);
    }

    void oneConversation_data()
    {
        QTest::addColumn<qint64>("chatId");
        QTest::addColumn<QList<qint64>>("rows");
        QTest::newRow("sms group") << qint64(2) << QList<qint64>{3, 4, 5, -1647483652LL, -1647483653LL};
        QTest::newRow("imessage room") << qint64(-2) << QList<qint64>{9, 10};
    }
    void oneConversation()
    {
        QFETCH(qint64, chatId);
        QFETCH(QList<qint64>, rows);
        const MsgData data = readAll(sampleFolder(), chatId);
        QList<qint64> keys = data.p()->messages.keys();
        std::sort(keys.begin(), keys.end());
        std::sort(rows.begin(), rows.end());
        QCOMPARE(keys, rows);
    }

    // --- MMS edge cases --------------------------------------------------

    void partTexts_data()
    {
        QTest::addColumn<QString>("parts"); // rows of (ROWID, data, part_id, content_type, content_loc)
        QTest::addColumn<QString>("text");
        QTest::newRow("trimmed") << "(1, 'Hello ', 0, 'Text/Plain', 'a.txt')" << "Hello";
        QTest::newRow("two pieces") << "(1, ' Hi', 0, 'text/plain', 'a.txt'), (2, 'there', 1, 'text/plain', 'b.txt')"
                                    << "Hi\nthere";
        QTest::newRow("text, picture") << "(1, 'Hi', 0, 'text/plain', 'a.txt'), (2, 'P', 1, 'image/jpeg', 'p.jpg')"
                                       << "Hi\uFFFC";
        QTest::newRow("picture, text") << "(1, 'P', 0, 'image/jpeg', 'p.jpg'), (2, 'Hi', 1, 'text/plain', 'a.txt')"
                                       << "\uFFFC\nHi";
        QTest::newRow("up to a zero byte") << "(1, CAST(X'48690042' AS TEXT), 0, 'text/plain', 'a.txt')" << "Hi";
        QTest::newRow("smil and empty types") << "(1, 'x', 0, 'APPLICATION/SMIL', 's.smil'), (2, 'y', 1, NULL, 'n'),"
                                                 " (3, 'z', 2, '', 'e')"
                                              << "";
    }
    void partTexts()
    {
        QFETCH(QString, parts);
        QFETCH(QString, text);
        const QString folder = partsFolder(
            QStringLiteral("insert into msg_pieces (ROWID, data, part_id, content_type, content_loc) values %1;"
                           "update msg_pieces set message_id=37;")
                .arg(parts));
        const MsgData data = readAll(folder);
        QCOMPARE(data.p()->messages.value(37)->text, text);
    }

    void partPaths_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("loc");
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("uti");
        // group 300 gives 2c (300 mod 256 = 44), message 37 gives 05.
        QTest::newRow("suffix") << "image/jpeg" << "IMG_0001.JPG" << "Parts/2c/05/37-2.JPG" << "public.jpeg";
        QTest::newRow("no point") << "image" << "picture" << "Parts/2c/05/37-2." << "public.";
        QTest::newRow("climbing name") << "image/png" << "../../../../x.png" << "Parts/2c/05/37-2.png" << "public.png";
    }
    void partPaths()
    {
        QFETCH(QString, type);
        QFETCH(QString, loc);
        QFETCH(QString, relative);
        QFETCH(QString, uti);
        ::umask(022);
        const QString folder = partsFolder(
            QStringLiteral("insert into msg_pieces (ROWID, message_id, data, part_id, content_type, content_loc)"
                           " values (9, 37, X'0102', 2, '%1', '%2');")
                .arg(type, loc));
        const MsgData data = readAll(folder);
        const _MsgAttachment* a = data.p()->attachments.value(9);
        QVERIFY(a);
        QCOMPARE(a->localPath, fileRelay(folder) + "var/mobile/Library/SMS/" + relative);
        QCOMPARE(a->uti, uti);
        QCOMPARE(a->transfer_name, loc);
        QCOMPARE(a->is_outgoing, 1); // the message's flags are 3
        QVERIFY(QFileInfo::exists(a->localPath));
        // Under the umask 022 set above: the part and its folder are private.
        QCOMPARE(modeOf(a->localPath), 0600);
        QCOMPARE(modeOf(QFileInfo(a->localPath).absolutePath()), 0700);
    }

    void mediaPartWithoutName()
    {
        const QString folder = partsFolder("insert into msg_pieces (ROWID, message_id, data, part_id, content_type)"
                                           " values (9, 37, X'01', 2, 'image/png');");
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("part 9 of message 37 has no file name"));
        db.messages(data, 0);
        QVERIFY(data.p()->attachments.isEmpty());
        QVERIFY(!QFileInfo::exists(fileRelay(folder) + "var/mobile/Library/SMS/Parts"));
    }

    // A part file that cannot be written leaves no partial file; the
    // attachment keeps its path and reading goes on to the next part.
    void partWriteFailures_data()
    {
        QTest::addColumn<QString>("obstacle"); // relative to the part folder
        QTest::addColumn<bool>("obstacleIsFolder");
        QTest::addColumn<QString>("warning");
        QTest::newRow("file is a folder") << "37-2.jpg" << true << "can not write";
        QTest::newRow("folder is a file") << "" << false << "can not create";
    }
    void partWriteFailures()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, obstacleIsFolder);
        QFETCH(QString, warning);
        const QString folder = partsFolder(
            "insert into msg_pieces (ROWID, message_id, data, part_id, content_type, content_loc) values"
            " (9, 37, X'0102', 2, 'image/jpeg', 'a.jpg'), (10, 37, X'03', 3, 'image/png', 'b.png');");
        const QString partDir = fileRelay(folder) + "var/mobile/Library/SMS/Parts/2c/05";
        const QString target = obstacle.isEmpty() ? partDir : partDir + "/" + obstacle;
        if (obstacleIsFolder) {
            QVERIFY(QDir().mkpath(target));
        } else {
            QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
            QFile block(target);
            QVERIFY(block.open(QIODevice::WriteOnly));
        }
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        if (!obstacleIsFolder)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        db.messages(data, 0);
        const __MsgData& d = *data.p();
        QCOMPARE(d.attachments.value(9)->localPath, partDir + "/37-2.jpg");
        QVERIFY(d.messages.contains(-1647483648LL - 10));
        if (obstacleIsFolder) {
            QCOMPARE(QDir(partDir).entryList(QDir::Files | QDir::Hidden), QStringList{"37-3.png"});
            QVERIFY(QFileInfo(target).isDir());
        }
    }

    // A part folder that is a link out of the cache folder is not written through.
    void partFolderLinkedOutside()
    {
        const QString folder = partsFolder("insert into msg_pieces (ROWID, message_id, data, part_id, content_type,"
                                           " content_loc) values (9, 37, X'0102', 2, 'image/jpeg', 'a.jpg');");
        const QString outside = m_home.file("outside");
        QVERIFY(QDir().mkpath(outside));
        const QString parts = fileRelay(folder) + "var/mobile/Library/SMS/Parts";
        QVERIFY(QDir().mkpath(parts));
        QVERIFY(QFile::link(outside, parts + "/2c"));
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("attachment path leaves its folder"));
        db.messages(data, 0);
        QVERIFY(data.p()->attachments.contains(9));
        QVERIFY(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }

    // --- damaged and odd files -------------------------------------------

    // A message whose attachments cannot be read is not left half-built in
    // the set: the next read takes the whole row again.
    void messageEntersWhole()
    {
        IOS5MessageDb db{QDir(sampleFolder()), m_us};
        MsgData data;
        {
            DenyReads deny("madrid_attachment");
            QVERIFY_THROWS_EXCEPTION(std::exception, db.messages(data, 0));
        }
        const __MsgData& d = *data.p();
        QVERIFY(d.messages.contains(7));
        QVERIFY(!d.messages.contains(8));
        QVERIFY(d.chats.value(-1)->messages.isEmpty());
        db.messages(data, 0);
        QCOMPARE(d.messages.value(8)->attas.size(), 1);
        QCOMPARE(d.chats.value(-1)->messages.size(), 1);
    }

    void guidsBetweenOtherBytes()
    {
        const QString folder = newFolder();
        IOS5SmsFixture::create(smsDb(folder), true);
        const QByteArray info = QByteArray("\x01\xffxx_") + IOS5SmsFixture::kGuidA1 + QByteArray("\x00", 1)
                                + "ZZ99-nonsense-" + IOS5SmsFixture::kGuidA2;
        SqlFixture::build(smsDb(folder),
                          QStringLiteral("insert into madrid_attachment (ROWID, attachment_guid, filename) values"
                                         " (1, '%1', '/var/mobile/../../../../etc/passwd'), (2, '%2', 'b.jpg');"
                                         "insert into message (ROWID, date, is_madrid, madrid_handle,"
                                         " madrid_attachmentInfo, madrid_attributedBody) values"
                                         " (1, 5, 1, 'x@example.com', %3, X'00');")
                              .arg(QLatin1String(IOS5SmsFixture::kGuidA1), QLatin1String(IOS5SmsFixture::kGuidA2),
                                   IOS5SmsFixture::blobLiteral(info)));
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("attachment path leaves its folder"));
        db.messages(data, 0);
        const _MsgMessage* msg = data.p()->messages.value(1);
        QCOMPARE(msg->attas.size(), 2);
        QVERIFY(msg->attas.value(QLatin1String(IOS5SmsFixture::kGuidA1))->localPath.isEmpty());
        QCOMPARE(msg->attas.value(QLatin1String(IOS5SmsFixture::kGuidA2))->localPath, fileRelay(folder) + "b.jpg");
        QVERIFY(!msg->chat);
    }

    // NULLs everywhere, a participant list that is no list, no madrid_attachment
    // table and unknown flags: rows read with defaults, nothing crashes.
    void damagedRowsReadWithDefaults()
    {
        const QString folder = newFolder();
        IOS5SmsFixture::create(smsDb(folder), false);
        SqlFixture::build(smsDb(folder),
                          "alter table message add column is_madrid INTEGER;"
                          "alter table message add column madrid_handle TEXT;"
                          "alter table message add column madrid_roomname TEXT;"
                          "alter table message add column madrid_attachmentInfo BLOB;"
                          "create table madrid_chat (chat_identifier TEXT, participants BLOB, style INTEGER);"
                          "insert into madrid_chat (chat_identifier, participants) values ('Z@X.com', X'626f6775730a');"
                          "insert into msg_group (ROWID, newest_message, hash) values (1, 1, NULL), (2, NULL, 5);"
                          "insert into group_member (ROWID, group_id, address, country) values (1, 1, NULL, NULL),"
                          " (2, 1, 'abc', 'zz'), (3, 2, '1', 'us');"
                          "insert into message (ROWID, date, flags, group_id, is_madrid, madrid_handle,"
                          " madrid_attachmentInfo) values (1, NULL, 99, 1, NULL, NULL, NULL),"
                          " (2, 350000000, NULL, NULL, 7, 'z@x.com', X'41414141');"
                          "insert into msg_pieces (ROWID, message_id, data, content_type, content_loc) values"
                          " (1, 1, NULL, 'image/jpeg', 'n.jpg'), (2, 1, X'ff', 'text/plain', NULL);");
        IOS5MessageDb db{QDir(folder), m_us};
        MsgData data;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("participants are no list"));
        db.messages(data, 0);
        const __MsgData& d = *data.p();
        QCOMPARE(d.chats.size(), 2);
        QCOMPARE(d.chats.value(-1)->guid, QStringLiteral("iMessage;-;z@x.com"));
        QVERIFY(d.chats.value(-1)->handles.isEmpty());
        QCOMPARE(d.chats.value(1)->handles.size(), 2);
        const _MsgMessage* sms = d.messages.value(1);
        QCOMPARE(sms->date, -kUnixTo2001);
        QCOMPARE(sms->is_from_me, 0);
        QCOMPARE(sms->text, kFfc + QStringLiteral("\n\uFFFD"));
        QCOMPARE(d.messages.value(2)->chat, d.chats.value(-1));
        QVERIFY(d.messages.value(2)->attas.isEmpty());
        QVERIFY(d.messages.value(2)->attributedBody.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestIOS5MessageDb)
#include "tst_ios5messagedb.moc"
