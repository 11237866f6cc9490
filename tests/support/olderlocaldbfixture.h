// Builds local databases of the older single-file kind for tests: a SQLite
// file whose view view_sms yields the rows given, each body enciphered with
// RC4 under the fixed key of that format (by a cipher of this fixture's own,
// so that the reader is checked against an independent writer).
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace OlderLocalDbFixture {

struct Row
{
    QString address;
    QVariant body; // a QString to encipher, an empty QByteArray, or null
    QString person;
    qint64 date = 0; // seconds since 1970
    int isSend = 0;
};

// Creates the file at `path` (folders included) with the rows, in order.
void create(const QString& path, const QList<Row>& rows);

// A file that is a SQLite database without view_sms.
void createWithoutView(const QString& path);

} // namespace OlderLocalDbFixture
