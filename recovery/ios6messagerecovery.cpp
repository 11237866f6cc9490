#include "ios6messagerecovery.h"

#include "ios6messagelayouts.h"
#include "ios6messagerowtest.h"
#include "messagecolumns.h"

namespace {

constexpr int kBaseValues = 38;   // ROWID .. was_deduplicated
constexpr int kLaterValues = 50;  // .. message_action_type
constexpr int kServiceValue = 11;

int dateOf(const QVariant& v, bool nanoseconds)
{
    return nanoseconds ? int(v.toLongLong() / 1000000000) : v.toInt();
}

} // namespace

IOS6MessageRecovery::IOS6MessageRecovery(IOS6MessageDb& db, const QList<_MsgChat*>& chats) : db(db)
{
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
                                                 ProgressReporter* progress)
{
    IOS6MessageRecovery target(db, chats);
    RecoveryRun(db, db.recycleDb(), progress).run(target);
}

void IOS6MessageRecovery::prepare()
{
    Sqlite3Cursor sql = db.queryThrow("select sql from sqlite_master where type='table' and name='message'");
    nanoseconds = sql.moveNext() && sql.getText(QStringLiteral("sql")).contains(QLatin1String("ck_record_id"), Qt::CaseInsensitive);
    liveGuids = db.messageGuids();
}

bool IOS6MessageRecovery::recoverFetchMessage(const _SqliteFileRowData& row, _MsgMessage* msg) const
{
    const int n = row.values.size();
    if (n < kBaseValues)
        return false;
    msg->ROWID = row.rowid;
    int k = 1;
    for (const MessageColumn& col : messageColumns()) {
        if (k >= (n < kLaterValues ? kBaseValues : kLaterValues))
            break;
        const QVariant& v = row.values.at(k);
        switch (col.kind) {
        case MessageColumn::Int: msg->*col.intField = v.toInt(); break;
        case MessageColumn::Date: msg->*col.intField = dateOf(v, nanoseconds); break;
        case MessageColumn::Text:
        case MessageColumn::SharedText: col.setText(*msg, v.toString()); break;
        case MessageColumn::Int64: msg->*col.int64Field = v.toLongLong(); break;
        case MessageColumn::Blob: msg->*col.blobField = v.toByteArray(); break;
        }
        if (k == kServiceValue && !isMessageService(msg->service))
            return false;
        ++k;
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

void IOS6MessageRecovery::carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run)
{
    QList<_MsgMessage> found;
    for (const CarveLayout& layout : ios6MessageLayouts()) {
        if (run.cancelled())
            return;
        for (const _SqliteFileRowData& row : RecoveryRun::carve(file, page, layout, checkMessageRowValid)) {
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
