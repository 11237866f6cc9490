// Writing a backup's file index: entering stored files with appendFile, the
// MBFile archive, Manifest.mbdb byte for byte against the independent fixture
// builder, and round trips of both generations, plain and encrypted, through
// the reader.
#include "data_path_util.h"
#include "backupwritetransaction.h"
#include "encryptedbackupfixture.h"
#include "backupmanifest.h"
#include "cftype.h"
#include "mbdbfilewriter.h"
#include "mbdbparser.h"
#include "mobiledevice_loader.h"
#include "sqlitedb.h"
#include "temphome.h"

#include <QtTest>

namespace {

using Generation = BackupFixture::Generation;
using Item = MBDBParser::_MBDBItem;

const QString kPassword = QStringLiteral("pw");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

Item record(const QString& domain, const QString& path, quint16 mode, quint64 inode)
{
    Item item;
    item.domain.setVal(domain.toUtf8());
    item.path.setVal(path.toUtf8());
    item.mode = mode;
    item.inode = inode;
    return item;
}

// Every field the Manifest.db archive keeps (all but the link target, the
// inode's upper word and the properties) and, for Manifest.mbdb, those too.
void compareItems(const Item& actual, const Item& expected, bool mbdb)
{
    QCOMPARE(actual.domain.toString(), expected.domain.toString());
    QCOMPARE(actual.path.toString(), expected.path.toString());
    QCOMPARE(actual.digest.data, expected.digest.data);
    QCOMPARE(actual.encryptionKey.data, expected.encryptionKey.data);
    QCOMPARE(actual.mode, expected.mode);
    QCOMPARE(actual.inode, expected.inode);
    QCOMPARE(actual.userId, expected.userId);
    QCOMPARE(actual.groupId, expected.groupId);
    QCOMPARE(actual.lastModified, expected.lastModified);
    QCOMPARE(actual.lastStatusChange, expected.lastStatusChange);
    QCOMPARE(actual.birth, expected.birth);
    QCOMPARE(actual.size, expected.size);
    QCOMPARE(actual.protectionClass, expected.protectionClass);
    if (mbdb) {
        QCOMPARE(actual.linkTarget.data, expected.linkTarget.data);
        QCOMPARE(actual.inodeHigh, expected.inodeHigh);
        QCOMPARE(actual.properties.size(), expected.properties.size());
    }
}

QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class TestMbdbWriter : public QObject
{
    Q_OBJECT

    // An unlocked encrypted index is decrypted into the data folder.
    TempHome m_home;

private slots:
    void initTestCase();
    void appendNewFileAddsMissingFolders();
    void appendBelowListedFolder();
    void appendExistingFile();
    void appendEmptyDomain();
    void archiveLayout_data();
    void archiveLayout();
    void mbdbBytesMatchFixtureBuilder();
    void roundTrip_data();
    void roundTrip();
    void mbdbLimitsFailBeforeWriting_data();
    void mbdbLimitsFailBeforeWriting();
    void failedStatementLeavesIndex();
    void damagedJournalIsRefused();
};

void TestMbdbWriter::initTestCase()
{
    g_resetDataSaveDirForTests();
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
}

void TestMbdbWriter::appendNewFileAddsMissingFolders()
{
    QTemporaryDir dir;
    const QString stored = dir.filePath("stored");
    writeFile(stored, "0123456789");
    const QDateTime mtime = QDateTime::fromSecsSinceEpoch(1650000000);
    {
        QFile f(stored);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
    }
    MBDBParser::Index index;
    index.insert("x", record("CameraRollDomain", "Media", 0x41ED, 41));
    MBDBParser::appendFile(index, stored, "HomeDomain", "Library/SMS/sms.db", 0, nullptr);

    QCOMPARE(index.size(), 4);
    const Item sms = index.value(MBDBParser::getFileHashName("HomeDomain", "Library/SMS"));
    const Item library = index.value(MBDBParser::getFileHashName("HomeDomain", "Library"));
    const Item file = index.value(MBDBParser::getFileHashName("HomeDomain", "Library/SMS/sms.db"));
    QCOMPARE(sms.inode, quint64(42));
    QCOMPARE(library.inode, quint64(43));
    QCOMPARE(file.inode, quint64(44));
    for (const Item& folder : {sms, library}) {
        QCOMPARE(folder.mode, quint16(0x41C0));
        QVERIFY(!folder.digest.isValid());
        QCOMPARE(folder.size, qint64(0));
        QCOMPARE(folder.protectionClass, qint8(4));
        QVERIFY(folder.isNew && !folder.isModified);
    }
    QCOMPARE(file.mode, quint16(0x81A4));
    QCOMPARE(file.userId, 501u);
    QCOMPARE(file.groupId, 501u);
    QCOMPARE(file.size, qint64(10)); // taken from the stored file
    QCOMPARE(file.digest.data, QCryptographicHash::hash("0123456789", QCryptographicHash::Sha1));
    QCOMPARE(file.lastModified, 1650000000u);
    QCOMPARE(file.lastStatusChange, 1650000000u);
    QVERIFY(file.birth > 0);
    QCOMPARE(file.protectionClass, qint8(4));
    QVERIFY(!file.encryptionKey.isValid());
    QVERIFY(file.isNew && !file.isModified && !file.isRemoved);
}

void TestMbdbWriter::appendBelowListedFolder()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("s"), "abc");
    MBDBParser::Index index;
    // "Library" is missing, but the direct parent is listed: no folder is made.
    index.insert(MBDBParser::getFileHashName("MediaDomain", "Library/SMS"), record("MediaDomain", "Library/SMS", 0x41ED, 7));
    qint64 counter = -1;
    MBDBParser::appendFile(index, dir.filePath("s"), "MediaDomain", "Library/SMS/a.jpg", 99, nullptr, &counter);
    MBDBParser::appendFile(index, dir.filePath("s"), "MediaDomain", "/b.jpg", 5, nullptr, &counter);
    QCOMPARE(index.size(), 3);
    QCOMPARE(index.value(MBDBParser::getFileHashName("MediaDomain", "Library/SMS/a.jpg")).size, qint64(99));
    QCOMPARE(index.value(MBDBParser::getFileHashName("MediaDomain", "/b.jpg")).inode, quint64(9));
    QCOMPARE(counter, qint64(9));
}

