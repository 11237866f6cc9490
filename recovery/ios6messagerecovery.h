// Deleted messages of an iOS 6+ sms.db: rows of its message table read from
// freed pages and carved from free space with every layout the table has had,
// stored in the recovery database with the conversation and correspondent
// they can be tied to. Rows still live in the table are never stored. A file
// whose message table is declared unlike every known layout is carved with
// its declaration as well; values are read by column name.
#pragma once

#include <QHash>
#include <QSet>

#include "ios6messagedb.h"
#include "recoveryrun.h"
#include "recoverytable.h"

// A refusal beyond the row test and mapping; it may be turned off to measure
// what it keeps out.
struct IOS6MessageChecks
{
    bool wholeRecord = true; // a carved record lies whole in its free space
};

class IOS6MessageRecovery : public RecoveryTarget
{
public:
    using Checks = IOS6MessageChecks;

    // `chats`: the conversations read from the same database, with their handles.
    IOS6MessageRecovery(IOS6MessageDb& db, const QList<_MsgChat*>& chats);

    // Runs the whole procedure; `progress` may be null.
    static void recycleDeletedMessages(IOS6MessageDb& db, const QList<_MsgChat*>& chats, ProgressReporter* progress,
                                       const Checks& checks = Checks());

    // Fills `msg` from a decoded or carved row; false when the row is no SMS
    // or iMessage message row. Reads the table's shape as prepare() chose it
    // (the known layouts before).
    bool recoverFetchMessage(const _SqliteFileRowData& row, _MsgMessage* msg) const;

    Checks checks;

    QString table() const override { return QStringLiteral("message"); }
    void prepare(const QList<_SqliteCol>& declaration, bool present) override;
    const RecoveryTable& shape() const override { return tableShape; }
    SqliteRowFilter rowTest() const override;
    void freeCell(const _SqliteFileRowData& row) override;
    void carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run) override;

private:
    // Whether the message may be stored: a plain message, not live, not stored yet.
    bool isNew(const _MsgMessage& msg);
    void store(const _MsgMessage& msg, qint64 srcRowId);
    void useShape(const QList<_SqliteCol>& declaration);
    bool passesRowTest(const _SqliteFileRowData& row) const;

    IOS6MessageDb& db;
    RecoveryTable tableShape;
    QList<int> valueAt;    // the value of each model column (messageColumns() order); -1 when absent
    int serviceAt = 11;
    int baseValues = 38;   // values a row needs: every column of the first iOS 6 table
    int laterValues = 50;  // values a row needs for the later columns to be read
    QHash<qint64, _MsgChat*> chatOfHandle;
    QSet<QString> liveGuids;
    bool nanoseconds = false;
};
