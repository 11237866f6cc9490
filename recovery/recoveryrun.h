// The skeleton every recovery procedure shares: the message database opened
// and checkpointed, its file mapped, one transaction on the recovery database
// (committed at the end, also after a cancel; rolled back when anything
// fails), the free-list phase, the list of pages to carve (each page once),
// and the carving of each page with progress and a cancel probe. What a
// procedure recovers (its table, layouts, mapping and storing) is a
// RecoveryTarget.
#pragma once

#include <QList>
#include <QString>

#include "carvecolumn.h"
#include "sqlite3file.h"

class AbsIOSMessageDb;
class MessageRecycleDb;
class ProgressReporter;

class RecoveryRun;
class RecoveryTable;

class RecoveryTarget
{
public:
    virtual ~RecoveryTarget() = default;
    // The table whose pages are carved besides the free pages.
    virtual QString table() const = 0;
    // Called once the message database is open, before the file is read:
    // the place to load what the live table holds and to choose the layouts.
    // `declaration`: the table's declared columns (empty when it has none or
    // they cannot be read); `present`: the file has the table.
    virtual void prepare(const QList<_SqliteCol>& declaration, bool present) = 0;
    // The columns the table's pages are carved with and its values read by,
    // and the row filter the carver is given with each layout: as prepare()
    // chose them (the table's known layouts before).
    virtual const RecoveryTable& shape() const = 0;
    virtual SqliteRowFilter rowTest() const = 0;
    // A cell of a table leaf page found on the free list, decoded whole.
    virtual void freeCell(const _SqliteFileRowData& row) = 0;
    // Carves one page and stores what it finds, probing run.cancelled()
    // before each layout and each row it stores.
    virtual void carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run) = 0;
};

class RecoveryRun
{
public:
    // `progress` may be null: then nothing is reported and nothing cancels.
    RecoveryRun(AbsIOSMessageDb& db, MessageRecycleDb& recycle, ProgressReporter* progress);

    // Throws std::exception on failure (a missing sms.db included), with the
    // recovery database's transaction rolled back.
    void run(RecoveryTarget& target);

    bool cancelled() const;

    // A b-tree page carved over its free space, any other page whole.
    static QList<_SqliteFileRowData> carve(const Sqlite3File& file, const _SqliteBtreePage& page,
                                           const CarveLayout& layout, const SqliteRowFilter& filter);
    // The page carved with each of the target's layouts in turn and its row
    // test; a layout's rows whose records share bytes with one that a layout
    // before it took are dropped (see CarvedRecords). `run` (may be null) is
    // probed before each layout: a cancel ends the carving with the rows
    // found so far.
    static QList<_SqliteFileRowData> carveEveryLayout(const Sqlite3File& file, const _SqliteBtreePage& page,
                                                      const RecoveryTarget& target, const RecoveryRun* run);

private:
    // The table's root page; 0 when the file has no such table.
    int rootPage(const QString& table, bool& present);

    AbsIOSMessageDb& db;
    MessageRecycleDb& recycle;
    ProgressReporter* progress;
};
