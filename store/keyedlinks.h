// Records linked from another record, each under a text key: a chat's
// messages (by row id in decimal, or guid) and a message's attachments (by
// row id, or guid in the files of older phones). The links sit in one list
// in the order they were entered, in one small allocation (none while
// empty), instead of a hash table per record: most messages have no
// attachment or one, and a chat's messages are entered once, in bulk.
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

#include <algorithm>
#include <memory>

template <typename T>
class KeyedLinks
{
    struct Link
    {
        QString key;
        T* target = nullptr;
    };
    struct Body
    {
        QVarLengthArray<Link, 1> list;
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
        return at >= 0 ? m_body->list.at(at).target : nullptr;
    }

    // Enters `target` under `key`, in place of whatever the key named before.
    void insert(const QString& key, T* target)
    {
        if (m_body && !m_body->indexed && m_body->list.size() >= kIndexFrom)
            buildIndex();
        const qsizetype at = find(key);
        if (at >= 0)
            m_body->list[at].target = target;
        else
            insertNew(key, target);
    }
    // Enters `target` under a key that is not entered yet.
    void insertNew(QString key, T* target)
    {
        Body& b = body();
        if (b.indexed)
            b.index.insert(key, b.list.size());
        b.list.append({std::move(key), target});
    }
    void clear() { m_body.reset(); }
    // Takes out every link to one of `gone`.
    void removeValues(const QSet<T*>& gone)
    {
        if (!m_body)
            return;
        QVarLengthArray<Link, 1>& list = m_body->list;
        const auto end = std::remove_if(list.begin(), list.end(), [&](const Link& l) { return gone.contains(l.target); });
        if (end == list.end())
            return;
        list.erase(end, list.end());
        if (list.isEmpty())
            m_body.reset();
        else if (m_body->indexed)
            buildIndex();
    }
    QList<T*> values() const
    {
        QList<T*> out;
        out.reserve(size());
        for (T* t : *this)
            out.append(t);
        return out;
    }
    QList<QString> keys() const
    {
        QList<QString> out;
        out.reserve(size());
        for (auto it = begin(); it != end(); ++it)
            out.append(it.key());
        return out;
    }

    class const_iterator
    {
    public:
        const_iterator(const Link* at) : m_at(at) {}
        T* operator*() const { return m_at->target; }
        T* value() const { return m_at->target; }
        const QString& key() const { return m_at->key; }
        const_iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }
        bool operator!=(const const_iterator& other) const { return m_at != other.m_at; }

    private:
        const Link* m_at;
    };
    const_iterator begin() const { return m_body ? m_body->list.cbegin() : nullptr; }
    const_iterator end() const { return m_body ? m_body->list.cend() : nullptr; }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }

private:
    // insert() indexes a list this long before it looks a key up.
    static constexpr qsizetype kIndexFrom = 16;

    Body& body()
    {
        if (!m_body)
            m_body = std::make_unique<Body>();
        return *m_body;
    }

    qsizetype find(QAnyStringView key) const
    {
        if (!m_body)
            return -1;
        if (m_body->indexed)
            return m_body->index.value(key.toString(), -1);
        const QVarLengthArray<Link, 1>& list = m_body->list;
        for (qsizetype i = 0; i < list.size(); ++i)
            if (QAnyStringView::equal(list.at(i).key, key))
                return i;
        return -1;
    }

    // Indexes the list; of equal keys (entered by insertNew), the later stands.
    void buildIndex()
    {
        Body& b = *m_body;
        b.index.clear();
        b.index.reserve(b.list.size());
        for (qsizetype i = 0; i < b.list.size(); ++i)
            b.index.insert(b.list.at(i).key, i);
        b.indexed = true;
    }

    std::unique_ptr<Body> m_body;
};

struct _MsgMessage;
struct _MsgAttachment;
using MessageLinks = KeyedLinks<_MsgMessage>;
using AttachmentLinks = KeyedLinks<_MsgAttachment>;
