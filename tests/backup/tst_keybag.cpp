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
    void iterationCountsAreCapped_data();
    void iterationCountsAreCapped();
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

    // Class tags are matched whole, never as a piece of a longer text.
    const _KeybagInfo pieces = parseKeybag(R::record("UUID", "u") + R::record("UUID", "c")
                                           + R::record("CLAS", R::uint32(1)) + R::record("S WR", "x")
                                           + R::record("LAS ", "y"));
    QCOMPARE(pieces.attributes.value("S WR"), QByteArray("x"));
    QCOMPARE(pieces.attributes.value("LAS "), QByteArray("y"));
    QVERIFY(!pieces.classKeys.value(1).tags.contains("S WR"));
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

void TestKeybag::iterationCountsAreCapped_data()
{
    QTest::addColumn<quint32>("iterations");
    QTest::addColumn<quint32>("dpIterations");
    QTest::addColumn<QString>("error");
    QTest::newRow("ITER over the cap") << 100000001u << 0u
                                       << "The backup's keybag asks for 100000001 rounds of ITER, more than the "
                                          "100000000 that any phone uses: the keybag is damaged.";
    QTest::newRow("DPIC over the cap") << 1u << 0xFFFFFFFFu
                                       << "The backup's keybag asks for 4294967295 rounds of DPIC, more than the "
                                          "100000000 that any phone uses: the keybag is damaged.";
}

// A hostile count fails at once instead of keeping the unlock busy for hours.
void TestKeybag::iterationCountsAreCapped()
{
    QFETCH(quint32, iterations);
    QFETCH(quint32, dpIterations);
    QFETCH(QString, error);
    // Built with small counts, then given the large ones: building derives the key.
    KeybagFixture fixture("pw", 10, 5);
    fixture.addClass(1);
    QByteArray bytes = fixture.bytes();
    bytes.replace(R::record("ITER", R::uint32(10)), R::record("ITER", R::uint32(iterations)));
    if (dpIterations)
        bytes.replace(R::record("DPIC", R::uint32(5)), R::record("DPIC", R::uint32(dpIterations)));
    _KeybagInfo info = parseKeybag(bytes);
    QString thrown;
    try {
        unlockWithPasscode("pw", info);
    } catch (const std::runtime_error& e) {
        thrown = QString::fromUtf8(e.what());
    }
    QCOMPARE(thrown, error);
    QVERIFY(!info.hasClassKey());
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
