// Attach and detach notifications, lockdown sessions, reading and setting
// values, all through the simulated device backend.
#include "mobiledevice_session.h"

#include "simdevicescenario.h"

#include <QTest>

#include <stdexcept>

class TestMobileDeviceSession : public QObject
{
    Q_OBJECT

public slots:
    void iosDeviceConnected(void* dev) { m_calls << QStringLiteral("connected ") + udidOf(dev); }
    void iosDeviceDisconnected(void* dev) { m_calls << QStringLiteral("disconnected ") + udidOf(dev); }

private slots:
    void initTestCase();
    void notifications_data();
    void notifications();
    void openFailures_data();
    void openFailures();
    void pairedDeviceIsNotPairedAgain();
    void values_data();
    void values();
    void wholeDomainAndEmptyKeys();
    void setValue();
    void deviceUid();

private:
    static QString udidOf(void* dev);
    static am_device* record(const QString& udid);
    void loadPhone(SimDeviceScenario& sc, const QString& udid);

    _mobiledevice_listen_ctx m_ctx;
    QStringList m_calls;
    int m_row = 0; // gives each notification row its own device ids
};

QString TestMobileDeviceSession::udidOf(void* dev)
{
    return mobiledevice_device_uid(static_cast<am_device*>(dev));
}

am_device* TestMobileDeviceSession::record(const QString& udid)
{
    return static_cast<am_device*>(SimDeviceScenario::deviceRecord(udid));
}

void TestMobileDeviceSession::initTestCase()
{
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
    m_ctx = _mobiledevice_listen_ctx(this, &TestMobileDeviceSession::iosDeviceConnected,
                                     &TestMobileDeviceSession::iosDeviceDisconnected);
    QVERIFY(mobiledevice_listen(&m_ctx));
}

void TestMobileDeviceSession::loadPhone(SimDeviceScenario& sc, const QString& udid)
{
    sc.text(udid, "", "DeviceName", "Ann's iPhone")
        .text(udid, "", "ProductVersion", "7.1.2")
        .text(udid, "", "ProductType", "iPhone5,1")
        .text(udid, "com.apple.international", "Locale", "en_GB");
    QVERIFY(sc.load());
}

void TestMobileDeviceSession::notifications_data()
{
    // Each row's devices get their own ids, since the listener's set of seen
    // devices lasts for the whole run. "+A" attach, "-A" detach, "?A" any
    // other code, "!" marks a device whose record is to be ignored.
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("repeated attach is dropped, attach after detach is not")
        << QStringList{"+a", "+a", "-a", "+a"}
        << QStringList{"connected a", "disconnected a", "connected a"};
    QTest::newRow("two devices") << QStringList{"+a", "+b", "+a", "-b", "-a"}
                                 << QStringList{"connected a", "connected b", "disconnected b", "disconnected a"};
    QTest::newRow("detach of a device never attached is forwarded") << QStringList{"-a"}
                                                                    << QStringList{"disconnected a"};
    QTest::newRow("ignored record") << QStringList{"+!a", "-!a"} << QStringList{};
    QTest::newRow("other message code") << QStringList{"?a", "+a"} << QStringList{"connected a"};
}

void TestMobileDeviceSession::notifications()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);
    const QString prefix = QStringLiteral("row%1-").arg(++m_row);
    SimDeviceScenario sc;
    for (const QString& step : script) {
        const QString id = prefix + step.back();
        sc.device(id);
        if (step.contains('!'))
            sc.flag(id, "Ignored", true);
        if (step[0] == '+')
            sc.event(id, "attach");
        else if (step[0] == '-')
            sc.event(id, "detach");
        else
            sc.eventCode(id, 3);
    }
    QVERIFY(sc.load());
    m_calls.clear();
    while (SimDeviceScenario::fireNextEvent()) {
    }
    QStringList want;
    for (const QString& e : expected)
        want << e.left(e.size() - 1) + prefix + e.back();
    QCOMPARE(m_calls, want);
    // Leave no device in the seen set for later rows.
    SimDeviceScenario cleanup;
    for (const QString& step : script)
        cleanup.event(prefix + step.back(), "detach");
    QVERIFY(cleanup.load());
    while (SimDeviceScenario::fireNextEvent()) {
    }
}

void TestMobileDeviceSession::openFailures_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<bool>("paired");
    QTest::addColumn<qint64>("result");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("disconnects");
    QTest::newRow("connect") << "AMDeviceConnect" << true << qint64(-1) << "AMDeviceConnect(-1)" << 0;
    QTest::newRow("pair") << "AMDevicePair" << false << qint64(7) << "AMDevicePair(7)" << 1;
    QTest::newRow("validate") << "AMDeviceValidatePairing" << true << qint64(-402653158)
                              << "AMDeviceValidatePairing(-402653158)" << 1;
    QTest::newRow("session, top bit set") << "AMDeviceStartSession" << true << qint64(0xE800001A)
                                          << "AMDeviceStartSession(-402653158)" << 1;
}

