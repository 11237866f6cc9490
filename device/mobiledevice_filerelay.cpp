#include "mobiledevice_filerelay.h"

#include "cftype.h"
#include "mobiledevice_service.h"

#include <stdexcept>

namespace {

const int kRequestWaitMs = 60000;
// The device gathers the sources before it answers.
const int kAcknowledgmentBodyWaitMs = 3600000;
const long kXmlFormat = 100;

} // namespace

void mobiledevice_filerelay_start(am_device* dev, unsigned int& socket)
{
    mobiledevice_startservice(dev, "com.apple.mobile.file_relay", socket);
}

void mobiledevice_filerelay(unsigned int socket, QStringList sources, const std::atomic<bool>* cancel)
{
    CFType request = CFType::createCFDictionary();
    CFType names = CFType::createCFArray();
    for (const QString& source : sources)
        names.append(CFType::createCFString(source));
    request.put(QStringLiteral("Sources"), names);
    mobiledevice_sendmsg(socket, request, false, kRequestWaitMs);
    const CFType reply = mobiledevice_recmsg(socket, request, kAcknowledgmentBodyWaitMs, cancel);
    const QString status = reply.get(QStringLiteral("Status")).CFStringQString();
    if (status.compare(QLatin1String("Acknowledged"), Qt::CaseInsensitive) == 0)
        return;
    const QString shown = reply.ref() ? QString::fromUtf8(reply.CFPropertyListToBytes(kXmlFormat)) : QString();
    throw std::runtime_error(QStringLiteral("invalid feedback.\n%1").arg(shown).toUtf8().toStdString());
}
