/* The value types of the MobileDevice stand-in: the device record handle,
 * the notification record and the call-back type. Types only, so code that
 * resolves the functions by name at run time can include it without linking
 * the stand-in. Plain C. */
#ifndef QS_MOBILEDEVICETYPES_H
#define QS_MOBILEDEVICETYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A device record, owned by the stand-in and valid until it is unloaded.
 * The 32-bit word at byte QSMD_DEVICE_WORD_OFFSET is non-zero for a record
 * that stands for a usable device. */
typedef struct am_device am_device;
typedef struct am_device_notification am_device_notification;

#define QSMD_DEVICE_WORD_OFFSET 40

enum {
    ADNCI_MSG_CONNECTED = 1,
    ADNCI_MSG_DISCONNECTED = 2
};

typedef struct {
    am_device* dev;
    uint32_t msg; /* ADNCI_MSG_... */
} am_device_notification_callback_info;

typedef void (*am_device_notification_callback)(am_device_notification_callback_info* info, void* context);

/* Results of our own for failures that are not a peer's answer. */
enum {
    kQSMDErrorInvalidArgument = -402653183,
    kQSMDErrorNotConnected = -402653177,
    kQSMDErrorNoSession = -402653166,
    kQSMDErrorServiceUnknown = -402653150,
    kQSMDErrorDeviceGone = -402653176,
    kQSMDErrorInternal = -402653167
};

#ifdef __cplusplus
}
#endif

#endif
