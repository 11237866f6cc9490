#include "ios5messagerecovery.h"

#include <QDateTime>

#include "msgidentifiers.h"

namespace {

constexpr qint64 kUnixTo2001 = 978307200;

// The columns every message row has had, up to read; a declaration must hold
// them all to be carved with.
const char* const kCoreColumns[] = {"address", "date", "text", "flags", "replace", "svc_center", "UIFlags",
                                    "version", "subject", "country", "read"};
// The iMessage columns an SMS row leaves empty (madrid_account_guid may hold
// anything).
const char* const kSmsEmptyColumns[] = {
    "madrid_attributedBody", "madrid_handle", "madrid_version", "madrid_guid", "madrid_type",
    "madrid_roomname", "madrid_service", "madrid_account", "madrid_flags", "madrid_attachmentInfo",
    "madrid_url", "madrid_error", "madrid_date_read", "madrid_date_delivered"};

QStringList coreColumns()
{
    QStringList names;
    for (const char* name : kCoreColumns)
        names.append(QLatin1String(name));
    return names;
}

quint32 unsignedOf(const QVariant& v)
{
    return quint32(v.toInt());
}

bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double: return true;
    default: return false;
    }
}

// NULL, or a blob of no bytes (Qt holds one as a non-null QByteArray).
bool isNullValue(const QVariant& v)
{
    return v.isNull() || (v.typeId() == QMetaType::QByteArray && v.toByteArray().isEmpty());
}

// Text the phone wrote: no bytes that were not UTF-8 (they decode to U+FFFD)
// and no control characters but line breaks and tabs. Carved bytes that only
// happen to fit the layout rarely pass.
bool isPlainText(const QString& text)
{
    for (QChar c : text) {
        if (c == QChar::ReplacementCharacter || (c.unicode() < 0x20 && c != u'\n' && c != u'\r' && c != u'\t'))
            return false;
    }
    return true;
}

QString smsKey(qint64 date, const QString& address, const QString& text)
{
    return QString::number(date) + QLatin1Char('\n') + address + QLatin1Char('\n') + text;
}

} // namespace

QList<QList<_SqliteCol>> ios5MessageLayouts()
{
    static const char* const kColumns[][2] = {
        {"ROWID", "INTEGER"}, {"address", "TEXT"}, {"date", "INTEGER"}, {"text", "TEXT"},
        {"flags", "INTEGER"}, {"replace", "INTEGER"}, {"svc_center", "TEXT"}, {"group_id", "INTEGER"},
        {"association_id", "INTEGER"}, {"height", "INTEGER"}, {"UIFlags", "INTEGER"}, {"version", "INTEGER"},
        {"subject", "TEXT"}, {"country", "TEXT"}, {"headers", "BLOB"}, {"recipients", "BLOB"},
        {"read", "INTEGER"}, {"madrid_attributedBody", "BLOB"}, {"madrid_handle", "TEXT"},
        {"madrid_version", "INTEGER"}, {"madrid_guid", "TEXT"}, {"madrid_type", "INTEGER"},
        {"madrid_roomname", "TEXT"}, {"madrid_service", "TEXT"}, {"madrid_account", "TEXT"},
        {"madrid_flags", "INTEGER"}, {"madrid_attachmentInfo", "BLOB"}, {"madrid_url", "TEXT"},
        {"madrid_error", "INTEGER"}, {"is_madrid", "INTEGER"}, {"madrid_date_read", "INTEGER"},
        {"madrid_date_delivered", "INTEGER"}, {"madrid_account_guid", "TEXT"}};
    QList<_SqliteCol> cols;
    for (const auto& c : kColumns)
        cols.append(_SqliteCol(QLatin1String(c[0]), QLatin1String(c[1]), false, false, cols.isEmpty()));
    return {cols, cols.mid(0, 32), cols.mid(0, 17)};
}

IOS5MessageColumns::IOS5MessageColumns(const RecoveryTable& table)
{
    auto at = [&](const char* name) { return table.indexOf(QLatin1String(name)); };
    address = at("address"), date = at("date"), text = at("text"), flags = at("flags"), replace = at("replace");
    svcCenter = at("svc_center"), uiFlags = at("UIFlags"), version = at("version"), subject = at("subject");
    country = at("country"), read = at("read"), madridHandle = at("madrid_handle"), madridGuid = at("madrid_guid");
    madridRoomname = at("madrid_roomname"), madridService = at("madrid_service");
    madridAccount = at("madrid_account"), madridError = at("madrid_error"), isMadrid = at("is_madrid");
    madridDateRead = at("madrid_date_read"), madridDateDelivered = at("madrid_date_delivered");
    madridAccountGuid = at("madrid_account_guid");
    for (const char* name : kCoreColumns)
        core = qMax(core, at(name) + 1);
    for (const char* name : kSmsEmptyColumns) {
        const int i = at(name);
        if (i >= 0)
            smsEmpty.append({i, table.columns().at(i).isInteger()});
    }
}

