// Builds scenario files of the simulated device backend (the format is
// described in platform/mobiledevice/sim/simscenario.h) and drives the
// loaded stand-in through its QSMDSim... functions.
#pragma once

#include <QByteArray>
#include <QString>

#include <plist/plist.h>

class SimDeviceScenario
{
public:
    SimDeviceScenario();
    ~SimDeviceScenario();
    SimDeviceScenario(const SimDeviceScenario&) = delete;
    SimDeviceScenario& operator=(const SimDeviceScenario&) = delete;

    // Adds a device (paired, no values) the first time, then returns it.
    plist_t device(const QString& udid);
    // Takes `value` over; an empty domain is the default one.
    SimDeviceScenario& value(const QString& udid, const QString& domain, const QString& key, plist_t value);
    SimDeviceScenario& text(const QString& udid, const QString& domain, const QString& key, const QString& text);
    SimDeviceScenario& flag(const QString& udid, const char* key, bool on); // Paired, Ignored
    SimDeviceScenario& result(const QString& udid, const QString& function, qint64 result);
    SimDeviceScenario& service(const QString& udid, const QString& name, const QString& peer,
                         const QByteArray& sendBytes = QByteArray());
    // A service whose peer reads the options of the dictionary `options`,
    // which it takes over.
    SimDeviceScenario& serviceOptions(const QString& udid, const QString& name, const QString& peer, plist_t options);
    // Adds the device when it is new; `delayMs` is the pause before it.
    SimDeviceScenario& event(const QString& udid, const QString& kind, qint64 delayMs = 0); // "attach", "detach"
    SimDeviceScenario& eventCode(const QString& udid, qint64 code);
    SimDeviceScenario& manualEvents(bool manual);

    QByteArray xml() const;
    // Writes the scenario to `path`; false on failure.
    bool write(const QString& path) const;
    // Writes it into a temporary file and loads it into the stand-in.
    bool load() const;

    // Points QUILLSPROUT_DEVICE_SIM at an empty scenario, before the
    // stand-in is loaded, so that it chooses the simulated backend.
    static void useSimulatedBackend();

    // The stand-in's own functions (the stand-in must be loaded).
    static bool fireNextEvent();
    static void* deviceRecord(const QString& udid);
    static int callCount(const char* function);

    // The dictionary under `key` of `parent`, added when missing.
    plist_t dict(plist_t parent, const char* key);

private:
    plist_t m_root;
};
