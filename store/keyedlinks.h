// Records linked from another record, each under a text key: a chat's
// messages (by row id in decimal, or guid) and members (by row id, or
// address), and a message's attachments (by row id, or guid in the files of
// older phones). The links sit in one list
// in the order they were entered, in one small allocation (none while
// empty), instead of a hash table per record: most messages have no
// attachment or one, and a chat's messages are entered once, in bulk.
//
// A link costs one pointer: a key that is its record's row id in decimal
// (nearly every key) is not kept but read from the record when asked for,
// so a linked record keeps its ROWID; any other key is kept beside the list.
//
// insert() replaces what its key named before; it finds keys through an
// index that it builds on first use for a long list, and keeps from then on.
// insertNew() is for a key the caller knows is not entered yet (a record
// just made): it appends without a lookup. Lookups by key scan a list that
// has no index yet; they are for single records, not for loops.
#pragma once

#include <QAnyStringView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVarLengthArray>

#include <charconv>
#include <memory>

template <typename T>
class KeyedLinks
{
    struct Body
    {
        QVarLengthArray<T*, 1> list;
        // place in `list` -> key, for the links whose key is not their
        // record's row id in decimal; those (nearly all) keep no text.
        QHash<qsizetype, QString> otherKeys;
        QHash<QString, qsizetype> index; // key -> place in `list`, once built
        bool indexed = false;
    };

public:
    KeyedLinks() = default;
    KeyedLinks(const KeyedLinks& other) : m_body(other.m_body ? std::make_unique<Body>(*other.m_body) : nullptr) {}
    KeyedLinks& operator=(const KeyedLinks& other)
    {
        if (this != &other)
            m_body = other.m_body ? std::make_unique<Body>(*other.m_body) : nullptr;
        return *this;
    }
    KeyedLinks(KeyedLinks&&) noexcept = default;
    KeyedLinks& operator=(KeyedLinks&&) noexcept = default;
    ~KeyedLinks() = default;

    qsizetype size() const { return m_body ? m_body->list.size() : 0; }
    bool isEmpty() const { return size() == 0; }
    void reserve(qsizetype n) { body().list.reserve(n); }
    bool contains(QAnyStringView key) const { return find(key) >= 0; }
    // The record under `key`, else null.
    T* value(QAnyStringView key) const
    {
        const qsizetype at = find(key);
        return at >= 0 ? m_body->list.at(at) : nullptr;
    }

    // Enters `target` under `key`, in place of whatever the key named before.
    void insert(const QString& key, T* target)
    {
        if (m_body && !m_body->indexed && m_body->list.size() >= kIndexFrom)
            buildIndex();
        const qsizetype at = find(key);
        if (at < 0) {
            insertNew(key, target);
            return;
        }
        Body& b = *m_body;
        b.list[at] = target;
        if (isRowKey(target, key))
            b.otherKeys.remove(at);
        else
            b.otherKeys.insert(at, key);
    }
    // Enters `target` under a key that is not entered yet.
    void insertNew(const QString& key, T* target)
    {
        Body& b = body();
        if (!isRowKey(target, key))
            b.otherKeys.insert(b.list.size(), key);
        if (b.indexed)
            b.index.insert(key, b.list.size());
        b.list.append(target);
    }
    // insertNew under the target's row id in decimal, which is not entered yet.
    void insertNewUnderRowId(T* target)
    {
        Body& b = body();
        if (b.indexed)
            b.index.insert(rowKey(target), b.list.size());
        b.list.append(target);
    }
    void clear() { m_body.reset(); }
    // Takes out every link to one of `gone`.
    void removeValues(const QSet<T*>& gone)
    {
        if (!m_body)
            return;
        Body& b = *m_body;
        QHash<qsizetype, QString> keys;
        qsizetype kept = 0;
        for (qsizetype i = 0; i < b.list.size(); ++i) {
            if (gone.contains(b.list.at(i)))
                continue;
            if (const auto key = b.otherKeys.constFind(i); key != b.otherKeys.cend())
                keys.insert(kept, *key);
            b.list[kept++] = b.list.at(i);
        }
        if (kept == b.list.size())
            return;
        b.list.resize(kept);
        b.otherKeys = std::move(keys);
        if (b.list.isEmpty())
            m_body.reset();
        else if (b.indexed)
            buildIndex();
    }
    QList<T*> values() const
    {
        return m_body ? QList<T*>(m_body->list.cbegin(), m_body->list.cend()) : QList<T*>();
    }
    QList<QString> keys() const
    {
        QList<QString> out;
        out.reserve(size());
        for (qsizetype i = 0; i < size(); ++i)
            out.append(keyAt(i));
        return out;
    }

    class const_iterator
    {
    public:
        const_iterator(const KeyedLinks* links, qsizetype at) : m_links(links), m_at(at) {}
        T* operator*() const { return value(); }
        T* value() const { return m_links->m_body->list.at(m_at); }
        QString key() const { return m_links->keyAt(m_at); }
        const_iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }
        bool operator!=(const const_iterator& other) const { return m_at != other.m_at; }

    private:
        const KeyedLinks* m_links;
        qsizetype m_at;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }

private:
    // insert() indexes a list this long before it looks a key up.
    static constexpr qsizetype kIndexFrom = 16;

    // The row id in decimal, without an allocation.
    struct RowDigits
    {
        char text[24];
        qsizetype size;
        explicit RowDigits(const T* target)
            : size(std::to_chars(text, text + sizeof text, target ? target->ROWID : 0).ptr - text)
        {
        }
        QLatin1String view() const { return QLatin1String(text, size); }
    };
    static bool isRowKey(const T* target, QAnyStringView key)
    {
        return target && QAnyStringView::equal(RowDigits(target).view(), key);
    }
    static QString rowKey(const T* target) { return RowDigits(target).view(); }

    Body& body()
    {
        if (!m_body)
            m_body = std::make_unique<Body>();
        return *m_body;
    }

    QString keyAt(qsizetype at) const
    {
        const auto key = m_body->otherKeys.constFind(at);
        return key != m_body->otherKeys.cend() ? *key : rowKey(m_body->list.at(at));
    }

    qsizetype find(QAnyStringView key) const
    {
        if (!m_body)
            return -1;
        const Body& b = *m_body;
        if (b.indexed)
            return b.index.value(key.toString(), -1);
        for (qsizetype i = 0; i < b.list.size(); ++i) {
            const auto other = b.otherKeys.constFind(i);
            if (other != b.otherKeys.cend() ? QAnyStringView::equal(*other, key) : isRowKey(b.list.at(i), key))
                return i;
        }
        return -1;
    }

    // Indexes the list; of equal keys (entered by insertNew), the later stands.
    void buildIndex()
    {
        Body& b = *m_body;
        b.index.clear();
        b.index.reserve(b.list.size());
        for (qsizetype i = 0; i < b.list.size(); ++i)
            b.index.insert(keyAt(i), i);
        b.indexed = true;
    }

    std::unique_ptr<Body> m_body;
};

struct _MsgMessage;
struct _MsgAttachment;
struct _MsgHandle;
using HandleLinks = KeyedLinks<_MsgHandle>;
using MessageLinks = KeyedLinks<_MsgMessage>;
using AttachmentLinks = KeyedLinks<_MsgAttachment>;
