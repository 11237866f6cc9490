#include "ios5messagerecovery.h"

#include <QDateTime>

#include "msgidentifiers.h"

namespace {

// Value positions of the iOS 5 message table, in its column order.
enum Col {
    Address = 1, Date = 2, Text = 3, Flags = 4, Replace = 5, SvcCenter = 6, UIFlags = 10, Version = 11,
    Subject = 12, Country = 13, Read = 16, MadridHandle = 18, MadridGuid = 20, MadridRoomname = 22,
    MadridService = 23, MadridAccount = 24, MadridError = 28, IsMadrid = 29, MadridDateRead = 30,
    MadridDateDelivered = 31, MadridAccountGuid = 32,
};
constexpr int kSmsColumns = 17;
constexpr int kMadridColumns = 33;
constexpr qint64 kUnixTo2001 = 978307200;

const QList<CarveLayout>& layouts()
{
    static const QList<CarveLayout> list = [] {
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
        return QList<CarveLayout>{CarveLayout::fromColumns(cols), CarveLayout::fromColumns(cols.mid(0, 32)),
                                  CarveLayout::fromColumns(cols.mid(0, kSmsColumns))};
    }();
    return list;
}

quint32 unsignedAt(const _SqliteFileRowData& row, int i)
{
    return quint32(row.values.at(i).toInt());
}

QString textAt(const _SqliteFileRowData& row, int i)
{
    return row.values.at(i).toString();
}

// NULL, or a blob without bytes.
bool isNullAt(const _SqliteFileRowData& row, int i)
{
    return row.values.at(i).isNull();
}

bool passesFlags(const _SqliteFileRowData& row)
{
    const quint32 ui = unsignedAt(row, UIFlags);
    return unsignedAt(row, Read) <= 1 && (ui == 0 || ui == 4 || ui == 5 || ui == 6);
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

QString smsKey(const QVariant& date, const QString& address, const QString& text)
{
    return QString::number(date.toLongLong()) + QLatin1Char('\n') + address + QLatin1Char('\n') + text;
}

} // namespace

bool checkMessageRow(const _SqliteFileRowData& row)
{
    if (row.values.size() < kSmsColumns || !passesFlags(row))
        return false;
    return row.values.size() < kMadridColumns || unsignedAt(row, IsMadrid) <= 1;
}

IOS5MessageRecovery::IOS5MessageRecovery(IOS5MessageDb& db) : db(db) {}

void IOS5MessageRecovery::recycleDeletedMessages(IOS5MessageDb& db, ProgressReporter* progress)
{
    IOS5MessageRecovery target(db);
    RecoveryRun(db, *db.recycleDb(), progress).run(target);
}

void IOS5MessageRecovery::prepare()
{
    Sqlite3Cursor c = db.queryThrow("select * from message");
    const int guid = c.column(QStringLiteral("madrid_guid"));
    const int madrid = c.column(QStringLiteral("is_madrid"));
    while (c.moveNext()) {
        if (madrid >= 0 && c.getInt(madrid) == 1)
            liveKeys.insert(c.getText(guid));
        else
            liveKeys.insert(smsKey(c.getInt64(QStringLiteral("date")), c.getText(QStringLiteral("address")),
                                   c.getText(QStringLiteral("text"))));
    }
}

bool IOS5MessageRecovery::isLive(const _SqliteFileRowData& row) const
{
    if (row.values.size() >= kMadridColumns && unsignedAt(row, IsMadrid) == 1)
        return liveKeys.contains(textAt(row, MadridGuid));
    return liveKeys.contains(smsKey(row.values.at(Date), textAt(row, Address), textAt(row, Text)));
}

bool IOS5MessageRecovery::recoverFetchMessage(const _SqliteFileRowData& row, IOS5RecycleMsgItem& item)
{
    const int n = row.values.size();
    if (n < kSmsColumns)
        return false;
    _MsgMessage& m = item.msg;
    m.ROWID = row.rowid;
    m.replace = row.values.at(Replace).toInt();
    if (!passesFlags(row))
        return false;
    m.text = textAt(row, Text);
    if (!isPlainText(m.text))
        return false;
    m.service_center = textAt(row, SvcCenter);
    m.subject = textAt(row, Subject);
    m.country = textAt(row, Country);
    bool found = false;
    const _CountryInfo info = db.countryLib().infoByCode(m.country, &found);
    if (!m.country.isEmpty() && !found)
        return false;
    m.version = row.values.at(Version).toInt();
    m.type = 0;
    m.handle_id = 0;
    m.is_delivered = m.is_emote = m.is_empty = m.is_delayed = m.is_auto_reply = m.is_system_message = 0;
    m.has_dd_results = m.is_service_message = m.is_forward = m.was_downgraded = m.is_archive = 0;
    m.cache_has_attachments = m.was_deduplicated = 0;
    m.is_finished = m.is_prepared = m.is_read = m.is_sent = m.was_data_detected = 1;

    bool imessage = false;
    if (n >= kMadridColumns) {
        const quint32 madrid = unsignedAt(row, IsMadrid);
        if (madrid > 1)
            return false;
        imessage = madrid == 1;
        if (!imessage) {
            for (int i = 17; i <= MadridDateDelivered; ++i)
                if (i != IsMadrid && !isNullAt(row, i))
                    return false;
        }
    }
    if (imessage) {
        if (textAt(row, MadridService) != QLatin1String("Madrid"))
            return false;
        m.guid = textAt(row, MadridGuid);
        m.service = QStringLiteral("iMessage");
        m.account = textAt(row, MadridAccount);
        m.account_guid = textAt(row, MadridAccountGuid);
        m.error = row.values.at(MadridError).toInt();
        m.date = row.values.at(Date).toInt();
        m.date_read = row.values.at(MadridDateRead).toInt();
        m.date_delivered = row.values.at(MadridDateDelivered).toInt();
        m.is_from_me = m.date_delivered > 0 ? 1 : 0;
        if (!isPlainText(textAt(row, MadridHandle)))
            return false;
        item.handle = db.ownCountry().formatNumber(textAt(row, MadridHandle));
        const QString room = textAt(row, MadridRoomname);
        item.chatIdentifier = room.isEmpty() ? item.handle : room;
    } else {
        m.guid = genUUID();
        m.service = QStringLiteral("SMS");
        m.account = QStringLiteral("e:");
        m.error = 0;
        m.date = m.date_read = m.date_delivered = int(quint32(row.values.at(Date).toInt()) - quint32(kUnixTo2001));
        m.is_from_me = row.values.at(Flags).toInt() == 3 ? 1 : 0;
        const QString address = textAt(row, Address);
        if (address.isEmpty() || !isPlainText(address))
            return false;
        item.chatIdentifier = item.handle = info.formatNumber(address);
    }
    if (m.date <= 0)
        return false;
    const qint64 now = QDateTime::currentSecsSinceEpoch() - kUnixTo2001;
    return quint32(m.date) <= quint32(now);
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

void IOS5MessageRecovery::carvePage(const Sqlite3File& file, const _SqliteBtreePage& page, const RecoveryRun& run)
{
    QList<IOS5RecycleMsgItem> items;
    for (const CarveLayout& layout : layouts()) {
        if (run.cancelled())
            return;
        const QList<_SqliteFileRowData> rows = RecoveryRun::carve(file, page, layout, checkMessageRow);
        int accepted = 0;
        for (const _SqliteFileRowData& row : rows) {
            IOS5RecycleMsgItem item;
            if (recoverFetchMessage(row, item)) {
                ++accepted;
                if (!isLive(row))
                    items.append(item);
            }
        }
        // A longer layout that explains every row it found leaves the shorter
        // ones nothing but partial copies of the same rows.
        if (!rows.isEmpty() && accepted == rows.size())
            break;
    }
    for (const IOS5RecycleMsgItem& item : items) {
        if (run.cancelled())
            return;
        store(item, item.msg.ROWID);
    }
}
