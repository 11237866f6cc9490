// Unlocking encrypted backups of both index generations with their password,
// and copying their stored files out, decrypted byte for byte.
#include "backupmanifest.h"
#include "data_path_util.h"
#include "encryptedbackupfixture.h"
#include "mobiledevice_loader.h"
#include "temphome.h"

#include <QtTest>

#include <stdexcept>

#include <sys/stat.h>

namespace {

using Generation = BackupFixture::Generation;

const QString kPassword = QStringLiteral("pässwörd");

QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A small encrypted backup: an sms.db, an attachment of three chunks and an
// empty file, in a folder record.
struct Fixture
{
    Fixture(Generation generation, KeybagFixture keybagFixture = KeybagFixture(kPassword, 10, 7))
        : keybag(std::move(keybagFixture))
        , backup(dir.path(), generation)
    {
        keybag.addClass(1);
        keybag.addClass(EncryptedBackupFixture::kFileClass);
        keybag.addClass(4, 1);
        backup.addFolder("HomeDomain", "Library/SMS");
        backup.addFile("HomeDomain", "Library/SMS/sms.db", "SQLite format 3\0 not really");
        backup.addFile("MediaDomain", "Library/SMS/Attachments/a.jpg", KeybagFixture::randomBytes(2 * 8192 + 100));
        backup.addFile("HomeDomain", "Library/empty", QByteArray());
        plain = backup.records;
    }

    QByteArray write(bool manifestDbPadding = true)
    {
        BackupFixtureManifest manifest;
        manifest.uniqueDeviceId = "udid";
        manifest.deviceName = "Phone";
        return EncryptedBackupFixture::write(backup, keybag, manifest, manifestDbPadding);
    }

    std::unique_ptr<BackupManifest> open() const
    {
        auto manifest = std::make_unique<BackupManifest>(dir.path());
        manifest->readManifestInfo();
        return manifest;
    }

