// The demo phones of the README's run command, each on the road the
// application takes for it: the iPhone on iOS 7 through its file_relay
// service into the device cache; the iPhone on iOS 12 through a device
// backup that the password the README states unlocks, and the cache copy of
// its message and address-book files. Each cached message database is then
// read as the window reads it.
#include "absiosmessagedb.h"
#include "backupmanifest.h"
#include "cftype.h"
#include "countrylibdb.h"
#include "data_path_util.h"
#include "demoscenario.h"
#include "ios6messagedb.h"
#include "iosdevice.h"
#include "iosloadfilerelaythread.h"
#include "iosmobilebackupthread.h"
#include "itunescachesmsthread.h"
#include "mobiledevice_session.h"
#include "modalwatcher.h"
#include "msgdata.h"
#include "msgrecords.h"
#include "progressform.h"
#include "progressrunner.h"
#include "simdevicescenario.h"
#include "sqlfixture.h"
#include "temphome.h"
#include "translation.h"

#include <QImage>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

namespace {

const QString kScenario = QStringLiteral(QS_DEMO_SCENARIO);
QString readmeBackupPassword() { return demoscenario::readmeBackupPassword(QStringLiteral(QS_README)); }
QStringList scenarioDevices() { return demoscenario::deviceIds(kScenario); }

// The device as the application describes it from its lockdown values.
IOSDevice lockdownDevice(const QString& udid)
{
    IOSDevice device;
    device.device = static_cast<am_device*>(SimDeviceScenario::deviceRecord(udid));
    if (!device.device)
        return device;
    const QList<CFType> values = mobiledevice_info(
        device.device, {"UniqueDeviceID", "DeviceName", "ProductVersion", "ProductType"}, QString());
    device.udid = values.value(0).CFStringQString();
    device.deviceName = values.value(1).CFStringQString();
    device.productVersion = values.value(2).CFStringQString();
    device.productType = values.value(3).CFStringQString();
    device.countryCode = QStringLiteral("us");
    return device;
}

// Runs a worker behind its dialog; the texts of the boxes shown go to `boxes`.
bool runStep(ProgressForm& form, QThread& worker, QStringList& boxes)
{
    ModalWatcher watcher;
    const bool ok = g_runWithProgress(form, worker);
    for (const ModalWatcher::ShownBox& box : watcher.shown())
        boxes << box.text;
    return ok;
}

bool containsRange(const QString& text, char32_t first, char32_t last)
{
    for (char32_t c : text.toUcs4())
        if (c >= first && c <= last)
            return true;
    return false;
}

// What a demo phone's conversations must show.
struct Expected
{
    int chats;
    int pictures;
    int videos;
    QStringList services;
    QString groupTitle;
};

} // namespace

class TestDemoPhones : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void iosSevenThroughFileRelay();
    void iosTwelveThroughEncryptedBackup();

private:
    // Reads the cached sms.db of `device` with the message-db reader and
    // checks its conversations, messages, contacts and attachment files.
    void checkConversations(const IOSDevice& device, const Expected& expected);

    QStringList m_udids;
    std::unique_ptr<TempHome> m_home;
};

void TestDemoPhones::initTestCase()
{
    ::umask(022);
    m_udids = scenarioDevices();
    QCOMPARE(m_udids.size(), 2);
    qputenv("QUILLSPROUT_DEVICE_SIM", QFile::encodeName(kScenario));
    QCOMPARE(mobiledevice_init(), 1);
    QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
}

void TestDemoPhones::init()
{
    m_home = std::make_unique<TempHome>();
    g_resetDataSaveDirForTests();
}

void TestDemoPhones::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_home.reset();
    g_resetDataSaveDirForTests();
}

