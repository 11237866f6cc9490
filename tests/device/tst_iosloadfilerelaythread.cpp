// The file_relay download end to end through the simulated device: the
// request and acknowledgment, the raw archive stream (built with
// libarchive's writer) and its unpacking into the device's cache folder, with the
// entries, refusals, stalls, truncations and cancels a device or a forged
// archive can bring.
#include "filerelayextractor.h"
#include "iosdevice.h"
#include "iosloadfilerelaythread.h"
#include "mobiledevice_session.h"
#include "progressform.h"
#include "progressrunner.h"

#include "cpiofixture.h"
#include "data_path_util.h"
#include "modalwatcher.h"
#include "simdevicescenario.h"
#include "temphome.h"
#include "translation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

#include <archive.h>
#include <archive_entry.h>

namespace {

const char* const kUdid = "fr-phone";
const char* const kService = "com.apple.mobile.file_relay";
const QString kSmsDb = QStringLiteral("var/mobile/Library/SMS/sms.db");

using CpioFixture::cpio;
using CpioFixture::Entry;
using CpioFixture::file;
using CpioFixture::folder;

// The folders of the SMS database, each listed before what it holds.
QList<Entry> smsFolders()
{
    return {folder("./"), folder("./var"), folder("./var/mobile"), folder("./var/mobile/Library"),
            folder("./var/mobile/Library/SMS")};
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + i / 251);
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString label(ProgressForm& form, const char* name) { return form.findChild<QLabel*>(QLatin1String(name))->text(); }

// The file_relay service of the phone with its archive and knobs.
class Phone
{
public:
    explicit Phone(const QByteArray& archive)
    {
        m_scenario.service(kUdid, kService, "file_relay");
        option("Archive", plist_new_data(archive.constData(), uint64_t(archive.size())));
    }
    Phone& option(const char* key, plist_t value)
    {
        plist_t services = plist_dict_get_item(m_scenario.device(kUdid), "Services");
        plist_dict_set_item(plist_dict_get_item(services, kService), key, value);
        return *this;
    }
    Phone& number(const char* key, qint64 value) { return option(key, plist_new_uint(uint64_t(value))); }
    SimDeviceScenario& scenario() { return m_scenario; }

private:
    SimDeviceScenario m_scenario;
};

} // namespace

class TestIOSLoadFileRelayThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fullDownload();
    void cleanNames_data();
    void cleanNames();
    void entriesThatWouldLeaveTheFolder();
    void failures_data();
    void failures();
    void failedEntryKeepsTheOldFile();
    void stallShorterThanTheLimit();
    void cancel_data();
    void cancel();

private:
    // Runs the worker behind its dialog: whether the step succeeded, and in
    // `shown` the text of the box it showed ("" when none).
    bool run(Phone& phone, QString& shown, std::function<bool(ProgressForm&)> cancelWhen = {});
    QString cacheFile(const QString& relative) const;

    std::unique_ptr<TempHome> m_home;
    IOSDevice m_device;
    std::unique_ptr<ProgressForm> m_form;
};

void TestIOSLoadFileRelayThread::initTestCase()
{
    ::umask(022);
    SimDeviceScenario::useSimulatedBackend();
    QCOMPARE(mobiledevice_init(), 1);
    QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
}

void TestIOSLoadFileRelayThread::init()
{
    m_home = std::make_unique<TempHome>();
    g_resetDataSaveDirForTests();
    m_device = IOSDevice();
    m_device.udid = kUdid;
}

void TestIOSLoadFileRelayThread::cleanup()
{
    m_form.reset();
    m_home.reset();
    g_resetDataSaveDirForTests();
}

QString TestIOSLoadFileRelayThread::cacheFile(const QString& relative) const
{
    return g_dataSaveDir().absoluteFilePath(QStringLiteral("ios_cache/%1/%2").arg(kUdid, relative));
}

