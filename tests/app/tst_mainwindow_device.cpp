// The main window's device road end to end on the simulated backend: an
// attach report fired through the stand-in reaches the window, the phone's
// databases come over file_relay (iOS 5 to 7, or no version) or through a
// device backup made by the backup tool stand-in (plain or encrypted), and
// the device node appears with its conversations. Every step that fails or
// is cancelled leaves no node and no half-made cache; a detach fired in the
// middle of each step stops the road, and a detach of another device's node
// waits until the running road has ended.
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

#include <archive_entry.h>

#include <functional>
#include <thread>
#include <memory>

#include "backupfixture.h"
#include "conversationfixture.h"
#include "cpiofixture.h"
#include "data_path_util.h"
#include "devicewarningbox.h"
#include "encryptedbackupfixture.h"
#include "ios5smsfixture.h"
#include "iosbackuptemp.h"
#include "itemmodelmain.h"
#include "keybagfixture.h"
#include "mainwindow.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "mytreeview.h"
#include "itemmodelsms.h"
#include "smsbrowser.h"
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

const char* const kFileRelay = "com.apple.mobile.file_relay";
const QString kPassword = QStringLiteral("pw");
const QString kNotes = QStringLiteral("<p>Notes:</p>");

// The listener drops a second attach of an id until its detach: every case
// uses ids of its own.
int g_serial = 0;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Schema of the phone's sms.db: 6 (Ann with 3 messages, Bob with 2), 5 (the
// iOS 5 sample), or 0 (an SQLite file without message tables).
QByteArray smsDb(const QString& scratch, int schema)
{
    const QString folder = scratch + QStringLiteral("/sms-%1").arg(++g_serial);
    const QString path = SmsDbFixture::smsDbPath(folder);
    if (schema == 6)
        ConversationFixture::create(folder, {{QStringLiteral("Ann"), 3}, {QStringLiteral("Bob"), 2}});
    else if (schema == 5)
        IOS5SmsFixture::createSample(path);
    else
        SqlFixture::build(path, "create table unrelated (x integer);");
    return readFile(path);
}

// What the file_relay service sends: the SMS folder and an address book.
QByteArray relayArchive(const QByteArray& sms)
{
    using namespace CpioFixture;
    return cpio({folder("./"), folder("./var"), folder("./var/mobile"), folder("./var/mobile/Library"),
                 folder("./var/mobile/Library/SMS"), file("./var/mobile/Library/SMS/sms.db", sms),
                 folder("./var/mobile/Library/AddressBook")});
}

// A backup as the phone's backup tool leaves it, with `extraFiles` more
// files in the SMS folder (a slow cache step), or without that folder.
void writeBackup(const QString& folder, const QString& udid, bool encrypted, const QByteArray& sms,
                 int extraFiles = 0, bool withSms = true)
{
    BackupFixture backup(folder, Generation::ManifestDb);
    backup.addFolder("HomeDomain", "Library");
    if (withSms) {
        backup.addFolder("HomeDomain", "Library/SMS");
        backup.addFile("HomeDomain", "Library/SMS/sms.db", sms);
        if (extraFiles > 0)
            backup.addFolder("HomeDomain", "Library/SMS/Drafts");
        for (int i = 0; i < extraFiles; ++i)
            backup.addFile("HomeDomain", QStringLiteral("Library/SMS/Drafts/%1.plist").arg(i), "draft");
    }
    backup.addFile("HomeDomain", "Library/Notes/notes.sqlite", "notes");
    BackupFixtureManifest manifest;
    manifest.uniqueDeviceId = udid;
    manifest.deviceName = QStringLiteral("Backed-up iPhone");
    manifest.productVersion = QStringLiteral("9.3.5");
    if (encrypted) {
        KeybagFixture keybag(kPassword, 10, 5);
        keybag.addClass(EncryptedBackupFixture::kFileClass);
        EncryptedBackupFixture::write(backup, keybag, manifest);
    } else {
        backup.write();
        backup.writeManifest(manifest);
    }
    backup.writeStatus(QDateTime::currentDateTimeUtc());
}

