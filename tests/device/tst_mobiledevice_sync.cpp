// The mobilesync client against a scripted device: a whole session (start
// with ping, pull in batches, send, clear, finish), the replies it refuses,
// and the tethered-sync value.
#include "mobiledevice_session.h"
#include "mobiledevice_sync.h"

#include "servicescript.h"

#include <QTest>

#include <stdexcept>

using namespace servicescript;

class TestMobileDeviceSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void session();
    void refusedReplies_data();
    void refusedReplies();
    void tethered();
    void nullChangesGoAsEmptyParameter();
};

namespace {

const char* const kClass = "com.apple.Contacts";

CFType record(const char* id)
{
    CFType d = CFType::createCFDictionary();
    d.put("id", CFType::createCFString(id));
    return d;
}

// [command, class, more...]
CFType classMessage(const char* command, std::initializer_list<CFType> more = {})
{
    CFType m = strings({command, kClass});
    for (const CFType& v : more)
        m.append(v);
    return m;
}

QByteArray announcement()
{
    return xml(strings({"SDMessageSyncDataClassWithDevice", kClass, "devA", "compA"})
                   .append(CFType::createCFNumberInt32(106)));
}

} // namespace

void TestMobileDeviceSync::initTestCase()
{
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
}

void TestMobileDeviceSync::session()
{
    const CFType changes = record("new");
    const CFType actions = strings({"keep"});
    const CFType mapping = record("mapped");
    PeerScript script;
    greeting(script)
        .expect(announcement(), 0)
        .send(xml(strings({"SDMessageSyncDataClassWithComputer"})))
        .expect(xml(strings({"DLMessagePing", "Preparing to get changes for device"})), 0)
        .expect(xml(classMessage("SDMessageGetAllRecordsFromDevice")), 0)
        .send(xml(classMessage("SDMessageProcessChanges", {record("r1")})))
        .expect(xml(classMessage("SDMessageAcknowledgeChangesFromDevice")))
        .send(xml(classMessage("SDMessageProcessChanges", {strings({"not a batch"})})))
        .expect(xml(classMessage("SDMessageAcknowledgeChangesFromDevice")))
        .send(xml(classMessage("SDMessageProcessChanges", {record("r2")})))
        .expect(xml(classMessage("SDMessageAcknowledgeChangesFromDevice")))
        .send(xml(strings({"SDMessageDeviceReadyToReceiveChanges"})))
        .expect(xml(classMessage("SDMessageProcessChanges", {changes, CFType::createCFBoolean(false), actions})), 0)
        .send(xml(classMessage("SDMessageRemapRecordIdentifiers", {mapping})))
        .expect(xml(classMessage("SDMessageClearAllRecordsOnDevice", {CFType::createCFString("___EmptyParameterString___")})))
        .send(xml(strings({"SDMessageDeviceWillClearAllRecords"})))
        .expect(xml(classMessage("SDMessageFinishSessionOnDevice")))
        .send(xml(strings({"AnyReplyAtAll"})));
    QVERIFY(loadScript("com.apple.mobilesync", script));
    const _mobiledevice_sync_ctx ctx(kClass, "devA", "compA");
    unsigned int socket = 0;
    mobiledevice_sync_start(phone(), ctx, socket, true);
    const QList<CFType> batches = mobiledevice_sync_records(socket, ctx);
    QCOMPARE(batches.size(), 2);
    QCOMPARE(batches[0].get("id").CFStringQString(), QString("r1"));
    QCOMPARE(batches[1].get("id").CFStringQString(), QString("r2"));
    QCOMPARE(xml(mobiledevice_sync_send(socket, changes, ctx, actions)), xml(mapping));
    mobiledevice_sync_clear(socket, ctx);
    mobiledevice_sync_send_finish(socket, ctx);
    QCOMPARE(scriptVerdict(socket), QString("ScriptComplete"));
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceSync::refusedReplies_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray lower = xml(strings({"sdmessagesyncdataclasswithcomputer"}));
    const QByteArray dictionary = xml(record("x"));
    const QByteArray empty = xml(CFType::createCFArray());
    QTest::newRow("start, other letter case") << "start" << lower;
    QTest::newRow("start, dictionary") << "start" << dictionary;
    QTest::newRow("pull, empty array") << "pull" << empty;
    QTest::newRow("send, dictionary") << "send" << dictionary;
    QTest::newRow("clear, other command") << "clear" << xml(strings({"SDMessageDeviceReadyToReceiveChanges"}));
}

void TestMobileDeviceSync::refusedReplies()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, reply);
    const bool atStart = step == "start";
    PeerScript script;
    greeting(script).expectAny().send(atStart ? reply : xml(strings({"SDMessageSyncDataClassWithComputer"})));
    if (!atStart)
        script.expectAny().send(reply);
    QVERIFY(loadScript("com.apple.mobilesync", script));
    const _mobiledevice_sync_ctx ctx(kClass, "", "");
    unsigned int socket = 0;
    const char* sent = atStart ? "SDMessageSyncDataClassWithDevice"
                       : step == "pull" ? "SDMessageGetAllRecordsFromDevice"
                       : step == "send" ? "SDMessageProcessChanges"
                                        : "SDMessageClearAllRecordsOnDevice";
    try {
        mobiledevice_sync_start(phone(), ctx, socket, false);
        if (step == "pull")
            mobiledevice_sync_records(socket, ctx);
        else if (step == "send")
            mobiledevice_sync_send(socket, record("c"), ctx, CFType());
        else if (step == "clear")
            mobiledevice_sync_clear(socket, ctx);
        QFAIL("no exception");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()),
                 QString("invalid feedback after send %1.\n%2").arg(sent, QString::fromUtf8(reply)));
    }
    QVERIFY(socket != 0); // the caller's to close
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceSync::tethered()
{
    SimDeviceScenario sc;
    sc.device(phoneId());
    QVERIFY(sc.load());
    QCOMPARE(mobiledevice_sync_set_tethered(phone(), kClass, false), 0);
    const CFType stored = mobiledevice_info(phone(), {kClass}, "com.apple.mobile.tethered_sync").value(0);
    QVERIFY(stored.isCFDictionary());
    QVERIFY(stored.get("DisableTethered").isCFBoolean());
    QCOMPARE(stored.get("DisableTethered").CFNumberBool(true), false);
}

// A null changes value (and null actions) goes on the wire as the
// empty-parameter string, never as a missing array item.
void TestMobileDeviceSync::nullChangesGoAsEmptyParameter()
{
    const CFType empty = CFType::createCFString("___EmptyParameterString___");
    const CFType mapping = record("mapped");
    PeerScript script;
    greeting(script)
        .expectAny()
        .send(xml(strings({"SDMessageSyncDataClassWithComputer"})))
        .expect(xml(classMessage("SDMessageProcessChanges", {empty, CFType::createCFBoolean(false), empty})))
        .send(xml(classMessage("SDMessageRemapRecordIdentifiers", {mapping})));
    QVERIFY(loadScript("com.apple.mobilesync", script));
    const _mobiledevice_sync_ctx ctx(kClass, "", "");
    unsigned int socket = 0;
    mobiledevice_sync_start(phone(), ctx, socket, false);
    QCOMPARE(xml(mobiledevice_sync_send(socket, CFType(), ctx, CFType())), xml(mapping));
    QCOMPARE(scriptVerdict(socket), QString("ScriptComplete"));
    mobiledevice_closeservice(socket);
}

QTEST_GUILESS_MAIN(TestMobileDeviceSync)
#include "tst_mobiledevice_sync.moc"