bool TestIOSLoadFileRelayThread::run(Phone& phone, QString& shown, std::function<bool(ProgressForm&)> cancelWhen)
{
    if (!phone.scenario().load())
        return false;
    m_device.device = static_cast<am_device*>(SimDeviceScenario::deviceRecord(kUdid));
    ModalWatcher watcher;
    if (cancelWhen) {
        watcher.onDialog([cancelWhen](QWidget* modal) {
            auto* form = qobject_cast<ProgressForm*>(modal);
            if (!form || !cancelWhen(*form))
                return false;
            QTest::mousePress(form->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
            return true;
        });
    }
    m_form = std::make_unique<ProgressForm>(QString());
    IOSLoadFileRelayThread worker(m_device, *m_form);
    const bool ok = g_runWithProgress(*m_form, worker);
    shown = watcher.shown().isEmpty() ? QString() : watcher.shown().first().text;
    return ok;
}

void TestIOSLoadFileRelayThread::fullDownload()
{
    const QByteArray sms = pattern(700000); // more than one transfer block
    const QByteArray book = pattern(1000);
    QList<Entry> entries = smsFolders();
    entries << file("./" + kSmsDb, sms) << folder("var/mobile/Library/AddressBook")
            << file("var/mobile/Library/AddressBook/AddressBook.sqlitedb", book) << file("a:b\tc", "x")
            << file("empty.txt", QByteArray());
    entries.last().mtime = 1300000000;
    // An earlier run left a stale database and a file the archive lacks.
    writeFile(cacheFile("file-relay/" + kSmsDb), "stale");
    writeFile(cacheFile("file-relay/keep.txt"), "kept");

    Phone phone(cpio(entries, true));
    QString shown;
    QVERIFY2(run(phone, shown), qPrintable(shown));
    QCOMPARE(shown, QString());
    QCOMPARE(readAll(cacheFile("file-relay/" + kSmsDb)), sms);
    QCOMPARE(readAll(cacheFile("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb")), book);
    QCOMPARE(readAll(cacheFile("file-relay/abc")), QByteArray("x"));
    QCOMPARE(readAll(cacheFile("file-relay/keep.txt")), QByteArray("kept"));
    QCOMPARE(readAll(cacheFile("file-relay/empty.txt")), QByteArray());
    QCOMPARE(QFileInfo(cacheFile("file-relay/empty.txt")).lastModified().toSecsSinceEpoch(), 1300000000);
    QCOMPARE(QFileInfo(cacheFile("file-relay/" + kSmsDb)).lastModified().toSecsSinceEpoch(), 1400000000);
    QVERIFY(!QFile::exists(cacheFile("file-relay.cpio")));
    QCOMPARE(QDir(cacheFile("file-relay/var/mobile/Library/SMS")).entryList(QDir::Files), QStringList("sms.db"));
    QCOMPARE(label(*m_form, "lbStatus"), QStringLiteral("Extracting empty.txt"));
    QCOMPARE(label(*m_form, "lbProgress"), QStringLiteral("Extracted: 0KB / 0KB"));
    // Under the umask 022 of initTestCase the download is the user's alone,
    // also in folders an earlier run made wider.
    for (const QString& folder : {QString(), QString("file-relay"), QString("file-relay/var/mobile/Library/SMS"),
                                  QString("file-relay/var/mobile/Library/AddressBook")})
        QCOMPARE(modeOf(cacheFile(folder)), 0700);
    for (const QString& name : {"file-relay/" + kSmsDb, QString("file-relay/abc"), QString("file-relay/empty.txt"),
                                QString("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb")})
        QCOMPARE(modeOf(cacheFile(name)), 0600);
}

void TestIOSLoadFileRelayThread::cleanNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("clean");
    QTest::newRow("dot slash") << "./var/mobile/Library/SMS/sms.db" << "var/mobile/Library/SMS/sms.db";
    QTest::newRow("plain") << "var/mobile/Library/SMS/sms.db" << "var/mobile/Library/SMS/sms.db";
    QTest::newRow("only one dot slash") << "././a" << "./a";
    QTest::newRow("dot slash alone") << "./" << "";
    QTest::newRow("dot") << "." << ".";
    QTest::newRow("forbidden characters") << "a:b\tc*?\"<>|\\\n\r" << "abc";
    QTest::newRow("absolute") << "/etc/passwd" << "etc/passwd";
    QTest::newRow("root") << "//" << "";
}

