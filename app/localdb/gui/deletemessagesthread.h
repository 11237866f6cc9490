// The worker that deletes messages from a local database behind its progress
// dialog: every message of one list in one transaction, so that a cancel or a
// failure leaves the file as it was. It changes only the file; the caller
// takes the messages out of the loaded set after a success.
#pragma once

#include <QList>
#include <QThread>

class IOS6MessageDb;
class ProgressForm;
class ProgressReporter;
struct _MsgMessage;

class DeleteMessagesThread : public QThread
{
    Q_OBJECT
public:
    // `db` and `messages` are kept by reference: the caller leaves both
    // unchanged until the thread has finished.
    DeleteMessagesThread(IOS6MessageDb& db, const QList<_MsgMessage*>& messages, ProgressForm& progress,
                         QObject* parent = nullptr);

    // Deletes the messages in list order inside one transaction and commits
    // it; returns how many were handed over. A cancel (Cancelled) or a
    // failure (std::exception) rolls the transaction back before it leaves.
    static int deleteInOneTransaction(IOS6MessageDb& db, const QList<_MsgMessage*>& messages,
                                      ProgressReporter& progress);

protected:
    void run() override;

private:
    IOS6MessageDb& db;
    const QList<_MsgMessage*>& messages;
    ProgressForm& progress;
};
