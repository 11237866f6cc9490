// Cells of b-tree pages, their payloads (with overflow chains) and records.
//
// Cells, by page type (offsets from the cell's first byte):
// OFFSET SIZE MEANING
//   table leaf (13):      varint payload size P, varint row id, payload, [4 first overflow page]
//   table interior (5):   4 left child page, varint row id
//   index leaf (10):      varint payload size P, payload, [4 first overflow page]
//   index interior (2):   4 left child page, varint payload size P, payload, [4 first overflow page]
// With U the usable page size, a payload lies whole in the cell when P <= X
// (X = U-35 on table leaves, (U-12)*64/255-23 on index pages); otherwise the
// cell keeps K = M+((P-M) mod (U-4)) bytes when K <= X, else M = (U-12)*32/255-23,
// and the 4-byte number of the first overflow page follows them.
//
// Overflow page:
// OFFSET SIZE MEANING
//   0    4   next overflow page, 0 on the last
//   4    U-4 the next bytes of the payload
//
// Record (the payload):
// OFFSET SIZE MEANING
//   0    var header size H, this varint included
//   ..   var one serial type per column, up to byte H
//   H    ..  the column values in order (see sqliterecordvalue.h)
//
// A cell is read inside its page only; an overflow chain stops at a page met
// twice, at a page outside the file, and once the payload is complete.
#include "sqlite3file.h"

#include <QDebug>
#include <QSet>
#include <QVarLengthArray>

#include "sqliterecordvalue.h"

int Sqlite3File::localPayloadSize(qint64 payloadSize, bool tableLeaf) const
{
    return sqliteLocalPayloadSize(usable, payloadSize, tableLeaf);
}

int sqliteLocalPayloadSize(int usableSize, qint64 payloadSize, bool tableLeaf)
{
    Q_ASSERT(usableSize >= Sqlite3File::kMinUsableSize);
    const qint64 u = usableSize;
    const qint64 maxLocal = tableLeaf ? u - 35 : (u - 12) * 64 / 255 - 23;
    if (payloadSize <= maxLocal)
        return int(payloadSize);
    const qint64 minLocal = (u - 12) * 32 / 255 - 23;
    const qint64 k = minLocal + (payloadSize - minLocal) % (u - 4);
    return int(k <= maxLocal ? k : minLocal);
}

_SqlitePageCellRow Sqlite3File::pageCellRow(const _SqliteBtreePage& page, const char* cell) const
{
    _SqlitePageCellRow row;
    const char* e = page.pageEnd ? page.pageEnd : end;
    if (!begin || !cell || cell < begin || cell >= e)
        return row;
    row.pageEnd = e;
    const qint64 limit = e - cell;
    qint64 pos = 0;
    auto at = [&](qint64 off) { return off < limit ? cell + off : e; };
    if (!page.isLeaf()) {
        row.leftChild = sqlitefile_int32(at(pos), e);
        pos += 4;
    }
    if (!(page.pageType == 5)) {
        long long v = 0;
        if (const int n = sqlitefile_varint(&v, at(pos), e)) {
            row.payloadSize = v;
            pos += n;
        }
    }
    if (!page.isIndex()) {
        long long v = 0;
        if (const int n = sqlitefile_varint(&v, at(pos), e)) {
            row.rowid = v;
            pos += n;
        }
    }
    row.payload = at(pos);
    row.cellSize = int(qMin<qint64>(pos, limit));
    if (row.payloadSize < 1)
        return row;
    row.localSize = localPayloadSize(row.payloadSize, page.pageType == 13);
    if (row.localSize == row.payloadSize) {
        row.cellSize += row.localSize;
    } else {
        const qint64 overflowAt = (row.payload - cell) + row.localSize;
        row.firstOverflowPage = sqlitefile_int32(at(overflowAt), e);
        row.cellSize += row.localSize + 4;
    }
    return row;
}

void Sqlite3File::appendOverflow(QByteArray& out, int firstPage, qint64 remaining, bool strictNext) const
{
    const int total = pages();
    QSet<int> seen;
    for (int n = firstPage; n >= 2 && n <= total && remaining > 0 && !seen.contains(n);) {
        seen.insert(n);
        const char* start = pageAt(n);
        if (!start)
            break;
        const char* e = usableEnd(start);
        const int next = sqlitefile_int32(start, e);
        if (strictNext && next > total)
            break;
        const qint64 chunk = qMin<qint64>(remaining, usable - 4);
        out.append(sqlitefile_bytearr(int(chunk), e - start > 4 ? start + 4 : e, e));
        remaining -= chunk;
        n = next;
    }
}

QByteArray Sqlite3File::cellRowPayload(const _SqlitePageCellRow& row) const
{
    QByteArray out;
    if (row.payloadSize < 1 || !row.payload)
        return out;
    out.reserve(qsizetype(qMin<qint64>(row.payloadSize, size)));
    qint64 remaining = row.payloadSize;
    if (row.localSize >= 1) {
        out.append(sqlitefile_bytearr(row.localSize, row.payload, row.pageEnd ? row.pageEnd : end));
        remaining -= row.localSize;
    }
    appendOverflow(out, row.firstOverflowPage, remaining, false);
    return out;
}

_SqliteFileRowData Sqlite3File::cellRowData(const _SqlitePageCellRow& row) const
{
    _SqliteFileRowData data;
    data.rowid = row.rowid;
    // A payload that lies whole in its page is decoded in place; one with
    // overflow pages is gathered first.
    const char* e = row.pageEnd ? row.pageEnd : end;
    const bool inPlace = row.payloadSize >= 1 && row.firstOverflowPage == 0 && row.localSize == row.payloadSize
        && g_fitsIn(row.payload, row.payloadSize, e);
    QByteArray gathered;
    if (!inPlace)
        gathered = cellRowPayload(row);
    const char* p = inPlace ? row.payload : gathered.constData();
    const qint64 size = inPlace ? row.payloadSize : gathered.size();
    if (size == 0)
        return data;
    const char* payloadEnd = p + size;
    long long headerSize = 0;
    qint64 pos = sqlitefile_varint(&headerSize, p, payloadEnd);
    if (pos == 0) {
        qWarning("Sqlite3File::rowData, read header length failed.");
        return data;
    }
    QVarLengthArray<long long, 128> types;
    while (pos < headerSize) {
        long long t = 0;
        const int n = pos < size ? sqlitefile_varint(&t, p + pos, payloadEnd) : 0;
        if (n == 0) {
            qWarning("Sqlite3File::rowData, read column type failed.");
            return data;
        }
        types.append(t);
        pos += n;
    }
    data.values.reserve(types.size());
    for (long long t : types)
        data.values.append(sqliteDecodeValue(t, p, size, pos));
    return data;
}