void TestIOSLoadFileRelayThread::cleanNames()
{
    QFETCH(QString, name);
    QFETCH(QString, clean);
    QCOMPARE(FileRelayExtractor::cleanName(name), clean);
}

// A forged archive must not write outside "file-relay": ".." components are
// skipped, absolute names land inside, links are never made, and a link
// already on disk is not followed.
void TestIOSLoadFileRelayThread::entriesThatWouldLeaveTheFolder()
{
    const QString outside = m_home->file("outside");
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(QDir().mkpath(cacheFile("file-relay")));
    QVERIFY(QFile::link(outside, cacheFile("file-relay/planted")));

    Entry link{"var/link", AE_IFLNK, outside.toUtf8()};
    Phone phone(cpio({folder("var"), file("../escape.txt", "e"), file("var/../../escape2.txt", "e"),
                      folder("../escapedir"), file("/abs.txt", "a"), link, file("planted/evil.txt", "e"),
                      file("var/ok.txt", "ok")}));
    QString shown;
    QVERIFY2(run(phone, shown), qPrintable(shown));
    QCOMPARE(shown, QString());
    QCOMPARE(readAll(cacheFile("file-relay/abs.txt")), QByteArray("a"));
    QCOMPARE(readAll(cacheFile("file-relay/var/ok.txt")), QByteArray("ok"));
    QVERIFY(!QFileInfo(cacheFile("file-relay/var/link")).exists());
    QVERIFY(!QFileInfo(cacheFile("file-relay/var/link")).isSymLink());
    QVERIFY(QDir(outside).isEmpty());
    QVERIFY(!QFile::exists(cacheFile("escape.txt")));
    QVERIFY(!QFile::exists(cacheFile("escape2.txt")));
    QVERIFY(!QFile::exists(cacheFile("escapedir")));
}

void TestIOSLoadFileRelayThread::failures_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("knob");
    QTest::addColumn<QString>("udid");
    QTest::addColumn<QString>("error"); // a part of the error box; empty: success
    const QByteArray good = cpio(smsFolders() << file(kSmsDb, "db"));
    QTest::newRow("acknowledged in any case") << good << "lower-case status" << kUdid << "";
    QTest::newRow("service refused") << good << "start fails" << kUdid
                                     << "Error code: AMDeviceStartService(com.apple.mobile.file_relay)=-5";
    QTest::newRow("refused request") << good << "denied" << kUdid << "invalid feedback.\n<?xml";
    QTest::newRow("reply no dictionary") << good << "string reply" << kUdid
                                         << "invalid feedback.\n<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    QTest::newRow("closes before answering") << good << "no reply" << kUdid
                                             << "mobiledevice_recmsg(msg-length) error, received length: 0.\n<?xml";
    QTest::newRow("archive file cannot be made") << good << "cpio is a folder" << kUdid << "file-relay.cpio failed. ";
    QTest::newRow("not an archive") << QByteArray(3000, 'z') << "" << kUdid << "file-relay.cpio(-30) error.";
    QTest::newRow("truncated before the trailer") << good << "cut 150" << kUdid << "file-relay.cpio error. ";
    QTest::newRow("file without its folder") << cpio({file(kSmsDb, "db")}) << "" << kUdid
                                             << "var/mobile/Library/SMS/sms.db error. ";
    QTest::newRow("id that would leave the cache") << good << "" << "../x" << "holds characters that are not allowed";
}

