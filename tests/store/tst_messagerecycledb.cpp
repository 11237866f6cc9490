// The recovery database recycle.db and the merge of recovered messages into
// a message set.
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

#include "messagerecycledb.h"
#include "msgidentifiers.h"
#include "sqlfixture.h"

namespace {
_MsgMessage message(const QString& guid, int date, const QString& text)
{
    _MsgMessage m;
    m.guid = guid;
    m.date = date;
    m.text = text;
    m.service = "SMS";
    return m;
}

// A record for one call (the temporary lives to the end of the statement).
const _MsgMessage* ptr(const _MsgMessage& m)
{
    return &m;
}

RecycleMsg recovered(qint64 n, const QString& ci, const QString& service, qint64 handleId, int date = 0)
{
    RecycleMsg r;
    r.msg.ROWID = -2047483648LL - n;
    r.msg.guid = QStringLiteral("g%1").arg(n);
    r.msg.service = service;
    r.msg.handle_id = handleId;
    r.msg.date = date;
    r.msg.recovered = true;
    r.chatIdentifier = ci;
    return r;
}

_MsgChat* addChat(MsgData& data, qint64 id, const QString& ci, const QString& service, int last = 0)
{
    auto* chat = new _MsgChat;
    chat->ROWID = id;
    chat->chat_identifier = ci;
    chat->service_name = service;
    chat->_last = last;
    data.p()->chats.insert(id, chat);
    return chat;
}

_MsgHandle* addHandle(MsgData& data, _MsgChat* chat, qint64 id, const QString& address)
{
    auto* h = new _MsgHandle;
    h->ROWID = id;
    h->id = address;
    data.p()->handles.insert(id, h);
    chat->handles.insert(QString::number(id), h);
    return h;
}
} // namespace

class TestMessageRecycleDb : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_dir.reset(new QTemporaryDir); }

    void createsSchemaOnce();
    void existingEmptyFileIsOpenedAsIs();
    void failedSchemaLeavesNoFile();
    void missingFolderFails();
    void insertAndReadBack();
    void rowIdsOutOfRangeSkipped_data();
    void rowIdsOutOfRangeSkipped();
    void guidShape_data();
    void guidShape();
    void findAndUpdateMessage();
    void handlesRoundTrip();

    void mergeNothing();
    void mergeWithoutChatIdentifier();
    void mergeIntoExistingChat();
    void mergeIMessageConversation();
    void mergeSharedHandleIdGetsFreeIds();
    void mergeGroupSender();

