// The DeviceLink message layer against a scripted device: the version
// exchange, process messages both ways, the disconnect notice, and the
// malformed messages a device may send.
#include "mobiledevice_link.h"
#include "mobiledevice_session.h"

#include "servicescript.h"

#include <QTest>

#include <stdexcept>

using namespace servicescript;

class TestMobileDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionExchange_data();
    void versionExchange();
    void sendingProcessMessagesAndDisconnect();
    void receiving_data();
    void receiving();

private:
    static unsigned int start(const PeerScript& script);
};

namespace {

const char* const kService = "com.test.devicelink";

CFType processMessage(const CFType& payload)
{
    return strings({"DLMessageProcessMessage"}).append(payload);
}

CFType sample()
{
    CFType dict = CFType::createCFDictionary();
    dict.put("MessageName", CFType::createCFString("Response"));
    dict.put("Items", strings({"a", "b"}));
    return dict;
}

} // namespace

void TestMobileDeviceLink::initTestCase()
{
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
}

unsigned int TestMobileDeviceLink::start(const PeerScript& script)
{
    if (!loadScript(kService, script))
        return 0;
    unsigned int socket = 0;
    mobiledevice_startservice(phone(), kService, socket);
    return socket;
}

void TestMobileDeviceLink::versionExchange_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("answer"); // empty: no answer expected
    QTest::addColumn<QString>("error");
    CFType versions = strings({"DLMessageVersionExchange"});
    versions.append(CFType::createCFNumberInt32(300)).append(CFType::createCFNumberInt32(0));
    const QByteArray ready = xml(strings({"DLMessageDeviceReady"}));
    QTest::newRow("ready at once") << ready << QByteArray() << QString();
    QTest::newRow("versions, then ready") << xml(versions) << ready << QString();
    QTest::newRow("anything, then ready") << xml(CFType::createCFString("hello")) << ready << QString();
    const QByteArray other = xml(strings({"DLMessageNotReady"}));
    QTest::newRow("versions, then something else")
        << xml(versions) << other
        << "invalid feedback after send DLMessageVersionExchange.\n" + QString::fromUtf8(other);
}

void TestMobileDeviceLink::versionExchange()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, answer);
    QFETCH(QString, error);
    PeerScript script;
    script.send(first);
    if (!answer.isEmpty())
        script.expect(xml(strings({"DLMessageVersionExchange", "DLVersionsOk"})), 0).send(answer);
    const unsigned int socket = start(script);
    QVERIFY(socket != 0);
    try {
        mobiledevice_link_sc_version_exchange(socket);
        QVERIFY(error.isEmpty());
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), error);
    }
    QCOMPARE(scriptVerdict(socket), QString("ScriptComplete"));
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceLink::sendingProcessMessagesAndDisconnect()
{
    PeerScript script;
    script.expect(xml(processMessage(sample())), 1)
        .expect(xml(strings({"DLMessageDisconnect", "___EmptyParameterString___"})), 1)
        .expect(xml(strings({"DLMessageDisconnect", "All done"})), 1);
    const unsigned int socket = start(script);
    QVERIFY(socket != 0);
    CFType payload = sample();
    const CFType sent = mobiledevice_link_sc_send_process_message(socket, payload);
    payload.put("Later", CFType::createCFString("change"));
    QCOMPARE(sent.at(1).get("Later").ref(), nullptr); // a copy, unchanged
    QCOMPARE(xml(sent), xml(processMessage(sample())));
    mobiledevice_link_sc_disconnect(socket, QString());
    mobiledevice_link_sc_disconnect(socket, "All done");
    QCOMPARE(scriptVerdict(socket), QString("ScriptComplete"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, mobiledevice_link_sc_send_process_message(socket, CFType()));
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceLink::receiving_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("name");    // from the generic receive, empty when it fails
    QTest::addColumn<QString>("outcome"); // the process-message receive: the payload as XML, or the error
    const QString notDl = "Did not receive a DL* message as expected.";
    const QString notProcess = "Did not receive DLMessageProcessMessage as expected.";
    QTest::newRow("process message") << xml(processMessage(sample())) << "DLMessageProcessMessage"
                                     << QString::fromUtf8(xml(sample()));
    QTest::newRow("lower-case name") << xml(processMessage(sample()).array_replace(0, CFType::createCFString("dlmessageprocessmessage")))
                                     << "dlmessageprocessmessage" << notProcess;
    QTest::newRow("process message without payload")
        << xml(strings({"DLMessageProcessMessage"})) << "DLMessageProcessMessage" << notProcess;
    QTest::newRow("other DL message") << xml(strings({"DLMessagePing", "x"})) << "DLMessagePing" << notProcess;
    QTest::newRow("not DL") << xml(strings({"SDMessageX"})) << QString() << notDl;
    QTest::newRow("empty array") << xml(CFType::createCFArray()) << QString() << notDl;
    QTest::newRow("dictionary") << xml(sample()) << QString() << notDl;
    QTest::newRow("string") << xml(CFType::createCFString("DLMessageProcessMessage")) << QString() << notDl;
}

void TestMobileDeviceLink::receiving()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, name);
    QFETCH(QString, outcome);
    PeerScript script;
    script.send(received).send(received);
    const unsigned int socket = start(script);
    QVERIFY(socket != 0);
    CFType message;
    QString gotName = "unchanged";
    try {
        mobiledevice_link_sc_recv_dlmsg(socket, message, gotName, CFType());
        QCOMPARE(gotName, name);
        QCOMPARE(xml(message), received);
    } catch (const std::runtime_error& e) {
        QVERIFY(name.isEmpty());
        QCOMPARE(gotName, QString("unchanged"));
        QCOMPARE(QString::fromUtf8(e.what()), outcome);
    }
    CFType whole;
    try {
        const CFType payload = mobiledevice_link_sc_recv_dlprocessmsg_inner(socket, CFType(), &whole);
        QCOMPARE(QString::fromUtf8(xml(payload)), outcome);
        QCOMPARE(xml(whole), received);
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), outcome);
        QVERIFY(!whole.ref());
    }
    mobiledevice_closeservice(socket);
}

QTEST_GUILESS_MAIN(TestMobileDeviceLink)
#include "tst_mobiledevice_link.moc"
