// The mobilebackup2 client: starts "com.apple.mobilebackup2" and greets it
// on the DeviceLink level, agrees a protocol version ("Hello"), sends named
// requests and status responses, receives "Response" messages, switches
// cloud backup and asks the device for a backup. Its messages are
// dictionaries named by "MessageName", carried in DeviceLink process
// messages as binary property lists. Failures throw std::runtime_error.
#pragma once

#include "cftype.h"
#include "mobiledevicetypes.h"

#include <QString>

void mobiledevice_backup2_start(am_device* device, unsigned int& socket);
// Sends Hello with the first `count` versions and returns the version the
// device chose.
double mobiledevice_backup2_version_exchange(unsigned int socket, double* versions, char count);
// Sets "MessageName" in the dictionary `message` (shared with the caller)
// and sends it; returns a deep copy of the sent array.
CFType mobiledevice_backup2_send_msg(unsigned int socket, QString name, CFType message);
void mobiledevice_backup2_recv_msg(unsigned int socket, CFType& message, QString& name);
// Receives one "Response": its "ErrorCode" goes to `errorCode`, a deep copy
// of the response dictionary is returned.
CFType mobiledevice_backup2_recv_dlmessage_response(unsigned int socket, int& errorCode, CFType request,
                                                    CFType* whole);
CFType mobiledevice_backup2_send_request(unsigned int socket, QString request, QString target, QString source,
                                         CFType options);
CFType mobiledevice_backup2_send_status_response(unsigned int socket, int status, QString text, CFType extra);
void mobiledevice_backup2_set_enable_icloud(unsigned int socket, QString udid, bool enable);
// Sends the "Backup" request; the device's answer is left for the caller.
void mobiledevice_backup2_request_backup(unsigned int socket, QString udid, bool full);
