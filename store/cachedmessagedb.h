// Opening the sms.db that a device's or a backup's cache folder holds: the
// reader of the file's schema generation, over the folder's contacts cache
// and recovery database.
#pragma once

#include <QDir>
#include <QSharedPointer>

#include "absmessagedb.h"
#include "countryinfo.h"

// The iOS 5 reader when the file lacks a table of the iOS 6+ schema, the
// iOS 6+ reader (which never upgrades the file) otherwise; `country` formats
// numbers stored without one. Reads only the file's table names; a missing or
// damaged sms.db throws the wrapper's error.
QSharedPointer<AbsMessageDb> openCachedMessageDb(const QDir& cacheDir, const _CountryInfo& country);
