// The file_relay service of a device: asked for named sources, it answers
// with an acknowledgment and then sends one archive (cpio, often compressed)
// as raw bytes up to the end of the connection.
//
// Exchange on "com.apple.mobile.file_relay":
//   STEP DIRECTION          CONTENT
//   1    computer -> device one XML frame: { "Sources": [ name, ... ] }
//   2    device -> computer one frame: { "Status": "Acknowledged" }
//   3    device -> computer the archive, not framed, until the device closes
#pragma once

#include "mobiledevicetypes.h"

#include <QStringList>

#include <atomic>

// Starts the service; the socket belongs to the caller, who closes it with
// mobiledevice_closeservice.
void mobiledevice_filerelay_start(am_device* dev, unsigned int& socket);
// Steps 1 and 2: sends the request and throws std::runtime_error unless the
// device acknowledges it; afterwards the archive's bytes follow on the
// socket. A set `cancel` flag ends the wait for the acknowledgment, which
// then fails.
void mobiledevice_filerelay(unsigned int socket, QStringList sources, const std::atomic<bool>* cancel = nullptr);
