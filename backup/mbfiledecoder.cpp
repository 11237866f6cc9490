// The archive as the decoder walks it (see mbfile.cpp for the fields read):
//
//   OBJECT                    READ
//   the top dictionary        "$objects" (an array) and "$top"
//   "$top"                    "root", a UID into "$objects"; anything else reads as 0
//   the root dictionary       every key; a UID value stands for the item of
//                             "$objects" it names, one outside for nothing
//   NSMutableData dictionary  "NS.data": data, or a UID of data in "$objects"
//
// Where a dictionary holds a key twice the last one counts, as in the object
// road.
//
// Two roads lead to the same record. The checked road first checks the whole
// list as the object road checks it (View::checkTree), so that a list that
// road refuses sets nothing here either, and then decodes it. The single pass
// reads the shape every MBFile archive has, checking each object as the tree
// check would while it decodes the root's fields:
//
//   DEPTH  OBJECTS
//   0      the top dictionary
//   1      its values: "$objects" (an array), "$top" (a dictionary), leaves
//   2      the items of "$objects" (the root dictionary among them), the
//          values of "$top"
//   3      what those hold: the root's values, a class's "$classes" array
//   4      leaves only
//
// Anything beyond that shape, or anything it cannot vouch for (a key not
// stored as ASCII, a container inside its own path, more references read than
// the list has bytes, an object the tree check would refuse), sends the record
// to the checked road, which is the reference: the single pass never refuses
// a list or decides a doubtful one itself.
#include "mbfiledecoder.h"

#include "bplistview.h"

#include <QtEndian>

#include <algorithm>
#include <iterator>
#include <limits>
#include <string_view>

namespace {

using bplist::Kind;

// Anything the object road reads differently, and only it reads exactly.
struct Unhandled
{
};

class Decoder
{
public:
    // With `checked`, the objects the tree check kept are read from it.
    Decoder(const bplist::View& view, const bplist::TreeScratch* checked, bool viewBytes)
        : m_view(view), m_checked(checked), m_viewBytes(viewBytes)
    {
    }

    // The key of entry `i` of a dictionary, which must be stored as ASCII.
    std::string_view key(const bplist::Object& dict, uint64_t i) const
    {
        uint64_t ref = 0;
        bplist::Object k;
        if (!m_view.reference(dict, i, ref) || !object(ref, k) || k.kind != Kind::Ascii)
            throw Unhandled();
        return std::string_view(reinterpret_cast<const char*>(m_view.content(k)), size_t(k.count));
    }

    uint64_t value(const bplist::Object& dict, uint64_t i) const
    {
        uint64_t ref = 0;
        m_view.reference(dict, dict.count + i, ref);
        return ref;
    }

    // Every object the decoder reaches was read by the tree check already.
    bool object(uint64_t ref, bplist::Object& out) const
    {
        return m_checked ? m_view.checkedObject(*m_checked, ref, out) : m_view.object(ref, out);
    }

    // The value of the last entry of `dict` under `name`, or false.
    bool find(const bplist::Object& dict, std::string_view name, uint64_t& ref) const
    {
        bool found = false;
        for (uint64_t i = 0; i < dict.count; ++i) {
            if (key(dict, i) == name) {
                ref = value(dict, i);
                found = true;
            }
        }
        return found;
    }

    // An item of "$objects", or false for an index outside it.
    bool item(uint64_t index, bplist::Object& out) const
    {
        uint64_t ref = 0;
        return index < m_objects.count && m_view.reference(m_objects, index, ref) && object(ref, out);
    }

    // A root value with its UID followed; false for nothing.
    bool resolved(uint64_t ref, bplist::Object& out) const
    {
        if (!object(ref, out))
            return false;
        uint64_t index = 0;
        if (out.kind == Kind::Uid && m_view.uid(out, index))
            return item(index, out);
        return true;
    }

    QByteArray dataBytes(const bplist::Object& o) const
    {
        return o.kind == Kind::Data ? bytesOf(o) : QByteArray();
    }

