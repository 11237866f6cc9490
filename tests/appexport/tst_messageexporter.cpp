// One export run: conversations grouped by their case-folded identifier into
// one file each, unique file names, order, progress, the asset folders of an
// HTML export, and what a cancel or a failure leaves behind.
#include "exporttestutil.h"
#include "messageexporter.h"
#include "messagefixture.h"
#include "progressreporter.h"
#include "translation.h"

#include <QtTest>

using namespace ExportTestUtil;

namespace {

// Records the progress and cancels once `cancelAfter` messages were counted.
class TestReporter : public ProgressReporter
{
public:
    void reportProgress(const QString& status, int percent, const QString& detail) override
    {
        if (!status.isEmpty())
            statuses << status;
        percents << percent;
        details << detail;
        if (detail.contains('/'))
            counted = detail.section(':', 1).section('/', 0, 0).trimmed().toInt();
    }
    bool isCancelled() const override { return cancelAfter >= 0 && counted >= cancelAfter; }

    QStringList statuses, details;
    QList<int> percents;
    int counted = 0;
    int cancelAfter = -1;
};

// Outcome of one run: the count, or the error text, or "cancelled".
QString runExport(const QList<_MsgMessage*>& messages, const QString& path, int format, bool ascending,
                  TestReporter& reporter, QStringList* files = nullptr)
{
    MessageExporter exporter(messages, path, ExportFormat(format), ascending);
    try {
        const int n = exporter.run(reporter);
        if (files)
            *files = exporter.fileNames();
        return QString::number(n);
    } catch (const Cancelled&) {
        return QStringLiteral("cancelled");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

QString runExport(const QList<_MsgMessage*>& messages, const QString& path, int format, bool ascending = true,
                  QStringList* files = nullptr)
{
    TestReporter reporter;
    return runExport(messages, path, format, ascending, reporter, files);
}

QStringList entries(const QString& folder)
{
    QDir dir(folder);
    QStringList names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    return names;
}

// Anchors of an HTML page, in page order ("sms" + row id).
QStringList anchors(const QString& file)
{
    QStringList out;
    const QString html = QString::fromUtf8(readFile(file));
    static const QRegularExpression rx(QStringLiteral("<a name=\"sms(-?\\d+)\">"));
    for (auto it = rx.globalMatch(html); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

// Three conversations whose last dates interleave: "Amy" has two chats that
// differ in the identifier's case, one older and one newer than Bob's chat.
struct Interleaved : MessageFixture
{
    Interleaved()
    {
        _MsgHandle* amy = handle("amy@example.com", "Amy");
        _MsgHandle* bob = handle("+1555", "Bob");
        _MsgChat* amyOld = chat("amy@example.com", {amy}, 1000);
        _MsgChat* bobChat = chat("+1555", {bob}, 2000);
        _MsgChat* amyNew = chat("AMY@example.com", {amy}, 3000);
        message(amyNew, 2900, false, "amy 4");  // 1
        message(bobChat, 1500, true, "bob 1");  // 2
        message(amyOld, 100, true, "amy 1");    // 3
        message(bobChat, 2000, false, "bob 2"); // 4
        message(amyOld, 1000, false, "amy 2");  // 5
        message(amyNew, 2500, true, "amy 3");   // 6
    }
};

} // namespace

class TestMessageExporter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(installEnglishTranslation(QCoreApplication::instance())); }
    void conversationsStayWhole_data();
    void conversationsStayWhole();
    void fileNamesAreUnique();
    void textKeepsGivenOrder();
    void progressAndCount();
    void emptyList_data();
    void emptyList();
    void unknownFormat();
    void htmlCopiesAssets();
    void cancelRemovesOnlyWhatRunCreated_data();
    void cancelRemovesOnlyWhatRunCreated();
    void failureKeepsEarlierContent();
    void outputFolderBlockedByFile();
};

void TestMessageExporter::conversationsStayWhole_data()
{
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("amy");
    QTest::addColumn<QStringList>("bob");
    QTest::newRow("ascending") << true << QStringList{"Bob (+1555).html", "Amy (amy@example.com).html"}
                               << QStringList{"3", "5", "6", "1"} << QStringList{"2", "4"};
    QTest::newRow("descending") << false << QStringList{"Amy (amy@example.com).html", "Bob (+1555).html"}
                                << QStringList{"1", "6", "5", "3"} << QStringList{"4", "2"};
}

// Amy's two chats make one file although Bob's last date lies between
// theirs; the newest conversation decides its place.
void TestMessageExporter::conversationsStayWhole()
{
    QFETCH(bool, ascending);
    QFETCH(QStringList, files);
    QFETCH(QStringList, amy);
    QFETCH(QStringList, bob);
    Interleaved f;
    QTemporaryDir dir;
    const QString out = dir.filePath("out-html");
    QStringList written;
    QCOMPARE(runExport(f.messages, out, int(ExportFormat::Html), ascending, &written), QString("6"));
    // Named after the chat of the conversation's first message.
    QCOMPARE(written, files);
    QCOMPARE(anchors(out + "/Amy (amy@example.com).html"), amy);
    QCOMPARE(anchors(out + "/Bob (+1555).html"), bob);
}

void TestMessageExporter::fileNamesAreUnique()
{
    MessageFixture f;
    _MsgChat* first = f.chat("a", {}, 10);
    _MsgChat* second = f.chat("b", {}, 20);
    _MsgChat* group = f.chat("UNKNOWN", {f.handle("1"), f.handle("2")}, 30);
    f.message(first, 1, true, "first unknown");
    f.message(second, 2, true, "second unknown");
    f.message(group, 3, true, "group");
    f.message(nullptr, 4, true, "no chat");
    // A name too long for a file system is shortened.
    const QString longName = QString::fromUtf8("名").repeated(200);
    f.message(f.chat("long", {f.handle("+1", longName)}, 40), 5, true, "long name");
    QTemporaryDir dir;
    QStringList written;
    QCOMPARE(runExport(f.messages, dir.filePath("p"), int(ExportFormat::Pdf), true, &written), QString("5"));
    QCOMPARE(written.mid(0, 4), QStringList({"unknown-chat.pdf", "Unknown.pdf", "Unknown (2).pdf", "UNKNOWN (3).pdf"}));
    QCOMPARE(written[4], QString::fromUtf8("名").repeated(50) + ".pdf");
    QCOMPARE(entries(dir.filePath("p")).size(), 5);
    QVERIFY(pdfPageText(dir.filePath("p/Unknown (2).pdf"), 1).contains("second unknown"));
}

void TestMessageExporter::textKeepsGivenOrder()
{
    Interleaved f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.csv");
    QCOMPARE(runExport(f.messages, path, int(ExportFormat::Csv), false), QString("6"));
    const QList<QStringList> records = parseCsv(QString::fromUtf8(readFile(path)));
    QStringList texts;
    for (const QStringList& r : records.mid(1))
        texts << r.value(4);
    QCOMPARE(texts, QStringList({"amy 4", "bob 1", "amy 1", "bob 2", "amy 2", "amy 3"}));
}

void TestMessageExporter::progressAndCount()
{
    MessageFixture f;
    for (int i = 0; i < 3; ++i)
        f.message(nullptr, i, true, "m");
    QTemporaryDir dir;
    TestReporter reporter;
    QCOMPARE(runExport(f.messages, dir.filePath("t.txt"), int(ExportFormat::Text), true, reporter), QString("3"));
    QCOMPARE(reporter.statuses, QStringList("Exporting SMS..."));
    QCOMPARE(reporter.percents, QList<int>({0, 33, 66, 100}));
    QCOMPARE(reporter.details, QStringList({"", "SMS: 1/3", "SMS: 2/3", "SMS: 3/3"}));
}

void TestMessageExporter::emptyList_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("folder");
    QTest::newRow("text") << int(ExportFormat::Text) << false;
    QTest::newRow("CSV") << int(ExportFormat::Csv) << false;
    QTest::newRow("PDF") << int(ExportFormat::Pdf) << true;
    QTest::newRow("HTML") << int(ExportFormat::Html) << true;
}

void TestMessageExporter::emptyList()
{
    QFETCH(int, format);
    QFETCH(bool, folder);
    QTemporaryDir dir;
    const QString out = dir.filePath("deep/out");
    QCOMPARE(runExport({}, out, format), QString("0"));
    QCOMPARE(QFileInfo(out).isDir(), folder);
    QVERIFY(!QFileInfo(out).isFile());
    if (folder)
        QCOMPARE(entries(out), QStringList());
}

void TestMessageExporter::unknownFormat()
{
    MessageFixture f;
    f.message(nullptr, 1, true, "m");
    QTemporaryDir dir;
    QCOMPARE(runExport(f.messages, dir.filePath("x"), 7), QString("not support export format."));
    QCOMPARE(runExport({}, dir.filePath("x"), 7), QString("0"));
    QCOMPARE(entries(dir.path()), QStringList());
}

// The plain files of "bubble" and "emoji" beside the executable land in
// "files" and "emoji"; a file already there is kept.
void TestMessageExporter::htmlCopiesAssets()
{
    const QDir app(QCoreApplication::applicationDirPath());
    const QStringList bubbles = QDir(app.filePath("bubble")).entryList(QDir::Files);
    const QStringList emoji = QDir(app.filePath("emoji")).entryList(QDir::Files);
    QVERIFY(!bubbles.isEmpty() && !emoji.isEmpty());
    MessageFixture f;
    f.message(nullptr, 1, true, "m");
    QTemporaryDir dir;
    const QString out = dir.filePath("h");
    QVERIFY(QDir().mkpath(out + "/files"));
    writeFile(out + "/files/" + bubbles.first(), "mine");
    QCOMPARE(runExport(f.messages, out, int(ExportFormat::Html)), QString("1"));
    QCOMPARE(entries(out + "/files"), bubbles);
    QCOMPARE(entries(out + "/emoji"), emoji);
    QCOMPARE(readFile(out + "/files/" + bubbles.first()), QByteArray("mine"));
    QCOMPARE(readFile(out + "/emoji/" + emoji.first()), readFile(app.filePath("emoji/" + emoji.first())));
}

void TestMessageExporter::cancelRemovesOnlyWhatRunCreated_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("existed");
    QTest::newRow("text into a new file") << int(ExportFormat::Text) << false;
    QTest::newRow("CSV over an earlier file") << int(ExportFormat::Csv) << true;
    QTest::newRow("PDF into a new folder") << int(ExportFormat::Pdf) << false;
    QTest::newRow("PDF into an earlier folder") << int(ExportFormat::Pdf) << true;
    QTest::newRow("HTML into a new folder") << int(ExportFormat::Html) << false;
    QTest::newRow("HTML into an earlier folder") << int(ExportFormat::Html) << true;
}

