// Starting services on a simulated device and framed messages in both
// directions, with the broken frames a device may send.
#include "mobiledevice_service.h"
#include "mobiledevice_session.h"

#include "simdevicescenario.h"

#include <QTest>

#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

class TestMobileDeviceService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void echoBothForms();
    void brokenFrames_data();
    void brokenFrames();
    void errorTextShowsTheRequestCut();
    void serviceRefused();
    void rawTransfers();
    void sendingToAClosedPeerFails();
    void unserialisableMessageFails();

private:
    static am_device* phone();
    static unsigned int start(const char* service);
    static QString recmsgError(unsigned int socket, const CFType& request);
};

namespace {

QByteArray frameHeader(quint32 len)
{
    return QByteArray(1, char(len >> 24)) + char(len >> 16) + char(len >> 8) + char(len);
}

const char* const kPhone = "svc";

} // namespace

am_device* TestMobileDeviceService::phone()
{
    return static_cast<am_device*>(SimDeviceScenario::deviceRecord(kPhone));
}

unsigned int TestMobileDeviceService::start(const char* service)
{
    unsigned int socket = 0;
    mobiledevice_startservice(phone(), service, socket);
    return socket;
}

QString TestMobileDeviceService::recmsgError(unsigned int socket, const CFType& request)
{
    try {
        mobiledevice_recmsg(socket, request, 2000);
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

void TestMobileDeviceService::initTestCase()
{
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
}

void TestMobileDeviceService::echoBothForms()
{
    SimDeviceScenario sc;
    sc.service(kPhone, "com.test.echo", "echo");
    QVERIFY(sc.load());
    const unsigned int socket = start("com.test.echo");
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceDisconnect"), 1);
    for (bool binary : {false, true}) {
        CFType msg = CFType::createCFDictionary();
        msg.put("Request", CFType::createCFString("Ping"));
        msg.put("Sources", CFType::createCFArray().append(CFType::createCFString("SMS")));
        mobiledevice_sendmsg(socket, msg, binary, 60000);
        const CFType answer = mobiledevice_recmsg(socket, CFType(), 60000);
        QCOMPARE(answer.get("Request").CFStringQString(), QString("Ping"));
        QCOMPARE(answer.get("Sources").at(0).CFStringQString(), QString("SMS"));
    }
    QCOMPARE(mobiledevice_closeservice(socket), 0);
}

void TestMobileDeviceService::brokenFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // empty: no error and a null message
    QTest::newRow("closed inside the length") << QByteArray("\0\0", 2)
                                              << "mobiledevice_recmsg(msg-length) error, received length: 2.";
    QTest::newRow("closed inside the body") << frameHeader(100) + QByteArray(10, 'x')
                                            << "mobiledevice_recmsg(msg) error, received length: 10.";
    QTest::newRow("top bit set") << frameHeader(0x80000001u) << "mobiledevice_recmsg(msg) error, received length: 0.";
    QTest::newRow("over the limit, nothing allocated")
        << frameHeader(0x7FFFFFF0u)
        << "mobiledevice_recmsg(msg) error, the announced length 2147483632 exceeds the limit of 67108864 bytes.";
    QTest::newRow("empty body") << frameHeader(0) << QString();
    QTest::newRow("body that is no property list") << frameHeader(5) + "hello" << QString();
}

void TestMobileDeviceService::brokenFrames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    SimDeviceScenario sc;
    sc.service(kPhone, "com.test.raw", "bytes", bytes);
    QVERIFY(sc.load());
    const unsigned int socket = start("com.test.raw");
    if (error.isEmpty())
        QVERIFY(!mobiledevice_recmsg(socket, CFType(), 2000).ref());
    else
        QCOMPARE(recmsgError(socket, CFType()), error);
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceService::errorTextShowsTheRequestCut()
{
    SimDeviceScenario sc;
    sc.service(kPhone, "com.test.raw", "bytes", QByteArray("\0", 1));
    QVERIFY(sc.load());
    const unsigned int socket = start("com.test.raw");
    CFType request = CFType::createCFDictionary();
    request.put("Padding", CFType::createCFString(QString(2000, 'p')));
    const QString text = recmsgError(socket, request);
    const QString xml = QString::fromUtf8(request.CFPropertyListToBytes(100)).left(800);
    QCOMPARE(text, "mobiledevice_recmsg(msg-length) error, received length: 1.\n" + xml);
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceService::serviceRefused()
{
    SimDeviceScenario sc;
    sc.text(kPhone, "", "DeviceName", "Ann")
        .text(kPhone, "", "ProductType", "iPhone5,1")
        .text(kPhone, "", "ProductVersion", "7.1.2")
        .result(kPhone, "AMDeviceStartService", -3);
    QVERIFY(sc.load());
    unsigned int socket = 0;
    try {
        mobiledevice_startservice(phone(), "com.apple.afc", socket);
        QFAIL("no exception");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()),
                 QString("<br/><br/>device:Ann, iPhone5,1, iOS 7.1.2 <br/><br/>Please turn off Wifi Sync on iTunes or "
                         "disconnect computer internet connections to try again.<br/>Error code: "
                         "AMDeviceStartService(com.apple.afc)=-3"));
    }
    // The service's session and the description's session are both closed.
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceDisconnect"), 2);

    SimDeviceScenario unknown; // a service the device does not offer
    QVERIFY(unknown.load());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, mobiledevice_startservice(phone(), "com.apple.none", socket));
}

void TestMobileDeviceService::rawTransfers()
{
    int sv[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    QCOMPARE(mobiledevice_send_all(unsigned(sv[0]), "x", 0, 0), 0);
    QCOMPARE(mobiledevice_send_all(unsigned(sv[0]), "abc", 3, 1000), 3);
    char buf[8] = {};
    QCOMPARE(mobiledevice_recv_all(unsigned(sv[1]), buf, 0, 0), 0);
    // A short count when the limit of a wait passes.
    QCOMPARE(mobiledevice_recv_all(unsigned(sv[1]), buf, 8, 100), 3);
    QCOMPARE(QByteArray(buf, 3), QByteArray("abc"));
    close(sv[0]);
    close(sv[1]);
}

void TestMobileDeviceService::sendingToAClosedPeerFails()
{
    int sv[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    close(sv[1]);
    // Without SIGPIPE: the process survives and the send fails.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             mobiledevice_sendmsg(unsigned(sv[0]), CFType::createCFString("x"), false, 1000));
    close(sv[0]);
}

void TestMobileDeviceService::unserialisableMessageFails()
{
    int sv[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    CFType msg = CFType::createCFDictionary();
    msg.put(CFType::createCFNumberInt32(1), CFType::createCFString("a number is no key of a property list"));
    QVERIFY(msg.CFPropertyListToBytes(100).isEmpty());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, mobiledevice_sendmsg(unsigned(sv[0]), msg, false, 1000));
    char byte;
    QCOMPARE(recv(sv[1], &byte, 1, MSG_DONTWAIT), ssize_t(-1)); // nothing was sent
    close(sv[0]);
    close(sv[1]);
}

QTEST_GUILESS_MAIN(TestMobileDeviceService)
#include "tst_mobiledevice_service.moc"
