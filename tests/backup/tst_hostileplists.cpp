// Hand-made binary property lists that are damaged or hostile, each read
// through every road that parses a property list from a phone, a backup or a
// file: the property-list reader, the backup index's record decoder and the
// framed device messages. Each gives a value or a clear failure; none may
// stop the process.
#include "bplistfixture.h"
#include "cftype.h"
#include "mbfile.h"
#include "mobiledevice_loader.h"
#include "mobiledevice_service.h"

#include <QtTest>

#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using B = BplistFixture;

// {key: 1}
QByteArray oneEntry(const QByteArray& key)
{
    B b;
    b.add(B::dict({1}, {2}));
    b.add(key);
    b.add(B::integer(1));
    return b.bytes();
}

QByteArray nested(int depth)
{
    B b;
    for (int i = 0; i < depth; ++i)
        b.add(B::array({i + 1}));
    b.add(B::integer(7));
    return b.bytes();
}

// Each level an array holding the next level twice: 2^levels paths.
QByteArray sharedTwice(int levels)
{
    B b;
    for (int i = 0; i < levels; ++i)
        b.add(B::array({i + 1, i + 1}));
    b.add(B::ascii("leaf"));
    return b.bytes();
}

// A frame on a socket pair whose writing end is closed, read back.
CFType readFrame(const QByteArray& body)
{
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
        throw std::runtime_error("socketpair");
    const quint32 len = quint32(body.size());
    const QByteArray frame = QByteArray(1, char(len >> 24)) + char(len >> 16) + char(len >> 8) + char(len) + body;
    const bool written = write(sv[1], frame.constData(), size_t(frame.size())) == frame.size();
    close(sv[1]);
    CFType message;
    if (written) {
        try {
            message = mobiledevice_recmsg(unsigned(sv[0]), CFType(), 2000);
        } catch (const std::exception&) {
        }
    }
    close(sv[0]);
    return message;
}

} // namespace

class TestHostilePlists : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyRoadLives_data();
    void everyRoadLives();
    void keyWithZeroKeptWhole_data();
    void keyWithZeroKeptWhole();
};

void TestHostilePlists::initTestCase()
{
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
}

void TestHostilePlists::everyRoadLives_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readable");

    QTest::newRow("UTF-16 key with U+0000") << oneEntry(B::utf16(QString("a") + QChar(0))) << true;
    QTest::newRow("ASCII key with NUL") << oneEntry(B::ascii(QByteArray("a\0", 2))) << true;
    QTest::newRow("key that is a number") << oneEntry(B::integer(5)) << false;
    QTest::newRow("key that is data") << oneEntry(B::data("k")) << false;
    {
        B b;
        b.add(B::array({0}));
        QTest::newRow("array that holds itself") << b.bytes() << false;
    }
    {
        B b;
        b.add(B::dict({1}, {2}));
        b.add(B::ascii("k"));
        b.add(B::array({0}));
        QTest::newRow("dictionary reached again through its value") << b.bytes() << false;
    }
    {
        B b;
        b.add(B::array({1, 7}));
        b.add(B::integer(1));
        QTest::newRow("reference beyond the object table") << b.bytes() << false;
    }
    {
        B b;
        b.add(B::array({1}));
        b.add(B::integer(1));
        QTest::newRow("count beyond the object table")
            << b.bytes([](B::Trailer& t) { t.count = 1u << 20; }) << false;
        QTest::newRow("object offset into the trailer")
            << b.bytes({}, [](QList<quint64>& at) { at[1] = at[1] + 20; }) << false;
        QTest::newRow("object offset beyond the file") << b.bytes({}, [](QList<quint64>& at) { at[1] = 60000; })
                                                       << false;
        QTest::newRow("table offset beyond the file")
            << b.bytes([](B::Trailer& t) { t.tableOffset = ~quint64(0) - 3; }) << false;
        QTest::newRow("top object beyond the table") << b.bytes([](B::Trailer& t) { t.top = 2; }) << false;
        QTest::newRow("reference width zero") << b.bytes([](B::Trailer& t) { t.refSize = 0; }) << false;
        QTest::newRow("offset width nine") << b.bytes([](B::Trailer& t) { t.offsetSize = 9; }) << false;
        QTest::newRow("cut inside the trailer") << b.bytes().left(30) << false;
    }
    {
        B b;
        b.add(B::marker(0xA, 1u << 30) + "\1");
        b.add(B::integer(1));
        QTest::newRow("array count beyond the bytes") << b.bytes() << false;
        b.set(0, B::marker(0x4, ~quint64(0) - 1) + "x");
        QTest::newRow("data length that wraps") << b.bytes() << false;
        b.set(0, B::marker(0x6, ~quint64(0) / 2 + 2) + "x");
        QTest::newRow("UTF-16 length that wraps when doubled") << b.bytes() << false;
        b.set(0, QByteArray("\x70", 1));
        QTest::newRow("unknown marker") << b.bytes() << false;
        b.set(0, QByteArray("\x88\1\2\3\4\5\6\7\x8\x9", 10));
        QTest::newRow("UID beyond 32 bits") << b.bytes() << false;
    }
    QTest::newRow("nested 600 deep") << nested(600) << false;
    QTest::newRow("nested 100 deep") << nested(100) << true;
    QTest::newRow("one leaf reached 2^60 ways") << sharedTwice(60) << true;
    QTest::newRow("version 01") << QByteArray("bplist01") + oneEntry(B::ascii("k")).mid(8) << false;
    QTest::newRow("XML holding NUL") << QByteArray("<plist><dict><key>a") + '\0' + "b</key><true/></dict></plist>" << false;
}

void TestHostilePlists::everyRoadLives()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readable);

    QCOMPARE(CFType::createCFPropertyList(bytes).ref() != nullptr, readable);

    MBDBParser::_MBDBItem item;
    MBFile::readArchive(bytes, item);
    QVERIFY(!item.encryptionKey.isValid());
    QCOMPARE(item.size, qint64(0));

    QCOMPARE(readFrame(bytes).ref() != nullptr, readable);
}

void TestHostilePlists::keyWithZeroKeptWhole_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("text");
    const QString zero = QString("a") + QChar(0) + "b";
    QTest::newRow("UTF-16") << B::utf16(zero) << zero;
    QTest::newRow("ASCII") << B::ascii(QByteArray("a\0b", 3)) << zero;
}

void TestHostilePlists::keyWithZeroKeptWhole()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, text);
    const CFType dict = CFType::createCFPropertyList(oneEntry(key));
    QCOMPARE(dict.dict_size(), 1L);
    QCOMPARE(dict.dict_keys().value(0).CFStringQString(), text);
    QCOMPARE(dict.get(text).CFNumberInt(0), 1);
    QVERIFY(!dict.get("a").ref());
    // libplist cuts texts at their first zero: such a list cannot be written.
    QVERIFY(dict.CFPropertyListToBytes(200).isEmpty());
}

QTEST_MAIN(TestHostilePlists)
#include "tst_hostileplists.moc"
