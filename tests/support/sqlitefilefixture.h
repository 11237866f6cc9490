// SQLite files for the file reader's tests, made with the C API: deleted rows
// stay in the file (secure delete is switched off and checked on every
// connection), SQLite itself answers what the live rows and pages are, and a
// byte patcher damages files on purpose.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include "sqlitecol.h"

namespace SqliteFileFixture {

struct LiveRow
{
    qint64 rowid = 0;
    QList<QVariant> values; // every column of the table, in order
};

struct PageStat
{
    int pageNo = 0;
    QString type; // dbstat's pagetype: "internal", "leaf" or "overflow"
    int cells = 0;
};

// Creates a database with the given page size and reserved bytes per page and
// runs `sql` on it. Fails the process (qFatal) on any SQL error.
void create(const QString& path, const QString& sql, int pageSize = 4096, int reservedBytes = 0);
// Runs `sql` on an existing database, with secure delete off.
void exec(const QString& path, const QString& sql);

// The table's rows as SQLite reads them: "select rowid, * from table".
QList<LiveRow> liveRows(const QString& path, const QString& table);
// The b-tree and overflow pages of a table or index, from the dbstat table.
QList<PageStat> pages(const QString& path, const QString& name);
int rootPage(const QString& path, const QString& name);
int freelistCount(const QString& path);
// The table's columns in order, as the carver's layout.
QList<_SqliteCol> columns(const QString& path, const QString& table);

// A table row's record as SQLite writes it, from the serial type of value 1
// on (where a carved candidate starts): the serial types of values 1.., then
// their contents. Value 0, the row id, is stored as NULL and not included.
QByteArray recordFromValue1(const QList<QVariant>& values);

// Overwrites bytes of a file in place.
void patch(const QString& path, qint64 offset, const QByteArray& bytes);
QByteArray be16(int v);
QByteArray be32(qint64 v);

} // namespace SqliteFileFixture