private:
    QString path() const { return m_dir->filePath("recycle.db"); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestMessageRecycleDb::createsSchemaOnce()
{
    MessageRecycleDb db(path());
    QVERIFY(!QFile::exists(path()));
    db.openCheck();
    // A temporary table lives as long as its connection: it is still there
    // when the second call kept the first connection.
    db.executeThrow("create temp table probe(x)");
    db.openCheck();
    QVERIFY(db.tbInfo("probe").contains("x"));
    QCOMPARE(SqlFixture::scalar(path(), "select count(*) from sqlite_master where type='table' and name in "
                                        "('message','chat','handle')")
                 .toInt(),
             3);
    QCOMPARE(SqlFixture::scalar(path(), "select count(*) from sqlite_master where type='index' and name like '%idx%'")
                 .toInt(),
             7);
}

void TestMessageRecycleDb::existingEmptyFileIsOpenedAsIs()
{
    QFile f(path());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    MessageRecycleDb db(path());
    QVERIFY_THROWS_EXCEPTION(std::exception, db.messages());
    QVERIFY(db.isOpen());
}

void TestMessageRecycleDb::failedSchemaLeavesNoFile()
{
    // A folder where SQLite wants its journal: the schema cannot be written.
    QVERIFY(QDir().mkpath(path() + "-journal"));
    MessageRecycleDb db(path());
    try {
        db.openCheck();
        QFAIL("no error");
    } catch (const std::runtime_error& e) {
        QVERIFY2(QByteArray(e.what()).startsWith("create MessageRecycleDb error. "), e.what());
    }
    QVERIFY(!db.isOpen());
    QVERIFY(!QFile::exists(path()));
}

void TestMessageRecycleDb::missingFolderFails()
{
    MessageRecycleDb db(m_dir->filePath("missing/recycle.db"));
    QVERIFY_THROWS_EXCEPTION(std::exception, db.openCheck());
}

void TestMessageRecycleDb::insertAndReadBack()
{
    MessageRecycleDb db(path());
    _MsgMessage m = message("0C0E4C2B-5A2F-4F37-9D4E-7D1B3A9C2E11", -5, "hello");
    m.handle_id = 7;
    m.is_from_me = 1;
    m.replace = 3;
    m.attributedBody = "body";
    m.cache_has_attachments = 0;
    m.account = "acc";
    m.is_audio_message = 1; // not stored
    _MsgAttachment a;
    m.attas.insert("1", &a);
    db.beginEdit();
    QCOMPARE(db.insertMessage(&m, "chat1", "+1555", 42), qint64(1));
    QCOMPARE(db.insertMessage(ptr(message("x", 1, "second")), "", "", 0), qint64(2));
    db.endEdit(true);
    QVERIFY(SqlFixture::scalar(path(), "select subject from message where rowid=1").isNull());
    QVERIFY(SqlFixture::scalar(path(), "select src_rowid from message where rowid=2").isNull());
    QCOMPARE(SqlFixture::scalar(path(), "select account_guid from message where rowid=1").toString(), QString());
    QVERIFY(!SqlFixture::scalar(path(), "select account_guid from message where rowid=1").isNull());
    QCOMPARE(SqlFixture::scalar(path(), "select cache_has_attachments from message where rowid=1").toInt(), 1);
    QCOMPARE(SqlFixture::scalar(path(), "select src_rowid from message where rowid=1").toLongLong(), 42LL);
    SqlFixture::build(path(), "insert into message(guid, is_skip) values('skipped', 1);");

    const QList<RecycleMsg> list = db.messages();
    QCOMPARE(list.size(), 2);
    const RecycleMsg& r = list.first().msg.text == "hello" ? list.first() : list.last();
    QCOMPARE(r.msg.ROWID, -2047483649LL);
    QCOMPARE(r.msg.guid, m.guid);
    QCOMPARE(r.msg.date, -5);
    QCOMPARE(r.msg.is_from_me, 1);
    QCOMPARE(r.msg.replace, 3);
    QCOMPARE(r.msg.handle_id, 7LL);
    QCOMPARE(r.msg.attributedBody, QByteArray("body"));
    QCOMPARE(r.msg.account, QStringLiteral("acc"));
    QCOMPARE(r.msg.cache_has_attachments, 1);
    QCOMPARE(r.msg.is_audio_message, 0);
    QCOMPARE(r.msg.srcRowId, 0LL);
    QVERIFY(r.msg.recovered);
    QVERIFY(r.msg.attas.isEmpty() && !r.msg.chat && !r.msg.handle);
    QCOMPARE(r.chatIdentifier, QStringLiteral("chat1"));
    QCOMPARE(r.handleId, QStringLiteral("+1555"));

    // A guid stored twice is the engine's error.
    QVERIFY_THROWS_EXCEPTION(std::exception, db.insertMessage(&m, "", "", 0));
}

// Row ids of a damaged file that would leave the recovered range: 0 and
// below, and above 2^62, where the synthetic id would overflow.
void TestMessageRecycleDb::rowIdsOutOfRangeSkipped_data()
{
    QTest::addColumn<qint64>("rowid");
    QTest::addColumn<bool>("read");
    QTest::newRow("1") << qint64(1) << true;
    QTest::newRow("2^62") << (qint64(1) << 62) << true;
    QTest::newRow("2^62 + 1") << (qint64(1) << 62) + 1 << false;
    QTest::newRow("largest") << std::numeric_limits<qint64>::max() << false;
    QTest::newRow("0") << qint64(0) << false;
    QTest::newRow("-1") << qint64(-1) << false;
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << false;
}

void TestMessageRecycleDb::rowIdsOutOfRangeSkipped()
{
    QFETCH(qint64, rowid);
    QFETCH(bool, read);
    MessageRecycleDb db(path());
    db.openCheck();
    db.close();
    SqlFixture::build(path(), QStringLiteral("insert into message(rowid, guid, text, is_skip) values(%1, 'odd', 'x', 0);"
                                             "insert into message(rowid, guid, text, is_skip) values(7, 'fine', 'y', 0);")
                                  .arg(rowid));
    const QList<RecycleMsg> list = db.messages();
    QCOMPARE(list.size(), read ? 2 : 1);
    for (const RecycleMsg& r : list) {
        QVERIFY(r.msg.ROWID < -2047483648LL);
        QCOMPARE(r.msg.ROWID, r.msg.guid == "fine" ? -2047483655LL : -2047483648LL - rowid);
    }
}

void TestMessageRecycleDb::guidShape_data()
{
    QTest::addColumn<QString>("guid");
    QTest::addColumn<bool>("kept");
    QTest::newRow("upper") << "0C0E4C2B-5A2F-4F37-9D4E-7D1B3A9C2E11" << true;
    QTest::newRow("lower") << "0c0e4c2b-5a2f-4f37-9d4e-7d1b3a9c2e11" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("braces") << "{0C0E4C2B-5A2F-4F37-9D4E-7D1B3A9C2E11}" << false;
    QTest::newRow("short group") << "0C0E4C2B-5A2F-4F37-9D4E-7D1B3A9C2E1" << false;
    QTest::newRow("trailing newline") << "0C0E4C2B-5A2F-4F37-9D4E-7D1B3A9C2E11\n" << false;
}

void TestMessageRecycleDb::guidShape()
{
    QFETCH(QString, guid);
    QFETCH(bool, kept);
    MessageRecycleDb db(path());
    const qint64 id = db.insertMessage(ptr(message(guid, 0, "")), "", "", 0);
    const QString stored = SqlFixture::scalar(path(), QStringLiteral("select guid from message where rowid=%1").arg(id)).toString();
    if (kept)
        QCOMPARE(stored, guid);
    else
        QVERIFY(stored != guid && isGuidShaped(stored) && stored == stored.toUpper());
}

void TestMessageRecycleDb::findAndUpdateMessage()
{
    MessageRecycleDb db(path());
    const _MsgMessage stored = message("A", 100, "hi");
    db.insertMessage(&stored, "c", "h", 0); // guid replaced by a fresh UUID
    QCOMPARE(db.findMessage(ptr(message("B", 100, "hi"))), qint64(1));
    QCOMPARE(db.findMessage(ptr(message("B", 101, "hi"))), qint64(0));
    // The same text at the same second to another correspondent is another message.
    _MsgMessage toOther = message("B", 100, "hi");
    toOther.handle_id = stored.handle_id + 1;
    QCOMPARE(db.findMessage(&toOther), qint64(0));
    QCOMPARE(db.findMessage(ptr(message("B", 100, "hi")), "h"), qint64(1));
    QCOMPARE(db.findMessage(ptr(message("B", 100, "hi")), "someone else"), qint64(0));
    const QString uuid = SqlFixture::scalar(path(), "select guid from message").toString();
    QCOMPARE(db.findMessage(ptr(message(uuid, 5, "other"))), qint64(1));

    db.updateMessageChat(ptr(message("B", 100, "hi")), "c2", "h2");
    QCOMPARE(SqlFixture::scalar(path(), "select chat_identifier||handle from message").toString(), QStringLiteral("c2h2"));
    db.updateMessageChat(ptr(message("B", 7, "none")), "c3", "h3");
    QCOMPARE(SqlFixture::scalar(path(), "select chat_identifier||handle from message").toString(), QStringLiteral("c2h2"));
}

void TestMessageRecycleDb::handlesRoundTrip()
{
    MessageRecycleDb db(path());
    _MsgHandle h;
    h.id = "+1555";
    h.country = "us";
    h.uncanonicalized_id = "555";
    QCOMPARE(db.findHandle(&h), qint64(0));
    QCOMPARE(db.insertHandle(&h, 12), qint64(1));
    QCOMPARE(db.findHandle(&h), qint64(1));
    _MsgHandle im = h;
    im.service = "iMessage";
    QCOMPARE(db.findHandle(&im), qint64(0));
    QCOMPARE(db.insertHandle(&im, 0), qint64(2));
    QVERIFY_THROWS_EXCEPTION(std::exception, db.insertHandle(&h, 3)); // (id, service) once
    QVERIFY(SqlFixture::scalar(path(), "select src_rowid from handle where rowid=2").isNull());

    const QList<_MsgHandle> all = db.handles();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all.first().ROWID + all.last().ROWID, qint64(3));
    QVERIFY(all.first().country.isEmpty()); // not read back

    const _MsgHandle bySrc = db.handleBySrcRowId(12);
    QCOMPARE(bySrc.ROWID, qint64(12));
    QCOMPARE(bySrc.id, QStringLiteral("+1555"));
    QCOMPARE(bySrc.uncanonicalized_id, QStringLiteral("555"));
    const _MsgHandle none = db.handleBySrcRowId(99);
    QCOMPARE(none.ROWID, qint64(0));
    QVERIFY(none.id.isEmpty());
    QCOMPARE(none.service, QStringLiteral("SMS"));
}