void TestIOSLoadFileRelayThread::failures()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, knob);
    QFETCH(QString, udid);
    QFETCH(QString, error);
    Phone phone(archive);
    if (knob == "lower-case status" || knob == "denied") {
        plist_t reply = plist_new_dict();
        plist_dict_set_item(reply, "Status", plist_new_string(knob == "denied" ? "Denied" : "acknowledged"));
        phone.option("Reply", reply);
    } else if (knob == "string reply") {
        phone.option("Reply", plist_new_string("busy"));
    } else if (knob == "no reply") {
        phone.option("NoReply", plist_new_bool(1));
    } else if (knob == "start fails") {
        phone.scenario().result(kUdid, "AMDeviceStartService", -5);
    } else if (knob == "cpio is a folder") {
        QVERIFY(QDir().mkpath(cacheFile("file-relay.cpio")));
    } else if (knob.startsWith("cut ")) {
        phone.number("SendBytes", archive.size() - knob.mid(4).toInt());
    }
    m_device.udid = udid;
    QString shown;
    QCOMPARE(run(phone, shown), error.isEmpty());
    QVERIFY2(error.isEmpty() ? shown.isEmpty() : shown.contains(error), qPrintable(shown));
    if (error.isEmpty())
        QCOMPARE(readAll(cacheFile("file-relay/" + kSmsDb)), QByteArray("db"));
    if (knob == "denied")
        QVERIFY(shown.contains("<string>Denied</string>"));
    if (knob == "no reply") // the request is shown
        QVERIFY(shown.contains("<string>UserDatabases</string>"));
}

// An entry cut short by the end of the stream fails the run and leaves the
// database of the earlier run whole, with no temporary file beside it.
void TestIOSLoadFileRelayThread::failedEntryKeepsTheOldFile()
{
    writeFile(cacheFile("file-relay/" + kSmsDb), "good");
    const QByteArray archive = cpio(smsFolders() << file(kSmsDb, pattern(5000)));
    Phone phone(archive);
    phone.number("SendBytes", archive.size() - 3000);
    QString shown;
    QVERIFY(!run(phone, shown));
    QVERIFY2(shown.contains("sms.db error. The archive is damaged or cut short."), qPrintable(shown));
    QCOMPARE(readAll(cacheFile("file-relay/" + kSmsDb)), QByteArray("good"));
    QCOMPARE(QDir(cacheFile("file-relay/var/mobile/Library/SMS")).entryList(QDir::Files | QDir::Hidden),
             QStringList("sms.db"));
}

// A pause shorter than the stall limit does not end the stream.
void TestIOSLoadFileRelayThread::stallShorterThanTheLimit()
{
    const QByteArray sms = pattern(4000);
    Phone phone(cpio(smsFolders() << file(kSmsDb, sms)));
    phone.number("StallAfter", 1000).number("StallMs", 1500);
    QString shown;
    QVERIFY2(run(phone, shown), qPrintable(shown));
    QCOMPARE(readAll(cacheFile("file-relay/" + kSmsDb)), sms);
}

void TestIOSLoadFileRelayThread::cancel_data()
{
    QTest::addColumn<QString>("when");
    QTest::addColumn<qint64>("archiveKept"); // bytes of file-relay.cpio left; -1: none
    QTest::newRow("waiting for the acknowledgment") << "Loading SMS from iPhone..." << qint64(-1);
    QTest::newRow("in the middle of the stream") << "Received:512KB" << qint64(524288);
}

// The device stalls for ever; the cancel ends the run long before the
// stall limit, without a message, keeping what was received.
void TestIOSLoadFileRelayThread::cancel()
{
    QFETCH(QString, when);
    QFETCH(qint64, archiveKept);
    Phone phone(cpio(smsFolders() << file(kSmsDb, pattern(700000))));
    if (archiveKept < 0)
        phone.number("ReplyDelayMs", -1);
    else
        phone.number("StallAfter", 600000);
    QElapsedTimer timer;
    timer.start();
    QString shown;
    QVERIFY(!run(phone, shown, [when](ProgressForm& form) {
        return label(form, "lbStatus") == when || label(form, "lbProgress") == when;
    }));
    QVERIFY2(timer.elapsed() < 30000, "the cancel waited for the device's time-out");
    QVERIFY(shown.isEmpty());
    QVERIFY(m_form->cancelled);
    const QFileInfo kept(cacheFile("file-relay.cpio"));
    QCOMPARE(kept.exists() ? kept.size() : qint64(-1), archiveKept);
    QVERIFY(!QFile::exists(cacheFile("file-relay")));
}

QTEST_MAIN(TestIOSLoadFileRelayThread)
#include "tst_iosloadfilerelaythread.moc"
