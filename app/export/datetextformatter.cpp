#include "datetextformatter.h"

#include "msgrecords.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

// Days since 1970-01-01 to the proleptic Gregorian date.
void civilFromDays(qint64 days, int& year, int& month, int& day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

void appendNumber(QString& out, int value, int width)
{
    char digits[12];
    int n = 0;
    unsigned v = unsigned(value);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (int i = n; i < width; ++i)
        out.append(QLatin1Char('0'));
    while (n > 0)
        out.append(QLatin1Char(digits[--n]));
}

int repeatCount(const QString& s, qsizetype i)
{
    const QChar c = s.at(i);
    int n = 1;
    while (i + n < s.size() && s.at(i + n) == c)
        ++n;
    return n;
}

// Quoted text as QLocale reads it: '' is one quote, inside or outside quotes;
// an unterminated quote runs to the end.
QString readQuoted(const QString& format, qsizetype& i)
{
    ++i;
    if (i == format.size())
        return QString();
    if (format.at(i) == QLatin1Char('\'')) {
        ++i;
        return QStringLiteral("'");
    }
    QString result;
    while (i < format.size()) {
        if (format.at(i) == QLatin1Char('\'')) {
            if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('\'')) {
                result.append(QLatin1Char('\''));
                i += 2;
            } else {
                break;
            }
        } else {
            result.append(format.at(i++));
        }
    }
    if (i < format.size())
        ++i;
    return result;
}

bool containsAmPm(const QString& format)
{
    qsizetype i = 0;
    while (i < format.size()) {
        if (format.at(i) == QLatin1Char('\'')) {
            readQuoted(format, i);
            continue;
        }
        if (format.at(i).toLower() == QLatin1Char('a'))
            return true;
        ++i;
    }
    return false;
}

// The offsets of the hours met so far, shared by the formatters of one
// thread (an export makes one per file) while the time zone stays the same.
struct HourOffsets
{
    QByteArray zone;
    QHash<qint64, int> offsets;
};

QHash<qint64, int>& hourOffsetsOfThread()
{
    static thread_local HourOffsets cache;
    const QByteArray zone = qgetenv("TZ") + '|' + QTimeZone::systemTimeZoneId();
    if (zone != cache.zone) {
        cache.zone = zone;
        cache.offsets.clear();
    }
    return cache.offsets;
}

} // namespace

DateTextFormatter::DateTextFormatter(const QString& pattern, const QLocale& locale)
    : m_pattern(pattern)
    , m_locale(locale)
    , m_hourOffsets(hourOffsetsOfThread())
{
    for (int f = 0; f < 2; ++f) {
        const QLocale::FormatType type = f ? QLocale::LongFormat : QLocale::ShortFormat;
        for (int d = 1; d <= 7; ++d)
            m_dayNames[f].append(m_locale.dayName(d, type));
        for (int m = 1; m <= 12; ++m)
            m_monthNames[f].append(m_locale.monthName(m, type));
    }
    m_fallback = m_locale.zeroDigit() != QLatin1String("0") || !parse(pattern);
}

DateTextFormatter DateTextFormatter::systemShort()
{
    const QLocale locale = QLocale::system();
    return DateTextFormatter(locale.dateTimeFormat(QLocale::ShortFormat), locale);
}

