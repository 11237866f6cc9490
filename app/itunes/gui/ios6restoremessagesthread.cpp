#include "ios6restoremessagesthread.h"

#include "ios6restoremessagesbuilder.h"
#include "progressform.h"

IOS6RestoreMessagesThread::IOS6RestoreMessagesThread(const _CountryInfo& country,
                                                     const QList<_MsgMessage*>& messages, IOS6MessageDb* targetDb,
                                                     ProgressForm& progress, QObject* parent)
    : QThread(parent), country(country), messages(messages), targetDb(targetDb), progress(&progress)
{
}

void IOS6RestoreMessagesThread::run()
{
    mergeItems.clear();
    acceptedCount = 0;
    unknownChatCount = 0;
    IOS6RestoreMessagesBuilder builder(country, messages, *targetDb);
    try {
        builder.run(*progress);
    } catch (const Cancelled&) {
        // The dialog has closed already; the new file is gone.
        return;
    } catch (const std::exception& e) {
        unknownChatCount = builder.unknownChatCount();
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    for (const IOS6RestoreMessagesBuilder::FileToPlace& file : builder.filesToPlace())
        mergeItems.append(IOSMergeWAFiles2iTunesBKThread::_Item(file.domain, file.localFile, file.relativePath,
                                                                file.overwrite));
    acceptedCount = builder.acceptedCount();
    unknownChatCount = builder.unknownChatCount();
    progress->invokeSucceed(QString());
}
