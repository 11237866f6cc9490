#include "mobiledevice_service.h"

#include "amdevicecalls.h"
#include "descriptortransfer.h"
#include "mobiledevice_session.h"

#include <QObject>
#include <QStringList>

#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const long kXmlFormat = 100;
const long kBinaryFormat = 200;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

// The value as XML, cut for an error text.
QString shownXml(const CFType& value)
{
    return QString::fromUtf8(value.CFPropertyListToBytes(kXmlFormat)).left(kMessageShownChars);
}

// "Name, type, iOS version" of a device, or "Unknown" when it cannot be read.
QString describeDevice(am_device* dev)
{
    try {
        const QList<CFType> values =
            mobiledevice_info(dev, {QStringLiteral("DeviceName"), QStringLiteral("ProductType"),
                                    QStringLiteral("ProductVersion")},
                              QString());
        return QStringLiteral("%1, %2, iOS %3")
            .arg(values.value(0).toString(), values.value(1).toString(), values.value(2).toString());
    } catch (const std::exception&) {
        return QStringLiteral("Unknown");
    }
}

QString withRequest(QString text, const CFType& request)
{
    if (request.ref())
        text += QLatin1Char('\n') + shownXml(request);
    return text;
}

} // namespace

void mobiledevice_startservice(am_device* dev, const char* name, unsigned int& socket)
{
    QString err;
    if (device_open(dev, err) != 0)
        fail(err);
    int result = 0;
    try {
        const CFType serviceName = CFType::createCFString(QString::fromLatin1(name));
        result = amd::startService(dev, static_cast<CFStringRef>(serviceName.ref()), &socket);
    } catch (const std::exception&) {
        amd::stopSession(dev);
        amd::disconnect(dev);
        throw;
    }
    amd::stopSession(dev);
    amd::disconnect(dev);
    if (result == 0)
        return;
    fail(QStringLiteral("<br/><br/>device:%1 <br/><br/>").arg(describeDevice(dev))
         + QObject::tr("Please turn off Wifi Sync on iTunes or disconnect computer internet connections to try "
                       "again.<br/>")
         + QStringLiteral("Error code: AMDeviceStartService(%1)=%2").arg(QString::fromLatin1(name)).arg(result));
}

int mobiledevice_send_all(unsigned int socket, const char* buf, int len, int ms)
{
    return transferAll(int(socket), len, POLLOUT, ms, nullptr,
                       [&](int done) { return send(int(socket), buf + done, size_t(len - done), MSG_NOSIGNAL); });
}

int mobiledevice_recv_all(unsigned int socket, char* buf, int len, int ms, const std::atomic<bool>* cancel)
{
    return transferAll(int(socket), len, POLLIN, ms, cancel,
                       [&](int done) { return recv(int(socket), buf + done, size_t(len - done), 0); });
}

void mobiledevice_sendmsg(unsigned int socket, CFType msg, bool binary, int ms)
{
    const QByteArray body = msg.CFPropertyListToBytes(binary ? kBinaryFormat : kXmlFormat);
    if (body.isEmpty())
        fail(QStringLiteral("mobiledevice_sendmsg(msg) error.\nThe message cannot be written as a property list."));
    const quint32 len = quint32(body.size());
    const char header[4] = {char(len >> 24), char(len >> 16), char(len >> 8), char(len)};
    if (mobiledevice_send_all(socket, header, 4, ms) != 4)
        fail(QStringLiteral("mobiledevice_sendmsg(msg-length) error.\n%1").arg(shownXml(msg)));
    if (mobiledevice_send_all(socket, body.constData(), body.size(), ms) != body.size())
        fail(QStringLiteral("mobiledevice_sendmsg(msg) error.\n%1").arg(shownXml(msg)));
}

CFType mobiledevice_recmsg(unsigned int socket, CFType request, int ms, const std::atomic<bool>* cancel)
{
    unsigned char header[4];
    const int got = mobiledevice_recv_all(socket, reinterpret_cast<char*>(header), 4, kMessageLengthWaitMs, cancel);
    if (got != 4)
        fail(withRequest(QStringLiteral("mobiledevice_recmsg(msg-length) error, received length: %1.").arg(got),
                         request));
    const qint32 len = qint32(quint32(header[0]) << 24 | quint32(header[1]) << 16 | quint32(header[2]) << 8
                              | quint32(header[3]));
    if (len > kMaxServiceMessageBytes)
        fail(withRequest(QStringLiteral("mobiledevice_recmsg(msg) error, the announced length %1 exceeds the "
                                        "limit of %2 bytes.")
                             .arg(len)
                             .arg(kMaxServiceMessageBytes),
                         request));
    QByteArray body(len > 0 ? len : 0, Qt::Uninitialized);
    const int count = len < 0 ? 0 : mobiledevice_recv_all(socket, body.data(), len, ms, cancel);
    if (count != len)
        fail(withRequest(QStringLiteral("mobiledevice_recmsg(msg) error, received length: %1.").arg(count), request));
    return CFType::createCFPropertyList(body);
}

int mobiledevice_closeservice(unsigned int socket)
{
    return close(int(socket));
}
