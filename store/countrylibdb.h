// The country table countries.db: copied from the resource :res/countries.db
// into the data folder on first use, then looked up by ISO code or mobile
// country code (MCC).
#pragma once

#include "absdb.h"
#include "countryinfo.h"

class CountryLibDb : public AbsDb
{
public:
    // `mmc` names the default country, returned when a lookup finds nothing.
    explicit CountryLibDb(const QString& mmc);

    // Copies the table into the data folder when none is there (an existing
    // file is never replaced), opens it and loads the default country.
    void openCheck() override;
    _CountryInfo infoByMMC(const QString& mmc, bool* ok = nullptr);
    // `code` is compared upper-cased.
    _CountryInfo infoByCode(const QString& code, bool* ok = nullptr);
    const _CountryInfo& defCountryInfo();

private:
    _CountryInfo firstOrDefault(const Sqlite3Sql& sql, bool* ok);

    QString mmc;
    _CountryInfo defInfo;
};
