// The objects behind the stand-in's opaque handles: one reference-counted
// base and one small structure per kind, with value equality and hashing
// for dictionary keys. Internal to the stand-in.
#pragma once

#include "cftypes.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>

#include <atomic>
#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qscf {

// Also the type IDs that CFGetTypeID reports; Null matches no object.
enum class Kind : CFTypeID { Null = 1, String, Number, Boolean, Date, Data, UID, Dictionary, Array, TimeZone };

struct Object
{
    explicit Object(Kind k, bool isImmortal = false) : kind(k), immortal(isImmortal) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    const Kind kind;
    const bool immortal; // the shared booleans ignore retain and release
    std::atomic<long> refs{1};
};

struct String : Object
{
    explicit String(QString t) : Object(Kind::String), text(std::move(t)) {}
    const QString text;
};

struct Number : Object
{
    Number(CFNumberType canonicalType, long long i) : Object(Kind::Number), type(canonicalType), isFloat(false), integer(i) {}
    Number(CFNumberType canonicalType, double d) : Object(Kind::Number), type(canonicalType), isFloat(true), real(d) {}
    const CFNumberType type; // 1..6
    const bool isFloat;
    const long long integer = 0;
    const double real = 0;
};

struct BooleanObject : Object
{
    explicit BooleanObject(bool v) : Object(Kind::Boolean, true), value(v) {}
    const bool value;
};

struct Date : Object
{
    explicit Date(double t) : Object(Kind::Date), at(t) {}
    const double at;
};

struct Data : Object
{
    explicit Data(QByteArray b) : Object(Kind::Data), bytes(std::move(b)) {}
    const QByteArray bytes;
};

struct UID : Object
{
    explicit UID(uint32_t v) : Object(Kind::UID), value(v) {}
    const uint32_t value;
};

// A zone is either a fixed offset or a named zone of the system's database.
struct TimeZone : Object
{
    explicit TimeZone(double offset) : Object(Kind::TimeZone), fixedOffset(offset) {}
    explicit TimeZone(QTimeZone z) : Object(Kind::TimeZone), named(true), zone(std::move(z)) {}
    double secondsFromGmtAt(double absoluteTime) const;
    const bool named = false;
    const double fixedOffset = 0;
    const QTimeZone zone;
};

struct Array : Object
{
    explicit Array(bool isMutable) : Object(Kind::Array), mutableItems(isMutable) {}
    ~Array() override;
    void append(const Object* item);
    const bool mutableItems;
    std::vector<const Object*> items; // each holds one reference
};

struct Dictionary : Object
{
    explicit Dictionary(bool isMutable) : Object(Kind::Dictionary), mutableEntries(isMutable) {}
    ~Dictionary() override;
    // The index of the entry whose key equals `key`, or -1.
    long find(const Object* key) const;
    void set(const Object* key, const Object* value);
    void replace(long entry, const Object* value);
    const bool mutableEntries;
    std::vector<std::pair<const Object*, const Object*>> entries; // each holds one reference
    std::unordered_multimap<size_t, size_t> byHash;               // key hash -> entry index
};

void retain(const Object* object);
void release(const Object* object);
bool equal(const Object* a, const Object* b);
size_t hash(const Object* object);

// The object behind a handle when it is of the kind asked for, else null.
template <typename T>
const T* as(const void* handle, Kind kind)
{
    auto object = static_cast<const Object*>(handle);
    return object && object->kind == kind ? static_cast<const T*>(object) : nullptr;
}

// The opaque handle of an object, as the C interface hands it out.
template <typename Ref>
Ref handle(const Object* object)
{
    return reinterpret_cast<Ref>(const_cast<Object*>(object));
}

// Reading the value of a number (or boolean) into one of the type codes.
bool numberValue(const Object* number, CFNumberType type, void* out);
// The canonical type code (1..6) of a type code, 0 for an unknown code.
CFNumberType canonicalNumberType(CFNumberType type);

} // namespace qscf
