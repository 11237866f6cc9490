// Keybag parsing, the passcode unlock and the class-key unwrap.
#include "keybag.h"
#include "keybagfixture.h"

#include <QtTest>

using R = KeybagFixture;

class TestKeybag : public QObject
{
    Q_OBJECT

private slots:
    void parseAssignsRecordsToClasses();
    void parseStopsAtDamagedRecord_data();
    void parseStopsAtDamagedRecord();
    void unlock_data();
    void unlock();
    void unlockWithoutIterationsFails_data();
    void unlockWithoutIterationsFails();
    void unlockNothingToUnwrapAcceptsAnyPassword();
    void unwrapKeyForClass_data();
    void unwrapKeyForClass();
};

void TestKeybag::parseAssignsRecordsToClasses()
{
    const QByteArray data = R::record("UUID", "bag-uuid") + R::record("WRAP", R::uint32(1))
        + R::record("SALT", "salt")
        // class 5: "CLAS" not first; a stray non-class tag goes to the keybag
        + R::record("UUID", "c5") + R::record("WRAP", R::uint32(3)) + R::record("ITER", R::uint32(7))
        + R::record("CLAS", R::uint32(5)) + R::record("WPKY", "k5")
        // class 2
        + R::record("UUID", "c2") + R::record("CLAS", R::uint32(2)) + R::record("KTYP", R::uint32(1));
    const _KeybagInfo info = parseKeybag(data);
    QCOMPARE(info.attributes.value("UUID"), QByteArray("bag-uuid"));
    QCOMPARE(info.attributes.value("WRAP"), R::uint32(1));
    QCOMPARE(info.attributes.value("SALT"), QByteArray("salt"));
    QCOMPARE(info.attributes.value("ITER"), R::uint32(7));
    QCOMPARE(info.classKeys.keys(), (QList<int>{2, 5}));
    const _KeybagPros& c5 = info.classKeys.value(5);
    QCOMPARE(c5.tags.value("UUID"), QByteArray("c5"));
    QCOMPARE(c5.getInt32("WRAP"), 3u);
    QCOMPARE(c5.tags.value("WPKY"), QByteArray("k5"));
    QVERIFY(!c5.tags.contains("ITER"));
    QCOMPARE(info.classKeys.value(2).getInt32("KTYP"), 1u);
    QCOMPARE(info.classKeys.value(2).getInt32("WPKY"), 0u);
}

void TestKeybag::parseStopsAtDamagedRecord_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("short header") << QByteArray("CLA");
    QTest::newRow("length past end") << QByteArray("WPKY\x00\x00\x01\x00" "abc", 11);
    QTest::newRow("huge length") << QByteArray("WPKY\xff\xff\xff\xff" "abc", 11);
}

// A damaged record ends the parse; what came before is kept.
void TestKeybag::parseStopsAtDamagedRecord()
{
    QFETCH(QByteArray, tail);
    const QByteArray good = R::record("UUID", "u") + R::record("SALT", "s")
        + R::record("UUID", "c") + R::record("CLAS", R::uint32(1));
    const _KeybagInfo info = parseKeybag(good + tail);
    QCOMPARE(info.attributes.value("SALT"), QByteArray("s"));
    QCOMPARE(info.classKeys.keys(), QList<int>{1});
    QVERIFY(!info.classKeys.value(1).tags.contains("WPKY"));
}

void TestKeybag::unlock_data()
{
    QTest::addColumn<int>("dpIterations");
    QTest::addColumn<QString>("tried");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("sha1 right") << 0 << "sésame" << true;
    QTest::newRow("sha1 wrong") << 0 << "sesame" << false;
    QTest::newRow("double right") << 5 << "sésame" << true;
    QTest::newRow("double wrong") << 5 << "" << false;
}