    QTemporaryDir dir;
    QTemporaryDir out;
    KeybagFixture keybag;
    BackupFixture backup;
    QList<BackupFixtureRecord> plain;
};

// The decrypted copies of Manifest.db in the data folder's private folder.
QStringList decryptedCopies()
{
    return g_dataSubDir("manifest_cache").entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestBackupManifestCrypto : public QObject
{
    Q_OBJECT

    TempHome m_home;

private slots:
    void initTestCase();
    void cleanupTestCase() { g_resetDataSaveDirForTests(); }
    void unlockAndCopy_data();
    void unlockAndCopy();
    void wrongPasswordChangesNothing_data();
    void wrongPasswordChangesNothing();
    void encryptedBackupWithoutClassKeysRefusesEveryPassword();
    void unwrappableManifestKeyFails();
    void damagedManifestDbKeepsEarlierUnlock();
    void lockedBackupRefusesToCopy();
    void firstEncryptedItem();
    void plainBackupCopiesUnchanged();
};

void TestBackupManifestCrypto::initTestCase()
{
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    g_resetDataSaveDirForTests();
    ::umask(022);
}

// The shapes other tools write: Manifest.db without its padding block, file
// keys one UID away from their NSMutableData, records without ProtectionClass.
void TestBackupManifestCrypto::unlockAndCopy_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<int>("dpIterations");
    QTest::addColumn<bool>("manifestDbPadding");
    QTest::addColumn<bool>("keyByReference");
    QTest::addColumn<bool>("protectionClass");
    QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << 0 << true << false << true;
    QTest::newRow("Manifest.db, plain index") << int(Generation::ManifestDb) << 0 << true << false << true;
    QTest::newRow("Manifest.db, encrypted index") << int(Generation::ManifestDb) << 7 << true << false << true;
    QTest::newRow("no padding block") << int(Generation::ManifestDb) << 7 << false << false << true;
    QTest::newRow("key by reference") << int(Generation::ManifestDb) << 7 << true << true << true;
    QTest::newRow("no ProtectionClass") << int(Generation::ManifestDb) << 7 << true << false << false;
    QTest::newRow("all three") << int(Generation::ManifestDb) << 7 << false << true << false;
}

void TestBackupManifestCrypto::unlockAndCopy()
{
    QFETCH(int, generation);
    QFETCH(int, dpIterations);
    QFETCH(bool, manifestDbPadding);
    QFETCH(bool, keyByReference);
    QFETCH(bool, protectionClass);
    Fixture f(Generation(generation), KeybagFixture(kPassword, 10, quint32(dpIterations)));
    for (BackupFixtureRecord& record : f.backup.records) {
        record.dataAsDictionary = record.dataByReference = keyByReference;
        record.omitProtectionClass = !protectionClass;
    }
    const QByteArray manifestKey = f.write(manifestDbPadding);
    auto backup = f.open();
    QVERIFY(backup->info.IsEncrypted);

    QVERIFY(backup->setPasscodeNoUIThrow(kPassword));
    QCOMPARE(backup->password, kPassword);
    QCOMPARE(backup->keybag.classKeys.value(3).tags.value("KEY"), f.keybag.classKey(3));
    QCOMPARE(backup->manifestKey, manifestKey);
    // The plain copy of an encrypted index lies in a private folder of the
    // data folder, never beside the backup.
    const QString decrypted = backup->decryptedManifestDbPath;
    QCOMPARE(decrypted.isEmpty(), dpIterations == 0);
    QCOMPARE(decryptedCopies().size(), dpIterations > 0 ? 1 : 0);
    QCOMPARE(QDir(f.dir.path()).entryList({"*decrypted*"}), QStringList());
    if (dpIterations > 0) {
        QCOMPARE(QFileInfo(decrypted).absolutePath(), g_dataSaveDir().absoluteFilePath("manifest_cache"));
        QCOMPARE(modeOf(QFileInfo(decrypted).absolutePath()), 0700);
        QCOMPARE(modeOf(decrypted), 0600);
        // Whole database pages, with or without a padding block to drop.
        QCOMPARE(QFileInfo(decrypted).size() % 4096, 0);
    }

    backup->parseInfo();
    QCOMPARE(backup->items.size(), f.plain.size());
    for (const BackupFixtureRecord& record : f.plain) {
        if (record.isFolder())
            continue;
        const QString name = BackupFixture::storedName(record.domain, record.path);
        const QString target = f.out.filePath("cache/" + record.path);
        backup->copyItemThrow(backup->items.value(name), target, nullptr, nullptr);
        QCOMPARE(readFile(target), record.contents);
        QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), qint64(record.lastModified));
        QCOMPARE(int(backup->items.value(name).protectionClass), EncryptedBackupFixture::kFileClass);
    }
    // A second unlock writes the decrypted copy again.
    if (dpIterations > 0) {
        QFile::remove(decrypted);
        QVERIFY(backup->setPasscodeNoUIThrow(kPassword));
        QCOMPARE(backup->decryptedManifestDbPath, decrypted);
        QVERIFY(QFile::exists(decrypted));
    }
    // The copy goes with the manifest object that made it.
    backup.reset();
    QCOMPARE(decryptedCopies(), QStringList());
}

void TestBackupManifestCrypto::wrongPasswordChangesNothing_data()
{
    QTest::addColumn<int>("generation");
    QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb);
    QTest::newRow("Manifest.db") << int(Generation::ManifestDb);
}

void TestBackupManifestCrypto::wrongPasswordChangesNothing()
{
    QFETCH(int, generation);
    Fixture f{Generation(generation)};
    f.write();
    auto backup = f.open();
    QVERIFY(!backup->setPasscodeNoUIThrow("password"));
    QVERIFY(!backup->setPasscodeNoUIThrow(QString()));
    QVERIFY(backup->password.isEmpty());
    QVERIFY(backup->manifestKey.isEmpty());
    QVERIFY(backup->keybag.classKeys.isEmpty());
    QCOMPARE(decryptedCopies(), QStringList());

    // After a success, a wrong password keeps the earlier unlock whole.
    QVERIFY(backup->setPasscodeNoUIThrow(kPassword));
    const QByteArray key = backup->manifestKey;
    QVERIFY(!backup->setPasscodeNoUIThrow("wrong"));
    QCOMPARE(backup->password, kPassword);
    QCOMPARE(backup->manifestKey, key);
    QVERIFY(backup->keybag.hasClassKey());
}

// A keybag with nothing for the password to unwrap would accept any password;
// on a backup marked encrypted that would only defer the failure.
void TestBackupManifestCrypto::encryptedBackupWithoutClassKeysRefusesEveryPassword()
{
    Fixture f{Generation::Mbdb, KeybagFixture(kPassword)};
    f.write();
    auto backup = f.open();
    backup->info.BackupKeyBag = KeybagFixture::record("UUID", "u") + KeybagFixture::record("SALT", "s");
    QVERIFY(!backup->setPasscodeNoUIThrow(kPassword));
    backup->info.IsEncrypted = false;
    QVERIFY(backup->setPasscodeNoUIThrow("anything"));
}

