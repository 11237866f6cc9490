// The road of an attached iPhone to the source tree: its identity and locale
// read over lockdown, its message and address-book databases copied into its
// cache folder (through file_relay on iOS 5 to 7, else through a device
// backup made by the backup tool and cached from it), the cached sms.db
// opened by the reader of its schema, and a device node with the device's
// conversations. A detach removes the node again.
//
// An attach runs nested event loops (message boxes, password and progress
// dialogs), during which detach reports arrive. A detach of the device being
// attached stops its road before a node is made; a detach of a device that
// has a node waits until no operation runs, since an operation's workers and
// dialogs may still use what the node owns.
#pragma once

#include <QList>
#include <QObject>

#include "abstreeitemmodel.h"

struct _mobiledevice_listen_ctx;

class IOSDevice;
class ItemModelMain;
class QTimer;
class QWidget;

class DeviceRoad : public QObject
{
    Q_OBJECT
public:
    // `model` receives the device nodes. `window` parents the road's dialogs;
    // a progress dialog among its children counts as a running operation.
    DeviceRoad(ItemModelMain& model, QWidget* window);
    ~DeviceRoad() override;

    // When the device frameworks are loaded: fills the program's one
    // listener context with `target` (the window's two entries) and
    // subscribes it for the rest of the run; a failure is shown in a box.
    void listen(const _mobiledevice_listen_ctx& target);
    // No notification reaches the listening receiver once this returns, so
    // it may be destroyed; call it from the receiver's thread.
    void stopListening();

    // An attach report: the device's databases copied and its node listed.
    void attach(void* device);
    // A detach report: the first device node holding that handle goes, once
    // no operation runs; a road attaching that handle stops.
    void detach(void* device);

signals:
    // A device's node was listed with its conversations.
    void deviceListed(const AbsTreeItemModel::_ItemNode* node);
    // The node goes from the model right after this returns: whatever shows
    // its messages lets go of them now.
    void nodeGoing(const AbsTreeItemModel::_ItemNode* node);

private:
    struct AttachRoad;
    bool copyDeviceDatabases(IOSDevice& device, const AttachRoad& road);
    bool copyThroughBackup(IOSDevice& device, const AttachRoad& road);
    void showDevice(const IOSDevice& device);
    bool operationRunning() const;
    void runDeferredDetaches();

    ItemModelMain& m_model;
    QWidget* m_window;
    // The attach roads running now, and the detaches that wait until no
    // operation runs.
    QList<AttachRoad*> m_attachRoads;
    QList<const AbsTreeItemModel::_ItemNode*> m_deferredDetaches;
    QTimer* m_detachTimer = nullptr;
    QObject* m_listener = nullptr; // the receiver this road subscribed
};
