// Merging files into a backup of either generation, plain and encrypted, read
// back through the index reader and the file copy; and crash consistency: a
// merge interrupted at any write step, by a failure or by killing the process,
// leaves a backup that reads back as it was before or as it is after the
// merge, never a mix.
#include "data_path_util.h"
#include "encryptedbackupfixture.h"
#include "iosmergewafiles2itunesbkthread.h"
#include "backupmanifest.h"
#include "mobiledevice_loader.h"
#include "modalwatcher.h"
#include "progressform.h"
#include "progressrunner.h"
#include "temphome.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Generation = BackupFixture::Generation;
using Item = IOSMergeWAFiles2iTunesBKThread::_Item;

const QString kPassword = QStringLiteral("pw");
const char kChildFlag[] = "--merge-child";

// encryption: 0 none, 1 encrypted files, 2 encrypted files and Manifest.db
void writeBackup(const QString& folder, Generation generation, int encryption)
{
    BackupFixture backup(folder, generation);
    backup.addFolder("HomeDomain", "Library");
    backup.addFolder("HomeDomain", "Library/SMS");
    backup.addFile("HomeDomain", "Library/SMS/sms.db", "old database");
    backup.addFolder("MediaDomain", "Library/SMS/Attachments");
    backup.addFile("MediaDomain", "Library/SMS/Attachments/old.jpg", "old picture");
    backup.addFile("HomeDomain", "Library/Notes/notes.sqlite", "notes");
    if (encryption == 0) {
        backup.write();
        backup.writeManifest(BackupFixtureManifest());
        return;
    }
    KeybagFixture keybag(kPassword, 10, encryption == 2 ? 5 : 0);
    keybag.addClass(EncryptedBackupFixture::kFileClass);
    EncryptedBackupFixture::write(backup, keybag, BackupFixtureManifest());
}

std::unique_ptr<BackupManifest> openBackup(const QString& folder)
{
    auto backup = std::make_unique<BackupManifest>(folder);
    backup->readManifestInfo();
    if (backup->info.IsEncrypted && !backup->setPasscodeNoUIThrow(kPassword))
        throw std::runtime_error("wrong password");
    return backup;
}

// What the readers make of a backup: every record's domain and path with the
// contents of its file, decrypted.
QMap<QString, QByteArray> readBack(const QString& folder)
{
    auto backup = openBackup(folder);
    backup->parseInfo();
    QTemporaryDir out;
    QMap<QString, QByteArray> state;
    for (const MBDBParser::_MBDBItem& item : qAsConst(backup->items)) {
        const QString key = item.domain.toString() + "-" + item.path.toString();
        if (item.isFolder()) {
            state.insert(key, "<folder>");
            continue;
        }
        const QString target = out.filePath(item.backupFileName());
        backup->copyItemThrow(item, target, nullptr, nullptr);
        QFile file(target);
        state.insert(key, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>"));
    }
    return state;
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo& entry : source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + entry.fileName();
        if (entry.isDir())
            copyFolder(entry.absoluteFilePath(), target);
        else
            QFile::copy(entry.absoluteFilePath(), target);
    }
}

QString writeLocal(const QDir& dir, const QString& name, const QByteArray& contents)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(contents);
    return file.fileName();
}

// The items of every merge here: a replaced database, a new attachment in a
// new folder, an item without path, and an existing file not to overwrite.
QList<Item> mergeItems(const QDir& local)
{
    return {
        Item("HomeDomain", writeLocal(local, "sms.db", "new database"), "Library/SMS/sms.db", true),
        Item("MediaDomain", writeLocal(local, "new.jpg", QByteArray(9000, 'n')), "Library/SMS/Attachments/ab/new.jpg", false),
        Item("MediaDomain", writeLocal(local, "x", "x"), QString(), true),
        Item("MediaDomain", writeLocal(local, "old.jpg", "changed"), "Library/SMS/Attachments/old.jpg", false),
    };
}

struct MergeRun
{
    bool ok = false;
    QStringList errors;
};

MergeRun runMerge(const QString& folder, const QList<Item>& items,
                  const BackupWriteTransaction::StepHook& hook = BackupWriteTransaction::StepHook(),
                  const QList<Item>& removeItems = QList<Item>())
{
    ModalWatcher watcher;
    ProgressForm form{QString()};
    auto backup = openBackup(folder);
    MergeRun run;
    IOSMergeWAFiles2iTunesBKThread worker(*backup, items, form);
    worker.setStepHook(hook);
    worker.setRemoveItems(removeItems);
    run.ok = g_runWithProgress(form, worker);
    for (const ModalWatcher::ShownBox& box : watcher.shown())
        run.errors << box.text;
    return run;
}

