// The SQLite file reader: opening, byte readers, pages, cells and records
// against SQLite's own answers, and damaged files that must end quickly.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>

#include "sqlite3file.h"
#include "sqlitefilefixture.h"

using namespace SqliteFileFixture;

namespace {

// Numbers compare by value whatever their width; texts, blobs and NULL exactly.
bool sameValue(const QVariant& decoded, const QVariant& live)
{
    if (live.isNull() || decoded.isNull())
        return live.isNull() && decoded.isNull() && live.typeId() != QMetaType::QByteArray;
    switch (live.typeId()) {
    case QMetaType::LongLong: return decoded.typeId() != QMetaType::Double && decoded.toLongLong() == live.toLongLong();
    // A REAL column keeps whole numbers as integers in the file.
    case QMetaType::Double: return decoded.canConvert<double>() && decoded.toDouble() == live.toDouble();
    case QMetaType::QString: return decoded.typeId() == QMetaType::QString && decoded.toString() == live.toString();
    default: return decoded.typeId() == QMetaType::QByteArray && decoded.toByteArray() == live.toByteArray();
    }
}

QList<_SqliteFileRowData> decodeAll(const Sqlite3File& f, const QList<_SqliteBtreePage>& pages)
{
    QList<_SqliteFileRowData> rows;
    for (const _SqliteBtreePage& p : pages)
        for (const char* cell : p.cells)
            rows.append(f.cellRowData(f.pageCellRow(p, cell)));
    return rows;
}

QList<int> pageNumbers(const QList<_SqliteBtreePage>& pages)
{
    QList<int> n;
    for (const _SqliteBtreePage& p : pages)
        n.append(p.pageNo);
    return n;
}

bool acceptNamed(const _SqliteFileRowData& row)
{
    return row.values.value(1).toString().startsWith(QLatin1String("name-"));
}

// Everything the reader offers, over every page, as a recovery would use it.
int walkEverything(const Sqlite3File& f, const CarveLayout& layout)
{
    int work = 0;
    for (int pg = 1; pg <= f.pages(); ++pg) {
        const _SqliteBtreePage page = f.btreePage(pg);
        if (page.isBtreePage()) {
            for (const char* cell : page.cells)
                work += f.cellRowData(f.pageCellRow(page, cell)).values.size();
            work += f.recoverFreeBlockRows(layout, 0, page, nullptr).size();
            work += f.leafs(page).size() + f.allBTreePages(page).size();
        } else {
            work += f.recoverFreeBlockRowsRaw(layout, 0, pg, 0, nullptr).size();
        }
    }
    const Sqlite3File::FreeList list = f.freeList();
    return work + list.trunks.size() + list.leaves.size();
}

const char* const kTable =
    "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT NOT NULL, n INTEGER DEFAULT 0, data BLOB, r REAL);";

} // namespace

