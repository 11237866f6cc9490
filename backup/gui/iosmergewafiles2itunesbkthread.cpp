#include "iosmergewafiles2itunesbkthread.h"

#include "backupmanifest.h"
#include "progressform.h"

#include <QFileInfo>

#include <stdexcept>

namespace {

void markRemoved(MBDBParser::Index& index, const QList<IOSMergeWAFiles2iTunesBKThread::_Item>& removeItems)
{
    for (auto it = index.begin(); it != index.end(); ++it) {
        MBDBParser::_MBDBItem item = *it;
        const QString domain = item.domain.toString();
        const QString path = item.path.toString();
        for (const IOSMergeWAFiles2iTunesBKThread::_Item& remove : removeItems) {
            if (domain.compare(remove.domain, Qt::CaseInsensitive) == 0
                && path.startsWith(remove.relativePath, Qt::CaseInsensitive)) {
                item.isRemoved = true;
                index.insert(it.key(), item);
                qDebug("IOSMergeWAFiles2iTunesBKThread, remove, bk:%s, path:%s", qUtf8Printable(it.key()),
                       qUtf8Printable(path));
                break;
            }
        }
    }
}

} // namespace

IOSMergeWAFiles2iTunesBKThread::IOSMergeWAFiles2iTunesBKThread(BackupManifest& backup, const QList<_Item>& items,
                                                               ProgressForm& form, QObject* parent)
    : QThread(parent), m_backup(&backup), m_items(items), m_form(&form)
{
}

void IOSMergeWAFiles2iTunesBKThread::setRemoveItems(const QList<_Item>& items)
{
    m_removeItems = items;
}

void IOSMergeWAFiles2iTunesBKThread::setStepHook(BackupWriteTransaction::StepHook hook)
{
    m_hook = std::move(hook);
}

void IOSMergeWAFiles2iTunesBKThread::run()
{
    try {
        mergeThrow();
    } catch (const Cancelled&) {
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

void IOSMergeWAFiles2iTunesBKThread::mergeThrow()
{
    m_form->invokeUpdateProgress(tr("Transferring files..."), 0, QString());
    MBDBParser::Index index = MBDBParser::parse(*m_backup);
    // The template gives new files the protection class of a file whose key
    // the password unwraps; each file gets a key of its own.
    const bool encrypted = m_backup->info.IsEncrypted;
    QByteArray key;
    MBDBParser::_MBDBItem templateItem;
    if (encrypted)
        templateItem = m_backup->firstEncryptedItem(key);

    // Until the commit every file goes under a staged name; leaving this
    // function by a throw removes them again.
    BackupWriteTransaction transaction(m_backup->dir, m_hook);
    qint64 inodeCounter = -1;
    const int n = int(m_items.size());
    for (int i = 1; i <= n; ++i) {
        const _Item& item = m_items.at(i - 1);
        m_form->throwIfCancelled();
        m_form->invokeUpdateProgress(QString(), int(double(i) / n * 100),
                                     tr("File: %1").arg(QFileInfo(QLatin1Char('/') + item.relativePath).fileName()));
        if (item.relativePath.isEmpty() || item.localFile.isEmpty())
            continue;
        const QString name = MBDBParser::getFileHashName(item.domain, item.relativePath);
        const QString target = MBDBParser::getBKFilePath(m_backup->dir, name, true);
        const QFileInfo local(item.localFile);
        if (!local.isFile())
            continue;
        const QFileInfo existing(target);
        if (existing.exists() && !item.overwrite)
            continue;
        if (existing.exists() && !existing.isFile())
            throw std::runtime_error(tr("can not overwrite %1").arg(target).toUtf8().constData());
        const QString staged = transaction.stage(target);
        transaction.step(QStringLiteral("file"));
        if (encrypted)
            key = m_backup->newFileKey(templateItem);
        BackupManifest::encryptFileThrow(item.localFile, staged, key);
        qDebug("IOSMergeWAFiles2iTunesBKThread: %s ==> (%s) %s", qUtf8Printable(target), qUtf8Printable(item.domain),
               qUtf8Printable(item.relativePath));
        MBDBParser::appendFile(index, staged, item.domain, item.relativePath, local.size(),
                               encrypted ? &templateItem : nullptr, &inodeCounter);
    }
    if (!m_removeItems.isEmpty())
        markRemoved(index, m_removeItems);
    MBDBParser::save2File(index.values(), *m_backup, transaction);
    m_form->throwIfCancelled();
    transaction.commitThrow();
    m_form->invokeSucceed(QString());
}
