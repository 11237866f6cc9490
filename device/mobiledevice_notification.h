// The notification proxy client: posts notifications on the device,
// registers the names of device notifications to hear of, and reads the
// relayed ones; and a thread that starts the service, registers a list of
// names and relays every notification as a signal until it is stopped, the
// device closes the connection or the proxy dies. Messages are dictionaries
// {"Command": ..., "Name": ...} sent as XML property lists. Failures throw
// std::runtime_error.
#pragma once

#include "mobiledevicetypes.h"

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

void mobiledevice_notification_start(am_device* device, unsigned int& socket);
// Posts `name` and shuts the proxy down: the socket is spent afterwards.
void mobiledevice_notification_post(unsigned int socket, const QString& name);
void mobiledevice_notification_observe(unsigned int socket, QString name);
// The name of the next relayed notification.
QString mobiledevice_notification_get_throw(unsigned int socket);

class mobiledevice_notification_thread : public QThread
{
    Q_OBJECT

public:
    mobiledevice_notification_thread(am_device* device, QObject* parent = nullptr);
    // Stops the relay loop, waits for it, and closes the service it started.
    ~mobiledevice_notification_thread() override;

    // Starts the service (closing one this object started before) and
    // registers every name, on the owner's thread before start().
    void startServiceThrow(const QStringList& names);
    // The loop ends within a fraction of a second; a stop asked before
    // start() ends it at once.
    void requestStop();
    void stopAndWait();

signals:
    void recNotification(QString cmd);

protected:
    void run() override;

private:
    enum class Wait { Message, Closed, Stopped };
    Wait waitForMessage() const;
    bool pause(int ms) const; // false when stopped meanwhile

    std::atomic<bool> m_stop;
    am_device* m_device;
    unsigned int m_socket;
};
