// The table that finds a file-tree node by its path key while the tree is
// built: a million keys by open addressing, with one probe to enter a key
// that is new. A key is kept as a view of bytes that stay where they are for
// the whole build (a record's path), after a head kept once (its domain's
// folder), so that keys need no copies. The slots carry part of each key's hash, so that a probe reads a
// key's bytes only when that part matches.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHashFunctions>

#include <stdexcept>
#include <vector>

class PathKeyTable
{
public:
    static constexpr quint32 kNoHead = 0xFFFFFFFFu;

    // A key as kept: its bytes, or with a head (addHead) the head's bytes
    // followed by "/" and the key's bytes when there are any.
    struct Key
    {
        const char* bytes = nullptr;
        quint32 size = 0;
        quint32 head = kNoHead;

        Key() = default;
        explicit Key(QByteArrayView b, quint32 h = kNoHead) : bytes(b.data()), size(quint32(b.size())), head(h) {}
    };

    // Keeps bytes that begin many keys (a domain's folder) once.
    quint32 addHead(QByteArrayView bytes)
    {
        m_heads.push_back(bytes);
        return quint32(m_heads.size() - 1);
    }

    // Whether the key spells `joined`.
    bool spells(const Key& key, QByteArrayView joined) const
    {
        const QByteArrayView tail(key.bytes, qsizetype(key.size));
        if (key.head == kNoHead)
            return joined == tail;
        const QByteArrayView head = m_heads[key.head];
        if (joined.size() != head.size() + (key.size ? 1 + tail.size() : 0) || !joined.startsWith(head))
            return false;
        return !key.size || (joined[head.size()] == '/' && joined.endsWith(tail));
    }

    explicit PathKeyTable(size_t expected) : m_seed(QHashSeed::globalSeed()) { grow(expected); }

    // Keys are numbered from 0 in the order they were entered.
    qsizetype size() const { return qsizetype(m_entries.size()); }
    const Key& key(qsizetype number) const { return m_entries[size_t(number)]; }
    // The number of `key`, or -1.
    qsizetype find(QByteArrayView key) const
    {
        const size_t hash = hashOf(key);
        const quint32 slot = m_slots[probe(key, hash)];
        return slot == 0 ? -1 : qsizetype(entryOf(slot));
    }

    // Enters the key unless it is there; false when it is. `stored` gives
    // the Key that is kept, which must spell `key` in bytes that outlive the
    // table, and is called only for a new key.
    template <typename Store>
    bool insertNew(QByteArrayView key, Store stored)
    {
        return insertNew(key, hashOf(key), stored);
    }
    // The same with the key's hash (hashOf) made beforehand.
    template <typename Store>
    bool insertNew(QByteArrayView key, size_t hash, Store stored)
    {
        if (2 * (m_entries.size() + 1) > m_slots.size())
            grow(2 * m_entries.size() + 2);
        const size_t at = probe(key, hash);
        if (m_slots[at] != 0)
            return false;
        m_entries.push_back(stored());
        m_slots[at] = slotFor(hash, m_entries.size() - 1);
        return true;
    }

    // The hash the table files a key under; it reads only the seed, so any
    // thread may make it while the table is filled.
    size_t hashOf(QByteArrayView key) const
    {
        const quint64 hash = qHashBits(key.data(), size_t(key.size()), m_seed);
        return size_t(hash * 0x9E3779B97F4A7C15ull);
    }

    // Brings the first slot a key of this hash is looked for in closer.
    void prefetch(size_t hash) const { __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]); }

private:
    // A slot holds the entry's number + 1 in its low bits, as many as the
    // table has slots, and high bits of the key's hash above them (0 free).
    quint32 tagOf(size_t hash) const { return quint32(quint64(hash) >> 32) & ~m_entryMask; }
    quint32 slotFor(size_t hash, size_t entry) const { return tagOf(hash) | quint32(entry + 1); }
    size_t entryOf(quint32 slot) const { return size_t(slot & m_entryMask) - 1; }

    size_t probe(QByteArrayView key, size_t hash) const
    {
        const size_t mask = m_slots.size() - 1;
        const quint32 tag = tagOf(hash);
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            const quint32 slot = m_slots[at];
            if (slot == 0 || ((slot & ~m_entryMask) == tag && spells(m_entries[entryOf(slot)], key)))
                return at;
        }
    }

    // Room for `count` keys at most half the slots.
    void grow(size_t count)
    {
        size_t size = 16;
        while (size < 2 * count)
            size *= 2;
        // Entry numbers must fit the low bits of a slot.
        if (size > (size_t(1) << 31))
            throw std::length_error("too many path keys");
        m_slots.assign(size, 0);
        m_entryMask = quint32(size - 1);
        m_entries.reserve(count);
        QByteArray joined;
        for (size_t e = 0; e < m_entries.size(); ++e) {
            const Key& key = m_entries[e];
            joined.clear();
            if (key.head != kNoHead) {
                joined.append(m_heads[key.head]);
                if (key.size)
                    joined.append('/');
            }
            joined.append(key.bytes, key.size);
            const size_t hash = hashOf(joined);
            size_t at = hash & (size - 1);
            while (m_slots[at] != 0)
                at = (at + 1) & (size - 1);
            m_slots[at] = slotFor(hash, e);
        }
    }

    size_t m_seed;
    std::vector<quint32> m_slots;
    quint32 m_entryMask = 0;
    std::vector<Key> m_entries;
    std::vector<QByteArrayView> m_heads;
};
