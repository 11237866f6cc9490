// The device backup and restore workers against the backup tool stand-in:
// which earlier backups are kept, what success, failure and cancel leave on
// disk and report, the refusal of device ids that could name another folder,
// and the restore that never shows the tool the backup's Info.plist.
#include "backup2tool.h"
#include "backupfixture.h"
#include "backupmanifest.h"
#include "cftype.h"
#include "data_path_util.h"
#include "iosbackuptemp.h"
#include "iosdevice.h"
#include "iosmobilebackupthread.h"
#include "iosmobilerestorethread.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "progressform.h"
#include "progressrunner.h"
#include "simdevicescenario.h"
#include "temphome.h"

#include <QLabel>
#include <QtTest>

#include <sys/stat.h>

#include <functional>
#include <memory>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kVersion = QStringLiteral("16.1");
const QByteArray kInfo = "<plist><dict/></plist>\n";

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray statusPlist(const QByteArray& state)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>SnapshotState</key>"
           "<string>" + state + "</string></dict></plist>\n";
}

// A complete backup of the device as the tool leaves it: index, manifest of
// the given version, finished status, Info.plist and one stored file.
void writeCompleteBackup(const QString& folder, BackupFixture::Generation generation, const QString& version)
{
    BackupFixture backup(folder, generation);
    backup.addFile("HomeDomain", "Library/SMS/sms.db", "messages");
    backup.write();
    BackupFixtureManifest manifest;
    manifest.uniqueDeviceId = kUdid;
    manifest.productVersion = version;
    backup.writeManifest(manifest);
    backup.writeStatus(QDateTime::currentDateTimeUtc());
    writeBytes(folder + "/Info.plist", kInfo);
}

// The outcome of one worker run behind its dialog.
struct Run
{
    bool ok = false;
    bool cancelledAfterEvents = false;
    QStringList boxes;
};

Run runWorker(ProgressForm& form, IOSBackupToolThread& worker, std::function<bool(QWidget*)> onDialog)
{
    ModalWatcher watcher;
    if (onDialog)
        watcher.onDialog(std::move(onDialog));
    worker.tool().setWaits(10000, 50);
    Run run;
    run.ok = g_runWithProgress(form, worker);
    // A report the worker queued after the dialog ended arrives now.
    QCoreApplication::processEvents();
    run.cancelledAfterEvents = form.cancelled;
    for (const ModalWatcher::ShownBox& box : watcher.shown())
        run.boxes << box.text;
    return run;
}

// Presses Cancel once the tool's first percentage reached the dialog.
bool cancelAfterProgress(QWidget* dialog)
{
    const QLabel* progress = dialog->findChild<QLabel*>(QStringLiteral("lbProgress"));
    if (!progress || !progress->text().contains(QLatin1String("10%")))
        return false;
    QMetaObject::invokeMethod(dialog, "cancel");
    return true;
}

} // namespace

class TestIOSMobileBackupThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void reuseRules_data();
    void reuseRules();
    void backupWritesTheDevicesFolder();
    void earlierBackupKeptOrDeleted_data();
    void earlierBackupKeptOrDeleted();
    void failureDeletesFolderAndAdvises();
    void cancelReportsNoSuccess();
    void refusedDeviceIds_data();
    void refusedDeviceIds();
    void restoreHidesInfoPlistWhileItRuns();
    void restoreFailureKeepsBackupAndAdvises();
    void restoreWithoutInfoPlist();
    void clearTemp();

private:
    plist_t behaviour() { return m_scenario.dict(m_scenario.device(kUdid), "BackupTool"); }
    void useScenario();
    QString file(const QString& name) const { return m_dir->filePath(name); }
    QString deviceFolder() const { return iosbackup_temp_dir().absoluteFilePath(kUdid); }
    Run backup(std::function<bool(QWidget*)> onDialog = {});
    Run restore(const QString& password = QString());

    std::unique_ptr<TempHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    SimDeviceScenario m_scenario;
    IOSDevice m_device;
};

void TestIOSMobileBackupThread::initTestCase()
{
    ::umask(022);
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
}

