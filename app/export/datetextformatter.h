// Message dates (date21: seconds since 2001-01-01 UTC) as local date and time
// text in a date-time pattern of QLocale, at a small fraction of the cost of
// QDateTime and QLocale per message: the local offset is looked up once for
// each hour in which it does not change (kept per thread, so the formatters
// of one file after the other share it), and the pattern is parsed once.
// A formatter belongs to the thread that made it.
// Patterns it does not know (time-zone names, other digits than 0-9) go
// through QLocale for every date, so the text is always the one QLocale gives.
#pragma once

#include <climits>

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVector>

class DateTextFormatter
{
public:
    DateTextFormatter(const QString& pattern, const QLocale& locale);

    // The system locale's short date-and-time format.
    static DateTextFormatter systemShort();

    QString format(int date21);
    void appendTo(QString& out, int date21);

private:
    enum class Kind { Literal, Day, Day2, DayName, Month, Month2, MonthName, Year2, Year4,
                      Hour12, Hour12x2, Hour24, Hour24x2, Minute, Minute2, Second, Second2, AmPm };
    struct Token
    {
        Kind kind;
        QString text;  // the literal
        int form;     // DayName, MonthName: 1 the long name; AmPm: 0 lower, 1 upper case, 2 as given
    };

    bool parse(const QString& pattern);
    qint64 localSeconds(qint64 unixSeconds);

    QString m_pattern;
    QLocale m_locale;
    bool m_fallback = false;
    QVector<Token> m_tokens;
    QStringList m_dayNames[2];   // short, long; Monday first
    QStringList m_monthNames[2]; // short, long; January first
    QString m_amPm[3][2];        // [form][pm?]
    static constexpr int kOffsetChanges = INT_MIN; // the offset changes inside that hour
    QHash<qint64, int>& m_hourOffsets;             // start of an hour -> its offset
    qint64 m_hourStart = -1;                       // the hour of the last date
    int m_offset = 0;
};
