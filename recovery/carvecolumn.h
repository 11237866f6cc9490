// Which record serial types the carver accepts for each column of a table
// layout, worked out once per layout from the columns' declared types and
// flags, so the per-byte scan only looks up a bit.
#pragma once

#include <QList>
#include <QVector>

#include "sqlitecol.h"

struct CarveLayout
{
    enum : quint8 { Null = 1, Integer = 2, Real = 4, Blob = 8, Text = 16 };

    // The classes a declared type stores: INTEGER -> integer; TEXT -> text;
    // BLOB -> blob; REAL/FLOA/DOUB -> real (whose
    // whole values SQLite stores as integers, so integers fit too); STRING -> text or numeric (its
    // affinity is numeric, so text that looks like a number is stored as one);
    // any other -> numeric (integer or real).
    static quint8 typeClasses(const _SqliteCol& col);

    static CarveLayout fromColumns(const QList<_SqliteCol>& cols);

    // Does serial type t fit column i (1 <= i < columns)?
    bool fits(int i, long long t) const
    {
        if (t < 0 || t == 10 || t == 11)
            return true;
        quint8 cls;
        if (t == 0)
            cls = Null;
        else if (t == 7)
            cls = Real;
        else if (t < 12)
            cls = Integer;
        else
            cls = (t & 1) ? Text : Blob;
        return accept[i] & cls;
    }

    int columns = 0;
    QVector<quint8> accept; // per column; column 0 (the row id) is never matched
};