    // Data plainly or inside an NSMutableData dictionary, one UID away at most.
    QByteArray data(const bplist::Object& o) const
    {
        if (o.kind != Kind::Dictionary)
            return dataBytes(o);
        uint64_t ref = 0;
        bplist::Object inner;
        if (!find(o, "NS.data", ref) || !object(ref, inner))
            return QByteArray();
        uint64_t index = 0;
        if (inner.kind == Kind::Uid && m_view.uid(inner, index))
            return item(index, inner) ? dataBytes(inner) : QByteArray();
        return dataBytes(inner);
    }

    // The UTF-8 of an ASCII string, whose bytes are read as Latin-1; empty
    // for anything but a string.
    QByteArray utf8(const bplist::Object& o) const
    {
        if (o.kind == Kind::Utf16)
            throw Unhandled();
        if (o.kind != Kind::Ascii)
            return QByteArray();
        const QByteArray bytes = bytesOf(o);
        for (char c : bytes)
            if (c & 0x80)
                return QString::fromLatin1(bytes).toUtf8();
        return bytes;
    }

    // A number as the object road reads it at 64 bits: integers as they
    // are, other kinds but reals as 0.
    qint64 int64(const bplist::Object& o) const
    {
        if (o.kind == Kind::Real)
            throw Unhandled();
        int64_t v = 0;
        return m_view.integer(o, v) ? v : 0;
    }

    // At 32 bits a value that does not fit reads as 0.
    quint32 uint32(const bplist::Object& o) const
    {
        const qint64 v = int64(o);
        return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max() ? quint32(v) : 0;
    }

    void setObjects(const bplist::Object& objects) { m_objects = objects; }

private:
    QByteArray bytesOf(const bplist::Object& o) const
    {
        const QByteArrayView bytes(reinterpret_cast<const char*>(m_view.content(o)), qsizetype(o.count));
        return m_viewBytes ? QByteArray::fromRawData(bytes.data(), bytes.size()) : bytes.toByteArray();
    }

    const bplist::View& m_view;
    const bplist::TreeScratch* m_checked;
    bool m_viewBytes;
    bplist::Object m_objects;
};

void setIfNotEmpty(MBDBParser::_MBDBBinary& field, const QByteArray& bytes)
{
    if (!bytes.isEmpty())
        field.setVal(bytes);
}

// The root's fields once found: each the object it resolves to, or none.
// A value is read only where its field is present.
struct RootFields
{
    enum Field { Target, Digest, EncryptionKey, Mode, Inode, UserId, GroupId, LastModified, LastStatusChange,
                 Birth, Size, ProtectionClass, Count };
    bool present[Count] = {};
    bplist::Object value[Count];

