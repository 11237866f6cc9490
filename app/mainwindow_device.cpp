// The road of an attached iPhone to the source tree: its identity and locale
// read over lockdown, its message and address-book databases copied into its
// cache folder (through file_relay on iOS 5 to 7, else through a device
// backup made by the backup tool and cached from it), the cached sms.db
// opened by the reader of its schema, and a device node with the device's
// conversations. A detach removes the node again.
//
// The slot runs nested event loops (message boxes, password and progress
// dialogs), during which detach reports arrive. A detach of the device being
// attached stops its road before a node is made; a detach of a device that
// has a node waits until no operation runs, since an operation's workers and
// dialogs may still use what the node owns.
#include "mainwindow.h"

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
#include "mobiledevice_session.h"
#include "progressform.h"
#include "progressrunner.h"
#include "tips.h"
#include "ui_mainwindow.h"

struct MainWindow::AttachRoad
{
    void* device = nullptr;
    // Set by a detach report of this device while the road runs.
    bool detached = false;
};

namespace {

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

void MainWindow::iosDeviceConnected(void* device)
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
    attachRoads.append(&road);
    bool copied = false;
    try {
        Tips::info(notesText());
        copied = !road.detached && copyDeviceDatabases(record, road);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        Tips::error(QString::fromUtf8(e.what()));
    }
    attachRoads.removeOne(&road);
    if (copied && !road.detached)
        showDevice(record);
    runDeferredDetaches();
}

// Each copying step ends the road when it did not succeed (its dialog has
// shown any error) or when the device went away meanwhile.
bool MainWindow::copyDeviceDatabases(IOSDevice& device, const AttachRoad& road)
{
    if (!takesFileRelay(device))
        return copyThroughBackup(device, road);
    ProgressForm form(QString(), this);
    IOSLoadFileRelayThread worker(device, form, this);
    return g_runWithProgress(form, worker) && !road.detached;
}

bool MainWindow::copyThroughBackup(IOSDevice& device, const AttachRoad& road)
{
    using namespace ITunesBackupSteps;
    if (!device.checkiTunesBackupSettings(true, false) || road.detached)
        return false;
    QDir root;
    if (!backUpDevice(device, this, root) || road.detached)
        return false;
    try {
        const QSharedPointer<BackupManifest> backup = openDeviceBackup(device, root, this);
        if (!backup || road.detached)
            return false;
        return cacheBackupInto(*backup, device.cacheDir(), this) && !road.detached;
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return false;
    }
}

// The node is made only once its database could be constructed; a failure
// to read the conversations leaves it listed without them.
void MainWindow::showDevice(const IOSDevice& device)
{
    _IOSDeviceItemNode* node = nullptr;
    try {
        node = mainModel->addIOSDevice(cachedDatabase(device), device);
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
        mainModel->listChats(node);
        iniShowDSNode(node);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        Tips::error(QString::fromUtf8(e.what()));
    }
}

void MainWindow::iosDeviceDisconnected(void* device)
{
    if (!device)
        return; // saved devices have no handle
    for (AttachRoad* road : std::as_const(attachRoads)) {
        if (road->device == device)
            road->detached = true;
    }
    // The node is chosen now: a node that a later attach of the device adds
    // must not go with this report.
    for (AbsTreeItemModel::_ItemNode* child : mainModel->rootDevice->childs) {
        if (child->type == ITEMNODE_IOS_DEVICE && static_cast<_IOSDeviceItemNode*>(child)->device.device == device
            && !deferredDetaches.contains(child)) {
            deferredDetaches.append(child);
            break;
        }
    }
    runDeferredDetaches();
}

// A node goes only while no operation runs: its workers, dialogs and boxes
// may still read the node's messages and database. An operation shows a
// modal window while it waits; a step's progress dialog counts from its
// making, before it is shown.
bool MainWindow::operationRunning() const
{
    return QApplication::activeModalWidget() || !attachRoads.isEmpty() || findChild<ProgressForm*>();
}

void MainWindow::runDeferredDetaches()
{
    if (deferredDetaches.isEmpty())
        return;
    if (operationRunning()) {
        if (!detachTimer) {
            detachTimer = new QTimer(this);
            detachTimer->setInterval(kDeferredDetachPollMs);
            connect(detachTimer, &QTimer::timeout, this, &MainWindow::runDeferredDetaches);
        }
        detachTimer->start();
        return;
    }
    if (detachTimer)
        detachTimer->stop();
    const QList<const AbsTreeItemModel::_ItemNode*> nodes = std::exchange(deferredDetaches, {});
    for (const AbsTreeItemModel::_ItemNode* node : nodes) {
        // Still in the tree: the Disconnect Device command may have taken it.
        if (!mainModel->rootDevice->childs.contains(const_cast<AbsTreeItemModel::_ItemNode*>(node)))
            continue;
        // The list and the browser may still show the node's messages.
        resetMessagesShow();
        mainModel->removeNode(node);
    }
}
