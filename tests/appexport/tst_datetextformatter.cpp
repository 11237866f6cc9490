// The fast date text must be exactly what QLocale writes, for the short
// date-and-time pattern of every locale Qt knows and across daylight-saving
// changes of the local time zone.
#include "datetextformatter.h"
#include "msgrecords.h"

#include <QtTest>

#include <ctime>

namespace {

// Dates around the ends of the range, noon and midnight, both halves of the
// day, and both sides of the 2023 European and American clock changes.
QList<int> sampleDates()
{
    QList<int> dates = {0, 1, -978307200, 2147483647, 43199, 43200, 86399, 86400};
    for (const qint64 unix : {1679792400LL, 1698541200LL, 1678604400LL, 1699164000LL})
        for (int delta = -7200; delta <= 7200; delta += 1799)
            dates << int(unix - 978307200 + delta);
    for (int d = 0; d < 400; ++d)
        dates << 700000000 + d * 86461; // walks through weekdays, months and times
    return dates;
}

void setTimeZone(const char* zone)
{
    qputenv("TZ", zone);
    tzset();
}

} // namespace

class TestDateTextFormatter : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setTimeZone("UTC"); }
    void matchesQLocaleForEveryLocale();
    void matchesQLocaleAcrossClockChanges_data();
    void matchesQLocaleAcrossClockChanges();
    void patterns_data();
    void patterns();
};

void TestDateTextFormatter::matchesQLocaleForEveryLocale()
{
    const QList<int> dates = sampleDates();
    const QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    QVERIFY(locales.size() > 100);
    for (const QLocale& locale : locales) {
        const QString pattern = locale.dateTimeFormat(QLocale::ShortFormat);
        DateTextFormatter formatter(pattern, locale);
        for (int date : dates) {
            const QString expected = locale.toString(dtFromDate21(date), pattern);
            const QString actual = formatter.format(date);
            if (actual != expected)
                QFAIL(qPrintable(QStringLiteral("%1 \"%2\" %3: \"%4\" instead of \"%5\"")
                                     .arg(locale.name(), pattern).arg(date).arg(actual, expected)));
        }
    }
}

void TestDateTextFormatter::matchesQLocaleAcrossClockChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
    QTest::newRow("New York") << QByteArray("America/New_York");
    QTest::newRow("Lord Howe (half hour)") << QByteArray("Australia/Lord_Howe");
    QTest::newRow("Kathmandu (+5:45)") << QByteArray("Asia/Kathmandu");
}

void TestDateTextFormatter::matchesQLocaleAcrossClockChanges()
{
    QFETCH(QByteArray, zone);
    setTimeZone(zone.constData());
    const QString pattern = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    DateTextFormatter formatter(pattern, QLocale::c());
    QList<int> dates = sampleDates();
    // Every 10 minutes over the 2023 clock changes of both hemispheres.
    for (const qint64 unix : {1679792400LL, 1698541200LL, 1680364800LL, 1696089600LL})
        for (int delta = -14400; delta <= 14400; delta += 600)
            dates << int(unix - 978307200 + delta);
    for (int date : dates)
        QCOMPARE(formatter.format(date), QLocale::c().toString(dtFromDate21(date), pattern));
}

void TestDateTextFormatter::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::newRow("quoted text") << "'at' h 'o''clock' '' AP";
    QTest::newRow("names") << "dddd d MMMM yyyy, ddd MMM";
    QTest::newRow("lone letters") << "y yyy M d h m s a A";
    QTest::newRow("mixed-case am/pm") << "h:mm aP Ap";
    QTest::newRow("unterminated quote") << "HH:mm 'rest";
    QTest::newRow("time zone falls back") << "HH:mm t";
    QTest::newRow("milliseconds fall back") << "HH:mm:ss.zzz";
}

void TestDateTextFormatter::patterns()
{
    QFETCH(QString, pattern);
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German), QLocale(QLocale::Japanese)}) {
        DateTextFormatter formatter(pattern, locale);
        for (int date : sampleDates())
            QCOMPARE(formatter.format(date), locale.toString(dtFromDate21(date), pattern));
    }
}

QTEST_GUILESS_MAIN(TestDateTextFormatter)
#include "tst_datetextformatter.moc"
