#include "deviceroad.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <stdexcept>
#include <utility>

#include "backupmanifest.h"
#include "cachedmessagedb.h"
#include "countrylibdb.h"
#include "iosdevice.h"
#include "iosloadfilerelaythread.h"
#include "itemmodelmain.h"
#include "itunesbackupsteps.h"
#include "makerserver.h"
#include "mobiledevice_loader.h"
#include "mobiledevice_session.h"
#include "progressform.h"
#include "progressrunner.h"
#include "tips.h"

struct DeviceRoad::AttachRoad
{
    void* device = nullptr;
    // Set by a detach report of this device while the road runs.
    bool detached = false;
};

namespace {

// The framework keeps the context's address for the whole run, so it lives
// as long as the process; stopListening only empties it.
_mobiledevice_listen_ctx g_listen_ctx;

// How often a waiting detach looks whether the running operation has ended.
const int kDeferredDetachPollMs = 100;
// The line that the conversations step names in its error box.
const int kChatsErrorLine = 522;

QString text(const QList<CFType>& values, int i)
{
    return i < values.size() ? values.at(i).CFStringQString() : QString();
}

// Identity and country over lockdown. Throws std::runtime_error when the
// session or a value cannot be had.
void readDeviceValues(IOSDevice& device)
{
    const QList<CFType> values = mobiledevice_info(
        device.device,
        {QStringLiteral("UniqueDeviceID"), QStringLiteral("DeviceName"), QStringLiteral("MobileSubscriberCountryCode"),
         QStringLiteral("ProductVersion"), QStringLiteral("ProductType"), QStringLiteral("CarrierBundleInfoArray")},
        QString());
    device.udid = text(values, 0);
    device.deviceName = text(values, 1);
    device.productVersion = text(values, 3);
    device.productType = text(values, 4);

    // A locale named by language alone takes that language's usual country;
    // one that names no locale gives "C", which has no country part.
    const QList<CFType> locale =
        mobiledevice_info(device.device, {QStringLiteral("Locale")}, QStringLiteral("com.apple.international"));
    const QStringList parts = QLocale(text(locale, 0)).name().split(QLatin1Char('_'));
    device.countryCode = parts.size() > 1 ? parts.at(1).toLower() : QString();
}

QString notesText()
{
    const QString guide = g_makerServerUrl(QStringLiteral("/tutorial/encrypt-itunes-backups.html")).toString();
    return QCoreApplication::translate(
               "MainWindow",
               "<p>Notes:</p><p><nobr><b>1.</b>  If your iPhone is protected with a passcode, please enter your "
               "passcode on iPhone first.</nobr></p><p><b>2.</b> If you have Health and HomeKik data on your "
               "iPhone, please set a password in iTunes to encrypt your iPhone backups on computer.(<a "
               "href=\"%1\">How to?</a>)</p>")
        .arg(guide);
}

// iOS 5 to 7, and a device that reports no version, send their databases
// through file_relay; the others only through a backup.
bool takesFileRelay(const IOSDevice& device)
{
    const QList<int> version = device.versionList();
    return version.isEmpty() || (version.first() >= 5 && version.first() <= 7);
}

// The cached sms.db opened by the reader of its schema, with the device's
// country. Nothing is read yet.
QSharedPointer<AbsMessageDb> cachedDatabase(const IOSDevice& device)
{
    return openCachedMessageDb(device.cacheDir(), CountryLibDb(QString()).infoByCode(device.countryCode));
}

} // namespace

DeviceRoad::DeviceRoad(ItemModelMain& model, QWidget* window)
    : QObject(window)
    , m_model(model)
    , m_window(window)
{
}

DeviceRoad::~DeviceRoad() = default;

void DeviceRoad::listen(const _mobiledevice_listen_ctx& target)
{
    if (!mobiledevice_loader_is_loaded())
        return;
    mobiledevice_set_listen_ctx(&g_listen_ctx, target);
    m_listener = target.receiver;
    try {
        if (!mobiledevice_listen(&g_listen_ctx))
            Tips::warning(QCoreApplication::translate(
                "MainWindow", "Failed to detect iPhone. Please launch iTunes first and then re-connect your iPhone. "
                              "Once your iPhone is visible in iTunes, please restart Quillsprout software."));
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        Tips::error(QString::fromUtf8(e.what()));
    }
}

void DeviceRoad::stopListening()
{
    // Another window may have taken the context over since.
    if (m_listener && g_listen_ctx.receiver == m_listener)
        mobiledevice_unlisten(&g_listen_ctx);
    m_listener = nullptr;
}

