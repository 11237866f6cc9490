// The row carver: deleted records found in a page's free space by trying every
// byte as the start of a record's serial types.
//
// A deleted table-leaf cell, as it was written (col 0 is the row-id alias,
// stored as NULL):
// OFFSET SIZE MEANING
//   0    var payload size P = h + B
//   ..   var row id
//   ..   var header size h = typesLen + 1 + (length of this varint)
//   ..   1   serial type of column 0: 0
//   ..   var serial types of columns 1..n-1 (typesLen bytes)   <- a candidate starts here
//   ..   B   values of columns 1..n-1
//   ..   4   first overflow page, when P > U-35 (after the local part)
// When the cell is freed, a freeblock header (next offset, size: 4 bytes)
// overwrites its first 4 bytes, so the row id survives only sometimes.
//
// Recovery policy:
// - skipped silently: positions whose serial types do not fit the layout,
//   records whose sizes overflow 64 bits, records claiming an overflow page
//   outside the file, candidates that the caller's filter refuses;
// - shortened silently: bodies cut by the region's end or a broken overflow
//   chain (missing values read as 0 or empty);
// - an error (one warning per call): a layout of fewer than two columns;
// - the row id is set only when the cell prefix in front of the record lies
//   inside the region and decodes to exactly one (payload size, row id) pair
//   consistent with the record; otherwise it is 0;
// - an accepted record resumes the scan 4 bytes past its bytes in the region,
//   unless its body is empty: such a record is only serial types (every run
//   of zero bytes reads as a row of NULLs), and skipping them could step over
//   the start of a real record behind them, so the scan goes on one byte later;
// - the filter is asked once per call about a row of NULLs whose row id is
//   unknown: it sees nothing else, so its answer cannot change.
// Regions are clipped to their page's usable area and to the image.
#include "sqlite3file.h"

#include <QDebug>
#include <QVarLengthArray>

#include "sqliterecordvalue.h"

namespace {

bool addSize(qint64& sum, qint64 add)
{
    return !__builtin_add_overflow(sum, add, &sum);
}

// Length of the header-size varint of a header whose other bytes number `rest`.
int headerVarintLength(qint64 rest)
{
    int len = 1;
    while (sqlitefile_varint_lengh(rest + len) > len)
        ++len;
    return len;
}

} // namespace

qint64 Sqlite3File::provenRowid(const char* from, const char* typesAt, int headerVarintLen, qint64 headerSize,
                                qint64 payloadSize)
{
    const qint64 before = typesAt - from;
    // Column 0's serial type and the header-size varint must be there, intact.
    if (before < 1 + headerVarintLen || typesAt[-1] != 0)
        return 0;
    const char* headerAt = typesAt - 1 - headerVarintLen;
    long long h = 0;
    if (sqlitefile_varint(&h, headerAt, typesAt - 1) != headerVarintLen || h != headerSize)
        return 0;
    const int payloadLen = sqlitefile_varint_lengh(payloadSize);
    qint64 found = 0;
    int matches = 0;
    for (int rowidLen = 1; rowidLen <= 9; ++rowidLen) {
        const qint64 start = (headerAt - from) - rowidLen - payloadLen;
        if (start < 0)
            break;
        long long p = 0, rowid = 0;
        if (sqlitefile_varint(&p, from + start, headerAt) == payloadLen && p == payloadSize
            && sqlitefile_varint(&rowid, from + start + payloadLen, headerAt) == rowidLen && rowid > 0) {
            found = rowid;
            ++matches;
        }
    }
    return matches == 1 ? found : 0;
}

