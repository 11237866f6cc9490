// The device record: version numbers, the cache folder and its id check, and
// the backup-settings test through a simulated device.
#include "iosdevice.h"
#include "iosversion.h"
#include "mobiledevice_session.h"

#include "data_path_util.h"
#include "devicewarningbox.h"
#include "modalwatcher.h"
#include "pathguard.h"
#include "simdevicescenario.h"
#include "temphome.h"

#include <QTest>

#include <sys/stat.h>

class TestIOSDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionList_data();
    void versionList();
    void compare_data();
    void compare();
    void cacheDir();
    void udidError_data();
    void udidError();
    void backupSettings_data();
    void backupSettings();
};

void TestIOSDevice::initTestCase()
{
    // Warnings reach the user as warning boxes, as in the application.
    g_installDeviceWarningBoxes();
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
}

void TestIOSDevice::versionList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QString>("printed");
    QTest::newRow("7.1.2") << "7.1.2" << QList<int>{7, 1, 2} << "7.1.2";
    QTest::newRow("empty") << "" << QList<int>{} << "";
    QTest::newRow("9") << "9" << QList<int>{9} << "9";
    QTest::newRow("beta") << "10.0b3" << QList<int>{10, 0, 3} << "10.0.3";
    QTest::newRow("leading zeros") << "007.01" << QList<int>{7, 1} << "7.1";
    QTest::newRow("no digits") << "beta" << QList<int>{} << "";
    QTest::newRow("run too long for an int") << "99999999999.1" << QList<int>{0, 1} << "0.1";
}

void TestIOSDevice::versionList()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, numbers);
    QFETCH(QString, printed);
    IOSDevice d;
    d.productVersion = text;
    QCOMPARE(d.versionList(), numbers);
    QCOMPARE(_IOSVersion(text).numbers, numbers);
    QCOMPARE(_IOSVersion(text).toString(), printed);
}

void TestIOSDevice::compare_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("result");
    QTest::newRow("extension is higher") << "7.1" << "7.1.0" << -1;
    QTest::newRow("numeric, not textual") << "7.10" << "7.9" << 1;
    QTest::newRow("equal") << "8.0" << "8.0" << 0;
    QTest::newRow("major first") << "6" << "7.0" << -1;
}

void TestIOSDevice::compare()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, result);
    QCOMPARE(_IOSVersion(a).compare(_IOSVersion(b)), result);
}

void TestIOSDevice::cacheDir()
{
    ::umask(022);
    TempHome home;
    g_resetDataSaveDirForTests();
    IOSDevice d;
    d.udid = "abc-123";
    const QDir dir = d.cacheDir();
    QVERIFY(dir.exists());
    QCOMPARE(dir.absolutePath(), g_dataSaveDir().absoluteFilePath("ios_cache/abc-123"));
    QVERIFY(QDir().rmdir(dir.absolutePath()));
    QVERIFY(d.cacheDir().exists()); // made again after the cache was cleared

    IOSDevice copy;
    copy = d;
    copy.udid = "other";
    QCOMPARE(d.udid, QString("abc-123"));

    // An id that would leave the cache folder is refused and nothing is
    // made, with a device handle or without one.
    for (const bool withHandle : {true, false}) {
        IOSDevice other;
        if (withHandle)
            other.device = reinterpret_cast<am_device*>(&other);
        for (const char* id : {"../../escape", "a/b", ""}) {
            other.udid = id;
            other.cacheDir();
        }
    }
    QCOMPARE(QDir(g_dataSaveDir().absoluteFilePath("ios_cache")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"abc-123"});
    QVERIFY(!QDir(g_dataSaveDir().absoluteFilePath("escape")).exists());
    QCOMPARE(modeOf(g_dataSaveDir().absoluteFilePath("ios_cache/abc-123")), 0700);
    g_resetDataSaveDirForTests();
}

// The device follows the one device-id rule whatever its handle (the rule's
// own table is in the foundation tests).
void TestIOSDevice::udidError_data()
{
    QTest::addColumn<QString>("udid");
    QTest::addColumn<bool>("attached");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("hex id") << "0123456789abcdef0123456789abcdef01234567" << true << true;
    QTest::newRow("saved device") << "0123456789abcdef0123456789abcdef01234567" << false << true;
    QTest::newRow("empty") << "" << true << false;
    QTest::newRow("empty saved device") << "" << false << false;
    QTest::newRow("path parts") << "../x" << true << false;
    QTest::newRow("saved device folder path") << "/home/u/virtual_ios/Ann" << false << false;
}

void TestIOSDevice::udidError()
{
    QFETCH(QString, udid);
    QFETCH(bool, attached);
    QFETCH(bool, accepted);
    IOSDevice d;
    d.udid = udid;
    if (attached)
        d.device = reinterpret_cast<am_device*>(&d);
    QCOMPARE(d.udidError().isEmpty(), accepted);
    QCOMPARE(d.udidError(), g_deviceIdError(udid));
}

void TestIOSDevice::backupSettings_data()
{
    QTest::addColumn<int>("icloud"); // -1 missing, 0 false, 1 true, 2 the number 1
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<bool>("checkICloud");
    QTest::addColumn<bool>("checkEncrypt");
    QTest::addColumn<bool>("sessionFails");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("shown"); // the picture of the warning, or ""
    QTest::newRow("iCloud on") << 1 << false << true << false << false << false << ":res/close_icloudbk.jpg";
    QTest::newRow("iCloud off, encryption not checked") << 0 << true << true << false << false << true << "";
    QTest::newRow("both on, one warning") << 1 << true << true << true << false << false << ":res/close_icloudbk.jpg";
    QTest::newRow("encryption on") << -1 << true << true << true << false << false << ":res/close_itunesbkenc.jpg";
    QTest::newRow("no checks") << 1 << true << false << false << false << true << "";
    QTest::newRow("number 1 counts as off") << 2 << false << true << false << false << true << "";
    QTest::newRow("no session") << 1 << true << true << true << true << true << "";
}

void TestIOSDevice::backupSettings()
{
    QFETCH(int, icloud);
    QFETCH(bool, encrypt);
    QFETCH(bool, checkICloud);
    QFETCH(bool, checkEncrypt);
    QFETCH(bool, sessionFails);
    QFETCH(bool, result);
    QFETCH(QString, shown);
    SimDeviceScenario sc;
    const char* domain = "com.apple.mobile.backup";
    if (icloud >= 0)
        sc.value("bk", domain, "CloudBackupEnabled", icloud == 2 ? plist_new_uint(1) : plist_new_bool(icloud));
    sc.value("bk", domain, "WillEncrypt", plist_new_bool(encrypt));
    if (sessionFails)
        sc.result("bk", "AMDeviceStartSession", -1);
    QVERIFY(sc.load());
    IOSDevice d;
    d.device = static_cast<am_device*>(SimDeviceScenario::deviceRecord("bk"));
    ModalWatcher watcher;
    QCOMPARE(d.checkiTunesBackupSettings(checkICloud, checkEncrypt), result);
    QCOMPARE(watcher.shown().size(), shown.isEmpty() ? 0 : 1);
    if (!shown.isEmpty()) {
        QVERIFY(watcher.shown()[0].text.startsWith("Failed to transfer data to device."));
        QVERIFY(watcher.shown()[0].text.endsWith("<br/><br/><img src=\"" + shown + "\"/>"));
        QVERIFY(QFile::exists(shown));
    }
    QCOMPARE(SimDeviceScenario::callCount("AMDeviceStartSession"), 1);
}

QTEST_MAIN(TestIOSDevice)
#include "tst_iosdevice.moc"
