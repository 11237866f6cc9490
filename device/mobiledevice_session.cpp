#include "mobiledevice_session.h"

#include "amdevicecalls.h"
#include "devicewarning.h"
#include "mobiledevice_loader.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QSet>

#include <cstring>
#include <stdexcept>

namespace {

// Stops the session and disconnects when the operation ends, also when it
// throws.
class SessionGuard
{
public:
    explicit SessionGuard(am_device* dev) : m_dev(dev) {}
    ~SessionGuard()
    {
        try {
            amd::stopSession(m_dev);
            amd::disconnect(m_dev);
        } catch (const std::exception&) {
        }
    }
    SessionGuard(const SessionGuard&) = delete;
    SessionGuard& operator=(const SessionGuard&) = delete;

private:
    am_device* m_dev;
};

void openOrThrow(am_device* dev)
{
    QString err;
    if (device_open(dev, err) != 0)
        throw std::runtime_error(err.toUtf8().toStdString());
}

QString deviceIdentifier(am_device* dev)
{
    return CFType(amd::copyDeviceIdentifier(dev), true).CFStringQString();
}

// Guards the receivers of the contexts: a receiver is cleared under it
// before it is destroyed, and a notification from another thread posts its
// call under it, so it never reaches a destroyed receiver.
QMutex g_receiverMutex;

void forward(_mobiledevice_listen_ctx* listen, _mobiledevice_listen_ctx::Handler _mobiledevice_listen_ctx::*slot,
             am_device* dev)
{
    QMutexLocker locker(&g_receiverMutex);
    QObject* receiver = listen->receiver;
    // A copy: the context may be refilled once the lock is gone.
    const _mobiledevice_listen_ctx::Handler handler = listen->*slot;
    if (!receiver || !handler)
        return;
    if (receiver->thread() == QThread::currentThread()) {
        // Only this thread can destroy it, and the handler may run nested
        // event loops in which further notifications arrive: called unlocked.
        locker.unlock();
        handler(dev);
        return;
    }
    // Dropped by Qt when the receiver is destroyed before the call runs.
    QMetaObject::invokeMethod(receiver, [handler, dev] { handler(dev); }, Qt::QueuedConnection);
}

// The device word the framework keeps in each record: 0 marks a record whose
// notifications are ignored.
bool isUsableRecord(const am_device* dev)
{
    uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const char*>(dev) + QSMD_DEVICE_WORD_OFFSET, sizeof word);
    return word != 0;
}

// Called by the framework, one notification at a time. Repeated attaches of
// one device are dropped; every detach is forwarded.
void __listener(am_device_notification_callback_info* info, void* ctx)
{
    try {
        if (!info || !info->dev || !ctx || !isUsableRecord(info->dev))
            return;
        static QSet<QString> set;
        auto listen = static_cast<_mobiledevice_listen_ctx*>(ctx);
        const QString id = deviceIdentifier(info->dev);
        if (info->msg == ADNCI_MSG_CONNECTED) {
            if (!id.isEmpty()) {
                if (set.contains(id))
                    return;
                set.insert(id);
            }
            forward(listen, &_mobiledevice_listen_ctx::connected, info->dev);
        } else if (info->msg == ADNCI_MSG_DISCONNECTED) {
            if (!id.isEmpty())
                set.remove(id);
            forward(listen, &_mobiledevice_listen_ctx::disconnected, info->dev);
        }
    } catch (const std::exception&) {
        // The framework's thread cannot take an exception; the notification is lost.
    }
}

// The error text of a failed step: the advice, then the call and its result.
QString openError(const char* pattern, int result)
{
    const QString advice = QObject::tr("Please launch iTunes first and then re-connect your iPhone. Once your iPhone "
                                       "is visible in iTunes, please restart Quillsprout software.");
    return QStringLiteral("%1<br/><br/>Error code: %2")
        .arg(advice, QString::fromLatin1(pattern).arg(qint64(qint32(result))));
}

// One step of device_open after the connect: on failure disconnects and sets
// the text.
int openStep(am_device* dev, int result, const char* pattern, QString& err)
{
    if (result != 0) {
        amd::disconnect(dev);
        err = openError(pattern, result);
    }
    return result;
}

} // namespace

int mobiledevice_init()
{
    QString err;
    const int loaded = mobiledevice_loader_ini(err, QString());
    if (loaded <= 0) {
        g_deviceWarning(err);
        return 0;
    }
    return loaded;
}

bool mobiledevice_listen(_mobiledevice_listen_ctx* ctx)
{
    try {
        return amd::notificationSubscribe(&__listener, ctx) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

void mobiledevice_set_listen_ctx(_mobiledevice_listen_ctx* ctx, const _mobiledevice_listen_ctx& value)
{
    const QMutexLocker locker(&g_receiverMutex);
    *ctx = value;
}

void mobiledevice_unlisten(_mobiledevice_listen_ctx* ctx)
{
    if (ctx)
        mobiledevice_set_listen_ctx(ctx, _mobiledevice_listen_ctx());
}

int device_open(am_device* dev, QString& err)
{
    int result = amd::connect(dev);
    if (result != 0) {
        err = openError("AMDeviceConnect(%1)", result);
        return result;
    }
    if (amd::isPaired(dev) == 0) {
        result = openStep(dev, amd::pair(dev), "AMDevicePair(%1)", err);
        if (result != 0)
            return result;
    }
    result = openStep(dev, amd::validatePairing(dev), "AMDeviceValidatePairing(%1)", err);
    if (result != 0)
        return result;
    return openStep(dev, amd::startSession(dev), "AMDeviceStartSession(%1)", err);
}

QList<CFType> mobiledevice_info(am_device* dev, QStringList keys, QString domain)
{
    openOrThrow(dev);
    SessionGuard session(dev);
    const CFType domainRef = domain.isEmpty() ? CFType() : CFType::createCFString(domain);
    QList<CFType> values;
    values.reserve(keys.size());
    for (const QString& key : keys) {
        const CFType keyRef = key.isEmpty() ? CFType() : CFType::createCFString(key);
        values.append(CFType(amd::copyValue(dev, static_cast<CFStringRef>(domainRef.ref()),
                                            static_cast<CFStringRef>(keyRef.ref())),
                             true));
    }
    return values;
}

QString mobiledevice_device_uid(am_device* dev)
{
    openOrThrow(dev);
    SessionGuard session(dev);
    return deviceIdentifier(dev);
}

int mobiledevice_set(am_device* dev, QString domain, QString key, CFType value)
{
    openOrThrow(dev);
    SessionGuard session(dev);
    const CFType domainRef = CFType::createCFString(domain);
    const CFType keyRef = CFType::createCFString(key);
    return amd::setValue(dev, static_cast<CFStringRef>(domainRef.ref()), static_cast<CFStringRef>(keyRef.ref()),
                         value.ref());
}
