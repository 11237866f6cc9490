// The scenario file of the simulated backend: what it holds once parsed, and
// the files it refuses.
#include "simscenario.h"

#include "simdevicescenario.h"

#include <QTemporaryDir>
#include <QTest>

class TestSimScenario : public QObject
{
    Q_OBJECT

private slots:
    void parsed();
    void refused_data();
    void refused();
};

void TestSimScenario::parsed()
{
    QTemporaryDir dir;
    SimDeviceScenario sc;
    sc.text("a", "", "DeviceName", "Ann")
        .text("a", "com.apple.international", "Locale", "de_DE")
        .flag("a", "Paired", false)
        .result("a", "AMDeviceConnect", -5)
        .service("a", "com.apple.afc", "echo")
        .event("a", "attach")
        .eventCode("a", 3)
        .manualEvents(false);
    const QString path = dir.filePath("s.plist");
    QVERIFY(sc.write(path));
    qsmd::SimScenario parsed;
    std::string error;
    QVERIFY2(qsmd::SimScenario::load(path.toStdString(), parsed, error), error.c_str());
    const qsmd::SimDevice* a = parsed.device("a");
    QVERIFY(a);
    QVERIFY(!a->paired);
    QCOMPARE(a->results.at("AMDeviceConnect"), -5LL);
    QCOMPARE(a->services.at("com.apple.afc").peer, std::string("echo"));
    QVERIFY(plist_dict_get_item(a->values.get(), "DeviceName"));
    QVERIFY(plist_dict_get_item(a->domains.at("com.apple.international").get(), "Locale"));
    QCOMPARE(parsed.events.size(), size_t(2));
    QCOMPARE(parsed.events[0].code, 1LL);
    QCOMPARE(parsed.events[1].code, 3LL);
    QVERIFY(!parsed.manualEvents);
}

void TestSimScenario::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray head = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    QTest::newRow("empty file") << QByteArray() << "cannot read";
    QTest::newRow("no property list") << QByteArray("hello") << "no property list";
    QTest::newRow("not a dictionary") << head + "<array/></plist>" << "not a dictionary";
    QTest::newRow("device without id") << head + "<dict><key>Devices</key><array><dict/></array></dict></plist>"
                                       << "no UniqueDeviceID";
    QTest::newRow("device twice")
        << head + "<dict><key>Devices</key><array><dict><key>UniqueDeviceID</key><string>a</string></dict>"
                  "<dict><key>UniqueDeviceID</key><string>a</string></dict></array></dict></plist>"
        << "listed twice";
    QTest::newRow("event of an unknown device")
        << head + "<dict><key>Events</key><array><dict><key>Event</key><string>attach</string><key>Device</key>"
                  "<string>x</string></dict></array></dict></plist>"
        << "unknown device";
}

void TestSimScenario::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QFile file(dir.filePath("s.plist"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    qsmd::SimScenario parsed;
    std::string message;
    QVERIFY(!qsmd::SimScenario::load(file.fileName().toStdString(), parsed, message));
    QVERIFY2(QString::fromStdString(message).contains(error), message.c_str());
}

QTEST_GUILESS_MAIN(TestSimScenario)
#include "tst_simscenario.moc"
