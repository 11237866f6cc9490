// Dates (seconds since 2001-01-01 00:00:00 GMT), their calendar fields in
// the proleptic Gregorian calendar, and time zones.
#include "cfobject.h"
#include "cfstandin.h"

#include <cmath>

using namespace qscf;

namespace {

constexpr long long kDaysFrom1970To2001 = 11323;
constexpr double kSecondsPerDay = 86400.0;
// Beyond about three million years the fields no longer fit the record.
constexpr double kLargestTime = 1e14;

// Days since 1970-01-01 of a civil date (month 1..12).
long long daysFromCivil(long long y, long long m, long long d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, long long& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

double offsetOf(CFTimeZoneRef zone, double at)
{
    auto z = as<TimeZone>(zone, Kind::TimeZone);
    return z ? z->secondsFromGmtAt(at) : 0.0;
}

// The absolute time of calendar fields read as GMT; months out of 1..12
// carry into the year.
double fieldsAsGmt(const CFGregorianDate& g)
{
    const long long months = (long long)g.year * 12 + (g.month - 1);
    const long long year = months >= 0 ? months / 12 : -((-months + 11) / 12);
    const long long month = months - year * 12 + 1;
    const long long days = daysFromCivil(year, month, 1) + (g.day - 1) - kDaysFrom1970To2001;
    return days * kSecondsPerDay + g.hour * 3600.0 + g.minute * 60.0 + g.second;
}

} // namespace

extern "C" {

CFTypeID CFDateGetTypeID(void)
{
    return CFTypeID(Kind::Date);
}

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at)
{
    return handle<CFDateRef>(new Date(at));
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date)
{
    auto d = as<Date>(date, Kind::Date);
    return d ? d->at : 0.0;
}

// A time that is not finite or too far out gives an all-zero record, which
// is no valid calendar date.
CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef zone)
{
    CFGregorianDate g{0, 0, 0, 0, 0, 0.0};
    const double t = at + offsetOf(zone, at);
    if (!std::isfinite(t) || std::fabs(t) > kLargestTime)
        return g;
    long long days = static_cast<long long>(std::floor(t / kSecondsPerDay));
    double secs = t - days * kSecondsPerDay;
    if (secs >= kSecondsPerDay) { // rounding just below a day boundary
        secs = 0;
        ++days;
    }
    long long year;
    int month, day;
    civilFromDays(days + kDaysFrom1970To2001, year, month, day);
    const int hour = int(secs / 3600.0);
    const int minute = int((secs - hour * 3600.0) / 60.0);
    g.year = int32_t(year);
    g.month = int8_t(month);
    g.day = int8_t(day);
    g.hour = int8_t(hour);
    g.minute = int8_t(minute);
    g.second = secs - hour * 3600.0 - minute * 60.0;
    return g;
}

CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate date, CFTimeZoneRef zone)
{
    const double local = fieldsAsGmt(date);
    // The zone's offset at the instant, found from a first guess at it.
    const double guess = local - offsetOf(zone, local);
    return local - offsetOf(zone, guess);
}

CFTimeZoneRef CFTimeZoneCreateWithName(CFAllocatorRef, CFStringRef name, Boolean tryAbbreviations)
{
    auto s = as<String>(name, Kind::String);
    if (!s || s->text.isEmpty())
        return nullptr;
    QTimeZone zone(s->text.toUtf8());
    const Object* made = nullptr;
    if (zone.isValid())
        made = new TimeZone(zone);
    else if (tryAbbreviations && (s->text == QLatin1String("GMT") || s->text == QLatin1String("UTC")))
        made = new TimeZone(0.0);
    return handle<CFTimeZoneRef>(made);
}

CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef, CFTimeInterval secondsFromGMT)
{
    if (!(secondsFromGMT >= -18 * 3600.0 && secondsFromGMT <= 18 * 3600.0))
        return nullptr;
    return handle<CFTimeZoneRef>(new TimeZone(secondsFromGMT));
}

} // extern "C"