bool IOS5MessageColumns::passesRowTest(const _SqliteFileRowData& row) const
{
    if (row.values.size() < core)
        return false;
    const quint32 ui = unsignedOf(RecoveryTable::at(row, uiFlags));
    if (unsignedOf(RecoveryTable::at(row, read)) > 1 || !(ui == 0 || ui == 4 || ui == 5 || ui == 6))
        return false;
    if (!holdsKind(row))
        return holdsMessage(row, false);
    const quint32 madrid = unsignedOf(RecoveryTable::at(row, isMadrid));
    if (madrid > 1)
        return false;
    return madrid == 1 ? holdsMessage(row, true) : madridColumnsEmpty(row) && holdsMessage(row, false);
}

bool IOS5MessageColumns::isIMessage(const _SqliteFileRowData& row) const
{
    return holdsKind(row) && unsignedOf(RecoveryTable::at(row, isMadrid)) == 1;
}

int IOS5MessageColumns::dateOf(const _SqliteFileRowData& row, bool imessage) const
{
    const int stored = RecoveryTable::at(row, date).toInt();
    return imessage ? stored : int(quint32(stored) - quint32(kUnixTo2001));
}

bool IOS5MessageColumns::holdsMessage(const _SqliteFileRowData& row, bool imessage) const
{
    const int d = dateOf(row, imessage);
    if (d <= 0 || quint32(d) > quint32(QDateTime::currentSecsSinceEpoch() - kUnixTo2001))
        return false;
    auto has = [&](int index) { return !RecoveryTable::at(row, index).toString().isEmpty(); };
    if (!imessage)
        return has(address);
    return RecoveryTable::at(row, madridService).toString() == QLatin1String("Madrid")
        && (has(madridHandle) || has(text));
}

bool IOS5MessageColumns::madridColumnsEmpty(const _SqliteFileRowData& row) const
{
    for (const Emptied& e : smsEmpty) {
        const QVariant v = RecoveryTable::at(row, e.index);
        if (isNullValue(v))
            continue;
        const bool empty = e.integer ? isNumber(v) && v.toDouble() == 0
                                     : v.typeId() == QMetaType::QString && v.toString().isEmpty();
        if (!empty)
            return false;
    }
    return true;
}

IOS5MessageRecovery::IOS5MessageRecovery(IOS5MessageDb& db)
    : db(db), tableShape(QList<_SqliteCol>(), ios5MessageLayouts()), cols(tableShape)
{
}

void IOS5MessageRecovery::recycleDeletedMessages(IOS5MessageDb& db, ProgressReporter* progress, const Checks& checks)
{
    IOS5MessageRecovery target(db);
    target.checks = checks;
    RecoveryRun(db, *db.recycleDb(), progress).run(target);
}

void IOS5MessageRecovery::prepare(const QList<_SqliteCol>& declaration, bool present)
{
    tableShape = RecoveryTable(declaration, ios5MessageLayouts(), coreColumns());
    cols = IOS5MessageColumns(tableShape);
    if (!present)
        return;
    Sqlite3Cursor c = db.queryThrow("select * from message");
    const int guid = c.column(QStringLiteral("madrid_guid"));
    const int madrid = c.column(QStringLiteral("is_madrid"));
    const int date = c.column(QStringLiteral("date"));
    const int address = c.column(QStringLiteral("address"));
    const int text = c.column(QStringLiteral("text"));
    if (date < 0 || address < 0 || text < 0)
        return; // no message rows of a shape recovery takes, so none live
    while (c.moveNext()) {
        if (madrid >= 0 && guid >= 0 && c.getInt(madrid) == 1)
            liveKeys.insert(c.getText(guid));
        else
            liveKeys.insert(smsKey(c.getInt64(date), c.getText(address), c.getText(text)));
    }
}

bool IOS5MessageRecovery::isLive(const _SqliteFileRowData& row) const
{
    if (!checks.notLive)
        return false;
    if (cols.isIMessage(row))
        return liveKeys.contains(RecoveryTable::at(row, cols.madridGuid).toString());
    return liveKeys.contains(smsKey(RecoveryTable::at(row, cols.date).toLongLong(),
                                    RecoveryTable::at(row, cols.address).toString(),
                                    RecoveryTable::at(row, cols.text).toString()));
}

