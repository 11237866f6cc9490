#include "absdb.h"

void AbsDb::beginEdit()
{
    openCheck();
    beginTran();
    inTransaction = true;
}

void AbsDb::endEdit(bool commit)
{
    if (!inTransaction)
        return;
    openCheck();
    if (commit)
        commitTran();
    else
        rollbackTran();
    inTransaction = false;
}

QList<Sqlite3Row> AbsDb::tableRows(const QString& table)
{
    openCheck();
    QList<Sqlite3Row> rows;
    Sqlite3Cursor c = queryThrow(QStringLiteral("select * from %1").arg(sqlQuoteIdentifier(table)));
    while (c.moveNext())
        rows.append(c.getRow());
    return rows;
}

qint64 AbsDb::insertSqlRow(const Sqlite3Row& row, const QString& table, const QSet<QString>& leaveOut)
{
    openCheck();
    executeThrow(row.insertSql(table, leaveOut));
    return lastInsertId();
}

void AbsDb::close()
{
    Sqlite3DB::close();
    inTransaction = false;
}