void TestMessageRecycleDb::mergeNothing()
{
    MessageRecycleDb db(path());
    MsgData data;
    db.mergeMessages(data, {});
    QVERIFY(data.p()->chats.isEmpty() && data.p()->messages.isEmpty());
    const QList<RecycleMsg> list = {recovered(1, "x", "SMS", 1)};
    db.mergeMessages(data, list);
    db.mergeMessages(data, list);
    QCOMPARE(data.p()->messages.size(), 1);
    QCOMPARE(data.p()->chats.size(), 1);
    QVERIFY(!QFile::exists(path())); // opens nothing
}

void TestMessageRecycleDb::mergeWithoutChatIdentifier()
{
    MessageRecycleDb db(path());
    MsgData data;
    db.mergeMessages(data, {recovered(5, "", "iMessage", 0, 50)});
    _MsgMessage* m = data.p()->messages.value(-2047483653LL);
    QVERIFY(m);
    QCOMPARE(m->srcRowId, 2047483653LL);
    QVERIFY(m->recovered);
    _MsgChat* chat = data.p()->chats.value(-2047483647LL);
    QVERIFY(chat);
    QCOMPARE(m->chat, chat);
    QCOMPARE(chat->chat_identifier, QStringLiteral("unknown0"));
    QCOMPARE(chat->guid, QStringLiteral("SMS;-;unknown0"));
    QCOMPARE(chat->service_name, QStringLiteral("SMS"));
    QCOMPARE(chat->account_login, QStringLiteral("E:"));
    QCOMPARE(chat->_last, 50);
    QCOMPARE(chat->handles.size(), 1);
    _MsgHandle* h = chat->handles.value("unknown0");
    QCOMPARE(h, data.p()->handles.value(-2047483647LL));
    QCOMPARE(h->id, QStringLiteral("unknown0"));
    QCOMPARE(m->handle, h);
    QCOMPARE(chat->messages.value("g5"), m);
}

