// The entry to connected devices: loading the frameworks, attach and detach
// notifications forwarded to a receiver's methods by name, and short lockdown
// sessions that read or set device values. Each value operation opens and
// closes its own session; failures throw std::runtime_error with HTML text.
#pragma once

#include "cftype.h"
#include "mobiledevicetypes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// Where notifications go: the receiver's methods named `connected` and
// `disconnected`, each taking the device handle as one void* argument.
struct _mobiledevice_listen_ctx
{
    _mobiledevice_listen_ctx() : receiver(nullptr), connected(""), disconnected("") {}
    _mobiledevice_listen_ctx(QObject* r, const char* c, const char* d) : receiver(r), connected(c), disconnected(d) {}
    QObject* receiver;
    const char* connected;
    const char* disconnected;
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
