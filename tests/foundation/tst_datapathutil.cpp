// Data folder, its redirect, folder removal and the small file helpers.
#include <QDesktopServices>
#include <QtTest>

#include "data_path_util.h"
#include "temphome.h"

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
const QString kId = QStringLiteral("5D3A7C19E0B24F6889A1C4E7F2306B9D");

// Stands in for the desktop: records every link that reaches it.
class LinkRecorder : public QObject
{
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened.append(url.toString()); }
};
} // namespace

class TestDataPathUtil : public QObject
{
    Q_OBJECT

private slots:
    void init() { g_resetDataSaveDirForTests(); }

    void defaultDataFolder()
    {
        TempHome home;
        const QString expected = home.file("Library/Application Support/QuillSprout/" + kId);
        QCOMPARE(g_dataSaveDir().absolutePath(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        QCOMPARE(g_localDbDir().absolutePath(), expected + "/local_databases");
        QVERIFY(QFileInfo(expected + "/local_databases").isDir());
    }

    void redirect_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("followed");
        QTest::newRow("existing folder") << QByteArray("@TARGET@") << true;
        QTest::newRow("missing path") << QByteArray("@TARGET@/nope") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("trailing line break") << QByteArray("@TARGET@\n") << false;
        QTest::newRow("a file, not a folder") << QByteArray("@TARGET@/file") << false;
        QTest::newRow("NUL ends the path") << QByteArray("@TARGET@\0junk", 13) << true;
    }
    void redirect()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, followed);
        TempHome home;
        const QString target = home.file("elsewhere");
        QDir().mkpath(target);
        writeFile(target + "/file", "x");
        content.replace("@TARGET@", target.toUtf8());
        writeFile(home.file("Library/Application Support/QuillSprout/" + kId + ".redirect"), content);
        const QString expected = followed ? target + "/" + kId : home.file("Library/Application Support/QuillSprout/" + kId);
        QCOMPARE(g_dataSaveDir().absolutePath(), expected);
    }

    void redirectFixedForTheRun()
    {
        TempHome home;
        const QString target = home.file("elsewhere");
        QDir().mkpath(target);
        g_setDataSaveDirLink(target); // the root does not exist yet: nothing written
        QVERIFY(g_dataSaveDirLink().isEmpty());
        const QString first = g_dataSaveDir().absolutePath();
        g_setDataSaveDirLink(target); // now the root exists
        QCOMPARE(g_dataSaveDirLink(), target);
        QCOMPARE(g_dataSaveDir().absolutePath(), first); // noticed only at the next start
    }

    void delDirCascadeRemovesEverythingButFollowsNoLink()
    {
        TempHome home;
        const QString dir = home.file("victim");
        writeFile(dir + "/.DS_Store", "x");
        writeFile(dir + "/a/b/c.txt", "x");
        writeFile(dir + "/a/.hidden/d", "x");
        const QString outside = home.file("outside");
        writeFile(outside + "/keep.txt", "precious");
        QVERIFY(QFile::link(outside, dir + "/a/link-to-dir"));
        QVERIFY(QFile::link(outside + "/keep.txt", dir + "/link-to-file"));
        QVERIFY(g_delDirCascade(dir));
        QVERIFY(!QFileInfo::exists(dir));
        QVERIFY(QFileInfo(outside + "/keep.txt").isFile());

        QVERIFY(g_delDirCascade(home.file("does-not-exist")));
        // A link in place of the folder goes, its target stays.
        QVERIFY(QFile::link(outside, home.file("dirlink")));
        QVERIFY(g_delDirCascade(home.file("dirlink")));
        QVERIFY(QFileInfo(outside + "/keep.txt").isFile());
    }

    void delDirCascadeReportsWhatRemains()
    {
        // /proc entries cannot be removed, even by root.
        QVERIFY(!g_delDirCascade(QStringLiteral("/proc/self/fdinfo")));
    }

    void formatFileName_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("refused characters") << "  a/b:c?.txt  " << "abc.txt";
        QTest::newRow("only refused") << " \\/:*?\"<>|\n\r\t " << "";
        QTest::newRow("inner spaces stay") << "my  file.txt" << "my  file.txt";
    }
    void formatFileName()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(g_formatFileName(in), out);
    }

    void validFilePath()
    {
        TempHome home;
        QCOMPARE(g_getValidFilePath(home.file("free.txt")), home.file("free.txt"));
        writeFile(home.file("notes"), "x");
        QCOMPARE(g_getValidFilePath(home.file("notes")), home.file("notes(1)"));
        writeFile(home.file("report.final.txt"), "x");
        QCOMPARE(g_getValidFilePath(home.file("report.final.txt")), home.file("report(1).txt"));
        writeFile(home.file("report(1).txt"), "x");
        QCOMPARE(g_getValidFilePath(home.file("report.final.txt")), home.file("report(2).txt"));
    }

    void openLinkOnlyHttp_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opened");
        QTest::newRow("http") << "http://quillsprout.example/download" << true;
        QTest::newRow("https, upper case scheme") << "HTTPS://quillsprout.example/a?b=c" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("mailto") << "mailto:a@quillsprout.example" << false;
        QTest::newRow("ftp") << "ftp://quillsprout.example/x" << false;
        QTest::newRow("no host") << "http:///x" << false;
        QTest::newRow("plain path") << "/usr/bin/xterm" << false;
        QTest::newRow("empty") << "" << false;
    }
    void openLinkOnlyHttp()
    {
        QFETCH(QString, link);
        QFETCH(bool, opened);
        LinkRecorder recorder;
        const QStringList schemes{"http", "https", "file", "javascript", "mailto", "ftp"};
        for (const QString& scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, &recorder, "open");
        g_openLink(link);
        for (const QString& scheme : schemes)
            QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(recorder.opened.size(), opened ? 1 : 0);
    }

    void hashes()
    {
        QCOMPARE(g_pathHash(""), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(g_md5(QStringLiteral("abc")), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(g_pathHash(QStringLiteral("\u00e9")), g_md5(QByteArray("\xc3\xa9"), false)); // UTF-8 bytes
        QCOMPARE(g_md5(QByteArray("abc"), true), QStringLiteral("90015098-3cd2-4fb0-d696-3f7d28e17f72"));
    }
};

QTEST_GUILESS_MAIN(TestDataPathUtil)
#include "tst_datapathutil.moc"