void TestMessageRecycleDb::mergeIntoExistingChat()
{
    MessageRecycleDb db(path());
    MsgData data;
    _MsgChat* chat = addChat(data, 1, "+1555", "SMS", 100);
    _MsgHandle* h = addHandle(data, chat, 4, "+1555");
    db.mergeMessages(data, {recovered(1, "+1555", "SMS", 4, 90)});
    QCOMPARE(data.p()->chats.size(), 1);
    QCOMPARE(chat->_last, 100);
    db.mergeMessages(data, {recovered(2, "+1555", "sms", 4, 150)});
    QCOMPARE(chat->_last, 150);
    QCOMPARE(data.p()->messages.value(-2047483650LL)->handle, h);
    QCOMPARE(chat->messages.size(), 2);
}

void TestMessageRecycleDb::mergeIMessageConversation()
{
    MessageRecycleDb db(path());
    MsgData data;
    _MsgChat* existing = addChat(data, 1, "a@x.org", "IMESSAGE");
    RecycleMsg joins = recovered(1, "a@x.org", "imessage", 3);
    RecycleMsg first = recovered(2, "b@x.org", "iMessage", 8, 10);
    first.msg.account_guid = "not a guid";
    first.msg.account = "e:me@x.org";
    RecycleMsg second = recovered(3, "b@x.org", "iMessage", 9, 20);
    db.mergeMessages(data, {joins, first, second});
    QCOMPARE(data.p()->messages.value(-2047483649LL)->chat, existing);

    _MsgChat* made = data.p()->chats.value(-1947483647LL - 8);
    QVERIFY(made);
    QCOMPARE(made->guid, QStringLiteral("iMessage;-;b@x.org"));
    QCOMPARE(made->service_name, QStringLiteral("iMessage"));
    QCOMPARE(made->account_id, hashUUID("b@x.org"));
    QCOMPARE(made->account_login, QStringLiteral("e:me@x.org"));
    QCOMPARE(made->style, 45);
    QCOMPARE(made->state, 3);
    QCOMPARE(made->_last, 20);
    QCOMPARE(made->messages.size(), 2);
    QCOMPARE(made->handles.value("b@x.org")->service, QStringLiteral("iMessage"));
    QCOMPARE(data.p()->messages.value(-2047483651LL)->chat, made);

    RecycleMsg withGuid = recovered(4, "c@x.org", "iMessage", 20);
    withGuid.msg.account_guid = "0C0E4C2B-5A2F-4F37-9D4E-7D1B3A9C2E11";
    db.mergeMessages(data, {withGuid});
    QCOMPARE(data.p()->chats.value(-1947483667LL)->account_id, withGuid.msg.account_guid);
}

