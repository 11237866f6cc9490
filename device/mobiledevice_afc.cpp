#include "mobiledevice_afc.h"

#include "mobiledevice_service.h"

#include <QDir>

#include <stdexcept>
#include <utility>

_AfcFileInfo::_AfcFileInfo() : st_size(0) {}

_AfcFileInfo::_AfcFileInfo(QString p) : path(std::move(p)), st_size(0) {}

bool _AfcFileInfo::isValid() const
{
    return !st_ifmt.isEmpty();
}

bool _AfcFileInfo::isFile() const
{
    return st_ifmt.compare(QLatin1String("S_IFREG"), Qt::CaseInsensitive) == 0;
}

bool _AfcFileInfo::isDir() const
{
    return st_ifmt.compare(QLatin1String("S_IFDIR"), Qt::CaseInsensitive) == 0;
}

AfcFile::AfcFile() : handle(0) {}

AfcFile::~AfcFile()
{
    close();
}

AfcFile::AfcFile(AfcFile&& other) noexcept
    : handle(std::exchange(other.handle, 0)), m_connection(std::move(other.m_connection))
{
}

AfcFile& AfcFile::operator=(AfcFile&& other) noexcept
{
    if (this != &other) {
        close();
        handle = std::exchange(other.handle, 0);
        m_connection = std::move(other.m_connection);
    }
    return *this;
}

unsigned int AfcFile::socket() const
{
    return m_connection ? m_connection->socket : 0;
}

void AfcFile::close()
{
    if (handle != 0 && socket() != 0) {
        try {
            mobiledevice_afc_close_file(socket(), handle);
        } catch (const std::exception&) {
        }
    }
    handle = 0;
}

namespace {

// A transfer of `length` bytes on an open connection: its count, or -1.
template <typename Transfer>
int transferred(unsigned int socket, int length, Transfer transfer)
{
    if (socket == 0 || length < 0)
        return -1;
    try {
        return int(transfer(unsigned(length)));
    } catch (const std::exception&) {
        return -1;
    }
}

} // namespace

int AfcFile::read(char* buffer, int length)
{
    return transferred(socket(), length, [&](unsigned int n) {
        return mobiledevice_afc_file_read(socket(), handle, buffer, n);
    });
}

int AfcFile::write(const char* data, int length)
{
    return transferred(socket(), length, [&](unsigned int n) {
        return mobiledevice_afc_file_write(socket(), handle, data, n);
    });
}

void AfcFile::adopt(const std::shared_ptr<AfcConnection>& connection, unsigned long long newHandle)
{
    close();
    m_connection = connection;
    handle = newHandle;
}

mobiledevice_afc::mobiledevice_afc(am_device* dev) : device(dev) {}

mobiledevice_afc::~mobiledevice_afc()
{
    closeService();
}

unsigned int mobiledevice_afc::socket() const
{
    return m_connection ? m_connection->socket : 0;
}

void mobiledevice_afc::startService(QString appId)
{
    closeService();
    auto connection = std::make_shared<AfcConnection>();
    const bool container = !appId.isEmpty();
    mobiledevice_startservice(device, container ? "com.apple.mobile.house_arrest" : "com.apple.afc",
                              connection->socket);
    // The connection is this object's from here on, also when the container
    // request fails.
    m_connection = connection;
    if (container)
        mobiledevice_afc_housearrest_set_pid(connection->socket, appId);
}

void mobiledevice_afc::closeService()
{
    if (!m_connection)
        return;
    if (m_connection->socket != 0)
        mobiledevice_closeservice(m_connection->socket);
    m_connection->socket = 0;
    m_connection.reset();
}

_AfcFileInfo mobiledevice_afc::fileInfo(QString path)
{
    if (socket() == 0)
        return _AfcFileInfo();
    try {
        const QMap<QString, QString> info = mobiledevice_afc_file_info(socket(), path);
        _AfcFileInfo record(path);
        record.st_ifmt = info.value(QStringLiteral("st_ifmt"));
        record.st_size = info.value(QStringLiteral("st_size")).toLongLong(nullptr, 10);
        if (info.contains(QStringLiteral("st_mtime"))) {
            const qint64 ns = info.value(QStringLiteral("st_mtime")).toLongLong(nullptr, 10);
            record.st_mtime = QDateTime::fromMSecsSinceEpoch(qint64(double(ns) / 1e6));
        }
        return record;
    } catch (const std::exception&) {
        return _AfcFileInfo();
    }
}

QList<_AfcFileInfo> mobiledevice_afc::lt(QString folder)
{
    if (socket() == 0)
        return {};
    try {
        QList<_AfcFileInfo> records;
        const QDir dir(folder);
        for (const QString& name : mobiledevice_afc_read_dir(socket(), folder)) {
            if (name == QLatin1String(".") || name == QLatin1String(".."))
                continue;
            const _AfcFileInfo record = fileInfo(dir.absoluteFilePath(name));
            if (record.isFile() || record.isDir())
                records.append(record);
        }
        return records;
    } catch (const std::exception&) {
        return {};
    }
}

namespace {

template <typename Operation>
bool succeeds(Operation operation)
{
    try {
        operation();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

bool mobiledevice_afc::mkdir(QString path)
{
    return socket() != 0 && succeeds([&] { mobiledevice_afc_mkdir(socket(), path); });
}

bool mobiledevice_afc::del(QString path)
{
    return socket() != 0 && succeeds([&] { mobiledevice_afc_remove(socket(), path); });
}

bool mobiledevice_afc::rename(QString from, QString to)
{
    return socket() != 0 && succeeds([&] { mobiledevice_afc_rename(socket(), from, to); });
}

bool mobiledevice_afc::openFile(QString path, afc_file_mode_t mode, AfcFile& file)
{
    if (socket() == 0)
        return false;
    unsigned long long handle = 0;
    if (!succeeds([&] { handle = mobiledevice_afc_open_file(socket(), path, mode); }) || handle == 0)
        return false;
    file.adopt(m_connection, handle);
    return true;
}

bool mobiledevice_afc::readFile(QString path, AfcFile& file)
{
    return openFile(path, kAfcModeRead, file);
}

bool mobiledevice_afc::writeFile(QString path, AfcFile& file)
{
    return openFile(path, kAfcModeWrite, file);
}
