#include "itunesbackupsteps.h"

#include "absiosmessagedb.h"
#include "backupmanifest.h"
#include "cachedmessagedb.h"
#include "ios6messagedb.h"
#include "ios6restoremessagesthread.h"
#include "iosdevice.h"
#include "iosmergewafiles2itunesbkthread.h"
#include "iosmobilebackupthread.h"
#include "itunescachesmsthread.h"
#include "loaditunesbackupdlg.h"
#include "operationsteps.h"
#include "passcodedlg.h"
#include "progressform.h"
#include "progressrunner.h"

#include <QCoreApplication>

namespace ITunesBackupSteps {

QSharedPointer<BackupManifest> chooseBackup(QWidget* parent)
{
    LoadItunesBackupDlg chooser(parent);
    if (chooser.exec() != 1 || !chooser.selectedBackup)
        return {};
    QSharedPointer<BackupManifest> backup = chooser.selectedBackup;
    if (!unlockBackup(*backup, parent))
        return {};
    return backup;
}

bool unlockBackup(BackupManifest& backup, QWidget* parent, QString* password)
{
    if (!backup.info.IsEncrypted)
        return true;
    if (password && !password->isEmpty() && backup.setPasscode(*password))
        return true;
    PasscodeDlg passcode(&backup, parent);
    if (passcode.exec() != 1)
        return false;
    if (password)
        *password = passcode.password;
    return true;
}

bool backUpDevice(const IOSDevice& device, QWidget* parent, QDir& root)
{
    ProgressForm form(QString(), parent);
    IOSMobileBackupThread worker(true, device, form, parent);
    root = worker.root();
    return g_runWithProgress(form, worker);
}

QSharedPointer<BackupManifest> openDeviceBackup(IOSDevice& device, const QDir& root, QWidget* parent)
{
    auto backup = QSharedPointer<BackupManifest>::create(root.absoluteFilePath(device.udid));
    backup->readManifestInfo();
    if (!unlockBackup(*backup, parent, &device.backupPassword))
        return {};
    return backup;
}

bool cacheBackup(BackupManifest& backup, QWidget* parent, QDir& cacheDir)
{
    backup.parseInfo();
    ProgressForm form(QString(), parent);
    ITunesCacheSMSThread worker(backup, form, parent);
    cacheDir = worker.cacheDir();
    return g_runWithProgress(form, worker);
}

bool cacheBackupInto(BackupManifest& backup, const QDir& cacheDir, QWidget* parent)
{
    backup.parseInfo();
    ProgressForm form(QString(), parent);
    ITunesCacheSMSThread worker(backup, cacheDir, form, parent);
    return g_runWithProgress(form, worker);
}

void readCachedMessages(const QDir& cacheDir, QSharedPointer<AbsMessageDb>& db, MsgData& data)
{
    db = openCachedMessageDb(cacheDir, _CountryInfo());
    data = MsgData();
    db->messages(data, 0);
}

bool buildAndMerge(BackupManifest& backup, const QDir& cacheDir, const _CountryInfo& country,
                   const QList<_MsgMessage*>& messages, QWidget* parent, int& accepted, OperationSteps* steps)
{
    const QString smsDb = AbsIOSMessageDb::smsDbPathIn(cacheDir);
    if (steps)
        steps->step(QCoreApplication::translate("QObject", "Building the message database %1").arg(smsDb));
    IOS6MessageDb cached(cacheDir, country, false);
    QList<IOSMergeWAFiles2iTunesBKThread::_Item> items;
    {
        ProgressForm form(QString(), parent);
        IOS6RestoreMessagesThread builder(country, messages, &cached, form, parent);
        if (!g_runWithProgress(form, builder))
            return false;
        items = builder.mergeItems;
        accepted = builder.acceptedCount;
    }
    if (steps)
        steps->step(QCoreApplication::translate("QObject", "Writing the messages into the backup %1")
                        .arg(backup.dir.absolutePath()));
    ProgressForm form(QString(), parent);
    IOSMergeWAFiles2iTunesBKThread merge(backup, items, form, parent);
    // Write-ahead files of the replaced database would be replayed over the
    // new one on the phone.
    merge.setRemoveItems({IOSMergeWAFiles2iTunesBKThread::_Item(QStringLiteral("HomeDomain"), QString(),
                                                                QStringLiteral("Library/SMS/sms.db-"), false)});
    return g_runWithProgress(form, merge);
}

} // namespace ITunesBackupSteps
