// Deleted messages of an iOS 5 sms.db: rows of its single message table (SMS
// and, with is_madrid set, iMessage) read from freed pages and carved from
// free space with the table's three layouts, stored in the recovery database
// with the conversation and correspondent the row names. Rows still live
// (iMessage: same madrid_guid; SMS: same date, address and text) are never stored.
#pragma once

#include <QSet>

#include "ios5messagedb.h"
#include "recoveryrun.h"

// One candidate message with what the recovery database stores beside it.
struct IOS5RecycleMsgItem
{
    _MsgMessage msg;
    QString chatIdentifier;
    QString handle;
};

class IOS5MessageRecovery : public RecoveryTarget
{
public:
    explicit IOS5MessageRecovery(IOS5MessageDb& db);

    // Runs the whole procedure; `progress` may be null.
    static void recycleDeletedMessages(IOS5MessageDb& db, ProgressReporter* progress);

    // Tests a row further than the row filter and fills the item; false when
    // the row is no message that may be stored.
    bool recoverFetchMessage(const _SqliteFileRowData& row, IOS5RecycleMsgItem& item);

    QString table() const override { return QStringLiteral("message"); }
    void prepare() override;
    void freeCell(const _SqliteFileRowData& row) override;
    void carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run) override;

private:
    bool isLive(const _SqliteFileRowData& row) const;
    void store(const IOS5RecycleMsgItem& item, qint64 srcRowId);

    IOS5MessageDb& db;
    QSet<QString> liveKeys;
};

// The row filter of the three layouts: read 0 or 1, UIFlags 0, 4, 5 or 6,
// and (33 values) is_madrid 0 or 1.
bool checkMessageRow(const _SqliteFileRowData& row);
