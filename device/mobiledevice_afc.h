// The AFC client object: one connection to a device's file area (or to an
// app's container through house_arrest), with file attributes, filtered
// listings, path operations and open files. Its operations report failure
// by their result (false, -1, an empty record or list); only starting the
// connection throws.
#pragma once

#include "mobiledevice_afc_packets.h"
#include "mobiledevicetypes.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

// The attributes of one device path.
struct _AfcFileInfo
{
    _AfcFileInfo();
    explicit _AfcFileInfo(QString path);
    bool isValid() const;
    bool isFile() const; // "S_IFREG", any letter case
    bool isDir() const;  // "S_IFDIR", any letter case

    QString path;
    long long st_size;
    QDateTime st_mtime; // null when the device gave none
    QString st_ifmt;
};

// One open connection of a client; the client marks it closed, so that the
// files opened on it stop using a socket number that may since have been
// given to something else.
struct AfcConnection
{
    unsigned int socket = 0; // 0 once closed
};

// One open device file. It closes its handle when destroyed; it can be
// moved but not copied, so that one handle has one owner.
class AfcFile
{
public:
    AfcFile();
    ~AfcFile();
    AfcFile(AfcFile&& other) noexcept;
    AfcFile& operator=(AfcFile&& other) noexcept;
    AfcFile(const AfcFile&) = delete;
    AfcFile& operator=(const AfcFile&) = delete;

    void close();
    // Bytes read (fewer at the end of the file) or written, or -1 on failure,
    // also when the client's connection has been closed.
    int read(char* buffer, int length);
    int write(const char* data, int length);

    unsigned int socket() const; // 0 when the connection is closed
    unsigned long long handle;   // 0 when no file is open

private:
    friend class mobiledevice_afc;
    void adopt(const std::shared_ptr<AfcConnection>& connection, unsigned long long newHandle);
    std::shared_ptr<AfcConnection> m_connection;
};

class mobiledevice_afc
{
public:
    explicit mobiledevice_afc(am_device* device);
    ~mobiledevice_afc();
    mobiledevice_afc(const mobiledevice_afc&) = delete;
    mobiledevice_afc& operator=(const mobiledevice_afc&) = delete;

    // An empty `appId` opens "com.apple.afc", any other the container of
    // that app through "com.apple.mobile.house_arrest". A connection already
    // open is closed first. Throws std::runtime_error.
    void startService(QString appId);
    void closeService();

    _AfcFileInfo fileInfo(QString path);
    // The regular files and folders inside `folder`, in the device's order.
    QList<_AfcFileInfo> lt(QString folder);
    bool mkdir(QString path);
    bool del(QString path);
    bool rename(QString from, QString to);
    // Hands the new handle to `file`, which closes the one it held; false
    // and `file` unchanged when the device gives no handle.
    bool openFile(QString path, afc_file_mode_t mode, AfcFile& file);
    bool readFile(QString path, AfcFile& file);
    bool writeFile(QString path, AfcFile& file);

    am_device* device;
    unsigned int socket() const; // 0 when no connection is open

private:
    std::shared_ptr<AfcConnection> m_connection;
};
