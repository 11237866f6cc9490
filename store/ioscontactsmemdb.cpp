#include "ioscontactsmemdb.h"

#include <QDebug>
#include <QFile>
#include <stdexcept>
#include <sys/stat.h>
#include <utime.h>

namespace {

const char* const kSchema =
    "CREATE TABLE person(  rowid INTEGER PRIMARY KEY,  first TEXT,  last TEXT,  middle TEXT,  photo BLOB);"
    "CREATE TABLE tel(  person_id INTEGER,  number TEXT,  UNIQUE(person_id, number));"
    "CREATE INDEX index_tel_number on tel(number);";

// Modification time in whole seconds since 1970; 0 when the file cannot be examined.
qint64 getutime(const QString& path)
{
    struct stat st;
    if (stat(path.toUtf8().constData(), &st) != 0)
        return 0;
    return qint64(st.st_mtime);
}

// A source database of the phone, opened only for reading: the cache must
// never change (or checkpoint) the copy it is built from.
class SourceDb : public Sqlite3DB
{
public:
    explicit SourceDb(const QString& path) { openThrow(path, ReadOnly); }
};

} // namespace

QString _IOSContactPhoneInfo::displayName() const
{
    QString out = first;
    for (const QString& part : {middle.trimmed(), last.trimmed()})
        if (!part.isEmpty())
            out += QLatin1Char(' ') + part;
    return out.trimmed();
}

IOSContactsMemDb::IOSContactsMemDb(const QDir& dir, const _CountryInfo& country) : dir(dir), country(country) {}

void IOSContactsMemDb::openCheck()
{
    if (isOpen())
        return;
    const QString ct = dir.absoluteFilePath(QStringLiteral("ct-phone.db"));
    const QString ab = dir.absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb"));
    const QString img =
        dir.absoluteFilePath(QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBookImages.sqlitedb"));
    if (!QFile::exists(ab))
        return;
    const QString wal = ab + QStringLiteral("-wal");
    const qint64 sourceTime = getutime(QFile::exists(wal) ? wal : ab);
    if (getutime(ct) < sourceTime) {
        try {
            rebuildThrow(ct, ab, img);
        } catch (...) {
            // Leave no half-built cache behind: the next open rebuilds it.
            if (inTransaction)
                rollbackTran();
            close();
            QFile::remove(ct);
            throw;
        }
        struct utimbuf times;
        times.actime = time_t(sourceTime);
        times.modtime = time_t(sourceTime);
        utime(ct.toUtf8().constData(), &times);
    }
    openThrow(ct, ReadOnly);
}

void IOSContactsMemDb::rebuildThrow(const QString& ct, const QString& ab, const QString& img)
{
    qDebug() << "rebuild IOSContactsMemDb.";
    QFile::remove(ct);
    openThrow(ct, ReadWriteCreate);
    QString error;
    if (exec(QString::fromLatin1(kSchema), error) != 0)
        throw std::runtime_error(QStringLiteral("create IOSContactsMemDb error. %1").arg(error).toUtf8().toStdString());
    beginTran();
    inTransaction = true;
    fillThrow(ab, img);
    commitTran();
    inTransaction = false;
    close();
}

void IOSContactsMemDb::fillThrow(const QString& ab, const QString& img)
{
    {
        SourceDb book(ab);
        Sqlite3Cursor persons = book.queryThrow("select rowid, first, last, middle from ABPerson");
        while (persons.moveNext())
            executeThrow(Sqlite3Sql("insert into person(rowid, first, last, middle) values(?,?,?,?)")
                             .addInt64Param(persons.getInt64(QStringLiteral("rowid")))
                             .addTextParam(persons.getText(QStringLiteral("first")))
                             .addTextParam(persons.getText(QStringLiteral("last")))
                             .addTextParam(persons.getText(QStringLiteral("middle"))));
        Sqlite3Cursor numbers = book.queryThrow("select record_id, value from ABMultiValue where property=3");
        while (numbers.moveNext())
            executeThrow(Sqlite3Sql("replace into tel(person_id, number) values(?,?)")
                             .addInt64Param(numbers.getInt64(QStringLiteral("record_id")))
                             .addTextParam(country.formatNumber(numbers.getText(QStringLiteral("value")))));
    }
    if (!QFile::exists(img))
        return;
    SourceDb images(img);
    Sqlite3Cursor thumbs = images.queryThrow("select record_id, data from ABThumbnailImage");
    while (thumbs.moveNext())
        executeThrow(Sqlite3Sql("update person set photo=? where rowid=?")
                         .addBlobParam(thumbs.getBlob(QStringLiteral("data")))
                         .addInt64Param(thumbs.getInt64(QStringLiteral("record_id"))));
}

_IOSContactPhoneInfo IOSContactsMemDb::contactInfoByNumber(const QString& number)
{
    openCheck();
    _IOSContactPhoneInfo info;
    Sqlite3Cursor c =
        queryThrow(Sqlite3Sql("select p.* from person as p inner join tel as t on p.rowid=t.person_id and t.number=?")
                       .addTextParam(number));
    if (c.moveNext()) {
        info.first = c.getText(QStringLiteral("first"));
        info.middle = c.getText(QStringLiteral("middle"));
        info.last = c.getText(QStringLiteral("last"));
        info.photo = c.getBlob(QStringLiteral("photo"));
    }
    return info;
}

void IOSContactsMemDb::fillContact(_MsgHandle& h, const char* caller)
{
    if (!isOpen())
        return;
    try {
        const _IOSContactPhoneInfo info = contactInfoByNumber(h.id);
        h._ct_name = info.displayName();
        h._photo = info.photo;
    } catch (const std::exception& e) {
        qWarning("%s", qPrintable(QStringLiteral("%1, IOSContactsMemDb error. %2")
                                      .arg(QLatin1String(caller), QString::fromUtf8(e.what()))));
    }
}
