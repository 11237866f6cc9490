// The one bounds test of every parser of untrusted bytes: does the range
// [offset, offset + size) lie inside [0, limit)? It never computes
// offset + size, which could wrap around, and a negative value never fits.
//
// Plain C++ without Qt and alone in its folder, so that the libraries below
// the foundation (the property-list view, the CoreFoundation stand-in) can use
// it through the header-only target `byterange` without reaching any other
// foundation header.
#pragma once

#include <cstdint>
#include <type_traits>

namespace byterange_detail {
template <typename T>
constexpr bool isNegative(T value)
{
    if constexpr (std::is_signed_v<T>)
        return value < 0;
    else
        return false;
}

template <typename T>
constexpr bool isOffsetType = std::is_integral_v<T> && !std::is_same_v<T, bool> && sizeof(T) <= sizeof(uint64_t);
} // namespace byterange_detail

// Offsets, sizes and limits of any integer type up to 64 bits, signed or not.
template <typename Offset, typename Size, typename Limit,
          typename = std::enable_if_t<byterange_detail::isOffsetType<Offset> && byterange_detail::isOffsetType<Size>
                                      && byterange_detail::isOffsetType<Limit>>>
constexpr bool g_fitsIn(Offset offset, Size size, Limit limit)
{
    using namespace byterange_detail;
    if (isNegative(offset) || isNegative(size) || isNegative(limit))
        return false;
    const uint64_t o = uint64_t(offset), s = uint64_t(size), l = uint64_t(limit);
    return o <= l && s <= l - o;
}

// Do `size` elements from `at` lie before `end`? A null pointer, or `at`
// past `end`, never fits.
template <typename T, typename Size, typename = std::enable_if_t<byterange_detail::isOffsetType<Size>>>
bool g_fitsIn(const T* at, Size size, const T* end)
{
    return at && end && at <= end && g_fitsIn(0, size, end - at);
}