void TestIOSMobileBackupThread::init()
{
    m_home = std::make_unique<TempHome>();
    g_resetDataSaveDirForTests();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    writeCompleteBackup(file("source"), BackupFixture::Generation::ManifestDb, kVersion);
    plist_dict_remove_item(m_scenario.device(kUdid), "BackupTool");
    plist_dict_set_item(behaviour(), "SourceFolder", plist_new_string(qPrintable(file("source"))));
    plist_dict_set_item(behaviour(), "RequestLog", plist_new_string(qPrintable(file("request.xml"))));
    m_device = IOSDevice();
    m_device.udid = kUdid;
    m_device.productVersion = kVersion;
}

void TestIOSMobileBackupThread::cleanup()
{
    // The workers hand their tool drivers to deleteLater.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_dir.reset();
    m_home.reset();
    g_resetDataSaveDirForTests();
}

void TestIOSMobileBackupThread::useScenario()
{
    QVERIFY(m_scenario.write(file("scenario.plist")));
    qputenv("QUILLSPROUT_DEVICE_SIM", QFile::encodeName(file("scenario.plist")));
}

Run TestIOSMobileBackupThread::backup(std::function<bool(QWidget*)> onDialog)
{
    useScenario();
    ProgressForm form{QString()};
    IOSMobileBackupThread worker(true, m_device, form);
    return runWorker(form, worker, std::move(onDialog));
}

Run TestIOSMobileBackupThread::restore(const QString& password)
{
    useScenario();
    ProgressForm form{QString()};
    IOSMobileRestoreThread worker(true, m_device, iosbackup_temp_dir(), form);
    worker.setBackupPasscode(password);
    return runWorker(form, worker, {});
}

void TestIOSMobileBackupThread::reuseRules_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<QString>("remove");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("reusable");
    const int mbdb = int(BackupFixture::Generation::Mbdb);
    const int db = int(BackupFixture::Generation::ManifestDb);
    QTest::newRow("complete, Manifest.mbdb") << mbdb << "" << QByteArray() << kVersion << true;
    QTest::newRow("complete, Manifest.db") << db << "" << QByteArray() << kVersion << true;
    QTest::newRow("no Status.plist") << db << "Status.plist" << QByteArray() << kVersion << false;
    QTest::newRow("no Manifest.plist") << db << "Manifest.plist" << QByteArray() << kVersion << false;
    QTest::newRow("no index") << mbdb << "Manifest.mbdb" << QByteArray() << kVersion << false;
    QTest::newRow("snapshot Finished") << db << "" << statusPlist("Finished") << kVersion << false;
    QTest::newRow("snapshot uploading") << db << "" << statusPlist("uploading") << kVersion << false;
    QTest::newRow("status not a plist") << db << "" << QByteArray("finished") << kVersion << false;
    QTest::newRow("other iOS version") << db << "" << QByteArray() << "17.0" << false;
    QTest::newRow("version longer") << db << "" << QByteArray() << "16.1.1" << false;
}

void TestIOSMobileBackupThread::reuseRules()
{
    QFETCH(int, generation);
    QFETCH(QString, remove);
    QFETCH(QByteArray, status);
    QFETCH(QString, version);
    QFETCH(bool, reusable);
    const QString folder = file("backup");
    writeCompleteBackup(folder, BackupFixture::Generation(generation), version);
    if (!remove.isEmpty())
        QVERIFY(QFile::remove(folder + "/" + remove));
    if (!status.isEmpty())
        writeBytes(folder + "/Status.plist", status);
    QCOMPARE(IOSMobileBackupThread::isReusable(QDir(folder), kVersion), reusable);
}

