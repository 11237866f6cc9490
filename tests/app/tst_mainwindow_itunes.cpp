// The main window's iTunes backup commands over a temporary HOME: messages
// of a local database written into a backup of either index generation,
// plain and encrypted, read back by our reader and by SQLite; and the
// transfer to an attached device on the simulated backend: which devices are
// offered, the checks before any backup, the whole road to the restored
// device, and a failed restore that leaves the device's backup usable.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

#include "backupmanifest.h"
#include "conversationfixture.h"
#include "data_path_util.h"
#include "datasourceselform.h"
#include "encryptedbackupfixture.h"
#include "ios5messagedb.h"
#include "ios6messagedb.h"
#include "iosbackuptemp.h"
#include "ios5smsfixture.h"
#include "itunesbackupsteps.h"
#include "itemmodelmain.h"
#include "loaditunesbackupdlg.h"
#include "localdbselform.h"
#include "mainwindow.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "mytreeview.h"
#include "passcodedlg.h"
#include "progressform.h"
#include "simdevicescenario.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "temphome.h"
#include "translation.h"
#include "ui_mainwindow.h"

using Node = AbsTreeItemModel::_ItemNode;
using Generation = BackupFixture::Generation;

namespace {

const QString kPassword = QStringLiteral("pw");
const QString kTarget = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kOther = QStringLiteral("00008030-00AABBCCDDEEFF00");
const QString kVersion = QStringLiteral("16.1");

// The backup's own sms.db: chat-1 with Ann (the local database's first
// conversation too) holding bk-1, and a chat of its own holding bk-2.
QByteArray backupSmsDb(const QString& scratch)
{
    const QString path = scratch + QStringLiteral("/backup-sms.db");
    QFile::remove(path);
    SmsDbFixture::createDevice(path, SmsDbFixture::OptionalColumns);
    SqlFixture::build(path,
                      "insert into handle (ROWID, id, service) values (1, 'Ann', 'SMS'), (2, '+555', 'SMS');"
                      "insert into chat (ROWID, guid, style, state, chat_identifier, service_name) values"
                      " (1, 'chat-1', 45, 3, 'Ann', 'SMS'), (2, 'bk-chat', 45, 3, '+555', 'SMS');"
                      "insert into chat_handle_join values (1, 1), (2, 2);"
                      "insert into message (ROWID, guid, text, handle_id, service, date) values"
                      " (1, 'bk-1', 'kept one', 1, 'SMS', 500), (2, 'bk-2', 'kept two', 2, 'SMS', 600);"
                      "insert into chat_message_join values (1, 1), (2, 2);");
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The sample database of the iOS 5 schema, as a backup would hold it.
QByteArray ios5SmsDb(const QString& scratch)
{
    const QString path = scratch + QStringLiteral("/ios5-sms.db");
    QFile::remove(path);
    IOS5SmsFixture::createSample(path);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

void writeBackup(const QString& folder, Generation generation, bool encrypted, const QByteArray& smsDb,
                 bool withWal = false)
{
    BackupFixture backup(folder, generation);
    backup.addFolder("HomeDomain", "Library");
    backup.addFolder("HomeDomain", "Library/SMS");
    backup.addFile("HomeDomain", "Library/SMS/sms.db", smsDb);
    if (withWal)
        backup.addFile("HomeDomain", "Library/SMS/sms.db-wal", "frames of the old database");
    backup.addFile("HomeDomain", "Library/Notes/notes.sqlite", "notes");
    BackupFixtureManifest manifest;
    manifest.uniqueDeviceId = kTarget;
    manifest.deviceName = QStringLiteral("My iPhone");
    manifest.productVersion = kVersion;
    if (encrypted) {
        KeybagFixture keybag(kPassword, 10, generation == Generation::ManifestDb ? 5 : 0);
        keybag.addClass(EncryptedBackupFixture::kFileClass);
        EncryptedBackupFixture::write(backup, keybag, manifest);
    } else {
        backup.write();
        backup.writeManifest(manifest);
    }
    backup.writeStatus(QDateTime::currentDateTimeUtc());
    writeBytes(folder + "/Info.plist", "<plist><dict/></plist>\n");
}

// Every file of a folder with its contents, to tell whether anything changed.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        files.insert(path.mid(folder.size()), f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    return files;
}

// The backup's sms.db as our reader gives it out, copied to `target`;
// also the raw stored file and the paths of the index.
void readBackSmsDb(const QString& folder, const QString& target, QByteArray* stored = nullptr,
                   QStringList* paths = nullptr)
{
    BackupManifest backup(folder);
    backup.readManifestInfo();
    if (backup.info.IsEncrypted)
        QVERIFY(backup.setPasscodeNoUIThrow(kPassword));
    backup.parseInfo();
    QVERIFY(backup.smsDbNode);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    backup.copyFile(backup.smsDbNode, target, nullptr, nullptr);
    if (stored) {
        QFile f(MBDBParser::getBKFilePath(backup.dir, backup.smsDbNode->item().backupFileName(), false));
        QVERIFY(f.open(QIODevice::ReadOnly));
        *stored = f.readAll();
    }
    if (paths)
        for (const MBDBParser::_MBDBItem& item : std::as_const(backup.items))
            *paths << item.path.toString();
}

QStringList guidsOf(const QString& path)
{
    return SqlFixture::scalar(path, "select group_concat(guid, ',') from (select guid from message order by rowid)")
        .toString()
        .split(QLatin1Char(','));
}

// What the command showed of its dialogs, and how to answer them.
struct Dialogs
{
    QString password;         // typed into the password dialog; empty: Cancel
    bool pickDevice = true;   // OK in the device chooser, else Cancel
    QStringList order;        // "chooser", "passcode", "devices", "progress", "localdb"
    QString localDbOffered;   // the local-database chooser's default, accepted as it stands
    QStringList offered;      // the device chooser's entries
    int preselected = -2;
};

void click(QPushButton* button)
{
    QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
}

void answerDialogs(ModalWatcher& watcher, Dialogs& d)
{
    watcher.onDialog([&d](QWidget* modal) {
        if (modal->property("answered").toBool())
            return false;
        modal->setProperty("answered", true);
        if (auto* chooser = qobject_cast<LoadItunesBackupDlg*>(modal)) {
            d.order << "chooser";
            auto* list = chooser->findChild<QTreeView*>(QStringLiteral("listBackups"));
            list->setCurrentIndex(list->model()->index(0, 0));
            click(chooser->findChild<QPushButton*>(QStringLiteral("btnLoad")));
        } else if (qobject_cast<PasscodeDlg*>(modal)) {
            d.order << "passcode";
            modal->findChild<QLineEdit*>(QStringLiteral("txtPasscode"))->setText(d.password);
            click(modal->findChild<QPushButton*>(d.password.isEmpty() ? QStringLiteral("btnCancel")
                                                                      : QStringLiteral("btnOK")));
        } else if (qobject_cast<DataSourceSelForm*>(modal)) {
            d.order << "devices";
            auto* combo = modal->findChild<QComboBox*>(QStringLiteral("cbDevice"));
            for (int i = 0; i < combo->count(); ++i)
                d.offered << combo->itemText(i);
            d.preselected = combo->currentIndex();
            click(modal->findChild<QPushButton*>(d.pickDevice ? QStringLiteral("btnOK") : QStringLiteral("btnClose")));
        } else if (qobject_cast<LocalDbSelForm*>(modal)) {
            d.order << "localdb";
            d.localDbOffered = modal->findChild<QComboBox*>(QStringLiteral("cbLocalDbNames"))->currentText();
            click(modal->findChild<QPushButton*>(QStringLiteral("btnOK")));
        } else if (qobject_cast<ProgressForm*>(modal)) {
            d.order << "progress";
        }
        return false;
    });
}

QStringList boxTexts(const ModalWatcher& watcher)
{
    QStringList texts;
    for (const ModalWatcher::ShownBox& box : watcher.shown())
        texts << box.text;
    return texts;
}

} // namespace

class TestMainWindowITunes : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempHome> home;
    SimDeviceScenario scenario;

