// The worker that builds the message database for an iTunes backup or an
// iPhone behind its progress dialog, and hands the files to place on to the
// merge worker. Success and failure reach the caller only through the dialog.
#pragma once

#include "countryinfo.h"
#include "iosmergewafiles2itunesbkthread.h"

#include <QList>
#include <QThread>

class IOS6MessageDb;
class ProgressForm;
struct _MsgMessage;

class IOS6RestoreMessagesThread : public QThread
{
    Q_OBJECT
public:
    // `messages` and `targetDb` are kept by reference: the caller leaves both
    // unchanged until the thread has finished.
    IOS6RestoreMessagesThread(const _CountryInfo& country, const QList<_MsgMessage*>& messages,
                              IOS6MessageDb* targetDb, ProgressForm& progress, QObject* parent = nullptr);

    // Read after the thread has finished; empty and 0 unless the run succeeded.
    QList<IOSMergeWAFiles2iTunesBKThread::_Item> mergeItems;
    int acceptedCount = 0;
    int unknownChatCount = 0;

protected:
    void run() override;

private:
    _CountryInfo country;
    const QList<_MsgMessage*>& messages;
    IOS6MessageDb* targetDb;
    ProgressForm* progress;
};