void TestMobileDeviceSession::openFailures()
{
    QFETCH(QString, function);
    QFETCH(bool, paired);
    QFETCH(qint64, result);
    QFETCH(QString, code);
    QFETCH(int, disconnects);
    SimDeviceScenario sc;
    sc.flag("fail", "Paired", paired).result("fail", function, result);
    loadPhone(sc, "fail");
    QString err;
    QCOMPARE(device_open(record("fail"), err), int(qint32(result)));
    QVERIFY2(err.endsWith("<br/><br/>Error code: " + code), qPrintable(err));
    QVERIFY(err.startsWith("Please launch iTunes first"));
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceDisconnect"), disconnects);
    try {
        mobiledevice_info(record("fail"), {"DeviceName"}, QString());
        QFAIL("no exception");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), err);
    }
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceStopSession"), 0);
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceCopyValue"), 0);
}

void TestMobileDeviceSession::pairedDeviceIsNotPairedAgain()
{
    SimDeviceScenario sc;
    loadPhone(sc, "paired");
    QString err = "untouched";
    QCOMPARE(device_open(record("paired"), err), 0);
    QCOMPARE(err, QString("untouched"));
    QCOMPARE(SimDeviceScenario::callCount("AMDevicePair"), 0);
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceDisconnect"), 0);

    SimDeviceScenario unpaired;
    unpaired.flag("new", "Paired", false);
    loadPhone(unpaired, "new");
    mobiledevice_info(record("new"), {}, QString());
    QCOMPARE(SimDeviceScenario::callCount("AMDevicePair"), 1);
    mobiledevice_info(record("new"), {}, QString());
    QCOMPARE(SimDeviceScenario::callCount("AMDevicePair"), 1);
}

void TestMobileDeviceSession::values_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("expected"); // "<null>" for a null value
    QTest::newRow("default domain in key order")
        << QString() << QStringList{"ProductVersion", "DeviceName", "ProductType"}
        << QStringList{"7.1.2", "Ann's iPhone", "iPhone5,1"};
    QTest::newRow("missing key") << QString() << QStringList{"Nope", "DeviceName"}
                                 << QStringList{"<null>", "Ann's iPhone"};
    QTest::newRow("named domain") << "com.apple.international" << QStringList{"Locale", "DeviceName"}
                                  << QStringList{"en_GB", "<null>"};
    QTest::newRow("missing domain") << "com.apple.none" << QStringList{"Locale"} << QStringList{"<null>"};
}

void TestMobileDeviceSession::values()
{
    QFETCH(QString, domain);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, expected);
    SimDeviceScenario sc;
    loadPhone(sc, "values");
    const QList<CFType> values = mobiledevice_info(record("values"), keys, domain);
    QStringList got;
    for (const CFType& v : values)
        got << (v.ref() ? v.CFStringQString() : QStringLiteral("<null>"));
    QCOMPARE(got, expected);
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceStopSession"), 1);
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceDisconnect"), 1);
}

void TestMobileDeviceSession::wholeDomainAndEmptyKeys()
{
    SimDeviceScenario sc;
    sc.value("whole", "com.apple.mobile.backup", "CloudBackupEnabled", plist_new_bool(1));
    loadPhone(sc, "whole");
    const QList<CFType> v = mobiledevice_info(record("whole"), {"DeviceName", "", "ProductType"}, QString());
    QCOMPARE(v.size(), 3);
    QVERIFY(v[1].isCFDictionary());
    QCOMPARE(v[1].get("DeviceName").CFStringQString(), QString("Ann's iPhone"));
    QCOMPARE(v[2].CFStringQString(), QString("iPhone5,1"));
    const CFType backup = mobiledevice_info(record("whole"), {""}, "com.apple.mobile.backup").value(0);
    QVERIFY(backup.get("CloudBackupEnabled").CFNumberBool(false));

    QVERIFY(mobiledevice_info(record("whole"), {}, QString()).isEmpty());
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceStartSession"), 3);
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceDisconnect"), 3);
}

void TestMobileDeviceSession::setValue()
{
    SimDeviceScenario sc;
    loadPhone(sc, "set");
    am_device* dev = record("set");
    QCOMPARE(mobiledevice_set(dev, "com.apple.mobile.tethered_sync", "Contacts", CFType::createCFNumberInt32(5)), 0);
    QCOMPARE(mobiledevice_info(dev, {"Contacts"}, "com.apple.mobile.tethered_sync").value(0).CFNumberInt(0), 5);
    // Empty texts go as empty strings: the value lands in the default domain under "".
    QCOMPARE(mobiledevice_set(dev, QString(), QString(), CFType::createCFString("x")), 0);
    QVERIFY(mobiledevice_info(dev, {""}, QString()).value(0).get(QString()).CFStringQString() == "x");

    SimDeviceScenario refusing;
    refusing.result("set", "AMDeviceSetValue", 5);
    loadPhone(refusing, "set");
    QCOMPARE(mobiledevice_set(dev, "d", "k", CFType::createCFBoolean(true)), 5);
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceDisconnect"), 1);
}

void TestMobileDeviceSession::deviceUid()
{
    SimDeviceScenario sc;
    loadPhone(sc, "0123456789abcdef0123456789abcdef01234567");
    QCOMPARE(mobiledevice_device_uid(record("0123456789abcdef0123456789abcdef01234567")),
             QString("0123456789abcdef0123456789abcdef01234567"));
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceStopSession"), 1);
}

QTEST_GUILESS_MAIN(TestMobileDeviceSession)
#include "tst_mobiledevice_session.moc"
