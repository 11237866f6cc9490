// The records that the carving of one page has taken, layout by layout. A
// record that a later layout finds among the bytes of one an earlier layout
// took is that record misread: a shorter layout reading the start of a
// longer record takes the longer one's remaining serial types for values,
// and what it decodes is shifted garbage that a row test may still pass.
#pragma once

#include <QList>
#include <map>

#include "sqlitefilerecords.h"

class CarvedRecords
{
public:
    // The carved rows of one layout whose records lie clear of every record
    // that the layouts before took; these are taken in turn. Rows decoded
    // from cells (no record position) always pass.
    QList<_SqliteFileRowData> takeClear(const QList<_SqliteFileRowData>& rows);

private:
    bool overlapsTaken(const _SqliteFileRowData& row) const;
    void take(qint64 start, qint64 end);

    std::map<qint64, qint64> taken; // start -> end of disjoint byte ranges
};
