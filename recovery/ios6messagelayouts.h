// The message table of iOS 6+ sms.db files as the carver reads it: five
// layouts of 38, 51, 60, 64 and 69 columns, each the one before with the
// columns later phones added.
#pragma once

#include <QList>

#include "carvecolumn.h"

// The layouts, shortest first; column k of each is value k of a carved row.
const QList<CarveLayout>& ios6MessageLayouts();
// The columns of the longest layout.
QList<_SqliteCol> ios6MessageColumns();
