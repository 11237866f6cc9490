// The text, CSV and HTML writers: files read back and parsed, CSV fields,
// write errors, and a stopped writer that leaves the path as it was.
#include "exportmessagescsv.h"
#include "exportmessagestxt.h"
#include "exportsmshtml.h"
#include "exporttestutil.h"
#include "messagefixture.h"

#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

using namespace ExportTestUtil;

namespace {

// 2023-11-14 22:13:20 UTC as date21.
constexpr int kDate = 721692800;

// One message of each shape the writers tell apart.
struct Shapes : MessageFixture
{
    Shapes()
    {
        _MsgHandle* alice = handle(QStringLiteral("+15550001"), QStringLiteral("Alice <A&B>"));
        _MsgHandle* bob = handle(QStringLiteral("+15550002"));
        _MsgChat* one = chat(QStringLiteral("+15550001"), {alice});
        _MsgChat* noName = chat(QStringLiteral("+15550002"), {bob});
        _MsgChat* group = chat(QStringLiteral("chat42"), {alice, bob});
        message(one, kDate, true, QStringLiteral("Hello, \"friend\""));
        message(noName, kDate + 61, false, QStringLiteral("two\nlines & <tags>"));
        message(group, kDate + 3600, false, QStringLiteral("cr\ronly"));
        message(nullptr, kDate + 7200, true, QStringLiteral("中文 한국어 日本語"));
    }
};

QString written(AbsFormatExport<_MsgMessage>& writer, const QList<_MsgMessage*>& messages, const QString& path)
{
    writer.init();
    for (_MsgMessage* m : messages)
        writer.write(*m);
    writer.uninit();
    return QString::fromUtf8(readFile(path));
}

// Owner, group and others (the "user" bits repeat the owner's for us).
QFileDevice::Permissions modeOf(const QString& path)
{
    return QFile::permissions(path) & QFileDevice::Permissions(0xF0FF);
}

std::unique_ptr<AbsFormatExport<_MsgMessage>> makeWriter(const QString& kind, const QString& path)
{
    if (kind == QLatin1String("txt"))
        return std::make_unique<ExportMessagesTxt>(path);
    if (kind == QLatin1String("csv"))
        return std::make_unique<ExportMessagesCsv>(path);
    return std::make_unique<ExportSMSHtml>(path);
}

} // namespace

class TestExportWriters : public QObject
{
    Q_OBJECT

private slots:
    void csvFormat_data();
    void csvFormat();
    void csvReadsBack();
    void textReadsBack();
    void textKeepsRightToLeftNamesApart();
    void htmlParses();
    void htmlWithoutMessages();
    void writeErrorFails_data();
    void writeErrorFails();
    void openErrorFails_data();
    void openErrorFails();
    void stoppedWriterKeepsEarlierFile_data();
    void stoppedWriterKeepsEarlierFile();
    void linkAtPathIsFollowed();
};

void TestExportWriters::csvFormat_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("plain") << "plain text" << "plain text";
    QTest::newRow("comma") << "a,b" << "\"a,b\"";
    QTest::newRow("quote") << "say \"hi\"" << "\"say \"\"hi\"\"\"";
    QTest::newRow("line feed") << "two\nlines" << "\"two\nlines\"";
    QTest::newRow("carriage return alone") << "cr\ronly" << "cr\ronly";
    QTest::newRow("wide characters") << QString::fromUtf8("中文，x") << QString::fromUtf8("中文，x");
}

void TestExportWriters::csvFormat()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(g_csvFormat(text), field);
}

void TestExportWriters::csvReadsBack()
{
    Shapes f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.csv");
    ExportMessagesCsv writer(path);
    const QList<QStringList> records = parseCsv(written(writer, f.messages, path));
    QCOMPARE(records.size(), 5);
    QCOMPARE(records[0], QStringList({"date", "send", "person", "number", "content"}));
    QCOMPARE(records[1], QStringList({"2023-11-14 22:13:20", "1", "Alice <A&B>", "+15550001", "Hello, \"friend\""}));
    QCOMPARE(records[2], QStringList({"2023-11-14 22:14:21", "0", "", "+15550002", "two\nlines & <tags>"}));
    QCOMPARE(records[3], QStringList({"2023-11-14 23:13:20", "0", "chat42", "chat42", "cr\ronly"}));
    QCOMPARE(records[4], QStringList({"2023-11-15 00:13:20", "1", "", "", QString::fromUtf8("中文 한국어 日本語")}));
}

