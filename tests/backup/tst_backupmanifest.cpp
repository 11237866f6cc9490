// A backup folder's manifest information: the fields read from
// Manifest.plist, the date from Status.plist, the display name, the folder's
// MD5 name and the errors of a missing or unreadable manifest.
#include <QtTest>

#include "backupfixture.h"
#include "backupmanifest.h"
#include "mobiledevice_loader.h"
#include "temphome.h"

namespace {
QString readError(BackupManifest& backup)
{
    try {
        backup.readManifestInfo();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
} // namespace

class TestBackupManifest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before the framework is loaded, the manifest cannot be read at all.
        QTemporaryDir dir;
        BackupManifest early(dir.path());
        QCOMPARE(readError(early), QStringLiteral("Failed to load (Apple Mobile Device) framework."));
        QString error;
        QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    }

    void fields_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::newRow("XML") << false;
        QTest::newRow("binary") << true;
    }
    void fields()
    {
        QFETCH(bool, binary);
        QTemporaryDir dir;
        BackupFixtureManifest m;
        m.uniqueDeviceId = kUdid;
        m.deviceName = QStringLiteral("Ada’s iPhone");
        m.productType = "iPhone14,2";
        m.productVersion = "17.0.3";
        m.serialNumber = "F17ABC";
        m.date = QDateTime(QDate(2023, 10, 1), QTime(12, 30, 5), Qt::UTC);
        m.isEncrypted = true;
        m.backupKeyBag = QByteArray("VERS\0\0\0\4\0\0\0\3", 12);
        m.manifestKey = QByteArray(44, '\x5A');
        m.binary = binary;
        BackupFixture(dir.path(), BackupFixture::Generation::ManifestDb).writeManifest(m);

        BackupManifest backup(dir.path());
        backup.password = "kept";
        backup.readManifestInfo();
        QCOMPARE(backup.info.UniqueDeviceID, kUdid);
        QCOMPARE(backup.info.DeviceName, m.deviceName);
        QCOMPARE(backup.info.ProductType, m.productType);
        QCOMPARE(backup.info.ProductVersion, m.productVersion);
        QCOMPARE(backup.info.SerialNumber, m.serialNumber);
        QCOMPARE(backup.info.Date.toSecsSinceEpoch(), m.date.toSecsSinceEpoch());
        QVERIFY(backup.info.IsEncrypted);
        QCOMPARE(backup.info.BackupKeyBag, m.backupKeyBag);
        QCOMPARE(backup.info.ManifestKey, m.manifestKey);
        QCOMPARE(backup.password, QStringLiteral("kept"));
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("udid");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder is the id") << kUdid << kUdid << "Ada" << "Ada";
        QTest::newRow("id with a suffix") << kUdid + "-20231001" << kUdid << "Ada" << "Ada-20231001";
        QTest::newRow("other folder") << "backup1" << kUdid << "Ada" << "Ada-backup1";
        QTest::newRow("no id") << "backup1" << "" << "Ada" << "Ada-backup1";
        QTest::newRow("neither id nor name") << "backup1" << "" << "" << "backup1";
    }
    void displayName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, udid);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const QString path = root.filePath(folder);
        BackupFixtureManifest m;
        m.uniqueDeviceId = udid;
        m.deviceName = name;
        BackupFixture(path, BackupFixture::Generation::Mbdb).writeManifest(m);
        BackupManifest backup(path);
        backup.readManifestInfo();
        QCOMPARE(backup.displayName, expected);
    }

    void missingKeysAndDates()
    {
        QTemporaryDir dir;
        BackupFixture fixture(dir.path(), BackupFixture::Generation::Mbdb);
        BackupFixtureManifest m;
        m.uniqueDeviceId = kUdid;
        fixture.writeManifest(m);
        BackupManifest backup(dir.path());
        backup.readManifestInfo();
        QVERIFY(!backup.info.IsEncrypted);
        QVERIFY(backup.info.Date.isNull());
        QVERIFY(backup.info.ManifestKey.isEmpty());

        m.date = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
        fixture.writeManifest(m);
        backup.readManifestInfo();
        QCOMPARE(backup.info.Date.toSecsSinceEpoch(), m.date.toSecsSinceEpoch());

        const QDateTime statusTime(QDate(2022, 6, 7), QTime(8, 9, 10), Qt::UTC);
        fixture.writeStatus(statusTime);
        backup.readManifestInfo();
        QCOMPARE(backup.info.Date.toSecsSinceEpoch(), statusTime.toSecsSinceEpoch());
    }

    void missingOrUnparseableManifest()
    {
        QTemporaryDir dir;
        BackupManifest backup(dir.path());
        QCOMPARE(readError(backup), "Cannot find " + QDir(dir.path()).absoluteFilePath("Manifest.plist"));

        QFile garbage(dir.filePath("Manifest.plist"));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("<plist><dict><key>Lockdown");
        garbage.close();
        backup.readManifestInfo();
        QVERIFY(backup.info.UniqueDeviceID.isEmpty() && backup.info.DeviceName.isEmpty());
        QCOMPARE(backup.displayName, QDir(dir.path()).dirName());

        QTemporaryDir folderInstead;
        QDir(folderInstead.path()).mkdir("Manifest.plist");
        BackupManifest other(folderInstead.path());
        QVERIFY(!readError(other).isEmpty());
    }

    void dirPathMd5()
    {
        QTemporaryDir dir;
        BackupManifest a(dir.path());
        BackupManifest b(dir.path() + "/../" + QDir(dir.path()).dirName());
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(a.dirPathMd5()).hasMatch());
        QCOMPARE(a.dirPathMd5(), b.dirPathMd5());
        QCOMPARE(a.dirPathMd5(), QString(QCryptographicHash::hash(QDir(dir.path()).absolutePath().toUtf8(),
                                                                  QCryptographicHash::Md5).toHex()));
    }

    void backupFolders()
    {
        TempHome home;
        const QList<QDir> dirs = BackupManifest::iTunesBackupDirs();
        QCOMPARE(dirs.size(), 1);
        QCOMPARE(dirs[0].absolutePath(), home.file("Library/Application Support/MobileSync/Backup"));
    }
};

QTEST_GUILESS_MAIN(TestBackupManifest)
#include "tst_backupmanifest.moc"
