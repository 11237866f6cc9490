// The backup file index of both generations: stored names and paths, the
// Manifest.mbdb reader on whole and damaged files, the Manifest.db reader with
// its MBFile archives, and the cipher of the `file` column.
#include <QtTest>

#include "backupfixture.h"
#include "backupmanifest.h"
#include "manifestdbfile.h"
#include "mbdbfile.h"
#include "mbdbparser.h"
#include "mobiledevice_loader.h"
#include "sqlitedb.h"

using Gen = BackupFixture::Generation;

namespace {
void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

MBDBParser::Index parseFolder(const QString& folder, const QString& password = QString())
{
    BackupManifest backup(folder);
    backup.password = password;
    return MBDBParser::parse(backup);
}

QString parseError(const QString& folder)
{
    try {
        parseFolder(folder);
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("(no error)");
}

BackupFixtureRecord fullRecord()
{
    BackupFixtureRecord r;
    r.domain = QStringLiteral("HomeDomain");
    r.path = QStringLiteral("Library/SMS/sms.db");
    r.contents = "database";
    r.mode = 0x81A4;
    r.digest = QByteArray(20, '\x11');
    r.encryptionKey = QByteArray("\x03\0\0\0", 4) + QByteArray(40, '\x22');
    r.inodeHigh = 0; // Manifest.db records carry no upper word
    r.inode = 0x12345678;
    r.userId = 501;
    r.groupId = 20;
    r.lastModified = 1600000000;
    r.lastStatusChange = 1600000001;
    r.birth = 1600000002;
    r.size = 123456789012LL;
    r.protectionClass = 3;
    return r;
}

void verifyFullRecord(const MBDBParser::_MBDBItem& item)
{
    const BackupFixtureRecord r = fullRecord();
    QCOMPARE(item.domain.toString(), r.domain);
    QCOMPARE(item.path.toString(), r.path);
    QCOMPARE(item.digest.data, r.digest);
    QCOMPARE(item.encryptionKey.data, r.encryptionKey);
    QVERIFY(!item.linkTarget.isValid());
    QCOMPARE(item.mode, quint16(0x81A4));
    QVERIFY(!item.isFolder());
    QCOMPARE(item.inode, r.inode);
    QCOMPARE(item.userId, r.userId);
    QCOMPARE(item.groupId, r.groupId);
    QCOMPARE(item.lastModified, r.lastModified);
    QCOMPARE(item.lastStatusChange, r.lastStatusChange);
    QCOMPARE(item.birth, r.birth);
    QCOMPARE(item.size, r.size);
    QCOMPARE(item.protectionClass, qint8(3));
    QVERIFY(!item.isNew && !item.isModified && !item.isRemoved);
}

// Every field a Manifest.db record carries.
bool sameRecord(const MBDBParser::_MBDBItem& a, const MBDBParser::_MBDBItem& b)
{
    return a.domain.data == b.domain.data && a.path.data == b.path.data && a.linkTarget.data == b.linkTarget.data
        && a.digest.data == b.digest.data && a.encryptionKey.data == b.encryptionKey.data && a.mode == b.mode
        && a.inode == b.inode && a.userId == b.userId && a.groupId == b.groupId && a.lastModified == b.lastModified
        && a.lastStatusChange == b.lastStatusChange && a.birth == b.birth && a.size == b.size
        && a.protectionClass == b.protectionClass;
}

// The salt of the enciphered indexes, whose password is "secret", and an
// archive as such an index stores it in its `file` column.
const QByteArray kSalt = "0123456789abcdef0123";
QByteArray encipheredColumn(const QByteArray& archive)
{
    return MBDBParser::encryptFileDescThrow(archive, MBDBParser::fileDescKey("secret", kSalt)).toBase64();
}

const QString kSmsName = QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28");
} // namespace

class TestMBDBParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    }

    void storedNames()
    {
        QCOMPARE(MBDBParser::getFileHashName("HomeDomain", "Library/SMS/sms.db"), kSmsName);
        QCOMPARE(BackupFixture::storedName("HomeDomain", "Library/SMS/sms.db"), kSmsName);
        MBDBParser::_MBDBItem item;
        item.domain.setVal("HomeDomain");
        QCOMPARE(item.backupFileName(), BackupFixture::storedName("HomeDomain", ""));
    }

    // The stored name hashes the texts as decoded (UTF-8 up to a NUL, invalid
    // bytes replaced), whether or not the bytes are hashed as they stand.
    void storedNameOfOddTexts_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("ASCII") << QByteArray("Library/a.txt");
        QTest::newRow("UTF-8") << QByteArray("Library/\xc3\xa9t\xc3\xa9.txt");
        QTest::newRow("invalid UTF-8") << QByteArray("Library/\xff\xfe.txt");
        QTest::newRow("NUL inside") << QByteArray("Library/a\0b", 11);
        QTest::newRow("too long to be valid") << QByteArray(65536, 'x');
    }
    void storedNameOfOddTexts()
    {
        QFETCH(QByteArray, path);
        MBDBParser::_MBDBItem item;
        item.domain.setVal("HomeDomain");
        item.path.setVal(path);
        QCOMPARE(item.backupFileName(), MBDBParser::getFileHashName("HomeDomain", item.path.toString()));
    }

    void generation_data()
    {
        QTest::addColumn<bool>("mbdb");
        QTest::addColumn<bool>("db");
        QTest::addColumn<bool>("ios10");
        QTest::newRow("neither") << false << false << false;
        QTest::newRow("Manifest.mbdb") << true << false << false;
        QTest::newRow("Manifest.db") << false << true << true;
        QTest::newRow("both") << true << true << false;
    }
    void generation()
    {
        QFETCH(bool, mbdb);
        QFETCH(bool, db);
        QFETCH(bool, ios10);
        QTemporaryDir dir;
        if (mbdb)
            writeBytes(dir.filePath("Manifest.mbdb"), BackupFixture::mbdbHeader());
        if (db)
            writeBytes(dir.filePath("Manifest.db"), QByteArray());
        QCOMPARE(MBDBParser::isIos10Mbdb(QDir(dir.path())), ios10);
        const QString name = kSmsName;
        const QString flat = QDir(dir.path()).absoluteFilePath(name);
        const QString nested = QDir(dir.path()).absoluteFilePath("3d/" + name);
        QCOMPARE(MBDBParser::getBKFilePath(QDir(dir.path()), name, false), ios10 ? nested : flat);
        QVERIFY(!QFileInfo::exists(dir.filePath("3d")));
        MBDBParser::getBKFilePath(QDir(dir.path()), name, true);
        QCOMPARE(QFileInfo(dir.filePath("3d")).isDir(), ios10);
    }

    void readFileHash()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath("f"), "abc");
        QCOMPARE(MBDBParser::readFileHash(dir.filePath("f")).toHex(),
                 QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d"));
        QVERIFY(MBDBParser::readFileHash(dir.filePath("missing")).isEmpty());
        // Several chunks of any size up to 64 KiB, plus one byte: the last,
        // short read counts, and no chunk is hashed twice.
        QByteArray big(3 * 65536 + 1, '\0');
        for (int i = 0; i < big.size(); ++i)
            big[i] = char((i * 7 + i / 251) & 0xff);
        writeBytes(dir.filePath("big"), big);
        QCOMPARE(MBDBParser::readFileHash(dir.filePath("big")),
                 QCryptographicHash::hash(big, QCryptographicHash::Sha1));
        writeBytes(dir.filePath("empty"), QByteArray());
        QCOMPARE(MBDBParser::readFileHash(dir.filePath("empty")).toHex(),
                 QByteArray("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    }

    void order()
    {
        MBDBParser::_MBDBItem a, b;
        a.domain.setVal("HomeDomain");
        b.domain.setVal("MediaDomain");
        QVERIFY(compareMBDBItemLess(a, b));
        b.domain.setVal("HomeDomain");
        a.path.setVal("Library/SMS");
        b.path.setVal("Library");
        QVERIFY(compareMBDBItemLess(b, a));
        QVERIFY(!compareMBDBItemLess(a, b));
        b.path.setVal("library");
        QVERIFY(compareMBDBItemLess(a, b)); // by code unit: upper case first
    }

    void bothGenerationsReadTheSameRecords_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("Manifest.mbdb") << int(Gen::Mbdb);
        QTest::newRow("Manifest.db") << int(Gen::ManifestDb);
    }
    void bothGenerationsReadTheSameRecords()
    {
        QFETCH(int, generation);
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen(generation));
        fixture.add(fullRecord());
        fixture.addFolder("HomeDomain", "Library").mode = 0x41C0;
        fixture.addFile("HomeDomain", "Library/link", "").linkTarget = "/var/mobile/target";
        fixture.addFile("MediaDomain", "Library/SMS/Attachments/ab/x.jpg", "jpeg");
        fixture.write();
        const MBDBParser::Index index = parseFolder(dir.path());
        QCOMPARE(index.size(), 4);
        verifyFullRecord(index.value(kSmsName));
        const auto folder = index.value(BackupFixture::storedName("HomeDomain", "Library"));
        QCOMPARE(folder.mode, quint16(0x41C0));
        QVERIFY(folder.isFolder());
        QCOMPARE(index.value(BackupFixture::storedName("HomeDomain", "Library/link")).linkTarget.toString(),
                 QStringLiteral("/var/mobile/target"));
        // The stored file is where the generation keeps it.
        const QString stored = MBDBParser::getBKFilePath(QDir(dir.path()), kSmsName, false);
        QCOMPARE(MBDBParser::readFileHash(stored), QCryptographicHash::hash("database", QCryptographicHash::Sha1));
    }

    void mbdbRecordsAndProperties()
    {
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen::Mbdb);
        BackupFixtureRecord& r = fixture.addFile("HomeDomain", "a", "x");
        r.inodeHigh = 7;
        r.properties = {{"com.apple.a", "1"}, {"com.apple.b", QByteArray("\0\1", 2)}};
        fixture.write();
        const auto item = parseFolder(dir.path()).value(BackupFixture::storedName("HomeDomain", "a"));
        QCOMPARE(item.inodeHigh, 7u);
        QCOMPARE(item.properties.size(), 2);
        QCOMPARE(item.properties[1].name.toString(), QStringLiteral("com.apple.b"));
        QCOMPARE(item.properties[1].value.data, QByteArray("\0\1", 2));
    }

    // Whole and damaged Manifest.mbdb files: the records read, or the error.
    void mbdbBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("paths"); // of the records read, sorted
        QTest::addColumn<QString>("error");     // empty: no error expected

        BackupFixtureRecord a;
        a.domain = "HomeDomain";
        a.path = "a";
        BackupFixtureRecord b = a;
        b.path = "b";
        const QByteArray header = BackupFixture::mbdbHeader();
        const QByteArray recA = BackupFixture::mbdbRecord(a);
        const QByteArray recB = BackupFixture::mbdbRecord(b);

        QTest::newRow("empty file") << QByteArray() << QStringList() << QString();
        QTest::newRow("header only") << header << QStringList() << QString();
        QTest::newRow("short header, never checked") << QByteArray("xy") << QStringList() << QString();
        QTest::newRow("two records") << header + recA + recB << QStringList{"a", "b"} << QString();

        BackupFixtureRecord absent = a;
        absent.domain = QString();
        QTest::newRow("absent domain dropped, next read")
            << header + BackupFixture::mbdbRecord(absent) + recB << QStringList{"b"} << QString();
        BackupFixtureRecord zeroLength = a;
        zeroLength.domain = QString("");
        QTest::newRow("length 0 is absent and consumes nothing")
            << header + BackupFixture::mbdbRecord(zeroLength) + recB << QStringList{"b"} << QString();

        QByteArray highCount = recA;
        highCount[highCount.size() - 1] = char(0x80); // property count byte
        QTest::newRow("property count 0x80 means none") << header + highCount + recB << QStringList{"a", "b"} << QString();

        const int sizeOffset = 6 + recA.size() - 10; // the 8-byte size field of the first record
        QTest::newRow("ends inside the size")
            << (header + recA).left(sizeOffset + 3) << QStringList()
            << QString("Manifest.mbdb ends unexpectedly at offset %1.").arg(sizeOffset);
        QTest::newRow("ends inside a length")
            << header + recA + QByteArray("\x00", 1) << QStringList()
            << QString("Manifest.mbdb ends unexpectedly at offset %1.").arg(6 + recA.size());
        QTest::newRow("ends right after a length")
            << header + QByteArray("\x00\x05", 2) << QStringList()
            << QString("Manifest.mbdb ends unexpectedly at offset 8.");

        // A hostile length claims far more than the file holds: only what is
        // there is taken, and the record then ends inside its next field.
        QTest::newRow("length beyond the end")
            << header + QByteArray("\xFF\xFE", 2) + QByteArray("HomeDomain") << QStringList()
            << QString("Manifest.mbdb ends unexpectedly at offset 18.");
    }
    void mbdbBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, paths);
        QFETCH(QString, error);
        QTemporaryDir dir;
        writeBytes(dir.filePath("Manifest.mbdb"), bytes);
        if (!error.isEmpty()) {
            QCOMPARE(parseError(dir.path()), error);
            return;
        }
        QStringList read;
        for (const auto& item : parseFolder(dir.path()))
            read << item.path.toString();
        read.sort();
        QCOMPARE(read, paths);
    }

    void mbdbLastStringCutShortKeepsItsBytes()
    {
        // The last string of the last record is the value of its only property.
        BackupFixtureRecord r;
        r.domain = "HomeDomain";
        r.path = "a";
        r.properties = {{"name", "value"}};
        const QByteArray bytes = BackupFixture::mbdbHeader() + BackupFixture::mbdbRecord(r);
        QTemporaryDir dir;
        writeBytes(dir.filePath("Manifest.mbdb"), bytes.left(bytes.size() - 2));
        const auto item = parseFolder(dir.path()).value(BackupFixture::storedName("HomeDomain", "a"));
        QCOMPARE(item.properties.size(), 1);
        QCOMPARE(item.properties[0].value.data, QByteArray("val"));
        QCOMPARE(item.properties[0].value.length, quint16(5));
    }

    void duplicatesLaterWins_data() { bothGenerationsReadTheSameRecords_data(); }
    void duplicatesLaterWins()
    {
        QFETCH(int, generation);
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen(generation));
        fixture.addFile("HomeDomain", "a", "x").userId = 1;
        fixture.addFile("HomeDomain", "a", "x").userId = 2;
        fixture.write();
        const auto index = parseFolder(dir.path());
        QCOMPARE(index.size(), 1);
        QCOMPARE(index.begin()->userId, 2u);
    }

    void missingOrBrokenIndex()
    {
        QTemporaryDir dir;
        QCOMPARE(parseError(dir.path()), QStringLiteral("No such file or directory"));
        QDir(dir.path()).mkdir("Manifest.mbdb"); // a folder where the index should be
        QVERIFY(parseError(dir.path()) != QStringLiteral("(no error)"));
        QTemporaryDir db;
        writeBytes(db.filePath("Manifest.db"), "this is not a database at all, not even close........");
        QVERIFY(parseError(db.path()).contains("not a database"));
    }

    void manifestDbRows()
    {
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen::ManifestDb);
        BackupFixtureRecord wrapped = fullRecord();
        wrapped.dataAsDictionary = true;
        fixture.add(wrapped);
        fixture.addFile("", "Library/no-domain", "x");
        fixture.addFile("HomeDomain", "not-an-archive", "x").fileColumn = QByteArray("garbage");
        fixture.addFile("HomeDomain", "empty-blob", "x").fileColumn = QByteArray();
        fixture.write();
        const auto index = parseFolder(dir.path());
        QCOMPARE(index.size(), 3);
        verifyFullRecord(index.value(kSmsName));
        for (const char* path : {"not-an-archive", "empty-blob"}) {
            const auto item = index.value(BackupFixture::storedName("HomeDomain", path));
            QCOMPARE(item.path.toString(), QString(path));
            QCOMPARE(item.mode, quint16(0));
            QCOMPARE(item.size, 0);
            QVERIFY(!item.digest.isValid());
        }
    }

    // The rows are decoded in batches on several threads and entered in row
    // order: any shape reads the index that one batch on one thread reads,
    // with a row that repeats an earlier one across batches, rows without a
    // domain, archives that only the object road reads, and enciphered rows.
    void manifestDbReadShapes_data()
    {
        QTest::addColumn<int>("rowsPerBatch");
        QTest::addColumn<int>("workers");
        QTest::addColumn<bool>("enciphered");
        for (const bool enciphered : {false, true}) {
            QTest::addRow("1 row, 1 worker%s", enciphered ? ", enciphered" : "") << 1 << 1 << enciphered;
            QTest::addRow("3 rows, 2 workers%s", enciphered ? ", enciphered" : "") << 3 << 2 << enciphered;
            QTest::addRow("7 rows, 6 workers%s", enciphered ? ", enciphered" : "") << 7 << 6 << enciphered;
        }
    }
    void manifestDbReadShapes()
    {
        QFETCH(int, rowsPerBatch);
        QFETCH(int, workers);
        QFETCH(bool, enciphered);
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen::ManifestDb);
        for (int i = 0; i < 60; ++i) {
            BackupFixtureRecord r = fullRecord();
            r.path = QStringLiteral("Library/file-%1").arg(i % 45); // the last 15 repeat earlier rows
            r.userId = quint32(i);
            r.dataAsDictionary = i % 3 == 0;
            if (i % 11 == 5)
                r.fileColumn = QByteArray("not a property list");
            if (i % 13 == 7)
                r.domain = QString(); // no domain: not read
            if (enciphered)
                r.fileColumn = encipheredColumn(r.fileColumn.value_or(BackupFixture::mbfileArchive(r)));
            fixture.add(r);
        }
        if (enciphered)
            fixture.setManifestDbProperty("salt", kSalt);
        fixture.write();
        const QString db = dir.filePath("Manifest.db");
        const QString password = enciphered ? QStringLiteral("secret") : QString();
        const MBDBParser::Index whole = g_readManifestDbIndex(db, password, {1000, 1});
        const MBDBParser::Index shaped = g_readManifestDbIndex(db, password, {rowsPerBatch, workers});
        QCOMPARE(whole.size(), 45 - 2); // file-20 and file-33 are only in rows without a domain
        QCOMPARE(shaped.size(), whole.size());
        for (qsizetype r = 0; r < whole.size(); ++r) {
            QCOMPARE(shaped.name(r), whole.name(r));
            QVERIFY2(sameRecord(shaped.item(r), whole.item(r)), qPrintable(whole.name(r)));
        }
        // The later of two rows wins, and an archive that is no property
        // list leaves its record's numbers at 0.
        const auto repeated = whole.value(BackupFixture::storedName("HomeDomain", "Library/file-2"));
        QCOMPARE(repeated.userId, 47u);
        QCOMPARE(repeated.digest.data, fullRecord().digest);
        QCOMPARE(whole.value(BackupFixture::storedName("HomeDomain", "Library/file-16")).mode, quint16(0));
        QCOMPARE(whole.value(BackupFixture::storedName("HomeDomain", "Library/file-17")).mode, fullRecord().mode);
    }

    // A row whose enciphered archive cannot be deciphered fails the reading,
    // wherever it stands among the batches.
    void manifestDbBadRowFailsTheReading()
    {
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen::ManifestDb);
        for (int i = 0; i < 40; ++i) {
            BackupFixtureRecord r = fullRecord();
            r.path = QStringLiteral("Library/file-%1").arg(i);
            r.fileColumn = i == 23 ? QByteArray("AAAA") // three bytes: no whole cipher block
                                   : encipheredColumn(BackupFixture::mbfileArchive(r));
            fixture.add(r);
        }
        fixture.setManifestDbProperty("salt", kSalt);
        fixture.write();
        for (const ManifestDbReadShape shape : {ManifestDbReadShape{1000, 1}, ManifestDbReadShape{3, 4}}) {
            QString error;
            try {
                g_readManifestDbIndex(dir.filePath("Manifest.db"), "secret", shape);
            } catch (const std::runtime_error& e) {
                error = QString::fromUtf8(e.what());
            }
            QVERIFY2(error.contains("size % 16"), qPrintable(error));
        }
    }

    // Only the columns read are asked for, wherever the table puts them; one
    // it lacks reads as empty.
    void manifestDbColumnsInAnyOrderOrAbsent_data()
    {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("path");
        QTest::newRow("other order, extra columns") << "flags, relativePath, extra, DOMAIN, fileID" << "a/b";
        QTest::newRow("no relativePath") << "domain, flags" << "";
    }
    void manifestDbColumnsInAnyOrderOrAbsent()
    {
        QFETCH(QString, columns);
        QFETCH(QString, path);
        QTemporaryDir dir;
        Sqlite3DB db;
        db.openThrow(dir.filePath("Manifest.db"), Sqlite3DB::ReadWriteCreate);
        db.executeThrow(Sqlite3Sql(QStringLiteral("create table Files (%1)").arg(columns)));
        Sqlite3Row row;
        row["domain"] = QStringLiteral("HomeDomain");
        if (!path.isEmpty())
            row["relativePath"] = path;
        row["flags"] = 1;
        db.executeThrow(row.insertSql(QStringLiteral("Files")));
        db.close();
        const auto index = parseFolder(dir.path());
        QCOMPARE(index.size(), 1);
        const auto item = index.value(MBDBParser::getFileHashName("HomeDomain", path));
        QCOMPARE(item.domain.toString(), QStringLiteral("HomeDomain"));
        QCOMPARE(item.path.toString(), path);
        QCOMPARE(item.mode, quint16(0));
    }

    void manifestDbEncipheredFileColumn()
    {
        QCOMPARE(MBDBParser::fileDescKey("secret", kSalt).size(), 16);
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen::ManifestDb);
        BackupFixtureRecord r = fullRecord();
        r.fileColumn = encipheredColumn(BackupFixture::mbfileArchive(r));
        fixture.add(r);
        fixture.setManifestDbProperty("salt", kSalt);
        fixture.write();
        verifyFullRecord(parseFolder(dir.path(), "secret").value(kSmsName));
        // Without the password the enciphered column is no archive: numbers read 0.
        QCOMPARE(parseFolder(dir.path()).value(kSmsName).mode, quint16(0));
    }

    void manifestDbWithoutSaltIsPlain()
    {
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), Gen::ManifestDb);
        fixture.add(fullRecord());
        fixture.write();
        verifyFullRecord(parseFolder(dir.path(), "secret").value(kSmsName));
    }

    void cipher()
    {
        const QByteArray key(16, 'k');
        QCOMPARE(MBDBParser::encryptFileDescThrow(QByteArray(16, 'a'), key).size(), 32);
        QCOMPARE(MBDBParser::encryptFileDescThrow(QByteArray(), key).size(), 16);
        for (int n : {0, 1, 15, 16, 17, 100}) {
            const QByteArray plain(n, 'p');
            QCOMPARE(MBDBParser::decryptFileDescThrow(MBDBParser::encryptFileDescThrow(plain, key), key), plain);
        }
        QVERIFY(MBDBParser::decryptFileDescThrow(QByteArray(), key).isEmpty());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, MBDBParser::decryptFileDescThrow(QByteArray(17, 'x'), key));
        try {
            MBDBParser::decryptFileDescThrow(QByteArray(17, 'x'), key);
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), QStringLiteral("MBDBParser::decryptFileDesc, size % 16 != 0."));
        }
        try {
            MBDBParser::encryptFileDescThrow("x", QByteArray(5, 'k'));
            QFAIL("a 5-byte key was accepted");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), QStringLiteral("MBDBParser::encryptFileDesc, aes_crypt_cbc failed."));
        }
    }

    // A last plaintext byte outside 1..16 leaves the plaintext whole.
    void cipherBadPadding_data()
    {
        QTest::addColumn<char>("last");
        QTest::addColumn<int>("kept");
        QTest::newRow("0") << char(0) << 32;
        QTest::newRow("0x80") << char(0x80) << 32;
        QTest::newRow("0x20") << char(0x20) << 0; // 32 bytes of plaintext: all dropped
        QTest::newRow("3") << char(3) << 29;
    }
    void cipherBadPadding()
    {
        QFETCH(char, last);
        QFETCH(int, kept);
        const QByteArray key(16, 'k');
        QByteArray plain(32, 'p');
        plain[31] = last;
        // Encipher 32 bytes and drop the padding block to get a ciphertext
        // whose plaintext ends in `last` (CBC: earlier blocks do not depend on later ones).
        const QByteArray cipher = MBDBParser::encryptFileDescThrow(plain, key).left(32);
        QCOMPARE(MBDBParser::decryptFileDescThrow(cipher, key), plain.left(kept));
    }
};

QTEST_GUILESS_MAIN(TestMBDBParser)
#include "tst_mbdbparser.moc"
