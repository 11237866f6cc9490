#include "backupsmsthread.h"

#include "progressform.h"

BackupSMSThread::BackupSMSThread(const QList<_MsgMessage*>& messages, const QDir& dbDir, const _CountryInfo& country,
                                 ProgressForm& progress, QObject* parent)
    : QThread(parent)
    , m_backup(messages, dbDir, country)
    , m_progress(progress)
{
}

void BackupSMSThread::run()
{
    try {
        const int written = m_backup.run(m_progress);
        m_progress.invokeSucceed(tr("IDS_SUC_BACKUP_%1_SMS").arg(written));
    } catch (const Cancelled&) {
        // The dialog has closed already; the database kept nothing of the run.
    } catch (const std::exception& e) {
        m_progress.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