void DeviceRoad::attach(void* device)
{
    IOSDevice record;
    record.device = static_cast<am_device*>(device);
    try {
        readDeviceValues(record);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    // The id names the cache and backup folders: an empty one would name
    // their parents, and one with a slash a folder elsewhere.
    const QString idError = record.udidError();
    if (!idError.isEmpty()) {
        qWarning("%s", qUtf8Printable(idError));
        Tips::error(idError);
        return;
    }

    AttachRoad road;
    road.device = device;
    m_attachRoads.append(&road);
    bool copied = false;
    try {
        Tips::info(notesText());
        copied = !road.detached && copyDeviceDatabases(record, road);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        Tips::error(QString::fromUtf8(e.what()));
    }
    m_attachRoads.removeOne(&road);
    if (copied && !road.detached)
        showDevice(record);
    runDeferredDetaches();
}

// Each copying step ends the road when it did not succeed (its dialog has
// shown any error) or when the device went away meanwhile.
bool DeviceRoad::copyDeviceDatabases(IOSDevice& device, const AttachRoad& road)
{
    if (!takesFileRelay(device))
        return copyThroughBackup(device, road);
    ProgressForm form(QString(), m_window);
    IOSLoadFileRelayThread worker(device, form, m_window);
    return g_runWithProgress(form, worker) && !road.detached;
}

bool DeviceRoad::copyThroughBackup(IOSDevice& device, const AttachRoad& road)
{
    using namespace ITunesBackupSteps;
    if (!device.checkiTunesBackupSettings(true, false) || road.detached)
        return false;
    QDir root;
    if (!backUpDevice(device, m_window, root) || road.detached)
        return false;
    try {
        const QSharedPointer<BackupManifest> backup = openDeviceBackup(device, root, m_window);
        if (!backup || road.detached)
            return false;
        return cacheBackupInto(*backup, device.cacheDir(), m_window) && !road.detached;
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return false;
    }
}

// The node is made only once its database could be constructed; a failure
// to read the conversations leaves it listed without them.
void DeviceRoad::showDevice(const IOSDevice& device)
{
    _IOSDeviceItemNode* node = nullptr;
    try {
        node = m_model.addIOSDevice(cachedDatabase(device), device);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    try {
        node->db->chats(node->data);
    } catch (const std::exception& e) {
        Tips::error(QStringLiteral("%1, line:%2").arg(QString::fromUtf8(e.what())).arg(kChatsErrorLine));
        return;
    }
    try {
        m_model.listChats(node);
        emit deviceListed(node);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        Tips::error(QString::fromUtf8(e.what()));
    }
}

void DeviceRoad::detach(void* device)
{
    if (!device)
        return; // saved devices have no handle
    for (AttachRoad* road : std::as_const(m_attachRoads)) {
        if (road->device == device)
            road->detached = true;
    }
    // The node is chosen now: a node that a later attach of the device adds
    // must not go with this report.
    for (AbsTreeItemModel::_ItemNode* child : m_model.rootDevice->childs) {
        if (child->type == ITEMNODE_IOS_DEVICE && static_cast<_IOSDeviceItemNode*>(child)->device.device == device
            && !m_deferredDetaches.contains(child)) {
            m_deferredDetaches.append(child);
            break;
        }
    }
    runDeferredDetaches();
}

// A node goes only while no operation runs: its workers, dialogs and boxes
// may still read the node's messages and database. An operation shows a
// modal window while it waits; a step's progress dialog counts from its
// making, before it is shown.
bool DeviceRoad::operationRunning() const
{
    return QApplication::activeModalWidget() || !m_attachRoads.isEmpty() || m_window->findChild<ProgressForm*>();
}

void DeviceRoad::runDeferredDetaches()
{
    if (m_deferredDetaches.isEmpty())
        return;
    if (operationRunning()) {
        if (!m_detachTimer) {
            m_detachTimer = new QTimer(this);
            m_detachTimer->setInterval(kDeferredDetachPollMs);
            connect(m_detachTimer, &QTimer::timeout, this, &DeviceRoad::runDeferredDetaches);
        }
        m_detachTimer->start();
        return;
    }
    if (m_detachTimer)
        m_detachTimer->stop();
    const QList<const AbsTreeItemModel::_ItemNode*> nodes = std::exchange(m_deferredDetaches, {});
    for (const AbsTreeItemModel::_ItemNode* node : nodes) {
        // Still in the tree: the Disconnect Device command may have taken it.
        if (!m_model.rootDevice->childs.contains(const_cast<AbsTreeItemModel::_ItemNode*>(node)))
            continue;
        emit nodeGoing(node);
        m_model.removeNode(node);
    }
}
