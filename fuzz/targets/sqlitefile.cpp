// SQLite database files read without the engine: the header, every page as a
// b-tree page with its cells decoded, the tree walks, the free list, and every
// page carved with the layouts and row tests that the three recoveries hand
// the carver (deleted handles and messages of iOS 6+, messages of iOS 5), the
// records that each layout of a page takes kept apart from those of the
// layouts before, and with a layout of every column class and no row test.
#include "fuzzsupport.h"
#include "ios5messagerecovery.h"
#include "ios6handlerecovery.h"
#include "ios6messagerecovery.h"
#include "sqlite3file.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <stdexcept>

namespace {

const CarveLayout& mixedLayout()
{
    static const CarveLayout layout = CarveLayout::fromColumns(
        {{"ROWID", "INTEGER", false, false, true}, {"s", "STRING", false, false, false},
         {"r", "REAL", false, false, false}, {"b", "BLOB", false, false, false},
         {"n", "NUMERIC", false, true, false}});
    return layout;
}

// The recoveries as they stand before they read a file: with the layouts
// their tables are known to have had. Their message databases are never
// opened; the iOS 5 row test reads the country table.
struct Recoveries
{
    Recoveries()
        : folder(QDir(fuzz::scratchParent()).filePath(QStringLiteral("recoveries"))), ios6(QDir(folder), _CountryInfo(), false),
          ios5(QDir(folder), _CountryInfo()), handles(ios6), messages(ios6, {}), ios5Messages(ios5)
    {
    }
    QList<const RecoveryTarget*> all() const { return {&handles, &messages, &ios5Messages}; }

    QString folder;
    IOS6MessageDb ios6;
    IOS5MessageDb ios5;
    IOS6HandleRecovery handles;
    IOS6MessageRecovery messages;
    IOS5MessageRecovery ios5Messages;
};

const Recoveries& recoveries()
{
    static const Recoveries r;
    return r;
}

// A carved row names bytes of the image that it was read from.
void checkRecordBytes(const Sqlite3File& f, const QList<_SqliteFileRowData>& rows)
{
    for (const _SqliteFileRowData& row : rows)
        if (row.recordStart < 0 || row.recordStart > row.recordEnd || row.recordEnd > f.pEnd() - f.pBegin())
            std::abort();
}

void walkPage(const Sqlite3File& f, int pgno)
{
    const _SqliteBtreePage page = f.btreePage(pgno);
    for (const RecoveryTarget* target : recoveries().all()) {
        checkRecordBytes(f, RecoveryRun::carveEveryLayout(f, page, *target, nullptr));
        const SqliteRowFilter rowTest = target->rowTest();
        for (const char* cell : page.cells)
            rowTest(f.cellRowData(f.pageCellRow(page, cell)));
    }
    checkRecordBytes(f, RecoveryRun::carve(f, page, mixedLayout(), nullptr));
    if (page.isBtreePage() && pgno <= 4) {
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
