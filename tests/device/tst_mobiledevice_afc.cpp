// The AFC packets and the AFC client object: the wire form of requests,
// broken and unusual replies (from a socket pair), and files written, read
// back, listed, renamed and removed through the simulated AFC server.
#include "mobiledevice_afc.h"
#include "mobiledevice_afc_packets.h"
#include "mobiledevice_session.h"

#include "servicescript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

using namespace servicescript;

class TestMobileDeviceAfc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void requestOnTheWire();
    void replies_data();
    void replies();
    void writeAndReadBack();
    void listingAndAttributes();
    void pathOperationsAndErrors();
    void openingAgainClosesTheOldHandle();
    void filesOfAClosedConnectionDoNothing();
    void containerRequest();

private:
    void loadServer();
    QTemporaryDir m_root;
};

namespace {

QByteArray le64(quint64 v)
{
    QByteArray out;
    for (int i = 0; i < 8; ++i)
        out.append(char(v >> (8 * i)));
    return out;
}

QByteArray reply(quint64 op, const QByteArray& body, qint64 announced = -1)
{
    return "CFA6LPAA" + le64(announced >= 0 ? quint64(announced) : quint64(40 + body.size())) + le64(40)
           + le64(0) + le64(op) + body;
}

QByteArray status(quint64 code)
{
    return reply(1, le64(code));
}

struct Pair
{
    Pair() { socketpair(AF_UNIX, SOCK_STREAM, 0, fd); }
    ~Pair()
    {
        close(fd[0]);
        close(fd[1]);
    }
    unsigned int client() const { return unsigned(fd[0]); }
    int fd[2];
};

// Runs `op` on a connection whose device answers `bytes` and tells what
// came out: the result, or "error: " and the text.
QString runOp(const QString& op, const QByteArray& bytes)
{
    Pair pair;
    write(pair.fd[1], bytes.constData(), size_t(bytes.size()));
    shutdown(pair.fd[1], SHUT_WR);
    try {
        const unsigned int s = pair.client();
        if (op == "read") {
            char buf[8];
            memset(buf, '#', sizeof buf);
            const unsigned int n = mobiledevice_afc_file_read(s, 1, buf, 4);
            return QString("read %1, guard %2").arg(n).arg(QByteArray(buf + 4, 4) == "####" ? "intact" : "broken");
        }
        if (op == "list")
            return "list [" + mobiledevice_afc_read_dir(s, "/").join(",") + "]";
        if (op == "open")
            return QString("handle %1").arg(mobiledevice_afc_open_file(s, "/a", kAfcModeRead));
        if (op == "lock")
            return QString("lock %1").arg(mobiledevice_afc_file_lock(s, 1, 2));
        mobiledevice_afc_remove(s, "/a");
        return "removed";
    } catch (const std::runtime_error& e) {
        return "error: " + QString::fromUtf8(e.what());
    }
}

} // namespace

void TestMobileDeviceAfc::initTestCase()
{
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
    QVERIFY(m_root.isValid());
}

void TestMobileDeviceAfc::loadServer()
{
    plist_t options = plist_new_dict();
    plist_dict_set_item(options, "Root", plist_new_string(QFile::encodeName(m_root.path()).constData()));
    SimDeviceScenario sc;
    sc.serviceOptions(phoneId(), "com.apple.afc", "afc", options);
    QVERIFY(sc.load());
}

void TestMobileDeviceAfc::requestOnTheWire()
{
    Pair pair;
    const QByteArray answer = reply(2, QByteArray("a\0b\0c", 5));
    write(pair.fd[1], answer.constData(), size_t(answer.size()));
    write(pair.fd[1], answer.constData(), size_t(answer.size()));
    QCOMPARE(mobiledevice_afc_read_dir(pair.client(), "/"), QStringList({"a", "b"}));
    QCOMPARE(mobiledevice_afc_read_dir(pair.client(), "/"), QStringList({"a", "b"}));
    // Both requests carry the socket number as their packet number.
    const QByteArray expected = "CFA6LPAA" + le64(42) + le64(42) + le64(pair.client()) + le64(3) + QByteArray("/\0", 2);
    QByteArray sent(84, '\0');
    QCOMPARE(recv(pair.fd[1], sent.data(), 84, MSG_WAITALL), ssize_t(84));
    QCOMPARE(sent, expected + expected);
    QCOMPARE(_AFCHeader(0, 3).toBytes().mid(24, 8), QByteArray("\xFF\xFF\xFF\xFF\0\0\0\0", 8));
}

