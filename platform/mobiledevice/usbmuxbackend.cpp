// The real backend: devices that usbmuxd sees (USB or network), reached with
// libimobiledevice. Lockdown sessions follow the device functions step by
// step; a started service's connection is handed out as a plain socket, or
// bridged through a socket pair when the service speaks SSL.
#include "backend.h"
#include "socketbridge.h"

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <usbmuxd.h>

#include <fcntl.h>
#include <unistd.h>

namespace qsmd {
namespace {

const char* const kClientLabel = "quillsprout";
constexpr auto kLookup = idevice_options(IDEVICE_LOOKUP_USBMUX | IDEVICE_LOOKUP_NETWORK);

struct UsbmuxState : DeviceState
{
    ~UsbmuxState() override { close(); }
    void close()
    {
        if (client) {
            if (session)
                lockdownd_stop_session(client, session);
            lockdownd_client_free(client);
        }
        if (dev)
            idevice_free(dev);
        free(session);
        dev = nullptr;
        client = nullptr;
        session = nullptr;
    }
    std::mutex mutex;
    idevice_t dev = nullptr;
    lockdownd_client_t client = nullptr;
    char* session = nullptr;
};

// One service connection of its own device handle, used by a bridge thread.
class ConnectionChannel : public BridgeChannel
{
public:
    ConnectionChannel(idevice_t dev, idevice_connection_t conn) : m_dev(dev), m_conn(conn) {}
    ~ConnectionChannel() override
    {
        idevice_disconnect(m_conn);
        idevice_free(m_dev);
    }
    int send(const char* buf, uint32_t len) override
    {
        uint32_t done = 0;
        while (done < len) {
            uint32_t sent = 0;
            if (idevice_connection_send(m_conn, buf + done, len - done, &sent) != IDEVICE_E_SUCCESS || sent == 0)
                return -1;
            done += sent;
        }
        return int(done);
    }
    int receive(char* buf, uint32_t len, unsigned ms) override
    {
        uint32_t got = 0;
        const idevice_error_t e = idevice_connection_receive_timeout(m_conn, buf, len, &got, ms);
        if (got > 0)
            return int(got);
        return e == IDEVICE_E_TIMEOUT ? 0 : -1;
    }

private:
    idevice_t m_dev;
    idevice_connection_t m_conn;
};

// The host id of the device's pairing record, or "".
std::string hostId(const std::string& udid)
{
    char* data = nullptr;
    uint32_t size = 0;
    std::string id;
    if (usbmuxd_read_pair_record(udid.c_str(), &data, &size) != 0 || !data)
        return id;
    plist_t record = nullptr;
    plist_from_memory(data, size, &record);
    free(data);
    plist_t node = record ? plist_dict_get_item(record, "HostID") : nullptr;
    // Read through the pointer: libplist's copying getter aborts on a text
    // that holds a zero, which a binary record can.
    uint64_t length = 0;
    const char* text = node && plist_get_node_type(node) == PLIST_STRING ? plist_get_string_ptr(node, &length) : nullptr;
    id = text ? std::string(text, size_t(length)) : std::string();
    plist_free(record);
    return id;
}

class UsbmuxBackend : public Backend
{
public:
    ~UsbmuxBackend() override
    {
        if (m_subscribed)
            idevice_event_unsubscribe();
        m_bridges.stopAll();
    }

    const char* name() const override { return "usbmux"; }

    int subscribe(am_device_notification_callback callback, void* context) override
    {
        m_subscribers.add(callback, context);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_subscribed)
            return 0;
        const idevice_error_t e = idevice_event_subscribe(&UsbmuxBackend::onEvent, this);
        m_subscribed = e == IDEVICE_E_SUCCESS;
        return e;
    }

    int connect(am_device* device) override
    {
        UsbmuxState* s = stateOf<UsbmuxState>(device);
        std::lock_guard<std::mutex> lock(s->mutex);
        s->close();
        const idevice_error_t e = idevice_new_with_options(&s->dev, s->udid.c_str(), kLookup);
        if (e != IDEVICE_E_SUCCESS)
            return e;
        const lockdownd_error_t l = lockdownd_client_new(s->dev, &s->client, kClientLabel);
        if (l != LOCKDOWN_E_SUCCESS)
            s->close();
        return l;
    }

    int isPaired(am_device* device) override { return hostId(device->state->udid).empty() ? 0 : 1; }

    int pair(am_device* device) override
    {
        return withClient(device, [](UsbmuxState* s) { return int(lockdownd_pair(s->client, nullptr)); });
    }

    int validatePairing(am_device* device) override
    {
        return withClient(device, [](UsbmuxState* s) { return int(lockdownd_validate_pair(s->client, nullptr)); });
    }

