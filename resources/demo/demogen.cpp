// Makes the demo phones of the simulated device backend from the SQL beside
// this file, for the README's run command and the demo tests:
//
//   demogen <folder of the SQL sources> <output folder>
//
// writes into the output folder
//   scenario.plist  the scenario QUILLSPROUT_DEVICE_SIM names: both phones
//                   attach once the application listens
//   ios7/           the iPhone on iOS 7 as its file_relay service sends it
//                   (the scenario carries it as a gzip-compressed cpio
//                   archive), and
//   ios7-backup/    its plain backup, which the simulated backup tool copies
//                   when a transfer backs the phone up
//   ios12/          the iPhone on iOS 12's own files, and
//   ios12-backup/   its encrypted backup, which the simulated backup tool
//                   copies as the device backup
// Both phones share the owner's address book; attachment files are drawn by
// code at the paths their rows name.
#include "addressbookfixture.h"
#include "backupfixture.h"
#include "cpiofixture.h"
#include "demomedia.h"
#include "encryptedbackupfixture.h"
#include "keybagfixture.h"
#include "simdevicescenario.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <archive_entry.h>
#include <plist/plist.h>
#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace {

// The encrypted backup's password; the README states it.
const char* const kBackupPassword = "demo1234";

const char* const kIos7Udid = "d7e1a0c2b3f4e5d6c7b8a9f0e1d2c3b4a5f60718";
const char* const kIos12Udid = "00008020-000C12F9B3E4002E";
const char* const kFileRelayService = "com.apple.mobile.file_relay";

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString readText(const QDir& sources, const QString& name)
{
    QFile file(sources.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
    return QString::fromUtf8(file.readAll());
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail(QStringLiteral("cannot create the folder of %1").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

// Every file and folder below `root`, parents before what they hold.
QStringList treeBelow(const QString& root)
{
    QStringList relative;
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        relative << QDir(root).relativeFilePath(it.next());
    relative.sort();
    return relative;
}

// Draws the file of every attachment row at the path the row names (below
// the phone's "file-relay" tree) and records its size in total_bytes.
void writeAttachments(const QString& phoneFolder, const QString& smsDb, int seed)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(smsDb.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        fail(QStringLiteral("cannot open %1").arg(smsDb));
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select ROWID, filename, mime_type from attachment order by ROWID", -1, &st, nullptr)
        != SQLITE_OK) {
        const QString error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        fail(QStringLiteral("%1: %2").arg(smsDb, error));
    }
    QString sizes;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const qint64 rowId = sqlite3_column_int64(st, 0);
        QString path = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        const QString mime = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)));
        if (!path.startsWith(QLatin1String("~/Library/SMS/Attachments/")) || path.contains(QLatin1String("..")))
            fail(QStringLiteral("attachment %1 lies outside the attachments folder: %2").arg(rowId).arg(path));
        path.replace(0, 2, QStringLiteral("file-relay/var/mobile/"));
        const QByteArray bytes = DemoMedia::forMimeType(mime, seed + int(rowId));
        writeBytes(QDir(phoneFolder).filePath(path), bytes);
        sizes += QStringLiteral("UPDATE attachment SET total_bytes = %1 WHERE ROWID = %2;").arg(bytes.size()).arg(rowId);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    SqlFixture::build(smsDb, sizes);
}

// The phone's message database, address book and attachments below
// `phoneFolder`/file-relay/var/mobile/Library.
void buildPhone(const QDir& sources, const QString& phoneFolder, const QString& messagesSql, int variant, int seed)
{
    if (!QDir(phoneFolder).removeRecursively())
        fail(QStringLiteral("cannot clear %1").arg(phoneFolder));
    const QString smsDb = SmsDbFixture::smsDbPath(phoneFolder);
    SmsDbFixture::createDevice(smsDb, variant);
    SqlFixture::build(smsDb, readText(sources, "phrases.sql") + readText(sources, messagesSql)
                                 + readText(sources, "conversations.sql"));
    writeAttachments(phoneFolder, smsDb, seed);
    AddressBookFixture::build(phoneFolder, {});
    SqlFixture::build(AddressBookFixture::addressBookPath(phoneFolder), readText(sources, "contacts.sql"));
}

