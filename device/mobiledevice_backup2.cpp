#include "mobiledevice_backup2.h"

#include "mobiledevice_link.h"
#include "mobiledevice_service.h"

#include <QDebug>

#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

CFType text(const QString& s)
{
    return CFType::createCFString(s);
}

// Copies `key` of `options` to the top level of `message`, when present.
void lift(CFType& message, const CFType& options, const QString& key)
{
    const CFType value = options.get(key);
    if (value.ref())
        message.put(key, value);
}

} // namespace

void mobiledevice_backup2_start(am_device* device, unsigned int& socket)
{
    mobiledevice_startservice(device, "com.apple.mobilebackup2", socket);
    mobiledevice_link_sc_version_exchange(socket);
}

double mobiledevice_backup2_version_exchange(unsigned int socket, double* versions, char count)
{
    CFType supported = CFType::createCFArray();
    for (int i = 0; i < int(static_cast<signed char>(count)); ++i)
        supported.append(CFType::createCFNumberDouble(versions[i]));
    CFType hello = CFType::createCFDictionary();
    hello.put(QStringLiteral("SupportedProtocolVersions"), supported);
    const CFType sent = mobiledevice_backup2_send_msg(socket, QStringLiteral("Hello"), hello);
    int errorCode = 0;
    const CFType response = mobiledevice_backup2_recv_dlmessage_response(socket, errorCode, sent, nullptr);
    if (errorCode == 1)
        fail(QStringLiteral("mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_NO_COMMON_VERSION"));
    if (errorCode != 0)
        fail(QStringLiteral("mobiledevice_backup2_version_exchange: MOBILEBACKUP2_E_REPLY_NOT_OK"));
    return response.get(QStringLiteral("ProtocolVersion")).CFNumberDouble(0.0);
}

CFType mobiledevice_backup2_send_msg(unsigned int socket, QString name, CFType message)
{
    message.put(QStringLiteral("MessageName"), text(name));
    return mobiledevice_link_sc_send_process_message(socket, message);
}

void mobiledevice_backup2_recv_msg(unsigned int socket, CFType& message, QString& name)
{
    mobiledevice_link_sc_recv_dlmsg(socket, message, name, CFType());
}

CFType mobiledevice_backup2_recv_dlmessage_response(unsigned int socket, int& errorCode, CFType request,
                                                    CFType* whole)
{
    CFType received;
    const CFType payload = mobiledevice_link_sc_recv_dlprocessmsg_inner(socket, request, &received);
    if (payload.get(QStringLiteral("MessageName")).CFStringQString() != QLatin1String("Response"))
        fail(QStringLiteral("Did not receive a message(\"Message Name\" is \"Response\").\n%1")
                 .arg(mobiledevice_link_xml(received)));
    errorCode = payload.get(QStringLiteral("ErrorCode")).CFNumberInt(0);
    if (whole)
        *whole = received;
    return payload;
}

CFType mobiledevice_backup2_send_request(unsigned int socket, QString request, QString target, QString source,
                                         CFType options)
{
    CFType message = CFType::createCFDictionary();
    message.put(QStringLiteral("TargetIdentifier"), text(target));
    if (!source.isEmpty())
        message.put(QStringLiteral("SourceIdentifier"), text(source));
    if (options.ref()) {
        message.put(QStringLiteral("Options"), options);
        if (request == QLatin1String("Unback"))
            lift(message, options, QStringLiteral("Password"));
        if (request == QLatin1String("EnableCloudBackup"))
            lift(message, options, QStringLiteral("CloudBackupState"));
    }
    return mobiledevice_backup2_send_msg(socket, request, message);
}

CFType mobiledevice_backup2_send_status_response(unsigned int socket, int status, QString statusText, CFType extra)
{
    CFType message = CFType::createCFArray();
    message.append(text(QStringLiteral("DLMessageStatusResponse")))
        .append(CFType::createCFNumberInt32(status))
        .append(mobiledevice_link_param(statusText))
        .append(mobiledevice_link_value(extra));
    mobiledevice_sendmsg(socket, message, true, kDeviceLinkWaitMs);
    return CFType::clone(message);
}

void mobiledevice_backup2_set_enable_icloud(unsigned int socket, QString udid, bool enable)
{
    qDebug("Set EnableCloudBackup: %d", enable ? 1 : 0);
    CFType options = CFType::createCFDictionary();
    options.put(QStringLiteral("CloudBackupState"), CFType::createCFBoolean(enable));
    mobiledevice_backup2_send_request(socket, QStringLiteral("EnableCloudBackup"), udid, udid, options);
    int errorCode = 0;
    mobiledevice_backup2_recv_dlmessage_response(socket, errorCode, CFType(), nullptr);
    if (errorCode != 0)
        fail(QStringLiteral("Set EnableCloudBackup error code: %1").arg(errorCode));
}

void mobiledevice_backup2_request_backup(unsigned int socket, QString udid, bool full)
{
    qDebug("Requesting backup from device, %s", full ? "Full backup mode" : "Incremental backup mode");
    CFType options;
    if (full) {
        options = CFType::createCFDictionary();
        options.put(QStringLiteral("ForceFullBackup"), CFType::createCFBoolean(true));
    }
    mobiledevice_backup2_send_request(socket, QStringLiteral("Backup"), udid, udid, options);
}
