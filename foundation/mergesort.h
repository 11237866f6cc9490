// The one sort of the project. The message and conversation predicates are
// not strict weak orderings (they are not transitive, and the descending ones
// answer true for equal keys); std::sort may then read outside the range.
// A merge sort only ever compares elements inside the range and always ends,
// whatever the predicate answers; it is also stable.
#pragma once

#include <QList>

#include <algorithm>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace qsmergesort_detail {
// One bottom-up pass over the blocks of 2 * `width` elements that start in
// [from, to): merges each block's two runs of `width` from `a` into `b`.
template <typename T, typename Before>
void mergePass(T* a, T* b, size_t n, size_t from, size_t to, size_t width, Before& before)
{
    for (size_t lo = from; lo < to; lo += 2 * width) {
        const size_t mid = std::min(lo + width, n);
        const size_t hi = std::min(lo + 2 * width, n);
        size_t i = lo, j = mid, k = lo;
        // Take from the right run only when it goes strictly before: stable.
        if constexpr (std::is_trivially_copyable_v<T>) {
            // Which run gives the next element is as good as random:
            // chosen by arithmetic, not by a branch the processor guesses.
            while (i < mid && j < hi) {
                const bool right = before(a[j], a[i]);
                b[k++] = *(right ? &a[j] : &a[i]);
                j += right;
                i += !right;
            }
        } else {
            while (i < mid && j < hi) {
                if (before(a[j], a[i]))
                    b[k++] = std::move(a[j++]);
                else
                    b[k++] = std::move(a[i++]);
            }
        }
        while (i < mid)
            b[k++] = std::move(a[i++]);
        while (j < hi)
            b[k++] = std::move(a[j++]);
    }
}

} // namespace qsmergesort_detail

// Runs work(0) ... work(count - 1), each on a thread of its own but the last,
// which runs on the caller's; when no further thread can be had, the rest run
// on the caller's too.
template <typename Work>
void qsRunParts(size_t count, const Work& work)
{
    std::vector<std::thread> threads;
    threads.reserve(count > 0 ? count - 1 : 0);
    size_t started = 0;
    try {
        for (; started + 1 < count; ++started)
            threads.emplace_back([&work, started] { work(started); });
    } catch (const std::system_error&) {
    }
    for (size_t t = started; t < count; ++t)
        work(t);
    for (std::thread& thread : threads)
        thread.join();
}

// The threads a large piece of work is spread over: one per core, at most 8.
inline unsigned qsWorkThreads()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// Cuts [0, n) into a slice per thread (one slice when n is too small to be
// worth threads) and runs work(from, to) for each, side by side.
template <typename Work>
void qsRunSlices(size_t n, const Work& work)
{
    constexpr size_t kWorthThreads = 4096;
    const size_t slices = n < kWorthThreads ? 1 : qsWorkThreads();
    qsRunParts(slices, [&](size_t s) { work(n * s / slices, n * (s + 1) / slices); });
}

// Sorts the vector in place (with a second vector of its size).
template <typename T, typename Before>
void qsMergeSort(std::vector<T>& a, Before before)
{
    const size_t n = a.size();
    if (n < 2)
        return;
    std::vector<T> b(n);
    // Bottom-up: merge runs of width 1, 2, 4, ... from `a` into `b`, then swap.
    for (size_t width = 1; width < n; width *= 2) {
        qsmergesort_detail::mergePass(a.data(), b.data(), n, 0, n, width, before);
        a.swap(b);
    }
}

// The same sort, with the same result whatever the predicate answers, spread
// over up to `threads` threads for a large vector: each pass merges blocks
// that no other block of the pass touches, so blocks can be merged side by
// side. The array is cut into a power-of-two number of elements per thread;
// every pass narrower than that stays inside one part, so each thread runs
// those passes over its part alone; the wider passes merge their blocks side
// by side. `before` is called from several threads at once and must only
// read.
template <typename T, typename Before>
void qsMergeSortParallel(std::vector<T>& a, Before before, unsigned threads)
{
    constexpr size_t kSmall = size_t(1) << 15; // below this, threads cost more than they save
    const size_t n = a.size();
    if (n < kSmall || threads < 2) {
        qsMergeSort(a, before);
        return;
    }
    size_t part = 1;
    while (part * threads < n)
        part *= 2;
    std::vector<T> b(n);
    T* const first = a.data();
    T* const second = b.data();
    // Every part makes the same number of passes, so all end in the same array.
    const size_t parts = (n + part - 1) / part;
    qsRunParts(parts, [&](size_t p) {
        const size_t from = p * part, to = std::min(from + part, n);
        T* src = first;
        T* dst = second;
        for (size_t width = 1; width < part; width *= 2) {
            qsmergesort_detail::mergePass(src, dst, n, from, to, width, before);
            std::swap(src, dst);
        }
    });
    bool inFirst = true;
    for (size_t width = 1; width < part; width *= 2)
        inFirst = !inFirst;
    for (size_t width = part; width < n; width *= 2) {
        T* src = inFirst ? first : second;
        T* dst = inFirst ? second : first;
        const size_t blocks = (n + 2 * width - 1) / (2 * width);
        qsRunParts(blocks, [&](size_t block) {
            const size_t from = block * 2 * width;
            qsmergesort_detail::mergePass(src, dst, n, from, from + 1, width, before);
        });
        inFirst = !inFirst;
    }
    if (!inFirst)
        a.swap(b);
}

template <typename T, typename Before>
void qsMergeSort(QList<T>& list, Before before)
{
    if (list.size() < 2)
        return;
    std::vector<T> a(list.begin(), list.end());
    qsMergeSort(a, before);
    for (qsizetype i = 0; i < list.size(); ++i)
        list[i] = std::move(a[size_t(i)]);
}
