#include "iosversion.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

_IOSVersion::_IOSVersion(const QString& version) : numbers(parse(version)) {}

QList<int> _IOSVersion::parse(const QString& version)
{
    static const QRegularExpression number(QStringLiteral("\\.?(\\d+)"));
    QList<int> out;
    auto it = number.globalMatch(version);
    while (it.hasNext())
        out.append(it.next().captured(1).toInt(nullptr, 10));
    return out;
}

int _IOSVersion::compare(const _IOSVersion& other) const
{
    const int n = int(std::min(numbers.size(), other.numbers.size()));
    for (int i = 0; i < n; ++i) {
        if (numbers[i] != other.numbers[i])
            return numbers[i] - other.numbers[i];
    }
    return int(numbers.size() - other.numbers.size());
}

QString _IOSVersion::toString() const
{
    QStringList parts;
    for (int n : numbers)
        parts.append(QString::number(n));
    return parts.join(QLatin1Char('.'));
}
