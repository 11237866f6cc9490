// B-tree pages, the walks down a b-tree, and free-list trunk pages.
//
// B-tree page header (at byte 100 of page 1, at byte 0 of every other page):
// OFFSET SIZE MEANING
//   0    1   page type: 2 interior index, 5 interior table, 10 leaf index, 13 leaf table
//   1    2   offset of the first freeblock, 0 when none
//   3    2   number of cells
//   5    2   offset of the cell content area
//   7    1   number of fragmented free bytes
//   8    4   right-most child page (interior pages only)
// The cell-pointer array follows the header (8 bytes on leaves, 12 on interior
// pages): one 2-byte offset per cell, counted from the page's first byte.
//
// Freeblock (inside a page):
// OFFSET SIZE MEANING
//   0    2   offset of the next freeblock, 0 on the last; chains run forwards
//   2    2   size of this freeblock, header included
//
// Free-list trunk page:
// OFFSET SIZE MEANING
//   0    4   next trunk page, 0 on the last
//   4    4   number L of leaf page numbers that follow (at most usable/4 - 2)
//   8    4*L leaf page numbers
//
// What a damaged page yields: cell pointers outside the page are dropped, a
// cell count is clamped to the pointers the page can hold, a freeblock chain
// ends at a link that does not go forwards or leaves the page, and tree walks
// visit each page once.
#include "sqlite3file.h"

#include <QVector>

_SqliteBtreePage Sqlite3File::btreePage(int pgno) const
{
    _SqliteBtreePage page;
    if (pgno < 1)
        return page;
    page.pageNo = pgno;
    page.pageStart = pageAt(pgno);
    if (!page.pageStart)
        return page;
    page.pageEnd = usableEnd(page.pageStart);
    const qint64 limit = page.pageEnd - page.pageStart;
    const int headerOffset = pgno == 1 ? 100 : 0;
    if (limit <= headerOffset)
        return page;
    page.header = page.pageStart + headerOffset;
    page.pageType = quint8(*page.header);
    if (!page.isBtreePage())
        return page;

    const char* h = page.header;
    const char* e = page.pageEnd;
    page.firstFreeblock = sqlitefile_int16(h + 1, e);
    const int storedCells = quint16(sqlitefile_int16(h + 3, e));
    page.cellContentStart = sqlitefile_int16(h + 5, e);
    page.fragmentedBytes = quint8(sqlitefile_byte(h + 7, e));
    int arrayOffset = headerOffset + 8;
    if (!page.isLeaf()) {
        page.rightChild = sqlitefile_int32(h + 8, e);
        arrayOffset += 4;
    }

    const qint64 room = limit > arrayOffset ? (limit - arrayOffset) / 2 : 0;
    const int cellCount = int(qMin<qint64>(storedCells, room));
    page.cells.reserve(cellCount);
    for (int k = 0; k < cellCount; ++k) {
        const quint16 offset = quint16(sqlitefile_int16(page.pageStart + arrayOffset + 2 * k, e));
        if (offset < limit)
            page.cells.append(page.pageStart + offset);
    }

    int f = quint16(page.firstFreeblock);
    for (int steps = 0; f > 0 && f + 4 <= limit && steps < pageSize / 4; ++steps) {
        page.freeblocks.append(page.pageStart + f);
        const int next = quint16(sqlitefile_int16(page.pageStart + f, e));
        if (next <= f)
            break;
        f = next;
    }
    return page;
}

_SqliteFreeTrunkPage Sqlite3File::freeTrunkPage(int pgno) const
{
    _SqliteFreeTrunkPage trunk;
    trunk.pageNo = pgno >= 1 ? pgno : 0;
    trunk.pageStart = pageAt(pgno);
    if (!trunk.pageStart)
        return trunk;
    const char* e = usableEnd(trunk.pageStart);
    trunk.nextTrunk = sqlitefile_int32(trunk.pageStart, e);
    const int stored = sqlitefile_int32(trunk.pageStart + 4, e);
    const int count = qMin(stored, usable / 4 - 2);
    for (int k = 0; k < count; ++k) {
        const char* entry = trunk.pageStart + 8 + 4 * k;
        if (entry >= e)
            break;
        trunk.leaves.append(sqlitefile_int32(entry, e));
    }
    return trunk;
}

namespace {

// Children of an interior page in key order: each cell's left child, then the
// right-most child. Leaves (and pages that are no b-tree page) have none.
QList<int> childPages(const _SqliteBtreePage& page)
{
    QList<int> children;
    if (page.isLeaf())
        return children;
    for (const char* cell : page.cells)
        children.append(sqlitefile_int32(cell, page.pageEnd));
    if (page.pageType == 2 || page.pageType == 5)
        children.append(page.rightChild);
    return children;
}

// Depth-first pre-order walk from `root`, each page at most once; `visit`
// sees every page reached and says whether to descend into it.
template <typename Visit>
void walkTree(const Sqlite3File& file, const _SqliteBtreePage& root, Visit visit)
{
    const int total = file.pages();
    QVector<bool> seen(total + 1, false);
    if (root.pageNo >= 1 && root.pageNo <= total)
        seen[root.pageNo] = true;
    // Page numbers wait on the stack; a page is parsed when its turn comes.
    QList<int> stack;
    bool atRoot = true;
    while (atRoot || !stack.isEmpty()) {
        const _SqliteBtreePage page = atRoot ? root : file.btreePage(stack.takeLast());
        atRoot = false;
        visit(page);
        const QList<int> children = childPages(page);
        for (int k = children.size() - 1; k >= 0; --k) {
            const int child = children.at(k);
            if (child >= 1 && child <= total && !seen[child]) {
                seen[child] = true;
                stack.append(child);
            }
        }
    }
}

} // namespace

QList<_SqliteBtreePage> Sqlite3File::leafs(const _SqliteBtreePage& page) const
{
    QList<_SqliteBtreePage> result;
    walkTree(*this, page, [&](const _SqliteBtreePage& p) {
        if (p.isLeaf())
            result.append(p);
    });
    return result;
}

QList<_SqliteBtreePage> Sqlite3File::allBTreePages(const _SqliteBtreePage& page) const
{
    QList<_SqliteBtreePage> result;
    walkTree(*this, page, [&](const _SqliteBtreePage& p) { result.append(p); });
    return result;
}