void TestMbdbWriter::appendExistingFile()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("s"), "new contents");
    MBDBParser::Index index;
    Item old = record("HomeDomain", "Library/SMS/sms.db", 0x81B0, 12);
    old.userId = 7;
    old.size = 3;
    old.protectionClass = 2;
    const QString name = old.backupFileName();
    index.insert(name, old);
    index.insert(MBDBParser::getFileHashName("HomeDomain", "Library/SMS"), record("HomeDomain", "Library/SMS", 0x41ED, 2));
    Item tmpl = record("HomeDomain", "other", 0x81A4, 1);
    tmpl.protectionClass = 3;
    tmpl.encryptionKey.setVal(QByteArray(44, 'k'));

    MBDBParser::appendFile(index, dir.filePath("s"), "HomeDomain", "Library/SMS/sms.db", 12, &tmpl);
    QCOMPARE(index.size(), 2);
    const Item updated = index.value(name);
    QVERIFY(updated.isModified && !updated.isNew);
    QCOMPARE(updated.mode, quint16(0x81B0));
    QCOMPARE(updated.inode, quint64(12));
    QCOMPARE(updated.userId, 7u);
    // The size follows the file that is stored now.
    QCOMPARE(updated.size, qint64(12));
    QCOMPARE(updated.protectionClass, qint8(3));
    QCOMPARE(updated.encryptionKey.data, QByteArray(44, 'k'));
    QCOMPARE(updated.digest.data, QCryptographicHash::hash("new contents", QCryptographicHash::Sha1));
}

void TestMbdbWriter::appendEmptyDomain()
{
    MBDBParser::Index index;
    MBDBParser::appendFile(index, "/nonexistent", QString(), "a/b", 1, nullptr);
    QVERIFY(index.isEmpty());
}

void TestMbdbWriter::archiveLayout_data()
{
    QTest::addColumn<bool>("digest");
    QTest::addColumn<bool>("key");
    QTest::addColumn<int>("objects");
    QTest::newRow("neither") << false << false << 4;
    QTest::newRow("digest") << true << false << 5;
    QTest::newRow("key") << false << true << 6;
    QTest::newRow("both") << true << true << 7;
}