void TestDemoPhones::checkConversations(const IOSDevice& device, const Expected& expected)
{
    const QString smsDb = device.cacheDir().absoluteFilePath("file-relay/var/mobile/Library/SMS/sms.db");
    QCOMPARE(AbsIOSMessageDb::checkDbType(smsDb), 6);
    CountryLibDb countries{QString()};
    IOS6MessageDb db(device.cacheDir(), countries.infoByCode(device.countryCode), false);
    MsgData data;
    db.chats(data);
    const QList<_MsgChat*> chats = data.chats();
    QCOMPARE(chats.size(), expected.chats);

    QSet<QString> services;
    QStringList titles;
    bool named = false;
    for (_MsgChat* chat : chats) {
        db.messages(data, chat->ROWID);
        services << chat->service_name;
        if (chat->style == 43)
            titles << chat->display_name;
        for (const _MsgHandle* handle : chat->handles)
            named = named || !handle->_ct_name.isEmpty();
    }
    QCOMPARE(QStringList(services.begin(), services.end()).size(), expected.services.size());
    for (const QString& service : expected.services)
        QVERIFY2(services.contains(service), qPrintable(service));
    QVERIFY2(titles.contains(expected.groupTitle), qPrintable(titles.join(", ")));
    QVERIFY2(named, "no correspondent got a name from the address book");

    const QList<_MsgMessage*> messages = data.messages();
    // Every message row is read; group events (item_type not 0) are none.
    QCOMPARE(messages.size(), SqlFixture::scalar(smsDb, "select count(*) from message where item_type = 0").toInt());
    QVERIFY(messages.size() >= 100);
    QString texts;
    int first = messages.first()->date;
    int last = first;
    int pictures = 0;
    int videos = 0;
    for (const _MsgMessage* message : messages) {
        texts += message->text;
        first = qMin(first, message->date);
        last = qMax(last, message->date);
        for (const _MsgAttachment* attachment : message->attas) {
            QVERIFY2(QFileInfo(attachment->localPath).size() > 0, qPrintable(attachment->localPath));
            if (attachment->mime_type.startsWith("image/")) {
                ++pictures;
                QVERIFY2(!QImage(attachment->localPath).isNull(), qPrintable(attachment->localPath));
            } else {
                ++videos;
                QFile movie(attachment->localPath);
                QVERIFY(movie.open(QIODevice::ReadOnly));
                QCOMPARE(movie.read(8).mid(4), QByteArray("ftyp"));
            }
        }
    }
    QCOMPARE(pictures, expected.pictures);
    QCOMPARE(videos, expected.videos);
    QVERIFY2(last - first > 700 * 86400, "the messages span less than two years");
    QVERIFY2(containsRange(texts, 0x4E00, 0x9FFF), "no Chinese text");
    QVERIFY2(containsRange(texts, 0x0600, 0x06FF), "no Arabic text");
    QVERIFY2(containsRange(texts, 0x1F300, 0x1FAFF), "no emoji");
}

void TestDemoPhones::iosSevenThroughFileRelay()
{
    const IOSDevice device = lockdownDevice(m_udids.value(0));
    QCOMPARE(device.udid, m_udids.value(0));
    QVERIFY(!device.deviceName.isEmpty());
    QCOMPARE(device.versionList().value(0), 7); // the file_relay road

    ProgressForm form{QString()};
    IOSLoadFileRelayThread worker(device, form);
    QStringList boxes;
    QVERIFY2(runStep(form, worker, boxes), qPrintable(boxes.join('\n')));
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('\n')));
    QVERIFY(QFile::exists(device.cacheDir().absoluteFilePath(
        "file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb")));

    checkConversations(device, {12, 5, 1, {"SMS", "iMessage"}, QString::fromUtf8("Weekend Hikes 🥾")});
}

void TestDemoPhones::iosTwelveThroughEncryptedBackup()
{
    IOSDevice device = lockdownDevice(m_udids.value(1));
    QCOMPARE(device.udid, m_udids.value(1));
    QCOMPARE(device.versionList().value(0), 12); // the backup road
    QVERIFY(device.checkiTunesBackupSettings(true, false)); // iCloud backup is off

    QStringList boxes;
    QString backupFolder;
    {
        ProgressForm form{QString()};
        IOSMobileBackupThread worker(true, device, form);
        QVERIFY2(runStep(form, worker, boxes), qPrintable(boxes.join('\n')));
        backupFolder = worker.root().absoluteFilePath(device.udid);
    }
    BackupManifest backup(backupFolder);
    backup.readManifestInfo();
    QVERIFY(backup.info.IsEncrypted);
    const QString password = readmeBackupPassword();
    QVERIFY2(!password.isEmpty(), "the README states no backup password");
    QVERIFY(!backup.setPasscodeNoUIThrow(password + "x"));
    QVERIFY(backup.setPasscodeNoUIThrow(password));
    device.backupPassword = password;
    backup.parseInfo();
    QVERIFY(backup.smsDbNode);
    {
        ProgressForm form{QString()};
        ITunesCacheSMSThread worker(backup, device.cacheDir(), form);
        QVERIFY2(runStep(form, worker, boxes), qPrintable(boxes.join('\n')));
    }
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('\n')));

    checkConversations(device, {6, 2, 0, {"SMS", "iMessage"}, QString::fromUtf8("Family 🏡")});
}

QTEST_MAIN(TestDemoPhones)
#include "tst_demophones.moc"
