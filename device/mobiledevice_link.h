// The DeviceLink message layer under the mobilebackup2 and mobilesync
// clients: every message is a property-list array whose element 0 is a
// string naming it ("DL..."). Greets a freshly started service (the version
// exchange), sends process messages and the disconnect notice, and receives
// DeviceLink messages with a test of their name. Sits on the framed
// messages of mobiledevice_service.h; failures throw std::runtime_error.
#pragma once

#include "cftype.h"

#include <QString>

// Sent in place of an empty text parameter or an absent value.
extern const char* const kEmptyParameterString;
// Every wait of the DeviceLink clients.
constexpr int kDeviceLinkWaitMs = 60000;

// The name of a DeviceLink message: element 0 as text, empty for anything
// that is no array or whose element 0 is no string.
QString mobiledevice_link_msg_name(const CFType& message);
// The value as an XML property list, for error texts and the log; empty for
// a null value.
QString mobiledevice_link_xml(const CFType& value);
// A text parameter: the placeholder when `text` is empty.
CFType mobiledevice_link_param(const QString& text);
// A value parameter: the placeholder when `value` is null, so that the
// elements after it keep their places.
CFType mobiledevice_link_value(const CFType& value);

void mobiledevice_link_sc_version_exchange(unsigned int socket);
// Sends ["DLMessageProcessMessage", payload] and returns a deep copy of it.
CFType mobiledevice_link_sc_send_process_message(unsigned int socket, CFType payload);
void mobiledevice_link_sc_disconnect(unsigned int socket, QString reason);
// Receives one message whose name begins with "DL" (any letter case).
void mobiledevice_link_sc_recv_dlmsg(unsigned int socket, CFType& message, QString& name, CFType request);
// Receives one "DLMessageProcessMessage" and returns a deep copy of its
// payload; `whole`, when given, receives the received array.
CFType mobiledevice_link_sc_recv_dlprocessmsg_inner(unsigned int socket, CFType request, CFType* whole);