    void clear() { std::fill(std::begin(present), std::end(present), false); }
};

// The field a root key names, or Count; by its length first, as most keys of
// a record differ in length from all but one or two of the names.
int fieldOf(std::string_view name)
{
    using F = RootFields;
    const auto is = [&](std::string_view text, int field) { return name == text ? field : int(F::Count); };
    switch (name.size()) {
    case 4:
        return name == "Mode" ? F::Mode : is("Size", F::Size);
    case 5:
        return is("Birth", F::Birth);
    case 6:
        return name == "Target" ? F::Target : name == "Digest" ? F::Digest : is("UserID", F::UserId);
    case 7:
        return is("GroupID", F::GroupId);
    case 11:
        return is("InodeNumber", F::Inode);
    case 12:
        return is("LastModified", F::LastModified);
    case 13:
        return is("EncryptionKey", F::EncryptionKey);
    case 15:
        return is("ProtectionClass", F::ProtectionClass);
    case 16:
        return is("LastStatusChange", F::LastStatusChange);
    default:
        return F::Count;
    }
}

// Decodes a list that passed the tree check; throws Unhandled.
// Sets the record from the root's fields. Everything that may hand the record
// to the object road (throws Unhandled) is read before the record is touched.
void apply(const Decoder& d, const RootFields& fields, MBDBParser::_MBDBItem& item)
{
    const auto number64 = [&](int f) { return fields.present[f] ? d.int64(fields.value[f]) : 0; };
    const auto number32 = [&](int f) { return fields.present[f] ? d.uint32(fields.value[f]) : 0; };

    QByteArray target, digest, key;
    if (fields.present[RootFields::Target])
        target = d.utf8(fields.value[RootFields::Target]);
    if (fields.present[RootFields::Digest])
        digest = d.data(fields.value[RootFields::Digest]);
    if (fields.present[RootFields::EncryptionKey])
        key = d.data(fields.value[RootFields::EncryptionKey]);
    const quint16 mode = quint16(number64(RootFields::Mode));
    const quint64 inode = quint64(number64(RootFields::Inode));
    const quint32 userId = number32(RootFields::UserId);
    const quint32 groupId = number32(RootFields::GroupId);
    const quint32 lastModified = number32(RootFields::LastModified);
    const quint32 lastStatusChange = number32(RootFields::LastStatusChange);
    const quint32 birth = number32(RootFields::Birth);
    const qint64 size = number64(RootFields::Size);
    const bplist::Object& protection = fields.value[RootFields::ProtectionClass];
    const bool hasProtection = fields.present[RootFields::ProtectionClass]
        && (protection.kind == Kind::Integer || protection.kind == Kind::Real);
    const qint8 protectionClass = hasProtection ? qint8(d.int64(protection)) : 0;

    setIfNotEmpty(item.linkTarget, target);
    setIfNotEmpty(item.digest, digest);
    setIfNotEmpty(item.encryptionKey, key);
    item.mode = mode;
    item.inode = inode;
    item.userId = userId;
    item.groupId = groupId;
    item.lastModified = lastModified;
    item.lastStatusChange = lastStatusChange;
    item.birth = birth;
    item.size = size;
    if (hasProtection)
        item.protectionClass = protectionClass;
    else if (item.encryptionKey.data.size() >= 4)
        item.protectionClass = qint8(qFromLittleEndian<quint32>(item.encryptionKey.data.constData()));
}

// Decodes a list that passed the tree check; throws Unhandled.
void decode(const bplist::View& view, const bplist::TreeScratch& checked, MBDBParser::_MBDBItem& item, bool viewBytes)
{
    Decoder d(view, &checked, viewBytes);
    bplist::Object top;
    d.object(view.top(), top);
    if (top.kind != Kind::Dictionary)
        return;
    // "$objects" and "$top" in one pass over the top's keys.
    uint64_t objectsRef = 0, topRef = 0;
    bool hasObjects = false, hasTop = false;
    for (uint64_t i = 0; i < top.count; ++i) {
        const std::string_view name = d.key(top, i);
        if (name == "$objects") {
            objectsRef = d.value(top, i);
            hasObjects = true;
        } else if (name == "$top") {
            topRef = d.value(top, i);
            hasTop = true;
        }
    }
    bplist::Object objects;
    if (!hasObjects || !d.object(objectsRef, objects))
        return;
    if (objects.kind == Kind::Set)
        throw Unhandled();
    if (objects.kind != Kind::Array)
        return;
    d.setObjects(objects);

    uint64_t rootIndex = 0;
    uint64_t ref = 0;
    bplist::Object o;
    if (hasTop && d.object(topRef, o) && o.kind == Kind::Dictionary && d.find(o, "root", ref)
        && d.object(ref, o) && o.kind == Kind::Uid)
        view.uid(o, rootIndex);
    bplist::Object root;
    if (!d.item(rootIndex, root) || root.kind != Kind::Dictionary || root.count == 0)
        return;

    RootFields fields;
    for (uint64_t i = 0; i < root.count; ++i) {
        const int f = fieldOf(d.key(root, i));
        if (f != RootFields::Count)
            fields.present[f] = d.resolved(d.value(root, i), fields.value[f]);
    }
    apply(d, fields, item);
}

// The single pass: walks the archive's usual shape once, checking each object
// as View::checkTree does and keeping what the decoder needs on the way.
// Every method answers false for "take the checked road".
class SinglePass
{
public:
    // A list's references cannot outnumber its bytes; reading more means a
    // container reached twice, which only the checked road walks once.
    SinglePass(const bplist::View& view, uint64_t budget) : m_view(view), m_budget(budget) {}

