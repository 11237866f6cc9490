// A device session is stopped and the device disconnected when a call in the
// middle of the session throws: the framework here lacks AMDeviceCopyValue.
#include "mobiledevice_loader.h"
#include "mobiledevice_session.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

class TestSessionGuard : public QObject
{
    Q_OBJECT

private slots:
    void sessionStoppedWhenACallThrows();
};

void TestSessionGuard::sessionStoppedWhenACallThrows()
{
    QTemporaryDir frameworks;
    QVERIFY(QFile::copy(QStringLiteral(QS_COREFOUNDATION), frameworks.filePath("libqs_corefoundation.so")));
    QVERIFY(QFile::copy(QStringLiteral(QS_FAKE_MOBILEDEVICE), frameworks.filePath("libqs_mobiledevice.so")));
    qputenv("QUILLSPROUT_FRAMEWORKS", QFile::encodeName(frameworks.path()));
    QString error;
    QCOMPARE(mobiledevice_loader_ini(error, QString()), 1);
    auto calls = reinterpret_cast<int (*)(const char*)>(mobiledevice_loader_mf("QSFakeCallCount"));
    QVERIFY(calls);

    int device = 0;
    try {
        mobiledevice_info(reinterpret_cast<am_device*>(&device), {"DeviceName", "ProductType"}, QString());
        QFAIL("no exception");
    } catch (const std::runtime_error& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains("AMDeviceCopyValue"), e.what());
    }
    QCOMPARE(calls("AMDeviceStopSession"), 1);
    QCOMPARE(calls("AMDeviceDisconnect"), 1);
}

QTEST_GUILESS_MAIN(TestSessionGuard)
#include "tst_sessionguard.moc"