void TestIOSMobileBackupThread::backupWritesTheDevicesFolder()
{
    // Made wider by an earlier run: tightened when the backup starts.
    QVERIFY(QDir().mkpath(m_home->file("Documents/__quillsprout_iosbk_temp")));
    QVERIFY(QFile::setPermissions(m_home->file("Documents/__quillsprout_iosbk_temp"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                      | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    plist_dict_set_item(behaviour(), "Progress", plist_new_array());
    plist_array_append_item(plist_dict_get_item(behaviour(), "Progress"), plist_new_uint(40));
    const Run run = backup();
    QVERIFY2(run.ok, qPrintable(run.boxes.join('\n')));
    QVERIFY(run.boxes.isEmpty());
    QCOMPARE(readBytes(deviceFolder() + "/Info.plist"), kInfo);
    BackupManifest opened(deviceFolder());
    opened.readManifestInfo();
    QCOMPARE(opened.info.UniqueDeviceID, kUdid);
    opened.parseInfo();
    QVERIFY(opened.smsDbNode);
    const CFType request = CFType::createCFPropertyListFromFile(file("request.xml"));
    QCOMPARE(request.get("AMSRequestKey").CFStringQString(), QStringLiteral("AMSBackupRequest"));
    QCOMPARE(request.get("AMSBackupOptionsKey").get("RootDirectory").CFStringQString(),
             m_home->file("Documents/__quillsprout_iosbk_temp"));
    // Under the umask 022 of initTestCase the device backup is the user's
    // alone: the temporary folder, the device's folder and its files.
    QCOMPARE(modeOf(m_home->file("Documents/__quillsprout_iosbk_temp")), 0700);
    QCOMPARE(modeOf(deviceFolder()), 0700);
    QCOMPARE(modeOf(deviceFolder() + "/Info.plist"), 0600);
    QCOMPARE(modeOf(deviceFolder() + "/Manifest.db"), 0600);
}

void TestIOSMobileBackupThread::earlierBackupKeptOrDeleted_data()
{
    QTest::addColumn<QString>("earlierVersion");
    QTest::addColumn<QByteArray>("earlierStatus");
    QTest::addColumn<bool>("kept");
    QTest::newRow("complete, same version: updated in place") << kVersion << QByteArray() << true;
    QTest::newRow("device updated since") << "15.7" << QByteArray() << false;
    QTest::newRow("unfinished snapshot") << kVersion << statusPlist("new") << false;
}

void TestIOSMobileBackupThread::earlierBackupKeptOrDeleted()
{
    QFETCH(QString, earlierVersion);
    QFETCH(QByteArray, earlierStatus);
    QFETCH(bool, kept);
    writeCompleteBackup(deviceFolder(), BackupFixture::Generation::Mbdb, earlierVersion);
    if (!earlierStatus.isEmpty())
        writeBytes(deviceFolder() + "/Status.plist", earlierStatus);
    writeBytes(deviceFolder() + "/earlier-only", "x");
    const Run run = backup();
    QVERIFY(run.ok);
    QCOMPARE(QFile::exists(deviceFolder() + "/earlier-only"), kept);
    // Either way the tool wrote the new backup there.
    QVERIFY(QFile::exists(deviceFolder() + "/Manifest.db"));
}

void TestIOSMobileBackupThread::failureDeletesFolderAndAdvises()
{
    writeCompleteBackup(deviceFolder(), BackupFixture::Generation::ManifestDb, kVersion);
    plist_dict_set_item(behaviour(), "ErrorCode", plist_new_uint(uint64_t(qint64(-38))));
    const Run run = backup();
    QVERIFY(!run.ok);
    QVERIFY(!QFileInfo::exists(deviceFolder()));
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes.first().contains("Failed to connect your iPhone. Please try the following solutions:"),
             qPrintable(run.boxes.first()));
    QVERIFY(run.boxes.first().contains("Note: You can follow this"));
    QVERIFY(!run.boxes.first().contains("212 Unable to backup"));
}

void TestIOSMobileBackupThread::cancelReportsNoSuccess()
{
    plist_t progress = plist_new_array();
    plist_array_append_item(progress, plist_new_uint(10));
    plist_dict_set_item(behaviour(), "Progress", progress);
    plist_dict_set_item(behaviour(), "End", plist_new_string("stall"));
    const Run run = backup(cancelAfterProgress);
    QVERIFY(!run.ok);
    QVERIFY2(run.cancelledAfterEvents, "a success reached the dialog after the cancel");
    QVERIFY(run.boxes.isEmpty());
}

void TestIOSMobileBackupThread::refusedDeviceIds_data()
{
    QTest::addColumn<QString>("udid");
    QTest::newRow("empty: the root itself") << "";
    QTest::newRow("parent folder") << "../victim";
    QTest::newRow("slash") << "victim/x";
    QTest::newRow("blank") << "0000 1";
}

void TestIOSMobileBackupThread::refusedDeviceIds()
{
    QFETCH(QString, udid);
    // Another device's unfinished backup and a folder beside the root: a
    // backup for the refused id would have deleted either.
    const QString other = iosbackup_temp_dir().absoluteFilePath("other");
    writeBytes(other + "/Status.plist", statusPlist("new"));
    writeBytes(m_home->file("Documents/victim/x/Status.plist"), statusPlist("new"));
    m_device.udid = udid;
    for (const bool restoring : {false, true}) {
        const Run run = restoring ? restore() : backup();
        QVERIFY(!run.ok);
        QCOMPARE(run.boxes.size(), 1);
        QVERIFY2(run.boxes.first().contains(m_device.udidError()), qPrintable(run.boxes.first()));
    }
    QVERIFY(QFile::exists(other + "/Status.plist"));
    QVERIFY(QFile::exists(m_home->file("Documents/victim/x/Status.plist")));
    QVERIFY2(!QFile::exists(file("request.xml")), "the tool was started");
}

void TestIOSMobileBackupThread::restoreHidesInfoPlistWhileItRuns()
{
    writeCompleteBackup(deviceFolder(), BackupFixture::Generation::ManifestDb, kVersion);
    plist_dict_set_item(behaviour(), "RestoreInto", plist_new_string(qPrintable(file("device"))));
    const Run run = restore(QStringLiteral("secret"));
    QVERIFY2(run.ok, qPrintable(run.boxes.join('\n')));
    // What reached the device is the backup without its Info.plist (only
    // under its parked name) ...
    QVERIFY(QFile::exists(file("device/Manifest.plist")));
    QVERIFY(QFile::exists(file("device/Manifest.db")));
    QVERIFY(!QFile::exists(file("device/Info.plist")));
    const QStringList parked = QDir(file("device")).entryList({"Info.plist-*"}, QDir::Files);
    QCOMPARE(parked.size(), 1);
    QCOMPARE(readBytes(file("device/") + parked.first()), kInfo);
    // ... and the backup has it back, under its own name only.
    QCOMPARE(readBytes(deviceFolder() + "/Info.plist"), kInfo);
    QCOMPARE(QDir(deviceFolder()).entryList({"Info.plist*"}, QDir::Files), QStringList{"Info.plist"});
    const CFType request = CFType::createCFPropertyListFromFile(file("request.xml"));
    QCOMPARE(request.get("AMSRequestKey").CFStringQString(), QStringLiteral("AMSRestoreWithApplicationsRequest"));
    QCOMPARE(request.get("AMSRestoreRestoreOptionsKey").get("Password").CFStringQString(), QStringLiteral("secret"));
}

void TestIOSMobileBackupThread::restoreFailureKeepsBackupAndAdvises()
{
    writeCompleteBackup(deviceFolder(), BackupFixture::Generation::ManifestDb, kVersion);
    plist_dict_set_item(behaviour(), "ErrorCode", plist_new_uint(uint64_t(qint64(-38))));
    const Run run = restore();
    QVERIFY(!run.ok);
    QCOMPARE(readBytes(deviceFolder() + "/Info.plist"), kInfo);
    QVERIFY(QFile::exists(deviceFolder() + "/Manifest.db"));
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes.first().contains("Failed to connect your iPhone.") && run.boxes.first().contains("Tip: You can follow"),
             qPrintable(run.boxes.first()));
}

void TestIOSMobileBackupThread::restoreWithoutInfoPlist()
{
    writeCompleteBackup(deviceFolder(), BackupFixture::Generation::ManifestDb, kVersion);
    QVERIFY(QFile::remove(deviceFolder() + "/Info.plist"));
    const Run run = restore();
    QVERIFY(run.ok);
    QCOMPARE(QDir(deviceFolder()).entryList({"Info.plist*"}, QDir::Files), QStringList());
}

void TestIOSMobileBackupThread::clearTemp()
{
    iosbackup_clear_temp(); // neither the root nor the path file: nothing happens
    const QString pathFile = g_dataSaveDir().absoluteFilePath("__quillsprout_iosbk_temp.path");
    writeBytes(pathFile, "x");
    writeBytes(deviceFolder() + "/Status.plist", "x");
    iosbackup_clear_temp();
    QVERIFY(!QFileInfo::exists(iosbackup_temp_dir().absolutePath()));
    QVERIFY(!QFileInfo::exists(pathFile));
    QVERIFY(g_dataSaveDir().exists());
}

QTEST_MAIN(TestIOSMobileBackupThread)
#include "tst_iosmobilebackupthread.moc"
