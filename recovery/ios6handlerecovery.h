// Deleted correspondents of an iOS 6+ sms.db: rows of its handle table read
// from freed pages and carved from free space, stored in the recovery
// database unless a handle of that id and service is stored there already or
// is still live.
#pragma once

#include <QSet>

#include "ios6messagedb.h"
#include "recoveryrun.h"

class IOS6HandleRecovery : public RecoveryTarget
{
public:
    explicit IOS6HandleRecovery(IOS6MessageDb& db);

    // Runs the whole procedure; `progress` may be null.
    static void recycleDeletedHandles(IOS6MessageDb& db, ProgressReporter* progress);

    // Maps a decoded or carved row to a handle; false when it is none (too
    // few values, an unknown country, another service, an empty id).
    bool recoverFetchHandle(const _SqliteFileRowData& row, _MsgHandle* handle);

    QString table() const override { return QStringLiteral("handle"); }
    void prepare() override;
    void freeCell(const _SqliteFileRowData& row) override;
    void carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run) override;

private:
    void store(const _MsgHandle& handle);

    IOS6MessageDb& db;
    QSet<QString> live; // id + '\n' + service of every live handle
};

// The row filter of carved handle rows: five values or more, value 3 "SMS"
// or "iMessage" in any letter case.
bool checkHandleRow(const _SqliteFileRowData& row);
