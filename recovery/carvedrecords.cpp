#include "carvedrecords.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

QList<_SqliteFileRowData> CarvedRecords::takeClear(const QList<_SqliteFileRowData>& rows)
{
    QList<_SqliteFileRowData> clear;
    // A layout's own rows are judged against the layouts before it only.
    std::vector<std::pair<qint64, qint64>> mine;
    for (const _SqliteFileRowData& row : rows) {
        if (row.recordStart < 0) {
            clear.append(row);
            continue;
        }
        if (overlapsTaken(row))
            continue;
        clear.append(row);
        mine.emplace_back(row.recordStart, row.recordEnd);
    }
    for (const auto& range : mine)
        take(range.first, range.second);
    return clear;
}

bool CarvedRecords::overlapsTaken(const _SqliteFileRowData& row) const
{
    // The ranges are disjoint, so of those that start before the row ends,
    // the last one reaches furthest.
    auto it = taken.lower_bound(row.recordEnd);
    return it != taken.begin() && std::prev(it)->second > row.recordStart;
}

void CarvedRecords::take(qint64 start, qint64 end)
{
    auto it = taken.upper_bound(start);
    if (it != taken.begin() && std::prev(it)->second >= start) {
        --it;
        start = it->first;
        end = std::max(end, it->second);
        it = taken.erase(it);
    }
    while (it != taken.end() && it->first <= end) {
        end = std::max(end, it->second);
        it = taken.erase(it);
    }
    taken.emplace(start, end);
}
