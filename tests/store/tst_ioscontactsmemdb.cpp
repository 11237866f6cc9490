// The contacts cache ct-phone.db built from a database folder's address book.
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <utime.h>

#include "addressbookfixture.h"
#include "ioscontactsmemdb.h"
#include "sqlfixture.h"

using AddressBookFixture::Person;

namespace {
_CountryInfo russia()
{
    _CountryInfo ru;
    ru.sn = "RU";
    ru.pnum = "7";
    ru.numc = "10";
    ru.r1 = "^9\\d{9}$";
    return ru;
}

void setMtime(const QString& path, qint64 seconds)
{
    struct utimbuf t;
    t.actime = t.modtime = time_t(seconds);
    QCOMPARE(utime(path.toUtf8().constData(), &t), 0);
}

qint64 mtime(const QString& path)
{
    struct stat st;
    return stat(path.toUtf8().constData(), &st) == 0 ? qint64(st.st_mtime) : -1;
}

QList<Person> twoPersons()
{
    Person ann;
    ann.rowid = 1;
    ann.first = "Ann";
    ann.last = "Lee";
    ann.phones = {"916 123-45-67", "+7 916 123 45 67", "8 (800) 555"};
    ann.photo = QByteArray::fromHex("ffd8ffe0");
    Person bob;
    bob.rowid = 2;
    bob.last = "Bob";
    bob.phones = {"8 (800) 555"};
    bob.emails = {"bob@example.org"};
    return {ann, bob};
}
} // namespace

class TestIOSContactsMemDb : public QObject
{
    Q_OBJECT
private slots:
    void displayName_data();
    void displayName();
    void noAddressBookStaysClosed();
    void rebuildAndLookup();
    void rebuildClock();
    void walDecides();
    void noImages();
    void brokenAddressBookLeavesNoCache();
};

void TestIOSContactsMemDb::displayName_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("middle");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("name");
    QTest::newRow("first last") << "Ann" << "" << "Lee" << "Ann Lee";
    QTest::newRow("all three, padded") << "Ann" << " M " << " Lee " << "Ann M Lee";
    QTest::newRow("last only") << "" << "" << "Lee" << "Lee";
    QTest::newRow("empty") << "" << "" << "" << "";
}

void TestIOSContactsMemDb::displayName()
{
    QFETCH(QString, first);
    QFETCH(QString, middle);
    QFETCH(QString, last);
    QFETCH(QString, name);
    _IOSContactPhoneInfo info;
    info.first = first;
    info.middle = middle;
    info.last = last;
    QCOMPARE(info.displayName(), name);
}

void TestIOSContactsMemDb::noAddressBookStaysClosed()
{
    QTemporaryDir dir;
    IOSContactsMemDb db(QDir(dir.path()), russia());
    db.openCheck();
    QVERIFY(!db.isOpen());
    QVERIFY(!QFile::exists(dir.filePath("ct-phone.db")));
}

void TestIOSContactsMemDb::rebuildAndLookup()
{
    QTemporaryDir dir;
    AddressBookFixture::build(dir.path(), twoPersons());
    IOSContactsMemDb db(QDir(dir.path()), russia());
    const _IOSContactPhoneInfo ann = db.contactInfoByNumber("+79161234567");
    QCOMPARE(ann.displayName(), QStringLiteral("Ann Lee"));
    QCOMPARE(ann.photo, QByteArray::fromHex("ffd8ffe0"));
    QVERIFY(db.contactInfoByNumber("916 123-45-67").displayName().isEmpty()); // looked up as given
    const QString ct = dir.filePath("ct-phone.db");
    // Two entries of one person with one canonical number give one row; a
    // number shared by two persons gives one row each.
    QCOMPARE(SqlFixture::scalar(ct, "select count(*) from tel where number='+79161234567'").toInt(), 1);
    QCOMPARE(SqlFixture::scalar(ct, "select count(*) from tel where number='8800555'").toInt(), 2);
    QCOMPARE(SqlFixture::scalar(ct, "select count(*) from tel").toInt(), 3);
    QVERIFY(db.contactInfoByNumber("8800555").last.size() > 0);
    QVERIFY(db.contactInfoByNumber("+70000000000").displayName().isEmpty());
    QCOMPARE(mtime(ct), mtime(AddressBookFixture::addressBookPath(dir.path())));
    // Opened read-only after the rebuild.
    QString error;
    QVERIFY(db.exec("insert into tel values(9, 'x')", error) != 0);
}

