// The backup-file cache: copying (and decrypting) a backup's message and
// address-book folders into the cache layout, skipping what an earlier run
// copied from an unchanged record, and removing the cache on cancel or failure.
#include "bkcachedb.h"
#include "data_path_util.h"
#include "encryptedbackupfixture.h"
#include "itunescachesmsthread.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "progressform.h"
#include "progressrunner.h"
#include "translation.h"
#include "temphome.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

using Generation = BackupFixture::Generation;

const QString kPassword = QStringLiteral("secret");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A backup with the two folders, an attachment below SMS, a file whose name
// loses characters when cleaned, and a file outside both folders.
struct CacheFixture
{
    explicit CacheFixture(Generation generation, const QString& sms = "SMS", const QString& library = "Library")
        : backup(dir.path(), generation)
    {
        backup.addFolder("HomeDomain", library);
        backup.addFolder("HomeDomain", library + "/" + sms);
        backup.addFile("HomeDomain", library + "/" + sms + "/sms.db", "messages v1");
        backup.addFolder("MediaDomain", library + "/" + sms + "/Attachments");
        backup.addFile("MediaDomain", library + "/" + sms + "/Attachments/pic:1?.jpg", "jpeg");
        backup.addFolder("HomeDomain", library + "/AddressBook");
        backup.addFile("HomeDomain", library + "/AddressBook/AddressBook.sqlitedb", "contacts");
        backup.addFile("HomeDomain", library + "/Notes/notes.sqlite", "notes");
    }

    void write(bool encrypted = false)
    {
        if (!encrypted) {
            backup.write();
            BackupFixtureManifest manifest;
            manifest.uniqueDeviceId = "udid";
            backup.writeManifest(manifest);
            return;
        }
        KeybagFixture keybag(kPassword, 10, backup.generation() == Generation::ManifestDb ? 5 : 0);
        keybag.addClass(EncryptedBackupFixture::kFileClass);
        EncryptedBackupFixture::write(backup, keybag, BackupFixtureManifest());
    }

    std::unique_ptr<BackupManifest> open() const
    {
        auto manifest = std::make_unique<BackupManifest>(dir.path());
        manifest->readManifestInfo();
        if (manifest->info.IsEncrypted && !manifest->setPasscodeNoUIThrow(kPassword))
            return nullptr;
        manifest->parseInfo();
        return manifest;
    }

    QTemporaryDir dir;
    BackupFixture backup;
};

// The outcome of one cache load behind its dialog, with the boxes shown.
struct CacheRun
{
    bool ok = false;
    QStringList errors;
};

CacheRun runCache(BackupManifest& backup, const QDir& cacheDir)
{
    ModalWatcher watcher;
    ProgressForm form{QString()};
    CacheRun run;
    {
        ITunesCacheSMSThread worker(backup, cacheDir, form);
        run.ok = g_runWithProgress(form, worker);
    }
    for (const ModalWatcher::ShownBox& box : watcher.shown())
        run.errors << box.text;
    return run;
}

QString libraryPath(const QDir& cache, const QString& rest)
{
    return cache.absoluteFilePath("file-relay/var/mobile/Library/" + rest);
}

} // namespace

class TestITunesCacheSMSThread : public QObject
{
    Q_OBJECT

    // An unlocked encrypted index is decrypted into the data folder.
    TempHome m_home;

private slots:
    void initTestCase();
    void copiesBothFolders_data();
    void copiesBothFolders();
    void secondRunCopiesOnlyChangedFiles();
    void missingCachedFileIsCopiedAgain();
    void zeroDateWithoutRowIsCopied();
    void noMessageFolder_data();
    void noMessageFolder();
    void unsafeNamesAreSkipped();
    void cancelRemovesCache();
    void failureRemovesCache();
    void defaultCacheFolder();
    void cacheDbRecordsDates();
};

void TestITunesCacheSMSThread::initTestCase()
{
    g_resetDataSaveDirForTests();
    ::umask(022);
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
}

void TestITunesCacheSMSThread::copiesBothFolders_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QString>("sms");
    QTest::addColumn<QString>("library");
    QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << false << "SMS" << "Library";
    QTest::newRow("Manifest.db") << int(Generation::ManifestDb) << false << "SMS" << "Library";
    QTest::newRow("Manifest.mbdb, encrypted") << int(Generation::Mbdb) << true << "SMS" << "Library";
    QTest::newRow("Manifest.db, encrypted") << int(Generation::ManifestDb) << true << "SMS" << "Library";
    QTest::newRow("names in other case") << int(Generation::Mbdb) << false << "sMs" << "library";
}