QStringList leftovers(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, {"*.qsmerge-new", "Manifest.qsmerge-journal"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// The child process: merges into the backup and stops dead at write step
// `hangAt`, telling the parent, which kills it there.
int runMergeChild(const QString& folder, const QString& localDir, int hangAt)
{
    QString error;
    if (mobiledevice_loader_ini(error, QString()) < 0)
        return 2;
    ProgressForm form{QString()};
    auto backup = openBackup(folder);
    IOSMergeWAFiles2iTunesBKThread worker(*backup, mergeItems(QDir(localDir)), form);
    std::atomic<int> step{0};
    worker.setStepHook([&](const QString&) {
        if (step++ == hangAt) {
            fputs("hanging\n", stdout);
            fflush(stdout);
            for (;;)
                pause();
        }
    });
    worker.start();
    worker.wait();
    return 0;
}

} // namespace

class TestIOSMergeWAFiles2iTunesBKThread : public QObject
{
    Q_OBJECT

    // An unlocked encrypted index is decrypted into the data folder.
    TempHome m_home;

private slots:
    void initTestCase();
    void merge_data();
    void merge();
    void eachMergedFileGetsItsOwnKey_data();
    void eachMergedFileGetsItsOwnKey();
    void emptyItemListRewritesIndex();
    void removeItemsAnyCase();
    void targetThatCannotBeReplaced();
    void cancelLeavesBackup();
    void injectedFailureAtEveryStep_data();
    void injectedFailureAtEveryStep();
    void killedMidWay_data();
    void killedMidWay();

private:
    void prepare(Generation generation, int encryption);

    QTemporaryDir m_dir;
    QString m_original;
    QDir m_local;
    QMap<QString, QByteArray> m_before;
    QMap<QString, QByteArray> m_after;
    int m_steps = 0;
};

void TestIOSMergeWAFiles2iTunesBKThread::initTestCase()
{
    g_resetDataSaveDirForTests();
    ::umask(022);
    QString error;
    QVERIFY2(mobiledevice_loader_ini(error, QString()) >= 0, qPrintable(error));
    m_local = QDir(m_dir.path());
}

void TestIOSMergeWAFiles2iTunesBKThread::merge_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<int>("encryption");
    QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << 0;
    QTest::newRow("Manifest.mbdb, encrypted") << int(Generation::Mbdb) << 1;
    QTest::newRow("Manifest.db") << int(Generation::ManifestDb) << 0;
    QTest::newRow("Manifest.db, encrypted files") << int(Generation::ManifestDb) << 1;
    QTest::newRow("Manifest.db, encrypted index") << int(Generation::ManifestDb) << 2;
}

// Builds a backup, reads its state, merges into a copy and reads the new
// state; counts the write steps of the merge.
void TestIOSMergeWAFiles2iTunesBKThread::prepare(Generation generation, int encryption)
{
    static int serial = 0;
    m_original = m_dir.filePath(QString("original%1").arg(++serial));
    writeBackup(m_original, generation, encryption);
    m_before = readBack(m_original);
    const QString merged = m_original + "-merged";
    copyFolder(m_original, merged);
    m_steps = 0;
    const MergeRun run = runMerge(merged, mergeItems(m_local), [this](const QString&) { ++m_steps; });
    QVERIFY2(run.ok, qPrintable(run.errors.join("; ")));
    m_after = readBack(merged);
    QVERIFY(leftovers(merged).isEmpty());
}

void TestIOSMergeWAFiles2iTunesBKThread::merge()
{
    QFETCH(int, generation);
    QFETCH(int, encryption);
    prepare(Generation(generation), encryption);
    if (QTest::currentTestFailed())
        return;
    QMap<QString, QByteArray> expected = m_before;
    expected.insert("HomeDomain-Library/SMS/sms.db", "new database");
    expected.insert("MediaDomain-Library/SMS/Attachments/ab/new.jpg", QByteArray(9000, 'n'));
    expected.insert("MediaDomain-Library/SMS/Attachments/ab", "<folder>");
    QCOMPARE(m_after, expected);

    // New files of an encrypted backup are stored encrypted, with the
    // template's class and key; the replaced file's size is its plain size.
    auto backup = openBackup(m_original + "-merged");
    backup->parseInfo();
    const MBDBParser::_MBDBItem added =
        backup->items.value(MBDBParser::getFileHashName("MediaDomain", "Library/SMS/Attachments/ab/new.jpg"));
    const QString stored = MBDBParser::getBKFilePath(backup->dir, added.backupFileName(), false);
    QCOMPARE(QFileInfo(stored).size(), encryption ? 9008 : 9000);
    // Under the umask 022 of initTestCase what the merge writes is private.
    QCOMPARE(modeOf(stored), 0600);
    QCOMPARE(modeOf(backup->dir.filePath(generation == int(Generation::Mbdb) ? "Manifest.mbdb" : "Manifest.db")), 0600);
    QCOMPARE(added.size, qint64(9000));
    QCOMPARE(added.encryptionKey.isValid(), encryption > 0);
    if (encryption)
        QCOMPARE(added.protectionClass, qint8(EncryptedBackupFixture::kFileClass));
    QCOMPARE(backup->items.value(MBDBParser::getFileHashName("HomeDomain", "Library/SMS/sms.db")).size, qint64(12));
}