void TestIOSContactsMemDb::rebuildClock()
{
    QTemporaryDir dir;
    AddressBookFixture::build(dir.path(), twoPersons());
    const QString ab = AddressBookFixture::addressBookPath(dir.path());
    setMtime(ab, 1500000000);
    { IOSContactsMemDb(QDir(dir.path()), russia()).openCheck(); }
    // A change that keeps the old time is not seen: no rebuild.
    SqlFixture::build(ab, "insert into ABPerson(ROWID, First) values(3, 'New');"
                          "insert into ABMultiValue(record_id, property, value) values(3, 3, '9997776655');");
    setMtime(ab, 1500000000);
    IOSContactsMemDb same(QDir(dir.path()), russia());
    QVERIFY(same.contactInfoByNumber("+79997776655").first.isEmpty());
    // A newer address book rebuilds.
    setMtime(ab, 1500000100);
    IOSContactsMemDb newer(QDir(dir.path()), russia());
    QCOMPARE(newer.contactInfoByNumber("+79997776655").first, QStringLiteral("New"));
    QCOMPARE(mtime(dir.filePath("ct-phone.db")), qint64(1500000100));
}

void TestIOSContactsMemDb::walDecides()
{
    QTemporaryDir dir;
    AddressBookFixture::build(dir.path(), twoPersons());
    const QString ab = AddressBookFixture::addressBookPath(dir.path());
    const QString wal = ab + "-wal";
    const QString ct = dir.filePath("ct-phone.db");
    setMtime(ab, 1000);
    { IOSContactsMemDb(QDir(dir.path()), russia()).openCheck(); }
    QCOMPARE(mtime(ct), qint64(1000));

    // Only the -wal counts when it exists: older than the cache, no rebuild
    // although the address book itself is newer.
    QFile f(wal);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    setMtime(wal, 900);
    setMtime(ab, 2000);
    { IOSContactsMemDb(QDir(dir.path()), russia()).openCheck(); }
    QCOMPARE(mtime(ct), qint64(1000));
    // Newer -wal: rebuild.
    setMtime(wal, 3000);
    { IOSContactsMemDb(QDir(dir.path()), russia()).openCheck(); }
    QCOMPARE(mtime(ct), qint64(3000));
}

void TestIOSContactsMemDb::noImages()
{
    QTemporaryDir dir;
    AddressBookFixture::build(dir.path(), twoPersons(), false);
    IOSContactsMemDb db(QDir(dir.path()), russia());
    const _IOSContactPhoneInfo ann = db.contactInfoByNumber("+79161234567");
    QCOMPARE(ann.first, QStringLiteral("Ann"));
    QVERIFY(ann.photo.isEmpty());
}

void TestIOSContactsMemDb::brokenAddressBookLeavesNoCache()
{
    QTemporaryDir dir;
    // An address book of an unknown schema: no ABMultiValue table.
    SqlFixture::build(AddressBookFixture::addressBookPath(dir.path()),
                      "create table ABPerson(ROWID integer primary key, First, Last, Middle);"
                      "insert into ABPerson values(1, 'Ann', 'Lee', '');");
    IOSContactsMemDb db(QDir(dir.path()), russia());
    QVERIFY_THROWS_EXCEPTION(std::exception, db.openCheck());
    QVERIFY(!db.isOpen());
    QVERIFY(!db.inTransaction);
    QVERIFY(!QFile::exists(dir.filePath("ct-phone.db")));
    // Mended, it is rebuilt on the next open.
    SqlFixture::build(AddressBookFixture::addressBookPath(dir.path()),
                      "create table ABMultiValue(record_id, property, value);"
                      "insert into ABMultiValue values(1, 3, '9161234567');");
    QCOMPARE(db.contactInfoByNumber("+79161234567").first, QStringLiteral("Ann"));
}

QTEST_GUILESS_MAIN(TestIOSContactsMemDb)
#include "tst_ioscontactsmemdb.moc"