    int startSession(am_device* device) override
    {
        return withClient(device, [](UsbmuxState* s) {
            free(s->session);
            s->session = nullptr;
            const std::string host = hostId(s->udid);
            return int(lockdownd_start_session(s->client, host.c_str(), &s->session, nullptr));
        });
    }

    plist_t copyValue(am_device* device, const char* domain, const char* key) override
    {
        plist_t value = nullptr;
        withClient(device, [&](UsbmuxState* s) { return int(lockdownd_get_value(s->client, domain, key, &value)); });
        return value;
    }

    int setValue(am_device* device, const char* domain, const char* key, plist_t value) override
    {
        plist_t owned = value;
        const int result = withClient(device, [&](UsbmuxState* s) {
            owned = nullptr; // lockdownd_set_value takes the node over
            return int(lockdownd_set_value(s->client, domain, key, value));
        });
        plist_free(owned);
        return result;
    }

    int startService(am_device* device, const char* service, int* fd) override
    {
        return withClient(device, [&](UsbmuxState* s) { return serviceSocket(s, service, fd); });
    }

    int stopSession(am_device* device) override
    {
        return withClient(device, [](UsbmuxState* s) {
            const lockdownd_error_t e = lockdownd_stop_session(s->client, s->session);
            free(s->session);
            s->session = nullptr;
            return int(e);
        });
    }

    int disconnect(am_device* device) override
    {
        UsbmuxState* s = stateOf<UsbmuxState>(device);
        std::lock_guard<std::mutex> lock(s->mutex);
        const bool connected = s->client != nullptr;
        s->close();
        return connected ? 0 : kQSMDErrorNotConnected;
    }

private:
    template <typename Fn>
    int withClient(am_device* device, Fn fn)
    {
        UsbmuxState* s = stateOf<UsbmuxState>(device);
        std::lock_guard<std::mutex> lock(s->mutex);
        return s->client ? fn(s) : kQSMDErrorNotConnected;
    }

    int serviceSocket(UsbmuxState* s, const char* service, int* fd)
    {
        lockdownd_service_descriptor_t desc = nullptr;
        const lockdownd_error_t l = lockdownd_start_service(s->client, service, &desc);
        if (l != LOCKDOWN_E_SUCCESS)
            return l;
        const uint16_t port = desc->port;
        const bool ssl = desc->ssl_enabled != 0;
        lockdownd_service_descriptor_free(desc);
        // The connection gets a device handle of its own: it outlives this session.
        idevice_t dev = nullptr;
        idevice_connection_t conn = nullptr;
        idevice_error_t e = idevice_new_with_options(&dev, s->udid.c_str(), kLookup);
        if (e == IDEVICE_E_SUCCESS)
            e = idevice_connect(dev, port, &conn);
        if (e == IDEVICE_E_SUCCESS && ssl)
            e = idevice_connection_enable_ssl(conn);
        if (e != IDEVICE_E_SUCCESS) {
            if (conn)
                idevice_disconnect(conn);
            if (dev)
                idevice_free(dev);
            return e;
        }
        *fd = ssl ? startSocketBridge(m_bridges, std::make_unique<ConnectionChannel>(dev, conn)) : plainSocket(dev, conn);
        return *fd >= 0 ? 0 : kQSMDErrorInternal;
    }

    // A copy of the connection's own socket; the library's handles go.
    static int plainSocket(idevice_t dev, idevice_connection_t conn)
    {
        int raw = -1;
        int fd = -1;
        if (idevice_connection_get_fd(conn, &raw) == IDEVICE_E_SUCCESS && raw >= 0)
            fd = fcntl(raw, F_DUPFD_CLOEXEC, 0);
        idevice_disconnect(conn);
        idevice_free(dev);
        return fd;
    }

    am_device* record(const std::string& udid)
    {
        if (am_device* r = m_records.find(udid))
            return r;
        auto state = std::make_unique<UsbmuxState>();
        state->udid = udid;
        return m_records.add(std::move(state));
    }

    static void onEvent(const idevice_event_t* event, void* self)
    {
        auto backend = static_cast<UsbmuxBackend*>(self);
        if (!event || !event->udid)
            return;
        uint32_t code = 0;
        if (event->event == IDEVICE_DEVICE_ADD)
            code = ADNCI_MSG_CONNECTED;
        else if (event->event == IDEVICE_DEVICE_REMOVE)
            code = ADNCI_MSG_DISCONNECTED;
        else
            return; // pairing events are no attach or detach
        backend->m_subscribers.notify(backend->record(event->udid), code);
    }

    std::mutex m_mutex;
    bool m_subscribed = false;
    DeviceRecords m_records;
    Subscribers m_subscribers;
    ThreadSet m_bridges;
};

} // namespace

std::unique_ptr<Backend> makeUsbmuxBackend()
{
    return std::make_unique<UsbmuxBackend>();
}

} // namespace qsmd
