#include "countryinfo.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// Addresses and sender names: any letter, of whatever script, or "@".
bool holdsLetterOrAt(const QString& text)
{
    for (const char32_t c : text.toUcs4())
        if (c == U'@' || QChar::isLetter(c))
            return true;
    return false;
}

QString digitsAndPlus(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+'))
            out.append(c);
    return out;
}

// Compiling a long pattern for every number of an address book is wasted
// work: each thread keeps the last pattern it compiled.
const QRegularExpression& compiled(const QString& pattern)
{
    thread_local QString lastPattern;
    thread_local QRegularExpression lastRx;
    if (pattern != lastPattern || !lastRx.isValid()) {
        lastPattern = pattern;
        lastRx = QRegularExpression(pattern);
    }
    return lastRx;
}

} // namespace

bool _CountryInfo::_isMatch(const QString& number) const
{
    if (r1.isEmpty())
        return false;
    return compiled(r1).match(number).hasMatch();
}

bool _CountryInfo::_isLengthValid(int length) const
{
    const QStringList pieces = numc.split(QLatin1Char(','));
    for (const QString& piece : pieces)
        if (piece.toInt() == length)
            return true;
    return false;
}

QString _CountryInfo::formatNumber(const QString& number) const
{
    if (holdsLetterOrAt(number))
        return number.toLower();
    const QString cleaned = digitsAndPlus(number);
    const int length = int(cleaned.size());
    // Nothing left to number: adding "+" would make an id out of nothing.
    if (cleaned.isEmpty() || cleaned.contains(QLatin1Char('+')))
        return cleaned;
    if (_isLengthValid(length) && _isMatch(cleaned))
        return QLatin1Char('+') + pnum + cleaned;
    if (cleaned.startsWith(QLatin1Char('0')) && _isLengthValid(length - 1) && _isMatch(cleaned.mid(1)))
        return QLatin1Char('+') + pnum + cleaned.mid(1);
    if (cleaned.startsWith(pnum) && _isLengthValid(length - int(pnum.size())))
        return QLatin1Char('+') + cleaned;
    return cleaned;
}
