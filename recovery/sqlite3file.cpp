// Opening the image and reading the database header.
//
// Database header (first 100 bytes of page 1), fields read here, big-endian:
// OFFSET SIZE MEANING
//   16    2   page size in bytes (1 stands for 65536)
//   20    1   reserved bytes at the end of every page
//   32    4   page number of the first free-list trunk page, 0 when none
//   36    4   total number of free-list pages
//
// Page sizes below 512, and 32768 and 65536 (which need more than 15 bits),
// are refused: every in-page offset then fits a signed 16-bit field and the
// local-size rule never divides by zero.
#include "sqlite3file.h"

#include <QVector>
#include <limits>
#include <stdexcept>

#include "byterange.h"

namespace {
constexpr int kMinPageSize = 512;
constexpr int kMaxPageSize = 32767;

[[noreturn]] void fail(const QString& format, const QFile& file)
{
    throw std::runtime_error(format.arg(file.fileName(), file.errorString()).toUtf8().toStdString());
}
} // namespace

Sqlite3File::Sqlite3File(const QString& path) : file(path) {}

void Sqlite3File::open()
{
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("open %1 failed. %2"), file);
    size = file.size();
    begin = size > 0 ? reinterpret_cast<const char*>(file.map(0, size)) : nullptr;
    if (!begin)
        fail(QStringLiteral("map %1 failed. %2"), file);
    end = begin + size;
    const int stored = size >= 18 ? sqlitefile_int16(begin + 16, end) : 0;
    if (stored < kMinPageSize || stored > kMaxPageSize)
        throw std::runtime_error("invalid page size.");
    pageSize = stored;
    const int reserved = size > 20 ? quint8(begin[20]) : 0;
    usable = pageSize - reserved; // at least 257, so the local-size rule stays sound
}

int Sqlite3File::pages() const
{
    if (pageSize <= 0)
        return 0;
    const qint64 n = size / pageSize + (size % pageSize ? 1 : 0);
    return int(qMin<qint64>(n, std::numeric_limits<int>::max()));
}

int Sqlite3File::firstFreeTrunkPage() const
{
    return size >= 36 ? sqlitefile_int32(begin + 32, end) : 0;
}

int Sqlite3File::totalFreeListPages() const
{
    return size >= 40 ? sqlitefile_int32(begin + 36, end) : 0;
}

const char* Sqlite3File::pageAt(int pgno) const
{
    if (pgno < 1 || !begin)
        return nullptr;
    const qint64 offset = qint64(pgno - 1) * pageSize;
    return offset < size ? begin + offset : nullptr;
}

const char* Sqlite3File::usableEnd(const char* pageStart) const
{
    const qint64 offset = pageStart - begin;
    return g_fitsIn(offset, usable, size) ? pageStart + usable : end;
}

Sqlite3File::FreeList Sqlite3File::freeList() const
{
    FreeList list;
    const int total = pages();
    QVector<bool> seen(total + 1, false);
    seen[0] = true;
    if (total >= 1)
        seen[1] = true; // page 1 holds the schema, never a free page
    for (int trunk = firstFreeTrunkPage(); trunk >= 1 && trunk <= total && !seen[trunk];) {
        seen[trunk] = true;
        list.trunks.append(trunk);
        const _SqliteFreeTrunkPage t = freeTrunkPage(trunk);
        for (int leaf : t.leaves) {
            if (leaf >= 1 && leaf <= total && !seen[leaf]) {
                seen[leaf] = true;
                list.leaves.append(leaf);
            }
        }
        trunk = t.nextTrunk;
    }
    return list;
}