    bool read(RootFields& fields, bool& hasRoot, bplist::Object& objects)
    {
        bplist::Object top;
        const uint64_t topRef = m_view.top();
        if (!m_view.object(topRef, top) || top.kind != Kind::Dictionary || !spend(2 * top.count))
            return false;
        m_path[0] = topRef;
        // The keys first: where "$objects" and "$top" are, the last of each.
        uint64_t objectsAt = top.count, topAt = top.count;
        for (uint64_t i = 0; i < top.count; ++i) {
            std::string_view name;
            if (!key(top, i, name))
                return false;
            if (name == "$objects")
                objectsAt = i;
            else if (name == "$top")
                topAt = i;
        }
        // "$top" before "$objects", so that the root is known when it is met.
        uint64_t rootIndex = 0;
        bool topWalked = false;
        if (topAt < top.count) {
            uint64_t ref = 0;
            bplist::Object o;
            if (!child(top, top.count + topAt, ref, o))
                return false;
            if (o.kind == Kind::Dictionary) {
                if (!findRoot(ref, o, rootIndex))
                    return false;
                topWalked = true;
            }
        }
        hasRoot = false;
        for (uint64_t i = 0; i < top.count; ++i) {
            if (i == topAt && topWalked)
                continue;
            uint64_t ref = 0;
            bplist::Object o;
            if (!child(top, top.count + i, ref, o))
                return false;
            if (i != objectsAt) {
                if (!value(ref, o, 1))
                    return false;
                continue;
            }
            if (o.kind != Kind::Array || !walkObjects(ref, o, rootIndex, fields, hasRoot))
                return false;
            objects = o;
        }
        return objectsAt < top.count;
    }

private:
    static constexpr int kMaxContainerDepth = 3;

    bool spend(uint64_t references)
    {
        if (references > m_budget)
            return false;
        m_budget -= references;
        return true;
    }

    bool child(const bplist::Object& container, uint64_t i, uint64_t& ref, bplist::Object& out) const
    {
        return m_view.reference(container, i, ref) && m_view.object(ref, out);
    }

    // A key: an ASCII string the tree check takes.
    bool key(const bplist::Object& dict, uint64_t i, std::string_view& name) const
    {
        uint64_t ref = 0;
        bplist::Object k;
        if (!child(dict, i, ref, k) || k.kind != Kind::Ascii || !m_view.isSoundLeaf(k))
            return false;
        name = std::string_view(reinterpret_cast<const char*>(m_view.content(k)), size_t(k.count));
        return true;
    }

    static bool isContainer(const bplist::Object& o)
    {
        return o.kind == Kind::Array || o.kind == Kind::Set || o.kind == Kind::Dictionary;
    }

    // A container entered at `depth`: not deeper than the shape and not one
    // of the containers that hold it.
    bool enter(uint64_t ref, const bplist::Object& o, int depth)
    {
        if (depth > kMaxContainerDepth || !spend(o.kind == Kind::Dictionary ? 2 * o.count : o.count))
            return false;
        for (int i = 0; i < depth; ++i)
            if (m_path[i] == ref)
                return false;
        m_path[depth] = ref;
        return true;
    }

    // Any object at `depth`, with whatever it holds; most are leaves, read
    // here without a call.
    bool value(uint64_t ref, const bplist::Object& o, int depth)
    {
        return isContainer(o) ? container(ref, o, depth) : m_view.isSoundLeaf(o);
    }

    [[gnu::noinline]] bool container(uint64_t ref, const bplist::Object& o, int depth)
    {
        if (!enter(ref, o, depth))
            return false;
        const uint64_t keys = o.kind == Kind::Dictionary ? o.count : 0;
        const uint64_t refs = o.kind == Kind::Dictionary ? 2 * o.count : o.count;
        for (uint64_t i = 0; i < keys; ++i) {
            std::string_view name;
            if (!key(o, i, name))
                return false;
        }
        for (uint64_t i = keys; i < refs; ++i) {
            uint64_t r = 0;
            bplist::Object c;
            if (!child(o, i, r, c) || !value(r, c, depth + 1))
                return false;
        }
        return true;
    }