void TestExportWriters::textReadsBack()
{
    Shapes f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    ExportMessagesTxt writer(path);
    const QString text = written(writer, f.messages, path);
    const QString shortDate = QLocale::system().toString(dtFromDate21(kDate), QLocale::ShortFormat);
    const QStringList blocks = text.split("\n\n");
    QCOMPARE(blocks.size(), 5);
    QCOMPARE(blocks[0], "Date: " + shortDate + "\nTo: Alice <A&B> (+15550001)\nHello, \"friend\"");
    QVERIFY(blocks[1].endsWith("\nFrom: +15550002\ntwo\nlines & <tags>"));
    QVERIFY(blocks[2].endsWith("\nFrom: Alice <A&B> (+15550001), +15550002\ncr\ronly")); // membership order
    QVERIFY(blocks[3].endsWith(QString::fromUtf8("\nTo: Unknown\n中文 한국어 日本語")));
    QCOMPARE(blocks[4], QString());
}

// A line with a right-to-left name keeps every name and number in isolates,
// so "(+971501234567)" is not drawn as "(971501234567+".
void TestExportWriters::textKeepsRightToLeftNamesApart()
{
    MessageFixture f;
    const QString arabic = QStringLiteral("ليلى حداد");
    _MsgHandle* layla = f.handle(QStringLiteral("+971501234567"), arabic);
    _MsgHandle* bob = f.handle(QStringLiteral("+15550002"));
    f.message(f.chat(QStringLiteral("+971501234567"), {layla}), kDate, false, QStringLiteral("one"));
    f.message(f.chat(QStringLiteral("chat7"), {bob, layla}), kDate, false, QStringLiteral("two"));
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    ExportMessagesTxt writer(path);
    const QStringList blocks = written(writer, f.messages, path).split("\n\n");
    QCOMPARE(blocks.size(), 3);
    const auto iso = [](const QString& piece) { return QChar(0x2068) + piece + QChar(0x2069); };
    QVERIFY(blocks[0].endsWith("\nFrom: " + iso(arabic) + " (" + iso("+971501234567") + ")\none"));
    QVERIFY(blocks[1].endsWith("\nFrom: " + iso("+15550002") + ", " + iso(arabic) + " (" + iso("+971501234567")
                               + ")\ntwo"));
}

void TestExportWriters::htmlParses()
{
    Shapes f;
    f.messages[1]->ROWID = -7;
    QTemporaryDir dir;
    const QString path = dir.filePath("out.html");
    ExportSMSHtml writer(path);
    const QString html = written(writer, f.messages, path);
    QVERIFY(html.startsWith("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\""));
    QVERIFY(html.endsWith("</body></html>"));

    // Each block: an anchor, a coloured heading of two lines, the text.
    struct Block
    {
        QString anchor, colour, date, party, text;
        int breaks = 0;
    };
    QList<Block> blocks;
    QXmlStreamReader xml(html);
    int depth = 0; // inside the heading div
    QString title;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString style = xml.attributes().value("style").toString();
            if (xml.name() == QLatin1String("title")) {
                title = xml.readElementText();
            } else if (xml.name() == QLatin1String("a")) {
                blocks.append(Block());
                blocks.last().anchor = xml.attributes().value("name").toString();
            } else if (style.startsWith("color:")) {
                blocks.last().colour = style.mid(6, 7);
                depth = 1;
            } else if (xml.name() == QLatin1String("div") && depth == 1) {
                depth = 2;
            } else if (style.startsWith("font-size:14px")) {
                depth = 3;
            } else if (xml.name() == QLatin1String("br") && depth == 3) {
                ++blocks.last().breaks;
                blocks.last().text += '\n';
            }
        } else if (xml.isCharacters() && !blocks.isEmpty()) {
            Block& b = blocks.last();
            if (depth == 2)
                (b.date.isEmpty() ? b.date : b.party) += xml.text().toString();
            else if (depth == 3)
                b.text += xml.text().toString();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("div")) {
            depth = depth == 2 ? 1 : depth == 1 ? 0 : depth == 3 ? 0 : depth;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(title, QString("Quillsprout Chatterquay for Mac"));
    QCOMPARE(blocks.size(), 4);
    QCOMPARE(blocks[0].anchor, QString("sms1"));
    QCOMPARE(blocks[1].anchor, QString("sms-7"));
    QCOMPARE(blocks[0].colour, QString("#008040"));
    QCOMPARE(blocks[1].colour, QString("#0000FF"));
    QCOMPARE(blocks[0].date, QLocale::system().toString(dtFromDate21(kDate), QLocale::ShortFormat));
    QCOMPARE(blocks[0].party, QString("To: Alice <A&B> (+15550001)"));
    QCOMPARE(blocks[0].text, QString("Hello, \"friend\""));
    QCOMPARE(blocks[1].text, QString("two\nlines & <tags>"));
    QCOMPARE(blocks[1].breaks, 1);
    QCOMPARE(blocks[3].party, QString("To: "));
    QCOMPARE(blocks[3].text, QString::fromUtf8("中文 한국어 日本語"));
}

