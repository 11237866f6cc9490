#include "recoveryrun.h"

#include <QFileInfo>
#include <QVector>
#include <stdexcept>

#include "absiosmessagedb.h"
#include "carvedrecords.h"
#include "messagerecycledb.h"
#include "progressreporter.h"
#include "recoverytable.h"

namespace {

// The pages to carve, in the order met, each once.
class PageList
{
public:
    explicit PageList(int pages) : seen(pages + 1, false) {}
    // Adds the page; false when it is no page of the file or already listed.
    bool add(int pgno)
    {
        if (pgno < 1 || pgno >= seen.size() || seen[pgno])
            return false;
        seen[pgno] = true;
        list.append(pgno);
        return true;
    }
    const QList<int>& pages() const { return list; }

private:
    QVector<bool> seen;
    QList<int> list;
};

} // namespace

RecoveryRun::RecoveryRun(AbsIOSMessageDb& db, MessageRecycleDb& recycle, ProgressReporter* progress)
    : db(db), recycle(recycle), progress(progress)
{
}

bool RecoveryRun::cancelled() const
{
    return progress && progress->isCancelled();
}

QList<_SqliteFileRowData> RecoveryRun::carve(const Sqlite3File& file, const _SqliteBtreePage& page,
                                             const CarveLayout& layout, const SqliteRowFilter& filter)
{
    return page.isBtreePage() ? file.recoverFreeBlockRows(layout, 0, page, filter)
                              : file.recoverFreeBlockRowsRaw(layout, 0, page.pageNo, 0, filter);
}

QList<_SqliteFileRowData> RecoveryRun::carveEveryLayout(const Sqlite3File& file, const _SqliteBtreePage& page,
                                                        const RecoveryTarget& target, const RecoveryRun* run)
{
    const SqliteRowFilter filter = target.rowTest();
    QList<_SqliteFileRowData> rows;
    CarvedRecords taken;
    for (const CarveLayout& layout : target.shape().layouts()) {
        if (run && run->cancelled())
            break;
        rows += taken.takeClear(carve(file, page, layout, filter));
    }
    return rows;
}

int RecoveryRun::rootPage(const QString& table, bool& present)
{
    Sqlite3Cursor c = db.queryThrow(
        Sqlite3Sql("select rootpage from sqlite_master where type='table' and name=?").addTextParam(table));
    present = c.moveNext();
    return present ? c.getInt(QStringLiteral("rootpage")) : 0;
}

void RecoveryRun::run(RecoveryTarget& target)
{
    // Opening would make an empty database where the file is missing, and
    // "recover" nothing from it.
    const QString path = db.iosDbPath();
    if (!QFileInfo(path).isFile())
        throw std::runtime_error(QStringLiteral("open %1 failed. No such file.").arg(path).toUtf8().toStdString());
    db.openCheck();
    QString ignored;
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);"), ignored);
    // Without the table (a whole dropped table may lie on the free list) the
    // free-list phase still reads the cells of freed pages and its finds are
    // kept; a file without the table is no database of the kind the layouts
    // describe, so nothing of it is carved and no progress is reported.
    bool present = false;
    const int root = rootPage(target.table(), present);
    target.prepare(present ? RecoveryTable::readDeclaration(db, target.table()) : QList<_SqliteCol>(), present);

    Sqlite3File file(path);
    file.open();
    recycle.beginEdit();
    try {
        PageList pages(file.pages());
        // Free-list phase: trunks and free pages are carved later; the cells of
        // freed table leaves are read now, as they stand.
        const Sqlite3File::FreeList freeList = file.freeList();
        for (int trunk : freeList.trunks)
            pages.add(trunk);
        for (int leaf : freeList.leaves) {
            if (cancelled())
                break;
            const _SqliteBtreePage page = file.btreePage(leaf);
            if (!page.isBtreePage()) {
                pages.add(leaf);
                continue;
            }
            for (const _SqliteBtreePage& p : file.leafs(page)) {
                if (cancelled())
                    break;
                if (pages.add(p.pageNo) && p.pageType == 13)
                    for (const char* cell : p.cells)
                        target.freeCell(file.cellRowData(file.pageCellRow(p, cell)));
            }
        }
        if (!present) {
            recycle.endEdit(true);
            return;
        }
        // The table's own pages: free space of its leaves, and the stale bytes
        // of interior pages that once were leaves.
        if (root >= 1)
            for (const _SqliteBtreePage& p : file.allBTreePages(file.btreePage(root)))
                pages.add(p.pageNo);

        const QList<int>& list = pages.pages();
        for (int k = 0; k < list.size(); ++k) {
            if (cancelled())
                break;
            if (progress)
                progress->reportProgress(QString(), int(double(k + 1) / list.size() * 100.0), QString());
            target.carvePage(file, file.btreePage(list.at(k)), *this);
        }
        recycle.endEdit(true);
    } catch (...) {
        try {
            recycle.endEdit(false);
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
}