void TestIOSMergeWAFiles2iTunesBKThread::eachMergedFileGetsItsOwnKey_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<int>("encryption");
    QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << 1;
    QTest::newRow("Manifest.db, encrypted index") << int(Generation::ManifestDb) << 2;
}

// Two files of equal contents merged into an encrypted backup: each gets a
// fresh key, wrapped by its class key and recorded as the readers expect
// (class number little-endian, then 40 wrapped bytes), so their stored bytes
// differ; both read back byte for byte.
void TestIOSMergeWAFiles2iTunesBKThread::eachMergedFileGetsItsOwnKey()
{
    QFETCH(int, generation);
    QFETCH(int, encryption);
    const QString folder = m_dir.filePath(QString("keys%1").arg(generation));
    writeBackup(folder, Generation(generation), encryption);
    QSet<QByteArray> keysBefore;
    {
        auto backup = openBackup(folder);
        backup->parseInfo();
        for (const MBDBParser::_MBDBItem& item : qAsConst(backup->items))
            keysBefore.insert(item.encryptionKey.data);
    }
    const QByteArray contents = QByteArray("same first block") + QByteArray(5000, 's');
    const QList<Item> items{
        Item("MediaDomain", writeLocal(m_local, "one.jpg", contents), "Library/SMS/Attachments/k/one.jpg", true),
        Item("MediaDomain", writeLocal(m_local, "two.jpg", contents), "Library/SMS/Attachments/k/two.jpg", true),
    };
    const MergeRun run = runMerge(folder, items);
    QVERIFY2(run.ok, qPrintable(run.errors.join("; ")));

    const QMap<QString, QByteArray> after = readBack(folder);
    QCOMPARE(after.value("MediaDomain-Library/SMS/Attachments/k/one.jpg"), contents);
    QCOMPARE(after.value("MediaDomain-Library/SMS/Attachments/k/two.jpg"), contents);
    auto backup = openBackup(folder);
    backup->parseInfo();
    QList<QByteArray> keys;
    QList<QByteArray> firstBlocks;
    for (const char* path : {"Library/SMS/Attachments/k/one.jpg", "Library/SMS/Attachments/k/two.jpg"}) {
        const MBDBParser::_MBDBItem item = backup->items.value(MBDBParser::getFileHashName("MediaDomain", path));
        QCOMPARE(item.protectionClass, qint8(EncryptedBackupFixture::kFileClass));
        const QByteArray key = item.encryptionKey.data;
        QCOMPARE(key.size(), 44);
        QCOMPARE(qFromLittleEndian<quint32>(key.constData()), quint32(EncryptedBackupFixture::kFileClass));
        QVERIFY(!keysBefore.contains(key));
        keys << key;
        QFile stored(MBDBParser::getBKFilePath(backup->dir, item.backupFileName(), false));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        firstBlocks << stored.read(16);
    }
    QVERIFY(keys.at(0) != keys.at(1));
    QVERIFY(firstBlocks.at(0) != firstBlocks.at(1));
}

void TestIOSMergeWAFiles2iTunesBKThread::emptyItemListRewritesIndex()
{
    const QString folder = m_dir.filePath("empty");
    writeBackup(folder, Generation::Mbdb, 0);
    const QMap<QString, QByteArray> before = readBack(folder);
    QVERIFY(runMerge(folder, {}).ok);
    QCOMPARE(readBack(folder), before);
}

void TestIOSMergeWAFiles2iTunesBKThread::removeItemsAnyCase()
{
    const QString folder = m_dir.filePath("remove");
    writeBackup(folder, Generation::ManifestDb, 0);
    QVERIFY(runMerge(folder, {}, {}, {Item("homedomain", QString(), "library/sms", false)}).ok);
    const QMap<QString, QByteArray> state = readBack(folder);
    QVERIFY(!state.contains("HomeDomain-Library/SMS"));
    QVERIFY(!state.contains("HomeDomain-Library/SMS/sms.db"));
    QVERIFY(state.contains("HomeDomain-Library"));
    QVERIFY(state.contains("MediaDomain-Library/SMS/Attachments/old.jpg"));
}

