// The daily log file: pruning at installation, line format, whole lines from
// many threads at once.
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "logsaver.h"

namespace {
QString todayFile(const QString& folder)
{
    return folder + "/log-" + QDate::currentDate().toString("yyyyMMdd") + ".txt";
}
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestLogSaver : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qInstallMessageHandler(nullptr); }

    void pruningKeepsTheGreatestNames_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("left");
        QTest::newRow("12 files") << 12 << 10;
        QTest::newRow("10 files") << 10 << 10;
        QTest::newRow("3 files") << 3 << 3;
    }
    void pruningKeepsTheGreatestNames()
    {
        QFETCH(int, files);
        QFETCH(int, left);
        QTemporaryDir dir;
        for (int i = 0; i < files; ++i) {
            QFile f(dir.filePath(QStringLiteral("log-202401%1.txt").arg(i + 10)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QDir().mkpath(dir.filePath("subfolder"));
        logsaver_install_msghandler(dir.path(), 10);
        qInstallMessageHandler(nullptr);
        const QStringList remaining = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(remaining.size(), left);
        QCOMPARE(remaining.last(), QStringLiteral("log-202401%1.txt").arg(files + 9));
        QVERIFY(QFileInfo(dir.filePath("subfolder")).isDir());
    }

    void lineFormatAndStdout()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("qlogs"); // created by the first message
        logsaver_install_msghandler(folder, 10);
        qWarning("%s", "disk full %1");
        qDebug() << "debug line";
        qCritical("critical\nsecond line");
        qInstallMessageHandler(nullptr);
        const QList<QByteArray> lines = readAll(todayFile(folder)).split('\n');
        QCOMPARE(lines.size(), 5);
        const QRegularExpression shape(QStringLiteral("^\\([WDC] \\d\\d:\\d\\d:\\d\\d\\) "));
        QVERIFY(shape.match(QString::fromUtf8(lines[0])).hasMatch());
        QVERIFY(lines[0].startsWith("(W ") && lines[0].endsWith(") disk full %1"));
        QVERIFY(lines[1].startsWith("(D ") && lines[1].endsWith(") debug line"));
        QVERIFY(lines[2].startsWith("(C ") && lines[2].endsWith(") critical"));
        QCOMPARE(lines[3], QByteArray("second line"));
        QCOMPARE(lines[4], QByteArray());
    }

    void folderRemovedWhileRunningIsRecreated()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("qlogs");
        logsaver_install_msghandler(folder, 10);
        qWarning("one");
        QVERIFY(QDir(folder).removeRecursively());
        qWarning("two");
        qInstallMessageHandler(nullptr);
        QVERIFY(readAll(todayFile(folder)).endsWith(") two\n"));
    }

    void concurrentThreadsNeverMixLines()
    {
        QTemporaryDir dir;
        logsaver_install_msghandler(dir.path(), 10);
        const QByteArray payload(3000, 'x');
        QList<QThread*> threads;
        for (int t = 0; t < 8; ++t) {
            threads.append(QThread::create([t, payload] {
                for (int i = 0; i < 200; ++i)
                    qWarning("%d %s", t, payload.constData());
            }));
            threads.last()->start();
        }
        for (QThread* t : threads) {
            t->wait();
            delete t;
        }
        qInstallMessageHandler(nullptr);
        const QList<QByteArray> lines = readAll(todayFile(dir.path())).split('\n');
        QCOMPARE(lines.size(), 8 * 200 + 1);
        const QRegularExpression whole(QStringLiteral("^\\(W \\d\\d:\\d\\d:\\d\\d\\) [0-7] x{3000}$"));
        for (int i = 0; i + 1 < lines.size(); ++i)
            QVERIFY2(whole.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i].left(60).constData());
    }
};

QTEST_GUILESS_MAIN(TestLogSaver)
#include "tst_logsaver.moc"