void TestMessageRecycleDb::mergeSharedHandleIdGetsFreeIds()
{
    MessageRecycleDb db(path());
    MsgData data;
    // Three conversations whose computed ids would all be -1947483650.
    db.mergeMessages(data, {recovered(1, "x", "SMS", 3), recovered(2, "y", "SMS", 3), recovered(3, "x", "iMessage", 3)});
    QCOMPARE(data.p()->chats.size(), 3);
    QCOMPARE(data.p()->handles.size(), 3);
    QSet<_MsgChat*> chats;
    for (_MsgMessage* m : data.messages()) {
        QVERIFY(data.p()->chats.value(m->chat->ROWID) == m->chat);
        QVERIFY(data.p()->handles.value(m->handle->ROWID) == m->handle);
        chats.insert(m->chat);
    }
    QCOMPARE(chats.size(), 3);
    QVERIFY(data.p()->chats.contains(-1947483650LL));
    QVERIFY(data.p()->chats.contains(-1947483651LL));
    QVERIFY(data.p()->chats.contains(-1947483652LL));
}

void TestMessageRecycleDb::mergeGroupSender()
{
    MessageRecycleDb db(path());
    MsgData data;
    _MsgChat* group = addChat(data, 1, "chat123", "SMS");
    addHandle(data, group, 4, "+1555");
    _MsgHandle* bob = addHandle(data, group, 5, "+1666");
    RecycleMsg fromBob = recovered(1, "chat123", "SMS", 5);
    fromBob.handleId = "+1666";
    RecycleMsg unknown = recovered(2, "chat123", "SMS", 6);
    unknown.handleId = "+1777";
    db.mergeMessages(data, {fromBob, unknown});
    QCOMPARE(data.p()->messages.value(-2047483649LL)->handle, bob);
    QVERIFY(!data.p()->messages.value(-2047483650LL)->handle);
}

QTEST_GUILESS_MAIN(TestMessageRecycleDb)
#include "tst_messagerecycledb.moc"