void TestMobileDeviceAfc::replies_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("outcome");
    // A status 0 carries no data: never eight zero bytes of file or names.
    QTest::newRow("status 0 ends a read") << "read" << status(0) << "read 0, guard intact";
    QTest::newRow("status 0 is an empty listing") << "list" << status(0) << "list []";
    QTest::newRow("status 0 is no handle") << "open" << status(0) << "handle 0";
    QTest::newRow("empty open reply") << "open" << reply(14, QByteArray()) << "handle 0";
    QTest::newRow("short handle read no further") << "open" << reply(14, QByteArray("\x05\x01", 2)) << "handle 261";
    QTest::newRow("data in two replies") << "read" << reply(2, "ab") + reply(2, "cd") << "read 4, guard intact";
    QTest::newRow("more data than asked")
        << "read" << reply(2, "abcdefgh")
        << "error: read AFC failed, received 8 bytes where at most 4 were asked for.";
    QTest::newRow("refused remove") << "remove" << status(9)
                                    << "error: read AFC failed, received AFC_OP_STATUS, param1=9.";
    QTest::newRow("short status") << "remove" << reply(1, QByteArray("\x09", 1))
                                  << "error: read AFC failed, received AFC_OP_STATUS, param1=9.";
    QTest::newRow("status of a lock is its result") << "lock" << status(9) << "lock 9";
    QTest::newRow("unknown operation") << "remove" << reply(5, le64(77))
                                       << "error: read AFC failed, Unknown operation code received 5, param1=77.";
    QTest::newRow("packet length below the header")
        << "list" << reply(2, QByteArray(), 12)
        << "error: read AFC failed, the reply's header length 40 disagrees with its packet length 12.";
    QTest::newRow("header length below the header")
        << "list" << QByteArray("CFA6LPAA") + le64(42) + le64(39) + le64(0) + le64(2) + "a\0"
        << "error: read AFC failed, the reply's header length 39 disagrees with its packet length 42.";
    QTest::newRow("header length beyond the packet")
        << "list" << QByteArray("CFA6LPAA") + le64(42) + le64(43) + le64(0) + le64(2) + "a\0"
        << "error: read AFC failed, the reply's header length 43 disagrees with its packet length 42.";
    QTest::newRow("wrong magic") << "list" << "CFA6LPAB" + reply(2, "a\0").mid(8)
                                 << "error: read AFC failed, the reply does not start with CFA6LPAA.";
    QTest::newRow("header length 40, no body") << "list" << reply(2, QByteArray()) << "list []";
    QTest::newRow("oversized body refused")
        << "list" << reply(2, QByteArray(), 0x7FFFFFFF)
        << "error: read AFC failed, the announced length 2147483607 exceeds the limit of 67108864 bytes.";
    QTest::newRow("body cut short") << "list" << reply(2, "abc", 100) << "error: read AFC file block data failed.";
    QTest::newRow("header cut short") << "list" << QByteArray("CFA6") << "error: read AFC header failed.";
}

void TestMobileDeviceAfc::replies()
{
    QFETCH(QString, op);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, outcome);
    QCOMPARE(runOp(op, bytes), outcome);
}

void TestMobileDeviceAfc::writeAndReadBack()
{
    loadServer();
    mobiledevice_afc afc(phone());
    afc.startService(QString());
    QVERIFY(afc.socket() != 0);
    QByteArray data(70000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 256);
    {
        AfcFile file;
        QVERIFY(afc.writeFile("/big.bin", file));
        QCOMPARE(file.write(data.constData(), data.size()), data.size());
    } // closed by its destructor
    QCOMPARE(afc.fileInfo("/big.bin").st_size, 70000LL);
    AfcFile file;
    QVERIFY(afc.readFile("/big.bin", file));
    QByteArray back(100000, '\0');
    QCOMPARE(file.read(back.data(), back.size()), data.size());
    QCOMPARE(back.left(data.size()), data);
    QCOMPARE(file.read(back.data(), 10), 0); // end of file
    AfcFile moved(std::move(file));
    QCOMPARE(file.handle, 0ULL);
    QVERIFY(moved.handle != 0);
}

