// Numbers and the two shared booleans. A number keeps the canonical type of
// its creation (1..6) and either a 64-bit integer or a double; reading it
// into any type converts and says whether anything was lost.
#include "cfobject.h"
#include "cfstandin.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace qscf;

namespace {

const BooleanObject g_true(true);
const BooleanObject g_false(false);

template <typename T>
const Number* integerFrom(CFNumberType canonical, const void* value)
{
    T v;
    std::memcpy(&v, value, sizeof v);
    return new Number(canonical, static_cast<long long>(v));
}

template <typename T>
const Number* realFrom(CFNumberType canonical, const void* value)
{
    T v;
    std::memcpy(&v, value, sizeof v);
    return new Number(canonical, static_cast<double>(v));
}

template <typename T>
void put(void* out, T v)
{
    std::memcpy(out, &v, sizeof v);
}

// An integer type from an integer or a double: in range, and for a double
// whole, or the answer is false (the written value is then truncated and
// saturated).
template <typename T>
bool storeInteger(bool isFloat, long long integer, double real, void* out)
{
    constexpr long long lo = std::numeric_limits<T>::min();
    constexpr long long hi = std::numeric_limits<T>::max();
    if (!isFloat) {
        put(out, static_cast<T>(integer));
        return integer >= lo && integer <= hi;
    }
    const double limit = std::ldexp(1.0, std::numeric_limits<T>::digits); // hi + 1, exactly
    if (std::isnan(real)) {
        put(out, T(0));
        return false;
    }
    if (real < -limit || real >= limit) {
        put(out, static_cast<T>(real < 0 ? lo : hi));
        return false;
    }
    const T v = static_cast<T>(real);
    put(out, v);
    return static_cast<double>(v) == real;
}

// A floating type: the value survives the round trip through T.
template <typename T>
bool storeReal(bool isFloat, long long integer, double real, void* out)
{
    constexpr double maxT = std::numeric_limits<T>::max();
    if (!isFloat) {
        const T v = static_cast<T>(integer);
        put(out, v);
        const double back = static_cast<double>(v);
        return back >= -9223372036854775808.0 && back < 9223372036854775808.0 && static_cast<long long>(back) == integer;
    }
    if (std::isfinite(real) && std::fabs(real) > maxT) {
        put(out, static_cast<T>(real < 0 ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity()));
        return false;
    }
    const T v = static_cast<T>(real);
    put(out, v);
    return static_cast<double>(v) == real || (std::isnan(real) && std::isnan(static_cast<double>(v)));
}

} // namespace

namespace qscf {

CFNumberType canonicalNumberType(CFNumberType type)
{
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
        return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
        return kCFNumberFloat64Type;
    default:
        return 0;
    }
}

bool numberValue(const Object* object, CFNumberType type, void* out)
{
    bool isFloat = false;
    long long integer = 0;
    double real = 0;
    if (auto n = as<Number>(object, Kind::Number)) {
        isFloat = n->isFloat;
        integer = n->integer;
        real = n->real;
    } else if (auto b = as<BooleanObject>(object, Kind::Boolean)) {
        integer = b->value ? 1 : 0;
    } else {
        return false;
    }
    if (!out)
        return false;
    switch (canonicalNumberType(type)) {
    case kCFNumberSInt8Type:
        return storeInteger<int8_t>(isFloat, integer, real, out);
    case kCFNumberSInt16Type:
        return storeInteger<int16_t>(isFloat, integer, real, out);
    case kCFNumberSInt32Type:
        return storeInteger<int32_t>(isFloat, integer, real, out);
    case kCFNumberSInt64Type:
        return storeInteger<int64_t>(isFloat, integer, real, out);
    case kCFNumberFloat32Type:
        return storeReal<float>(isFloat, integer, real, out);
    case kCFNumberFloat64Type:
        return storeReal<double>(isFloat, integer, real, out);
    default:
        return false;
    }
}

} // namespace qscf

extern "C" {

const CFBooleanRef kCFBooleanTrue = handle<CFBooleanRef>(&g_true);
const CFBooleanRef kCFBooleanFalse = handle<CFBooleanRef>(&g_false);

CFTypeID CFNumberGetTypeID(void)
{
    return CFTypeID(Kind::Number);
}

CFTypeID CFBooleanGetTypeID(void)
{
    return CFTypeID(Kind::Boolean);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value)
{
    if (!value)
        return nullptr;
    const CFNumberType canonical = canonicalNumberType(type);
    const Number* n = nullptr;
    switch (type) {
    case kCFNumberSInt8Type: n = integerFrom<int8_t>(canonical, value); break;
    case kCFNumberCharType: n = integerFrom<signed char>(canonical, value); break;
    case kCFNumberSInt16Type: n = integerFrom<int16_t>(canonical, value); break;
    case kCFNumberShortType: n = integerFrom<short>(canonical, value); break;
    case kCFNumberSInt32Type: n = integerFrom<int32_t>(canonical, value); break;
    case kCFNumberIntType: n = integerFrom<int>(canonical, value); break;
    case kCFNumberSInt64Type: n = integerFrom<int64_t>(canonical, value); break;
    case kCFNumberLongType: n = integerFrom<long>(canonical, value); break;
    case kCFNumberLongLongType: n = integerFrom<long long>(canonical, value); break;
    case kCFNumberCFIndexType: n = integerFrom<CFIndex>(canonical, value); break;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: n = realFrom<float>(canonical, value); break;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType: n = realFrom<double>(canonical, value); break;
    default: break;
    }
    return handle<CFNumberRef>(n);
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    auto n = as<Number>(number, Kind::Number);
    return n ? n->type : 0;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value)
{
    return numberValue(reinterpret_cast<const Object*>(number), type, value) ? 1 : 0;
}

} // extern "C"
