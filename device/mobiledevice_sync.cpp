#include "mobiledevice_sync.h"

#include "mobiledevice_link.h"
#include "mobiledevice_service.h"
#include "mobiledevice_session.h"

#include <initializer_list>
#include <stdexcept>

namespace {

// The finishing answer may take the device a long time.
const int kFinishWaitMs = 3600000;

CFType text(const QString& s)
{
    return CFType::createCFString(s);
}

// [command, dataClass, extras...]
CFType syncMessage(const char* command, const _mobiledevice_sync_ctx& ctx, std::initializer_list<CFType> extras = {})
{
    CFType message = CFType::createCFArray();
    message.append(text(QString::fromLatin1(command))).append(text(ctx.dataClass));
    for (const CFType& extra : extras)
        message.append(extra);
    return message;
}

CFType send(unsigned int socket, const CFType& message)
{
    mobiledevice_sendmsg(socket, message, false, kDeviceLinkWaitMs);
    return message;
}

[[noreturn]] void badFeedback(const CFType& request, const CFType& reply)
{
    throw std::runtime_error(QStringLiteral("invalid feedback after send %1.\n%2")
                                 .arg(mobiledevice_link_msg_name(request), mobiledevice_link_xml(reply))
                                 .toUtf8()
                                 .toStdString());
}

// The reply to `request`, which must be named `expected`.
CFType expectReply(unsigned int socket, const CFType& request, const char* expected)
{
    const CFType reply = mobiledevice_recmsg(socket, request, kDeviceLinkWaitMs);
    if (mobiledevice_link_msg_name(reply) != QLatin1String(expected))
        badFeedback(request, reply);
    return reply;
}

} // namespace

void mobiledevice_sync_start(am_device* device, const _mobiledevice_sync_ctx& ctx, unsigned int& socket, bool ping)
{
    mobiledevice_startservice(device, "com.apple.mobilesync", socket);
    mobiledevice_link_sc_version_exchange(socket);
    CFType announce = CFType::createCFArray();
    announce.append(text(QStringLiteral("SDMessageSyncDataClassWithDevice")))
        .append(text(ctx.dataClass))
        .append(text(ctx.deviceAnchor))
        .append(text(ctx.computerAnchor))
        .append(CFType::createCFNumberInt32(106));
    expectReply(socket, send(socket, announce), "SDMessageSyncDataClassWithComputer");
    if (ping) {
        CFType message = CFType::createCFArray();
        message.append(text(QStringLiteral("DLMessagePing")))
            .append(text(QStringLiteral("Preparing to get changes for device")));
        send(socket, message);
    }
}

QList<CFType> mobiledevice_sync_records(unsigned int socket, const _mobiledevice_sync_ctx& ctx)
{
    const CFType request = send(socket, syncMessage("SDMessageGetAllRecordsFromDevice", ctx));
    QList<CFType> batches;
    for (;;) {
        const CFType reply = mobiledevice_recmsg(socket, request, kDeviceLinkWaitMs);
        const QString command = mobiledevice_link_msg_name(reply);
        if (command == QLatin1String("SDMessageDeviceReadyToReceiveChanges"))
            return batches;
        if (command != QLatin1String("SDMessageProcessChanges"))
            badFeedback(request, reply);
        const CFType batch = reply.at(2);
        if (batch.isCFDictionary())
            batches.append(CFType::clone(batch));
        send(socket, syncMessage("SDMessageAcknowledgeChangesFromDevice", ctx));
    }
}

CFType mobiledevice_sync_send(unsigned int socket, CFType changes, const _mobiledevice_sync_ctx& ctx, CFType actions)
{
    const CFType request =
        send(socket, syncMessage("SDMessageProcessChanges", ctx, {mobiledevice_link_value(changes), CFType::createCFBoolean(false), mobiledevice_link_value(actions)}));
    const CFType mapping = expectReply(socket, request, "SDMessageRemapRecordIdentifiers").at(2);
    return mapping.ref() ? CFType::clone(mapping) : CFType();
}

void mobiledevice_sync_send_finish(unsigned int socket, const _mobiledevice_sync_ctx& ctx)
{
    const CFType request = send(socket, syncMessage("SDMessageFinishSessionOnDevice", ctx));
    mobiledevice_recmsg(socket, request, kFinishWaitMs);
}

void mobiledevice_sync_clear(unsigned int socket, const _mobiledevice_sync_ctx& ctx)
{
    const CFType request = send(
        socket, syncMessage("SDMessageClearAllRecordsOnDevice", ctx, {text(QString::fromLatin1(kEmptyParameterString))}));
    expectReply(socket, request, "SDMessageDeviceWillClearAllRecords");
}

int mobiledevice_sync_set_tethered(am_device* device, QString key, bool disable)
{
    CFType value = CFType::createCFDictionary();
    value.put(QStringLiteral("DisableTethered"), CFType::createCFBoolean(disable));
    return mobiledevice_set(device, QStringLiteral("com.apple.mobile.tethered_sync"), key, value);
}
