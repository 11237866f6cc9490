// _IOSVersion: a dotted version text (7.1.2) as its numbers, compared number
// by number; also the parser behind IOSDevice::versionList.
#pragma once

#include <QList>
#include <QString>

class _IOSVersion
{
public:
    explicit _IOSVersion(const QString& version);
    // Below 0 when this version is lower, 0 when equal, above 0 when higher;
    // a version that extends the other is higher (7.1.0 > 7.1).
    int compare(const _IOSVersion& other) const;
    QString toString() const;

    // Every run of digits of the text, in order; any other characters
    // separate them ("10.0b3" gives 10, 0, 3). A run too long for an int is 0.
    static QList<int> parse(const QString& version);

    QList<int> numbers;
};
