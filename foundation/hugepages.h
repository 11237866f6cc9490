// Advice to back large blocks with huge pages: filling such a block then
// takes one page fault and one TLB entry per two megabytes instead of one per
// four kilobytes. Advice only; a block works the same without it.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

constexpr size_t kHugePageBytes = 2 * 1024 * 1024;

// Advises the whole huge pages that lie within [data, data + bytes).
inline void g_adviseHugePages(void* data, size_t bytes)
{
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePageBytes - 1) & ~std::uintptr_t(kHugePageBytes - 1);
    const std::uintptr_t last = (start + bytes) & ~std::uintptr_t(kHugePageBytes - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}
