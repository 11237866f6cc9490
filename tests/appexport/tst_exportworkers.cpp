// The windowed side of exporting: the export worker behind its progress
// dialog, printing through the print preview, and the folder copy worker.
#include "copyuwpitunesthread.h"
#include "exportsmsthread.h"
#include "exporttestutil.h"
#include "messagefixture.h"
#include "modalwatcher.h"
#include "progressform.h"
#include "progressrunner.h"
#include "smsprinter.h"
#include "temphome.h"
#include "translation.h"

#include <QDirIterator>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QtTest>

using namespace ExportTestUtil;

namespace {

struct WorkerRun
{
    bool ok = false;
    QStringList boxes;
};

template <typename MakeWorker>
WorkerRun runBehindForm(MakeWorker make)
{
    ModalWatcher watcher;
    ProgressForm form{QString()};
    WorkerRun run;
    {
        auto worker = make(form);
        run.ok = g_runWithProgress(form, *worker);
    }
    for (const ModalWatcher::ShownBox& box : watcher.shown())
        run.boxes << box.text;
    return run;
}

WorkerRun runExport(const QList<_MsgMessage*>& messages, const QString& path, ExportSMSThread::FormatType format)
{
    return runBehindForm([&](ProgressForm& form) {
        return std::make_unique<ExportSMSThread>(messages, path, format, true, form);
    });
}

WorkerRun runCopy(const QString& source)
{
    return runBehindForm([&](ProgressForm& form) { return std::make_unique<CopyUWPItunesThread>(source, form); });
}

QString printToPdf(SMSPrinter& printer, const QString& path)
{
    QPrinter device(QPrinter::ScreenResolution);
    device.setOutputFormat(QPrinter::PdfFormat);
    device.setOutputFileName(path);
    device.setPageSize(QPageSize(QPageSize::A4));
    device.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    printer.onPaintRequested(&device);
    return path;
}

QStringList tree(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace

class TestExportWorkers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exportReportsSuccess();
    void exportReportsFailure();
    void printedPagesNumberedFromOne();
    void printPreviewShowsPages();
    void copyFolder();
    void copyReplacesEarlierCopy();
    void copyFileAndMissingSource();
    void copyFailureIsReported();
};

void TestExportWorkers::initTestCase()
{
    QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
}

void TestExportWorkers::exportReportsSuccess()
{
    MessageFixture f;
    for (int i = 0; i < 3; ++i)
        f.message(nullptr, i, true, "m");
    QTemporaryDir dir;
    const WorkerRun run = runExport(f.messages, dir.filePath("out.csv"), ExportFormat::Csv);
    QVERIFY(run.ok);
    QCOMPARE(run.boxes, QStringList("Successfully exported 3 SMS."));
    QCOMPARE(parseCsv(QString::fromUtf8(readFile(dir.filePath("out.csv")))).size(), 4);
}

void TestExportWorkers::exportReportsFailure()
{
    MessageFixture f;
    f.message(nullptr, 1, true, "m");
    QTemporaryDir dir;
    const QString blocked = dir.filePath("out-html");
    writeFile(blocked, "a file");
    const WorkerRun run = runExport(f.messages, blocked, ExportFormat::Html);
    QVERIFY(!run.ok);
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes[0].contains("Can not create the folder"), qPrintable(run.boxes[0]));
    QCOMPARE(readFile(blocked), QByteArray("a file"));
}

// Shows the preview of `messages`, waits until it has drawn its pages and
// closes it; returns the title and the page count it showed.
QPair<QString, int> preview(SMSPrinter& printer, const QList<_MsgMessage*>& messages)
{
    ModalWatcher watcher;
    QPair<QString, int> seen{QString(), -1};
    watcher.onDialog([&](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintPreviewDialog*>(modal);
        auto* view = dialog ? dialog->findChild<QPrintPreviewWidget*>() : nullptr;
        if (!view || view->pageCount() < 1)
            return false;
        seen = {dialog->windowTitle(), view->pageCount()};
        dialog->reject();
        return true;
    });
    printer.printSMS(messages);
    return seen;
}

void TestExportWorkers::printPreviewShowsPages()
{
    MessageFixture f;
    _MsgChat* chat = f.chat("+1555", {f.handle("+1555", "Alice")});
    for (int i = 1; i <= 60; ++i)
        f.message(chat, 700000000 + i, i % 2, QStringLiteral("printed %1").arg(i));
    SMSPrinter printer;
    const QPair<QString, int> shown = preview(printer, f.messages);
    QCOMPARE(shown.first, QString("Print SMS"));
    QVERIFY2(shown.second >= 3, qPrintable(QString::number(shown.second)));
    QCOMPARE(preview(printer, {}).second, 1);
}