QList<_SqliteFileRowData> Sqlite3File::recoverRows(const CarveLayout& layout, short firstColSize, int usableSize,
                                                   const char* from, const char* to, const SqliteRowFilter& filter) const
{
    QList<_SqliteFileRowData> rows;
    if (!begin || !from || !to)
        return rows;
    if (to > end)
        to = end;
    if (from < begin || from >= to)
        return rows;
    if (layout.columns < 2) {
        qWarning("tbCols size < 2.");
        return rows;
    }
    if (usableSize < kMinUsableSize || usableSize > pageSize || firstColSize < 0)
        return rows;

    const qint64 length = to - from;
    const int n = layout.columns;
    const int total = pages();
    const auto* u = reinterpret_cast<const uchar*>(from);
    QVarLengthArray<long long, 128> types(n);

    // The filter's answer about a row of NULLs without a row id: -1 until asked.
    int nullRowVerdict = -1;
    qint64 p0 = 0;
    while (p0 < length) {
        // Serial types of columns 1..n-1; one that cannot be read counts as 0.
        qint64 p = p0;
        bool fits = true;
        bool allNull = true;
        for (int i = 1; i < n; ++i) {
            long long t = 0;
            if (p < length && u[p] < 0x80) {
                t = u[p];
                ++p;
            } else if (p < length) {
                p += sqlitefile_varint(&t, from + p, to);
            }
            if (!layout.fits(i, t)) {
                fits = false;
                break;
            }
            types[i] = t;
            allNull = allNull && t == 0;
        }
        if (!fits) {
            ++p0;
            continue;
        }
        const qint64 typesEnd = p;
        const qint64 typesLen = typesEnd - p0;

        qint64 bodySize = firstColSize;
        for (int i = 1; i < n && fits; ++i)
            fits = addSize(bodySize, sqliteSerialTypeSize(types[i]));
        const int hv = headerVarintLength(typesLen + 1);
        const qint64 headerSize = typesLen + 1 + hv;
        qint64 payloadSize = headerSize;
        if (!fits || !addSize(payloadSize, bodySize)) {
            ++p0;
            continue;
        }

        // The part of the body on this page, and the overflow page after it.
        qint64 localBody = bodySize;
        int firstOverflow = 0;
        const bool overflows = payloadSize > usableSize - 35;
        if (overflows) {
            localBody = qMax<qint64>(0, sqliteLocalPayloadSize(usableSize, payloadSize, true) - headerSize);
            if (g_fitsIn(typesEnd, localBody, length))
                firstOverflow = sqlitefile_int32(from + typesEnd + localBody, to);
            if (firstOverflow < 2 || firstOverflow > total) {
                ++p0;
                continue;
            }
        }
        const qint64 localInRegion = qMin(localBody, length - typesEnd);
        const qint64 rowid = provenRowid(from, from + p0, hv, headerSize, payloadSize);
        const bool nullRow = allNull && firstColSize == 0 && rowid == 0;
        if (nullRow && nullRowVerdict == 0) {
            // Along a run of zero bytes the window of one-byte types slides:
            // the next position reads the same row of NULLs while the byte
            // it gains is zero and no cell prefix before it names a row id.
            qint64 gained = typesEnd;
            ++p0;
            if (typesLen == n - 1) {
                while (gained < length && u[gained] == 0 && provenRowid(from, from + p0, hv, headerSize, payloadSize) == 0) {
                    ++p0;
                    ++gained;
                }
            }
            continue;
        }

        QByteArray body = sqlitefile_bytearr(int(localInRegion), from + typesEnd, to);
        if (overflows)
            appendOverflow(body, firstOverflow, bodySize - localBody, true);

        _SqliteFileRowData row;
        row.values.reserve(n);
        row.values.append(firstColSize > 0 ? QVariant(body.left(firstColSize)) : QVariant());
        qint64 offset = firstColSize;
        for (int i = 1; i < n; ++i)
            row.values.append(sqliteDecodeValue(types[i], body.constData(), body.size(), offset));
        row.rowid = rowid;
        row.cut = body.size() < bodySize;
        const qint64 recordEnd = qMin(length, typesEnd + localInRegion + (overflows ? 4 : 0));
        row.recordStart = (from - begin) + p0;
        row.recordEnd = (from - begin) + recordEnd;

        const bool accepted = !filter || filter(row);
        if (nullRow)
            nullRowVerdict = accepted;
        if (!accepted) {
            ++p0;
            continue;
        }
        rows.append(row);
        p0 = bodySize == 0 ? p0 + 1 : typesEnd + localInRegion + 4 + (overflows ? 4 : 0);
    }
    return rows;
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRows(const CarveLayout& layout, short firstColSize,
                                                            const _SqliteBtreePage& page, const SqliteRowFilter& filter) const
{
    QList<_SqliteFileRowData> rows;
    if (!page.pageStart || !page.header || !page.pageEnd)
        return rows;
    if (!page.isLeaf())
        return recoverFreeBlockRowsRaw(layout, firstColSize, page.pageNo, 8, filter);

    const qint64 pageLimit = page.pageEnd - page.pageStart;
    const qint64 gapStart = (page.header - page.pageStart) + 8;
    const qint64 gapEnd = qMin<qint64>(page.cellContentStart, pageLimit);
    if (gapStart < gapEnd)
        rows += recoverRows(layout, firstColSize, usable, page.pageStart + gapStart, page.pageStart + gapEnd, filter);

    for (const char* f : page.freeblocks) {
        const qint64 at = f - page.pageStart;
        const qint64 blockSize = sqlitefile_int16(f + 2, page.pageEnd);
        const qint64 blockEnd = qMin(at + blockSize, pageLimit);
        if (blockSize > 4 && at + 4 < blockEnd)
            rows += recoverRows(layout, firstColSize, usable, f + 4, page.pageStart + blockEnd, filter);
    }
    return rows;
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRowsRaw(const CarveLayout& layout, short firstColSize, int pgno,
                                                               int offset, const SqliteRowFilter& filter) const
{
    const char* start = pageAt(pgno);
    if (!start || offset < 0)
        return {};
    const char* e = usableEnd(start);
    if (offset >= e - start)
        return {};
    return recoverRows(layout, firstColSize, usable, start + offset, e, filter);
}

QList<_SqliteFileRowData> Sqlite3File::recoverRows(const QList<_SqliteCol>& tbCols, short firstColSize, int usableSize,
                                                   const char* from, const char* to, const SqliteRowFilter& filter) const
{
    return recoverRows(CarveLayout::fromColumns(tbCols), firstColSize, usableSize, from, to, filter);
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRows(const QList<_SqliteCol>& tbCols, short firstColSize,
                                                            const _SqliteBtreePage& page, const SqliteRowFilter& filter) const
{
    return recoverFreeBlockRows(CarveLayout::fromColumns(tbCols), firstColSize, page, filter);
}

QList<_SqliteFileRowData> Sqlite3File::recoverFreeBlockRowsRaw(const QList<_SqliteCol>& tbCols, short firstColSize,
                                                               int pgno, int offset, const SqliteRowFilter& filter) const
{
    return recoverFreeBlockRowsRaw(CarveLayout::fromColumns(tbCols), firstColSize, pgno, offset, filter);
}
