// Device services: starting a named lockdown service (its connection is
// handed out as a socket descriptor that the caller closes with
// mobiledevice_closeservice), whole-buffer transfers with a limit on every
// single wait, and the framed property-list messages every service client
// uses. Failures throw std::runtime_error.
//
// Frame, both directions:
//   OFFSET SIZE    MEANING
//   0      4       body length, unsigned 32-bit big-endian (at most
//                  kMaxServiceMessageBytes is accepted)
//   4      length  body: a property list, XML 1.0 or binary
#pragma once

#include "cftype.h"
#include "descriptortransfer.h"
#include "mobiledevicetypes.h"

#include <atomic>

// The longest message body accepted from a device; a longer announced length
// fails before anything is allocated.
constexpr int kMaxServiceMessageBytes = 64 * 1024 * 1024;
// The wait for each part of a message's length, whatever the caller's limit.
constexpr int kMessageLengthWaitMs = 60000;
// How much of a message an error text shows, in UTF-16 units.
constexpr int kMessageShownChars = 800;

void mobiledevice_startservice(am_device* dev, const char* name, unsigned int& socket);
// Bytes moved, 0 to `len`; a short count means a time-out (`ms` per wait, 0
// or below: none), a closed connection or an error. A receive given a
// `cancel` flag also stops, short, soon after the flag is set.
int mobiledevice_send_all(unsigned int socket, const char* buf, int len, int ms);
int mobiledevice_recv_all(unsigned int socket, char* buf, int len, int ms,
                          const std::atomic<bool>* cancel = nullptr);
// Sends one frame; `binary` chooses the body's form.
void mobiledevice_sendmsg(unsigned int socket, CFType msg, bool binary, int ms);
// The next message, null when the body is no property list. `request` (the
// message this one answers, or null) only goes into error texts. A set
// `cancel` flag ends the waits as a time-out does.
CFType mobiledevice_recmsg(unsigned int socket, CFType request, int ms, const std::atomic<bool>* cancel = nullptr);
int mobiledevice_closeservice(unsigned int socket);