// A folder where the replaced file should be: the error, and nothing changed.
void TestIOSMergeWAFiles2iTunesBKThread::targetThatCannotBeReplaced()
{
    const QString folder = m_dir.filePath("blocked");
    writeBackup(folder, Generation::Mbdb, 0);
    const QMap<QString, QByteArray> before = readBack(folder);
    const QString target = QDir(folder).filePath(MBDBParser::getFileHashName("HomeDomain", "Library/SMS/sms.db"));
    QVERIFY(QFile::remove(target));
    QVERIFY(QDir().mkdir(target));
    const MergeRun run = runMerge(folder, mergeItems(m_local));
    QVERIFY(!run.ok);
    QCOMPARE(run.errors.size(), 1);
    QVERIFY2(run.errors.first().contains("can not overwrite " + target), qPrintable(run.errors.first()));
    QVERIFY(QFileInfo(target).isDir());
    QVERIFY(leftovers(folder).isEmpty());
}

void TestIOSMergeWAFiles2iTunesBKThread::cancelLeavesBackup()
{
    const QString folder = m_dir.filePath("cancel");
    writeBackup(folder, Generation::ManifestDb, 1);
    const QMap<QString, QByteArray> before = readBack(folder);
    ProgressForm form{QString()};
    auto backup = openBackup(folder);
    IOSMergeWAFiles2iTunesBKThread worker(*backup, mergeItems(m_local), form);
    // The user cancels while the first file is written.
    worker.setStepHook([&form](const QString&) { form.cancelled = true; });
    worker.start();
    QVERIFY(worker.wait());
    QCOMPARE(readBack(folder), before);
    QVERIFY(leftovers(folder).isEmpty());
}

void TestIOSMergeWAFiles2iTunesBKThread::injectedFailureAtEveryStep_data()
{
    merge_data();
}

void TestIOSMergeWAFiles2iTunesBKThread::injectedFailureAtEveryStep()
{
    QFETCH(int, generation);
    QFETCH(int, encryption);
    prepare(Generation(generation), encryption);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_steps >= 5);
    for (int failAt = 0; failAt < m_steps; ++failAt) {
        const QString folder = m_original + QString("-fail%1").arg(failAt);
        copyFolder(m_original, folder);
        int step = 0;
        QString failedStep;
        runMerge(folder, mergeItems(m_local), [&](const QString& name) {
            if (step++ == failAt) {
                failedStep = name;
                throw std::runtime_error("injected failure");
            }
        });
        const QMap<QString, QByteArray> state = readBack(folder);
        QVERIFY2(state == m_before || state == m_after,
                 qPrintable(QString("a mix after a failure at step %1 (%2)").arg(failAt).arg(failedStep)));
        QVERIFY(leftovers(folder).isEmpty());
    }
}

// A child process per step is slow under the sanitizers: the two ends of
// the range suffice, as the injected failures cover every kind of backup.
void TestIOSMergeWAFiles2iTunesBKThread::killedMidWay_data()
{
    QTest::addColumn<int>("generation");
    QTest::addColumn<int>("encryption");
    QTest::newRow("Manifest.mbdb") << int(Generation::Mbdb) << 0;
    QTest::newRow("Manifest.db, encrypted index") << int(Generation::ManifestDb) << 2;
}

void TestIOSMergeWAFiles2iTunesBKThread::killedMidWay()
{
    QFETCH(int, generation);
    QFETCH(int, encryption);
    prepare(Generation(generation), encryption);
    if (QTest::currentTestFailed())
        return;
    for (int hangAt = 0; hangAt < m_steps; ++hangAt) {
        const QString folder = m_original + QString("-kill%1").arg(hangAt);
        copyFolder(m_original, folder);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {kChildFlag, folder, m_local.path(), QString::number(hangAt)});
        QVERIFY(child.waitForStarted());
        QVERIFY2(child.waitForReadyRead(60000), qPrintable(child.readAllStandardError()));
        QCOMPARE(child.readAllStandardOutput(), QByteArray("hanging\n"));
        child.kill();
        QVERIFY(child.waitForFinished());
        const QMap<QString, QByteArray> state = readBack(folder);
        QVERIFY2(state == m_before || state == m_after, qPrintable(QString("a mix after a kill at step %1").arg(hangAt)));
    }
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == kChildFlag)
        return runMergeChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), atoi(argv[4]));
    TestIOSMergeWAFiles2iTunesBKThread test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_iosmergewafiles2itunesbkthread.moc"
