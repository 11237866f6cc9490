#include "mobiledevice_notification.h"

#include "cftype.h"
#include "mobiledevice_service.h"

#include <QDebug>

#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <utility>

namespace {

const int kSendWaitMs = 60000;
const int kBodyWaitMs = 500;
// How often the relay loop looks at its stop flag while it waits.
const int kStopSliceMs = 50;
// The pause after each pass, so that the loop never spins.
const int kPassPauseMs = 1000;

const char* const kProxyDeath = "ProxyDeath";

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

CFType command(const QString& name, const QString& notification = QString())
{
    CFType message = CFType::createCFDictionary();
    message.put(QStringLiteral("Command"), CFType::createCFString(name));
    if (!notification.isNull())
        message.put(QStringLiteral("Name"), CFType::createCFString(notification));
    return message;
}

QString commandOf(const CFType& message)
{
    return message.get(QStringLiteral("Command")).CFStringQString();
}

bool isCommand(const QString& received, const char* expected)
{
    return received.compare(QLatin1String(expected), Qt::CaseInsensitive) == 0;
}

// Thrown by the get when the proxy announced its end.
struct ProxyDied : std::runtime_error
{
    ProxyDied() : std::runtime_error("ERROR: NotificationProxy died!") {}
};

} // namespace

void mobiledevice_notification_start(am_device* device, unsigned int& socket)
{
    mobiledevice_startservice(device, "com.apple.mobile.notification_proxy", socket);
}

void mobiledevice_notification_post(unsigned int socket, const QString& name)
{
    qDebug("mobiledevice_notification_post, notification:%s", name.toLocal8Bit().constData());
    mobiledevice_sendmsg(socket, command(QStringLiteral("PostNotification"), name), false, kSendWaitMs);
    const CFType shutdown = command(QStringLiteral("Shutdown"));
    mobiledevice_sendmsg(socket, shutdown, false, kSendWaitMs);
    const QString answer = commandOf(mobiledevice_recmsg(socket, shutdown, kSendWaitMs));
    if (!isCommand(answer, kProxyDeath))
        qDebug("mobiledevice_notification_post, unexpected answer: %s", qPrintable(answer));
}

void mobiledevice_notification_observe(unsigned int socket, QString name)
{
    mobiledevice_sendmsg(socket, command(QStringLiteral("ObserveNotification"), name), false, kSendWaitMs);
}

QString mobiledevice_notification_get_throw(unsigned int socket)
{
    const CFType message = mobiledevice_recmsg(socket, CFType(), kBodyWaitMs);
    const QString received = commandOf(message);
    if (isCommand(received, "RelayNotification")) {
        const QString name = message.get(QStringLiteral("Name")).CFStringQString();
        qDebug("mobiledevice_notification_get_throw, got notification %s.", name.toLocal8Bit().constData());
        return name;
    }
    if (isCommand(received, kProxyDeath))
        throw ProxyDied();
    fail(QStringLiteral("unknown NotificationProxy command '%1' received!").arg(received));
}

mobiledevice_notification_thread::mobiledevice_notification_thread(am_device* device, QObject* parent)
    : QThread(parent), m_stop(false), m_device(device), m_socket(0)
{
}

mobiledevice_notification_thread::~mobiledevice_notification_thread()
{
    stopAndWait();
    if (m_socket != 0)
        mobiledevice_closeservice(m_socket);
}

void mobiledevice_notification_thread::startServiceThrow(const QStringList& names)
{
    if (m_socket != 0)
        mobiledevice_closeservice(std::exchange(m_socket, 0u));
    m_stop = false;
    mobiledevice_notification_start(m_device, m_socket);
    for (const QString& name : names)
        mobiledevice_notification_observe(m_socket, name);
}

void mobiledevice_notification_thread::requestStop()
{
    m_stop = true;
}

void mobiledevice_notification_thread::stopAndWait()
{
    requestStop();
    wait();
}

mobiledevice_notification_thread::Wait mobiledevice_notification_thread::waitForMessage() const
{
    while (!m_stop) {
        pollfd p{int(m_socket), POLLIN, 0};
        const int r = poll(&p, 1, kStopSliceMs);
        if (r < 0 && errno != EINTR)
            return Wait::Closed;
        if (r <= 0)
            continue;
        char byte;
        const ssize_t n = recv(int(m_socket), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0)
            return Wait::Message;
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return Wait::Closed;
    }
    return Wait::Stopped;
}

bool mobiledevice_notification_thread::pause(int ms) const
{
    for (int waited = 0; waited < ms && !m_stop; waited += kStopSliceMs)
        QThread::msleep(kStopSliceMs);
    return !m_stop;
}

void mobiledevice_notification_thread::run()
{
    if (m_socket == 0) {
        qDebug("mobiledevice_notification_thread::run, start service first.");
        return;
    }
    for (;;) {
        const Wait wait = waitForMessage();
        if (wait == Wait::Stopped)
            return;
        if (wait == Wait::Closed) {
            qDebug("mobiledevice_notification_thread::run, the device closed the connection.");
            return;
        }
        try {
            emit recNotification(mobiledevice_notification_get_throw(m_socket));
        } catch (const ProxyDied& e) {
            qDebug("mobiledevice_notification_thread::run, %s", e.what());
            return;
        } catch (const std::exception& e) {
            qDebug("mobiledevice_notification_thread::run, %s", e.what());
        }
        if (!pause(kPassPauseMs))
            return;
    }
}