void TestMbdbWriter::archiveLayout()
{
    QFETCH(bool, digest);
    QFETCH(bool, key);
    QFETCH(int, objects);
    Item item = record("HomeDomain", "Library/x", 0x81A4, 0x123456789LL);
    if (digest)
        item.digest.setVal(QByteArray(20, 'd'));
    if (key)
        item.encryptionKey.setVal(QByteArray(44, 'k'));
    item.protectionClass = -3;
    item.size = 1LL << 40;
    item.birth = 0xF0000000u;

    const CFType archive = CFType::createCFPropertyList(MBDBParser::mbFilePlist(item));
    const CFType list = archive.get("$objects");
    QCOMPARE(int(list.array_size()), objects);
    QCOMPARE(list.at(objects - 1).get("$classname").CFStringQString(), QStringLiteral("MBFile"));
    QCOMPARE(list.at(2).CFStringQString(), QStringLiteral("Library/x"));
    if (key) {
        QCOMPARE(list.at(3 + digest).get("NS.data").CFDataBytes(), QByteArray(44, 'k'));
        QCOMPARE(int(list.at(3 + digest).get("$class").CFKeyedArchiverUIDGetValue()), 4 + digest);
        QCOMPARE(list.at(4 + digest).get("$classname").CFStringQString(), QStringLiteral("NSMutableData"));
    }
    QCOMPARE(archive.get("$archiver").CFStringQString(), QStringLiteral("NSKeyedArchiver"));
    QCOMPARE(archive.get("$version").CFNumberInt(0), 100000);

    // The reader of the earlier index code gets every field back.
    const QHash<QString, CFType> root = archive.NSKeyedArchiver();
    QCOMPARE(root.value("InodeNumber").CFNumberInt64(0), 0x123456789LL);
    QCOMPARE(root.value("ProtectionClass").CFNumberInt(0), -3);
    QCOMPARE(root.value("Size").CFNumberInt64(0), 1LL << 40);
    QCOMPARE(quint32(root.value("Birth").CFNumberInt(0)), 0xF0000000u);
}

// The writer's bytes equal those of the fixture builder, which shares no
// code with it, and the records come out sorted by domain, then path.
void TestMbdbWriter::mbdbBytesMatchFixtureBuilder()
{
    BackupFixtureRecord a;
    a.domain = "HomeDomain";
    a.path = "Library/SMS/sms.db";
    a.linkTarget = "target";
    a.digest = QByteArray(20, '\x01');
    a.encryptionKey = QByteArray(44, '\x02');
    a.inodeHigh = 3;
    a.inode = 0x01020304;
    a.size = 1234567890123LL;
    a.protectionClass = -2;
    a.properties = {{"name", "value"}, {"n2", "v2"}};
    BackupFixtureRecord b;
    b.domain = "AppDomain-x";
    b.path = "Documents";
    b.mode = 0x41ED;
    b.size = 0;

    QTemporaryDir dir;
    BackupFixture fixture(dir.filePath("fixture"), Generation::Mbdb);
    fixture.add(a);
    fixture.add(b);
    fixture.write(false);
    BackupManifest read(fixture.folder());
    const MBDBParser::Index index = MBDBParser::parse(read);

    const QString path = dir.filePath("Manifest.mbdb");
    QList<Item> items = index.values();
    Item removed = record("ZDomain", "gone", 0x81A4, 9);
    removed.isRemoved = true;
    items.prepend(removed);
    g_writeMbdbIndex(path, items);
    QCOMPARE(readFile(path).toHex(),
             (BackupFixture::mbdbHeader() + BackupFixture::mbdbRecord(b) + BackupFixture::mbdbRecord(a)).toHex());
}

