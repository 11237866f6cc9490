// One SQLite database file read without the database engine: mapped whole and
// read-only, walked page by page (b-tree pages, the free list), its cells
// decoded into rows, and deleted rows carved out of its free space.
//
// Nothing here trusts the file: every offset is 64-bit and checked before a
// pointer is formed, every read stays inside its page or the image, and every
// walk over links (tree children, freeblocks, free-list trunks, overflow
// chains) is bounded by a visited set or a step limit. Only open() throws.
#pragma once

#include <QFile>
#include <QList>
#include <QString>

#include "carvecolumn.h"
#include "sqlitefilebytes.h"
#include "sqlitefilerecords.h"

class Sqlite3File
{
public:
    // The smallest usable page size a file opens with (512 less 255 reserved).
    static constexpr int kMinUsableSize = 257;

    explicit Sqlite3File(const QString& path);
    Sqlite3File(const Sqlite3File&) = delete;
    Sqlite3File& operator=(const Sqlite3File&) = delete;

    // Opens and maps the file; throws std::runtime_error "open %1 failed. %2",
    // "map %1 failed. %2" or "invalid page size.".
    void open();

    const char* pBegin() const { return begin; }
    const char* pEnd() const { return end; }
    qint64 fileSize() const { return size; }
    int pageSizeBytes() const { return pageSize; }
    // Page size less the reserved bytes at the end of each page (header byte 20).
    int usableSize() const { return usable; }
    // Pages holding the file; a partial last page counts.
    int pages() const;
    int firstFreeTrunkPage() const;
    int totalFreeListPages() const;

    // First byte of page `pgno`, or null when it does not begin inside the file.
    const char* pageAt(int pgno) const;
    // End of the usable part of a page that pageAt() gave, clipped to the image.
    const char* usableEnd(const char* pageStart) const;

    // --- pages and the free list ---
    _SqliteBtreePage btreePage(int pgno) const;
    _SqliteFreeTrunkPage freeTrunkPage(int pgno) const;
    QList<_SqliteBtreePage> leafs(const _SqliteBtreePage& page) const;
    QList<_SqliteBtreePage> allBTreePages(const _SqliteBtreePage& page) const;
    // The whole free list from the header: trunk pages, then leaf pages, each
    // page at most once, in list order; stops at a cycle or after pages() trunks.
    struct FreeList
    {
        QList<int> trunks;
        QList<int> leaves;
    };
    FreeList freeList() const;

    // --- cells and records ---
    _SqlitePageCellRow pageCellRow(const _SqliteBtreePage& page, const char* cell) const;
    QByteArray cellRowPayload(const _SqlitePageCellRow& row) const;
    _SqliteFileRowData cellRowData(const _SqlitePageCellRow& row) const;
    // Payload bytes kept in the cell of a payload of `payloadSize` bytes
    // (local-size rule of table leaves, or of index pages).
    int localPayloadSize(qint64 payloadSize, bool tableLeaf) const;

    // --- carving deleted rows ---
    // The column lists are turned into a CarveLayout on each call; callers
    // that carve many pages build the layout once and pass it instead.
    QList<_SqliteFileRowData> recoverRows(const QList<_SqliteCol>& tbCols, short firstColSize, int usableSize,
                                          const char* from, const char* to, const SqliteRowFilter& filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRows(const QList<_SqliteCol>& tbCols, short firstColSize,
                                                   const _SqliteBtreePage& page, const SqliteRowFilter& filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRowsRaw(const QList<_SqliteCol>& tbCols, short firstColSize, int pgno,
                                                      int offset, const SqliteRowFilter& filter) const;
    QList<_SqliteFileRowData> recoverRows(const CarveLayout& layout, short firstColSize, int usableSize,
                                          const char* from, const char* to, const SqliteRowFilter& filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRows(const CarveLayout& layout, short firstColSize,
                                                   const _SqliteBtreePage& page, const SqliteRowFilter& filter) const;
    QList<_SqliteFileRowData> recoverFreeBlockRowsRaw(const CarveLayout& layout, short firstColSize, int pgno,
                                                      int offset, const SqliteRowFilter& filter) const;

private:
    // Appends up to `remaining` bytes of the overflow chain from `firstPage`;
    // stops at a page met twice, a page outside the file, or after pages() pages.
    // `strictNext`: a next page beyond the file ends the chain before that page.
    void appendOverflow(QByteArray& out, int firstPage, qint64 remaining, bool strictNext) const;
    // The row id in front of a carved record at `typesAt`, when the bytes of
    // its cell prefix inside [from, typesAt) prove it; otherwise 0.
    static qint64 provenRowid(const char* from, const char* typesAt, int headerVarintLen, qint64 headerSize,
                              qint64 payloadSize);

    QFile file;
    qint64 size = 0;
    const char* begin = nullptr;
    const char* end = nullptr;
    int pageSize = 0;
    int usable = 0;
};

// Local-size rule for a usable page size of at least Sqlite3File::kMinUsableSize.
int sqliteLocalPayloadSize(int usableSize, qint64 payloadSize, bool tableLeaf);

