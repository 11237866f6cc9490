#include "ios6messagerowtest.h"

#include <QString>

namespace {
constexpr int kShortestLayout = 38; // ROWID .. was_deduplicated
constexpr int kServiceColumn = 11;
} // namespace

bool isMessageService(const QString& service)
{
    return service.compare(QLatin1String("SMS"), Qt::CaseInsensitive) == 0
        || service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
}

bool checkMessageRowValid(const _SqliteFileRowData& row)
{
    return row.values.size() >= kShortestLayout && isMessageService(row.values.at(kServiceColumn).toString());
}
