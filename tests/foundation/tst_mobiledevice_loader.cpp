// The framework loader: its four load outcomes, where it looks, and name
// look-ups.
#include "cftype.h"
#include "mobiledevice_loader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

class TestMobileDeviceLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outcomes_data();
    void outcomes();
    void defaultFolderBesideTheExecutable();
    void lookups();
    void cleanupTestCase();

private:
    QByteArray m_frameworks;
};

void TestMobileDeviceLoader::initTestCase()
{
    m_frameworks = qgetenv("QUILLSPROUT_FRAMEWORKS");
    QCOMPARE(mobiledevice_loader_ini_uwpiTunesPath(), QString());
    QVERIFY(!mobiledevice_loader_cf("CFRetain")); // nothing loaded yet
}

void TestMobileDeviceLoader::cleanupTestCase()
{
    qputenv("QUILLSPROUT_FRAMEWORKS", m_frameworks);
}

void TestMobileDeviceLoader::outcomes_data()
{
    QTest::addColumn<bool>("withCoreFoundation");
    QTest::addColumn<bool>("withMobileDevice");
    QTest::addColumn<int>("result");
    QTest::newRow("neither") << false << false << -1;
    QTest::newRow("only CoreFoundation") << true << false << 0;
    QTest::newRow("only MobileDevice") << false << true << -1;
    QTest::newRow("both") << true << true << 1;
}

void TestMobileDeviceLoader::outcomes()
{
    QFETCH(bool, withCoreFoundation);
    QFETCH(bool, withMobileDevice);
    QFETCH(int, result);
    QTemporaryDir dir;
    if (withCoreFoundation)
        QVERIFY(QFile::copy(QStringLiteral(QS_COREFOUNDATION), dir.filePath(QStringLiteral("libqs_corefoundation.so"))));
    if (withMobileDevice)
        QVERIFY(QFile::copy(QStringLiteral(QS_FAKE_MOBILEDEVICE), dir.filePath(QStringLiteral("libqs_mobiledevice.so"))));
    qputenv("QUILLSPROUT_FRAMEWORKS", dir.path().toUtf8());

    QString error = QStringLiteral("untouched");
    QCOMPARE(mobiledevice_loader_ini(error, QStringLiteral("/given/path")), result);
    QCOMPARE(mobiledevice_loader_ini_uwpiTunesPath(), QStringLiteral("/given/path"));
    if (result == 1) {
        QCOMPARE(error, QStringLiteral("untouched"));
    } else {
        QVERIFY(error.startsWith(QStringLiteral("Failed to load (Apple Mobile Device) framework. Please uninstall")));
        QVERIFY(error.contains(QStringLiteral(">iTunes</a> to install on your computer.")));
    }
    QCOMPARE(mobiledevice_loader_is_corefoundation_loaded(), withCoreFoundation);
    QCOMPARE(mobiledevice_loader_is_mobiledevice_loaded(), withMobileDevice);
    QCOMPARE(mobiledevice_loader_is_loaded(), withCoreFoundation && withMobileDevice);
    QCOMPARE(mobiledevice_loader_cf("CFRetain") != nullptr, withCoreFoundation);
    QCOMPARE(mobiledevice_loader_mf("AMDeviceConnect") != nullptr, withMobileDevice);
    // Addresses kept by the value type's call sites are those of this load.
    const unsigned generation = mobiledevice_loader_generation();
    QCOMPARE(CFType::createCFString(QStringLiteral("x")).CFStringQString(),
             withCoreFoundation ? QStringLiteral("x") : QString());
    QCOMPARE(mobiledevice_loader_generation(), generation);
}

void TestMobileDeviceLoader::defaultFolderBesideTheExecutable()
{
    qunsetenv("QUILLSPROUT_FRAMEWORKS");
    QCOMPARE(mobiledevice_loader_frameworks_dir(),
             QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("frameworks")));
    QString error;
    mobiledevice_loader_ini(error, QString());
    QVERIFY2(mobiledevice_loader_is_corefoundation_loaded(), qPrintable(error));
}

void TestMobileDeviceLoader::lookups()
{
    qputenv("QUILLSPROUT_FRAMEWORKS", QFileInfo(QStringLiteral(QS_FAKE_MOBILEDEVICE)).path().toUtf8());
    QString error;
    QCOMPARE(mobiledevice_loader_ini(error, QString()), -1); // that folder holds no CoreFoundation
    QVERIFY(mobiledevice_loader_mfThrow("AMDeviceConnect"));
    QVERIFY(!mobiledevice_loader_mf("AMDeviceNoSuchFunction"));
    try {
        mobiledevice_loader_mfThrow("AMDeviceNoSuchFunction");
        QFAIL("a missing device function must throw");
    } catch (const std::runtime_error& e) {
        QVERIFY(QString::fromUtf8(e.what()).contains(QStringLiteral("AMDeviceNoSuchFunction")));
    }

    qputenv("QUILLSPROUT_FRAMEWORKS", m_frameworks);
    mobiledevice_loader_ini(error, QString());
    QVERIFY(mobiledevice_loader_cf("CFDictionaryCreateMutable"));
    QVERIFY(mobiledevice_loader_cf("kCFTypeDictionaryKeyCallBacks"));
    QVERIFY(!mobiledevice_loader_cf("CFNoSuchFunction"));
    QVERIFY(!mobiledevice_loader_cf("_ZN4qscf7releaseEPKNS_6ObjectE")); // internals stay hidden
}

QTEST_GUILESS_MAIN(TestMobileDeviceLoader)
#include "tst_mobiledevice_loader.moc"
