// The real backend, without a phone or a usbmuxd: it is the one chosen when
// no scenario is named, it subscribes, and calls on a device it never saw
// fail with a result instead of crashing.
#include "mobiledevicestandin.h"

#include <QTest>

class TestUsbmuxBackend : public QObject
{
    Q_OBJECT

private slots:
    void chosenWithoutScenario();
};

void TestUsbmuxBackend::chosenWithoutScenario()
{
    qunsetenv("QUILLSPROUT_DEVICE_SIM");
    QCOMPARE(QByteArray(QSMDBackendName()), QByteArray("usbmux"));
    QCOMPARE(QSMDSimLoadScenario("/nonexistent"), -1);
    QVERIFY(!QSMDSimDevice("x"));
    am_device_notification* handle = nullptr;
    AMDeviceNotificationSubscribe([](am_device_notification_callback_info*, void*) {}, 0, 0, nullptr, &handle);
    QVERIFY(AMDeviceConnect(nullptr) != 0);
    QVERIFY(!AMDeviceCopyValue(nullptr, nullptr, nullptr));
}

QTEST_GUILESS_MAIN(TestUsbmuxBackend)
#include "tst_usbmuxbackend.moc"
