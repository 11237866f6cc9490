// Folders 0700 and files 0600 under the usual umask 022: the private-mode
// helpers, the data folder and what it holds, and the log files.
#include <QtTest>

#include "data_path_util.h"
#include "logsaver.h"
#include "privatemode.h"
#include "temphome.h"

#include <sys/stat.h>

namespace {
void makeWide(const QString& folder)
{
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
}

} // namespace

class TestPrivateMode : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { ::umask(022); }
    void init() { g_resetDataSaveDirForTests(); }
    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        g_resetDataSaveDirForTests();
    }

    void mkPrivatePath()
    {
        QTemporaryDir dir;
        QVERIFY(g_mkPrivatePath(dir.filePath("a/b/c")));
        for (const char* folder : {"a", "a/b", "a/b/c"})
            QCOMPARE(modeOf(dir.filePath(folder)), 0700);
        // A folder made wider elsewhere is tightened; its parents are left.
        makeWide(dir.filePath("wide/inner"));
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("wide")).constData(), 0755) == 0);
        QVERIFY(g_mkPrivatePath(dir.filePath("wide/inner")));
        QCOMPARE(modeOf(dir.filePath("wide/inner")), 0700);
        QCOMPARE(modeOf(dir.filePath("wide")), 0755);
        // A file where a folder is expected.
        QFile file(dir.filePath("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!g_mkPrivatePath(dir.filePath("file")));
        QVERIFY(!g_mkPrivatePath(dir.filePath("file/below")));
    }

    void makePrivateFiles()
    {
        QTemporaryDir dir;
        QSaveFile saved(dir.filePath("saved"));
        QVERIFY(saved.open(QIODevice::WriteOnly));
        QVERIFY(g_makePrivate(saved));
        saved.write("x");
        QVERIFY(saved.commit());
        QCOMPARE(modeOf(dir.filePath("saved")), 0600);

        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(modeOf(dir.filePath("plain")), 0644);
        QVERIFY(g_makePrivate(dir.filePath("plain")));
        QCOMPARE(modeOf(dir.filePath("plain")), 0600);
        QVERIFY(!g_makePrivate(dir.filePath("missing")));
    }

    void dataFolderAndItsSubfolders()
    {
        TempHome home;
        const QString data = g_dataSaveDir().absolutePath();
        QCOMPARE(modeOf(data), 0700);
        QCOMPARE(modeOf(g_localDbDir().absolutePath()), 0700);
        QCOMPARE(modeOf(g_dataSubDir("thumbnails").absolutePath()), 0700);
    }

    void widerDataFolderIsTightenedOnFirstUse()
    {
        TempHome home;
        const QString data = home.file("Library/Application Support/QuillSprout/5D3A7C19E0B24F6889A1C4E7F2306B9D");
        makeWide(data + "/local_databases");
        QVERIFY(::chmod(QFile::encodeName(data).constData(), 0755) == 0);
        g_dataSaveDir();
        QCOMPARE(modeOf(data), 0700);
        g_localDbDir();
        QCOMPARE(modeOf(data + "/local_databases"), 0700);
    }

    void logFilesArePrivate()
    {
        TempHome home;
        const QString logs = g_dataSaveDir().absoluteFilePath("qlogs");
        makeWide(logs);
        // A log of an earlier run, written with the umask's bits.
        QFile old(logs + "/log-20200101.txt");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        QCOMPARE(modeOf(old.fileName()), 0644);
        logsaver_install_msghandler(logs, 5);
        qWarning("a line");
        qInstallMessageHandler(nullptr);
        QCOMPARE(modeOf(logs), 0700);
        QCOMPARE(modeOf(old.fileName()), 0600);
        const QStringList files = QDir(logs).entryList(QDir::Files);
        QCOMPARE(files.size(), 2);
        for (const QString& name : files)
            QCOMPARE(modeOf(logs + "/" + name), 0600);
    }
};

QTEST_GUILESS_MAIN(TestPrivateMode)
#include "tst_privatemode.moc"
