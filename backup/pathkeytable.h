// The table that finds a file-tree node by its path key while the tree is
// built: a million keys by open addressing, with one probe to enter a key
// that is new. A key is kept as two views of bytes that stay where they are
// for the whole build (a folder and a record's path), so that keys need no
// copies. The slots carry part of each key's hash, so that a probe reads a
// key's bytes only when that part matches.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHashFunctions>

#include <cstring>
#include <vector>

template <typename Value>
class PathKeyTable
{
public:
    // A key as kept: `head`, followed by "/" and `tail` when `tail` is not
    // empty.
    struct Key
    {
        const char* head = nullptr;
        const char* tail = nullptr;
        quint32 headSize = 0;
        quint32 tailSize = 0;

        Key() = default;
        Key(QByteArrayView h, QByteArrayView t = {})
            : head(h.data()), tail(t.data()), headSize(quint32(h.size())), tailSize(quint32(t.size()))
        {
        }

        // Whether the key spells `joined`.
        bool spells(QByteArrayView joined) const
        {
            const qsizetype size = qsizetype(headSize) + (tailSize ? 1 + qsizetype(tailSize) : 0);
            if (joined.size() != size || (headSize && std::memcmp(joined.data(), head, headSize) != 0))
                return false;
            return !tailSize
                || (joined[headSize] == '/' && std::memcmp(joined.data() + headSize + 1, tail, tailSize) == 0);
        }
    };

    struct Entry
    {
        Key key;
        Value* value;
    };

    explicit PathKeyTable(size_t expected) : m_seed(QHashSeed::globalSeed()) { grow(expected); }

    // The entry of `key`, or null; valid until the next key is entered.
    const Entry* find(QByteArrayView key) const
    {
        const size_t hash = hashOf(key);
        const quint64 slot = m_slots[probe(key, hash)];
        return slot == 0 ? nullptr : &m_entries[entryOf(slot)];
    }

    // Enters the key unless it is there; false when it is. `stored` gives
    // the Key that is kept, which must spell `key` in bytes that outlive the
    // table, and is called only for a new key, as is `make`, which gives the
    // value.
    template <typename Store, typename Make>
    bool insertNew(QByteArrayView key, Store stored, Make make)
    {
        if (2 * (m_entries.size() + 1) > m_slots.size())
            grow(2 * m_entries.size() + 2);
        const size_t hash = hashOf(key);
        const size_t at = probe(key, hash);
        if (m_slots[at] != 0)
            return false;
        m_entries.push_back({stored(), make()});
        m_slots[at] = slotFor(hash, m_entries.size() - 1);
        return true;
    }

private:
    size_t hashOf(QByteArrayView key) const { return qHashBits(key.data(), size_t(key.size()), m_seed); }
    static quint64 slotFor(size_t hash, size_t entry) { return quint64(hash) << 32 | quint64(entry + 1); }
    static size_t entryOf(quint64 slot) { return size_t(quint32(slot)) - 1; }

    size_t probe(QByteArrayView key, size_t hash) const
    {
        const size_t mask = m_slots.size() - 1;
        const quint32 tag = quint32(hash);
        for (size_t at = (hash ^ (hash >> 32)) & mask;; at = (at + 1) & mask) {
            const quint64 slot = m_slots[at];
            if (slot == 0 || (quint32(slot >> 32) == tag && m_entries[entryOf(slot)].key.spells(key)))
                return at;
        }
    }

    // Room for `count` keys at most half the slots.
    void grow(size_t count)
    {
        size_t size = 16;
        while (size < 2 * count)
            size *= 2;
        m_slots.assign(size, 0);
        m_entries.reserve(count);
        QByteArray joined;
        for (size_t e = 0; e < m_entries.size(); ++e) {
            const Key& key = m_entries[e].key;
            joined.clear();
            joined.append(key.head, key.headSize);
            if (key.tailSize)
                joined.append('/').append(key.tail, key.tailSize);
            const size_t hash = hashOf(joined);
            size_t at = (hash ^ (hash >> 32)) & (size - 1);
            while (m_slots[at] != 0)
                at = (at + 1) & (size - 1);
            m_slots[at] = slotFor(hash, e);
        }
    }

    size_t m_seed;
    std::vector<quint64> m_slots;
    std::vector<Entry> m_entries;
};
