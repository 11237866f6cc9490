// The PDF writer and the printed page layout, read back with the poppler
// tools: page count and numbers, every page carrying messages, a message
// taller than a page broken over pages, fonts for emoji and Chinese, Japanese
// and Korean text, and files that cannot be written.
#include "exportsmspdf.h"
#include "exporttestutil.h"
#include "messagefixture.h"
#include "smsprinterprivacy.h"

#include <QPdfWriter>
#include <QRegularExpression>
#include <QtTest>

using namespace ExportTestUtil;

namespace {

QString writePdf(const QString& path, const QList<_MsgMessage*>& messages)
{
    ExportSMSPdf writer(path);
    writer.init();
    for (_MsgMessage* m : messages)
        writer.write(*m);
    writer.uninit();
    return path;
}

QString numberedLines(const QString& word, int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("%1 %2").arg(word).arg(i);
    return lines.join('\n');
}

// The page text without the page number standing alone on its line.
QString bodyOf(const QString& pageText, int page)
{
    QString text = pageText;
    text.remove(QRegularExpression(QStringLiteral("(^|\\n)\\s*%1\\s*(\\n|$)").arg(page)));
    return text.trimmed();
}

} // namespace

class TestExportSMSPdf : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layoutFollowsMargins();
    void noMessageGivesPageOne();
    void messagesFillNumberedPages();
    void tallMessageIsSplit_data();
    void tallMessageIsSplit();
    void emojiAndCjkHaveFonts();
    void fileThatCannotBeWritten_data();
    void fileThatCannotBeWritten();
    void stoppedWriterLeavesNoFile();
};

void TestExportSMSPdf::initTestCase()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("poppler-utils are missing");
}

// A4 at 72 units per inch with 20-point margins: the content lies inside
// the margins once more.
void TestExportSMSPdf::layoutFollowsMargins()
{
    QTemporaryDir dir;
    QPdfWriter writer(dir.filePath("x.pdf"));
    writer.setResolution(72);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                     QPageLayout::Point));
    SMSPrinterPrivacy layout;
    QVERIFY(layout.reset(&writer));
    QCOMPARE(layout.contentRect(), QRect(20, 20, 515, 762));
    QVERIFY(layout.end());
}

void TestExportSMSPdf::noMessageGivesPageOne()
{
    QTemporaryDir dir;
    const QString pdf = writePdf(dir.filePath("empty.pdf"), {});
    QCOMPARE(pdfPages(pdf), 1);
    QCOMPARE(pdfPageText(pdf, 1).trimmed(), QString("1"));
}

void TestExportSMSPdf::messagesFillNumberedPages()
{
    MessageFixture f;
    _MsgChat* chat = f.chat("+1555", {f.handle("+1555", "Alice")});
    for (int i = 1; i <= 60; ++i)
        f.message(chat, 700000000 + i * 60, i % 2, QStringLiteral("message %1").arg(i));
    QTemporaryDir dir;
    const QString pdf = writePdf(dir.filePath("chat.pdf"), f.messages);
    const int pages = pdfPages(pdf);
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    QString all;
    for (int page = 1; page <= pages; ++page) {
        const QString text = pdfPageText(pdf, page);
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("(^|\\n)%1\\s*(\\n|$)").arg(page))), qPrintable(text));
        QVERIFY2(bodyOf(text, page).contains("message"), qPrintable(text));
        all += text;
    }
    QVERIFY(all.contains("To: Alice (+1555)"));
    QVERIFY(all.contains("From: Alice (+1555)"));
    for (int i = 1; i <= 60; ++i)
        QVERIFY(all.contains(QStringLiteral("message %1\n").arg(i)));
}

void TestExportSMSPdf::tallMessageIsSplit_data()
{
    QTest::addColumn<bool>("afterShortOne");
    QTest::newRow("first on the page") << false;
    QTest::newRow("after a short message") << true;
}

