// The entry to connected devices: loading the frameworks, attach and detach
// notifications forwarded to a receiver's methods, and short lockdown
// sessions that read or set device values. Each value operation opens and
// closes its own session; failures throw std::runtime_error with HTML text.
#pragma once

#include "cftype.h"
#include "mobiledevicetypes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Where notifications go: `connected` and `disconnected` take the device
// handle and run on the receiver's thread. Made from two methods of the
// receiver, so that the compiler checks them.
struct _mobiledevice_listen_ctx
{
    using Handler = std::function<void(void*)>;

    _mobiledevice_listen_ctx() = default;
    template <typename Receiver>
    _mobiledevice_listen_ctx(Receiver* r, void (Receiver::*c)(void*), void (Receiver::*d)(void*))
        : receiver(r)
        , connected([r, c](void* dev) { (r->*c)(dev); })
        , disconnected([r, d](void* dev) { (r->*d)(dev); })
    {
    }

    QObject* receiver = nullptr;
    Handler connected;
    Handler disconnected;
};

// Loads both frameworks: 1, or 0 after a warning box with the loader's text.
int mobiledevice_init();
// Subscribes to attach and detach notifications for the rest of the run;
// `ctx` must stay valid that long.
bool mobiledevice_listen(_mobiledevice_listen_ctx* ctx);
// Fills the context while notifications may already be arriving through it.
void mobiledevice_set_listen_ctx(_mobiledevice_listen_ctx* ctx, const _mobiledevice_listen_ctx& value);
// Stops forwarding to the context's receiver; once it returns, no
// notification reaches that receiver any more, so it may be destroyed.
// Call it from the receiver's thread.
void mobiledevice_unlisten(_mobiledevice_listen_ctx* ctx);

// One value per key, in key order (a null value where the device has none).
// An empty domain is the default one; an empty key asks for the whole domain
// as a dictionary.
QList<CFType> mobiledevice_info(am_device* dev, QStringList keys, QString domain);
QString mobiledevice_device_uid(am_device* dev);
// The framework's result, 0 when the value was stored.
int mobiledevice_set(am_device* dev, QString domain, QString key, CFType value);

// Connects, pairs when the device is not paired, validates the pairing and
// starts a session: 0 with the session open, else the failing call's result
// with `err` set and the device disconnected. Private to the device module.
int device_open(am_device* dev, QString& err);
