#include "ios6messagerowtest.h"

#include <QString>

namespace {
constexpr int kShortestLayout = 38; // ROWID .. was_deduplicated
constexpr int kServiceColumn = 11;
} // namespace

bool checkMessageRowValid(const _SqliteFileRowData& row)
{
    if (row.values.size() < kShortestLayout)
        return false;
    const QString service = row.values.at(kServiceColumn).toString();
    return service.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0
        || service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}
