#include "sqlfixture.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

namespace SqlFixture {

void build(const QString& path, const QString& sql)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        qFatal("fixture: cannot open %s: %s", qPrintable(path), sqlite3_errmsg(db));
    char* err = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("fixture: %s: %s", qPrintable(path), err ? err : "?");
    sqlite3_close_v2(db);
}

QVariant scalar(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    QVariant result;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        qFatal("fixture: cannot open %s: %s", qPrintable(path), sqlite3_errmsg(db));
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        qFatal("fixture: %s: %s", qPrintable(sql), sqlite3_errmsg(db));
    if (sqlite3_step(st) == SQLITE_ROW) {
        switch (sqlite3_column_type(st, 0)) {
        case SQLITE_INTEGER: result = qlonglong(sqlite3_column_int64(st, 0)); break;
        case SQLITE_FLOAT: result = sqlite3_column_double(st, 0); break;
        case SQLITE_TEXT:
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), sqlite3_column_bytes(st, 0));
            break;
        case SQLITE_BLOB:
            result = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
            break;
        default: break;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    return result;
}

} // namespace SqlFixture