bool DateTextFormatter::parse(const QString& format)
{
    const bool twelveHour = containsAmPm(format);
    auto literal = [this](const QString& text) {
        if (!m_tokens.isEmpty() && m_tokens.last().kind == Kind::Literal)
            m_tokens.last().text += text;
        else
            m_tokens.append({Kind::Literal, text, 0});
    };
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            literal(readQuoted(format, i));
            continue;
        }
        const int repeat = repeatCount(format, i);
        int used = 0;
        switch (c.unicode()) {
        case 'y':
            if (repeat >= 4) {
                m_tokens.append({Kind::Year4, {}, 0});
                used = 4;
            } else if (repeat >= 2) {
                m_tokens.append({Kind::Year2, {}, 0});
                used = 2;
            }
            break;
        case 'M':
            used = qMin(repeat, 4);
            m_tokens.append({used == 1 ? Kind::Month : used == 2 ? Kind::Month2 : Kind::MonthName, {}, used == 4 ? 1 : 0});
            break;
        case 'd':
            used = qMin(repeat, 4);
            m_tokens.append({used == 1 ? Kind::Day : used == 2 ? Kind::Day2 : Kind::DayName, {}, used == 4 ? 1 : 0});
            break;
        case 'h':
            used = qMin(repeat, 2);
            if (twelveHour)
                m_tokens.append({used == 1 ? Kind::Hour12 : Kind::Hour12x2, {}, 0});
            else
                m_tokens.append({used == 1 ? Kind::Hour24 : Kind::Hour24x2, {}, 0});
            break;
        case 'H':
            used = qMin(repeat, 2);
            m_tokens.append({used == 1 ? Kind::Hour24 : Kind::Hour24x2, {}, 0});
            break;
        case 'm':
            used = qMin(repeat, 2);
            m_tokens.append({used == 1 ? Kind::Minute : Kind::Minute2, {}, 0});
            break;
        case 's':
            used = qMin(repeat, 2);
            m_tokens.append({used == 1 ? Kind::Second : Kind::Second2, {}, 0});
            break;
        case 'a':
        case 'A': {
            // "AP" upper case, "ap" lower case, "Ap" and "aP" as the locale
            // writes it; a lone "A" or "a" upper or lower case.
            const bool pair = i + 1 < format.size() && format.at(i + 1).toLower() == QLatin1Char('p');
            used = pair ? 2 : 1;
            const bool upper = c == QLatin1Char('A');
            const bool asIs = pair && format.at(i + 1).isUpper() != upper;
            m_tokens.append({Kind::AmPm, {}, asIs ? 2 : upper ? 1 : 0});
            break;
        }
        case 't':
        case 'z':
            return false; // time zone and milliseconds: QLocale writes them
        default:
            break;
        }
        if (used == 0) {
            literal(QString(repeat, c));
            i += repeat;
        } else {
            i += used;
        }
    }
    m_amPm[0][0] = m_locale.amText().toLower();
    m_amPm[0][1] = m_locale.pmText().toLower();
    m_amPm[1][0] = m_locale.amText().toUpper();
    m_amPm[1][1] = m_locale.pmText().toUpper();
    m_amPm[2][0] = m_locale.amText();
    m_amPm[2][1] = m_locale.pmText();
    return true;
}

qint64 DateTextFormatter::localSeconds(qint64 unixSeconds)
{
    const qint64 hourStart = unixSeconds - unixSeconds % 3600;
    if (hourStart != m_hourStart) {
        m_hourStart = hourStart;
        auto known = m_hourOffsets.constFind(hourStart);
        if (known == m_hourOffsets.constEnd()) {
            // The offset of a whole hour, when it does not change inside it.
            const int first = QDateTime::fromSecsSinceEpoch(hourStart).offsetFromUtc();
            const int last = QDateTime::fromSecsSinceEpoch(hourStart + 3599).offsetFromUtc();
            known = m_hourOffsets.insert(hourStart, first == last ? first : kOffsetChanges);
        }
        m_offset = known.value();
    }
    if (m_offset != kOffsetChanges)
        return unixSeconds + m_offset;
    return unixSeconds + QDateTime::fromSecsSinceEpoch(unixSeconds).offsetFromUtc();
}

QString DateTextFormatter::format(int date21)
{
    QString out;
    appendTo(out, date21);
    return out;
}

void DateTextFormatter::appendTo(QString& out, int date21)
{
    if (m_fallback) {
        out += m_locale.toString(dtFromDate21(date21), m_pattern);
        return;
    }
    // As dtFromDate21: the sum is read as an unsigned 32-bit count.
    const qint64 unixSeconds = qint64(quint32(qint64(date21) + 978307200));
    const qint64 local = localSeconds(unixSeconds);
    const qint64 days = floorDiv(local, 86400);
    const int secs = int(local - days * 86400);
    int year = 0, month = 0, day = 0;
    civilFromDays(days, year, month, day);
    const int hour = secs / 3600, minute = secs / 60 % 60, second = secs % 60;
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    const int weekday = int(((days % 7) + 7 + 3) % 7); // 0 = Monday; 1970-01-01 was a Thursday
    for (const Token& t : qAsConst(m_tokens)) {
        switch (t.kind) {
        case Kind::Literal: out += t.text; break;
        case Kind::Day: appendNumber(out, day, 1); break;
        case Kind::Day2: appendNumber(out, day, 2); break;
        case Kind::DayName: out += m_dayNames[t.form][weekday]; break;
        case Kind::Month: appendNumber(out, month, 1); break;
        case Kind::Month2: appendNumber(out, month, 2); break;
        case Kind::MonthName: out += m_monthNames[t.form][month - 1]; break;
        case Kind::Year2: appendNumber(out, year % 100, 2); break;
        case Kind::Year4: appendNumber(out, year, 4); break;
        case Kind::Hour12: appendNumber(out, hour12, 1); break;
        case Kind::Hour12x2: appendNumber(out, hour12, 2); break;
        case Kind::Hour24: appendNumber(out, hour, 1); break;
        case Kind::Hour24x2: appendNumber(out, hour, 2); break;
        case Kind::Minute: appendNumber(out, minute, 1); break;
        case Kind::Minute2: appendNumber(out, minute, 2); break;
        case Kind::Second: appendNumber(out, second, 1); break;
        case Kind::Second2: appendNumber(out, second, 2); break;
        case Kind::AmPm: out += m_amPm[t.form][hour >= 12]; break;
        }
    }
}