void TestMobileDeviceAfc::listingAndAttributes()
{
    QDir root(m_root.path());
    QVERIFY(root.mkpath("list/sub"));
    QFile f(root.filePath("list/a.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("12345") == 5);
    f.close();
    QVERIFY(QFile::link("a.txt", root.filePath("list/link")));
    loadServer();
    mobiledevice_afc afc(phone());
    afc.startService(QString());
    const QList<_AfcFileInfo> entries = afc.lt("/list");
    QCOMPARE(entries.size(), 2); // ".", ".." and the link are left out
    QCOMPARE(entries[0].path, QString("/list/a.txt"));
    QVERIFY(entries[0].isFile());
    QCOMPARE(entries[0].st_size, 5LL);
    QCOMPARE(entries[0].st_mtime.toSecsSinceEpoch(), QFileInfo(f).lastModified().toSecsSinceEpoch());
    QCOMPARE(entries[1].path, QString("/list/sub"));
    QVERIFY(entries[1].isDir());
    QVERIFY(afc.lt("/missing").isEmpty());
    const _AfcFileInfo missing = afc.fileInfo("/missing");
    QVERIFY(!missing.isValid());
    QVERIFY(missing.path.isEmpty());
}

void TestMobileDeviceAfc::pathOperationsAndErrors()
{
    loadServer();
    mobiledevice_afc afc(phone());
    afc.startService(QString());
    QVERIFY(afc.mkdir("/ops"));
    QVERIFY(afc.fileInfo("/ops").isDir());
    AfcFile file;
    QVERIFY(afc.writeFile("/ops/one", file));
    QCOMPARE(file.write("x", 1), 1);
    file.close();
    QVERIFY(afc.rename("/ops/one", "/ops/two"));
    QVERIFY(!afc.fileInfo("/ops/one").isValid());
    QVERIFY(afc.del("/ops/two"));
    QVERIFY(afc.del("/ops"));
    QVERIFY(!QDir(m_root.filePath("ops")).exists());
    QVERIFY(!afc.del("/ops"));
    QVERIFY(!afc.readFile("/none", file));
    QCOMPARE(file.handle, 0ULL);
    // The server keeps to its folder.
    QVERIFY(!afc.readFile("/../escape", file));
    QVERIFY(!afc.mkdir("/a/../../escape"));
    QVERIFY(!QDir(m_root.path() + "/../escape").exists());
}

void TestMobileDeviceAfc::openingAgainClosesTheOldHandle()
{
    loadServer();
    mobiledevice_afc afc(phone());
    afc.startService(QString());
    AfcFile file;
    QVERIFY(afc.writeFile("/h1", file));
    const unsigned long long first = file.handle;
    QCOMPARE(mobiledevice_afc_file_lock(afc.socket(), first, 2), 0);
    QVERIFY(afc.writeFile("/h2", file));
    QVERIFY(file.handle != first);
    QCOMPARE(mobiledevice_afc_file_lock(afc.socket(), first, 2), 7); // no longer open on the device
}

void TestMobileDeviceAfc::filesOfAClosedConnectionDoNothing()
{
    loadServer();
    mobiledevice_afc afc(phone());
    afc.startService(QString());
    AfcFile file;
    QVERIFY(afc.writeFile("/old", file));
    // Starting again closes the old connection; its number may come back
    // for the new one, which the old file must not write into.
    afc.startService(QString());
    QCOMPARE(file.write("x", 1), -1);
    char c;
    QCOMPARE(file.read(&c, 1), -1);
    AfcFile fresh;
    QVERIFY(afc.writeFile("/new", fresh));
    afc.closeService();
    afc.closeService();
    QCOMPARE(afc.socket(), 0u);
    QCOMPARE(fresh.write("x", 1), -1);
    QVERIFY(afc.lt("/").isEmpty());
    QVERIFY(!afc.mkdir("/x"));
}

void TestMobileDeviceAfc::containerRequest()
{
    CFType request = CFType::createCFDictionary();
    request.put("Command", CFType::createCFString("VendContainer"));
    request.put("Identifier", CFType::createCFString("com.example.app"));
    CFType refusal = CFType::createCFDictionary();
    refusal.put("Error", CFType::createCFString("InstallationLookupFailed"));
    PeerScript refused;
    refused.expect(xml(request), 0).send(xml(refusal));
    QVERIFY(loadScript("com.apple.mobile.house_arrest", refused));
    mobiledevice_afc afc(phone());
    try {
        afc.startService("com.example.app");
        QFAIL("no exception");
    } catch (const std::runtime_error& e) {
        QString shown = QString::fromUtf8(xml(refusal));
        shown.replace("<", "&lt;").replace(">", "&gt;");
        QCOMPARE(QString::fromUtf8(e.what()), "can not find com.example.app.<br/>" + shown);
    }
    QVERIFY(afc.socket() != 0); // kept, and closed with the object

    CFType vended = CFType::createCFDictionary();
    vended.put("Status", CFType::createCFString("Complete"));
    PeerScript granted;
    granted.expect(xml(request)).send(xml(vended));
    QVERIFY(loadScript("com.apple.mobile.house_arrest", granted));
    afc.startService("com.example.app");
    QCOMPARE(scriptVerdict(afc.socket()), QString("ScriptComplete"));
}

QTEST_GUILESS_MAIN(TestMobileDeviceAfc)
#include "tst_mobiledevice_afc.moc"
