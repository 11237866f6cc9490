// The contacts cache ct-phone.db of a database folder: the persons of the
// folder's address book with their name parts and thumbnails, and their phone
// numbers in canonical form, indexed by number. Rebuilt whenever the address
// book is newer than it, otherwise opened read-only.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include "absdb.h"
#include "countryinfo.h"
#include "msgrecords.h"

struct _IOSContactPhoneInfo
{
    QString first;
    QString middle;
    QString last;
    QByteArray photo;

    // first, middle and last joined with blanks, empty parts left out.
    QString displayName() const;
};

class IOSContactsMemDb : public AbsDb
{
public:
    IOSContactsMemDb(const QDir& dir, const _CountryInfo& country);

    // Opens the cache, rebuilding it first when the address book changed.
    // Without an address book it returns and the cache stays closed.
    void openCheck() override;
    // The person whose canonical number equals `number`; empty when none.
    _IOSContactPhoneInfo contactInfoByNumber(const QString& number);
    // While the cache is open, gives the handle the name and photo of the
    // person with its id. A failing look-up is logged as "<caller>,
    // IOSContactsMemDb error. <text>" and leaves the handle as it was.
    void fillContact(_MsgHandle& handle, const char* caller);

private:
    void rebuildThrow(const QString& ct, const QString& ab, const QString& img);
    void fillThrow(const QString& ab, const QString& img);

    QDir dir;
    _CountryInfo country;
};
