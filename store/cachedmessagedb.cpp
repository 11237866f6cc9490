#include "cachedmessagedb.h"

#include "absiosmessagedb.h"
#include "ios5messagedb.h"
#include "ios6messagedb.h"

QSharedPointer<AbsMessageDb> openCachedMessageDb(const QDir& cacheDir, const _CountryInfo& country)
{
    if (AbsIOSMessageDb::checkDbType(AbsIOSMessageDb::smsDbPathIn(cacheDir)) == AbsMessageDb::kIOS5Schema)
        return QSharedPointer<AbsMessageDb>(new IOS5MessageDb(cacheDir, country));
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(cacheDir, country, false));
}
