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
// road. The whole list is first checked as the object road checks it
// (View::checkTree), so a list that road refuses sets nothing here either.
#include "mbfiledecoder.h"

#include "bplistview.h"

#include <QtEndian>

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
    Decoder(const bplist::View& view, bool viewBytes) : m_view(view), m_viewBytes(viewBytes) {}

    // The key of entry `i` of a dictionary, which must be stored as ASCII.
    std::string_view key(const bplist::Object& dict, uint64_t i) const
    {
        uint64_t ref = 0;
        bplist::Object k;
        if (!m_view.reference(dict, i, ref) || !m_view.object(ref, k) || k.kind != Kind::Ascii)
            throw Unhandled();
        return std::string_view(reinterpret_cast<const char*>(m_view.content(k)), size_t(k.count));
    }

    uint64_t value(const bplist::Object& dict, uint64_t i) const
    {
        uint64_t ref = 0;
        m_view.reference(dict, dict.count + i, ref);
        return ref;
    }

    bool object(uint64_t ref, bplist::Object& out) const { return m_view.object(ref, out); }

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
        return index < m_objects.count && m_view.reference(m_objects, index, ref) && m_view.object(ref, out);
    }

    // A root value with its UID followed; false for nothing.
    bool resolved(uint64_t ref, bplist::Object& out) const
    {
        if (!m_view.object(ref, out))
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
        if (!find(o, "NS.data", ref) || !m_view.object(ref, inner))
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
    bool m_viewBytes;
    bplist::Object m_objects;
};

void setIfNotEmpty(MBDBParser::_MBDBBinary& field, const QByteArray& bytes)
{
    if (!bytes.isEmpty())
        field.setVal(bytes);
}

// The root's fields once found: each the object it resolves to, or none.
struct RootFields
{
    enum Field { Target, Digest, EncryptionKey, Mode, Inode, UserId, GroupId, LastModified, LastStatusChange,
                 Birth, Size, ProtectionClass, Count };
    bool present[Count] = {};
    bplist::Object value[Count];
};

constexpr std::string_view kFieldNames[RootFields::Count] = {
    "Target", "Digest", "EncryptionKey", "Mode", "InodeNumber", "UserID", "GroupID", "LastModified",
    "LastStatusChange", "Birth", "Size", "ProtectionClass"};

// Decodes a list that passed the tree check; throws Unhandled.
void decode(const bplist::View& view, MBDBParser::_MBDBItem& item, bool viewBytes)
{
    Decoder d(view, viewBytes);
    bplist::Object top;
    d.object(view.top(), top);
    if (top.kind != Kind::Dictionary)
        return;
    uint64_t objectsRef = 0;
    bplist::Object objects;
    if (!d.find(top, "$objects", objectsRef) || !d.object(objectsRef, objects))
        return;
    if (objects.kind == Kind::Set)
        throw Unhandled();
    if (objects.kind != Kind::Array)
        return;
    d.setObjects(objects);

    uint64_t rootIndex = 0;
    uint64_t ref = 0;
    bplist::Object o;
    if (d.find(top, "$top", ref) && d.object(ref, o) && o.kind == Kind::Dictionary && d.find(o, "root", ref)
        && d.object(ref, o) && o.kind == Kind::Uid)
        view.uid(o, rootIndex);
    bplist::Object root;
    if (!d.item(rootIndex, root) || root.kind != Kind::Dictionary || root.count == 0)
        return;

    RootFields fields;
    for (uint64_t i = 0; i < root.count; ++i) {
        const std::string_view name = d.key(root, i);
        for (int f = 0; f < RootFields::Count; ++f) {
            if (name == kFieldNames[f])
                fields.present[f] = d.resolved(d.value(root, i), fields.value[f]);
        }
    }
    const auto number64 = [&](int f) { return fields.present[f] ? d.int64(fields.value[f]) : 0; };
    const auto number32 = [&](int f) { return fields.present[f] ? d.uint32(fields.value[f]) : 0; };

    MBDBParser::_MBDBItem out = item;
    if (fields.present[RootFields::Target])
        setIfNotEmpty(out.linkTarget, d.utf8(fields.value[RootFields::Target]));
    if (fields.present[RootFields::Digest])
        setIfNotEmpty(out.digest, d.data(fields.value[RootFields::Digest]));
    if (fields.present[RootFields::EncryptionKey])
        setIfNotEmpty(out.encryptionKey, d.data(fields.value[RootFields::EncryptionKey]));
    out.mode = quint16(number64(RootFields::Mode));
    out.inode = quint64(number64(RootFields::Inode));
    out.userId = number32(RootFields::UserId);
    out.groupId = number32(RootFields::GroupId);
    out.lastModified = number32(RootFields::LastModified);
    out.lastStatusChange = number32(RootFields::LastStatusChange);
    out.birth = number32(RootFields::Birth);
    out.size = number64(RootFields::Size);
    const bplist::Object& protection = fields.value[RootFields::ProtectionClass];
    if (fields.present[RootFields::ProtectionClass] && (protection.kind == Kind::Integer || protection.kind == Kind::Real))
        out.protectionClass = qint8(d.int64(protection));
    else if (out.encryptionKey.data.size() >= 4)
        out.protectionClass = qint8(qFromLittleEndian<quint32>(out.encryptionKey.data.constData()));
    item = std::move(out);
}

} // namespace

bool g_decodeMbFileDirect(const QByteArray& bytes, MBDBParser::_MBDBItem& item, bool viewBytes)
{
    if (!bplist::View::looksBinary(bytes.constData(), size_t(bytes.size())))
        return false;
    bplist::View view;
    std::string error;
    thread_local std::vector<uint8_t> state;
    // A list the object road refuses leaves the record as it is on both roads.
    if (!view.open(bytes.constData(), size_t(bytes.size()), error) || !view.checkTree(state))
        return true;
    try {
        decode(view, item, viewBytes);
    } catch (const Unhandled&) {
        return false;
    }
    return true;
}
