// Exporting 1,000,000 messages in 2,000 conversations to text, CSV and HTML,
// and 10,000 messages of 20 conversations to PDF; prints messages per second
// for each (by the clock and by the process's CPU time, since the machine may
// be shared), and the ratio to a floor measured in the same run: building
// each message's summary and writing files of the same sizes, the work no
// exporter can skip.
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

#include "benchmessages.h"
#include "messageexporter.h"
#include "msgdata.h"

namespace {

constexpr int kMessages = 1000000;
constexpr int kChats = 2000;
constexpr int kPdfChats = 20;
constexpr int kPdfMessages = 10000;

// One handle per chat; messages round the chats, 30 seconds apart, sent and
// received in turn.
void generate(MsgData& data, QList<_MsgMessage*>& all)
{
    __MsgData* p = data.p();
    const QList<_MsgChat*> chats = addOneToOneChats(data, 1, kChats);
    for (_MsgHandle* h : std::as_const(p->handles))
        h->_ct_name = QStringLiteral("Contact %1").arg(h->ROWID);
    all.reserve(kMessages);
    for (int i = 1; i <= kMessages; ++i) {
        _MsgChat* chat = chats[i % kChats];
        _MsgMessage* m = addChatMessage(data, chat, i, QStringLiteral("msg-%1").arg(i),
                                        QStringLiteral("Message number %1 of the benchmark, see you soon").arg(i),
                                        600000000 + i * 30);
        chat->_last = qMax(chat->_last, m->date);
        all << m;
    }
}

// The files an export wrote, with their sizes.
QList<qint64> outputFiles(const QString& path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return {info.size()};
    QList<qint64> sizes;
    QDirIterator it(path, {QStringLiteral("*.html"), QStringLiteral("*.pdf")}, QDir::Files);
    while (it.hasNext()) {
        it.next();
        sizes << it.fileInfo().size();
    }
    return sizes;
}

// User and system CPU time of the process.
QPair<double, double> cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6, usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
}

// The floor: every message's summary, and files of the same sizes written in
// 256 KiB chunks into a folder of their own.
double floorSeconds(const QList<_MsgMessage*>& messages, const QList<qint64>& sizes, const QString& folder)
{
    QDir().mkpath(folder);
    QElapsedTimer timer;
    timer.start();
    qsizetype chars = 0;
    for (const _MsgMessage* m : messages)
        chars += m->summary().size();
    const QByteArray chunk(256 * 1024, char('x' + (chars & 1)));
    for (int i = 0; i < sizes.size(); ++i) {
        QFile file(QStringLiteral("%1/%2").arg(folder).arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        for (qint64 left = sizes[i]; left > 0; left -= chunk.size())
            file.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    QDir(folder).removeRecursively();
    return seconds;
}

void measure(const char* name, const QList<_MsgMessage*>& messages, ExportFormat format, const QString& path)
{
    NullReporter reporter;
    MessageExporter exporter(messages, path, format, true);
    QElapsedTimer timer;
    timer.start();
    const QPair<double, double> cpuStart = cpuSeconds();
    const int written = exporter.run(reporter);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double user = cpuSeconds().first - cpuStart.first;
    const double system = cpuSeconds().second - cpuStart.second;
    const QList<qint64> sizes = outputFiles(path);
    qint64 bytes = 0;
    for (qint64 size : sizes)
        bytes += size;
    const double floor = floorSeconds(messages, sizes, path + ".floor");
    std::printf("%-5s %8d messages in %4lld files, %6.1f MB: %6.3f s, %9.0f messages/s (CPU: user %6.3f s, system "
                "%6.3f s, %9.0f messages/s); floor %.3f s, ratio %.2f\n",
                name, written, qint64(sizes.size()), bytes / 1e6, seconds, written / seconds, user, system,
                written / (user + system), floor, floor > 0 ? seconds / floor : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    MsgData data;
    QList<_MsgMessage*> all;
    generate(data, all);
    // The formats to measure may be named on the command line (txt csv html pdf).
    QStringList formats = app.arguments().mid(1);
    if (formats.isEmpty())
        formats = {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("html"), QStringLiteral("pdf")};
    QTemporaryDir dir;
    std::printf("export of %d messages in %d conversations\n", kMessages, kChats);
    if (formats.contains(QLatin1String("txt")))
        measure("TXT", all, ExportFormat::Text, dir.filePath("out.txt"));
    if (formats.contains(QLatin1String("csv")))
        measure("CSV", all, ExportFormat::Csv, dir.filePath("out.csv"));
    if (formats.contains(QLatin1String("html")))
        measure("HTML", all, ExportFormat::Html, dir.filePath("out-html"));
    if (!formats.contains(QLatin1String("pdf")))
        return 0;

    QList<_MsgMessage*> pdf;
    for (_MsgMessage* m : all)
        if (m->chat->ROWID <= kPdfChats && pdf.size() < kPdfMessages)
            pdf << m;
    measure("PDF", pdf, ExportFormat::Pdf, dir.filePath("out-pdf"));
    return 0;
}
