#include "fuzzsupport.h"

#include "mobiledevice_loader.h"

#include <QGuiApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void init()
{
    static const bool done = [] {
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The readers log every fault of the input; at thousands of inputs a
        // second that costs more than the reading.
        if (!qEnvironmentVariableIsSet("QS_FUZZ_LOG"))
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        static QGuiApplication* app = new QGuiApplication(argc, argv);
        Q_UNUSED(app);
        QString error;
        mobiledevice_loader_ini(error, QString());
        if (!mobiledevice_loader_is_corefoundation_loaded()) {
            std::fprintf(stderr, "The CoreFoundation stand-in did not load from %s\n",
                         qPrintable(mobiledevice_loader_frameworks_dir()));
            std::abort();
        }
        return true;
    }();
    Q_UNUSED(done);
}

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

const QByteArray kSeparator("\n#~~#\n");

QList<QByteArray> pieces(const QByteArray& input, int count)
{
    QList<QByteArray> out;
    qsizetype from = 0;
    while (out.size() + 1 < count) {
        const qsizetype at = input.indexOf(kSeparator, from);
        if (at < 0)
            break;
        out.append(input.mid(from, at - from));
        from = at + kSeparator.size();
    }
    out.append(input.mid(from));
    while (out.size() < count)
        out.append(QByteArray());
    return out;
}

QByteArray joined(const QList<QByteArray>& parts)
{
    QByteArray out;
    for (qsizetype i = 0; i < parts.size(); ++i)
        out += (i ? kSeparator : QByteArray()) + parts.at(i);
    return out;
}

namespace {

QTemporaryDir& scratchRoot()
{
    static QTemporaryDir* root = new QTemporaryDir;
    return *root;
}

} // namespace

QString scratchParent()
{
    return scratchRoot().path();
}

QString scratchFolder()
{
    QDir dir(scratchRoot().filePath(QStringLiteral("scratch")));
    dir.removeRecursively();
    QDir(scratchRoot().path()).mkpath(QStringLiteral("scratch"));
    return dir.absolutePath();
}

int pendingBytes(int fd)
{
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

InputSocket::InputSocket(const uint8_t* data, size_t size)
{
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds) != 0)
        std::abort();
    const int buffer = 1 << 20;
    for (int fd : m_fds)
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    if (size && send(m_fds[1], data, size, 0) != ssize_t(size))
        std::abort();
    shutdown(m_fds[1], SHUT_WR);
}

InputSocket::~InputSocket()
{
    close(m_fds[0]);
    close(m_fds[1]);
}

namespace {

void walkAt(const CFType& value, int depth)
{
    if (depth > 64)
        return;
    (void)value.typeId();
    (void)value.toString();
    if (value.isCFString()) {
        (void)value.CFStringLength();
    } else if (value.isCFNumber()) {
        (void)value.CFNumberInt64(0);
        (void)value.CFNumberDouble(0);
        (void)value.CFNumberInt8(0);
    } else if (value.isCFDate()) {
        (void)value.CFDateToDateTime(QStringLiteral("Europe/Paris"));
        (void)value.CFDateToDateTime(3600);
    } else if (value.isCFData()) {
        (void)value.CFDataLength();
    } else if (value.isCFKeyedArchiverUID()) {
        (void)value.CFKeyedArchiverUIDGetValue();
    } else if (value.isCFDictionary()) {
        const QList<CFType> keys = value.dict_keys();
        for (const CFType& key : keys) {
            walkAt(key, depth + 1);
            walkAt(value.get(key), depth + 1);
        }
        (void)value.dict_size();
    } else if (value.isCFArray()) {
        const long size = value.array_size();
        for (long i = 0; i < size; ++i)
            walkAt(value.at(int(i)), depth + 1);
        (void)value.at(int(size));
    }
}

} // namespace

void walk(const CFType& value)
{
    walkAt(value, 0);
}

} // namespace fuzz

// Called by the engine before it counts the instrumented modules, so that
// the CoreFoundation stand-in, loaded at run time, is counted among them.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::init();
    return 0;
}