void TestKeybag::unlock()
{
    QFETCH(int, dpIterations);
    QFETCH(QString, tried);
    QFETCH(bool, accepted);
    KeybagFixture fixture("sésame", 10, quint32(dpIterations));
    const QByteArray key1 = fixture.addClass(1);
    fixture.addClass(2, 1); // not wrapped by the password: never unwrapped
    const QByteArray key3 = fixture.addClass(3);
    _KeybagInfo info = parseKeybag(fixture.bytes());
    QCOMPARE(info.hasDoubleProtection(), dpIterations > 0);
    QCOMPARE(unlockWithPasscode(tried.toUtf8(), info), accepted);
    QCOMPARE(info.hasClassKey(), accepted);
    QVERIFY(!info.classKeys.value(2).tags.contains("KEY"));
    if (accepted) {
        QCOMPARE(info.classKeys.value(1).tags.value("KEY"), key1);
        QCOMPARE(info.classKeys.value(3).tags.value("KEY"), key3);
    }
}

void TestKeybag::unlockWithoutIterationsFails_data()
{
    QTest::addColumn<QByteArray>("counts");
    QTest::newRow("no ITER") << QByteArray();
    QTest::newRow("short ITER") << R::record("ITER", "\x01");
    QTest::newRow("zero ITER") << R::record("ITER", R::uint32(0));
    QTest::newRow("short DPIC") << R::record("ITER", R::uint32(1)) + R::record("DPIC", "\x01")
                                   + R::record("DPSL", "salt");
}

void TestKeybag::unlockWithoutIterationsFails()
{
    QFETCH(QByteArray, counts);
    const QByteArray data = R::record("UUID", "u") + R::record("WRAP", R::uint32(1))
        + R::record("SALT", "s") + counts
        + R::record("UUID", "c") + R::record("CLAS", R::uint32(1)) + R::record("WRAP", R::uint32(2))
        + R::record("WPKY", QByteArray(40, 'w'));
    _KeybagInfo info = parseKeybag(data);
    QVERIFY(!unlockWithPasscode("anything", info));
}

void TestKeybag::unlockNothingToUnwrapAcceptsAnyPassword()
{
    _KeybagInfo empty = parseKeybag(QByteArray());
    QVERIFY(unlockWithPasscode("x", empty));
    KeybagFixture fixture("pw");
    fixture.addClass(4, 1);
    _KeybagInfo info = parseKeybag(fixture.bytes());
    QVERIFY(unlockWithPasscode("not pw", info));
    QVERIFY(!info.hasClassKey());
}

void TestKeybag::unwrapKeyForClass_data()
{
    QTest::addColumn<int>("classNumber");
    QTest::addColumn<int>("trim");
    QTest::addColumn<bool>("unwraps");
    QTest::newRow("right") << 3 << 0 << true;
    QTest::newRow("39 bytes") << 3 << -1 << false;
    QTest::newRow("41 bytes") << 3 << 1 << false;
    QTest::newRow("other class key") << 1 << 0 << false;
    QTest::newRow("missing class") << 9 << 0 << false;
    QTest::newRow("class without key") << 2 << 0 << false;
}

void TestKeybag::unwrapKeyForClass()
{
    QFETCH(int, classNumber);
    QFETCH(int, trim);
    QFETCH(bool, unwraps);
    KeybagFixture fixture("pw");
    fixture.addClass(1);
    fixture.addClass(2, 1);
    fixture.addClass(3);
    _KeybagInfo info = parseKeybag(fixture.bytes());
    QVERIFY(unlockWithPasscode("pw", info));
    const QByteArray fileKey = R::randomBytes(32);
    QByteArray wrapped = fixture.wrappedKeyForClass(3, fileKey).mid(4);
    wrapped = trim < 0 ? wrapped.left(39) : wrapped + QByteArray(trim, '\0');
    const QByteArray got = ::unwrapKeyForClass(info, classNumber, wrapped);
    QCOMPARE(got, unwraps ? fileKey : QByteArray());
}

QTEST_GUILESS_MAIN(TestKeybag)
#include "tst_keybag.moc"