// Acts on the dialogs of a road as they are shown: on the n-th progress
// dialog of the window's steps, on the password dialog and on the notes box.
// Detaches are fired from the show itself, so they land inside the step
// however fast it is; cancels are queued behind the show.
class RoadDriver : public QObject
{
public:
    QStringList passwords;        // typed in turn; when none is left, Cancel
    int cancelStep = -1;          // the progress step (from 0) to cancel
    QString detachAt;             // "notes", "step0", "step1", "password"
    std::function<void()> detach; // fires the detach
    // Answers any other modal dialog (true once done with it).
    std::function<bool(QWidget*)> otherDialog;
    int steps = 0;                // progress steps of the window seen
    int passwordDialogs = 0;
    QRect notesPlace;             // where the notes box stood as it closed

    explicit RoadDriver(QWidget* window) : m_window(window)
    {
        qApp->installEventFilter(this);
        m_watcher.onDialog([this](QWidget* modal) { return answer(modal); });
    }
    ~RoadDriver() override { qApp->removeEventFilter(this); }

    QStringList boxes() const
    {
        QStringList texts;
        for (const ModalWatcher::ShownBox& box : m_watcher.shown())
            texts << box.text;
        return texts;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        // A dialog takes its place in its own show handler, after filters
        // have seen the show: read the place as the box goes.
        if (auto* box = qobject_cast<QMessageBox*>(object);
            box && event->type() == QEvent::Hide && box->text().startsWith(kNotes))
            notesPlace = box->frameGeometry();
        if (event->type() != QEvent::Show || !object->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(object);
        if (auto* form = qobject_cast<ProgressForm*>(widget); form && form->parentWidget() == m_window) {
            if (form->property("seen").toBool())
                return false;
            form->setProperty("seen", true);
            const int step = steps++;
            if (detachAt == QStringLiteral("step%1").arg(step))
                fireDetach();
            if (step == cancelStep)
                QTimer::singleShot(0, form, [form] { QMetaObject::invokeMethod(form, "cancel"); });
        } else if (qobject_cast<PasscodeDlg*>(widget) && !widget->property("seen").toBool()) {
            widget->setProperty("seen", true);
            ++passwordDialogs;
            if (detachAt == QLatin1String("password"))
                fireDetach();
        } else if (auto* box = qobject_cast<QMessageBox*>(widget);
                   box && box->text().startsWith(kNotes) && detachAt == QLatin1String("notes")) {
            fireDetach();
        }
        return false;
    }

private:
    void fireDetach()
    {
        if (detach)
            std::exchange(detach, {})();
    }

    // The password dialog: one password per try, the next once the last
    // try (its check and its box) is over.
    bool answer(QWidget* modal)
    {
        auto* dialog = qobject_cast<PasscodeDlg*>(modal);
        if (!dialog)
            return otherDialog && otherDialog(modal);
        if (dialog->property("trying").toBool())
            return false;
        dialog->setProperty("trying", true);
        const bool give = !passwords.isEmpty();
        if (give)
            dialog->findChild<QLineEdit*>(QStringLiteral("txtPasscode"))->setText(passwords.takeFirst());
        QPushButton* button =
            dialog->findChild<QPushButton*>(give ? QStringLiteral("btnOK") : QStringLiteral("btnCancel"));
        QPointer<PasscodeDlg> guard(dialog);
        QTimer::singleShot(0, dialog, [button, guard] {
            QTest::mouseClick(button, Qt::LeftButton);
            if (guard)
                guard->setProperty("trying", false);
        });
        return false;
    }

    QWidget* m_window;
    ModalWatcher m_watcher;
};

} // namespace

