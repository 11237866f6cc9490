// Opening an iOS 5 message database and reading its conversations and
// correspondents.
#include "ios5messagedb.h"

#include "cftype.h"
#include "msgidentifiers.h"

IOS5MessageDb::IOS5MessageDb(const QDir& dir, const _CountryInfo& country)
    : AbsIOSMessageDb(dir, country)
{
}

IOS5MessageDb::~IOS5MessageDb() = default;

void IOS5MessageDb::openCheck()
{
    if (isOpen())
        return;
    openThrow(smsDbPath, Sqlite3DB::ReadWrite);
    try {
        // read(x): 1 when x, taken as an integer, is not 0; else 0. Statements
        // of the phone's own schema call it.
        registerScalarFunctionThrow("read", 1,
                                    [](const QVariantList& args) { return QVariant(args.at(0).toLongLong() != 0 ? 1 : 0); });
        Sqlite3Cursor c = queryThrow("select * from sqlite_master where type='table'");
        while (c.moveNext())
            tables.insert(c.getText(QStringLiteral("name")), c.getText(QStringLiteral("sql")));
    } catch (...) {
        // An open file with a partial table list would read as one without
        // iMessage tables for the object's whole life; the next call retries.
        tables.clear();
        close();
        throw;
    }
}

qint64 IOS5MessageDb::total()
{
    openCheck();
    Sqlite3Cursor c = queryThrow("select count(*) from message");
    return c.moveNext() ? c.getInt64(0) : 0;
}

void IOS5MessageDb::deletedMessages(MsgData& data)
{
    openCheck();
    recycle.mergeMessages(data, recycle.messages());
}

void IOS5MessageDb::chats(MsgData& data)
{
    __MsgData& d = beginChats(data);
    CountryCache cache;
    readSmsChats(d);
    readSmsMembers(d, cache);
    if (tables.contains(QStringLiteral("madrid_chat")))
        readMadridChats(d);
}

// An SMS conversation is a msg_group row whose newest message exists; its
// identity (guid, identifier, style) is settled by its members below.
void IOS5MessageDb::readSmsChats(__MsgData& d)
{
    Sqlite3Cursor c = queryThrow("select g.*,g.rowid as rowid,m.date-978307200 as last_date from msg_group as g "
                                 "inner join message as m on g.newest_message=m.rowid");
    while (c.moveNext()) {
        const qint64 id = c.getInt64(QStringLiteral("rowid"));
        if (d.chats.contains(id))
            continue;
        auto* chat = new _MsgChat;
        chat->ROWID = id;
        chat->_last = c.getInt(QStringLiteral("last_date"));
        chat->guid = QStringLiteral("SMS;-;") + QString::number(c.getInt(QStringLiteral("hash")));
        chat->chat_identifier = QStringLiteral("unknown");
        d.chats.insert(id, chat);
    }
}

// One handle per group_member row; the conversation counts its distinct
// addresses: one makes it a one-to-one chat with that address, a second one a
// group whose identifier derives from the first address.
void IOS5MessageDb::readSmsMembers(__MsgData& d, CountryCache& cache)
{
    Sqlite3Cursor c = queryThrow("select *,rowid as rowid from group_member order by rowid");
    while (c.moveNext()) {
        _MsgChat* chat = d.chats.value(c.getInt64(QStringLiteral("group_id")));
        if (!chat)
            continue;
        const qint64 hid = c.getInt64(QStringLiteral("rowid"));
        _MsgHandle* h = d.handles.value(hid);
        if (!h) {
            auto* made = new _MsgHandle;
            made->ROWID = hid;
            made->country = c.getText(QStringLiteral("country"));
            made->service = QStringLiteral("SMS");
            made->id = countryOf(made->country, cache).formatNumber(c.getText(QStringLiteral("address")));
            contacts.fillContact(*made, "IOS5MessageDb::chats");
            d.handles.insert(hid, made);
            h = made;
        }
        if (chat->handles.contains(h->id))
            continue;
        if (chat->handles.isEmpty()) {
            chat->chat_identifier = h->id;
            chat->guid = QStringLiteral("SMS;-;") + h->id;
            chat->style = 45;
        } else if (chat->handles.size() == 1) {
            chat->chat_identifier = genChatIdentifier(chat->guid);
            chat->guid = QStringLiteral("SMS;+;") + chat->chat_identifier;
            chat->room_name = chat->chat_identifier;
            chat->style = 43;
            chat->account_id = hashUUID(chat->guid.toUtf8());
        }
        chat->handles.insert(h->id, h);
    }
}

// An iMessage conversation is a madrid_chat row keyed by its negated row id;
// its participants (a property-list array of addresses) become handles with
// negative row ids below every earlier one.
void IOS5MessageDb::readMadridChats(__MsgData& d)
{
    QHash<QString, _MsgChat*> byIdent;
    Sqlite3Cursor c = queryThrow("select *,rowid as rowid from madrid_chat");
    while (c.moveNext()) {
        const qint64 key = -c.getInt64(QStringLiteral("rowid"));
        if (d.chats.contains(key))
            continue;
        const QByteArray blob = c.getBlob(QStringLiteral("participants"));
        const CFType participants = CFType::createCFPropertyList(blob);
        const long n = participants.array_size();
        if (!blob.isEmpty() && !participants.isCFArray())
            qWarning("IOS5MessageDb::chats, madrid_chat %lld: participants are no list, chat read without them",
                     -key);
        auto* chat = new _MsgChat;
        d.chats.insert(key, chat);
        chat->ROWID = key;
        chat->chat_identifier = country.formatNumber(c.getText(QStringLiteral("chat_identifier")));
        chat->guid = (n >= 2 ? QStringLiteral("iMessage;+;") : QStringLiteral("iMessage;-;")) + chat->chat_identifier;
        chat->style = c.getInt(QStringLiteral("style"));
        chat->state = c.getInt(QStringLiteral("state"));
        chat->account_id = c.getText(QStringLiteral("account_id"));
        chat->service_name = QStringLiteral("iMessage");
        chat->account_login = c.getText(QStringLiteral("account_login"));
        byIdent.insert(chat->chat_identifier, chat);
        for (long i = 0; i < n; ++i) {
            auto* h = new _MsgHandle;
            h->ROWID = -1 - qint64(d.handles.size());
            h->service = QStringLiteral("iMessage");
            h->id = country.formatNumber(participants.at(int(i)).toString());
            contacts.fillContact(*h, "IOS5MessageDb::chats");
            d.handles.insert(h->ROWID, h);
            chat->handles.insert(h->id, h);
        }
    }
    // A chat named by both a room and a handle takes the handle's date.
    readMadridLastDates(byIdent, "madrid_roomname");
    readMadridLastDates(byIdent, "madrid_handle");
}

void IOS5MessageDb::readMadridLastDates(QHash<QString, _MsgChat*>& byIdent, const char* column)
{
    const QString name = QLatin1String(column);
    Sqlite3Cursor c = queryThrow(QStringLiteral("select %1,max(date) as last_date from message group by %1 "
                                                "having %1 is not null and %1 <> ''")
                                     .arg(name));
    while (c.moveNext())
        if (_MsgChat* chat = byIdent.value(c.getText(name)))
            chat->_last = c.getInt(QStringLiteral("last_date"));
}
