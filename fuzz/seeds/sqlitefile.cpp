// Seeds of the SQLite file target: small databases made by SQLite with deleted
// rows left in place (freeblocks, a free list, overflow chains), at the
// smallest page size and with reserved bytes, so mutations reach every walk.
#include "seeds.h"

#include "sqlitefilefixture.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

const char* const kRows =
    "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT, "
    "service TEXT NOT NULL, uncanonicalized_id TEXT);"
    "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 40) "
    "INSERT INTO handle (id, country, service) SELECT '+1212555' || i, 'us', CASE WHEN i % 2 THEN 'SMS' ELSE 'iMessage' END FROM c;"
    "CREATE TABLE t (ROWID INTEGER PRIMARY KEY, s STRING, r REAL, b BLOB, n NUMERIC DEFAULT 0);"
    "INSERT INTO t (s, r, b, n) VALUES ('short', 1.5, x'00ff', 7), (hex(zeroblob(700)), 2.0, NULL, -1);"
    "CREATE INDEX handle_id ON handle(id);"
    "DELETE FROM handle WHERE ROWID % 3 = 0; DELETE FROM t WHERE ROWID = 2;";

QByteArray database(int pageSize, int reserved)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("seed.db"));
    SqliteFileFixture::create(path, QString::fromLatin1(kRows), pageSize, reserved);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

QS_FUZZ_SEEDS(sqlitefile)
{
    sink.add(QStringLiteral("page512.db"), database(512, 0));
    sink.add(QStringLiteral("page1024-reserved32.db"), database(1024, 32));
}
