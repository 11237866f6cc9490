// The members of MBDBParser that enter stored files into an index and write
// the index back in either generation.
#include "mbdbparser.h"

#include "backupmanifest.h"
#include "backupwritetransaction.h"
#include "manifestdbfile.h"
#include "mbdbfilewriter.h"
#include "mbfile.h"
#include "privatemode.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

const quint16 kFolderMode = 0x41C0;
const quint16 kFileMode = 0x81A4;
const quint32 kMobileUser = 501;
const qint8 kDefaultClass = 4;

qint64 largestInode(const MBDBParser::Index& index)
{
    qint64 largest = 0;
    for (const MBDBParser::_MBDBItem& item : index)
        largest = qMax(largest, qint64(item.inode));
    return largest;
}

MBDBParser::_MBDBItem newRecord(const QString& domain, const QString& path, quint16 mode, qint64 inode)
{
    MBDBParser::_MBDBItem item;
    item.domain.setVal(domain.toUtf8());
    item.path.setVal(path.toUtf8());
    item.mode = mode;
    item.inode = quint64(inode);
    item.userId = kMobileUser;
    item.groupId = kMobileUser;
    item.protectionClass = kDefaultClass;
    item.isNew = true;
    return item;
}

quint32 secondsOf(const QDateTime& time, const QDateTime& fallback)
{
    return quint32((time.isValid() ? time : fallback).toSecsSinceEpoch());
}

} // namespace

void MBDBParser::appendFile(Index& index, const QString& storedFilePath, const QString& domain,
                            const QString& relativePath, qint64 size, const _MBDBItem* tmpl, qint64* inodeCounter)
{
    if (domain.isEmpty())
        return;
    qint64 localCounter = -1;
    qint64& counter = inodeCounter ? *inodeCounter : localCounter;
    if (counter < 0)
        counter = largestInode(index);

    const QFileInfo stored(storedFilePath);
    const quint32 modified = secondsOf(stored.lastModified(), QDateTime());
    const quint32 born = secondsOf(stored.birthTime(), stored.lastModified());

    // The missing parent folders, deepest first, up to the first one listed.
    QString folder = relativePath;
    for (qsizetype slash = folder.lastIndexOf(QLatin1Char('/')); slash >= 1; slash = folder.lastIndexOf(QLatin1Char('/'))) {
        folder.truncate(slash);
        const QString name = getFileHashName(domain, folder);
        if (index.contains(name))
            break;
        _MBDBItem record = newRecord(domain, folder, kFolderMode, ++counter);
        record.lastModified = record.lastStatusChange = modified;
        record.birth = born;
        index.insert(name, record);
    }

    const QString name = getFileHashName(domain, relativePath);
    const qint64 plainSize = size > 0 ? size : stored.size();
    _MBDBItem record;
    if (index.contains(name)) {
        record = index.value(name);
        record.isModified = true;
    } else {
        record = newRecord(domain, relativePath, kFileMode, ++counter);
    }
    // The index must describe the file that is stored now.
    record.size = plainSize;
    record.digest = _MBDBBinary();
    const QByteArray digest = readFileHash(storedFilePath);
    if (!digest.isEmpty())
        record.digest.setVal(digest);
    record.lastModified = record.lastStatusChange = modified;
    record.birth = born;
    if (tmpl) {
        record.protectionClass = tmpl->protectionClass;
        record.encryptionKey = tmpl->encryptionKey;
    }
    index.insert(name, record);
}

QByteArray MBDBParser::mbFilePlist(const _MBDBItem& item)
{
    return MBFile::writeArchive(item);
}

void MBDBParser::save2File(QList<_MBDBItem> items, BackupManifest& backup, BackupWriteTransaction& transaction)
{
    const QDir& dir = backup.dir;
    if (!isIos10Mbdb(dir)) {
        const QString staged = transaction.stage(dir.absoluteFilePath(QStringLiteral("Manifest.mbdb")));
        transaction.step(QStringLiteral("index"));
        g_writeMbdbIndex(staged, items);
        return;
    }
    const bool encrypted = !backup.manifestKey.isEmpty();
    const QString database = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    const QString source = encrypted ? backup.decryptedManifestDbPath : database;
    const QString stagedDatabase = encrypted ? transaction.stage(database) : QString();
    // The rows are changed in a copy, which replaces the index at the commit.
    // The decrypted copy lies in a private folder of ours, never in the
    // backup folder; it follows once the new Manifest.db stands.
    const QString staged = encrypted ? transaction.stageOutside(source) : transaction.stage(source);
    transaction.step(QStringLiteral("index"));
    if (!QFile::copy(source, staged) || !g_makePrivate(staged))
        throw std::runtime_error(QStringLiteral("can not write %1.").arg(staged).toUtf8().constData());
    g_updateManifestDbIndex(staged, backup.password, items);
    if (!encrypted)
        return;
    // The earlier encrypted index is kept beside the new one.
    transaction.step(QStringLiteral("bak"));
    const QString bak = database + QStringLiteral("-bak") + QString::number(QDateTime::currentMSecsSinceEpoch());
    QFile::copy(database, bak);
    transaction.step(QStringLiteral("encrypt"));
    BackupManifest::encryptFileThrow(staged, stagedDatabase, backup.manifestKey);
}

void MBDBParser::save2File(QList<_MBDBItem> items, BackupManifest& backup)
{
    BackupWriteTransaction transaction(backup.dir);
    save2File(std::move(items), backup, transaction);
    transaction.commitThrow();
}
