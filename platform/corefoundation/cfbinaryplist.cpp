// The stand-in's objects built from a binary property list. The layout and
// its bounds are the view's (bplistview.cpp), and the view's tree check
// refuses the whole list before anything is built when any part of it is
// damaged, so building cannot fail half-way but for the cap below. An object
// reached twice is built once and shared, so a list whose containers refer to
// each other many times over costs no more than its size; with mutable
// containers each container is built anew for each reference, and the number
// of containers built is capped.
//
// Strings keep every code unit, U+0000 included. A string of the ASCII kind
// is read as Latin-1, so that no byte is lost.
#include "cfbinaryplist.h"

#include "bplistview.h"
#include "cfstandin.h"

#include <QtEndian>

#include <memory>
#include <string>
#include <vector>

namespace qscf {
namespace {

struct Releaser
{
    void operator()(const Object* o) const { release(o); }
};
using Owned = std::unique_ptr<const Object, Releaser>;

// Containers built per mutable read, beyond one per object of the list.
constexpr uint64_t kMutableBuildAllowance = 1u << 16;

class Builder
{
public:
    Builder(const bplist::View& view, bool mutableContainers)
        : m_view(view)
        , m_mutable(mutableContainers)
        , m_built(size_t(view.objectCount()), nullptr)
        , m_buildsLeft(view.objectCount() + kMutableBuildAllowance)
    {
    }
    ~Builder()
    {
        for (const Object* o : m_built)
            release(o);
    }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    // A new reference to the object `ref` of a checked list, or null.
    const Object* build(uint64_t ref)
    {
        if (const Object* done = m_built[ref]) {
            retain(done);
            return done;
        }
        bplist::Object o;
        if (!m_view.object(ref, o))
            return nullptr;
        const bool container =
            o.kind == bplist::Kind::Array || o.kind == bplist::Kind::Set || o.kind == bplist::Kind::Dictionary;
        if (container && m_mutable && m_buildsLeft-- == 0)
            return nullptr;
        const Object* made = make(o);
        // Mutable containers are never shared between two parents.
        if (made && !(container && m_mutable)) {
            retain(made);
            m_built[ref] = made;
        }
        return made;
    }

private:
    const Object* make(const bplist::Object& o)
    {
        switch (o.kind) {
        case bplist::Kind::False:
        case bplist::Kind::True:
            return static_cast<const Object*>(CFRetain(o.kind == bplist::Kind::True ? kCFBooleanTrue : kCFBooleanFalse));
        case bplist::Kind::Integer: {
            int64_t v = 0;
            m_view.integer(o, v);
            return new Number(kCFNumberSInt64Type, static_cast<long long>(v));
        }
        case bplist::Kind::Real: {
            double d = 0;
            m_view.real(o, d);
            return new Number(kCFNumberFloat64Type, d);
        }
        case bplist::Kind::Date: {
            double at = 0;
            m_view.real(o, at);
            return new Date(at);
        }
        case bplist::Kind::Data:
            return new Data(QByteArray(reinterpret_cast<const char*>(m_view.content(o)), qsizetype(o.count)));
        case bplist::Kind::Ascii:
        case bplist::Kind::Utf16:
            return makeString(o);
        case bplist::Kind::Uid: {
            uint64_t v = 0;
            m_view.uid(o, v);
            return new UID(uint32_t(v));
        }
        case bplist::Kind::Array:
        case bplist::Kind::Set:
            return makeArray(o);
        case bplist::Kind::Dictionary:
            return makeDictionary(o);
        case bplist::Kind::Null:
            break;
        }
        return nullptr;
    }

    const Object* makeString(const bplist::Object& o)
    {
        const char* bytes = reinterpret_cast<const char*>(m_view.content(o));
        if (o.kind == bplist::Kind::Ascii)
            return new String(QString::fromLatin1(bytes, qsizetype(o.count)));
        QString text(qsizetype(o.count), Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(qFromBigEndian<quint16>(bytes + 2 * i));
        return new String(std::move(text));
    }

    const Object* makeArray(const bplist::Object& o)
    {
        auto array = std::make_unique<Array>(m_mutable);
        for (uint64_t i = 0; i < o.count; ++i) {
            uint64_t ref = 0;
            Owned item(m_view.reference(o, i, ref) ? build(ref) : nullptr);
            if (!item)
                return nullptr;
            array->append(item.get());
        }
        return array.release();
    }

    const Object* makeDictionary(const bplist::Object& o)
    {
        auto dict = std::make_unique<Dictionary>(m_mutable);
        for (uint64_t i = 0; i < o.count; ++i) {
            uint64_t keyRef = 0, valueRef = 0;
            if (!m_view.reference(o, i, keyRef) || !m_view.reference(o, o.count + i, valueRef))
                return nullptr;
            Owned key(build(keyRef));
            if (!key || key->kind != Kind::String)
                return nullptr;
            Owned value(build(valueRef));
            if (!value)
                return nullptr;
            dict->set(key.get(), value.get());
        }
        return dict.release();
    }

    const bplist::View& m_view;
    const bool m_mutable;
    std::vector<const Object*> m_built; // each holds one reference
    uint64_t m_buildsLeft;
};

} // namespace

const Object* readBinaryPropertyList(const void* bytes, size_t size, bool mutableContainers)
{
    bplist::View view;
    std::string error;
    if (!view.open(bytes, size, error))
        return nullptr;
    std::vector<uint8_t> state;
    if (!view.checkTree(state))
        return nullptr;
    Builder builder(view, mutableContainers);
    return builder.build(view.top());
}

} // namespace qscf
