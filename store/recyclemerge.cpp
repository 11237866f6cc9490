// Joining messages read back from the recovery database to a loaded message
// set (MessageRecycleDb::mergeMessages).
//
// Row ids given here (n the stored row id, h the message's handle_id):
//   recovered message          -2047483648 - n   (read by messages())
//   its srcRowId               2047483648 + n
//   conversation made for a chat identifier, and its one handle
//                              -1947483647 - h
//   conversation made for a message without chat identifier, and its handle
//                              -2047483647 - h
// When that id is already taken in the set, the next free one below it is
// used, so every object made here stays owned by the set.
#include <QDebug>

#include "messagerecycledb.h"
#include "msgidentifiers.h"

namespace {

constexpr qint64 kChatBase = -1947483647LL;
constexpr qint64 kNoChatBase = -2047483647LL;

using ChatTable = QHash<QString, _MsgChat*>;

bool isIMessage(const QString& service)
{
    return service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

// A conversation id, and the id of its one handle, free in both tables.
qint64 freeId(const __MsgData* set, qint64 id)
{
    while (set->chats.contains(id) || set->handles.contains(id))
        --id;
    return id;
}

qint64 baseMinus(qint64 base, qint64 handleId)
{
    // A damaged handle_id must not overflow the sum.
    const qint64 h = qBound<qint64>(-(qint64(1) << 61), handleId, qint64(1) << 61);
    return base - h;
}

_MsgChat* makeChat(MsgData& data, qint64 id, const QString& ci, const QString& service)
{
    __MsgData* set = data.p();
    id = freeId(set, id);
    auto* chat = new _MsgChat;
    chat->ROWID = id;
    chat->guid = QStringLiteral("%1;-;%2").arg(service, ci);
    chat->chat_identifier = ci;
    chat->service_name = service;
    set->chats.insert(id, chat);
    auto* h = new _MsgHandle;
    h->ROWID = id;
    h->service = service;
    h->id = ci;
    set->handles.insert(id, h);
    chat->handles.insert(ci, h);
    return chat;
}

_MsgChat* createSMSChat(MsgData& data, qint64 id, const QString& ci)
{
    return makeChat(data, id, ci, QStringLiteral("SMS"));
}

_MsgChat* createIMessageChat(MsgData& data, qint64 id, const QString& ci, const _MsgMessage& m)
{
    _MsgChat* chat = makeChat(data, id, ci, QStringLiteral("iMessage"));
    chat->account_id = isGuidShaped(m.account_guid) ? m.account_guid : hashUUID(ci.toUtf8());
    chat->account_login = m.account;
    return chat;
}

// The handle of a message in its conversation: the only one, or, in a group,
// the one whose address is the one the recovery attached.
_MsgHandle* senderIn(const _MsgChat* chat, const QString& address)
{
    if (chat->handles.size() == 1)
        return chat->handles.cbegin().value();
    for (_MsgHandle* h : chat->handles)
        if (h && !address.isEmpty() && h->id == address)
            return h;
    return nullptr;
}

} // namespace

void MessageRecycleDb::mergeMessages(MsgData& data, const QList<RecycleMsg>& list)
{
    __MsgData* set = data.p();
    ChatTable iMessageChats, smsChats;
    for (_MsgChat* chat : data.chats())
        if (chat)
            (isIMessage(chat->service_name) ? iMessageChats : smsChats).insert(chat->chat_identifier, chat);

    for (const RecycleMsg& r : list) {
        if (set->messages.contains(r.msg.ROWID))
            continue;
        auto* m = new _MsgMessage(r.msg);
        set->messages.insert(m->ROWID, m);
        m->srcRowId = -m->ROWID;

        QString ci = r.chatIdentifier;
        _MsgChat* chat = nullptr;
        if (ci.isEmpty()) {
            ci = QStringLiteral("unknown%1").arg(m->handle_id);
            chat = smsChats.value(ci);
            if (!chat)
                chat = smsChats[ci] = createSMSChat(data, baseMinus(kNoChatBase, m->handle_id), ci);
        } else if (isIMessage(m->service)) {
            chat = iMessageChats.value(ci);
            if (!chat)
                chat = iMessageChats[ci] = createIMessageChat(data, baseMinus(kChatBase, m->handle_id), ci, *m);
        } else {
            chat = smsChats.value(ci);
            if (!chat)
                chat = smsChats[ci] = createSMSChat(data, baseMinus(kChatBase, m->handle_id), ci);
        }
        m->chat = chat;
        if (m->date > chat->_last)
            chat->_last = m->date;
        m->handle = r.chatIdentifier.isEmpty() ? (chat->handles.isEmpty() ? nullptr : chat->handles.cbegin().value())
                                               : senderIn(chat, r.handleId);
        chat->messages.insert(m->guid, m);
    }
}