void TestITunesCacheSMSThread::copiesBothFolders()
{
    QFETCH(int, generation);
    QFETCH(bool, encrypted);
    QFETCH(QString, sms);
    QFETCH(QString, library);
    CacheFixture f(Generation(generation), sms, library);
    f.write(encrypted);
    auto backup = f.open();
    QVERIFY(backup);
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));

    const CacheRun run = runCache(*backup, cacheDir);
    QVERIFY2(run.ok, qPrintable(run.errors.join("; ")));
    QCOMPARE(readFile(libraryPath(cacheDir, sms + "/sms.db")), QByteArray("messages v1"));
    QCOMPARE(readFile(libraryPath(cacheDir, sms + "/Attachments/pic1.jpg")), QByteArray("jpeg"));
    QCOMPARE(readFile(libraryPath(cacheDir, "AddressBook/AddressBook.sqlitedb")), QByteArray("contacts"));
    QVERIFY(!QFileInfo::exists(libraryPath(cacheDir, "Notes")));
    QCOMPARE(QFileInfo(libraryPath(cacheDir, sms + "/sms.db")).lastModified().toSecsSinceEpoch(), 1500000000);
    QVERIFY(QFileInfo::exists(cacheDir.filePath("manifest.db")));
    // Under the umask 022 of initTestCase: the user's alone.
    for (const QString& folder : {cacheDir.absolutePath(), cacheDir.filePath("file-relay"), libraryPath(cacheDir, sms),
                                  libraryPath(cacheDir, sms + "/Attachments"), libraryPath(cacheDir, "AddressBook")})
        QCOMPARE(modeOf(folder), 0700);
    for (const QString& file : {cacheDir.filePath("manifest.db"), libraryPath(cacheDir, sms + "/sms.db"),
                                libraryPath(cacheDir, sms + "/Attachments/pic1.jpg"),
                                libraryPath(cacheDir, "AddressBook/AddressBook.sqlitedb")})
        QCOMPARE(modeOf(file), 0600);
}

void TestITunesCacheSMSThread::secondRunCopiesOnlyChangedFiles()
{
    CacheFixture f(Generation::ManifestDb);
    f.write();
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));
    QVERIFY(runCache(*f.open(), cacheDir).ok);

    // Mark the copies: a file copied again loses its mark.
    const QString smsCopy = libraryPath(cacheDir, "SMS/sms.db");
    const QString contactsCopy = libraryPath(cacheDir, "AddressBook/AddressBook.sqlitedb");
    for (const QString& path : {smsCopy, contactsCopy}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(" (cached)");
    }
    QVERIFY(runCache(*f.open(), cacheDir).ok);
    QCOMPARE(readFile(smsCopy), QByteArray("messages v1 (cached)"));

    // The message database changes in the backup: only it is copied again.
    for (BackupFixtureRecord& record : f.backup.records)
        if (record.path == "Library/SMS/sms.db") {
            record.contents = "messages v2";
            record.lastModified = 1600000000;
        }
    f.write();
    QVERIFY(runCache(*f.open(), cacheDir).ok);
    QCOMPARE(readFile(smsCopy), QByteArray("messages v2"));
    QCOMPARE(readFile(contactsCopy), QByteArray("contacts (cached)"));

    // Its new date is recorded: a third load copies nothing.
    QFile file(smsCopy);
    QVERIFY(file.open(QIODevice::Append));
    file.write(" (cached)");
    file.close();
    QVERIFY(runCache(*f.open(), cacheDir).ok);
    QCOMPARE(readFile(smsCopy), QByteArray("messages v2 (cached)"));
}

// A copy removed by hand is copied again, though its row still stands.
void TestITunesCacheSMSThread::missingCachedFileIsCopiedAgain()
{
    CacheFixture f(Generation::Mbdb);
    f.write();
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));
    QVERIFY(runCache(*f.open(), cacheDir).ok);
    QVERIFY(QFile::remove(libraryPath(cacheDir, "SMS/sms.db")));
    QVERIFY(runCache(*f.open(), cacheDir).ok);
    QCOMPARE(readFile(libraryPath(cacheDir, "SMS/sms.db")), QByteArray("messages v1"));
}

// "No row" is not a recorded date of 0.
void TestITunesCacheSMSThread::zeroDateWithoutRowIsCopied()
{
    CacheFixture f(Generation::Mbdb);
    for (BackupFixtureRecord& record : f.backup.records)
        record.lastModified = 0;
    f.write();
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));
    QVERIFY(runCache(*f.open(), cacheDir).ok);
    QCOMPARE(readFile(libraryPath(cacheDir, "SMS/sms.db")), QByteArray("messages v1"));
}

