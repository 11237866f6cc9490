// Shares equal texts read from many rows (service names, accounts, country
// codes) so that they hold one string buffer between them.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

#include "sqlitedb.h"

class TextPool
{
public:
    // The text at `position` of the cursor's row, as Sqlite3Cursor::getText
    // gives it, shared with every equal text read before.
    QString text(const Sqlite3Cursor& c, int position);

private:
    // Columns meant for the pool repeat a handful of values; a file where
    // they do not stops growing the pool here and reads plain copies.
    static constexpr int kMaxTexts = 4096;
    // SQLite's own bound on the columns of a result row.
    static constexpr int kMaxColumns = 32767;
    QHash<QByteArray, QString> m_texts; // UTF-8 bytes -> text
    // The last text read at each position: consecutive rows mostly repeat it,
    // and comparing bytes costs less than hashing them.
    struct Last
    {
        QByteArray utf8;
        QString text;
    };
    std::vector<Last> m_last;
};
