// Carving a large, mostly deleted iOS 6+ sms.db: every page walked and carved
// with the message table's declared layout and the row test that the
// recovery of deleted messages hands the carver for that table. Then a large,
// mostly deleted iOS 5 sms.db of a phone upgraded from iOS 4, whose pages
// hold rows of 17 and of 33 values: every page carved with each of the
// layouts and the row test of the recovery of deleted iOS 5 messages, as that
// recovery carves them, and the whole recovery run on a copy of the file.
// Prints MB/s against the floor of one plain pass over the same mapped bytes.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QVector>
#include <cstdio>
#include <sqlite3.h>

#include "deletedsmsfixture.h"
#include "ios5messagerecovery.h"
#include "ios6messagerecovery.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "sqlite3file.h"
#include "sqlitefilefixture.h"

namespace {

constexpr qint64 kTargetBytes = 200LL * 1024 * 1024;

void check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Messages of a few hundred bytes until the file reaches the target size,
// then three of every four deleted with secure delete off: free space on
// every leaf page and a long free list.
void generate(const QString& path)
{
    const QString partial = path + ".part";
    QFile::remove(partial);
    SmsDbFixture::createDevice(partial, SmsDbFixture::OptionalColumns);
    sqlite3* db = nullptr;
    check(sqlite3_open(partial.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "pragma secure_delete=off; pragma journal_mode=off; pragma synchronous=off; begin",
                       nullptr, nullptr, nullptr), db);
    sqlite3_stmt* msg = nullptr;
    check(sqlite3_prepare_v2(db, "insert into message (ROWID, guid, text, handle_id, service, account, date, "
                                 "date_read, is_from_me, is_read, is_sent) values (?1, printf('%08X-0000-4000-8000-%012X', "
                                 "?1, ?1), ?2, ?1 % 500, 'SMS', 'e:', ?3, ?3, ?1 % 2, 1, ?1 % 2)", -1, &msg, nullptr), db);
    const QByteArray filler = QByteArray("See you at the station at half past, and bring the umbrella. ").repeated(6);
    const qint64 messages = kTargetBytes / 430;
    for (qint64 i = 1; i <= messages; ++i) {
        const QByteArray text = QByteArray::number(i) + ' ' + filler.left(int(100 + i % 300));
        sqlite3_bind_int64(msg, 1, i);
        sqlite3_bind_text(msg, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(msg, 3, 600000000 + i * 30);
        check(sqlite3_step(msg), db);
        sqlite3_reset(msg);
    }
    sqlite3_finalize(msg);
    check(sqlite3_exec(db, "commit; delete from message where ROWID % 4 <> 0 or ROWID % 1000 < 200;",
                       nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
    QFile::rename(partial, path);
}

// Every page carved; the cells of free-list pages that still hold a table
// leaf are decoded as well.
qint64 carveAll(const Sqlite3File& f, const CarveLayout& layout, const SqliteRowFilter& rowTest)
{
    qint64 rows = 0;
    QVector<bool> free(f.pages() + 1, false);
    for (int pg : f.freeList().leaves)
        free[pg] = true;
    for (int pg = 1; pg <= f.pages(); ++pg) {
        const _SqliteBtreePage page = f.btreePage(pg);
        if (!page.isBtreePage()) {
            rows += f.recoverFreeBlockRowsRaw(layout, 0, pg, 0, rowTest).size();
            continue;
        }
        rows += f.recoverFreeBlockRows(layout, 0, page, rowTest).size();
        if (free[pg] && page.pageType == 13)
            for (const char* cell : page.cells)
                rows += rowTest(f.cellRowData(f.pageCellRow(page, cell)));
    }
    return rows;
}

// Every page carved as the recovery carves it: with each layout of its
// table in turn.
qint64 carveAllLayouts(const Sqlite3File& f, const RecoveryTarget& target)
{
    qint64 rows = 0;
    for (int pg = 1; pg <= f.pages(); ++pg)
        rows += RecoveryRun::carveEveryLayout(f, f.btreePage(pg), target, nullptr).size();
    return rows;
}

// The floor: one pass that looks at every byte once (the carver's least work).
qint64 bytePass(const Sqlite3File& f)
{
    qint64 small = 0;
    for (const char* p = f.pBegin(); p < f.pEnd(); ++p)
        small += quint8(*p) < 0x80;
    return small;
}

// Seconds that `work` takes.
template <typename Work>
double timed(Work work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e9;
}

// iOS 5 messages of about the target size, three of every four deleted.
void generateIos5(const QString& folder)
{
    const QString partial = folder + ".part";
    QDir(partial).removeRecursively();
    DeletedSmsFixture::createIos5(partial, 500, int(kTargetBytes / 150), DeletedSmsFixture::Ios5Shape::Upgraded);
    SqliteFileFixture::exec(SmsDbFixture::smsDbPath(partial),
                            QStringLiteral("DELETE FROM message WHERE ROWID % 4 <> 0 OR ROWID % 1000 < 200;"));
    QDir().rename(partial, folder);
}

void benchIos5()
{
    const QString folder = QStringLiteral(QS_BENCH_DATA_DIR "/carve-ios5");
    const QString path = SmsDbFixture::smsDbPath(folder);
    if (!QFile::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        generateIos5(folder);
    }
    // The recovery writes beside the file: it runs on a copy.
    QTemporaryDir run;
    const QString copy = SmsDbFixture::smsDbPath(run.path());
    QDir().mkpath(QFileInfo(copy).path());
    QFile::copy(path, copy);
    IOS5MessageDb db(QDir(run.path()), _CountryInfo());
    db.openCheck();
    IOS5MessageRecovery recovery(db);
    recovery.prepare(RecoveryTable::readDeclaration(db, QStringLiteral("message")), true);
    Sqlite3File f(copy);
    f.open();
    const double mb = f.fileSize() / (1024.0 * 1024.0);

    qint64 floorResult = 0, rows = 0;
    const double floorSeconds = timed([&] { floorResult = bytePass(f); });
    const double carveSeconds = timed([&] { rows = carveAllLayouts(f, recovery); });
    const double recoverySeconds = timed([&] { IOS5MessageRecovery::recycleDeletedMessages(db, nullptr); });
    const qint64 stored = SqlFixture::scalar(run.path() + QStringLiteral("/recycle.db"),
                                             QStringLiteral("select count(*) from message")).toLongLong();

    std::printf("\niOS 5, upgraded from iOS 4: %.1f MB, %d pages, %lld layouts (checksum %lld)\n", mb, f.pages(),
                qlonglong(recovery.shape().layouts().size()), floorResult);
    std::printf("carve with every layout: %lld rows in %.2f s = %.0f MB/s; carve/floor time ratio %.1f\n", rows,
                carveSeconds, mb / carveSeconds, carveSeconds / floorSeconds);
    std::printf("whole recovery: %lld messages stored in %.2f s = %.0f MB/s\n", stored, recoverySeconds,
                mb / recoverySeconds);
}

} // namespace

int main()
{
    const QString folder = QStringLiteral(QS_BENCH_DATA_DIR "/carve");
    const QString path = SmsDbFixture::smsDbPath(folder);
    if (!QFile::exists(path)) {
        QDir().mkpath(QFileInfo(path).path());
        std::printf("generating %s ...\n", qPrintable(path));
        generate(path);
    }
    IOS6MessageDb db{QDir(folder), _CountryInfo(), false};
    db.openCheck();
    IOS6MessageRecovery recovery(db, {});
    recovery.prepare(RecoveryTable::readDeclaration(db, QStringLiteral("message")), true);
    Sqlite3File f(path);
    f.open();
    const CarveLayout layout = CarveLayout::fromColumns(SqliteFileFixture::columns(path, QStringLiteral("message")));
    const SqliteRowFilter rowTest = recovery.rowTest();
    const double mb = f.fileSize() / (1024.0 * 1024.0);

    qint64 floorResult = 0, rows = 0;
    const double floorSeconds = timed([&] { floorResult = bytePass(f); });
    const double carveSeconds = timed([&] { rows = carveAll(f, layout, rowTest); });

    std::printf("file: %.1f MB, %d pages, %d on the free list (checksum %lld)\n", mb, f.pages(),
                f.totalFreeListPages(), floorResult);
    std::printf("carve: %lld rows in %.2f s = %.0f MB/s (goal >= 200 MB/s)\n", rows, carveSeconds, mb / carveSeconds);
    std::printf("floor (one pass over the bytes): %.3f s = %.0f MB/s; carve/floor time ratio %.1f\n", floorSeconds,
                mb / floorSeconds, carveSeconds / floorSeconds);
    benchIos5();
    return 0;
}
