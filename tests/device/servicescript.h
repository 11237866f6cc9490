// Helpers of the tests of the device service clients: scenarios whose
// service is played by the simulated "script" peer, and property-list
// values built in one line.
#pragma once

#include "cftype.h"
#include "mobiledevice_service.h"
#include "peerscript.h"
#include "simdevicescenario.h"

#include <QStringList>

namespace servicescript {

inline const char* phoneId()
{
    return "clients";
}

inline am_device* phone()
{
    return static_cast<am_device*>(SimDeviceScenario::deviceRecord(phoneId()));
}

// An array of strings.
inline CFType strings(const QStringList& items)
{
    CFType array = CFType::createCFArray();
    for (const QString& item : items)
        array.append(CFType::createCFString(item));
    return array;
}

inline QByteArray xml(const CFType& value)
{
    return value.CFPropertyListToBytes(100);
}

// Loads a scenario in which `service` of the phone plays `script`.
inline bool loadScript(const char* service, const PeerScript& script)
{
    SimDeviceScenario sc;
    sc.serviceOptions(phoneId(), service, "script", script.options());
    return sc.load();
}

// The device's side of the DeviceLink greeting: its version exchange, the
// computer's answer, and ready.
inline PeerScript& greeting(PeerScript& script)
{
    CFType versions = strings({"DLMessageVersionExchange"});
    versions.append(CFType::createCFNumberInt32(300)).append(CFType::createCFNumberInt32(0));
    return script.send(xml(versions))
        .expect(xml(strings({"DLMessageVersionExchange", "DLVersionsOk"})), 0)
        .send(xml(strings({"DLMessageDeviceReady"})));
}

// Asks the script peer whether every step passed: "ScriptComplete", or its
// report of the first message that did not match.
inline QString scriptVerdict(unsigned int socket)
{
    mobiledevice_sendmsg(socket, CFType::createCFString("Verdict?"), false, 5000);
    const CFType answer = mobiledevice_recmsg(socket, CFType(), 5000);
    return answer.isCFString() ? answer.CFStringQString() : QString::fromUtf8(xml(answer));
}

} // namespace servicescript
