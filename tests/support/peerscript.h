// The steps of the simulated "script" peer (platform/mobiledevice/peers/
// scriptpeer.cpp): what the device sends and what it expects to receive,
// each value given as property-list bytes (XML or binary).
#pragma once

#include <QByteArray>

#include <plist/plist.h>

class PeerScript
{
public:
    PeerScript();
    ~PeerScript();
    PeerScript(const PeerScript&) = delete;
    PeerScript& operator=(const PeerScript&) = delete;

    PeerScript& send(const QByteArray& plist, bool binary = false);
    // The next message must equal `plist`; `form` 0 XML, 1 binary, -1 any.
    PeerScript& expect(const QByteArray& plist, int form = -1);
    // The next message, whatever it holds.
    PeerScript& expectAny();
    PeerScript& close();

    // A new options dictionary {"Script": steps} for a scenario's service.
    plist_t options() const;

private:
    PeerScript& step(plist_t step);
    plist_t m_steps;
};
