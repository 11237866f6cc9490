// Builds an iPhone address book in a database folder for tests: the
// AddressBook.sqlitedb (ABPerson, ABMultiValue) and AddressBookImages.sqlitedb
// (ABThumbnailImage) files under file-relay/var/mobile/Library/AddressBook,
// made from SQL through SqlFixture, never through the code under test.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace AddressBookFixture {

struct Person
{
    qint64 rowid = 0;
    QString first;
    QString middle;
    QString last;
    QStringList phones; // ABMultiValue rows of property 3, as typed on the phone
    QStringList emails; // ABMultiValue rows of property 4
    QByteArray photo;   // ABThumbnailImage data; no row when empty
};

// Paths of the two files inside the database folder `dir`.
QString addressBookPath(const QString& dir);
QString imagesPath(const QString& dir);

// Creates (or extends) the address book of `dir` with the persons. The images
// file is written only when `withImages` is true.
void build(const QString& dir, const QList<Person>& persons, bool withImages = true);

} // namespace AddressBookFixture