void TestExportWriters::htmlWithoutMessages()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.html");
    ExportSMSHtml writer(path);
    QVERIFY(written(writer, {}, path).endsWith("<title>Quillsprout Chatterquay for Mac</title></head><body></body></html>"));
}

void TestExportWriters::writeErrorFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text") << "txt";
    QTest::newRow("CSV") << "csv";
    QTest::newRow("HTML") << "html";
}

// A full disk fails the writer with the path and the reason, whether the
// error comes while writing (many messages) or at the end (few).
void TestExportWriters::writeErrorFails()
{
    QFETCH(QString, kind);
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full");
    Shapes f;
    for (int count : {1, 20000}) {
        auto writer = makeWriter(kind, "/dev/full");
        QString error;
        try {
            writer->init();
            for (int i = 0; i < count; ++i)
                writer->write(*f.messages[i % f.messages.size()]);
            writer->uninit();
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(error.contains("/dev/full") && error.contains("No space left"), qPrintable(error));
    }
}

void TestExportWriters::openErrorFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("where");
    QTest::newRow("text, missing folder") << "txt" << "missing/out.txt";
    QTest::newRow("CSV, a folder at the path") << "csv" << "folder";
    QTest::newRow("HTML, a folder at the path") << "html" << "folder";
}

void TestExportWriters::openErrorFails()
{
    QFETCH(QString, kind);
    QFETCH(QString, where);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    auto writer = makeWriter(kind, dir.filePath(where));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, writer->init());
    QVERIFY(QFileInfo(dir.filePath("folder")).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList("folder"));
}

void TestExportWriters::stoppedWriterKeepsEarlierFile_data()
{
    writeErrorFails_data();
}

// A writer replaces the file only when it completes; a new file is private.
void TestExportWriters::stoppedWriterKeepsEarlierFile()
{
    QFETCH(QString, kind);
    Shapes f;
    QTemporaryDir dir;
    const QString path = dir.filePath("out");
    writeFile(path, "earlier");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    {
        auto writer = makeWriter(kind, path);
        writer->init();
        writer->write(*f.messages[0]);
    }
    QCOMPARE(readFile(path), QByteArray("earlier"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList("out"));

    auto writer = makeWriter(kind, path);
    QVERIFY(written(*writer, f.messages, path).contains("Hello"));
    QCOMPARE(modeOf(path),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);

    const QString fresh = dir.filePath("fresh");
    auto second = makeWriter(kind, fresh);
    written(*second, f.messages, fresh);
    QCOMPARE(modeOf(fresh),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// A link at the path: the file it names is replaced, the link stays.
void TestExportWriters::linkAtPathIsFollowed()
{
    Shapes f;
    QTemporaryDir dir;
    writeFile(dir.filePath("real.csv"), "earlier");
    QVERIFY(QFile::link(dir.filePath("real.csv"), dir.filePath("link.csv")));
    ExportMessagesCsv writer(dir.filePath("link.csv"));
    written(writer, f.messages, dir.filePath("link.csv"));
    QVERIFY(QFileInfo(dir.filePath("link.csv")).isSymLink());
    QVERIFY(readFile(dir.filePath("real.csv")).startsWith("date,send,person,number,content\n"));
}

QTEST_MAIN(TestExportWriters)
#include "tst_exportwriters.moc"
