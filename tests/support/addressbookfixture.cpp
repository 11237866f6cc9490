#include "addressbookfixture.h"

#include <QDir>

#include "sqlfixture.h"

namespace AddressBookFixture {

namespace {

// The columns the application reads, with a few of the phone's others around them.
const char* const kBookSchema =
    "CREATE TABLE IF NOT EXISTS ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, "
    "Middle TEXT, FirstPhonetic TEXT, Organization TEXT, Kind INTEGER, Note TEXT, CreationDate INTEGER, "
    "ModificationDate INTEGER);"
    "CREATE TABLE IF NOT EXISTS ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
    "identifier INTEGER, label INTEGER, value TEXT);";
const char* const kImagesSchema =
    "CREATE TABLE IF NOT EXISTS ABThumbnailImage (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, record_id INTEGER, "
    "format INTEGER, derived_from_format INTEGER, data BLOB, UNIQUE(record_id, format));";

QString quoted(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

QString multiValues(const Person& p, int property, const QStringList& values)
{
    QString sql;
    for (const QString& v : values)
        sql += QStringLiteral("INSERT INTO ABMultiValue(record_id, property, identifier, label, value) "
                              "VALUES(%1, %2, 0, 1, %3);")
                   .arg(p.rowid)
                   .arg(property)
                   .arg(quoted(v));
    return sql;
}

} // namespace

QString addressBookPath(const QString& dir)
{
    return QDir(dir).absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb"));
}

QString imagesPath(const QString& dir)
{
    return QDir(dir).absoluteFilePath(
        QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBookImages.sqlitedb"));
}

void build(const QString& dir, const QList<Person>& persons, bool withImages)
{
    QString book = QString::fromLatin1(kBookSchema);
    QString images = QString::fromLatin1(kImagesSchema);
    for (const Person& p : persons) {
        book += QStringLiteral("INSERT INTO ABPerson(ROWID, First, Middle, Last, Kind) VALUES(%1, %2, %3, %4, 0);")
                    .arg(p.rowid)
                    .arg(quoted(p.first), quoted(p.middle), quoted(p.last));
        book += multiValues(p, 3, p.phones) + multiValues(p, 4, p.emails);
        if (!p.photo.isEmpty())
            images += QStringLiteral("INSERT INTO ABThumbnailImage(record_id, format, derived_from_format, data) "
                                     "VALUES(%1, 0, 0, X'%2');")
                          .arg(p.rowid)
                          .arg(QString::fromLatin1(p.photo.toHex()));
    }
    SqlFixture::build(addressBookPath(dir), book);
    if (withImages)
        SqlFixture::build(imagesPath(dir), images);
}

} // namespace AddressBookFixture
