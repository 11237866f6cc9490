#include "sqlitefilefixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <functional>
#include <sqlite3.h>

namespace SqliteFileFixture {

namespace {

sqlite3* openDb(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK)
        qFatal("fixture: cannot open %s: %s", qPrintable(path), sqlite3_errmsg(db));
    return db;
}

void run(sqlite3* db, const QString& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("fixture: %s: %s", qPrintable(sql.left(200)), err ? err : "?");
}

// Debian builds SQLite with secure delete on, which wipes deleted rows.
void keepDeletedBytes(sqlite3* db)
{
    run(db, QStringLiteral("PRAGMA secure_delete=OFF;"));
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA secure_delete", -1, &st, nullptr);
    const bool off = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 0;
    sqlite3_finalize(st);
    if (!off)
        qFatal("fixture: secure_delete stays on");
}

QVariant columnValue(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return qlonglong(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT: return sqlite3_column_double(st, i);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
    default: return QVariant();
    }
}

void query(const QString& path, const QString& sql, const std::function<void(sqlite3_stmt*)>& onRow)
{
    sqlite3* db = openDb(path, SQLITE_OPEN_READONLY);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        qFatal("fixture: %s: %s", qPrintable(sql), sqlite3_errmsg(db));
    while (sqlite3_step(st) == SQLITE_ROW)
        onRow(st);
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
}

QString text(sqlite3_stmt* st, int i)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
}

} // namespace

void create(const QString& path, const QString& sql, int pageSize, int reservedBytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    sqlite3* db = openDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    keepDeletedBytes(db);
    run(db, QStringLiteral("PRAGMA journal_mode=DELETE; PRAGMA page_size=%1;").arg(pageSize));
    if (reservedBytes > 0) {
        int n = reservedBytes;
        if (sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &n) != SQLITE_OK)
            qFatal("fixture: cannot reserve bytes");
    }
    run(db, sql);
    sqlite3_close_v2(db);
}

void exec(const QString& path, const QString& sql)
{
    sqlite3* db = openDb(path, SQLITE_OPEN_READWRITE);
    keepDeletedBytes(db);
    run(db, sql);
    sqlite3_close_v2(db);
}

QList<LiveRow> liveRows(const QString& path, const QString& table)
{
    QList<LiveRow> rows;
    query(path, QStringLiteral("select rowid, * from \"%1\" order by rowid").arg(table), [&](sqlite3_stmt* st) {
        LiveRow r;
        r.rowid = sqlite3_column_int64(st, 0);
        for (int i = 1; i < sqlite3_column_count(st); ++i)
            r.values.append(columnValue(st, i));
        rows.append(r);
    });
    return rows;
}

QList<PageStat> pages(const QString& path, const QString& name)
{
    QList<PageStat> list;
    query(path, QStringLiteral("select pageno, pagetype, ncell from dbstat where name = '%1' order by path").arg(name),
          [&](sqlite3_stmt* st) { list.append({sqlite3_column_int(st, 0), text(st, 1), sqlite3_column_int(st, 2)}); });
    return list;
}

int rootPage(const QString& path, const QString& name)
{
    int root = 0;
    query(path, QStringLiteral("select rootpage from sqlite_master where name = '%1'").arg(name),
          [&](sqlite3_stmt* st) { root = sqlite3_column_int(st, 0); });
    return root;
}

int freelistCount(const QString& path)
{
    int n = 0;
    query(path, QStringLiteral("PRAGMA freelist_count"), [&](sqlite3_stmt* st) { n = sqlite3_column_int(st, 0); });
    return n;
}

QList<_SqliteCol> columns(const QString& path, const QString& table)
{
    QList<_SqliteCol> cols;
    query(path, QStringLiteral("PRAGMA table_info(\"%1\")").arg(table), [&](sqlite3_stmt* st) {
        cols.append(_SqliteCol(text(st, 1), text(st, 2), sqlite3_column_int(st, 3) != 0,
                               sqlite3_column_type(st, 4) != SQLITE_NULL, sqlite3_column_int(st, 5) != 0));
    });
    return cols;
}

QByteArray recordFromValue1(const QList<QVariant>& values)
{
    QByteArray types, body;
    auto addType = [&](qint64 t) {
        // A varint of at most 9 bytes, big-endian groups of 7 bits.
        QByteArray v;
        do {
            v.prepend(char((t & 0x7f) | (v.isEmpty() ? 0 : 0x80)));
            t >>= 7;
        } while (t > 0);
        types += v;
    };
    for (int i = 1; i < values.size(); ++i) {
        const QVariant& v = values.at(i);
        if (v.typeId() == QMetaType::QString) {
            const QByteArray utf8 = v.toString().toUtf8();
            addType(13 + 2 * qint64(utf8.size()));
            body += utf8;
        } else if (v.typeId() == QMetaType::QByteArray) {
            addType(12 + 2 * qint64(v.toByteArray().size()));
            body += v.toByteArray();
        } else if (v.typeId() == QMetaType::Double) {
            const double d = v.toDouble();
            quint64 bits = 0;
            std::memcpy(&bits, &d, sizeof bits);
            addType(7);
            for (int b = 7; b >= 0; --b)
                body += char((bits >> (8 * b)) & 0xff);
        } else if (v.isNull()) {
            addType(0);
        } else {
            // The smallest of SQLite's integer widths; 0 and 1 take none.
            const qint64 n = v.toLongLong();
            if (n == 0 || n == 1) {
                addType(8 + n);
                continue;
            }
            static const int widths[] = {1, 2, 3, 4, 6, 8};
            int type = 1;
            for (int w : widths) {
                const qint64 limit = w == 8 ? 0 : qint64(1) << (8 * w - 1);
                if (w == 8 || (n >= -limit && n < limit)) {
                    addType(type);
                    for (int b = w - 1; b >= 0; --b)
                        body += char((quint64(n) >> (8 * b)) & 0xff);
                    break;
                }
                ++type;
            }
        }
    }
    return types + body;
}

void patch(const QString& path, qint64 offset, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(offset) || f.write(bytes) != bytes.size())
        qFatal("fixture: cannot patch %s at %lld", qPrintable(path), offset);
}

QByteArray be16(int v)
{
    QByteArray b(2, 0);
    b[0] = char((v >> 8) & 0xff);
    b[1] = char(v & 0xff);
    return b;
}

QByteArray be32(qint64 v)
{
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (24 - 8 * i)) & 0xff);
    return b;
}

} // namespace SqliteFileFixture
