#include "itunescommands.h"

#include "backupmanifest.h"
#include "countrylibdb.h"
#include "datasourceselform.h"
#include "iosmobilerestorethread.h"
#include "itemmodelmain.h"
#include "itunesbackupsteps.h"
#include "makerserver.h"
#include "menuactionstate.h"
#include "operationsteps.h"
#include "progressform.h"
#include "progressrunner.h"
#include "tips.h"

#include <QCoreApplication>
#include <QSharedPointer>

namespace {

using Node = AbsTreeItemModel::_ItemNode;

// The device or local database that a node belongs to: itself, or the
// parent of a conversation.
const _AbsDBItemNode* ownerDbNode(const Node* node)
{
    return static_cast<const _AbsDBItemNode*>(messageOwner(node));
}

_IOSDeviceItemNode* liveDeviceNode(ItemModelMain& model, const QString& udid)
{
    for (Node* child : model.rootDevice->childs) {
        if (child->type != ITEMNODE_IOS_DEVICE)
            continue;
        auto* node = static_cast<_IOSDeviceItemNode*>(child);
        if (node->device.device && node->device.udid == udid)
            return node;
    }
    return nullptr;
}

QString findMyIPhoneNotes()
{
    const QString guide = g_makerServerUrl(QStringLiteral("/guides/how-to-disable-find-my-iphone.html")).toString();
    return QCoreApplication::translate("QObject", "IDS_RESTORE_IOS_TIPS_FIND_MY_IPHONE_MUST_OFF").arg(guide);
}

} // namespace

using namespace ITunesBackupSteps;

ITunesCommands::ITunesCommands(ItemModelMain& model, QWidget* parent)
    : m_model(model)
    , m_parent(parent)
{
}

void ITunesCommands::exportToBackup(const QList<_MsgMessage*>& messages, const Node* current)
{
    // The messages belong to the current node's set: held here, they outlive
    // a node that goes while the dialogs run.
    const _AbsDBItemNode* source = ownerDbNode(current);
    const MsgData keep = source ? source->data : MsgData();
    OperationSteps steps(QStringLiteral("Export SMS to iTunes Backup"));
    try {
        steps.step(tr("Opening the chosen iTunes backup"));
        const QSharedPointer<BackupManifest> backup = chooseBackup(m_parent);
        if (!backup)
            return;
        steps.step(tr("Copying the messages out of the backup %1").arg(backup->dir.absolutePath()));
        QDir cacheDir;
        if (!cacheBackup(*backup, m_parent, cacheDir))
            return;
        int accepted = 0;
        if (!buildAndMerge(*backup, cacheDir, _CountryInfo(), messages, m_parent, accepted, &steps))
            return;
        Tips::info(tr("IDS_SUC_RESTORE_%1_MESSAGES_TO_IOS").arg(accepted));
    } catch (const std::exception& e) {
        steps.fail(QString::fromUtf8(e.what()));
    }
}

void ITunesCommands::transferToDevice(const QList<_MsgMessage*>& messages, const Node* current)
{
    if (!current)
        return;
    const _AbsDBItemNode* source = ownerDbNode(current);
    const MsgData keep = source ? source->data : MsgData();
    QString sourceUdid;
    if (source && source->type == ITEMNODE_IOS_DEVICE)
        sourceUdid = static_cast<const _IOSDeviceItemNode*>(source)->device.udid;

    // Only a device that is attached now can be backed up and restored: saved
    // devices have no handle.
    QList<DataSourceSelForm::_SelItem> choices;
    for (const Node* child : m_model.rootDevice->childs) {
        if (child->type != ITEMNODE_IOS_DEVICE)
            continue;
        const IOSDevice& device = static_cast<const _IOSDeviceItemNode*>(child)->device;
        if (device.device && (!source || source->type != ITEMNODE_IOS_DEVICE || device.udid != sourceUdid))
            choices.append(DataSourceSelForm::_SelItem(QStringLiteral(":res/iphone.png"), device.deviceName, device.udid));
    }
    // An empty chooser could only be cancelled: say what is missing instead.
    if (choices.isEmpty()) {
        Tips::info(tr("No attached iPhone other than the source can receive these messages. Please connect the "
                      "iPhone that should receive them and try again."));
        return;
    }
    DataSourceSelForm chooser(m_parent);
    const QString udid = chooser.execSel(QCoreApplication::translate("QObject", "IDS_SEL_ONE_IOS_DEVICE"), choices);
    _IOSDeviceItemNode* target = udid.isEmpty() ? nullptr : liveDeviceNode(m_model, udid);
    if (!target)
        return;
    if (!target->db || target->db->type() != AbsMessageDb::kIOS6Schema) {
        Tips::warning(tr("Failed to recover. Only iOS 6 or above is supported."));
        return;
    }
    // The workers use a copy: the node may go when the device is unplugged
    // while a dialog runs.
    IOSDevice device = target->device;
    if (!device.checkiTunesBackupSettings(true, false))
        return;
    if (!device.productType.startsWith(QLatin1String("iPhone"), Qt::CaseInsensitive)
        && !Tips::question(tr("You can transfer iMessage only to an iPad/iPod. Want to continue?")))
        return;
    if (!Tips::question(findMyIPhoneNotes()))
        return;

    OperationSteps steps(QStringLiteral("Transfer SMS to iPhone"));
    steps.step(tr("Backing up the iPhone \"%1\"").arg(device.deviceName));
    QDir root;
    if (!backUpDevice(device, m_parent, root))
        return;
    try {
        const QString backupFolder = root.absoluteFilePath(device.udid);
        steps.step(tr("Reading the backup %1 of the iPhone \"%2\"").arg(backupFolder, device.deviceName));
        const QSharedPointer<BackupManifest> backup = openDeviceBackup(device, root, m_parent);
        if (!backup)
            return;
        // The node keeps the password for the device's next transfer.
        if (_IOSDeviceItemNode* node = liveDeviceNode(m_model, device.udid))
            node->device.backupPassword = device.backupPassword;
        steps.step(tr("Copying the messages out of the backup %1").arg(backupFolder));
        QDir cacheDir;
        if (!cacheBackup(*backup, m_parent, cacheDir))
            return;
        steps.step(tr("Looking up the country \"%1\" of the iPhone \"%2\"").arg(device.countryCode, device.deviceName));
        const _CountryInfo country = CountryLibDb(QString()).infoByCode(device.countryCode, nullptr);
        int accepted = 0;
        if (!buildAndMerge(*backup, cacheDir, country, messages, m_parent, accepted, &steps))
            return;
        steps.step(tr("Restoring the backup %1 to the iPhone \"%2\"").arg(backupFolder, device.deviceName));
        ProgressForm form(QString(), m_parent);
        IOSMobileRestoreThread restore(true, device, root, form, m_parent);
        if (!device.backupPassword.isEmpty())
            restore.setBackupPasscode(device.backupPassword);
        if (!g_runWithProgress(form, restore))
            return;
        Tips::info(tr("Successfully recovered %1 SMS to iPhone. Now please disconnect your iPhone from computer.")
                       .arg(accepted));
    } catch (const std::exception& e) {
        steps.fail(QString::fromUtf8(e.what()));
    }
}
