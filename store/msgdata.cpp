#include "msgdata.h"

#include <cstdlib>
#include <cstdint>
#include <iterator>
#include <limits>

#include "mergesort.h"

QList<_MsgAttachment*> _MsgMessage::attachments() const
{
    QList<_MsgAttachment*> list = attas.values();
    qsMergeSort(list, compareMsgAttachmentAsc);
    return list;
}

bool compareMsgAttachmentAsc(const _MsgAttachment* a, const _MsgAttachment* b)
{
    return a->ROWID < b->ROWID;
}

__MsgData::~__MsgData()
{
    qDeleteAll(attachments);
    for (_MsgMessage* m : std::as_const(messages))
        m_messagePool.destroy(m);
    qDeleteAll(handles);
    qDeleteAll(chats);
}

namespace {
// Removes every entry of `hash` whose value is in `gone`.
template <typename K, typename V>
void eraseValues(QHash<K, V*>& hash, const QSet<V*>& gone)
{
    for (auto it = hash.begin(); it != hash.end();) {
        if (gone.contains(it.value()))
            it = hash.erase(it);
        else
            ++it;
    }
}
} // namespace

void __MsgData::removeMessages(const QSet<_MsgMessage*>& gone)
{
    if (gone.isEmpty())
        return;
    eraseValues(messages, gone);
    // A message may sit in more than one chat's hash, under its row id or its guid.
    for (_MsgChat* chat : std::as_const(chats))
        chat->messages.removeValues(gone);
    for (_MsgMessage* m : gone)
        m_messagePool.destroy(m);
}

_MsgMessage* __MsgData::newMessage()
{
    return m_messagePool.create();
}

void __MsgData::removeChats(const QSet<_MsgChat*>& gone)
{
    if (gone.isEmpty())
        return;
    eraseValues(chats, gone);
    for (_MsgMessage* m : std::as_const(messages))
        if (gone.contains(m->chat))
            m->chat = nullptr;
    for (_MsgChat* c : gone)
        delete c;
}

void __MsgData::removeHandles(const QSet<_MsgHandle*>& gone)
{
    if (gone.isEmpty())
        return;
    eraseValues(handles, gone);
    for (_MsgChat* chat : std::as_const(chats))
        chat->handles.removeValues(gone);
    for (_MsgMessage* m : std::as_const(messages)) {
        if (gone.contains(m->handle))
            m->handle = nullptr;
        if (gone.contains(m->otherHandle))
            m->otherHandle = nullptr;
    }
    for (_MsgHandle* h : gone)
        delete h;
}

void __MsgData::removeAttachments(const QSet<_MsgAttachment*>& gone)
{
    if (gone.isEmpty())
        return;
    eraseValues(attachments, gone);
    for (_MsgMessage* m : std::as_const(messages))
        m->attas.removeValues(gone);
    for (_MsgAttachment* a : gone)
        delete a;
}

QList<_MsgMessage*> _MsgChatMerge::messages() const
{
    QList<_MsgMessage*> list;
    for (const _MsgChat* chat : chats)
        list.append(chat->messages.values());
    return list;
}

MsgData::MsgData() : m_data(new __MsgData) {}

QList<_MsgChat*> MsgData::chats() const
{
    return m_data->chats.values();
}

QList<_MsgMessage*> MsgData::messages() const
{
    return m_data->messages.values();
}

QList<_MsgChatMerge> MsgData::chatMergeList() const
{
    QHash<QString, _MsgChatMerge> merged;
    for (_MsgChat* chat : std::as_const(m_data->chats)) {
        auto it = merged.find(chat->chat_identifier);
        if (it == merged.end()) {
            _MsgChatMerge entry;
            entry.chats.append(chat);
            entry.last = chat->_last;
            merged.insert(chat->chat_identifier, entry);
        } else {
            it->chats.append(chat);
            if (chat->_last > it->last)
                it->last = chat->_last;
        }
    }
    return merged.values();
}

