// The mobilesync client: starts "com.apple.mobilesync", greets it on the
// DeviceLink level and announces a data class with its two anchors, pulls
// every record of the class, sends records and takes back the device's new
// identifiers, clears the class and finishes the session; also switches
// tethered synchronisation through a lockdown value. Messages are DeviceLink
// style arrays sent as XML property lists. Failures throw
// std::runtime_error.
#pragma once

#include "cftype.h"
#include "mobiledevicetypes.h"

#include <QList>
#include <QString>

#include <utility>

struct _mobiledevice_sync_ctx
{
    _mobiledevice_sync_ctx(QString dataClass, QString deviceAnchor, QString computerAnchor)
        : dataClass(std::move(dataClass)), deviceAnchor(std::move(deviceAnchor)),
          computerAnchor(std::move(computerAnchor))
    {
    }
    QString dataClass;
    QString deviceAnchor;
    QString computerAnchor;
};

// `socket` receives the connection, also when the greeting or the
// announcement fails; the caller closes it.
void mobiledevice_sync_start(am_device* device, const _mobiledevice_sync_ctx& ctx, unsigned int& socket, bool ping);
// The batches of records (dictionaries), in the order received.
QList<CFType> mobiledevice_sync_records(unsigned int socket, const _mobiledevice_sync_ctx& ctx);
// Sends all changes in one message; returns the device's identifier mapping.
CFType mobiledevice_sync_send(unsigned int socket, CFType changes, const _mobiledevice_sync_ctx& ctx, CFType actions);
void mobiledevice_sync_send_finish(unsigned int socket, const _mobiledevice_sync_ctx& ctx);
void mobiledevice_sync_clear(unsigned int socket, const _mobiledevice_sync_ctx& ctx);
// mobiledevice_set's result: 0 when stored.
int mobiledevice_sync_set_tethered(am_device* device, QString key, bool disable);