// Cancelled in the third conversation: the files of the first two, the
// asset folders and the output folder go when this run made them; an
// earlier export at the path stays as it was.
void TestMessageExporter::cancelRemovesOnlyWhatRunCreated()
{
    QFETCH(int, format);
    QFETCH(bool, existed);
    MessageFixture f;
    for (int c = 0; c < 3; ++c) {
        _MsgChat* chat = f.chat(QStringLiteral("chat%1").arg(c), {f.handle("1"), f.handle("2")}, c);
        f.message(chat, c, true, "m");
    }
    QTemporaryDir dir;
    const bool folder = format >= int(ExportFormat::Pdf);
    const QString out = dir.filePath(folder ? "new/out" : "out.txt");
    QStringList before;
    if (existed) {
        const QString ext = format == int(ExportFormat::Pdf) ? ".pdf" : ".html";
        if (folder) {
            QVERIFY(QDir().mkpath(out));
            writeFile(out + "/chat0" + ext, "earlier export");
            writeFile(out + "/notes.txt", "mine");
        } else {
            writeFile(out, "earlier export");
        }
        before = entries(dir.path());
    }
    TestReporter reporter;
    reporter.cancelAfter = 2;
    QCOMPARE(runExport(f.messages, out, format, true, reporter), QString("cancelled"));
    QCOMPARE(entries(dir.path()), before);
    if (existed && folder) {
        QCOMPARE(entries(out), QStringList({QString("chat0") + (format == int(ExportFormat::Pdf) ? ".pdf" : ".html"), "notes.txt"}));
        QCOMPARE(readFile(out + "/notes.txt"), QByteArray("mine"));
    } else if (existed) {
        QCOMPARE(readFile(out), QByteArray("earlier export"));
    }
}

// A text export onto a full disk fails with the reason and leaves the
// device alone; the run removes nothing it did not make.
void TestMessageExporter::failureKeepsEarlierContent()
{
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full");
    MessageFixture f;
    f.message(nullptr, 1, true, "m");
    const QString error = runExport(f.messages, "/dev/full", int(ExportFormat::Text));
    QVERIFY2(error.contains("No space left"), qPrintable(error));
    QVERIFY(QFileInfo("/dev/full").exists());
}

void TestMessageExporter::outputFolderBlockedByFile()
{
    MessageFixture f;
    f.message(nullptr, 1, true, "m");
    QTemporaryDir dir;
    const QString out = dir.filePath("out-pdf");
    writeFile(out, "a file");
    const QString error = runExport(f.messages, out, int(ExportFormat::Pdf));
    QVERIFY2(error.contains("Can not create the folder") && error.contains("out-pdf"), qPrintable(error));
    QCOMPARE(readFile(out), QByteArray("a file"));
}

QTEST_MAIN(TestMessageExporter)
#include "tst_messageexporter.moc"
