#include "localdbupdatethread.h"

#include "data_path_util.h"
#include "localdbmigration.h"
#include "progressform.h"

LocalDbUpdateThread::LocalDbUpdateThread(ProgressForm& progress, QObject* parent)
    : QThread(parent), progress(progress)
{
}

void LocalDbUpdateThread::run()
{
    try {
        LocalDbMigration migration(g_localDbDir());
        const QStringList left = migration.run(progress);
        if (left.isEmpty()) {
            progress.invokeSucceed(tr("IDS_LOCALDB_UPDATE_SUC_RESTART_REFRESH"));
            return;
        }
        // Reporting success here would ask for a restart at every start, as
        // the file would be found and migrated again each time.
        progress.invokeErrorOccurred(
            tr("The local databases were updated, but these old files could not be removed: %1. "
               "Please remove them yourself.")
                .arg(left.join(QStringLiteral(", "))));
    } catch (const std::exception& e) {
        progress.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
