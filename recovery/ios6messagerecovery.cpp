#include "ios6messagerecovery.h"

#include "ios6messagelayouts.h"
#include "messagecolumns.h"
#include "messageservice.h"

namespace {

int dateOf(const QVariant& v, bool nanoseconds)
{
    return nanoseconds ? int(v.toLongLong() / 1000000000) : v.toInt();
}

QList<QList<_SqliteCol>> knownLayouts()
{
    const QList<_SqliteCol> all = ios6MessageColumns();
    QList<QList<_SqliteCol>> list;
    for (const CarveLayout& layout : ios6MessageLayouts())
        list.append(all.mid(0, layout.columns));
    return list;
}

QStringList baseColumns()
{
    QStringList names;
    for (const MessageColumn& col : messageColumns())
        if (!col.has(MessageColumn::Later))
            names.append(QLatin1String(col.name));
    return names;
}

} // namespace

IOS6MessageRecovery::IOS6MessageRecovery(IOS6MessageDb& db, const QList<_MsgChat*>& chats)
    : db(db), tableShape(QList<_SqliteCol>(), knownLayouts())
{
    useShape(QList<_SqliteCol>());
    // A handle belongs to the last one-to-one conversation that holds it, or
    // else to the first group that does.
    for (_MsgChat* chat : chats) {
        for (const _MsgHandle* h : chat->handles) {
            if (!chat->isGroup() || !chatOfHandle.contains(h->ROWID))
                chatOfHandle.insert(h->ROWID, chat);
        }
    }
}

void IOS6MessageRecovery::recycleDeletedMessages(IOS6MessageDb& db, const QList<_MsgChat*>& chats,
                                                 ProgressReporter* progress, const Checks& checks)
{
    IOS6MessageRecovery target(db, chats);
    target.checks = checks;
    RecoveryRun(db, db.recycleDb(), progress).run(target);
}

void IOS6MessageRecovery::useShape(const QList<_SqliteCol>& declaration)
{
    tableShape = RecoveryTable(declaration, knownLayouts(), baseColumns());
    valueAt.clear();
    baseValues = laterValues = 0;
    for (const MessageColumn& col : messageColumns()) {
        const int at = tableShape.indexOf(QLatin1String(col.name));
        valueAt.append(at);
        int& needed = col.has(MessageColumn::Later) ? laterValues : baseValues;
        needed = qMax(needed, at + 1);
    }
    // The later columns are read only from a row that holds them all.
    laterValues = qMax(laterValues, baseValues);
    serviceAt = tableShape.indexOf(QStringLiteral("service"));
}

void IOS6MessageRecovery::prepare(const QList<_SqliteCol>& declaration, bool present)
{
    useShape(declaration);
    if (!present)
        return;
    Sqlite3Cursor sql = db.queryThrow("select sql from sqlite_master where type='table' and name='message'");
    nanoseconds = sql.moveNext() && sql.getText(QStringLiteral("sql")).contains(QLatin1String("ck_record_id"), Qt::CaseInsensitive);
    liveGuids = db.messageGuids();
}

bool IOS6MessageRecovery::passesRowTest(const _SqliteFileRowData& row) const
{
    return row.values.size() >= baseValues && isMessageService(RecoveryTable::at(row, serviceAt).toString());
}

bool IOS6MessageRecovery::recoverFetchMessage(const _SqliteFileRowData& row, _MsgMessage* msg) const
{
    const int n = row.values.size();
    if (n < baseValues)
        return false;
    msg->ROWID = row.rowid;
    const bool withLater = n >= laterValues;
    int k = 0;
    for (const MessageColumn& col : messageColumns()) {
        const int at = valueAt.at(k++);
        if (at < 0 || (!withLater && col.has(MessageColumn::Later)))
            continue;
        const QVariant& v = row.values.at(at);
        switch (col.kind) {
        case MessageColumn::Int: msg->*col.intField = v.toInt(); break;
        case MessageColumn::Date: msg->*col.intField = dateOf(v, nanoseconds); break;
        case MessageColumn::Text:
        case MessageColumn::SharedText: col.setText(*msg, v.toString()); break;
        case MessageColumn::Int64: msg->*col.int64Field = v.toLongLong(); break;
        case MessageColumn::Blob: msg->*col.blobField = v.toByteArray(); break;
        }
        if (at == serviceAt && !isMessageService(msg->service))
            return false;
    }
    return true;
}

bool IOS6MessageRecovery::isNew(const _MsgMessage& msg)
{
    return msg.item_type == 0 && !liveGuids.contains(msg.guid) && db.recycleDb().findMessage(&msg) == 0;
}

void IOS6MessageRecovery::store(const _MsgMessage& msg, qint64 srcRowId)
{
    MessageRecycleDb& recycle = db.recycleDb();
    if (_MsgChat* chat = chatOfHandle.value(msg.handle_id)) {
        const QString handle = chat->handles.isEmpty() ? QString() : (*chat->handles.cbegin())->id;
        recycle.insertMessage(&msg, chat->chat_identifier, handle, srcRowId);
        return;
    }
    const _MsgHandle h = recycle.handleBySrcRowId(msg.handle_id);
    recycle.insertMessage(&msg, h.id, h.id, srcRowId);
}

void IOS6MessageRecovery::freeCell(const _SqliteFileRowData& row)
{
    _MsgMessage msg;
    if (recoverFetchMessage(row, &msg) && isNew(msg))
        store(msg, row.rowid);
}

SqliteRowFilter IOS6MessageRecovery::rowTest() const
{
    return [this](const _SqliteFileRowData& row) { return (!checks.wholeRecord || !row.cut) && passesRowTest(row); };
}

void IOS6MessageRecovery::carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run)
{
    const SqliteRowFilter filter = rowTest();
    QList<_MsgMessage> found;
    for (const CarveLayout& layout : tableShape.layouts()) {
        if (run.cancelled())
            return;
        for (const _SqliteFileRowData& row : RecoveryRun::carve(file, page, layout, filter)) {
            _MsgMessage msg;
            if (recoverFetchMessage(row, &msg) && msg.item_type == 0)
                found.append(msg);
        }
    }
    for (const _MsgMessage& msg : found) {
        if (run.cancelled())
            return;
        if (isNew(msg))
            store(msg, msg.ROWID);
    }
}
