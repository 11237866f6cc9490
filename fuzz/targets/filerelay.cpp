// The file_relay archive (cpio, any compression libarchive knows) unpacked
// into a folder; afterwards nothing may exist outside that folder.
#include "fuzzsupport.h"

#include "filerelayextractor.h"
#include "progressreporter.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

// Aborts when `folder` holds anything but the names given.
void expectOnly(const QString& folder, const QStringList& names)
{
    const QStringList found =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : found) {
        if (!names.contains(name)) {
            std::fprintf(stderr, "written outside the target folder: %s/%s\n", qPrintable(folder), qPrintable(name));
            std::abort();
        }
    }
}

// Nothing shows the progress and nothing cancels.
class QuietProgress : public ProgressReporter
{
public:
    void reportProgress(const QString&, int, const QString&) override {}
    bool isCancelled() const override { return false; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const QString scratch = fuzz::scratchFolder();
    const QString archivePath = scratch + QStringLiteral("/archive");
    {
        QFile file(archivePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    QuietProgress progress;
    QByteArray buffer(64 * 1024, '\0');
    try {
        FileRelayExtractor(progress, buffer).extract(archivePath, QDir(scratch + QStringLiteral("/target")));
    } catch (const std::runtime_error&) {
    }
    expectOnly(fuzz::scratchParent(), {QStringLiteral("scratch")});
    expectOnly(scratch, {QStringLiteral("archive"), QStringLiteral("target")});
    return 0;
}