// A message of 150 lines needs more than two pages: it is broken between
// lines, and no page is left with nothing but its number.
void TestExportSMSPdf::tallMessageIsSplit()
{
    QFETCH(bool, afterShortOne);
    MessageFixture f;
    _MsgChat* chat = f.chat("+1555", {f.handle("+1555")});
    if (afterShortOne)
        f.message(chat, 700000000, false, "short one");
    f.message(chat, 700000100, true, numberedLines("row", 150));
    f.message(chat, 700000200, false, "after the tall one");
    QTemporaryDir dir;
    const QString pdf = writePdf(dir.filePath("tall.pdf"), f.messages);

    const int pages = pdfPages(pdf);
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    const QList<QImage> images = pdfRender(pdf);
    QCOMPARE(images.size(), pages);
    QStringList rows;
    for (int page = 1; page <= pages; ++page) {
        const QString body = bodyOf(pdfPageText(pdf, page), page);
        QVERIFY2(!body.isEmpty(), qPrintable(QStringLiteral("page %1 is empty").arg(page)));
        QVERIFY2(inkAbove(images[page - 1], 0.9) > 0, qPrintable(QStringLiteral("page %1 has no ink").arg(page)));
        const QRegularExpression row(QStringLiteral("row (\\d+)"));
        for (auto it = row.globalMatch(body); it.hasNext();)
            rows << it.next().captured(1);
    }
    // Every row once, in order, over the pages.
    QCOMPARE(rows.size(), 150);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i].toInt(), i + 1);
    // The tall message starts on a fresh page when a short one came before.
    if (afterShortOne) {
        QVERIFY(pdfPageText(pdf, 1).contains("short one"));
        QVERIFY(!pdfPageText(pdf, 1).contains("row 1\n"));
    }
    QVERIFY(pdfPageText(pdf, pages).contains("after the tall one"));
}

void TestExportSMSPdf::emojiAndCjkHaveFonts()
{
    MessageFixture f;
    f.message(f.chat("+1555", {f.handle("+1555", QString::fromUtf8("王小明"))}), 700000000, false,
              QString::fromUtf8("中文 日本語のテキスト 한국어 🤔"));
    QTemporaryDir dir;
    const QString pdf = writePdf(dir.filePath("wide.pdf"), f.messages);
    const QString text = pdfPageText(pdf, 1);
    QVERIFY2(text.contains(QString::fromUtf8("中文 日本語のテキスト 한국어")), qPrintable(text));
    QVERIFY2(text.contains(QString::fromUtf8("王小明")), qPrintable(text));
    // The emoji beyond U+FFFF is drawn from Symbola, though Qt's text layer
    // of the PDF does not name it, so only the embedded font shows it here.
    const QString fonts = pdfFonts(pdf);
    QVERIFY2(fonts.contains("WenQuanYi", Qt::CaseInsensitive), qPrintable(fonts));
    QVERIFY2(fonts.contains("Symbola", Qt::CaseInsensitive), qPrintable(fonts));
}

void TestExportSMSPdf::fileThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QTest::newRow("full disk") << "/dev/full" << "No space left";
    QTest::newRow("missing folder") << "missing/x.pdf" << "";
}

void TestExportSMSPdf::fileThatCannotBeWritten()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    if (path.startsWith("/dev/") && !QFileInfo::exists(path))
        QSKIP("no /dev/full");
    QTemporaryDir dir;
    MessageFixture f;
    f.message(nullptr, 700000000, true, "text");
    QString error;
    try {
        writePdf(path.startsWith('/') ? path : dir.filePath(path), f.messages);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    QVERIFY2(!error.isEmpty() && error.contains(reason), qPrintable(error));
    QVERIFY(!QFileInfo::exists(dir.filePath("missing")));
}

void TestExportSMSPdf::stoppedWriterLeavesNoFile()
{
    MessageFixture f;
    f.message(nullptr, 700000000, true, "text");
    QTemporaryDir dir;
    {
        ExportSMSPdf writer(dir.filePath("stopped.pdf"));
        writer.init();
        writer.write(*f.messages[0]);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_MAIN(TestExportSMSPdf)
#include "tst_exportsmspdf.moc"