bool IOS5MessageRecovery::recoverFetchMessage(const _SqliteFileRowData& row, IOS5RecycleMsgItem& item) const
{
    // The row test holds every refusal by the row's values but these two:
    // stray bytes in its texts, and a country the table does not know.
    if (!cols.passesRowTest(row))
        return false;
    auto value = [&](int index) { return RecoveryTable::at(row, index); };
    auto text = [&](int index) { return RecoveryTable::at(row, index).toString(); };
    auto plain = [&](const QString& s) { return !checks.plainText || isPlainText(s); };
    const bool imessage = cols.isIMessage(row);
    _MsgMessage& m = item.msg;
    m.ROWID = row.rowid;
    m.replace = value(cols.replace).toInt();
    m.text = text(cols.text);
    m.service_center = text(cols.svcCenter);
    m.subject = text(cols.subject);
    m.country = text(cols.country);
    const QString correspondent = text(imessage ? cols.madridHandle : cols.address);
    if (!plain(m.text) || !plain(correspondent))
        return false;
    bool found = false;
    const _CountryInfo info = db.countryLib().infoByCode(m.country, &found);
    if (!m.country.isEmpty() && !found)
        return false;
    m.version = value(cols.version).toInt();
    m.type = 0;
    m.handle_id = 0;
    m.is_delivered = m.is_emote = m.is_empty = m.is_delayed = m.is_auto_reply = m.is_system_message = 0;
    m.has_dd_results = m.is_service_message = m.is_forward = m.was_downgraded = m.is_archive = 0;
    m.cache_has_attachments = m.was_deduplicated = 0;
    m.is_finished = m.is_prepared = m.is_read = m.is_sent = m.was_data_detected = 1;
    m.date = cols.dateOf(row, imessage);
    if (imessage) {
        m.guid = text(cols.madridGuid);
        m.service = QStringLiteral("iMessage");
        m.account = text(cols.madridAccount);
        m.account_guid = text(cols.madridAccountGuid);
        m.error = value(cols.madridError).toInt();
        m.date_read = value(cols.madridDateRead).toInt();
        m.date_delivered = value(cols.madridDateDelivered).toInt();
        m.is_from_me = m.date_delivered > 0 ? 1 : 0;
        item.handle = db.ownCountry().formatNumber(correspondent);
        const QString room = text(cols.madridRoomname);
        item.chatIdentifier = room.isEmpty() ? item.handle : room;
    } else {
        m.guid = genUUID();
        m.service = QStringLiteral("SMS");
        m.account = QStringLiteral("e:");
        m.error = 0;
        m.date_read = m.date_delivered = m.date;
        m.is_from_me = value(cols.flags).toInt() == 3 ? 1 : 0;
        item.chatIdentifier = item.handle = info.formatNumber(correspondent);
    }
    return true;
}

void IOS5MessageRecovery::store(const IOS5RecycleMsgItem& item, qint64 srcRowId)
{
    MessageRecycleDb& recycle = *db.recycleDb();
    if (recycle.findMessage(&item.msg, item.handle) == 0)
        recycle.insertMessage(&item.msg, item.chatIdentifier, item.handle, srcRowId);
}

void IOS5MessageRecovery::freeCell(const _SqliteFileRowData& row)
{
    IOS5RecycleMsgItem item;
    if (recoverFetchMessage(row, item) && !isLive(row))
        store(item, row.rowid);
}

// The carver takes only rows the mapping takes: a candidate it takes moves
// the scan past the candidate's bytes, and a stale record whose tail a later
// cell overwrote (its text then holds that cell's header) would hide that
// cell's record if it were taken and then dropped.
SqliteRowFilter IOS5MessageRecovery::rowTest() const
{
    return [this](const _SqliteFileRowData& row) {
        IOS5RecycleMsgItem item;
        return (!checks.wholeRecord || !row.cut) && recoverFetchMessage(row, item);
    };
}

void IOS5MessageRecovery::carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run)
{
    // Every layout is tried on every page: a table widened by ALTER TABLE
    // keeps the shorter records of the rows written before, beside the
    // longer ones. Every row the carver gives has passed the mapping (the
    // filter); mapping it again fills the item.
    QList<IOS5RecycleMsgItem> items;
    for (const _SqliteFileRowData& row : RecoveryRun::carveEveryLayout(file, page, *this, &run)) {
        IOS5RecycleMsgItem item;
        if (recoverFetchMessage(row, item) && !isLive(row))
            items.append(item);
    }
    // A cancel seen before a layout drops what the page gave.
    for (const IOS5RecycleMsgItem& item : items) {
        if (run.cancelled())
            return;
        store(item, item.msg.ROWID);
    }
}
