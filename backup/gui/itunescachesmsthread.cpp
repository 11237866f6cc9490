#include "itunescachesmsthread.h"

#include "data_path_util.h"
#include "pathguard.h"
#include "privatemode.h"
#include "progressform.h"

#include <QFileInfo>

namespace {

const BackupManifest::_FileNode* childNamed(const BackupManifest::_FileNode* node, const QString& name)
{
    for (const BackupManifest::_FileNode* child : node->children)
        if (child->name.compare(name, Qt::CaseInsensitive) == 0)
            return child;
    return nullptr;
}

// The last child of each name wins, as the scan stops only once both are found.
void findFolders(const BackupManifest::_FileNode* library, const BackupManifest::_FileNode*& sms,
                 const BackupManifest::_FileNode*& addressBook)
{
    for (const BackupManifest::_FileNode* child : library->children) {
        if (child->name.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0)
            sms = child;
        else if (child->name.compare(QLatin1String("AddressBook"), Qt::CaseInsensitive) == 0)
            addressBook = child;
        if (sms && addressBook)
            return;
    }
}

// The path of a name from the backup, cleaned, inside `target`; empty when it
// could not stay inside that folder.
QString safePath(const QDir& target, const QString& name)
{
    return g_pathInside(target, g_formatFileName(name));
}

} // namespace

ITunesCacheSMSThread::ITunesCacheSMSThread(BackupManifest& backup, ProgressForm& form, QObject* parent)
    : ITunesCacheSMSThread(backup, QDir(g_dataSaveDir().filePath(QStringLiteral("itunes_cache/") + backup.dirPathMd5())),
                           form, parent)
{
}

ITunesCacheSMSThread::ITunesCacheSMSThread(BackupManifest& backup, const QDir& cacheDir, ProgressForm& form,
                                           QObject* parent)
    : QThread(parent)
    , m_backup(&backup)
    , m_form(&form)
    , m_cacheDir(cacheDir)
    , m_db(cacheDir.absoluteFilePath(QStringLiteral("manifest.db")))
{
}

void ITunesCacheSMSThread::run()
{
    m_form->invokeUpdateProgress(tr("IDS_LOADING_ITUNES_BACKUP"), 99, QString());
    const BackupManifest::_FileNode* sms = nullptr;
    const BackupManifest::_FileNode* addressBook = nullptr;
    if (const BackupManifest::_FileNode* library = childNamed(&m_backup->root, QStringLiteral("Library")))
        findFolders(library, sms, addressBook);
    if (!sms) {
        m_form->invokeErrorOccurred(tr("IDS_NOT_CONTAIN_SMS_DB_IN_ITUNES_BACKUP"));
        return;
    }
    try {
        const QString target = m_cacheDir.absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library"));
        g_mkPrivatePath(m_cacheDir.absolutePath()); // tightened when an older run made it wider
        g_mkPrivatePath(target);
        copy(sms, QDir(target));
        if (addressBook)
            copy(addressBook, QDir(target));
        m_form->invokeSucceed(QString());
    } catch (const Cancelled&) {
        removeCache();
    } catch (const std::exception& e) {
        removeCache();
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

void ITunesCacheSMSThread::removeCache()
{
    // The dates of this run must not outlive the copies they describe.
    m_db.close();
    g_delDirCascade(m_cacheDir.absolutePath());
}

void ITunesCacheSMSThread::copy(const BackupManifest::_FileNode* node, QDir target)
{
    m_form->invokeUpdateProgress(QString(), -1, tr("IDS_CACHING_BACKUP_FILE_%1").arg(node->name));
    m_form->throwIfCancelled();
    const QString path = safePath(target, node->name);
    if (path.isEmpty()) {
        qWarning("ITunesCacheSMSThread: skipped the backup entry \"%s\" (%s): its name is no file name",
                 qUtf8Printable(node->name), qUtf8Printable(node->item().path.toString()));
        return;
    }
    if (!node->isFolder()) {
        copyFile(node, path);
        return;
    }
    g_mkPrivatePath(path);
    const QDir sub(path);
    for (const BackupManifest::_FileNode* child : node->children)
        copy(child, sub);
}

void ITunesCacheSMSThread::copyFile(const BackupManifest::_FileNode* node, const QString& targetPath)
{
    const MBDBParser::_MBDBItem item = node->item();
    const QString key = item.backupFileName();
    const int date = int(item.lastModified);
    bool recorded = false;
    // Skipped only when the copy made from this very record is still there.
    if (m_db.fileDateSecs(key, &recorded) == date && recorded && QFileInfo(targetPath).isFile())
        return;
    if (!QFileInfo::exists(MBDBParser::getBKFilePath(m_backup->dir, key, false)))
        return;
    m_backup->copyFile(node, targetPath, nullptr, nullptr);
    m_db.setFileDate(key, date);
}
