// Records of the SQLite file reader: a parsed b-tree page, a free-list trunk
// page, a parsed cell, and a row decoded from a cell or carved from free
// space. Page and cell records point into the Sqlite3File image that made
// them and are valid only while it stays open; rows are copies.
#pragma once

#include <QList>
#include <QVariant>
#include <functional>

struct _SqliteBtreePage
{
    short firstFreeblock = 0;   // header bytes 1..2, as stored
    short cellContentStart = 0; // header bytes 5..6, as stored (0 stays 0)
    quint8 pageType = 0;        // header byte 0, whatever its value
    quint8 fragmentedBytes = 0; // header byte 7
    int rightChild = 0;         // header bytes 8..11 on interior pages
    int pageNo = 0;
    const char* pageStart = nullptr; // first byte of the page in the image
    const char* header = nullptr;    // pageStart + 100 on page 1, else pageStart
    const char* pageEnd = nullptr;   // end of the usable area, clipped to the image
    QList<const char*> cells;        // cell-pointer entries that lie inside the page
    QList<const char*> freeblocks;   // the freeblock chain, forwards only

    bool isBtreePage() const { return pageType == 2 || pageType == 5 || pageType == 10 || pageType == 13; }
    bool isIndex() const { return pageType & 2; }
    bool isLeaf() const { return pageType & 8; }
};

struct _SqliteFreeTrunkPage
{
    int pageNo = 0;
    const char* pageStart = nullptr;
    int nextTrunk = 0;  // 0 on the last trunk
    QList<int> leaves;  // as stored, at most what a trunk page can hold
};

struct _SqlitePageCellRow
{
    qint64 rowid = 0;       // table cells only
    qint64 payloadSize = 0; // 0 in table-interior cells
    int localSize = 0;      // payload bytes inside the cell
    int leftChild = 0;      // interior cells only
    int firstOverflowPage = 0;
    int cellSize = 0;
    const char* payload = nullptr;
    const char* pageEnd = nullptr; // the cell's page ends here; its local part never reads past it
};

struct _SqliteFileRowData
{
    qint64 rowid = 0;        // 0 when unknown
    QList<QVariant> values;  // one per column (decoded) or per layout column (carved)
    // Carved only: the record ran past the end of its region or of its
    // overflow chain, so its last values are missing or short. A deleted
    // record lies whole in the space it was freed into; one that does not
    // was partly overwritten.
    bool cut = false;
    // Carved only: where the record's bytes lie in the file image, as
    // offsets from its first byte: from the serial type of column 1 up to
    // the end of its local part and overflow page number in the region. -1
    // for rows decoded from cells.
    qint64 recordStart = -1;
    qint64 recordEnd = -1;
};

// Row filter of the carver: true keeps the candidate. It may carry what it
// needs to know of the table (where its columns lie); empty keeps every candidate.
using SqliteRowFilter = std::function<bool(const _SqliteFileRowData&)>;