class TestMainWindowDevice : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempHome> home;
    std::unique_ptr<SimDeviceScenario> scenario;

    // A phone of the scenario with its attach and detach events; `version`
    // empty: none reported. The lockdown id is the record's unless given.
    QString addPhone(const QString& version, const QString& lockdownId = QStringLiteral("<record>"),
                     bool attachEvent = true)
    {
        const QString udid = QStringLiteral("phone-%1").arg(++g_serial);
        scenario->text(udid, QString(), "UniqueDeviceID", lockdownId == "<record>" ? udid : lockdownId);
        scenario->text(udid, QString(), "DeviceName", "Phone " + udid);
        scenario->text(udid, QString(), "ProductType", "iPhone8,1");
        if (!version.isEmpty())
            scenario->text(udid, QString(), "ProductVersion", version);
        if (attachEvent)
            scenario->event(udid, "attach");
        scenario->event(udid, "detach");
        return udid;
    }

    void fileRelay(const QString& udid, const QByteArray& archive)
    {
        scenario->service(udid, kFileRelay, "file_relay");
        relayOption(udid, "Archive", plist_new_data(archive.constData(), uint64_t(archive.size())));
    }

    void relayOption(const QString& udid, const char* key, plist_t value)
    {
        plist_t services = plist_dict_get_item(scenario->device(udid), "Services");
        plist_dict_set_item(plist_dict_get_item(services, kFileRelay), key, value);
    }

    plist_t tool(const QString& udid) { return scenario->dict(scenario->device(udid), "BackupTool"); }

    void backupFrom(const QString& udid, const QString& source)
    {
        plist_dict_set_item(tool(udid), "SourceFolder", plist_new_string(qPrintable(source)));
    }

    // The scenario in the stand-in and, for the backup tool, in a file.
    void load()
    {
        scenario->manualEvents(true);
        QVERIFY(scenario->load());
        QVERIFY(scenario->write(home->file("scenario.plist")));
        qputenv("QUILLSPROUT_DEVICE_SIM", QFile::encodeName(home->file("scenario.plist")));
    }

    static _IOSDeviceItemNode* deviceNode(MainWindow& w, const QString& udid)
    {
        for (Node* child : w.sourceModel()->rootDevice->childs) {
            auto* node = static_cast<_IOSDeviceItemNode*>(child);
            if (child->type == ITEMNODE_IOS_DEVICE && node->device.device == SimDeviceScenario::deviceRecord(udid))
                return node;
        }
        return nullptr;
    }

    // Fires the next event (the phone's attach) and waits for the node of
    // `udid` to become current; true when it did.
    bool attachShown(MainWindow& w, const QString& udid)
    {
        {
            RoadDriver driver(&w);
            if (!SimDeviceScenario::fireNextEvent())
                return false;
        }
        const _IOSDeviceItemNode* node = deviceNode(w, udid);
        return node && QTest::qWaitFor([&] {
                   return w.form()->treeViewDS->currentIndex() == w.sourceModel()->indexOfItemNode(node);
               });
    }

    QString cacheDir(const QString& udid) const
    {
        return g_dataSaveDir().absoluteFilePath(QStringLiteral("ios_cache/") + udid);
    }

    // The folders a road may leave: nothing of a cache but whole ones.
    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        ::umask(022);
        QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
        // The start-up's reporter: device warnings show as boxes.
        g_installDeviceWarningBoxes();
        SimDeviceScenario::useSimulatedBackend();
        QString error;
        QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    }

    void init()
    {
        home = std::make_unique<TempHome>();
        g_resetDataSaveDirForTests();
        scenario = std::make_unique<SimDeviceScenario>();
    }

    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        scenario.reset();
        home.reset();
        g_resetDataSaveDirForTests();
    }

    // Both roads to a device node: its record, its database's schema, its
    // conversations, and the node made current.
    void roads_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("backupRoad");
        QTest::addColumn<int>("schema");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("country");
        QTest::addColumn<int>("conversations"); // -1: one per merged conversation read
        QTest::newRow("iOS 6, file_relay") << "6.1.3" << false << 6 << false << "en_GB" << "gb" << 2;
        QTest::newRow("iOS 5, file_relay") << "5.1.1" << false << 5 << false << "fr" << "fr" << -1;
        QTest::newRow("no version, file_relay") << "" << false << 6 << false << "" << "" << 2;
        QTest::newRow("iOS 9, plain backup") << "9.3.5" << true << 6 << false << "en_US" << "us" << 2;
        QTest::newRow("iOS 9, encrypted backup") << "9.3.5" << true << 6 << true << "de_DE" << "de" << 2;
    }

    void roads()
    {
        QFETCH(QString, version);
        QFETCH(bool, backupRoad);
        QFETCH(int, schema);
        QFETCH(bool, encrypted);
        QFETCH(QString, locale);
        QFETCH(QString, country);
        QFETCH(int, conversations);
        const QString udid = addPhone(version);
        if (!locale.isEmpty())
            scenario->text(udid, "com.apple.international", "Locale", locale);
        if (backupRoad) {
            writeBackup(home->file("phone"), udid, encrypted, smsDb(home->path(), schema));
            backupFrom(udid, home->file("phone"));
        } else {
            fileRelay(udid, relayArchive(smsDb(home->path(), schema)));
        }
        load();
        MainWindow w;
        RoadDriver driver(&w);
        driver.passwords = {QStringLiteral("wrong"), kPassword};
        QVERIFY(SimDeviceScenario::fireNextEvent());

        const QStringList boxes = driver.boxes();
        QVERIFY2(!boxes.isEmpty() && boxes.first().startsWith(kNotes), qPrintable(boxes.join('|')));
        QVERIFY(boxes.first().contains("/tutorial/encrypt-itunes-backups.html\">How to?</a>"));
        QCOMPARE(boxes.mid(1), encrypted ? QStringList{"Invalid password."} : QStringList());
        QCOMPARE(driver.steps, backupRoad ? 2 : 1);
        QCOMPARE(driver.passwordDialogs, encrypted ? 1 : 0);

        _IOSDeviceItemNode* node = deviceNode(w, udid);
        QVERIFY(node);
        QCOMPARE(node->text, "Phone " + udid);
        QCOMPARE(node->device.udid, udid);
        QCOMPARE(node->device.productVersion, version);
        QCOMPARE(node->device.productType, QStringLiteral("iPhone8,1"));
        QCOMPARE(node->device.countryCode, country);
        QCOMPARE(node->device.backupPassword, encrypted ? kPassword : QString());
        QCOMPARE(node->db->type(), schema);
        QVERIFY(!node->childs.isEmpty());
        QCOMPARE(node->childs.size(), conversations < 0 ? node->data.chatMergeList().size() : conversations);
        QTRY_COMPARE(w.form()->treeViewDS->currentIndex(), w.sourceModel()->indexOfItemNode(node));
        QVERIFY(QFileInfo::exists(cacheDir(udid) + "/file-relay/var/mobile/Library/SMS/sms.db"));
        QCOMPARE(QFileInfo::exists(cacheDir(udid) + "/manifest.db"), backupRoad);
        QCOMPARE(QFileInfo::exists(iosbackup_temp_dir().absoluteFilePath(udid)), backupRoad);

        // The detach report takes the node with its messages.
        QVERIFY(SimDeviceScenario::fireNextEvent());
        QVERIFY(!deviceNode(w, udid));
        QVERIFY(QFileInfo::exists(cacheDir(udid) + "/file-relay/var/mobile/Library/SMS/sms.db"));
    }

    // The iOS major version picks the road: file_relay asks the phone for a
    // service in this process; the backup road leaves it to the backup tool.
    void roadChoice_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("relayRoad");
        QTest::newRow("7.1.2") << "7.1.2" << true;
        QTest::newRow("5.0") << "5.0" << true;
        QTest::newRow("no digits") << "beta" << true;
        QTest::newRow("8.0") << "8.0" << false;
        QTest::newRow("4.3.5") << "4.3.5" << false;
        QTest::newRow("12.4") << "12.4" << false;
    }

    void roadChoice()
    {
        QFETCH(QString, version);
        QFETCH(bool, relayRoad);
        const QString udid = addPhone(version);
        const QByteArray sms = smsDb(home->path(), 6);
        fileRelay(udid, relayArchive(sms));
        writeBackup(home->file("phone"), udid, false, sms);
        backupFrom(udid, home->file("phone"));
        load();
        MainWindow w;
        RoadDriver driver(&w);
        QVERIFY(SimDeviceScenario::fireNextEvent());
        QCOMPARE(SimDeviceScenario::callCount("AMDeviceStartService") > 0, relayRoad);
        QCOMPARE(driver.steps, relayRoad ? 1 : 2);
        QVERIFY(deviceNode(w, udid));
    }

    // Every step that fails or is cancelled ends the road with its own box
    // or silently; no node is made, and what stays on disk is whole.
    void stops_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("boxes"); // after the notes; "*" leads a text the box holds
        QTest::addColumn<bool>("notes");
        QTest::addColumn<QString>("cacheLeft"); // "none" or "partial" (file_relay keeps what came)
        QTest::addColumn<bool>("backupLeft");
        QTest::newRow("lockdown session fails")
            << "lockdown" << QStringList{"*Please launch iTunes first"} << false << "none" << false;
        QTest::newRow("empty device id")
            << "empty id" << QStringList{"*The device reported no unique device id."} << false << "none" << false;
        QTest::newRow("unsafe device id")
            << "unsafe id" << QStringList{"*holds characters that are not allowed"} << false << "none" << false;
        QTest::newRow("file_relay fails")
            << "relay fails" << QStringList{"*AMDeviceStartService(com.apple.mobile.file_relay)"} << true << "none"
            << false;
        QTest::newRow("file_relay cancelled") << "relay cancel" << QStringList() << true << "partial" << false;
        QTest::newRow("iCloud backup on")
            << "icloud" << QStringList{"*Please turn off iCloud backup on your iPhone"} << true << "none" << false;
        QTest::newRow("device backup fails") << "backup fails" << QStringList{"*"} << true << "none" << false;
        QTest::newRow("device backup cancelled") << "backup cancel" << QStringList() << true << "none" << false;
        QTest::newRow("file index unreadable") << "index" << QStringList{"*"} << true << "none" << true;
        QTest::newRow("password dialog cancelled") << "password cancel" << QStringList() << true << "none" << true;
        QTest::newRow("backup without messages")
            << "no sms" << QStringList{"*Found no message database file in this iTunes backup."} << true << "none"
            << true;
        QTest::newRow("cache step cancelled") << "cache cancel" << QStringList() << true << "none" << true;
    }

    void stops()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, boxes);
        QFETCH(bool, notes);
        QFETCH(QString, cacheLeft);
        QFETCH(bool, backupLeft);
        const bool relay = kind == "lockdown" || kind.endsWith("id") || kind.startsWith("relay");
        QString lockdownId = QStringLiteral("<record>");
        if (kind == "empty id")
            lockdownId = QString();
        else if (kind == "unsafe id")
            lockdownId = QStringLiteral("../escaped");
        const QString udid = addPhone(relay ? QStringLiteral("7.1.2") : QStringLiteral("9.3.5"), lockdownId);
        const QByteArray sms = smsDb(home->path(), 6);
        fileRelay(udid, relayArchive(sms));
        writeBackup(home->file("phone"), udid, kind.startsWith("password"), sms, kind == "cache cancel" ? 3000 : 0,
                    kind != "no sms");
        backupFrom(udid, home->file("phone"));
        int cancelStep = -1;
        if (kind == "lockdown") {
            scenario->result(udid, "AMDeviceStartSession", -5);
        } else if (kind == "relay fails") {
            scenario->result(udid, "AMDeviceStartService", -5);
        } else if (kind == "relay cancel") {
            relayOption(udid, "StallAfter", plist_new_uint(600));
            relayOption(udid, "StallMs", plist_new_uint(uint64_t(-1)) /* read back as -1 */);
            cancelStep = 0;
        } else if (kind == "icloud") {
            scenario->value(udid, "com.apple.mobile.backup", "CloudBackupEnabled", plist_new_bool(1));
        } else if (kind == "backup fails") {
            plist_dict_set_item(tool(udid), "ErrorCode", plist_new_uint(105));
        } else if (kind == "backup cancel") {
            plist_dict_set_item(tool(udid), "End", plist_new_string("stall"));
            cancelStep = 0;
        } else if (kind == "index") {
            QFile f(home->file("phone/Manifest.db"));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("not an index");
        } else if (kind == "cache cancel") {
            cancelStep = 1;
        }
        load();
        MainWindow w;
        RoadDriver driver(&w);
        driver.cancelStep = cancelStep;
        QVERIFY(SimDeviceScenario::fireNextEvent());

        QStringList shown = driver.boxes();
        QCOMPARE(!shown.isEmpty() && shown.first().startsWith(kNotes), notes);
        if (notes)
            shown.removeFirst();
        QCOMPARE(shown.size(), boxes.size());
        for (int i = 0; i < boxes.size(); ++i)
            QVERIFY2(shown.at(i).contains(boxes.at(i).mid(1)), qPrintable(shown.at(i)));
        QCOMPARE(w.sourceModel()->rootDevice->childs.size(), 0);

        const QString cache = cacheDir(udid);
        if (cacheLeft == "none")
            QVERIFY2(!QFileInfo::exists(cache) || entries(cache).isEmpty(), qPrintable(entries(cache).join(',')));
        else
            QVERIFY(!QFileInfo::exists(cache + "/file-relay/var/mobile/Library/SMS/sms.db"));
        // Nothing was made beside the device's own cache folder; a refused
        // id made no folder at all.
        QStringList others = entries(g_dataSaveDir().absoluteFilePath("ios_cache"));
        others.removeAll(udid);
        QCOMPARE(others, QStringList());
        QVERIFY(!QFileInfo::exists(g_dataSaveDir().absoluteFilePath("escaped")));
        QCOMPARE(QFileInfo::exists(iosbackup_temp_dir().absoluteFilePath(udid + "/Manifest.plist")), backupLeft);
        QCOMPARE(entries(iosbackup_temp_dir().absolutePath()), backupLeft ? QStringList{udid} : QStringList());
    }

    // The cached sms.db holds no messages the readers know: the node stays,
    // without conversations, after the conversations step's error box.
    void unreadableDatabaseKeepsNode()
    {
        const QString udid = addPhone("7.1.2");
        fileRelay(udid, relayArchive(smsDb(home->path(), 0)));
        load();
        MainWindow w;
        RoadDriver driver(&w);
        QVERIFY(SimDeviceScenario::fireNextEvent());
        const QStringList boxes = driver.boxes();
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes.at(1).contains(", line:522"), qPrintable(boxes.at(1)));
        _IOSDeviceItemNode* node = deviceNode(w, udid);
        QVERIFY(node);
        QCOMPARE(node->childs.size(), 0);
    }

    // The notes box centres on the shown window, even at its minimum size,
    // rather than standing off its edge.
    void notesBoxCentresOnTheWindow()
    {
        const QString udid = addPhone("7.1.2");
        fileRelay(udid, relayArchive(smsDb(home->path(), 6)));
        load();
        MainWindow w;
        w.resize(w.minimumSize());
        w.move(0, 0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        RoadDriver driver(&w);
        QVERIFY(SimDeviceScenario::fireNextEvent());
        QVERIFY(driver.boxes().value(0).startsWith(kNotes));
        const QRect window = w.frameGeometry();
        QVERIFY2(window.contains(driver.notesPlace), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                     .arg(driver.notesPlace.x())
                                                                     .arg(driver.notesPlace.y())
                                                                     .arg(driver.notesPlace.width())
                                                                     .arg(driver.notesPlace.height())));
        // Within the few pixels that the guess of the window's frame makes.
        QVERIFY((driver.notesPlace.center() - window.center()).manhattanLength() <= 8);
    }

    // A detach in the middle of each step: the road ends without a node,
    // and nothing that a step still uses has gone (the sanitizer watches).
    void detachMidRoad_data()
    {
        QTest::addColumn<bool>("backupRoad");
        QTest::addColumn<QString>("at");
        QTest::newRow("file_relay, notes box") << false << "notes";
        QTest::newRow("file_relay, download") << false << "step0";
        QTest::newRow("backup, device backup") << true << "step0";
        QTest::newRow("backup, password dialog") << true << "password";
        QTest::newRow("backup, cache step") << true << "step1";
    }

    void detachMidRoad()
    {
        QFETCH(bool, backupRoad);
        QFETCH(QString, at);
        // The attach is delivered as the listener delivers it: fired through
        // the stand-in, a detach inside it would let the stand-in's other
        // subscribers (windows of earlier cases) report the attach again.
        const QString udid = addPhone(backupRoad ? "10.3.1" : "6.0", QStringLiteral("<record>"), false);
        const QByteArray sms = smsDb(home->path(), 6);
        fileRelay(udid, relayArchive(sms));
        writeBackup(home->file("phone"), udid, true, sms, 300);
        backupFrom(udid, home->file("phone"));
        load();
        MainWindow w;
        RoadDriver driver(&w);
        driver.passwords = {kPassword};
        driver.detachAt = at;
        bool fired = false;
        driver.detach = [&fired] { fired = SimDeviceScenario::fireNextEvent(); };
        QMetaObject::invokeMethod(&w, "iosDeviceConnected", Q_ARG(void*, SimDeviceScenario::deviceRecord(udid)));
        QVERIFY(fired);
        QCOMPARE(w.sourceModel()->rootDevice->childs.size(), 0);
        QTest::qWait(50);
        QCOMPARE(w.sourceModel()->rootDevice->childs.size(), 0);
    }

    // Another device's node that is detached while a road runs stays until
    // the road has ended, then goes; the new device's node is made.
    void detachOfOtherDeviceWaits_data()
    {
        QTest::addColumn<QString>("at");
        QTest::newRow("download") << "step0";
        QTest::newRow("notes box") << "notes";
    }

    void detachOfOtherDeviceWaits()
    {
        QFETCH(QString, at);
        const QString first = addPhone("7.1.2");
        const QString second = addPhone("7.1.2");
        const QByteArray sms = smsDb(home->path(), 6);
        fileRelay(first, relayArchive(sms));
        fileRelay(second, relayArchive(sms));
        // Events: attach first, detach first, attach second, detach second.
        load();
        MainWindow w;
        QVERIFY(attachShown(w, first));

        // The second phone's attach comes before the first one's detach.
        scenario = std::make_unique<SimDeviceScenario>();
        scenario->event(second, "attach");
        scenario->event(first, "detach");
        scenario->event(second, "detach");
        // Keep both devices' services and values in the new scenario.
        for (const QString& udid : {first, second}) {
            scenario->text(udid, QString(), "UniqueDeviceID", udid);
            scenario->text(udid, QString(), "DeviceName", "Phone " + udid);
            scenario->text(udid, QString(), "ProductVersion", "7.1.2");
            fileRelay(udid, relayArchive(sms));
        }
        load();
        RoadDriver driver(&w);
        driver.detachAt = at;
        bool stayed = false;
        driver.detach = [&] {
            QVERIFY(SimDeviceScenario::fireNextEvent());
            stayed = deviceNode(w, first) != nullptr;
        };
        QVERIFY(SimDeviceScenario::fireNextEvent());
        QVERIFY(stayed);
        QTRY_VERIFY(!deviceNode(w, first));
        QVERIFY(deviceNode(w, second));
        QCOMPARE(w.sourceModel()->rootDevice->childs.size(), 1);
    }

    // A device detached while a local database is shown takes only its own
    // node: the list and the browser keep the database's messages.
    void detachOfAnotherDeviceKeepsLocalDatabaseShown()
    {
        const QString udid = addPhone("7.1.2");
        fileRelay(udid, relayArchive(smsDb(home->path(), 6)));
        load();
        ConversationFixture::create(g_localDbDir().absoluteFilePath(QStringLiteral("Family")),
                                    {{QStringLiteral("Ann"), 3}});
        MainWindow w;
        QVERIFY(attachShown(w, udid));
        const AbsTreeItemModel::_ItemNode* local = w.sourceModel()->rootLocalDb->childs.value(0);
        QVERIFY(local);
        w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(local));
        const QList<_MsgMessage*> shown = w.messageModel()->messages();
        QCOMPARE(shown.size(), 3);

        QVERIFY(SimDeviceScenario::fireNextEvent());
        QVERIFY(!deviceNode(w, udid));
        QCOMPARE(w.form()->treeViewDS->currentIndex(), w.sourceModel()->indexOfItemNode(local));
        QCOMPARE(w.messageModel()->messages(), shown);
        QCOMPARE(w.form()->txtSMS->messages(), shown);
    }

    // The detach report of a device whose messages are being exported
    // arrives as the listener sends it, from another thread, while the
    // export runs: the node, with the messages the export reads, stays
    // until the export has ended, and every message is written.
    void detachDuringExportWaits()
    {
        const QString udid = addPhone("7.1.2");
        const QString folder = home->file("many");
        ConversationFixture::create(folder, {{QStringLiteral("Ann"), 3000}, {QStringLiteral("Bob"), 2000}});
        fileRelay(udid, relayArchive(readFile(SmsDbFixture::smsDbPath(folder))));
        load();
        MainWindow w;
        QVERIFY(attachShown(w, udid));

        const QString csv = home->file("export.csv");
        RoadDriver driver(&w);
        driver.otherDialog = [csv](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return false;
            dialog->selectNameFilter(QStringLiteral("CSV Files(*.csv)"));
            dialog->selectFile(csv);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            return true;
        };
        driver.detachAt = QStringLiteral("step0");
        bool stayed = false;
        driver.detach = [&] {
            std::thread([] { SimDeviceScenario::fireNextEvent(); }).join();
            QCoreApplication::processEvents(); // before the dialog's own loop
            stayed = deviceNode(w, udid) != nullptr;
        };
        QMetaObject::invokeMethod(&w, "miExportAll");
        QVERIFY(stayed);
        QTRY_VERIFY(!deviceNode(w, udid));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY2(f.readAll().count('\n') >= 5000, "the export lost messages");
        QCOMPARE(driver.boxes().size(), 1); // its success
    }
};

QTEST_MAIN(TestMainWindowDevice)
#include "tst_mainwindow_device.moc"
