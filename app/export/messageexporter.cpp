#include "messageexporter.h"

#include "data_path_util.h"
#include "exportmessagescsv.h"
#include "exportmessagestxt.h"
#include "exportsmshtml.h"
#include "exportsmspdf.h"
#include "mergesort.h"
#include "msgdata.h"
#include "progressreporter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <memory>
#include <stdexcept>

namespace {

using Writer = AbsFormatExport<_MsgMessage>;

QString tr(const char* text)
{
    return QCoreApplication::translate("ExportSMSThread", text);
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().constData());
}

// Long enough for any name a person reads, short enough for every file system
// (names hold at most 255 bytes) with the extension and a number added.
constexpr qsizetype kMaxStemBytes = 150;

// Progress is shown when its percentage changes or after this long.
constexpr qint64 kReportIntervalMs = 100;

bool existsNoFollow(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

// What this run created on disk, removed again when the run does not end well.
class MessageExporter::Output
{
public:
    ~Output()
    {
        if (!m_kept)
            removeCreated();
    }

    void keep() { m_kept = true; }

    // Creates the folder with its missing parents; remembers the topmost one
    // created.
    void makeFolder(const QString& path)
    {
        const QFileInfo info(path);
        if (info.isDir())
            return;
        QString top = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        for (QString parent = QFileInfo(top).path(); parent != top && !existsNoFollow(parent);
             parent = QFileInfo(parent).path())
            top = parent;
        if (!existsNoFollow(top))
            m_folders.append(top);
        if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
            fail(tr("Can not create the folder %1.").arg(QDir::toNativeSeparators(path)));
        if (!m_folders.isEmpty() && m_folders.last() == top)
            QFile::setPermissions(top, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Notes a file about to be written, when nothing stands at its path yet.
    void noteFile(const QString& path)
    {
        if (!existsNoFollow(path))
            m_files.append(path);
    }

    void copyIfMissing(const QString& from, const QString& to)
    {
        if (existsNoFollow(to))
            return;
        if (QFile::copy(from, to))
            m_files.append(to);
    }

private:
    void removeCreated()
    {
        for (const QString& file : qAsConst(m_files))
            QFile::remove(file);
        for (auto it = m_folders.crbegin(); it != m_folders.crend(); ++it)
            g_delDirCascade(*it);
    }

    QStringList m_files;
    QStringList m_folders;
    bool m_kept = false;
};

struct MessageExporter::Conversation
{
    QList<_MsgMessage*> messages;
    int last = 0; // the latest last date of its chats
};

MessageExporter::MessageExporter(const QList<_MsgMessage*>& messages, const QString& path,
                                 ExportFormat format, bool ascending)
    : m_messages(messages)
    , m_path(path)
    , m_format(format)
    , m_ascending(ascending)
{
}

int MessageExporter::run(ProgressReporter& reporter)
{
    reporter.reportProgress(tr("IDS_EXPORTING_MESSAGES_TO_FILE"), 0, QString());
    m_done = 0;
    m_lastPercent = -1;
    m_lastReportMs = 0;
    m_clock.start();
    m_fileNames.clear();
    if (m_messages.isEmpty() && (m_format == ExportFormat::Text || m_format == ExportFormat::Csv))
        return 0; // an export of nothing creates no file
    switch (m_format) {
    case ExportFormat::Text:
    case ExportFormat::Csv:
        return writeOneFile(reporter);
    case ExportFormat::Pdf:
    case ExportFormat::Html: {
        Output output;
        output.makeFolder(m_path);
        const int written = writeConversations(reporter, output);
        output.keep();
        return written;
    }
    default:
        if (m_messages.isEmpty())
            return 0;
        fail(QStringLiteral("not support export format."));
    }
}

void MessageExporter::countMessage(ProgressReporter& reporter)
{
    reporter.throwIfCancelled();
    ++m_done;
    const int total = int(m_messages.size());
    const int percent = int(double(m_done) / total * 100.0);
    const qint64 now = m_clock.elapsed();
    if (percent == m_lastPercent && m_done != total && now - m_lastReportMs < kReportIntervalMs)
        return;
    m_lastPercent = percent;
    m_lastReportMs = now;
    reporter.reportProgress(QString(), percent, tr("Messages: %1/%2").arg(m_done).arg(total));
}

// The writer works on a file beside the target and puts it in place only at
// its end, so a stopped run leaves the path as it was.
int MessageExporter::writeOneFile(ProgressReporter& reporter)
{
    std::unique_ptr<Writer> writer;
    if (m_format == ExportFormat::Text)
        writer = std::make_unique<ExportMessagesTxt>(m_path);
    else
        writer = std::make_unique<ExportMessagesCsv>(m_path);
    writer->init();
    for (_MsgMessage* message : qAsConst(m_messages)) {
        countMessage(reporter);
        writer->write(*message);
    }
    writer->uninit();
    return m_done;
}

// One group per case-folded chat identifier (a message without a chat has
// the empty one), so a conversation is never split over two files whatever
// the dates of its chats. Groups by their last date, messages by date.
QList<MessageExporter::Conversation> MessageExporter::conversations() const
{
    QList<Conversation> groups;
    QHash<const _MsgChat*, int> byChat;
    QHash<QString, int> byIdentifier;
    for (_MsgMessage* message : m_messages) {
        const _MsgChat* chat = message->chat;
        auto known = byChat.constFind(chat);
        int index;
        if (known != byChat.constEnd()) {
            index = known.value();
        } else {
            const QString key = chat ? chat->chat_identifier.toCaseFolded() : QString();
            index = byIdentifier.value(key, -1);
            if (index < 0) {
                index = int(groups.size());
                groups.append(Conversation());
                byIdentifier.insert(key, index);
            }
            byChat.insert(chat, index);
            if (chat)
                groups[index].last = qMax(groups[index].last, chat->_last);
        }
        groups[index].messages.append(message);
    }
    const bool ascending = m_ascending;
    for (Conversation& group : groups) {
        if (ascending)
            qsMergeSort(group.messages, compareMsgMessageAsc);
        else
            qsMergeSort(group.messages, [](const _MsgMessage* a, const _MsgMessage* b) {
                return compareMsgMessageAsc(b, a);
            });
    }
    qsMergeSort(groups, [ascending](const Conversation& a, const Conversation& b) {
        return ascending ? a.last < b.last : b.last < a.last;
    });
    return groups;
}

namespace {

// The file of a conversation: a group is named after its identifier, any
// other chat after its display name with numbers, no chat "unknown-chat".
// Names are made unique within the run, ignoring case.
QString fileNameFor(const _MsgChat* chat, const QString& extension, QSet<QString>& used)
{
    QString name;
    if (!chat)
        name = QStringLiteral("unknown-chat") + extension;
    else
        name = g_formatFileName((chat->isGroup() ? chat->chat_identifier : chat->displayName(true)) + extension);
    QString stem = name.chopped(extension.size());
    if (stem.toUtf8().size() > kMaxStemBytes) {
        while (stem.toUtf8().size() > kMaxStemBytes)
            stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
        name = stem + extension;
    }
    for (int n = 2; used.contains(name.toCaseFolded()); ++n)
        name = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
    used.insert(name.toCaseFolded());
    return name;
}

} // namespace

int MessageExporter::writeConversations(ProgressReporter& reporter, Output& output)
{
    if (m_messages.isEmpty())
        return 0;
    const QList<Conversation> groups = conversations();
    const QString extension = m_format == ExportFormat::Pdf ? QStringLiteral(".pdf") : QStringLiteral(".html");
    if (m_format == ExportFormat::Html)
        copyAssets(output);
    const QDir folder(QFileInfo(m_path).absoluteFilePath());
    QSet<QString> used;
    std::unique_ptr<Writer> writer;
    for (const Conversation& group : groups) {
        const QString name = fileNameFor(group.messages.first()->chat, extension, used);
        m_fileNames.append(name);
        const QString path = folder.filePath(name);
        if (writer)
            writer->uninit();
        output.noteFile(path);
        if (m_format == ExportFormat::Pdf)
            writer = std::make_unique<ExportSMSPdf>(path);
        else
            writer = std::make_unique<ExportSMSHtml>(path);
        writer->init();
        for (_MsgMessage* message : group.messages) {
            countMessage(reporter);
            writer->write(*message);
        }
    }
    writer->uninit();
    return m_done;
}

void MessageExporter::copyAssets(Output& output) const
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    const QDir out(QFileInfo(m_path).absoluteFilePath());
    const auto copyFolder = [&](const QString& from, const QString& to) {
        const QDir source(appDir.filePath(from));
        const QStringList names = source.entryList(QDir::Files);
        for (const QString& name : names)
            output.copyIfMissing(source.filePath(name), out.filePath(to + QLatin1Char('/') + name));
    };
    output.makeFolder(out.filePath(QStringLiteral("files")));
    if (appDir.exists(QStringLiteral("bubble")))
        copyFolder(QStringLiteral("bubble"), QStringLiteral("files"));
    if (appDir.exists(QStringLiteral("emoji"))) {
        output.makeFolder(out.filePath(QStringLiteral("emoji")));
        copyFolder(QStringLiteral("emoji"), QStringLiteral("emoji"));
    }
}
