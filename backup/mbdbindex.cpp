#include "mbdbindex.h"

#include <QHashSeed>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <stdexcept>

namespace {
constexpr int kDigestBytes = 20;

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// The 20 bytes of a stored name written as 40 lower-case hex characters;
// false for any other name.
bool digestOf(const QString& name, quint8* digest)
{
    if (name.size() != 2 * kDigestBytes)
        return false;
    const char16_t* text = reinterpret_cast<const char16_t*>(name.utf16());
    for (int i = 0; i < kDigestBytes; ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        digest[i] = quint8(high << 4 | low);
    }
    return true;
}

QString hexOf(const quint8* digest)
{
    static const char kHex[] = "0123456789abcdef";
    QString name(2 * kDigestBytes, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(name.data());
    for (int i = 0; i < kDigestBytes; ++i) {
        *out++ = char16_t(kHex[digest[i] >> 4]);
        *out++ = char16_t(kHex[digest[i] & 0x0f]);
    }
    return name;
}

// The numbers of a record, which the item and the packed record name alike.
template <typename From, typename To>
void copyNumbers(const From& from, To& to)
{
    to.mode = from.mode;
    to.protectionClass = from.protectionClass;
    to.inodeHigh = from.inodeHigh;
    to.inode = from.inode;
    to.userId = from.userId;
    to.groupId = from.groupId;
    to.lastModified = from.lastModified;
    to.lastStatusChange = from.lastStatusChange;
    to.birth = from.birth;
    to.size = from.size;
}

// The bytes a text takes in a block: none when empty, else its bytes and a NUL.
qsizetype stretch(qsizetype size)
{
    return size == 0 ? 0 : size + 1;
}
} // namespace

MbdbIndex::Slice MbdbIndex::reserveBytes(qsizetype size, char*& at)
{
    try {
        return m_blocks.reserve(size, at);
    } catch (const std::length_error&) {
        throw std::runtime_error("The backup's file index is too large.");
    }
}

MbdbIndex::MbdbIndex() : m_seed(QHashSeed::globalSeed())
{
}

void MbdbIndex::reserve(qsizetype records)
{
    if (records <= 0)
        return;
    m_records.reserve(size_t(records));
    size_t slotCount = 16;
    while (2 * slotCount < 3 * size_t(records))
        slotCount *= 2;
    if (slotCount > m_slots.size()) {
        // Record numbers must fit the low bits of a slot.
        if (slotCount > (size_t(1) << 31))
            throw std::runtime_error("The backup's file index is too large.");
        m_slots.assign(slotCount, 0);
        m_recordMask = quint32(slotCount - 1);
        for (size_t r = 0; r < m_records.size(); ++r)
            if (!(m_records[r].flags & kOddName))
                m_slots[findFree(m_records[r].name)] = slotFor(m_records[r].name, quint32(r));
    }
}

size_t MbdbIndex::firstSlot(const quint8* digest) const
{
    // The digest's bytes are uniform, but a hostile index could choose names
    // that meet in one slot; the seed of the process keeps them apart.
    quint64 head = 0;
    std::memcpy(&head, digest, sizeof head);
    head = (head ^ m_seed) * 0x9E3779B97F4A7C15ull;
    head ^= head >> 29;
    return size_t(head) & (m_slots.size() - 1);
}

size_t MbdbIndex::findFree(const quint8* digest) const
{
    size_t slot = firstSlot(digest);
    while (m_slots[slot] != 0)
        slot = (slot + 1) & (m_slots.size() - 1);
    return slot;
}

namespace {
quint32 tagOf(const quint8* digest)
{
    quint32 tag = 0;
    std::memcpy(&tag, digest + 8, sizeof tag);
    return tag;
}
} // namespace

quint32 MbdbIndex::slotFor(const quint8* digest, quint32 record) const
{
    return (tagOf(digest) & ~m_recordMask) | (record + 1);
}

size_t MbdbIndex::probe(const quint8* digest) const
{
    const quint32 tag = tagOf(digest) & ~m_recordMask;
    size_t slot = firstSlot(digest);
    for (;; slot = (slot + 1) & (m_slots.size() - 1)) {
        const quint32 entry = m_slots[slot];
        if (entry == 0)
            return slot;
        if ((entry & ~m_recordMask) == tag
            && std::memcmp(m_records[(entry & m_recordMask) - 1].name, digest, kDigestBytes) == 0)
            return slot;
    }
}

quint32 MbdbIndex::findDigest(const quint8* digest) const
{
    if (m_slots.empty())
        return kNone;
    const quint32 entry = m_slots[probe(digest)];
    return entry == 0 ? kNone : (entry & m_recordMask) - 1;
}

quint32 MbdbIndex::find(const QString& name) const
{
    quint8 digest[kDigestBytes];
    if (digestOf(name, digest))
        return findDigest(digest);
    return m_oddRecords.value(name, kNone);
}

void MbdbIndex::growSlots()
{
    // Kept at most two thirds full, so that a probe ends soon.
    if (3 * (m_records.size() + 1) > 2 * m_slots.size())
        reserve(qsizetype(std::max<size_t>(m_records.size() + 1, m_records.size() * 2)));
}

MbdbIndex::Record& MbdbIndex::recordFor(const quint8* digest, const QString* odd)
{
    size_t slot = 0;
    if (odd) {
        const quint32 found = m_oddRecords.value(*odd, kNone);
        if (found != kNone)
            return m_records[found];
    } else {
        // Grown first, so that the slot found stays the record's.
        growSlots();
        slot = probe(digest);
        if (m_slots[slot] != 0)
            return m_records[(m_slots[slot] & m_recordMask) - 1];
    }
    if (m_records.size() >= kNone - 1)
        throw std::runtime_error("The backup's file index is too large.");
    const quint32 number = quint32(m_records.size());
    Record& record = m_records.emplace_back();
    if (odd) {
        const quint32 oddNumber = quint32(m_oddNames.size());
        m_oddNames.push_back(*odd);
        m_oddRecords.insert(*odd, number);
        std::memset(record.name, 0, kDigestBytes);
        std::memcpy(record.name, &oddNumber, sizeof oddNumber);
        record.flags = kOddName;
    } else {
        std::memcpy(record.name, digest, kDigestBytes);
        record.flags = 0;
        m_slots[slot] = slotFor(digest, number);
    }
    return record;
}

quint32 MbdbIndex::internDomain(const Binary& domain)
{
    if (m_lastDomain < m_domains.size()) {
        const Binary& last = m_domains[m_lastDomain];
        if (last.length == domain.length && last.data == domain.data)
            return m_lastDomain;
    }
    QByteArray key = domain.data;
    key.append(char(domain.length >> 8)).append(char(domain.length & 0xFF));
    auto found = m_domainIds.constFind(key);
    if (found == m_domainIds.constEnd()) {
        Binary own;
        own.length = domain.length;
        own.data = QByteArray(domain.data.constData(), domain.data.size());
        found = m_domainIds.insert(key, quint32(m_domains.size()));
        m_domains.push_back(own);
    }
    m_lastDomain = *found;
    return m_lastDomain;
}

void MbdbIndex::fill(Record& record, const Item& item)
{
    const quint32 number = quint32(&record - m_records.data());
    const Binary* texts[kTexts] = {&item.path, &item.linkTarget, &item.digest, &item.encryptionKey};
    qsizetype total = 0;
    quint8 forms = 0;
    std::array<quint16, kTexts> lengths;
    for (int t = 0; t < kTexts; ++t) {
        const qsizetype size = texts[t]->data.size();
        lengths[t] = texts[t]->length;
        const quint8 form = size <= 0xFFFF && lengths[t] == size ? kLengthIsSize
            : lengths[t] == 0xFFFF && size == 0                  ? kLengthAbsent
                                                                 : kLengthAside;
        forms |= quint8(form << (2 * t));
        record.sizes[t] = quint32(size);
        total += stretch(size);
    }
    record.lengthForms = forms;
    if (forms & 0xAA) // a form with its high bit: aside
        m_lengthsAside.insert(number, lengths);
    else
        m_lengthsAside.remove(number);
    char* at = nullptr;
    const Slice all = reserveBytes(total, at);
    record.block = all.block;
    record.offset = all.offset;
    for (const Binary* text : texts) {
        if (text->data.isEmpty())
            continue;
        std::memcpy(at, text->data.constData(), size_t(text->data.size()));
        at += text->data.size();
        *at++ = '\0';
    }
    record.domain = internDomain(item.domain);
    copyNumbers(item, record);
    record.flags = quint8((record.flags & kOddName) | (item.isNew ? kNew : 0) | (item.isModified ? kModified : 0)
                          | (item.isRemoved ? kRemoved : 0));
    if (item.properties.isEmpty()) {
        m_propertyRanges.remove(number);
        return;
    }
    record.flags |= kProperties;
    m_propertyRanges.insert(number, {quint32(m_properties.size()), quint32(item.properties.size())});
    for (const Property& property : item.properties) {
        StoredProperty stored;
        for (auto [from, to, length] : {std::tuple{&property.name, &stored.name, &stored.nameLength},
                                        std::tuple{&property.value, &stored.value, &stored.valueLength}}) {
            char* bytes = nullptr;
            *to = reserveBytes(from->data.size() + 1, bytes);
            to->size = quint32(from->data.size());
            if (!from->data.isEmpty())
                std::memcpy(bytes, from->data.constData(), size_t(from->data.size()));
            bytes[from->data.size()] = '\0';
            *length = from->length;
        }
        m_properties.push_back(stored);
    }
}

void MbdbIndex::enter(const quint8* digest, const QString* odd, const Item& item)
{
    const size_t before = m_records.size();
    Record& record = recordFor(digest, odd);
    try {
        fill(record, item);
    } catch (...) {
        // A record entered just now goes again; nothing was entered after it.
        if (m_records.size() > before) {
            if (odd) {
                m_oddRecords.remove(*odd);
                m_oddNames.pop_back();
            } else {
                m_slots[probe(digest)] = 0;
            }
            m_records.pop_back();
        }
        throw;
    }
}

void MbdbIndex::insert(const QString& name, const Item& item)
{
    quint8 digest[kDigestBytes];
    const bool isDigest = digestOf(name, digest);
    enter(digest, isDigest ? nullptr : &name, item);
}

void MbdbIndex::add(const Item& item)
{
    quint8 digest[kDigestBytes];
    item.backupFileDigest(digest);
    enter(digest, nullptr, item);
}

MbdbIndex::Slice MbdbIndex::textSlice(const Record& record, int text) const
{
    quint32 offset = record.offset;
    for (int t = 0; t < text; ++t)
        offset += quint32(stretch(record.sizes[t]));
    return Slice{record.block, offset, record.sizes[text]};
}

quint16 MbdbIndex::length(quint32 record, int text) const
{
    const Record& r = m_records[record];
    switch ((r.lengthForms >> (2 * text)) & 3) {
    case kLengthIsSize: return quint16(r.sizes[text]);
    case kLengthAbsent: return 0xFFFF;
    default: return m_lengthsAside.value(record)[size_t(text)];
    }
}

MbdbIndex::Binary MbdbIndex::binary(const Slice& slice, quint16 length) const
{
    Binary b;
    b.length = length;
    b.data = m_blocks.share(slice);
    return b;
}

QByteArrayView MbdbIndex::pathBytes(qsizetype record) const
{
    const Record& r = m_records[size_t(record)];
    const quint16 stored = length(quint32(record), kPath);
    if (stored == 0 || stored == 0xFFFF || r.sizes[kPath] == 0)
        return QByteArrayView();
    return QByteArrayView(m_blocks.data(textSlice(r, kPath)), qsizetype(r.sizes[kPath]));
}

MbdbIndex::Item MbdbIndex::item(qsizetype number) const
{
    const Record& r = m_records[size_t(number)];
    Item item;
    item.domain = m_domains[r.domain];
    Binary* texts[kTexts] = {&item.path, &item.linkTarget, &item.digest, &item.encryptionKey};
    for (int t = 0; t < kTexts; ++t)
        *texts[t] = binary(textSlice(r, t), length(quint32(number), t));
    copyNumbers(r, item);
    item.isNew = (r.flags & kNew) != 0;
    item.isModified = (r.flags & kModified) != 0;
    item.isRemoved = (r.flags & kRemoved) != 0;
    if (r.flags & kProperties) {
        const PropertyRange range = m_propertyRanges.value(quint32(number));
        item.properties.reserve(qsizetype(range.count));
        for (quint32 p = range.first; p < range.first + range.count; ++p) {
            const StoredProperty& stored = m_properties[p];
            item.properties.append({binary(stored.name, stored.nameLength), binary(stored.value, stored.valueLength)});
        }
    }
    return item;
}

MbdbIndex::Item MbdbIndex::value(const QString& name) const
{
    const quint32 found = find(name);
    return found == kNone ? Item() : item(found);
}

QString MbdbIndex::name(qsizetype record) const
{
    const Record& r = m_records[size_t(record)];
    if (!(r.flags & kOddName))
        return hexOf(r.name);
    quint32 oddNumber = 0;
    std::memcpy(&oddNumber, r.name, sizeof oddNumber);
    return m_oddNames[oddNumber];
}

QList<MbdbIndex::Item> MbdbIndex::values() const
{
    QList<Item> all;
    all.reserve(size());
    for (qsizetype r = 0; r < size(); ++r)
        all.append(item(r));
    return all;
}
