#include "msgdata.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <new>

#include <sys/mman.h>

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
        destroyMessage(m);
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
        destroyMessage(m);
}

void __MsgData::FreeBlock::operator()(char* block) const
{
    std::free(block);
}

_MsgMessage* __MsgData::newMessage()
{
    if (!m_freeMessages.empty()) {
        _MsgMessage* place = m_freeMessages.back();
        m_freeMessages.pop_back();
        return new (place) _MsgMessage;
    }
    if (size_t(m_messageBlockEnd - m_nextMessage) < sizeof(_MsgMessage)) {
        // Blocks double from a few records up to huge pages: a small set
        // holds little, and a large one takes one page fault and one TLB
        // entry per two megabytes instead of one per four kilobytes.
        constexpr size_t kFirstBlockBytes = 64 * 1024;
        constexpr size_t kHugePage = 2 * 1024 * 1024;
        const size_t bytes = std::max(m_nextBlockBytes, kFirstBlockBytes);
        m_nextBlockBytes = std::min(bytes * 2, kHugePage);
        char* storage = static_cast<char*>(std::aligned_alloc(bytes == kHugePage ? kHugePage : alignof(std::max_align_t), bytes));
        if (!storage)
            throw std::bad_alloc();
        if (bytes == kHugePage)
            ::madvise(storage, bytes, MADV_HUGEPAGE); // advice only: without it the block works the same
        m_nextMessage = storage;
        m_messageBlockEnd = storage + bytes;
        m_messageBlocks.emplace(storage, Block{std::unique_ptr<char[], FreeBlock>(storage), bytes});
    }
    auto* m = new (m_nextMessage) _MsgMessage;
    m_nextMessage += sizeof(_MsgMessage);
    return m;
}

void __MsgData::destroyMessage(_MsgMessage* m)
{
    // The block at or before the record's address by the map's total order;
    // the record is its own when its address lies within the block.
    const char* at = reinterpret_cast<const char*>(m);
    auto block = m_messageBlocks.upper_bound(at);
    const auto address = [](const char* p) { return reinterpret_cast<std::uintptr_t>(p); };
    if (block != m_messageBlocks.begin()
        && address(at) - address(std::prev(block)->first) < std::prev(block)->second.bytes) {
        m->~_MsgMessage();
        m_freeMessages.push_back(m);
    } else {
        delete m;
    }
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
// The fields of a message that its order reads, copied out so that a large
// sort compares neighbouring memory instead of scattered message objects.
struct OrderKey
{
    qint64 srcRowId = 0;
    int date = 0;
    bool recovered = false;

    OrderKey() = default;
    explicit OrderKey(const _MsgMessage* m) : srcRowId(m->srcRowId), date(m->date), recovered(m->recovered) {}
};

// Messages stored close together (at most 20 rows and 120 seconds apart) in
// one database keep their storage order; everything else goes by date.
// Returns whether the row rule decides, and the "a before b" answer it gives.
bool rowRuleApplies(const OrderKey& a, const OrderKey& b)
{
    if (a.srcRowId <= 0 || b.srcRowId <= 0 || a.recovered || b.recovered)
        return false;
    const qint64 rows = a.srcRowId > b.srcRowId ? a.srcRowId - b.srcRowId : b.srcRowId - a.srcRowId;
    if (rows > 20)
        return false;
    const qint64 seconds = std::llabs(qint64(a.date) - qint64(b.date));
    return seconds <= 120;
}

bool keyAsc(const OrderKey& a, const OrderKey& b)
{
    if (rowRuleApplies(a, b))
        return a.srcRowId < b.srcRowId;
    return a.date < b.date;
}
} // namespace

bool compareMsgMessageAsc(const _MsgMessage* a, const _MsgMessage* b)
{
    return keyAsc(OrderKey(a), OrderKey(b));
}

bool compareMsgMessageDesc(const _MsgMessage* a, const _MsgMessage* b)
{
    return !compareMsgMessageAsc(a, b);
}

void sortMsgMessages(QList<_MsgMessage*>& list, bool descending)
{
    struct Entry
    {
        OrderKey key;
        _MsgMessage* message = nullptr;
    };
    QList<Entry> entries;
    entries.reserve(list.size());
    for (_MsgMessage* m : list)
        entries.append({OrderKey(m), m});
    if (descending)
        qsMergeSort(entries, [](const Entry& a, const Entry& b) { return !keyAsc(a.key, b.key); });
    else
        qsMergeSort(entries, [](const Entry& a, const Entry& b) { return keyAsc(a.key, b.key); });
    for (qsizetype i = 0; i < entries.size(); ++i)
        list[i] = entries.at(i).message;
}

bool compareMsgChatMergeLastDesc(const _MsgChatMerge& a, const _MsgChatMerge& b)
{
    return a.last >= b.last;
}

bool compareMsgChatLastDesc(const _MsgChat* a, const _MsgChat* b)
{
    return a->_last >= b->_last;
}
