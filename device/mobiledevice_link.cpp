#include "mobiledevice_link.h"

#include "mobiledevice_service.h"

#include <QDebug>

#include <stdexcept>

const char* const kEmptyParameterString = "___EmptyParameterString___";

namespace {

const char* const kDeviceReady = "DLMessageDeviceReady";
const char* const kProcessMessage = "DLMessageProcessMessage";

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

CFType text(const QString& s)
{
    return CFType::createCFString(s);
}

} // namespace

QString mobiledevice_link_msg_name(const CFType& message)
{
    return message.isCFArray() && message.array_size() > 0 ? message.at(0).CFStringQString() : QString();
}

QString mobiledevice_link_xml(const CFType& value)
{
    return value.ref() ? QString::fromUtf8(value.CFPropertyListToBytes(100)) : QString();
}

CFType mobiledevice_link_param(const QString& s)
{
    return text(s.isEmpty() ? QString::fromLatin1(kEmptyParameterString) : s);
}

CFType mobiledevice_link_value(const CFType& value)
{
    return value.ref() ? value : text(QString::fromLatin1(kEmptyParameterString));
}

void mobiledevice_link_sc_version_exchange(unsigned int socket)
{
    const CFType first = mobiledevice_recmsg(socket, CFType(), kDeviceLinkWaitMs);
    if (mobiledevice_link_msg_name(first) == QLatin1String(kDeviceReady))
        return;
    // The device's own versions are not read: this side accepts them all.
    CFType answer = CFType::createCFArray();
    answer.append(text(QStringLiteral("DLMessageVersionExchange"))).append(text(QStringLiteral("DLVersionsOk")));
    mobiledevice_sendmsg(socket, answer, false, kDeviceLinkWaitMs);
    const CFType ready = mobiledevice_recmsg(socket, answer, kDeviceLinkWaitMs);
    if (mobiledevice_link_msg_name(ready) != QLatin1String(kDeviceReady))
        fail(QStringLiteral("invalid feedback after send DLMessageVersionExchange.\n%1").arg(mobiledevice_link_xml(ready)));
}

CFType mobiledevice_link_sc_send_process_message(unsigned int socket, CFType payload)
{
    if (!payload.ref())
        fail(QStringLiteral("A DLMessageProcessMessage needs a payload."));
    CFType message = CFType::createCFArray();
    message.append(text(QString::fromLatin1(kProcessMessage))).append(payload);
    mobiledevice_sendmsg(socket, message, true, kDeviceLinkWaitMs);
    return CFType::clone(message);
}

void mobiledevice_link_sc_disconnect(unsigned int socket, QString reason)
{
    CFType message = CFType::createCFArray();
    message.append(text(QStringLiteral("DLMessageDisconnect"))).append(mobiledevice_link_param(reason));
    mobiledevice_sendmsg(socket, message, true, kDeviceLinkWaitMs);
}

void mobiledevice_link_sc_recv_dlmsg(unsigned int socket, CFType& message, QString& name, CFType request)
{
    const CFType received = mobiledevice_recmsg(socket, request, kDeviceLinkWaitMs);
    const QString receivedName = mobiledevice_link_msg_name(received);
    if (!receivedName.startsWith(QLatin1String("DL"), Qt::CaseInsensitive)) {
        qDebug("mobiledevice_link_sc_recv_dlmessaeg recv invalid msg:\n%s",
               qPrintable(mobiledevice_link_xml(received)));
        fail(QStringLiteral("Did not receive a DL* message as expected."));
    }
    message = received;
    name = receivedName;
}

CFType mobiledevice_link_sc_recv_dlprocessmsg_inner(unsigned int socket, CFType request, CFType* whole)
{
    CFType message;
    QString name;
    mobiledevice_link_sc_recv_dlmsg(socket, message, name, request);
    // A process message without its payload is as wrong as any other name.
    if (name != QLatin1String(kProcessMessage) || message.array_size() < 2) {
        qDebug("mobiledevice_link_sc_recv_process_message recv invalid msg:\n%s",
               qPrintable(mobiledevice_link_xml(message)));
        fail(QStringLiteral("Did not receive DLMessageProcessMessage as expected."));
    }
    if (whole)
        *whole = message;
    return CFType::clone(message.at(1));
}
