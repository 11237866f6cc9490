// The one sort of the project. The message and conversation predicates are
// not strict weak orderings (they are not transitive, and the descending ones
// answer true for equal keys); std::sort may then read outside the range.
// A merge sort only ever compares elements inside the range and always ends,
// whatever the predicate answers; it is also stable.
#pragma once

#include <QList>
#include <type_traits>
#include <utility>
#include <vector>

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
        for (size_t lo = 0; lo < n; lo += 2 * width) {
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
        a.swap(b);
    }
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
