// The one guard for names from a phone, a backup or an archive, and the one
// rule for device ids that name folders.
#include <QtTest>

#include "pathguard.h"

class TestPathGuard : public QObject
{
    Q_OBJECT

private slots:
    void pathInside_data();
    void pathInside();
    void guardOverManyNames();
    void deviceId_data();
    void deviceId();
};

namespace {
// Below base: "root", a link to "real", which holds sub/file, the links out
// (to `outside`), in (to sub), dangling, and sub/lnk (to `outside`).
bool makeTree(const QTemporaryDir& base, const QTemporaryDir& outside)
{
    // The root is reached through a link of its own: only links below it count.
    const QString real = base.filePath("real");
    QFile file(real + "/sub/file");
    return QDir(base.path()).mkpath("real/sub") && QFile::link(real, base.filePath("root"))
        && file.open(QIODevice::WriteOnly) && QFile::link(outside.path(), real + "/out")
        && QFile::link(real + "/sub", real + "/in") && QFile::link(outside.filePath("nothing"), real + "/dangling")
        && QFile::link(outside.path(), real + "/sub/lnk");
}
} // namespace

void TestPathGuard::pathInside_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // relative to the root; "-" when refused
    QTest::newRow("plain") << "a/b.txt" << "a/b.txt";
    QTest::newRow("through an existing folder") << "sub/x" << "sub/x";
    QTest::newRow("the existing file") << "sub/file" << "sub/file";
    QTest::newRow("empty components dropped") << "sub//x/" << "sub/x";
    QTest::newRow("dots inside a name") << "..x/y..z/..." << "..x/y..z/...";
    QTest::newRow("any script") << QString::fromUtf8("Вложения/ü.jpg") << QString::fromUtf8("Вложения/ü.jpg");
    QTest::newRow("empty") << "" << "-";
    QTest::newRow("only slashes") << "//" << "-";
    QTest::newRow("dot") << "." << "-";
    QTest::newRow("dot dot") << ".." << "-";
    QTest::newRow("leading dot") << "./x" << "-";
    QTest::newRow("climbing") << "../x" << "-";
    QTest::newRow("climbing back in") << "sub/../sub/x" << "-";
    QTest::newRow("trailing dot dot") << "sub/.." << "-";
    QTest::newRow("absolute") << "/etc/passwd" << "-";
    QTest::newRow("NUL") << QString("sub/a") + QChar(0) + "b" << "-";
    QTest::newRow("link out of the root") << "out/x" << "-";
    QTest::newRow("the link itself") << "out" << "-";
    QTest::newRow("link that stays inside") << "in/x" << "-";
    QTest::newRow("dangling link") << "dangling" << "-";
    QTest::newRow("missing below a link") << "out/new/deeper" << "-";
}

void TestPathGuard::pathInside()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QTemporaryDir outside;
    QTemporaryDir base;
    QVERIFY(makeTree(base, outside));
    const QDir root(base.filePath("root"));
    QString reason;
    const QString path = g_pathInside(root, name, &reason);
    if (expected == "-") {
        QVERIFY2(path.isEmpty(), qPrintable(path));
        QVERIFY(!reason.isEmpty());
    } else {
        QCOMPARE(path, root.absolutePath() + "/" + expected);
    }
}

// One guard kept over many names answers each as the one-off guard does:
// names in missing folders, in plain folders, through and below links.
void TestPathGuard::guardOverManyNames()
{
    QTemporaryDir outside;
    QTemporaryDir base;
    QVERIFY(makeTree(base, outside));
    const QDir root(base.filePath("root"));
    PathGuard guard(root);
    const QStringList names = {"new/a/x", "new/a/y", "new/b", "sub/x", "sub/file", "sub/lnk", "sub/lnk/x",
                               "sub/lnk/new/x", "sub/file/x", "out/x", "out/y", "in/x", "sub/deeper/x",
                               "new/a/x", "sub/lnk/x", "x", "dangling", "out/new/deeper"};
    int refused = 0;
    for (const QString& name : names) {
        QString reason;
        const QString path = guard.inside(name, &reason);
        QCOMPARE(path, g_pathInside(root, name));
        QCOMPARE(reason.isEmpty(), !path.isEmpty());
        refused += path.isEmpty() ? 1 : 0;
    }
    QCOMPARE(refused, 9);
}

void TestPathGuard::deviceId_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("40 hex digits") << "0123456789abcdef0123456789ABCDEF01234567" << true;
    QTest::newRow("newer id with a dash") << "00008030-001A2B3C4D5E6F70" << true;
    QTest::newRow("64 characters") << QString(64, 'a') << true;
    QTest::newRow("65 characters") << QString(65, 'a') << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("leading dash, an option to a tool") << "-u" << false;
    QTest::newRow("climbing") << "../x" << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("a saved device's folder path") << "/home/u/virtual_ios/Ann" << false;
    QTest::newRow("space") << "a b" << false;
    QTest::newRow("letter of another script") << QString::fromUtf8("abcé") << false;
    QTest::newRow("NUL") << QString("ab") + QChar(0) << false;
}

void TestPathGuard::deviceId()
{
    QFETCH(QString, id);
    QFETCH(bool, accepted);
    QCOMPARE(g_deviceIdError(id).isEmpty(), accepted);
}

QTEST_GUILESS_MAIN(TestPathGuard)
#include "tst_pathguard.moc"
