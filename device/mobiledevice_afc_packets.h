// AFC packets: the file protocol of the device's "com.apple.afc" service and
// of an app's container reached through "com.apple.mobile.house_arrest".
// One free function per file operation, each running one request and its
// reply over a service socket; failures throw std::runtime_error.
//
// Packet header, both directions (integers little-endian):
//   OFFSET SIZE MEANING
//   0      8    magic "CFA6LPAA"
//   8      8    entire_length: header + header payload + data
//   16     8    this_length: header + header payload
//   24     8    packet_num: the socket number of the connection
//                (0xFFFFFFFF for socket 0), never advanced
//   32     8    operation (AFC_OP_*)
// A request's header payload holds its paths (UTF-8, NUL-ended), handles,
// modes and sizes (8 bytes each); only a file write carries data after it.
// A reply is its header and a body of entire_length - 40 bytes.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

typedef quint32 afc_file_mode_t;
typedef quint32 afc_lock_op_t;

constexpr afc_file_mode_t kAfcModeRead = 1;
constexpr afc_file_mode_t kAfcModeWrite = 3;

enum AfcOperation : quint64 {
    AFC_OP_STATUS = 1,
    AFC_OP_DATA = 2,
    AFC_OP_READ_DIR = 3,
    AFC_OP_REMOVE = 8,
    AFC_OP_MKDIR = 9,
    AFC_OP_FILE_INFO = 10,
    AFC_OP_OPEN_FILE = 13,
    AFC_OP_FILE_HANDLE = 14,
    AFC_OP_FILE_READ = 15,
    AFC_OP_FILE_WRITE = 16,
    AFC_OP_DATA_OTHER = 19, // a reply passed on like data
    AFC_OP_CLOSE_FILE = 20,
    AFC_OP_RENAME = 24,
    AFC_OP_FILE_LOCK = 27,
};

constexpr int kAfcHeaderBytes = 40;
// The largest reply body accepted; a longer announced one fails before
// anything is allocated.
constexpr int kAfcMaxBodyBytes = 64 * 1024 * 1024;
constexpr unsigned int kAfcReadChunk = 65536;
constexpr unsigned int kAfcWriteChunk = 32768;

struct _AFCHeader
{
    // `packet` 0 gives the packet number 0xFFFFFFFF; both lengths are 0
    // until the sender sets them.
    _AFCHeader(int packet = 0, int operation = 0);
    QByteArray toBytes() const;
    // `bytes` holds kAfcHeaderBytes bytes.
    static _AFCHeader fromBytes(const char* bytes);

    char magic[8];
    quint64 entire_length;
    quint64 this_length;
    quint64 packet_num;
    quint64 operation;
};

void mobiledevice_afc_send_data(unsigned int socket, const _AFCHeader& header, const char* data, int length);
// One reply: `header` receives its header, the result is its body. A status
// reply with code 0 has no data (an empty result). With `status` given, a
// status reply stores its code there instead of failing.
QByteArray mobiledevice_afc_read_data(unsigned int socket, _AFCHeader& header, int* status);

QStringList mobiledevice_afc_read_dir(unsigned int socket, QString path);
QMap<QString, QString> mobiledevice_afc_file_info(unsigned int socket, QString path);
// The new handle, 0 when the device gave none.
unsigned long long mobiledevice_afc_open_file(unsigned int socket, QString path, afc_file_mode_t mode);
void mobiledevice_afc_close_file(unsigned int socket, unsigned long long handle);
// Bytes placed into `buffer`, at most `length`; fewer at the end of the file.
unsigned int mobiledevice_afc_file_read(unsigned int socket, unsigned long long handle, char* buffer,
                                        unsigned int length);
unsigned int mobiledevice_afc_file_write(unsigned int socket, unsigned long long handle, const char* data,
                                         unsigned int length);
// The device's status code, 0 for success.
int mobiledevice_afc_file_lock(unsigned int socket, unsigned long long handle, afc_lock_op_t operation);
void mobiledevice_afc_remove(unsigned int socket, QString path);
void mobiledevice_afc_rename(unsigned int socket, QString from, QString to);
void mobiledevice_afc_mkdir(unsigned int socket, QString path);
// Asks a house_arrest connection for the container of the app `appId`; the
// connection then carries AFC packets.
void mobiledevice_afc_housearrest_set_pid(unsigned int socket, QString appId);
