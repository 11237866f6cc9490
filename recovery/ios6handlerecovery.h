// Deleted correspondents of an iOS 6+ sms.db: rows of its handle table read
// from freed pages and carved from free space, stored in the recovery
// database unless a handle of that id and service is stored there already or
// is still live. A file whose handle table is declared unlike the known
// layouts is carved with its declaration; values are read by column name.
#pragma once

#include <QSet>

#include "ios6messagedb.h"
#include "recoveryrun.h"
#include "recoverytable.h"

// Refusals beyond the mapping; each may be turned off to measure what it keeps out.
struct IOS6HandleChecks
{
    bool notLive = true;   // the correspondent is not still in the table
    bool nonEmptyId = true; // something is left of the id after cleaning
    bool wholeRecord = true; // a carved record lies whole in its free space
};

class IOS6HandleRecovery : public RecoveryTarget
{
public:
    using Checks = IOS6HandleChecks;

    explicit IOS6HandleRecovery(IOS6MessageDb& db);

    // Runs the whole procedure; `progress` may be null.
    static void recycleDeletedHandles(IOS6MessageDb& db, ProgressReporter* progress, const Checks& checks = Checks());

    // Maps a decoded or carved row to a handle; false when it is none (too
    // few values, an unknown country, another service, an empty id).
    bool recoverFetchHandle(const _SqliteFileRowData& row, _MsgHandle* handle);

    Checks checks;

    QString table() const override { return QStringLiteral("handle"); }
    void prepare(const QList<_SqliteCol>& declaration, bool present) override;
    const RecoveryTable& shape() const override { return tableShape; }
    SqliteRowFilter rowTest() const override;
    void freeCell(const _SqliteFileRowData& row) override;
    void carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run) override;

private:
    void store(const _MsgHandle& handle);
    // The row filter of carved rows: a whole record holding the mapped
    // columns, its service "SMS" or "iMessage" in any letter case.
    bool checkHandleRow(const _SqliteFileRowData& row) const;
    void useShape(const QList<_SqliteCol>& declaration);

    IOS6MessageDb& db;
    RecoveryTable tableShape;
    int idAt = 1, countryAt = 2, serviceAt = 3, uncanonicalizedAt = 4;
    int needed = 5; // values a row needs to hold the four
    QSet<QString> live; // id + '\n' + service of every live handle
};