void TestITunesCacheSMSThread::noMessageFolder_data()
{
    QTest::addColumn<QString>("sms");
    QTest::addColumn<QString>("library");
    QTest::newRow("no SMS below Library") << "Messages" << "Library";
    QTest::newRow("no Library") << "SMS" << "Documents";
}

void TestITunesCacheSMSThread::noMessageFolder()
{
    QFETCH(QString, sms);
    QFETCH(QString, library);
    CacheFixture f(Generation::Mbdb, sms, library);
    f.write();
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));
    const CacheRun run = runCache(*f.open(), cacheDir);
    QVERIFY(!run.ok);
    QCOMPARE(run.errors.size(), 1);
    QVERIFY(run.errors.first().contains("Found no message database file in this iTunes backup."));
    QVERIFY(!cacheDir.exists());
}

// Names that clean to nothing, "." or ".." could reach outside the cache.
void TestITunesCacheSMSThread::unsafeNamesAreSkipped()
{
    CacheFixture f(Generation::Mbdb);
    f.backup.addFolder("HomeDomain", "Library/SMS/..");
    f.backup.addFile("HomeDomain", "Library/SMS/../escaped", "out");
    f.backup.addFile("HomeDomain", "Library/SMS/.:.", "dots");
    f.backup.addFile("HomeDomain", "Library/SMS/?*", "nothing");
    f.write();
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));
    const CacheRun run = runCache(*f.open(), cacheDir);
    QVERIFY2(run.ok, qPrintable(run.errors.join("; ")));
    QVERIFY(!QFileInfo::exists(libraryPath(cacheDir, "escaped")));
    QCOMPARE(QDir(libraryPath(cacheDir, "SMS")).entryList(QDir::Files), QStringList({"sms.db"}));
}

void TestITunesCacheSMSThread::cancelRemovesCache()
{
    CacheFixture f(Generation::Mbdb);
    f.write();
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));
    auto backup = f.open();
    QVERIFY(runCache(*backup, cacheDir).ok);

    ProgressForm form{QString()};
    form.cancelled = true;
    {
        ITunesCacheSMSThread worker(*backup, cacheDir, form);
        worker.start();
        QVERIFY(worker.wait());
    }
    QVERIFY(!cacheDir.exists());
}

// A stored file that does not decrypt ends the run and takes the cache with it.
void TestITunesCacheSMSThread::failureRemovesCache()
{
    CacheFixture f(Generation::Mbdb);
    f.write(true);
    auto backup = f.open();
    QVERIFY(backup);
    QTemporaryDir cache;
    const QDir cacheDir(cache.filePath("c"));
    QVERIFY(runCache(*backup, cacheDir).ok);
    const QString stored = MBDBParser::getBKFilePath(
        backup->dir, MBDBParser::getFileHashName("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"), false);
    QFile file(stored);
    QVERIFY(file.open(QIODevice::Append));
    file.write("xyz");
    file.close();
    // Without its copy the file is read again, and now fails to decrypt.
    QVERIFY(QFile::remove(libraryPath(cacheDir, "AddressBook/AddressBook.sqlitedb")));
    const CacheRun run = runCache(*backup, cacheDir);
    QVERIFY(!run.ok);
    QCOMPARE(run.errors.size(), 1);
    QVERIFY2(run.errors.first().contains("POLARSSL_ERR_AES_INVALID_INPUT_LENGTH"), qPrintable(run.errors.first()));
    QVERIFY(!cacheDir.exists());
}

void TestITunesCacheSMSThread::defaultCacheFolder()
{
    TempHome home;
    CacheFixture f(Generation::Mbdb);
    f.write();
    auto backup = f.open();
    ProgressForm form{QString()};
    ITunesCacheSMSThread worker(*backup, form);
    QCOMPARE(worker.cacheDir().absolutePath(),
             g_dataSaveDir().absoluteFilePath("itunes_cache/" + backup->dirPathMd5()));
    QVERIFY(!worker.cacheDir().exists());
}

void TestITunesCacheSMSThread::cacheDbRecordsDates()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("manifest.db");
    {
        BkCacheDb db(path);
        bool found = true;
        QCOMPARE(db.fileDateSecs("abc", &found), 0);
        QVERIFY(!found);
        db.setFileDate("abc", 0);
        QCOMPARE(db.fileDateSecs("abc", &found), 0);
        QVERIFY(found);
        db.setFileDate("abc", -5);
        db.setFileDate("def", 7);
        db.remove("def");
    }
    // Committed when the object ends.
    BkCacheDb db(path);
    bool found = false;
    QCOMPARE(db.fileDateSecs("abc", &found), -5);
    QVERIFY(found);
    db.fileDateSecs("def", &found);
    QVERIFY(!found);
}

QTEST_MAIN(TestITunesCacheSMSThread)
#include "tst_itunescachesmsthread.moc"
