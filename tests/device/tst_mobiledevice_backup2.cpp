// The mobilebackup2 client against a scripted device: the start with its
// DeviceLink greeting, the Hello and its answers, requests and status
// responses.
#include "mobiledevice_backup2.h"
#include "mobiledevice_session.h"

#include "servicescript.h"

#include <QTest>

#include <stdexcept>

using namespace servicescript;

class TestMobileDeviceBackup2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hello_data();
    void hello();
    void requests();
    void cloudBackupRefused();

private:
    static unsigned int start(const PeerScript& script);
};

namespace {

CFType dict(std::initializer_list<std::pair<const char*, CFType>> items)
{
    CFType d = CFType::createCFDictionary();
    for (const auto& item : items)
        d.put(QString::fromLatin1(item.first), item.second);
    return d;
}

CFType text(const char* s)
{
    return CFType::createCFString(s);
}

QByteArray process(const CFType& payload)
{
    return xml(strings({"DLMessageProcessMessage"}).append(payload));
}

QByteArray response(int errorCode, const CFType& extraKey = CFType(), const char* name = "Response")
{
    CFType d = dict({{"MessageName", text(name)}, {"ErrorCode", CFType::createCFNumberInt32(errorCode)}});
    if (extraKey.ref())
        d.put("ProtocolVersion", extraKey);
    return process(d);
}

} // namespace

void TestMobileDeviceBackup2::initTestCase()
{
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
}

unsigned int TestMobileDeviceBackup2::start(const PeerScript& script)
{
    if (!loadScript("com.apple.mobilebackup2", script))
        return 0;
    unsigned int socket = 0;
    mobiledevice_backup2_start(phone(), socket);
    return socket;
}

void TestMobileDeviceBackup2::hello_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("chosen version") << response(0, CFType::createCFNumberDouble(2.1)) << "2.1";
    QTest::newRow("a version not offered") << response(0, CFType::createCFNumberDouble(9.5)) << "9.5";
    QTest::newRow("no version") << response(0) << "0";
    QTest::newRow("no common version")
        << response(1) << "mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_NO_COMMON_VERSION";
    QTest::newRow("other error") << response(5) << "mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_REPLY_NOT_OK";
    QTest::newRow("negative error") << response(-1)
                                    << "mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_REPLY_NOT_OK";
    const QByteArray lower = response(0, CFType(), "response");
    QTest::newRow("name in other letter case")
        << lower << "Did not receive a message(\"Message Name\" is \"Response\").\n" + QString::fromUtf8(lower);
}

void TestMobileDeviceBackup2::hello()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, outcome);
    CFType offered = CFType::createCFArray();
    offered.append(CFType::createCFNumberDouble(2.0)).append(CFType::createCFNumberDouble(2.1));
    PeerScript script;
    greeting(script).expect(process(dict({{"MessageName", text("Hello")}, {"SupportedProtocolVersions", offered}})), 1)
        .send(answer, true);
    const unsigned int socket = start(script);
    QVERIFY(socket != 0);
    double versions[] = {2.0, 2.1};
    try {
        QCOMPARE(QString::number(mobiledevice_backup2_version_exchange(socket, versions, 2)), outcome);
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), outcome);
    }
    QCOMPARE(scriptVerdict(socket), QString("ScriptComplete"));
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceBackup2::requests()
{
    const CFType full = dict({{"ForceFullBackup", CFType::createCFBoolean(true)}});
    const CFType cloudOff = dict({{"CloudBackupState", CFType::createCFBoolean(false)}});
    const CFType password = dict({{"Password", text("pw")}});
    PeerScript script;
    greeting(script).expect(process(dict({{"MessageName", text("Backup")}, {"TargetIdentifier", text("u1")},
                                 {"SourceIdentifier", text("u1")}, {"Options", full}})), 1)
        .expect(process(dict({{"MessageName", text("Backup")}, {"TargetIdentifier", text("u1")},
                              {"SourceIdentifier", text("u1")}})))
        .expect(process(dict({{"MessageName", text("EnableCloudBackup")}, {"TargetIdentifier", text("u1")},
                              {"SourceIdentifier", text("u1")}, {"Options", cloudOff},
                              {"CloudBackupState", CFType::createCFBoolean(false)}})))
        .send(response(0), true)
        .expect(process(dict({{"MessageName", text("Unback")}, {"TargetIdentifier", text("")},
                              {"Options", password}, {"Password", text("pw")}})))
        .expect(process(dict({{"MessageName", text("Other")}, {"TargetIdentifier", text("t")}, {"Options", password}})))
        .expect(xml(strings({"DLMessageStatusResponse"})
                        .append(CFType::createCFNumberInt32(0))
                        .append(text("___EmptyParameterString___"))
                        .append(text("___EmptyParameterString___"))),
                1);
    const unsigned int socket = start(script);
    QVERIFY(socket != 0);
    mobiledevice_backup2_request_backup(socket, "u1", true);
    mobiledevice_backup2_request_backup(socket, "u1", false);
    mobiledevice_backup2_set_enable_icloud(socket, "u1", false);
    mobiledevice_backup2_send_request(socket, "Unback", QString(), QString(), password);
    mobiledevice_backup2_send_request(socket, "Other", "t", QString(), password);
    const CFType status = mobiledevice_backup2_send_status_response(socket, 0, QString(), CFType());
    QCOMPARE(status.array_size(), 4L);
    QCOMPARE(scriptVerdict(socket), QString("ScriptComplete"));
    // The caller's dictionary is the one sent: it now holds the name.
    CFType mine = CFType::createCFDictionary();
    mobiledevice_backup2_send_msg(socket, "Mine", mine);
    QCOMPARE(mine.get("MessageName").CFStringQString(), QString("Mine"));
    mobiledevice_closeservice(socket);
}

void TestMobileDeviceBackup2::cloudBackupRefused()
{
    PeerScript script;
    greeting(script).expectAny().send(response(7), true);
    const unsigned int socket = start(script);
    QVERIFY(socket != 0);
    try {
        mobiledevice_backup2_set_enable_icloud(socket, "u1", true);
        QFAIL("no exception");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QString("Set EnableCloudBackup error code: 7"));
    }
    mobiledevice_closeservice(socket);
}

QTEST_GUILESS_MAIN(TestMobileDeviceBackup2)
#include "tst_mobiledevice_backup2.moc"