// Every rendering starts again from page 1; the kept messages are drawn in
// the order given.
void TestExportWorkers::printedPagesNumberedFromOne()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("poppler-utils are missing");
    MessageFixture f;
    _MsgChat* chat = f.chat("+1555", {f.handle("+1555", "Alice")});
    for (int i = 1; i <= 60; ++i)
        f.message(chat, 700000000 + i, i % 2, QStringLiteral("printed %1").arg(i));
    SMSPrinter printer;
    preview(printer, f.messages);
    QTemporaryDir dir;
    for (const QString name : {"first.pdf", "second.pdf"}) {
        const QString pdf = printToPdf(printer, dir.filePath(name));
        const int pages = pdfPages(pdf);
        QVERIFY(pages >= 3);
        QVERIFY(pdfPageText(pdf, 1).contains(QRegularExpression("\\n1\\s*$")));
        QVERIFY(pdfPageText(pdf, pages).contains(QRegularExpression(QStringLiteral("\\n%1\\s*$").arg(pages))));
        QString all;
        for (int page = 1; page <= pages; ++page)
            all += pdfPageText(pdf, page);
        QVERIFY(all.indexOf("printed 1\n") < all.indexOf("printed 60\n"));
    }
}

void TestExportWorkers::copyFolder()
{
    TempHome home;
    QTemporaryDir dir;
    const QString src = dir.filePath("Backup");
    QVERIFY(QDir().mkpath(src + "/sub/deeper"));
    QVERIFY(QDir().mkpath(src + "/empty"));
    QVERIFY(QDir().mkpath(src + "/.hiddenfolder"));
    writeFile(src + "/a.db", "a");
    writeFile(src + "/sub/deeper/b.plist", "b");
    writeFile(src + "/.hidden", "h");
    writeFile(src + "/.hiddenfolder/c", "c");
    // A link back into the source must not make the copy endless.
    QVERIFY(QFile::link(src, src + "/loop"));
    QVERIFY(QFile::link(src + "/a.db", src + "/a-link.db"));

    const QDir copy = CopyUWPItunesThread::uwpItunesSaveDir(src);
    QCOMPARE(copy.absolutePath(), home.file("quillsprout_itunes/Backup"));
    QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(copy));
    const WorkerRun run = runCopy(src);
    QVERIFY(run.ok);
    QCOMPARE(run.boxes, QStringList());
    QCOMPARE(tree(copy.absolutePath()),
             QStringList({"__CopyUWPItunesThread", "a-link.db", "a.db", "sub", "sub/deeper", "sub/deeper/b.plist"}));
    QCOMPARE(readFile(copy.filePath("sub/deeper/b.plist")), QByteArray("b"));
    QVERIFY(!QFileInfo(copy.filePath("a-link.db")).isSymLink());
    QVERIFY(CopyUWPItunesThread::isUWPItunesCopied(copy));
    QCOMPARE(QFile::permissions(home.file("quillsprout_itunes")) & QFileDevice::Permissions(0xF0FF),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestExportWorkers::copyReplacesEarlierCopy()
{
    TempHome home;
    QTemporaryDir dir;
    for (const QString name : {"first", "second"}) {
        QVERIFY(QDir().mkpath(dir.filePath(name)));
        writeFile(dir.filePath(name + "/f"), name.toUtf8());
    }
    QVERIFY(runCopy(dir.filePath("first")).ok);
    QVERIFY(runCopy(dir.filePath("second")).ok);
    QCOMPARE(tree(home.file("quillsprout_itunes")), QStringList({"second", "second/__CopyUWPItunesThread", "second/f"}));
}

void TestExportWorkers::copyFileAndMissingSource()
{
    TempHome home;
    QTemporaryDir dir;
    writeFile(dir.filePath("Manifest.db"), "m");
    QVERIFY(runCopy(dir.filePath("Manifest.db")).ok);
    QCOMPARE(tree(home.file("quillsprout_itunes")), QStringList("Manifest.db"));
    QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(dir.filePath("Manifest.db"))));

    QVERIFY(runCopy(dir.filePath("missing")).ok);
    QVERIFY(QFileInfo(home.file("quillsprout_itunes")).isDir());
    QCOMPARE(tree(home.file("quillsprout_itunes")), QStringList());
}

// A file standing where the copy root belongs: the copy fails and says why.
void TestExportWorkers::copyFailureIsReported()
{
    TempHome home;
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("src")));
    writeFile(dir.filePath("src/f"), "f");
    writeFile(home.file("quillsprout_itunes"), "in the way");
    const WorkerRun run = runCopy(dir.filePath("src"));
    QVERIFY(!run.ok);
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes[0].contains("Can not copy iTunes files."), qPrintable(run.boxes[0]));
    QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(dir.filePath("src"))));
}

QTEST_MAIN(TestExportWorkers)
#include "tst_exportworkers.moc"