    QString backupsRoot() const { return g_osAppDir().absoluteFilePath(QStringLiteral("MobileSync/Backup")); }
    static void select(MainWindow& w, const Node* node)
    {
        w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(node));
    }
    static const Node* localDb(MainWindow& w) { return w.sourceModel()->rootLocalDb->childs.at(0); }

    // An attached device node (with the simulated device's handle unless
    // `saved`) whose message database is of `schema`.
    _IOSDeviceItemNode* addDevice(MainWindow& w, const QString& udid, const QString& name, int schema = 6,
                                  const QString& productType = QStringLiteral("iPhone10,3"), bool saved = false)
    {
        const QDir folder(home->file("device-" + name));
        QSharedPointer<AbsMessageDb> db;
        if (schema == 6)
            db.reset(new IOS6MessageDb(folder, _CountryInfo(), false));
        else
            db.reset(new IOS5MessageDb(folder, _CountryInfo()));
        IOSDevice device;
        device.udid = udid;
        device.deviceName = name;
        device.productType = productType;
        device.productVersion = kVersion;
        device.countryCode = QStringLiteral("us");
        device.device = saved ? nullptr : static_cast<am_device*>(SimDeviceScenario::deviceRecord(udid));
        if (!saved)
            Q_ASSERT(device.device);
        return w.sourceModel()->addIOSDevice(db, device);
    }

    // The target's tool: a backup copies `source`, a restore copies the
    // backup into `restoreInto`.
    void useDevices(const QString& source, const QString& restoreInto)
    {
        for (const QString& udid : {kTarget, kOther}) {
            plist_t tool = scenario.dict(scenario.device(udid), "BackupTool");
            plist_dict_set_item(tool, "SourceFolder", plist_new_string(qPrintable(source)));
            plist_dict_set_item(tool, "RestoreInto", plist_new_string(qPrintable(restoreInto)));
        }
        QVERIFY(scenario.load());
        QVERIFY(scenario.write(home->file("scenario.plist")));
        qputenv("QUILLSPROUT_DEVICE_SIM", QFile::encodeName(home->file("scenario.plist")));
    }

    // "Transfer SMS from Database to iPhone" on every message of the local
    // database, the first question answered `answer`; the boxes shown.
    QStringList transferAll(MainWindow& w, QMessageBox::StandardButton answer, Dialogs& dialogs)
    {
        select(w, localDb(w));
        ModalWatcher watcher;
        watcher.answer(answer);
        answerDialogs(watcher, dialogs);
        QMetaObject::invokeMethod(&w, "miDb2IAll");
        return boxTexts(watcher);
    }

