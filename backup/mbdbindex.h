// A backup's file index held compactly: a million records of a large backup
// in one vector of packed numbers, their texts and bytes in a few large
// blocks, and a table from stored name to record number. Records go in and
// come out as MBDBParser::_MBDBItem values; an item handed out shares the
// bytes of the blocks (reference-counted), so it stays valid after the index
// is gone.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <cstddef>
#include <iterator>
#include <vector>

// MBDBParser's record types; mbdbparser.h names this class as its index
// and includes this header after them.
#include "mbdbparser.h"
#include "slicearena.h"

class MbdbIndex
{
public:
    using Item = MBDBParser::_MBDBItem;
    using Binary = MBDBParser::_MBDBBinary;
    using Property = MBDBParser::_MBDBProperty;

    MbdbIndex();

    qsizetype size() const { return qsizetype(m_records.size()); }
    bool isEmpty() const { return m_records.empty(); }
    // Room for `records` records, so that a large index is not regrown.
    void reserve(qsizetype records);

    bool contains(const QString& name) const { return find(name) != kNone; }
    // The record under the stored name, or an empty record.
    Item value(const QString& name) const;
    // Enters the record under `name`, replacing any record there.
    void insert(const QString& name, const Item& item);
    // Enters the record under the stored name computed from its domain and
    // path (Item::backupFileName); a later record replaces an earlier one.
    void add(const Item& item);
    // The same with the digest of the stored name worked out by the caller
    // (Item::backupFileDigest), as a reader that hashes on other threads does.
    void addUnder(const quint8* digest, const Item& item) { enter(digest, nullptr, item); }
    // Every record, in the order in which their names were first entered.
    QList<Item> values() const;

    // Records by number, 0 to size() - 1.
    Item item(qsizetype record) const;
    QString name(qsizetype record) const;
    // What the file tree reads of a record without making the whole item.
    quint16 mode(qsizetype record) const { return m_records[size_t(record)].mode; }
    // The record's domain as an id shared by records with equal domain
    // fields (length and bytes), and that domain field itself.
    quint32 domainId(qsizetype record) const { return m_records[size_t(record)].domain; }
    const Binary& domain(quint32 id) const { return m_domains[id]; }
    qsizetype domainCount() const { return qsizetype(m_domains.size()); }
    // The path's bytes (empty when the field is absent), which stay where
    // they are while the index lives.
    QByteArrayView pathBytes(qsizetype record) const;

    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Item;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Item;

        const_iterator(const MbdbIndex* index, qsizetype record) : m_index(index), m_record(record) {}
        // Gives `it->field` on the record made on demand.
        struct ItemPointer
        {
            Item item;
            const Item* operator->() const { return &item; }
        };

        Item operator*() const { return m_index->item(m_record); }
        ItemPointer operator->() const { return {m_index->item(m_record)}; }
        Item value() const { return m_index->item(m_record); }
        QString key() const { return m_index->name(m_record); }
        qsizetype record() const { return m_record; }
        const_iterator& operator++()
        {
            ++m_record;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return m_record == o.m_record; }
        bool operator!=(const const_iterator& o) const { return m_record != o.m_record; }

    private:
        const MbdbIndex* m_index;
        qsizetype m_record;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }

private:
    static constexpr quint32 kNone = 0xFFFFFFFFu;
    enum { kPath, kLinkTarget, kDigest, kEncryptionKey, kTexts };
    enum Flag : quint8 { kNew = 1, kModified = 2, kRemoved = 4, kOddName = 8, kProperties = 16 };

    using Slice = ByteSliceArena::Slice;
    struct StoredProperty
    {
        Slice name, value;
        quint16 nameLength, valueLength;
    };
    // One record. A stored name is the SHA-1 of domain and path written in
    // lower-case hex; it is kept as its 20 bytes. Any other name (one given to
    // insert) is kept aside, and `name` then holds its number there. The
    // stored lengths of the four texts are, as a rule, their byte counts or
    // 0xFFFF (two bits each in `lengthForms`); others, and the properties of
    // the few records that have any, are kept aside too.
    struct Record
    {
        quint8 name[20];
        quint32 domain;
        // The four texts one after the other, each but the empty ones
        // followed by a NUL.
        quint32 block, offset;
        quint32 sizes[kTexts];
        quint32 inodeHigh, userId, groupId, lastModified, lastStatusChange, birth;
        quint64 inode;
        qint64 size;
        quint16 mode;
        qint8 protectionClass;
        quint8 flags;
        quint8 lengthForms;
    };
    enum LengthForm : quint8 { kLengthIsSize = 0, kLengthAbsent = 1, kLengthAside = 3 };
    struct PropertyRange
    {
        quint32 first, count;
    };
    quint32 find(const QString& name) const;
    quint32 findDigest(const quint8* digest) const;
    // The record under the name (a digest, or `odd`), entered when new.
    Record& recordFor(const quint8* digest, const QString* odd);
    void enter(const quint8* digest, const QString* odd, const Item& item);
    void fill(Record& record, const Item& item);
    quint32 internDomain(const Binary& domain);
    void growSlots();
    size_t firstSlot(const quint8* digest) const;
    size_t findFree(const quint8* digest) const;
    // The slot that holds the name, or the free slot where it would go.
    size_t probe(const quint8* digest) const;
    quint32 slotFor(const quint8* digest, quint32 record) const;
    Binary binary(const Slice& slice, quint16 length) const;
    Slice textSlice(const Record& record, int text) const;
    // Room for `size` bytes in the blocks; throws for an index too large.
    Slice reserveBytes(qsizetype size, char*& at);
    quint16 length(quint32 record, int text) const;

    std::vector<Record> m_records;
    std::vector<StoredProperty> m_properties;
    QHash<quint32, PropertyRange> m_propertyRanges;
    QHash<quint32, std::array<quint16, kTexts>> m_lengthsAside;
    // Distinct domain fields, each kept once.
    std::vector<Binary> m_domains;
    QHash<QByteArray, quint32> m_domainIds;
    quint32 m_lastDomain = kNone;
    // Open addressing by the name's first bytes: a slot holds the record
    // number + 1 in its low bits (as many as there are slots; 0 is free) and
    // more of the name's bits above them, so that a probe reads a record only
    // when those match.
    std::vector<quint32> m_slots;
    quint32 m_recordMask = 0;
    quint64 m_seed = 0;
    // Names that are not a lower-case hex digest.
    std::vector<QString> m_oddNames;
    QHash<QString, quint32> m_oddRecords;
    // The texts and bytes of the records. Blocks start small, so that a
    // backup of a few files (and every input of a fuzzing run) takes a few
    // kilobytes, and double to a megabyte, which holds the bytes of
    // thousands of records. A copy of the index shares the blocks it holds
    // and appends to new ones only, so neither writes where the other reads.
    ByteSliceArena m_blocks{qsizetype(1) << 20, 4096};
};