    // The "$top" dictionary at depth 1: every entry checked, and the index
    // its last "root" names when that is a UID (else 0, as the decoder reads).
    bool findRoot(uint64_t ref, const bplist::Object& dict, uint64_t& rootIndex)
    {
        if (!enter(ref, dict, 1))
            return false;
        rootIndex = 0;
        for (uint64_t i = 0; i < dict.count; ++i) {
            std::string_view name;
            uint64_t r = 0;
            bplist::Object o;
            if (!key(dict, i, name) || !child(dict, dict.count + i, r, o) || !value(r, o, 2))
                return false;
            if (name == "root") {
                uint64_t index = 0;
                rootIndex = o.kind == Kind::Uid && m_view.uid(o, index) ? index : 0;
            }
        }
        return true;
    }

    // "$objects" at depth 1: every item checked, the root's fields read.
    bool walkObjects(uint64_t ref, const bplist::Object& objects, uint64_t rootIndex, RootFields& fields,
                     bool& hasRoot)
    {
        if (!enter(ref, objects, 1))
            return false;
        for (uint64_t i = 0; i < objects.count; ++i) {
            uint64_t r = 0;
            bplist::Object o;
            if (!child(objects, i, r, o))
                return false;
            if (i == rootIndex && o.kind == Kind::Dictionary) {
                if (!walkRoot(r, o, fields))
                    return false;
                hasRoot = o.count > 0;
            } else if (!value(r, o, 2)) {
                return false;
            }
        }
        return true;
    }

    // The root at depth 2: each field's value as stored; UIDs are followed
    // once the whole list has been checked.
    bool walkRoot(uint64_t ref, const bplist::Object& root, RootFields& fields)
    {
        if (!enter(ref, root, 2))
            return false;
        for (uint64_t i = 0; i < root.count; ++i) {
            std::string_view name;
            uint64_t r = 0;
            bplist::Object o;
            if (!key(root, i, name) || !child(root, root.count + i, r, o) || !value(r, o, 3))
                return false;
            const int f = fieldOf(name);
            if (f != RootFields::Count) {
                fields.present[f] = true;
                fields.value[f] = o;
            }
        }
        return true;
    }

    const bplist::View& m_view;
    uint64_t m_budget;
    uint64_t m_path[kMaxContainerDepth + 1] = {};
};

} // namespace

bool g_decodeMbFileSinglePass(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes)
{
    if (!bplist::View::looksBinary(bytes.constData(), size_t(bytes.size())))
        return false;
    bplist::View view;
    std::string error;
    if (!view.open(bytes.constData(), size_t(bytes.size()), error))
        return false;
    // Kept for the thread: making the table afresh for every record costs
    // more than reading a small record.
    thread_local RootFields fields;
    fields.clear();
    bool hasRoot = false;
    bplist::Object objects;
    if (!SinglePass(view, uint64_t(bytes.size())).read(fields, hasRoot, objects))
        return false;
    if (!hasRoot)
        return true;
    Decoder d(view, nullptr, viewBytes);
    d.setObjects(objects);
    // A UID stands for the item of "$objects" it names; one outside names
    // nothing, as on the checked road.
    for (int f = 0; f < RootFields::Count; ++f) {
        uint64_t index = 0;
        if (fields.present[f] && fields.value[f].kind == Kind::Uid && view.uid(fields.value[f], index))
            fields.present[f] = d.item(index, fields.value[f]);
    }
    try {
        apply(d, fields, item);
    } catch (const Unhandled&) {
        return false;
    }
    return true;
}

bool g_decodeMbFileChecked(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes)
{
    if (!bplist::View::looksBinary(bytes.constData(), size_t(bytes.size())))
        return false;
    bplist::View view;
    std::string error;
    thread_local bplist::TreeScratch checked;
    // A list the object road refuses leaves the record as it is on both roads.
    if (!view.open(bytes.constData(), size_t(bytes.size()), error) || !view.checkTree(checked))
        return true;
    try {
        decode(view, checked, item, viewBytes);
    } catch (const Unhandled&) {
        return false;
    }
    return true;
}

bool g_decodeMbFileDirect(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes)
{
    return g_decodeMbFileSinglePass(bytes, item, viewBytes) || g_decodeMbFileChecked(bytes, item, viewBytes);
}