private slots:
    void initTestCase()
    {
        ::umask(022);
        QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
        SimDeviceScenario::useSimulatedBackend();
        QString error;
        QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    }

    void init()
    {
        home = std::make_unique<TempHome>();
        g_resetDataSaveDirForTests();
        ConversationFixture::create(g_dataSaveDir().absoluteFilePath(QStringLiteral("local_databases/db")),
                                    {{QStringLiteral("Ann"), 3}, {QStringLiteral("Bob"), 2}});
    }

    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        home.reset();
        g_resetDataSaveDirForTests();
    }

    // Every message of the local database goes into the backup beside the
    // backup's own; the new database is stored (encrypted where the backup
    // is) and reads back through our reader and through SQLite.
    void exportWritesIntoBackup_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << false;
        QTest::newRow("Manifest.db") << int(Generation::ManifestDb) << false;
        QTest::newRow("Manifest.mbdb, encrypted") << int(Generation::Mbdb) << true;
        QTest::newRow("Manifest.db, encrypted") << int(Generation::ManifestDb) << true;
    }

    void exportWritesIntoBackup()
    {
        QFETCH(int, generation);
        QFETCH(bool, encrypted);
        const QString folder = backupsRoot() + "/" + kTarget;
        writeBackup(folder, Generation(generation), encrypted, backupSmsDb(home->path()));
        // msg-2 carries a picture, whose file lies in the database's file-relay tree.
        const QString local = g_dataSaveDir().absoluteFilePath(QStringLiteral("local_databases/db"));
        SqlFixture::build(SmsDbFixture::smsDbPath(local),
                          "insert into attachment (ROWID, guid, filename, mime_type) values"
                          " (1, 'pic', '~/Library/SMS/Attachments/ab/pic.jpg', 'image/jpeg');"
                          "insert into message_attachment_join values (2, 1);");
        writeBytes(local + "/file-relay/var/mobile/Library/SMS/Attachments/ab/pic.jpg", "picture bytes");

        MainWindow w;
        select(w, localDb(w));
        ModalWatcher watcher;
        Dialogs dialogs;
        dialogs.password = kPassword;
        answerDialogs(watcher, dialogs);
        QMetaObject::invokeMethod(&w, "miExport2iTunesAll");

        QCOMPARE(boxTexts(watcher), QStringList{QStringLiteral("Successfully recovered 5 SMS to iPhone.")});
        QCOMPARE(dialogs.order.mid(0, 2),
                 encrypted ? (QStringList{"chooser", "passcode"}) : (QStringList{"chooser", "progress"}));
        const QString copy = home->file("read/file-relay/var/mobile/Library/SMS/sms.db");
        QByteArray stored;
        readBackSmsDb(folder, copy, &stored);
        QCOMPARE(stored.startsWith("SQLite format 3"), !encrypted);
        QCOMPARE(guidsOf(copy), (QStringList{"bk-1", "bk-2", "msg-1", "msg-2", "msg-3", "msg-4", "msg-5"}));
        QCOMPARE(SqlFixture::scalar(copy, "pragma integrity_check").toString(), QStringLiteral("ok"));
        IOS6MessageDb reader(QDir(home->file("read")), _CountryInfo(), false);
        MsgData data;
        reader.messages(data, 0);
        QCOMPARE(data.messages().size(), 7);
        QCOMPARE(data.p()->chats.size(), 3);
        QCOMPARE(SqlFixture::scalar(copy, "select a.guid from message_attachment_join j join message m on m.rowid ="
                                          " j.message_id join attachment a on a.rowid = j.attachment_id"
                                          " where m.guid = 'msg-2'").toString(),
                 QStringLiteral("pic"));

        // The picture went into MediaDomain under its path from "Library/".
        BackupManifest backup(folder);
        backup.readManifestInfo();
        if (encrypted)
            QVERIFY(backup.setPasscodeNoUIThrow(kPassword));
        backup.parseInfo();
        const QString name = MBDBParser::getFileHashName("MediaDomain", "Library/SMS/Attachments/ab/pic.jpg");
        QVERIFY(backup.items.contains(name));
        const QString picture = home->file("picture");
        backup.copyItemThrow(backup.items.value(name), picture, nullptr, nullptr);
        QFile f(picture);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("picture bytes"));
    }

    // A conversation chosen: only its listed messages join the backup's own.
    // The write-ahead file of the replaced database leaves the index.
    void exportTakesListedConversation()
    {
        const QString folder = backupsRoot() + "/" + kTarget;
        writeBackup(folder, Generation::ManifestDb, false, backupSmsDb(home->path()), true);
        MainWindow w;
        select(w, localDb(w));
        const Node* bob = nullptr;
        for (const Node* chat : localDb(w)->childs)
            if (chat->text.contains(QLatin1String("Bob"), Qt::CaseInsensitive))
                bob = chat;
        QVERIFY(bob);
        select(w, bob);
        ModalWatcher watcher;
        Dialogs dialogs;
        answerDialogs(watcher, dialogs);
        QMetaObject::invokeMethod(&w, "miExport2iTunesChat");
        QCOMPARE(boxTexts(watcher), QStringList{QStringLiteral("Successfully recovered 2 SMS to iPhone.")});
        const QString copy = home->file("read.db");
        QStringList paths;
        readBackSmsDb(folder, copy, nullptr, &paths);
        QCOMPARE(guidsOf(copy), (QStringList{"bk-1", "bk-2", "msg-4", "msg-5"}));
        QVERIFY(paths.contains("Library/SMS/sms.db"));
        QVERIFY(!paths.contains("Library/SMS/sms.db-wal"));
    }

    // The password dialog comes before any progress dialog; leaving it
    // ends the command with the backup untouched.
    void cancelledPasswordLeavesBackup()
    {
        const QString folder = backupsRoot() + "/" + kTarget;
        writeBackup(folder, Generation::ManifestDb, true, backupSmsDb(home->path()));
        const QMap<QString, QByteArray> before = snapshot(folder);
        MainWindow w;
        select(w, localDb(w));
        ModalWatcher watcher;
        Dialogs dialogs;
        answerDialogs(watcher, dialogs);
        QMetaObject::invokeMethod(&w, "miExport2iTunesAll");
        QCOMPARE(dialogs.order, (QStringList{"chooser", "passcode"}));
        QCOMPARE(boxTexts(watcher), QStringList());
        QCOMPARE(snapshot(folder), before);
    }

    // The reading half of the import: the backup picked and unlocked, its
    // files cached, and its messages read by the reader of their schema.
    void importReadsBackupMessages_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<bool>("ios5");
        QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << false << false;
        QTest::newRow("Manifest.db, encrypted") << int(Generation::ManifestDb) << true << false;
        QTest::newRow("iOS 5 database") << int(Generation::ManifestDb) << false << true;
    }

    void importReadsBackupMessages()
    {
        QFETCH(int, generation);
        QFETCH(bool, encrypted);
        QFETCH(bool, ios5);
        const QByteArray smsDb = ios5 ? ios5SmsDb(home->path()) : backupSmsDb(home->path());
        writeBackup(backupsRoot() + "/" + kTarget, Generation(generation), encrypted, smsDb);
        ModalWatcher watcher;
        Dialogs dialogs;
        dialogs.password = kPassword;
        answerDialogs(watcher, dialogs);
        const QSharedPointer<BackupManifest> backup = ITunesBackupSteps::chooseBackup(nullptr);
        QVERIFY(backup);
        QCOMPARE(backup->info.DeviceName, QStringLiteral("My iPhone"));
        QDir cacheDir;
        QVERIFY(ITunesBackupSteps::cacheBackup(*backup, nullptr, cacheDir));
        QSharedPointer<AbsMessageDb> db;
        MsgData data;
        ITunesBackupSteps::readCachedMessages(cacheDir, db, data);
        QCOMPARE(db->type(), ios5 ? 5 : 6);
        QStringList guids;
        for (const _MsgMessage* m : data.messages())
            guids << m->guid;
        guids.sort();
        if (ios5)
            QVERIFY(guids.size() >= 6);
        else
            QCOMPARE(guids, (QStringList{"bk-1", "bk-2"}));
        QCOMPARE(boxTexts(watcher), QStringList());
    }

    // The whole import: the backup picked (and unlocked), cached and read,
    // then backed up into the local database the chooser offers, which is
    // the backup's device name for the File command and the database's own
    // name from its context menu.
    void importIntoLocalDb_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<bool>("ios5");
        QTest::addColumn<bool>("fromLocalDb");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<int>("stored"); // messages in the local database afterwards
        QTest::newRow("File menu, Manifest.mbdb") << int(Generation::Mbdb) << false << false << false
                                                  << "My iPhone_Backup" << 2;
        QTest::newRow("this database, Manifest.db, encrypted")
            << int(Generation::ManifestDb) << true << false << true << "db" << 7;
        QTest::newRow("File menu, iOS 5 database") << int(Generation::ManifestDb) << false << true << false
                                                   << "My iPhone_Backup" << -1;
    }

    void importIntoLocalDb()
    {
        QFETCH(int, generation);
        QFETCH(bool, encrypted);
        QFETCH(bool, ios5);
        QFETCH(bool, fromLocalDb);
        QFETCH(QString, offered);
        QFETCH(int, stored);
        const QByteArray smsDb = ios5 ? ios5SmsDb(home->path()) : backupSmsDb(home->path());
        writeBackup(backupsRoot() + "/" + kTarget, Generation(generation), encrypted, smsDb);
        MainWindow w;
        if (fromLocalDb)
            select(w, localDb(w));
        ModalWatcher watcher;
        Dialogs dialogs;
        dialogs.password = kPassword;
        answerDialogs(watcher, dialogs);
        QMetaObject::invokeMethod(&w, fromLocalDb ? "miImportToLocalDb" : "miImportItunes");

        // The password check has a progress dialog of its own.
        QCOMPARE(dialogs.order.mid(0, 2),
                 encrypted ? (QStringList{"chooser", "passcode"}) : (QStringList{"chooser", "progress"}));
        QCOMPARE(dialogs.order.mid(dialogs.order.size() - 3), (QStringList{"progress", "localdb", "progress"}));
        QCOMPARE(dialogs.localDbOffered, offered);
        const QStringList boxes = boxTexts(watcher);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().startsWith("Successfully Backup "), qPrintable(boxes.first()));
        const QString target = SmsDbFixture::smsDbPath(g_localDbDir().absoluteFilePath(offered));
        const int count = SqlFixture::scalar(target, "select count(*) from message").toInt();
        if (stored >= 0)
            QCOMPARE(count, stored);
        else
            QVERIFY(count > 0);
        if (!ios5)
            QCOMPARE(SqlFixture::scalar(target, "select count(*) from message where guid in ('bk-1', 'bk-2')").toInt(),
                     2);
        QCOMPARE(w.sourceModel()->rootLocalDb->childs.size(), fromLocalDb ? 1 : 2);
    }

    void importOfBackupWithoutMessages()
    {
        BackupFixture backup(backupsRoot() + "/" + kTarget, Generation::Mbdb);
        backup.addFile("HomeDomain", "Library/Notes/notes.sqlite", "notes");
        backup.write();
        backup.writeManifest(BackupFixtureManifest());
        ModalWatcher watcher;
        Dialogs dialogs;
        answerDialogs(watcher, dialogs);
        const QSharedPointer<BackupManifest> chosen = ITunesBackupSteps::chooseBackup(nullptr);
        QVERIFY(chosen);
        QDir cacheDir;
        QVERIFY(!ITunesBackupSteps::cacheBackup(*chosen, nullptr, cacheDir));
        QCOMPARE(boxTexts(watcher).size(), 1);
        QVERIFY2(boxTexts(watcher).first().contains("Found no message database file in this iTunes backup."),
                 qPrintable(boxTexts(watcher).first()));
    }

    // Only attached devices are offered, never the source device; a single
    // one is preselected.
    void offeredDevices_data()
    {
        QTest::addColumn<bool>("fromDevice");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<int>("preselected");
        QTest::newRow("from a local database") << false << QStringList{"Target", "Other"} << -1;
        QTest::newRow("from a device") << true << QStringList{"Target"} << 0;
    }

    void offeredDevices()
    {
        QFETCH(bool, fromDevice);
        QFETCH(QStringList, offered);
        QFETCH(int, preselected);
        useDevices(home->file("none"), home->file("device"));
        MainWindow w;
        addDevice(w, kTarget, "Target");
        _IOSDeviceItemNode* other = addDevice(w, kOther, "Other");
        addDevice(w, home->file("saved"), "Saved", 6, "iPhone10,3", true);
        if (fromDevice) {
            ConversationFixture::create(home->file("device-Other"), {{QStringLiteral("Cy"), 1}});
            select(w, other);
        } else {
            select(w, localDb(w));
        }
        ModalWatcher watcher;
        Dialogs dialogs;
        dialogs.pickDevice = false;
        answerDialogs(watcher, dialogs);
        QMetaObject::invokeMethod(&w, fromDevice ? "miI2IAll" : "miDb2IAll");
        QCOMPARE(dialogs.order, QStringList{"devices"});
        QCOMPARE(dialogs.offered, offered);
        QCOMPARE(dialogs.preselected, preselected);
        QCOMPARE(boxTexts(watcher), QStringList());
    }

    // No attached device but the source: an information box says so, and no
    // chooser opens that could only be cancelled.
    void noTargetIsExplained()
    {
        useDevices(home->file("none"), home->file("device"));
        MainWindow w;
        _IOSDeviceItemNode* source = addDevice(w, kOther, "Other");
        addDevice(w, home->file("saved"), "Saved", 6, "iPhone10,3", true);
        ConversationFixture::create(home->file("device-Other"), {{QStringLiteral("Cy"), 1}});
        select(w, source);
        ModalWatcher watcher;
        Dialogs dialogs;
        answerDialogs(watcher, dialogs);
        QMetaObject::invokeMethod(&w, "miI2IAll");
        QCOMPARE(dialogs.order, QStringList());
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Information);
        QVERIFY2(watcher.shown().first().text.contains(QStringLiteral("No attached iPhone other than the source")),
                 qPrintable(watcher.shown().first().text));
    }

    // The checks before any backup: a target read as iOS 5 is refused; an
    // iPad is asked about first, and No ends the command.
    void checksBeforeBackup_data()
    {
        QTest::addColumn<int>("schema");
        QTest::addColumn<QString>("productType");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("iOS 5 database") << 5 << "iPhone4,1"
                                        << QStringList{"Failed to recover. Only iOS 6 or above is supported."};
        QTest::newRow("iPad, No") << 6 << "iPad7,3"
                                  << QStringList{"You can transfer iMessage only to an iPad/iPod. Want to continue?"};
    }

    void checksBeforeBackup()
    {
        QFETCH(int, schema);
        QFETCH(QString, productType);
        QFETCH(QStringList, boxes);
        useDevices(home->file("none"), home->file("device"));
        MainWindow w;
        addDevice(w, kTarget, "Target", schema, productType);
        Dialogs dialogs;
        QCOMPARE(transferAll(w, QMessageBox::No, dialogs), boxes);
        QCOMPARE(dialogs.order, QStringList{"devices"});
        QVERIFY(!QFileInfo::exists(iosbackup_temp_dir().absoluteFilePath(kTarget)));
    }

    // The whole road: the device is backed up, the messages built and merged
    // into that backup, and the backup restored to the device.
    void transferRestoresToDevice_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("plain") << false;
        QTest::newRow("encrypted") << true;
    }

    void transferRestoresToDevice()
    {
        QFETCH(bool, encrypted);
        const QString source = home->file("phone-backup");
        writeBackup(source, Generation::ManifestDb, encrypted, backupSmsDb(home->path()));
        useDevices(source, home->file("device"));
        MainWindow w;
        _IOSDeviceItemNode* target = addDevice(w, kTarget, "Target");
        Dialogs dialogs;
        dialogs.password = kPassword;
        const QStringList boxes = transferAll(w, QMessageBox::Yes, dialogs); // Yes to the notes
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes.at(0).contains("\"Find My iPhone\" must be disabled before restoring"), qPrintable(boxes.at(0)));
        QCOMPARE(boxes.at(1),
                 QStringLiteral("Successfully recovered 5 SMS to iPhone. Now please disconnect your iPhone from computer."));
        QCOMPARE(target->device.backupPassword, encrypted ? kPassword : QString());
        const QString copy = home->file("restored.db");
        readBackSmsDb(home->file("device"), copy);
        QCOMPARE(guidsOf(copy), (QStringList{"bk-1", "bk-2", "msg-1", "msg-2", "msg-3", "msg-4", "msg-5"}));
        QVERIFY(QFileInfo::exists(iosbackup_temp_dir().absoluteFilePath(kTarget + "/Info.plist")));

        // A second transfer to the device does not ask for the password again.
        // (Its new database is named after the second it is built in.)
        QTest::qWait(1100);
        Dialogs again;
        const QStringList second = transferAll(w, QMessageBox::Yes, again);
        QVERIFY(!again.order.contains("passcode"));
        QVERIFY2(second.value(1).startsWith("Successfully recovered 5 SMS"), qPrintable(second.join('|')));
    }

    // A restore that fails shows its advice; the device's backup stays
    // whole, with the merged messages and its Info.plist back in place.
    void failedRestoreKeepsBackupUsable()
    {
        const QString source = home->file("phone-backup");
        writeBackup(source, Generation::Mbdb, false, backupSmsDb(home->path()));
        writeBytes(home->file("device"), "a file where the device's folder should be");
        useDevices(source, home->file("device"));
        MainWindow w;
        addDevice(w, kTarget, "Target");
        Dialogs dialogs;
        // The log names the operation and the step with its device.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Transfer SMS to iPhone: Restoring the backup .*%1 "
                                                               "to the iPhone \"Target\" failed: ")
                                                    .arg(QRegularExpression::escape(kTarget))));
        const QStringList boxes = transferAll(w, QMessageBox::Yes, dialogs);
        QCOMPARE(boxes.size(), 2);
        QVERIFY(!boxes.last().startsWith("Successfully"));
        // So does the box.
        QVERIFY2(boxes.last().contains(QStringLiteral("Restoring the backup ")
                                       + iosbackup_temp_dir().absoluteFilePath(kTarget)
                                       + QStringLiteral(" to the iPhone &quot;Target&quot; failed:")),
                 qPrintable(boxes.last()));
        const QString folder = iosbackup_temp_dir().absoluteFilePath(kTarget);
        QVERIFY(QFileInfo::exists(folder + "/Info.plist"));
        const QString copy = home->file("kept.db");
        readBackSmsDb(folder, copy);
        QCOMPARE(guidsOf(copy), (QStringList{"bk-1", "bk-2", "msg-1", "msg-2", "msg-3", "msg-4", "msg-5"}));
    }
};

QTEST_MAIN(TestMainWindowITunes)
#include "tst_mainwindow_itunes.moc"
