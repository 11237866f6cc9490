// SQLite database files read without the engine: the header, every page as a
// b-tree page with its cells decoded, the tree walks, the free list, and every
// page carved with a handle-table layout and a layout of every column class.
#include "fuzzsupport.h"
#include "ios6messagerowtest.h"
#include "sqlite3file.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace {

const CarveLayout& handleLayout()
{
    static const CarveLayout layout = CarveLayout::fromColumns(
        {{"ROWID", "INTEGER", false, false, true}, {"id", "TEXT", true, false, false},
         {"country", "TEXT", false, false, false}, {"service", "TEXT", true, false, false},
         {"uncanonicalized_id", "TEXT", false, false, false}});
    return layout;
}

const CarveLayout& mixedLayout()
{
    static const CarveLayout layout = CarveLayout::fromColumns(
        {{"ROWID", "INTEGER", false, false, true}, {"s", "STRING", false, false, false},
         {"r", "REAL", false, false, false}, {"b", "BLOB", false, false, false},
         {"n", "NUMERIC", false, true, false}});
    return layout;
}

void walkPage(const Sqlite3File& f, int pgno)
{
    const _SqliteBtreePage page = f.btreePage(pgno);
    if (!page.isBtreePage()) {
        for (const CarveLayout* layout : {&handleLayout(), &mixedLayout()})
            f.recoverFreeBlockRowsRaw(*layout, 0, pgno, 0, nullptr);
        return;
    }
    for (const char* cell : page.cells)
        checkMessageRowValid(f.cellRowData(f.pageCellRow(page, cell)));
    for (const CarveLayout* layout : {&handleLayout(), &mixedLayout()})
        f.recoverFreeBlockRows(*layout, 0, page, nullptr);
    if (pgno <= 4) {
        f.leafs(page);
        f.allBTreePages(page);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    // One file, rewritten for every input: the reader maps files, not bytes.
    static const QString path = QDir(fuzz::scratchFolder()).filePath(QStringLiteral("input.db"));
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            return 0;
    }
    Sqlite3File f(path);
    try {
        f.open();
    } catch (const std::runtime_error&) {
        return 0;
    }
    f.firstFreeTrunkPage();
    f.totalFreeListPages();
    f.freeList();
    for (int pg = 1; pg <= f.pages(); ++pg)
        walkPage(f, pg);
    return 0;
}
