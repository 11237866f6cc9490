#include "ios6handlerecovery.h"

#include "messageservice.h"

namespace {

// The handle table: ROWID, id, country, service, uncanonicalized_id, and on
// newer phones person_centric_id. The longer layout is tried as well, since a
// row of either shape may lie in the same file.
QList<QList<_SqliteCol>> handleLayouts()
{
    QList<_SqliteCol> cols{{"ROWID", "INTEGER", false, false, true},
                           {"id", "TEXT", true, false, false},
                           {"country", "TEXT", false, false, false},
                           {"service", "TEXT", true, false, false},
                           {"uncanonicalized_id", "TEXT", false, false, false}};
    QList<QList<_SqliteCol>> both{cols};
    cols.append(_SqliteCol("person_centric_id", "TEXT", false, false, false));
    both.append(cols);
    return both;
}

const QStringList kMappedColumns{"id", "country", "service", "uncanonicalized_id"};

QString liveKey(const QString& id, const QString& service)
{
    return id + QLatin1Char('\n') + service;
}

} // namespace

IOS6HandleRecovery::IOS6HandleRecovery(IOS6MessageDb& db) : db(db), tableShape(QList<_SqliteCol>(), handleLayouts()) {}

void IOS6HandleRecovery::recycleDeletedHandles(IOS6MessageDb& db, ProgressReporter* progress, const Checks& checks)
{
    IOS6HandleRecovery target(db);
    target.checks = checks;
    RecoveryRun(db, db.recycleDb(), progress).run(target);
}

void IOS6HandleRecovery::useShape(const QList<_SqliteCol>& declaration)
{
    tableShape = RecoveryTable(declaration, handleLayouts(), kMappedColumns);
    idAt = tableShape.indexOf(QStringLiteral("id"));
    countryAt = tableShape.indexOf(QStringLiteral("country"));
    serviceAt = tableShape.indexOf(QStringLiteral("service"));
    uncanonicalizedAt = tableShape.indexOf(QStringLiteral("uncanonicalized_id"));
    needed = 1 + qMax(qMax(idAt, countryAt), qMax(serviceAt, uncanonicalizedAt));
}

void IOS6HandleRecovery::prepare(const QList<_SqliteCol>& declaration, bool present)
{
    useShape(declaration);
    if (!present)
        return;
    Sqlite3Cursor c = db.queryThrow("select id, service from handle");
    while (c.moveNext())
        live.insert(liveKey(c.getText(QStringLiteral("id")), c.getText(QStringLiteral("service"))));
}

bool IOS6HandleRecovery::recoverFetchHandle(const _SqliteFileRowData& row, _MsgHandle* handle)
{
    if (row.values.size() < needed)
        return false;
    handle->ROWID = row.rowid;
    const QString rawId = row.values.at(idAt).toString();
    handle->country = row.values.at(countryAt).toString();
    bool found = false;
    const _CountryInfo info = db.countryLib().infoByCode(handle->country, &found);
    if (!handle->country.isEmpty() && !found)
        return false;
    handle->id = info.formatNumber(rawId);
    handle->service = row.values.at(serviceAt).toString();
    if (!isMessageService(handle->service) || (checks.nonEmptyId && handle->id.isEmpty()))
        return false;
    // A correspondent still in the table is not a deleted one.
    if (checks.notLive && live.contains(liveKey(rawId, handle->service)))
        return false;
    handle->uncanonicalized_id = row.values.at(uncanonicalizedAt).toString();
    return true;
}

bool IOS6HandleRecovery::checkHandleRow(const _SqliteFileRowData& row) const
{
    return (!checks.wholeRecord || !row.cut) && row.values.size() >= needed
        && isMessageService(row.values.at(serviceAt).toString());
}

void IOS6HandleRecovery::store(const _MsgHandle& handle)
{
    MessageRecycleDb& recycle = db.recycleDb();
    if (recycle.findHandle(&handle) == 0)
        recycle.insertHandle(&handle, handle.ROWID);
}

void IOS6HandleRecovery::freeCell(const _SqliteFileRowData& row)
{
    _MsgHandle handle;
    if (recoverFetchHandle(row, &handle))
        store(handle);
}

SqliteRowFilter IOS6HandleRecovery::rowTest() const
{
    return [this](const _SqliteFileRowData& row) { return checkHandleRow(row); };
}

void IOS6HandleRecovery::carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run)
{
    const SqliteRowFilter filter = rowTest();
    QList<_MsgHandle> found;
    for (const CarveLayout& layout : tableShape.layouts()) {
        if (run.cancelled())
            return;
        for (const _SqliteFileRowData& row : RecoveryRun::carve(file, page, layout, filter)) {
            _MsgHandle handle;
            if (recoverFetchHandle(row, &handle))
                found.append(handle);
        }
    }
    for (const _MsgHandle& handle : found) {
        if (run.cancelled())
            return;
        store(handle);
    }
}