void TestMbdbWriter::roundTrip_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<int>("encryption"); // 0 none, 1 encrypted files, 2 encrypted Manifest.db, 3 enciphered `file` column
    QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << 0;
    QTest::newRow("Manifest.mbdb, encrypted") << int(Generation::Mbdb) << 1;
    QTest::newRow("Manifest.db") << int(Generation::ManifestDb) << 0;
    QTest::newRow("Manifest.db, encrypted files") << int(Generation::ManifestDb) << 1;
    QTest::newRow("Manifest.db, encrypted index") << int(Generation::ManifestDb) << 2;
    QTest::newRow("Manifest.db, enciphered records") << int(Generation::ManifestDb) << 3;
}

void TestMbdbWriter::roundTrip()
{
    QFETCH(int, generation);
    QFETCH(int, encryption);
    QTemporaryDir dir;
    BackupFixture fixture(dir.path(), Generation(generation));
    fixture.addFolder("HomeDomain", "Library");
    fixture.addFolder("HomeDomain", "Library/SMS");
    fixture.addFile("HomeDomain", "Library/SMS/sms.db", "old database");
    fixture.addFile("MediaDomain", "Library/SMS/Attachments/old.jpg", "old picture");
    fixture.addFile("HomeDomain", "Library/Notes/notes.sqlite", "notes");
    QByteArray salt;
    if (encryption == 3) {
        salt = "salt-of-the-index";
        fixture.setManifestDbProperty("salt", salt);
        const QByteArray key = MBDBParser::fileDescKey(kPassword.toUtf8(), salt);
        for (BackupFixtureRecord& r : fixture.records)
            r.fileColumn = MBDBParser::encryptFileDescThrow(BackupFixture::mbfileArchive(r), key).toBase64();
    }
    QByteArray manifestKey;
    if (encryption == 1 || encryption == 2) {
        KeybagFixture keybag(kPassword, 10, encryption == 2 ? 5 : 0);
        keybag.addClass(EncryptedBackupFixture::kFileClass);
        manifestKey = EncryptedBackupFixture::write(fixture, keybag, BackupFixtureManifest());
    } else {
        fixture.write();
        fixture.writeManifest(BackupFixtureManifest());
    }

    auto open = [&] {
        auto backup = std::make_unique<BackupManifest>(dir.path());
        backup->readManifestInfo();
        if (encryption == 3)
            backup->password = kPassword;
        else if (backup->info.IsEncrypted)
            [&] { QVERIFY(backup->setPasscodeNoUIThrow(kPassword)); }();
        return backup;
    };
    auto backup = open();
    QCOMPARE(backup->manifestKey, manifestKey);
    MBDBParser::Index index = MBDBParser::parse(*backup);
    QCOMPARE(index.size(), 5);

    const QString stored = dir.filePath("new-file");
    writeFile(stored, "a new attachment");
    MBDBParser::appendFile(index, stored, "MediaDomain", "Library/SMS/Attachments/ab/new.jpg", 0, nullptr);
    MBDBParser::appendFile(index, stored, "HomeDomain", "Library/SMS/sms.db", 16, nullptr);
    const QString notesName = MBDBParser::getFileHashName("HomeDomain", "Library/Notes/notes.sqlite");
    Item notes = index.value(notesName);
    notes.isRemoved = true;
    index.insert(notesName, notes);
    MBDBParser::save2File(index.values(), *backup);

    QVERIFY(!QFileInfo::exists(BackupWriteTransaction::journalPath(QDir(dir.path()))));
    QVERIFY(QDir(dir.path()).entryList({"*.qsmerge-new"}).isEmpty());
    const QStringList baks = QDir(dir.path()).entryList({"Manifest.db-bak*"});
    QCOMPARE(baks.size(), encryption == 2 ? 1 : 0);

    backup = open();
    const MBDBParser::Index back = MBDBParser::parse(*backup);
    int removed = 0;
    for (const Item& item : index)
        removed += item.isRemoved;
    QCOMPARE(back.size(), index.size() - removed);
    for (auto it = index.cbegin(); it != index.cend(); ++it) {
        if (it->isRemoved) {
            QVERIFY(!back.contains(it.key()));
            continue;
        }
        QVERIFY2(back.contains(it.key()), qPrintable(it->path.toString()));
        compareItems(back.value(it.key()), it.value(), generation == int(Generation::Mbdb));
        if (QTest::currentTestFailed())
            return;
    }
}

