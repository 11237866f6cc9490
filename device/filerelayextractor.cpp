#include "filerelayextractor.h"

#include "pathguard.h"
#include "privatemode.h"
#include "progressreporter.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>

#include <archive.h>
#include <archive_entry.h>

#include <stdexcept>
#include <utime.h>

namespace {

// libarchive reads the archive file in blocks of this size.
const size_t kReadBlockBytes = 524288;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

QString kilobytes(qint64 bytes)
{
    return QLocale().toString(bytes / 1024);
}

// The path of the cleaned `name` below `target`, or empty after a logged
// warning when writing there could reach outside the target.
QString pathInside(const QDir& target, const QString& name)
{
    QString reason;
    const QString path = g_pathInside(target, name, &reason);
    if (path.isEmpty())
        qWarning("Skipped the archive entry \"%s\": %s.", qUtf8Printable(name), qUtf8Printable(reason));
    return path;
}

} // namespace

FileRelayExtractor::FileRelayExtractor(ProgressReporter& progress, QByteArray& buffer)
    : m_progress(progress)
    , m_buffer(buffer)
{
}

FileRelayExtractor::~FileRelayExtractor()
{
    if (m_reader)
        archive_read_free(m_reader);
}

QString FileRelayExtractor::cleanName(const QString& name)
{
    static const QRegularExpression leadingDot(QStringLiteral("^\\./"));
    static const QRegularExpression unsafeChars(QStringLiteral("[\\\\:*?\"<>|\\n\\r\\t]"));
    static const QRegularExpression leadingSlashes(QStringLiteral("^/+"));
    QString clean = name;
    clean.remove(leadingDot);
    clean.remove(unsafeChars);
    clean.remove(leadingSlashes);
    return clean;
}

void FileRelayExtractor::extract(const QString& archivePath, const QDir& target)
{
    g_mkPrivatePath(target.absolutePath());
    m_reader = archive_read_new();
    if (!m_reader)
        fail(QStringLiteral("open %1(%2) error.").arg(archivePath, QString::number(ARCHIVE_FATAL)));
    archive_read_support_filter_all(m_reader);
    archive_read_support_format_all(m_reader);
    const int opened = archive_read_open_filename(m_reader, QFile::encodeName(archivePath).constData(), kReadBlockBytes);
    if (opened != ARCHIVE_OK)
        fail(QStringLiteral("open %1(%2) error.").arg(archivePath, QString::number(opened)));
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(m_reader, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r == ARCHIVE_WARN)
            qWarning("%s: %s", qUtf8Printable(archivePath), archive_error_string(m_reader));
        else if (r != ARCHIVE_OK)
            failRead(QStringLiteral("read %1 error. %2"), archivePath);
        m_progress.throwIfCancelled();
        extractEntry(entry, target);
    }
}

void FileRelayExtractor::extractEntry(archive_entry* entry, const QDir& target)
{
    const char* raw = archive_entry_pathname(entry);
    const QString name = cleanName(QString::fromUtf8(raw ? raw : ""));
    if (name.isEmpty())
        return;
    m_progress.reportProgress(QStringLiteral("Extracting %1").arg(QFileInfo(name).fileName()), -1, QString());
    const QString path = pathInside(target, name);
    if (path.isEmpty())
        return;
    switch (archive_entry_filetype(entry)) {
    case AE_IFDIR:
        g_mkPrivatePath(path);
        break;
    case AE_IFREG:
        extractFile(entry, path);
        break;
    default: // links, devices, FIFOs and sockets are not wanted
        break;
    }
}

void FileRelayExtractor::extractFile(archive_entry* entry, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !g_makePrivate(file))
        fail(QStringLiteral("create %1 error. %2").arg(path, file.errorString()));
    const qint64 size = archive_entry_size(entry);
    qint64 written = 0;
    for (;;) {
        m_progress.throwIfCancelled();
        m_progress.reportProgress(QString(), -1,
                                  QStringLiteral("Extracted: %1KB / %2KB").arg(kilobytes(written), kilobytes(size)));
        const la_ssize_t n = archive_read_data(m_reader, m_buffer.data(), size_t(m_buffer.size()));
        if (n == 0)
            break;
        if (n < 0)
            failRead(QStringLiteral("extract %1 error. %2"), path);
        if (file.write(m_buffer.constData(), n) != n)
            fail(QStringLiteral("write %1 error. %2").arg(path, file.errorString()));
        written += n;
    }
    if (!file.commit())
        fail(QStringLiteral("write %1 error. %2").arg(path, file.errorString()));
    utimbuf times{archive_entry_atime(entry), archive_entry_mtime(entry)};
    utime(QFile::encodeName(path).constData(), &times);
}

void FileRelayExtractor::failRead(const QString& pattern, const QString& path)
{
    const char* reason = archive_error_string(m_reader);
    fail(pattern.arg(path, reason ? QString::fromUtf8(reason) : QStringLiteral("The archive is damaged or cut short.")));
}
