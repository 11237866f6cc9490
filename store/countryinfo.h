// One row of the country table, and the canonical form of phone numbers that
// it gives ("+" calling code and national number).
#pragma once

#include <QString>

struct _CountryInfo
{
    QString sn;   // ISO 3166-1 code, upper case ("RU")
    QString n;    // name in English
    QString ln;   // name in the country's own language
    QString pnum; // calling code, digits only ("7")
    QString mmc;  // mobile country codes, "," separated
    QString numc; // valid lengths of a national number, "," separated
    QString r1;   // mobile-number pattern, anchored: "^" + pattern + "$"

    // The canonical form of a phone number; a text holding a letter (of any
    // script) or "@" comes back only lower-cased. Never fails.
    QString formatNumber(const QString& number) const;
    // Whether r1 finds a match anywhere in `number`; false when r1 is empty.
    bool _isMatch(const QString& number) const;
    // Whether `length` is one of the lengths in numc (a piece that is not a
    // number counts as 0).
    bool _isLengthValid(int length) const;
};