class TestSqlite3File : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    void writeFile(const QString& p, const QByteArray& bytes)
    {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    // A file of two 4096-byte pages, the second beginning with `region`.
    QString pageImage(const QString& name, const QByteArray& region)
    {
        QByteArray image(8192, 0);
        image[16] = 0x10;
        image.replace(4096, region.size(), region);
        const QString p = path(name);
        writeFile(p, image);
        return p;
    }

    // Rows 1..count named name-<i>; row `longRow` (when given) holds a name
    // of 9150 bytes, which needs overflow pages at every page size used here
    // and on 1024-byte pages keeps only the smallest local part in its cell, so
    // deleting it leaves its page full enough not to be rebuilt.
    QString buildTable(const QString& name, int pageSize, int reserved, int count, int longRow = 0)
    {
        const QString p = path(name);
        create(p, QString::fromLatin1(kTable) + QStringLiteral(
            "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < %1) "
            "INSERT INTO t(id, name, n, data, r) SELECT i, 'name-' || i || CASE WHEN i = %2 THEN "
            "replace(hex(zeroblob(4575)), '00', 'xy') ELSE '' END, i * 1000 - 7, randomblob(i % 40), i / 3.0 FROM c;")
            .arg(count).arg(longRow), pageSize, reserved);
        return p;
    }

private slots:
    void openRefusesWhatItCannotRead_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("pages");
        auto header = [](int size, int stored) {
            QByteArray b(size, 0);
            if (size >= 18) {
                b[16] = char(stored >> 8);
                b[17] = char(stored & 0xff);
            }
            return b;
        };
        QTest::newRow("empty file") << QByteArray("") << "map" << 0 << 0;
        QTest::newRow("17 bytes") << header(17, 0) << "invalid page size." << 0 << 0;
        QTest::newRow("page size 0") << header(100, 0) << "invalid page size." << 0 << 0;
        QTest::newRow("64 KiB (stored 1)") << header(100, 1) << "invalid page size." << 0 << 0;
        QTest::newRow("32 KiB (0x8000)") << header(100, 0x8000) << "invalid page size." << 0 << 0;
        QTest::newRow("below 512") << header(100, 511) << "invalid page size." << 0 << 0;
        QTest::newRow("18 bytes of 1024") << header(18, 1024) << "" << 1024 << 1;
        QTest::newRow("partial last page") << header(1000, 512) << "" << 512 << 2;
        QTest::newRow("not a power of two") << header(3000, 1000) << "" << 1000 << 3;
    }
    void openRefusesWhatItCannotRead()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(int, pageSize);
        QFETCH(int, pages);
        const QString p = path(QStringLiteral("open.db"));
        writeFile(p, bytes);
        Sqlite3File f(p);
        try {
            f.open();
            QVERIFY2(error.isEmpty(), "opened a file it should refuse");
            QCOMPARE(f.pageSizeBytes(), pageSize);
            QCOMPARE(f.pages(), pages);
        } catch (const std::runtime_error& e) {
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(!error.isEmpty() && text.startsWith(error == "map" ? "map " + p + " failed." : error),
                     qPrintable(text));
        }
    }

    void openMissingFileNamesIt()
    {
        Sqlite3File f(path(QStringLiteral("nothing-here.db")));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.open());
        try {
            Sqlite3File g(path(QStringLiteral("nothing-here.db")));
            g.open();
        } catch (const std::runtime_error& e) {
            QVERIFY(QString::fromUtf8(e.what()).startsWith("open " + path(QStringLiteral("nothing-here.db")) + " failed. "));
        }
    }

    void readersStopAtTheirEnd()
    {
        const char b[] = {'\x01', '\x02', '\x03', '\x04', '\x05'};
        const char* end = b + 5;
        QCOMPARE(sqlitefile_int32(end - 4, end), 0x02030405);
        QCOMPARE(sqlitefile_int32(end - 3, end), 0);
        QCOMPARE(sqlitefile_int16(end - 2, end), short(0x0405));
        QCOMPARE(sqlitefile_byte(end - 1, end), char(5));
        QCOMPARE(sqlitefile_byte(end, end), char(0));
        QCOMPARE(sqlitefile_int64(b, end), 0LL);
        QCOMPARE(sqlitefile_int32(b, nullptr), 0);
        char dst[10] = {};
        QCOMPARE(sqlitefile_bytes(dst, 10, end - 4, end), 4);
        QCOMPARE(sqlitefile_bytes(dst, 0, b, end), 0);
        QCOMPARE(sqlitefile_bytes(dst, -1, b, end), 0);
        QVERIFY(sqlitefile_bytearr(10, end, end).isNull());
    }

    void varints_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qlonglong>("value");
        QTest::addColumn<int>("length");
        QTest::newRow("127") << QByteArray("\x7f", 1) << 127LL << 1;
        QTest::newRow("128") << QByteArray("\x81\x00", 2) << 128LL << 2;
        QTest::newRow("32768") << QByteArray("\x82\x80\x00", 3) << 32768LL << 3;
        QTest::newRow("nine 0xFF") << QByteArray(9, '\xff') << -1LL << 9;
        QTest::newRow("eight 0x80 then 1") << QByteArray(8, '\x80') + QByteArray("\x01", 1) << 1LL << 9;
        QTest::newRow("cut short") << QByteArray("\x81", 1) << 42LL << 0;
    }
    void varints()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qlonglong, value);
        QFETCH(int, length);
        long long v = 42;
        QCOMPARE(sqlitefile_varint(&v, bytes.constData(), bytes.constData() + bytes.size()), length);
        QCOMPARE(v, value);
    }

    void varintLengths()
    {
        QCOMPARE(sqlitefile_varint_lengh(127), 1);
        QCOMPARE(sqlitefile_varint_lengh(128), 2);
        QCOMPARE(sqlitefile_varint_lengh((1LL << 56) - 1), 8);
        QCOMPARE(sqlitefile_varint_lengh(1LL << 56), 9);
    }

    // Every live row decodes exactly as SQLite reads it, through interior
    // pages, overflow chains and the reserved bytes of each page.
    void liveCellsDecodeAsSqliteReadsThem_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("reserved");
        QTest::newRow("512") << 512 << 0;
        QTest::newRow("1024 reserved 40") << 1024 << 40;
        QTest::newRow("4096") << 4096 << 0;
        QTest::newRow("8192 reserved 255") << 8192 << 255;
    }
    void liveCellsDecodeAsSqliteReadsThem()
    {
        QFETCH(int, pageSize);
        QFETCH(int, reserved);
        const QString p = buildTable(QStringLiteral("live%1-%2.db").arg(pageSize).arg(reserved), pageSize, reserved, 400, 77);
        exec(p, QStringLiteral(
            "INSERT INTO t VALUES(1000, 'é ünï 𝄞', 127, x'', -0.5);"
            "INSERT INTO t VALUES(1001, '', -128, NULL, 1e300);"
            "INSERT INTO t VALUES(1002, 'w', 8388607, x'00ff', NULL);"
            "INSERT INTO t VALUES(1003, 'x', -2147483649, zeroblob(5000), 0);"
            "INSERT INTO t VALUES(1004, 'y', 140737488355327, 'as text', 1);"
            "INSERT INTO t VALUES(1005, 'z', -9223372036854775808, 5, 2.5);"
            "CREATE INDEX t_name ON t(name);"));

        Sqlite3File f(p);
        f.open();
        QCOMPARE(f.usableSize(), pageSize - reserved);
        const _SqliteBtreePage root = f.btreePage(rootPage(p, QStringLiteral("t")));
        QCOMPARE(root.pageType, quint8(5));
        const QList<_SqliteBtreePage> leaves = f.leafs(root);

        QList<int> sqliteLeaves, sqlitePages;
        for (const PageStat& s : pages(p, QStringLiteral("t"))) {
            if (s.type != QLatin1String("overflow"))
                sqlitePages.append(s.pageNo);
            if (s.type == QLatin1String("leaf"))
                sqliteLeaves.append(s.pageNo);
        }
        QCOMPARE(pageNumbers(leaves), sqliteLeaves);
        QList<int> all = pageNumbers(f.allBTreePages(root));
        std::sort(all.begin(), all.end());
        std::sort(sqlitePages.begin(), sqlitePages.end());
        QCOMPARE(all, sqlitePages);

        const QList<LiveRow> live = liveRows(p, QStringLiteral("t"));
        const QList<_SqliteFileRowData> rows = decodeAll(f, leaves);
        QCOMPARE(rows.size(), live.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].rowid, live[i].rowid);
            QCOMPARE(rows[i].values.size(), live[i].values.size());
            QVERIFY(rows[i].values[0].isNull()); // the row-id alias is stored as NULL
            for (int c = 1; c < live[i].values.size(); ++c)
                QVERIFY2(sameValue(rows[i].values[c], live[i].values[c]),
                         qPrintable(QStringLiteral("row %1 column %2").arg(live[i].rowid).arg(c)));
        }

        // The index holds one record per row (name, rowid), long names on overflow pages.
        const _SqliteBtreePage indexRoot = f.btreePage(rootPage(p, QStringLiteral("t_name")));
        const QList<_SqliteFileRowData> entries = decodeAll(f, f.allBTreePages(indexRoot));
        QCOMPARE(entries.size(), live.size());
        QSet<QString> names;
        for (const LiveRow& r : live)
            names.insert(r.values[1].toString());
        for (const _SqliteFileRowData& e : entries) {
            QCOMPARE(e.rowid, 0);
            QCOMPARE(e.values.size(), 2);
            QVERIFY(names.contains(e.values[0].toString()));
        }
    }

    void cellOfTableInteriorPageHasNoPayload()
    {
        const QString p = buildTable(QStringLiteral("interior.db"), 1024, 0, 300);
        Sqlite3File f(p);
        f.open();
        const _SqliteBtreePage root = f.btreePage(rootPage(p, QStringLiteral("t")));
        QVERIFY(!root.isLeaf() && !root.cells.isEmpty());
        const _SqlitePageCellRow cell = f.pageCellRow(root, root.cells.first());
        QVERIFY(cell.leftChild >= 2);
        QVERIFY(cell.rowid > 0);
        QCOMPARE(cell.payloadSize, 0);
        QCOMPARE(cell.cellSize, 4 + sqlitefile_varint_lengh(cell.rowid));
        const _SqliteFileRowData row = f.cellRowData(cell);
        QCOMPARE(row.rowid, cell.rowid);
        QVERIFY(row.values.isEmpty());
    }

    void freeListMatchesSqlite()
    {
        const QString p = buildTable(QStringLiteral("free.db"), 512, 0, 6000);
        exec(p, QStringLiteral("DROP TABLE t;"));
        Sqlite3File f(p);
        f.open();
        const Sqlite3File::FreeList list = f.freeList();
        QVERIFY(list.trunks.size() >= 2); // a 512-byte trunk lists at most 126 pages
        QCOMPARE(list.trunks.size() + list.leaves.size(), freelistCount(p));
        QCOMPARE(f.totalFreeListPages(), freelistCount(p));

        // The leaves of a dropped table keep their cells whole: carved rows
        // prove their row ids there.
        const CarveLayout layout = CarveLayout::fromColumns(
            {{"id", "INTEGER", false, false, true}, {"name", "TEXT", true, false, false}, {"n", "INTEGER", false, true, false},
             {"data", "BLOB", false, false, false}, {"r", "REAL", false, false, false}});
        int proven = 0, carved = 0;
        for (int pg : list.leaves) {
            for (const _SqliteFileRowData& row : f.recoverFreeBlockRowsRaw(layout, 0, pg, 0, acceptNamed)) {
                ++carved;
                if (row.rowid) {
                    QCOMPARE(row.values[1].toString(), QStringLiteral("name-%1").arg(row.rowid));
                    ++proven;
                }
            }
        }
        QVERIFY(carved >= 5000);
        QVERIFY(proven >= carved * 9 / 10);
    }

    // Deleted rows come back with their values, long ones through their
    // overflow pages; a row id is given only where the cell proves it.
    void carvesDeletedRows_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::addColumn<int>("reserved");
        QTest::newRow("1024") << 1024 << 0;
        QTest::newRow("4096 reserved 24") << 4096 << 24;
    }
    void carvesDeletedRows()
    {
        QFETCH(int, pageSize);
        QFETCH(int, reserved);
        const QString p = buildTable(QStringLiteral("carve%1.db").arg(pageSize), pageSize, reserved, 300, 150);
        // A free list with a trunk already, so the long row's overflow pages
        // are kept whole as free-list leaves.
        exec(p, QStringLiteral("CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(%1)); DROP TABLE filler;")
                    .arg(pageSize * 3));
        const QList<LiveRow> before = liveRows(p, QStringLiteral("t"));
        // Few rows a page, so that no page is rebuilt by a rebalance.
        const QList<qint64> deleted{100, 101, 150, 200, 250, 251, 252};
        QStringList ids;
        for (qint64 id : deleted)
            ids << QString::number(id);
        exec(p, QStringLiteral("DELETE FROM t WHERE id IN (%1);").arg(ids.join(',')));

        Sqlite3File f(p);
        f.open();
        const CarveLayout layout = CarveLayout::fromColumns(columns(p, QStringLiteral("t")));
        QList<_SqliteFileRowData> carved;
        for (const _SqliteBtreePage& page : f.allBTreePages(f.btreePage(rootPage(p, QStringLiteral("t")))))
            carved += f.recoverFreeBlockRows(layout, 0, page, acceptNamed);
        for (int pg : f.freeList().leaves) {
            const _SqliteBtreePage page = f.btreePage(pg);
            carved += page.isBtreePage() ? f.recoverFreeBlockRows(layout, 0, page, acceptNamed)
                                         : f.recoverFreeBlockRowsRaw(layout, 0, pg, 0, acceptNamed);
        }

        // Stale copies of live rows may be carved too, some cut short by the
        // end of their region; no row id may be wrong.
        for (const _SqliteFileRowData& row : carved) {
            const QString name = row.values[1].toString(), expected = QStringLiteral("name-%1").arg(row.rowid);
            QVERIFY2(row.rowid == 0 || name.startsWith(expected) || expected.startsWith(name), qPrintable(expected + ' ' + name.left(20)));
        }
        for (qint64 id : deleted) {
            const LiveRow& original = before[int(id) - 1];
            bool found = false;
            for (const _SqliteFileRowData& row : carved) {
                if (row.values.value(1).toString() != original.values[1].toString())
                    continue;
                found = true;
                for (int c = 1; c < original.values.size(); ++c)
                    QVERIFY2(sameValue(row.values[c], original.values[c]), qPrintable(QStringLiteral("row %1 column %2").arg(id).arg(c)));
                // The row names its record's bytes: the whole record, or its
                // local part and the overflow page number after it. A REAL
                // column keeps a whole number as an integer on disk.
                QList<QVariant> stored = original.values;
                for (QVariant& v : stored)
                    if (v.typeId() == QMetaType::Double && v.toDouble() == std::floor(v.toDouble()))
                        v = qint64(v.toDouble());
                const QByteArray record = recordFromValue1(stored);
                const QByteArray span(f.pBegin() + row.recordStart, int(row.recordEnd - row.recordStart));
                QVERIFY2(span == record || (span.size() < record.size() && record.startsWith(span.chopped(4))),
                         qPrintable(QStringLiteral("row %1 record bytes").arg(id)));
            }
            QVERIFY2(found, qPrintable(QStringLiteral("row %1 not carved").arg(id)));
        }
    }

    // The worked example of a carved region, with and without its cell
    // prefix, and cut short by the region's end.
    void carvesHandMadeRegion_data()
    {
        QTest::addColumn<QByteArray>("region");
        QTest::addColumn<qlonglong>("rowid");
        QTest::addColumn<int>("n");
        QTest::addColumn<bool>("cut");
        QTest::addColumn<int>("recordAt"); // where the record's bytes lie in the region
        QTest::addColumn<int>("recordEnd");
        const QByteArray record = QByteArray::fromHex("1B01616263646566670500000000");
        QTest::newRow("types first") << record << 0LL << 5 << false << 0 << 10;
        QTest::newRow("whole cell") << QByteArray::fromHex("0C070400") + record << 7LL << 5 << false << 4 << 14;
        QTest::newRow("header size wrong") << QByteArray::fromHex("0C070500") + record << 0LL << 5 << false << 4 << 14;
        QTest::newRow("column 0 not NULL") << QByteArray::fromHex("0C070401") + record << 0LL << 5 << false << 4 << 14;
        QTest::newRow("region ends before the last value") << record.left(9) << 0LL << 0 << true << 0 << 9;
    }
    void carvesHandMadeRegion()
    {
        QFETCH(QByteArray, region);
        QFETCH(qlonglong, rowid);
        QFETCH(int, n);
        QFETCH(bool, cut);
        QFETCH(int, recordAt);
        QFETCH(int, recordEnd);
        const QString p = pageImage(QStringLiteral("region.db"), region);
        Sqlite3File f(p);
        f.open();
        const QList<_SqliteCol> cols{{"id", "INTEGER", false, false, true},
                                     {"name", "TEXT", true, false, false},
                                     {"n", "INTEGER", false, true, false}};
        const char* from = f.pBegin() + 4096;
        const QList<_SqliteFileRowData> rows = f.recoverRows(cols, 0, 4096, from, from + region.size(), nullptr);
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows[0].values[0].isNull());
        QCOMPARE(rows[0].values[1].toString(), QStringLiteral("abcdefg"));
        QCOMPARE(rows[0].values[2].toInt(), n);
        QCOMPARE(rows[0].rowid, rowid);
        QCOMPARE(rows[0].cut, cut);
        QCOMPARE(rows[0].recordStart, 4096 + recordAt);
        QCOMPARE(rows[0].recordEnd, 4096 + recordEnd);
    }

    // A run of zero bytes reads, at every position, as a record of NULLs
    // with an empty body. A filter that takes such rows must not make the
    // scan step over the start of a real record behind the run: with 32
    // serial types a record of NULLs spans 32 bytes, and a step past it
    // would land beyond the record for some run lengths, whatever they are
    // modulo that step.
    void recordBehindZeroBytesIsFound_data()
    {
        QTest::addColumn<int>("zeros");
        QTest::addColumn<bool>("takesNulls");
        for (bool takesNulls : {true, false})
            for (int zeros = 36; zeros < 72; ++zeros)
                QTest::addRow("%d zero bytes, rows of NULLs %s", zeros, takesNulls ? "taken" : "refused") << zeros << takesNulls;
    }
    void recordBehindZeroBytesIsFound()
    {
        QFETCH(int, zeros);
        QFETCH(bool, takesNulls);
        QList<_SqliteCol> cols{{"id", "INTEGER", false, false, true}, {"name", "TEXT", false, false, false}};
        QList<QVariant> values{QVariant(), QStringLiteral("found me")};
        for (int i = 2; i < 33; ++i) {
            cols.append(_SqliteCol(QStringLiteral("n%1").arg(i), QStringLiteral("INTEGER"), false, false, false));
            values.append(i);
        }
        const QByteArray region = QByteArray(zeros, 0) + recordFromValue1(values);
        const QString p = pageImage(QStringLiteral("zeros.db"), region);
        Sqlite3File f(p);
        f.open();
        const auto filter = [takesNulls](const _SqliteFileRowData& row) {
            return (takesNulls && std::all_of(row.values.begin(), row.values.end(), [](const QVariant& v) { return v.isNull(); }))
                || row.values.value(1).toString() == QLatin1String("found me");
        };
        const char* from = f.pBegin() + 4096;
        const QList<_SqliteFileRowData> rows = f.recoverRows(cols, 0, 4096, from, from + region.size(), filter);
        // A row of NULLs at every position that has 32 zero bytes ahead, when
        // taken, then the record.
        QCOMPARE(rows.size(), takesNulls ? zeros - 31 + 1 : 1);
        for (int c = 1; c < values.size(); ++c)
            QCOMPARE(rows.last().values.at(c).toString(), values.at(c).toString());
    }

    void columnTypeClasses_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("classes");
        QTest::newRow("INTEGER") << "INTEGER" << int(CarveLayout::Integer);
        QTest::newRow("TEXT") << "TEXT" << int(CarveLayout::Text);
        QTest::newRow("BLOB") << "BLOB" << int(CarveLayout::Blob);
        QTest::newRow("REAL") << "REAL" << int(CarveLayout::Real | CarveLayout::Integer);
        QTest::newRow("DOUBLE") << "DOUBLE" << int(CarveLayout::Real | CarveLayout::Integer);
        QTest::newRow("STRING") << "STRING" << int(CarveLayout::Text | CarveLayout::Integer | CarveLayout::Real);
        QTest::newRow("NUMERIC") << "NUMERIC" << int(CarveLayout::Integer | CarveLayout::Real);
    }
    void columnTypeClasses()
    {
        QFETCH(QString, type);
        QFETCH(int, classes);
        QCOMPARE(int(CarveLayout::typeClasses(_SqliteCol("c", type, false, false, false))), classes);
        const CarveLayout l = CarveLayout::fromColumns({{"id", "INTEGER", false, false, true}, {"c", type, true, false, false}});
        QCOMPARE(l.fits(1, 0), false);  // NOT NULL
        QCOMPARE(l.fits(1, 1), bool(classes & CarveLayout::Integer));
        QCOMPARE(l.fits(1, 7), bool(classes & CarveLayout::Real));
        QCOMPARE(l.fits(1, 13), bool(classes & CarveLayout::Text));
        QCOMPARE(l.fits(1, 12), bool(classes & CarveLayout::Blob));
        QVERIFY(l.fits(1, 10) && l.fits(1, -5));
    }

    // Damaged files: every walk ends, bounded by the file, under the sanitizers.
    void damagedFilesEndQuickly_data()
    {
        QTest::addColumn<QString>("damage");
        for (const char* d : {"child points to root", "right child to itself", "freeblocks loop", "cell count 65535",
                              "cell pointers past page", "overflow chain loops", "overflow chain to page 1",
                              "trunk loops", "trunk count huge", "first trunk negative", "truncated",
                              "payload size huge", "reserved 255", "page type garbage"})
            QTest::newRow(d) << QString::fromLatin1(d);
    }
    void damagedFilesEndQuickly()
    {
        QFETCH(QString, damage);
        const int ps = 1024;
        const QString p = buildTable(QStringLiteral("damaged.db"), ps, 0, 300, 50);
        exec(p, QStringLiteral("CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(8000)); DROP TABLE filler;"
                               "DELETE FROM t WHERE id % 7 = 0;"));
        const int root = rootPage(p, QStringLiteral("t"));
        const CarveLayout layout = CarveLayout::fromColumns(columns(p, QStringLiteral("t")));
        const qint64 rootAt = qint64(root - 1) * ps;
        int overflowPage = 0, leafPage = 0;
        for (const PageStat& s : pages(p, QStringLiteral("t"))) {
            if (s.type == QLatin1String("overflow") && !overflowPage)
                overflowPage = s.pageNo;
            if (s.type == QLatin1String("leaf") && !leafPage)
                leafPage = s.pageNo;
        }
        QVERIFY(overflowPage && leafPage);
        const qint64 leafAt = qint64(leafPage - 1) * ps;
        QVERIFY(freelistCount(p) > 0);
        QFile raw(p);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray image = raw.readAll();
        raw.close();
        const qint64 trunkAt = qint64(quint32(qFromBigEndian<quint32>(image.constData() + 32)) - 1) * ps;
        const int firstCell = quint16(qFromBigEndian<quint16>(image.constData() + leafAt + 8));

        if (damage == "child points to root")
            patch(p, qint64(quint16(qFromBigEndian<quint16>(image.constData() + rootAt + 12))) + rootAt, be32(root));
        else if (damage == "right child to itself")
            patch(p, rootAt + 8, be32(root));
        else if (damage == "freeblocks loop")
            patch(p, leafAt + 1, be16(200) + be16(0) + be16(0)), patch(p, leafAt + 200, be16(400) + be16(40)),
                patch(p, leafAt + 400, be16(200) + be16(40));
        else if (damage == "cell count 65535")
            patch(p, leafAt + 3, be16(0xffff));
        else if (damage == "cell pointers past page")
            patch(p, leafAt + 8, be16(0xfff0) + be16(ps - 1) + be16(ps));
        else if (damage == "overflow chain loops")
            patch(p, qint64(overflowPage - 1) * ps, be32(overflowPage));
        else if (damage == "overflow chain to page 1")
            patch(p, qint64(overflowPage - 1) * ps, be32(1));
        else if (damage == "trunk loops")
            patch(p, trunkAt, be32(trunkAt / ps + 1));
        else if (damage == "trunk count huge")
            patch(p, trunkAt + 4, be32(0x7fffffff));
        else if (damage == "first trunk negative")
            patch(p, 32, be32(0xffffffffLL));
        else if (damage == "truncated")
            QVERIFY(QFile::resize(p, image.size() / 2 + 100));
        else if (damage == "payload size huge")
            patch(p, leafAt + firstCell, QByteArray(8, '\xff') + QByteArray(1, '\x7f'));
        else if (damage == "reserved 255")
            patch(p, 20, QByteArray(1, '\xff'));
        else if (damage == "page type garbage")
            patch(p, rootAt, QByteArray(1, '\x08'));

        Sqlite3File f(p);
        f.open();
        walkEverything(f, layout);
        const _SqliteBtreePage rootPageRecord = f.btreePage(root);
        QVERIFY(f.allBTreePages(rootPageRecord).size() <= f.pages());
        QVERIFY(f.leafs(rootPageRecord).size() <= f.pages());
        const Sqlite3File::FreeList list = f.freeList();
        QVERIFY(list.trunks.size() + list.leaves.size() < f.pages());
        for (const char* fb : f.btreePage(leafPage).freeblocks)
            QVERIFY(fb >= f.btreePage(leafPage).pageStart && fb < f.btreePage(leafPage).pageEnd);
        if (damage == "trunk loops")
            QCOMPARE(list.trunks.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSqlite3File)
#include "tst_sqlite3file.moc"