void TestBackupManifestCrypto::unwrappableManifestKeyFails()
{
    Fixture f{Generation::ManifestDb};
    f.write();
    auto backup = f.open();
    backup->info.ManifestKey = KeybagFixture::record("CLAS", KeybagFixture::randomBytes(40)).mid(4);
    const QString error = errorOf([&] { backup->setPasscodeNoUIThrow(kPassword); });
    QVERIFY2(error.contains("no class key unwraps the key of Manifest.db"), qPrintable(error));
    QVERIFY(backup->password.isEmpty());
    QVERIFY(backup->manifestKey.isEmpty());
    QCOMPARE(decryptedCopies(), QStringList());
}

void TestBackupManifestCrypto::damagedManifestDbKeepsEarlierUnlock()
{
    Fixture f{Generation::ManifestDb};
    f.write();
    auto backup = f.open();
    QVERIFY(backup->setPasscodeNoUIThrow(kPassword));
    const QString path = backup->decryptedManifestDbPath;
    const QByteArray decrypted = readFile(path);

    QFile db(f.dir.filePath("Manifest.db"));
    QVERIFY(db.resize(db.size() - 5));
    backup->password = "earlier";
    const QString error = errorOf([&] { backup->setPasscodeNoUIThrow(kPassword); });
    QCOMPARE(error, QString("Manifest.db, POLARSSL_ERR_AES_INVALID_INPUT_LENGTH (rd%16 != 0)."));
    QCOMPARE(backup->password, QString("earlier"));
    QCOMPARE(backup->decryptedManifestDbPath, path);
    QCOMPARE(readFile(path), decrypted);
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files).size(), 2); // no temporary left
    QCOMPARE(decryptedCopies().size(), 1);

}

void TestBackupManifestCrypto::lockedBackupRefusesToCopy()
{
    Fixture f{Generation::Mbdb};
    f.write();
    auto backup = f.open();
    backup->parseInfo();
    const QString name = BackupFixture::storedName("HomeDomain", "Library/SMS/sms.db");
    const QString target = f.out.filePath("sms.db");
    const QString error = errorOf([&] { backup->copyItemThrow(backup->items.value(name), target, nullptr, nullptr); });
    QCOMPARE(error, QString("BackupManifest::copyItemThrow, no key of the keybag unwraps the key of "
                            "HomeDomain-Library/SMS/sms.db."));
    QVERIFY(!QFile::exists(target));
}

void TestBackupManifestCrypto::firstEncryptedItem()
{
    Fixture f{Generation::Mbdb};
    f.write();
    auto backup = f.open();
    QByteArray key;
    QCOMPARE(errorOf([&] { backup->firstEncryptedItem(key); }),
             QString("BackupManifest::firstEncryptedItem, no valid keys"));
    QVERIFY(backup->setPasscodeNoUIThrow(kPassword));
    const MBDBParser::_MBDBItem item = backup->firstEncryptedItem(key);
    QCOMPARE(key.size(), 32);
    QVERIFY(!item.isFolder());
    const QString stored = MBDBParser::getBKFilePath(backup->dir, item.backupFileName(), false);
    QCOMPARE(KeybagFixture::decrypt(key, readFile(stored)).size(), int(item.size));
}

void TestBackupManifestCrypto::plainBackupCopiesUnchanged()
{
    QTemporaryDir dir;
    BackupFixture fixture(dir.path(), Generation::ManifestDb);
    fixture.addFile("HomeDomain", "Library/SMS/sms.db", "plain bytes");
    fixture.write();
    fixture.writeManifest(BackupFixtureManifest());
    BackupManifest backup(dir.path());
    backup.readManifestInfo();
    backup.parseInfo();
    const QString target = dir.filePath("out/sms.db");
    backup.copyFile(backup.smsDbNode, target, nullptr, nullptr);
    QCOMPARE(readFile(target), QByteArray("plain bytes"));
    QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), qint64(1500000000));
    backup.copyFile(nullptr, target, nullptr, nullptr);
}

QTEST_MAIN(TestBackupManifestCrypto)
#include "tst_backupmanifestcrypto.moc"
