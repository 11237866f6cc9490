#include "backupmanifest.h"

#include "backupfiletree.h"
#include "cftype.h"
#include "data_path_util.h"
#include "mobiledevice_loader.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

BackupManifest::_FileNode::_FileNode(_FileNode* parent, const MBDBParser::Index* index, qsizetype record,
                                     QString name)
    : name(std::move(name)), parent(parent), index(index), record(record)
{
}

MBDBParser::_MBDBItem BackupManifest::_FileNode::item() const
{
    if (index && record != kNoRecord)
        return index->item(record);
    MBDBParser::_MBDBItem added;
    if (parent)
        added.mode = 0x4000;
    return added;
}

bool BackupManifest::_FileNode::isFolder() const
{
    if (index && record != kNoRecord)
        return (index->mode(record) & 0x4000) != 0;
    return parent != nullptr;
}

BackupManifest::FileNodeBlocks::~FileNodeBlocks()
{
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        auto* nodes = reinterpret_cast<_FileNode*>(m_blocks[b].get());
        const size_t count = b + 1 == m_blocks.size() ? m_usedInLast : kBlockNodes;
        for (size_t n = 0; n < count; ++n)
            nodes[n].~_FileNode();
    }
}

BackupManifest::_FileNode* BackupManifest::FileNodeBlocks::make(_FileNode* parent, const MBDBParser::Index* index,
                                                                qsizetype record, QString name)
{
    if (m_usedInLast == kBlockNodes) {
        m_blocks.emplace_back(new std::byte[kBlockNodes * sizeof(_FileNode)]);
        m_usedInLast = 0;
    }
    void* at = m_blocks.back().get() + m_usedInLast * sizeof(_FileNode);
    _FileNode* node = new (at) _FileNode(parent, index, record, std::move(name));
    ++m_usedInLast;
    return node;
}

BackupManifest::BackupManifest(const QString& folder, QObject* parent)
    : QObject(parent), dir(folder), root(nullptr, nullptr, _FileNode::kNoRecord, QString())
{
}

BackupManifest::~BackupManifest()
{
    if (!decryptedManifestDbPath.isEmpty())
        QFile::remove(decryptedManifestDbPath);
}

QList<QDir> BackupManifest::iTunesBackupDirs()
{
    return {QDir(g_osAppDir().filePath(QStringLiteral("MobileSync/Backup")))};
}

namespace {
QString lockdownString(const CFType& lockdown, const char* key)
{
    return lockdown.get(QLatin1String(key)).CFStringQString();
}

// The folder name with the device id replaced by the device name. A manifest
// without a device id would otherwise have the name spliced between every
// character, so it falls back to the device name and folder, or the folder.
QString makeDisplayName(const QString& folder, const QString& deviceId, const QString& deviceName)
{
    if (!deviceId.isEmpty() && folder.contains(deviceId))
        return QString(folder).replace(deviceId, deviceName);
    if (deviceName.isEmpty())
        return folder;
    return deviceName + QLatin1Char('-') + folder;
}
} // namespace

void BackupManifest::readManifestInfo()
{
    if (!mobiledevice_loader_is_corefoundation_loaded())
        throw std::runtime_error(tr("Failed to load (Apple Mobile Device) framework.").toStdString());
    const QString manifestPath = dir.absoluteFilePath(QStringLiteral("Manifest.plist"));
    if (!QFileInfo::exists(manifestPath))
        throw std::runtime_error(("Cannot find " + manifestPath).toStdString());
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    const CFType plist = CFType::createCFPropertyList(file.readAll());
    const CFType lockdown = plist.get(QStringLiteral("Lockdown"));

    _InfoPlist read;
    read.UniqueDeviceID = lockdownString(lockdown, "UniqueDeviceID");
    read.DeviceName = lockdownString(lockdown, "DeviceName");
    read.ProductType = lockdownString(lockdown, "ProductType");
    read.ProductVersion = lockdownString(lockdown, "ProductVersion");
    read.SerialNumber = lockdownString(lockdown, "SerialNumber");
    read.Date = plist.get(QStringLiteral("Date")).CFDateToDateTime(CFTimeZoneRef(nullptr));
    read.IsEncrypted = plist.get(QStringLiteral("IsEncrypted")).CFNumberBool(false);
    read.BackupKeyBag = plist.get(QStringLiteral("BackupKeyBag")).CFDataBytes();
    read.ManifestKey = plist.get(QStringLiteral("ManifestKey")).CFDataBytes();
    const QFileInfo status(dir.absoluteFilePath(QStringLiteral("Status.plist")));
    if (status.isFile())
        read.Date = status.lastModified();
    info = read;
    displayName = makeDisplayName(dir.dirName(), info.UniqueDeviceID, info.DeviceName);
}

QString BackupManifest::dirPathMd5() const
{
    return g_md5(dir.absolutePath());
}

void BackupManifest::parseInfo()
{
    if (!root.children.isEmpty())
        return;
    // The nodes refer to the records where they stay: in `items`.
    items = MBDBParser::parse(*this);
    BackupFileTree::build(*this, items);
}