void TestMbdbWriter::mbdbLimitsFailBeforeWriting_data()
{
    QTest::addColumn<int>("pathBytes");
    QTest::addColumn<int>("properties");
    QTest::addColumn<bool>("fits");
    QTest::newRow("longest path") << 65534 << 0 << true;
    QTest::newRow("path of 65535 bytes") << 65535 << 0 << false;
    QTest::newRow("path of 65536 bytes") << 65536 << 0 << false;
    QTest::newRow("127 properties") << 10 << 127 << true;
    QTest::newRow("128 properties") << 10 << 128 << false;
}

void TestMbdbWriter::mbdbLimitsFailBeforeWriting()
{
    QFETCH(int, pathBytes);
    QFETCH(int, properties);
    QFETCH(bool, fits);
    QTemporaryDir dir;
    BackupFixture fixture(dir.path(), Generation::Mbdb);
    fixture.addFile("HomeDomain", "Library/a", "a");
    fixture.write();
    const QByteArray before = readFile(dir.filePath("Manifest.mbdb"));

    BackupManifest backup(dir.path());
    MBDBParser::Index index = MBDBParser::parse(backup);
    Item big = record("HomeDomain", QString(pathBytes, 'p'), 0x81A4, 5);
    for (int i = 0; i < properties; ++i) {
        MBDBParser::_MBDBProperty property;
        property.name.setVal("n");
        property.value.setVal("v");
        big.properties.append(property);
    }
    big.isNew = true;
    index.insert("big", big);
    const QString error = errorOf([&] { MBDBParser::save2File(index.values(), backup); });
    QCOMPARE(error.isEmpty(), fits);
    if (!fits) {
        QVERIFY2(error.contains("does not fit in Manifest.mbdb"), qPrintable(error));
        QCOMPARE(readFile(dir.filePath("Manifest.mbdb")), before);
    } else {
        QCOMPARE(MBDBParser::parse(backup).value(big.backupFileName()).properties.size(), properties);
    }
    QVERIFY(QDir(dir.path()).entryList({"*.qsmerge-new"}).isEmpty());
}

// A statement that fails commits nothing, and the index stays as it was.
void TestMbdbWriter::failedStatementLeavesIndex()
{
    QTemporaryDir dir;
    BackupFixture fixture(dir.path(), Generation::ManifestDb);
    fixture.addFile("HomeDomain", "Library/a", "a");
    fixture.write();
    BackupManifest backup(dir.path());
    MBDBParser::Index index = MBDBParser::parse(backup);
    {
        Sqlite3DB db;
        db.openThrow(dir.filePath("Manifest.db"), Sqlite3DB::ReadWrite);
        db.executeThrow("create trigger refuse before insert on Files when new.relativePath = 'b' "
                        "begin select raise(abort, 'refused'); end");
    }
    const QByteArray before = readFile(dir.filePath("Manifest.db"));
    for (auto it = index.begin(); it != index.end(); ++it) {
        Item modified = *it;
        modified.isModified = true;
        index.insert(it.key(), modified);
    }
    writeFile(dir.filePath("s"), "b");
    MBDBParser::appendFile(index, dir.filePath("s"), "HomeDomain", "b", 0, nullptr);
    QCOMPARE(errorOf([&] { MBDBParser::save2File(index.values(), backup); }), QStringLiteral("refused"));
    QCOMPARE(readFile(dir.filePath("Manifest.db")), before);
    QVERIFY(QDir(dir.path()).entryList({"*.qsmerge-new"}).isEmpty());
}

// A journal of the backup folder is untrusted: it may not name paths outside.
void TestMbdbWriter::damagedJournalIsRefused()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("b");
    const QDir backup(dir.filePath("b"));
    writeFile(dir.filePath("outside"), "keep");
    writeFile(backup.filePath("x"), "x");
    writeFile(BackupWriteTransaction::journalPath(backup), "qsmerge 1\nx\t../outside\n");
    QVERIFY(errorOf([&] { BackupWriteTransaction::recoverThrow(backup); }).contains("damaged"));
    QCOMPARE(readFile(dir.filePath("outside")), QByteArray("keep"));
}

QTEST_MAIN(TestMbdbWriter)
#include "tst_mbdbwriter.moc"
