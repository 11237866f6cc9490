// The bridge that hands an SSL service connection out as a socket: bytes
// pass both ways, and closing either side ends it and closes the other.
#include "socketbridge.h"
#include "socketio.h"

#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Stands for the device connection: the other end of a socket pair, which the
// test plays as the device.
class PairChannel : public qsmd::BridgeChannel
{
public:
    explicit PairChannel(int fd) : m_fd(fd) {}
    ~PairChannel() override { close(m_fd); }
    int send(const char* buf, uint32_t len) override
    {
        std::atomic<bool> stop{false};
        return qsmd::writeAll(m_fd, buf, len, stop) ? int(len) : -1;
    }
    int receive(char* buf, uint32_t len, unsigned ms) override
    {
        std::atomic<bool> stop{false};
        const qsmd::IoWait w = qsmd::waitFd(m_fd, false, int(ms), stop);
        if (w == qsmd::IoWait::TimedOut)
            return 0;
        const ssize_t n = recv(m_fd, buf, len, 0);
        return n > 0 ? int(n) : -1;
    }

private:
    int m_fd;
};

QByteArray readSome(int fd, int len)
{
    QByteArray out(len, '\0');
    std::atomic<bool> stop{false};
    return qsmd::readExact(fd, out.data(), size_t(len), stop) ? out : QByteArray();
}

} // namespace

class TestSocketBridge : public QObject
{
    Q_OBJECT

private slots:
    void bothDirections();
    void deviceCloseReachesCaller();
    void callerCloseReachesDevice();
};

void TestSocketBridge::bothDirections()
{
    qsmd::ThreadSet threads;
    int device[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, device), 0);
    const int caller = qsmd::startSocketBridge(threads, std::make_unique<PairChannel>(device[0]));
    QVERIFY(caller >= 0);
    std::atomic<bool> stop{false};
    const QByteArray big(3 * int(qsmd::kBridgeChunk) + 17, 'b'); // more than one transfer
    QVERIFY(qsmd::writeAll(caller, big.constData(), size_t(big.size()), stop));
    QCOMPARE(readSome(device[1], big.size()), big);
    QVERIFY(qsmd::writeAll(device[1], "answer", 6, stop));
    QCOMPARE(readSome(caller, 6), QByteArray("answer"));
    close(caller);
    close(device[1]);
}

void TestSocketBridge::deviceCloseReachesCaller()
{
    qsmd::ThreadSet threads;
    int device[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, device), 0);
    const int caller = qsmd::startSocketBridge(threads, std::make_unique<PairChannel>(device[0]));
    close(device[1]);
    char byte;
    QCOMPARE(recv(caller, &byte, 1, 0), ssize_t(0)); // end of stream, not a hang
    close(caller);
}

void TestSocketBridge::callerCloseReachesDevice()
{
    qsmd::ThreadSet threads;
    int device[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, device), 0);
    const int caller = qsmd::startSocketBridge(threads, std::make_unique<PairChannel>(device[0]));
    close(caller);
    char byte;
    QCOMPARE(recv(device[1], &byte, 1, 0), ssize_t(0));
    close(device[1]);
}

QTEST_GUILESS_MAIN(TestSocketBridge)
#include "tst_socketbridge.moc"
