// The notification proxy client and its relay thread against a scripted
// device: posting, the relayed messages a device may send, and a thread
// that relays, ends when the proxy dies or the device closes, and stops
// when asked.
#include "mobiledevice_notification.h"
#include "mobiledevice_session.h"

#include "servicescript.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <stdexcept>

using namespace servicescript;

class TestMobileDeviceNotification : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void post_data();
    void post();
    void relayed_data();
    void relayed();
    void threadRelaysUntilTheProxyDies();
    void threadEndsWhenTheDeviceCloses();
    void threadStopsWhenAsked();
    void threadWithoutService();
};

namespace {

const char* const kService = "com.apple.mobile.notification_proxy";

QByteArray command(const char* cmd, const char* name = nullptr)
{
    CFType d = CFType::createCFDictionary();
    d.put("Command", CFType::createCFString(cmd));
    if (name)
        d.put("Name", CFType::createCFString(name));
    return xml(d);
}

unsigned int start()
{
    unsigned int socket = 0;
    mobiledevice_notification_start(phone(), socket);
    return socket;
}

} // namespace

void TestMobileDeviceNotification::initTestCase()
{
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
}

void TestMobileDeviceNotification::post_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("proxy death") << command("ProxyDeath");
    QTest::newRow("proxy death, any case") << command("pROXYdEATH");
    QTest::newRow("unexpected answer") << command("Something");
}

void TestMobileDeviceNotification::post()
{
    QFETCH(QByteArray, answer);
    PeerScript script;
    script.expect(command("PostNotification", "com.example.done"), 0).expect(command("Shutdown"), 0).send(answer);
    QVERIFY(loadScript(kService, script));
    const unsigned int socket = start();
    mobiledevice_notification_post(socket, "com.example.done");
    QCOMPARE(scriptVerdict(socket), QString("ScriptComplete"));
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceNotification::relayed_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("relay") << command("RelayNotification", "com.a") << "com.a";
    QTest::newRow("relay, lower case") << command("relaynotification", "com.b") << "com.b";
    QTest::newRow("relay, upper case") << command("RELAYNOTIFICATION", "com.c") << "com.c";
    QTest::newRow("relay without name") << command("RelayNotification") << "";
    QTest::newRow("proxy death") << command("ProxyDeath") << "error: ERROR: NotificationProxy died!";
    QTest::newRow("other command") << command("Other") << "error: unknown NotificationProxy command 'Other' received!";
    QTest::newRow("no command") << xml(CFType::createCFDictionary())
                                << "error: unknown NotificationProxy command '' received!";
    QTest::newRow("not a dictionary") << xml(CFType::createCFString("RelayNotification"))
                                      << "error: unknown NotificationProxy command '' received!";
}

void TestMobileDeviceNotification::relayed()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, outcome);
    PeerScript script;
    script.expect(command("ObserveNotification", "com.a"), 0).send(message);
    QVERIFY(loadScript(kService, script));
    const unsigned int socket = start();
    mobiledevice_notification_observe(socket, "com.a");
    try {
        QCOMPARE(mobiledevice_notification_get_throw(socket), outcome);
    } catch (const std::runtime_error& e) {
        QCOMPARE("error: " + QString::fromUtf8(e.what()), outcome);
    }
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceNotification::threadRelaysUntilTheProxyDies()
{
    PeerScript script;
    script.expect(command("ObserveNotification", "com.a"))
        .expect(command("ObserveNotification", "com.b"))
        .send(command("RelayNotification", "com.b"))
        .send(command("Bogus"))
        .send(command("RelayNotification", "com.a"))
        .send(command("ProxyDeath"));
    QVERIFY(loadScript(kService, script));
    mobiledevice_notification_thread thread(phone());
    QSignalSpy spy(&thread, &mobiledevice_notification_thread::recNotification);
    thread.startServiceThrow({"com.a", "com.b"});
    thread.start();
    QVERIFY(thread.wait(30000)); // ends on its own after the proxy died
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy[0][0].toString(), QString("com.b"));
    QCOMPARE(spy[1][0].toString(), QString("com.a"));
}

void TestMobileDeviceNotification::threadEndsWhenTheDeviceCloses()
{
    PeerScript script;
    script.expectAny().send(command("RelayNotification", "com.a")).close();
    QVERIFY(loadScript(kService, script));
    mobiledevice_notification_thread thread(phone());
    QSignalSpy spy(&thread, &mobiledevice_notification_thread::recNotification);
    thread.startServiceThrow({"com.a"});
    thread.start();
    QVERIFY(thread.wait(30000));
    QCOMPARE(spy.size(), 1);
}

void TestMobileDeviceNotification::threadStopsWhenAsked()
{
    PeerScript script; // observes, then never relays
    script.expectAny();
    QVERIFY(loadScript(kService, script));
    auto thread = std::make_unique<mobiledevice_notification_thread>(phone());
    thread->startServiceThrow({"com.a"});
    thread->start();
    QTest::qWait(100);
    QVERIFY(thread->isRunning());
    thread->stopAndWait();
    QVERIFY(thread->isFinished());
    thread->start(); // a stopped thread ends at once
    QVERIFY(thread->wait(30000));
    thread->startServiceThrow({});
    thread->start();
    thread.reset(); // the destructor stops it and waits
}

void TestMobileDeviceNotification::threadWithoutService()
{
    mobiledevice_notification_thread thread(phone());
    QSignalSpy spy(&thread, &mobiledevice_notification_thread::recNotification);
    thread.start();
    QVERIFY(thread.wait(30000));
    QCOMPARE(spy.size(), 0);
}

QTEST_GUILESS_MAIN(TestMobileDeviceNotification)
#include "tst_mobiledevice_notification.moc"
