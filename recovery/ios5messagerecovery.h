// Deleted messages of an iOS 5 sms.db: rows of its single message table (SMS
// and, with is_madrid set, iMessage) read from freed pages and carved from
// free space, stored in the recovery database with the conversation and
// correspondent the row names. The table is carved with the columns the file
// declares (phones do not all order them alike), the known layouts serving
// files that declare none, and every value is read by its column's name. Rows
// still live (iMessage: same madrid_guid; SMS: same date, address and text)
// are never stored.
#pragma once

#include <QSet>

#include "ios5messagedb.h"
#include "recoveryrun.h"
#include "recoverytable.h"

// One candidate message with what the recovery database stores beside it.
struct IOS5RecycleMsgItem
{
    _MsgMessage msg;
    QString chatIdentifier;
    QString handle;
};

// Where the columns the recovery reads lie in a row of one table shape.
struct IOS5MessageColumns
{
    explicit IOS5MessageColumns(const RecoveryTable& table);

    // The row test: every column up to read present, read 0 or 1, UIFlags 0,
    // 4, 5 or 6, in a row that holds is_madrid its kind 0 or 1, and every
    // value its kind of message cannot be without (holdsMessage). Of the
    // mapping's refusals only those by the texts and the country are left.
    bool passesRowTest(const _SqliteFileRowData& row) const;
    // A row holding is_madrid at its declared place (rows written before
    // later columns were appended hold fewer values): its kind is tested and
    // an SMS row must leave the madrid_ columns it holds empty.
    bool holdsKind(const _SqliteFileRowData& row) const { return isMadrid >= 0 && row.values.size() > isMadrid; }
    bool isIMessage(const _SqliteFileRowData& row) const;
    // The message's date in seconds since 2001 (an SMS stores Unix time).
    int dateOf(const _SqliteFileRowData& row, bool imessage) const;

    int address, date, text, flags, replace, svcCenter, uiFlags, version, subject, country, read;
    int madridHandle, madridGuid, madridRoomname, madridService, madridAccount, madridError, isMadrid;
    int madridDateRead, madridDateDelivered, madridAccountGuid;
    int core = 0; // values a row needs: every column up to read
    struct Emptied
    {
        int index;
        bool integer;
    };
    QList<Emptied> smsEmpty;

private:
    // A date after 2001 that is not in the future; an SMS's address; an
    // iMessage's service "Madrid" and its correspondent or its text. A row
    // of NULLs (what every run of zero bytes reads as) holds none of them.
    bool holdsMessage(const _SqliteFileRowData& row, bool imessage) const;
    // An SMS row's madrid_ columns: NULL or 0 where the column is an
    // integer, NULL or no bytes where it is text or a blob.
    bool madridColumnsEmpty(const _SqliteFileRowData& row) const;
};

// Refusals beyond the row test and mapping that keep carved noise and
// live rows out; each may be turned off to measure what it keeps out.
struct IOS5MessageChecks
{
    bool plainText = true; // texts and addresses hold no stray bytes
    bool notLive = true;   // the message is not still in the table
    bool wholeRecord = true; // a carved record lies whole in its free space
};

class IOS5MessageRecovery : public RecoveryTarget
{
public:
    using Checks = IOS5MessageChecks;

    explicit IOS5MessageRecovery(IOS5MessageDb& db);

    // Runs the whole procedure; `progress` may be null.
    static void recycleDeletedMessages(IOS5MessageDb& db, ProgressReporter* progress,
                                       const Checks& checks = Checks());

    // Tests a row further than the row test and fills the item; false when
    // the row is no message that may be stored. Reads the table's shape as
    // prepare() chose it (the known layouts before).
    bool recoverFetchMessage(const _SqliteFileRowData& row, IOS5RecycleMsgItem& item) const;

    Checks checks;

    QString table() const override { return QStringLiteral("message"); }
    void prepare(const QList<_SqliteCol>& declaration, bool present) override;
    const RecoveryTable& shape() const override { return tableShape; }
    SqliteRowFilter rowTest() const override;
    void freeCell(const _SqliteFileRowData& row) override;
    void carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run) override;

private:
    bool isLive(const _SqliteFileRowData& row) const;
    void store(const IOS5RecycleMsgItem& item, qint64 srcRowId);

    IOS5MessageDb& db;
    RecoveryTable tableShape;
    IOS5MessageColumns cols;
    QSet<QString> liveKeys;
};

// The known layouts of the iOS 5 message table, tried longest first: 33
// columns (ROWID .. madrid_account_guid), 32 and 17 (ROWID .. read).
QList<QList<_SqliteCol>> ios5MessageLayouts();
