// Reference counting, equality and hashing of the stand-in's objects, and
// the container bookkeeping shared by arrays, dictionaries and the
// property-list reader.
#include "cfobject.h"
#include "cfstandin.h"

#include <QDateTime>
#include <QHash>

#include <cmath>
#include <cstring>

namespace qscf {

namespace {

// Numbers compare by value across integer and floating storage, so that 1
// and 1.0 are one dictionary key, as they hash alike below.
bool equalNumbers(const Number& a, const Number& b)
{
    if (a.isFloat == b.isFloat)
        return a.isFloat ? a.real == b.real : a.integer == b.integer;
    const Number& i = a.isFloat ? b : a;
    const Number& f = a.isFloat ? a : b;
    return f.real >= -9223372036854775808.0 && f.real < 9223372036854775808.0 && std::trunc(f.real) == f.real
           && static_cast<long long>(f.real) == i.integer;
}

size_t hashNumber(const Number& n)
{
    if (!n.isFloat)
        return qHash(n.integer);
    if (n.real >= -9223372036854775808.0 && n.real < 9223372036854775808.0 && std::trunc(n.real) == n.real)
        return qHash(static_cast<long long>(n.real));
    return qHash(n.real);
}

bool equalArrays(const Array& a, const Array& b)
{
    if (a.items.size() != b.items.size())
        return false;
    for (size_t i = 0; i < a.items.size(); ++i)
        if (!equal(a.items[i], b.items[i]))
            return false;
    return true;
}

bool equalDictionaries(const Dictionary& a, const Dictionary& b)
{
    if (a.entries.size() != b.entries.size())
        return false;
    for (const auto& entry : a.entries) {
        const long j = b.find(entry.first);
        if (j < 0 || !equal(entry.second, b.entries[size_t(j)].second))
            return false;
    }
    return true;
}

} // namespace

void retain(const Object* object)
{
    if (object && !object->immortal)
        const_cast<Object*>(object)->refs.fetch_add(1, std::memory_order_relaxed);
}

void release(const Object* object)
{
    if (!object || object->immortal)
        return;
    if (const_cast<Object*>(object)->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete object;
}

bool equal(const Object* a, const Object* b)
{
    if (a == b)
        return true;
    if (!a || !b || a->kind != b->kind)
        return false;
    switch (a->kind) {
    case Kind::String:
        return static_cast<const String*>(a)->text == static_cast<const String*>(b)->text;
    case Kind::Number:
        return equalNumbers(*static_cast<const Number*>(a), *static_cast<const Number*>(b));
    case Kind::Date:
        return static_cast<const Date*>(a)->at == static_cast<const Date*>(b)->at;
    case Kind::Data:
        return static_cast<const Data*>(a)->bytes == static_cast<const Data*>(b)->bytes;
    case Kind::UID:
        return static_cast<const UID*>(a)->value == static_cast<const UID*>(b)->value;
    case Kind::Array:
        return equalArrays(*static_cast<const Array*>(a), *static_cast<const Array*>(b));
    case Kind::Dictionary:
        return equalDictionaries(*static_cast<const Dictionary*>(a), *static_cast<const Dictionary*>(b));
    default: // booleans are the two shared objects; zones compare by identity
        return false;
    }
}

size_t hash(const Object* object)
{
    if (!object)
        return 0;
    switch (object->kind) {
    case Kind::String:
        return qHash(static_cast<const String*>(object)->text);
    case Kind::Number:
        return hashNumber(*static_cast<const Number*>(object));
    case Kind::Date:
        return qHash(static_cast<const Date*>(object)->at);
    case Kind::Data:
        return qHash(static_cast<const Data*>(object)->bytes);
    case Kind::UID:
        return qHash(static_cast<const UID*>(object)->value);
    case Kind::Array:
        return static_cast<const Array*>(object)->items.size();
    case Kind::Dictionary:
        return static_cast<const Dictionary*>(object)->entries.size();
    default:
        return qHash(reinterpret_cast<quintptr>(object));
    }
}

double TimeZone::secondsFromGmtAt(double absoluteTime) const
{
    if (!named)
        return fixedOffset;
    const double unix = absoluteTime + 978307200.0;
    if (!std::isfinite(unix) || std::fabs(unix) > 1e15)
        return zone.standardTimeOffset(QDateTime::currentDateTimeUtc());
    return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(unix)), QTimeZone::utc()));
}

Array::~Array()
{
    for (const Object* item : items)
        release(item);
}

void Array::append(const Object* item)
{
    retain(item);
    items.push_back(item);
}

Dictionary::~Dictionary()
{
    for (const auto& entry : entries) {
        release(entry.first);
        release(entry.second);
    }
}

long Dictionary::find(const Object* key) const
{
    const auto range = byHash.equal_range(hash(key));
    for (auto it = range.first; it != range.second; ++it)
        if (equal(entries[it->second].first, key))
            return long(it->second);
    return -1;
}

void Dictionary::set(const Object* key, const Object* value)
{
    const long existing = find(key);
    if (existing >= 0) {
        replace(existing, value);
        return;
    }
    retain(key);
    retain(value);
    byHash.emplace(hash(key), entries.size());
    entries.emplace_back(key, value);
}

void Dictionary::replace(long entry, const Object* value)
{
    retain(value);
    release(entries[size_t(entry)].second);
    entries[size_t(entry)].second = value;
}

} // namespace qscf

using namespace qscf;

extern "C" {

CFTypeID CFGetTypeID(CFTypeRef object)
{
    return object ? CFTypeID(static_cast<const Object*>(object)->kind) : 0;
}

CFTypeRef CFRetain(CFTypeRef object)
{
    retain(static_cast<const Object*>(object));
    return object;
}

void CFRelease(CFTypeRef object)
{
    release(static_cast<const Object*>(object));
}

CFIndex CFGetRetainCount(CFTypeRef object)
{
    auto o = static_cast<const Object*>(object);
    if (!o)
        return 0;
    return o->immortal ? CFIndex(0x7fffffff) : CFIndex(o->refs.load());
}

CFTypeID CFNullGetTypeID(void)
{
    return CFTypeID(Kind::Null);
}

} // extern "C"
