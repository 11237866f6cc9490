#include "simdevicescenario.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryFile>

#include <cstdlib>

namespace {

QLibrary& standIn()
{
    static QLibrary library(QDir(qEnvironmentVariable("QUILLSPROUT_FRAMEWORKS")).filePath("libqs_mobiledevice.so"));
    if (!library.isLoaded())
        library.load();
    return library;
}

template <typename Fn>
Fn fn(const char* name)
{
    return reinterpret_cast<Fn>(standIn().resolve(name));
}

QByteArray utf8(const QString& s)
{
    return s.toUtf8();
}

} // namespace

SimDeviceScenario::SimDeviceScenario() : m_root(plist_new_dict())
{
    plist_dict_set_item(m_root, "Devices", plist_new_array());
    plist_dict_set_item(m_root, "Events", plist_new_array());
    plist_dict_set_item(m_root, "ManualEvents", plist_new_bool(1));
}

SimDeviceScenario::~SimDeviceScenario()
{
    plist_free(m_root);
}

plist_t SimDeviceScenario::dict(plist_t parent, const char* key)
{
    plist_t node = plist_dict_get_item(parent, key);
    if (!node) {
        node = plist_new_dict();
        plist_dict_set_item(parent, key, node);
    }
    return node;
}

plist_t SimDeviceScenario::device(const QString& udid)
{
    plist_t devices = plist_dict_get_item(m_root, "Devices");
    for (uint32_t i = 0; i < plist_array_get_size(devices); ++i) {
        plist_t d = plist_array_get_item(devices, i);
        char* id = nullptr;
        plist_get_string_val(plist_dict_get_item(d, "UniqueDeviceID"), &id);
        const bool same = id && udid == QString::fromUtf8(id);
        free(id);
        if (same)
            return d;
    }
    plist_t d = plist_new_dict();
    plist_dict_set_item(d, "UniqueDeviceID", plist_new_string(utf8(udid).constData()));
    plist_array_append_item(devices, d);
    return d;
}

SimDeviceScenario& SimDeviceScenario::value(const QString& udid, const QString& domain, const QString& key, plist_t value)
{
    plist_t d = device(udid);
    plist_t target = domain.isEmpty() ? dict(d, "Values") : dict(dict(d, "Domains"), utf8(domain).constData());
    plist_dict_set_item(target, utf8(key).constData(), value);
    return *this;
}

SimDeviceScenario& SimDeviceScenario::text(const QString& udid, const QString& domain, const QString& key, const QString& text)
{
    return value(udid, domain, key, plist_new_string(utf8(text).constData()));
}

SimDeviceScenario& SimDeviceScenario::flag(const QString& udid, const char* key, bool on)
{
    plist_dict_set_item(device(udid), key, plist_new_bool(on));
    return *this;
}

SimDeviceScenario& SimDeviceScenario::result(const QString& udid, const QString& function, qint64 result)
{
    plist_dict_set_item(dict(device(udid), "Results"), utf8(function).constData(), plist_new_uint(uint64_t(result)));
    return *this;
}

SimDeviceScenario& SimDeviceScenario::service(const QString& udid, const QString& name, const QString& peer,
                                  const QByteArray& sendBytes)
{
    plist_t s = plist_new_dict();
    plist_dict_set_item(s, "Peer", plist_new_string(utf8(peer).constData()));
    plist_dict_set_item(s, "Send", plist_new_data(sendBytes.constData(), uint64_t(sendBytes.size())));
    plist_dict_set_item(dict(device(udid), "Services"), utf8(name).constData(), s);
    return *this;
}

SimDeviceScenario& SimDeviceScenario::serviceOptions(const QString& udid, const QString& name, const QString& peer,
                                                     plist_t options)
{
    plist_dict_set_item(options, "Peer", plist_new_string(utf8(peer).constData()));
    plist_dict_set_item(dict(device(udid), "Services"), utf8(name).constData(), options);
    return *this;
}

SimDeviceScenario& SimDeviceScenario::event(const QString& udid, const QString& kind, qint64 delayMs)
{
    device(udid);
    plist_t e = plist_new_dict();
    plist_dict_set_item(e, "Event", plist_new_string(utf8(kind).constData()));
    plist_dict_set_item(e, "Device", plist_new_string(utf8(udid).constData()));
    if (delayMs > 0)
        plist_dict_set_item(e, "DelayMs", plist_new_uint(uint64_t(delayMs)));
    plist_array_append_item(plist_dict_get_item(m_root, "Events"), e);
    return *this;
}

SimDeviceScenario& SimDeviceScenario::eventCode(const QString& udid, qint64 code)
{
    device(udid);
    plist_t e = plist_new_dict();
    plist_dict_set_item(e, "Code", plist_new_uint(uint64_t(code)));
    plist_dict_set_item(e, "Device", plist_new_string(utf8(udid).constData()));
    plist_array_append_item(plist_dict_get_item(m_root, "Events"), e);
    return *this;
}

SimDeviceScenario& SimDeviceScenario::manualEvents(bool manual)
{
    plist_dict_set_item(m_root, "ManualEvents", plist_new_bool(manual));
    return *this;
}

QByteArray SimDeviceScenario::xml() const
{
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_xml(m_root, &out, &len);
    const QByteArray bytes(out, int(len));
    free(out);
    return bytes;
}

bool SimDeviceScenario::write(const QString& path) const
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(xml()) == xml().size();
}

bool SimDeviceScenario::load() const
{
    QTemporaryFile file;
    if (!file.open() || !write(file.fileName()))
        return false;
    auto loadFn = fn<int (*)(const char*)>("QSMDSimLoadScenario");
    return loadFn && loadFn(QFile::encodeName(file.fileName()).constData()) == 0;
}

void SimDeviceScenario::useSimulatedBackend()
{
    static QTemporaryFile file;
    if (!file.isOpen() && file.open())
        SimDeviceScenario().write(file.fileName());
    qputenv("QUILLSPROUT_DEVICE_SIM", QFile::encodeName(file.fileName()));
}

bool SimDeviceScenario::fireNextEvent()
{
    auto fire = fn<int (*)()>("QSMDSimFireNextEvent");
    return fire && fire() == 1;
}

void* SimDeviceScenario::deviceRecord(const QString& udid)
{
    auto find = fn<void* (*)(const char*)>("QSMDSimDevice");
    return find ? find(utf8(udid).constData()) : nullptr;
}

int SimDeviceScenario::callCount(const char* function)
{
    auto count = fn<int (*)(const char*)>("QSMDSimCallCount");
    return count ? count(function) : -1;
}
