#include "deletemessagesthread.h"

#include "ios6messagedb.h"
#include "progressform.h"

DeleteMessagesThread::DeleteMessagesThread(IOS6MessageDb& db, const QList<_MsgMessage*>& messages,
                                           ProgressForm& progress, QObject* parent)
    : QThread(parent), db(db), messages(messages), progress(progress)
{
}

int DeleteMessagesThread::deleteInOneTransaction(IOS6MessageDb& db, const QList<_MsgMessage*>& messages,
                                                 ProgressReporter& progress)
{
    const qsizetype total = messages.size();
    try {
        db.beginEdit();
        qsizetype done = 0;
        for (const _MsgMessage* message : messages) {
            progress.throwIfCancelled();
            progress.reportProgress(QString(), int(double(done + 1) / double(total) * 100.0), QString());
            db.deleteMessage(message);
            ++done;
        }
        db.endEdit(true);
        return int(done);
    } catch (...) {
        // Nothing of the list stays deleted. A rollback that fails too leaves
        // the first error to report; closing the connection then gives the
        // transaction up.
        try {
            db.endEdit(false);
        } catch (const std::exception&) {
            db.close();
        }
        throw;
    }
}

void DeleteMessagesThread::run()
{
    progress.invokeUpdateProgress(tr("IDS_DELETING_LOCAL_DB_MESSAGES"), 0, QString());
    try {
        const int count = deleteInOneTransaction(db, messages, progress);
        progress.invokeSucceed(tr("IDS_SUC_DELETE_%1_MESSAGES").arg(count));
    } catch (const Cancelled&) {
        // The dialog has closed already.
    } catch (const std::exception& e) {
        progress.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