// What the phone's file_relay service sends: its "var" tree as a
// gzip-compressed cpio archive.
QByteArray fileRelayArchive(const QString& phoneFolder)
{
    const QString root = QDir(phoneFolder).filePath("file-relay");
    QList<CpioFixture::Entry> entries{CpioFixture::folder("./")};
    for (const QString& name : treeBelow(root)) {
        const QString path = QDir(root).filePath(name);
        if (QFileInfo(path).isDir()) {
            entries << CpioFixture::folder("./" + name);
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read %1").arg(path));
        entries << CpioFixture::file("./" + name, file.readAll());
    }
    return CpioFixture::cpio(entries, true);
}

// What the demo knows of a phone, as its lockdown values and its backups
// give it.
struct Phone
{
    const char* udid;
    const char* name;
    const char* type;
    const char* version;
};

void writeInfoPlist(const QString& path, const Phone& phone)
{
    const char* udid = phone.udid;
    const char* name = phone.name;
    const char* version = phone.version;
    plist_t info = plist_new_dict();
    plist_dict_set_item(info, "Device Name", plist_new_string(name));
    plist_dict_set_item(info, "Display Name", plist_new_string(name));
    plist_dict_set_item(info, "Product Type", plist_new_string(phone.type));
    plist_dict_set_item(info, "Product Version", plist_new_string(version));
    plist_dict_set_item(info, "Unique Identifier", plist_new_string(udid));
    plist_dict_set_item(info, "Target Identifier", plist_new_string(udid));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(info, &xml, &length);
    plist_free(info);
    const QByteArray bytes(xml, int(length));
    free(xml);
    writeBytes(path, bytes);
}

// The phone's message and address-book files as a backup: attachments in
// MediaDomain, the rest in HomeDomain. An encrypted one is of the Manifest.db
// generation; a plain one of the Manifest.mbdb generation, as iOS 7 made.
void writeBackup(const QString& phoneFolder, const QString& backupFolder, const Phone& phone, bool encrypted)
{
    if (!QDir(backupFolder).removeRecursively())
        fail(QStringLiteral("cannot clear %1").arg(backupFolder));
    const QString root = QDir(phoneFolder).filePath("file-relay/var/mobile");
    BackupFixture backup(backupFolder,
                         encrypted ? BackupFixture::Generation::ManifestDb : BackupFixture::Generation::Mbdb);
    for (const QString& path : treeBelow(root)) {
        const QString domain = path.startsWith(QLatin1String("Library/SMS/Attachments"))
            ? QStringLiteral("MediaDomain") : QStringLiteral("HomeDomain");
        const QString full = QDir(root).filePath(path);
        if (QFileInfo(full).isDir()) {
            backup.addFolder(domain, path);
            continue;
        }
        QFile file(full);
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read %1").arg(full));
        backup.addFile(domain, path, file.readAll());
    }
    const QDateTime date(QDate(2020, 1, 20), QTime(18, 30), Qt::UTC);
    BackupFixtureManifest manifest;
    manifest.uniqueDeviceId = QString::fromLatin1(phone.udid);
    manifest.deviceName = QString::fromUtf8(phone.name);
    manifest.productType = QString::fromLatin1(phone.type);
    manifest.productVersion = QString::fromLatin1(phone.version);
    manifest.date = date;
    if (encrypted) {
        // A device's keybag with the second password step, whose index is
        // then encrypted too; fewer rounds than a phone's keep the unlock
        // quick.
        KeybagFixture keybag(QString::fromLatin1(kBackupPassword), 10000, 10000);
        keybag.addClass(EncryptedBackupFixture::kFileClass);
        EncryptedBackupFixture::write(backup, keybag, manifest);
    } else {
        manifest.isEncrypted = false;
        backup.write();
        backup.writeManifest(manifest);
    }
    backup.writeStatus(date);
    writeInfoPlist(QDir(backupFolder).filePath("Info.plist"), phone);
}

// The simulated backup tool's answers for a phone: its backups copy
// `backupFolder` with a short progress; a restore leaves the phone as it is.
void describeBackupTool(SimDeviceScenario& scenario, const char* udid, const QString& backupFolder)
{
    plist_t tool = scenario.dict(scenario.device(udid), "BackupTool");
    plist_dict_set_item(tool, "SourceFolder", plist_new_string(backupFolder.toUtf8().constData()));
    plist_dict_set_item(tool, "StepDelayMs", plist_new_uint(150));
    plist_t progress = plist_new_array();
    for (int percent : {5, 20, 45, 70, 90, 100})
        plist_array_append_item(progress, plist_new_uint(uint64_t(percent)));
    plist_dict_set_item(tool, "Progress", progress);
}

// The lockdown values the application reads of a phone.
void describe(SimDeviceScenario& scenario, const char* udid, const char* name, const char* type, const char* version,
              bool encryptsBackups)
{
    scenario.text(udid, QString(), "UniqueDeviceID", QString::fromLatin1(udid))
        .text(udid, QString(), "DeviceName", QString::fromUtf8(name))
        .text(udid, QString(), "ProductType", QString::fromLatin1(type))
        .text(udid, QString(), "ProductVersion", QString::fromLatin1(version))
        .text(udid, QString(), "MobileSubscriberCountryCode", "310")
        .text(udid, "com.apple.international", "Locale", "en_US")
        .value(udid, "com.apple.mobile.backup", "CloudBackupEnabled", plist_new_bool(0))
        .value(udid, "com.apple.mobile.backup", "WillEncrypt", plist_new_bool(encryptsBackups));
}

void generate(const QDir& sources, const QDir& out)
{
    if (!out.mkpath("."))
        fail(QStringLiteral("cannot create %1").arg(out.absolutePath()));
    SimDeviceScenario scenario;
    scenario.manualEvents(false);

    const Phone ios7Phone{kIos7Udid, "Demo iPhone 4S", "iPhone4,1", "7.1.2"};
    const QString ios7 = out.absoluteFilePath("ios7");
    const QString ios7Backup = out.absoluteFilePath("ios7-backup");
    buildPhone(sources, ios7, "ios7-messages.sql", SmsDbFixture::OptionalColumns, 7);
    // It is read through file_relay; its backup serves as the target of a
    // transfer, which backs the phone up and restores it.
    writeBackup(ios7, ios7Backup, ios7Phone, false);
    describe(scenario, kIos7Udid, ios7Phone.name, ios7Phone.type, ios7Phone.version, false);
    describeBackupTool(scenario, kIos7Udid, ios7Backup);
    const QByteArray archive = fileRelayArchive(ios7);
    plist_t relay = plist_new_dict();
    plist_dict_set_item(relay, "Archive", plist_new_data(archive.constData(), uint64_t(archive.size())));
    scenario.serviceOptions(kIos7Udid, kFileRelayService, "file_relay", relay);

    const Phone ios12Phone{kIos12Udid, "Demo iPhone XS", "iPhone11,2", "12.4.1"};
    const QString ios12 = out.absoluteFilePath("ios12");
    const QString ios12Backup = out.absoluteFilePath("ios12-backup");
    buildPhone(sources, ios12, "ios12-messages.sql", SmsDbFixture::OptionalColumns | SmsDbFixture::Nanoseconds, 12);
    writeBackup(ios12, ios12Backup, ios12Phone, true);
    describe(scenario, kIos12Udid, ios12Phone.name, ios12Phone.type, ios12Phone.version, true);
    describeBackupTool(scenario, kIos12Udid, ios12Backup);

    // The second phone comes a little later, as a newcomer would plug it in.
    scenario.event(kIos7Udid, "attach").event(kIos12Udid, "attach", 3000);
    if (!scenario.write(out.absoluteFilePath("scenario.plist")))
        fail(QStringLiteral("cannot write %1").arg(out.absoluteFilePath("scenario.plist")));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // image format plugins
    if (argc != 3) {
        fprintf(stderr, "usage: demogen <sql folder> <output folder>\n");
        return 2;
    }
    try {
        generate(QDir(QString::fromLocal8Bit(argv[1])), QDir(QString::fromLocal8Bit(argv[2])));
    } catch (const std::exception& e) {
        fprintf(stderr, "demogen: %s\n", e.what());
        return 1;
    }
    return 0;
}