namespace {
// Messages stored close together (at most 20 rows and 120 seconds apart) in
// one database keep their storage order; everything else goes by date.
// Returns whether the row rule decides.
bool rowRuleApplies(const _MsgMessage* a, const _MsgMessage* b)
{
    if (a->srcRowId <= 0 || b->srcRowId <= 0 || a->recovered || b->recovered)
        return false;
    const qint64 rows = a->srcRowId > b->srcRowId ? a->srcRowId - b->srcRowId : b->srcRowId - a->srcRowId;
    if (rows > 20)
        return false;
    const qint64 seconds = std::llabs(qint64(a->date) - qint64(b->date));
    return seconds <= 120;
}

// What a large sort compares: the fields of a message that its order reads,
// copied out beside the message's place in the list, 16 bytes, so that the
// sort runs over neighbouring memory instead of scattered message objects.
// `row` is the stored row id of a message the row rule may apply to, else 0.
struct OrderEntry
{
    qint64 row = 0;
    qint32 date = 0;
    quint32 index = 0;

    OrderEntry() = default;
    OrderEntry(const _MsgMessage* m, quint32 at)
        : row(m->srcRowId > 0 && !m->recovered ? m->srcRowId : 0), date(m->date), index(at)
    {
    }
};

// compareMsgMessageAsc over entries, without branches: both rules are worked
// out and one answer picked. Row ids are 0 or positive, so their difference
// cannot overflow; |d| <= r is tested as the unsigned d + r <= 2r.
inline bool entryAsc(const OrderEntry& a, const OrderEntry& b)
{
    const bool nearRows = quint64(a.row) - quint64(b.row) + 20 <= 40;
    const bool nearDates = quint64(qint64(a.date) - qint64(b.date) + 120) <= 240;
    const bool byRow = (a.row > 0) & (b.row > 0) & nearRows & nearDates;
    return byRow ? a.row < b.row : a.date < b.date;
}
} // namespace

bool compareMsgMessageAsc(const _MsgMessage* a, const _MsgMessage* b)
{
    if (rowRuleApplies(a, b))
        return a->srcRowId < b->srcRowId;
    return a->date < b->date;
}

bool compareMsgMessageDesc(const _MsgMessage* a, const _MsgMessage* b)
{
    return !compareMsgMessageAsc(a, b);
}

void sortMsgMessages(QList<_MsgMessage*>& list, bool descending)
{
    if (quint64(list.size()) > std::numeric_limits<quint32>::max()) {
        qsMergeSort(list, descending ? compareMsgMessageDesc : compareMsgMessageAsc);
        return;
    }
    // A million messages take a noticeable moment on one core, at every
    // showing of a whole database: the entries are made and sorted on all.
    const size_t n = size_t(list.size());
    std::vector<OrderEntry> entries(n);
    // Reading each message's fields is a cache miss apiece: in slices side by side.
    qsRunSlices(n, [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            entries[i] = OrderEntry(list.at(qsizetype(i)), quint32(i));
    });
    const unsigned threads = qsWorkThreads();
    if (descending)
        qsMergeSortParallel(entries, [](const OrderEntry& a, const OrderEntry& b) { return !entryAsc(a, b); }, threads);
    else
        qsMergeSortParallel(entries, [](const OrderEntry& a, const OrderEntry& b) { return entryAsc(a, b); }, threads);
    QList<_MsgMessage*> sorted;
    sorted.reserve(list.size());
    for (const OrderEntry& entry : entries)
        sorted.append(list.at(entry.index));
    list = std::move(sorted);
}

bool compareMsgChatMergeLastDesc(const _MsgChatMerge& a, const _MsgChatMerge& b)
{
    return a.last >= b.last;
}

bool compareMsgChatLastDesc(const _MsgChat* a, const _MsgChat* b)
{
    return a->_last >= b->_last;
}
