// The one sort of the project. The message and conversation predicates are
// not strict weak orderings (they are not transitive, and the descending ones
// answer true for equal keys); std::sort may then read outside the range.
// A merge sort only ever compares elements inside the range and always ends,
// whatever the predicate answers; it is also stable.
#pragma once

#include <QList>
#include <utility>
#include <vector>

template <typename T, typename Before>
void qsMergeSort(QList<T>& list, Before before)
{
    const qsizetype n = list.size();
    if (n < 2)
        return;
    std::vector<T> a(list.begin(), list.end());
    std::vector<T> b(a.size());
    // Bottom-up: merge runs of width 1, 2, 4, ... from `a` into `b`, then swap.
    for (qsizetype width = 1; width < n; width *= 2) {
        for (qsizetype lo = 0; lo < n; lo += 2 * width) {
            const qsizetype mid = std::min(lo + width, n);
            const qsizetype hi = std::min(lo + 2 * width, n);
            qsizetype i = lo, j = mid, k = lo;
            while (i < mid && j < hi) {
                // Take from the right run only when it goes strictly before: stable.
                if (before(a[j], a[i]))
                    b[k++] = std::move(a[j++]);
                else
                    b[k++] = std::move(a[i++]);
            }
            while (i < mid)
                b[k++] = std::move(a[i++]);
            while (j < hi)
                b[k++] = std::move(a[j++]);
        }
        a.swap(b);
    }
    for (qsizetype i = 0; i < n; ++i)
        list[i] = std::move(a[i]);
}
