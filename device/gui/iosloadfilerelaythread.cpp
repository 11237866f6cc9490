#include "iosloadfilerelaythread.h"

#include "filerelayextractor.h"
#include "iosdevice.h"
#include "mobiledevice_filerelay.h"
#include "mobiledevice_service.h"
#include "privatemode.h"
#include "progressform.h"

#include <QFile>
#include <QLocale>

#include <stdexcept>

namespace {

// One buffer serves the whole run: receiving, then every read of unpacked
// data.
const int kTransferBufferBytes = 524288;
// A stream that sends nothing for this long (twice in a row) has ended.
const int kReceiveWaitMs = 60000;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

} // namespace

IOSLoadFileRelayThread::IOSLoadFileRelayThread(const IOSDevice& device, ProgressForm& progress, QObject* parent)
    : QThread(parent)
    , device(device)
    , progress(progress)
{
}

IOSLoadFileRelayThread::~IOSLoadFileRelayThread() = default;

void IOSLoadFileRelayThread::run()
{
    progress.invokeUpdateProgress(tr("IDS_LOADING_IOS_DATABASES"), 0, QString());
    unsigned int socket = 0;
    try {
        const QString idError = device.udidError();
        if (!idError.isEmpty())
            fail(idError);
        download(socket, device.cacheDir());
    } catch (const Cancelled&) {
        // Cancelled: the dialog has closed already; what arrived stays.
    } catch (const std::exception& e) {
        // A wait that the cancel cut short fails too; the user asked for it.
        if (!progress.cancelled) {
            qWarning("%s", e.what());
            progress.invokeErrorOccurred(QString::fromUtf8(e.what()));
        }
    }
    if (socket != 0)
        mobiledevice_closeservice(socket);
}

void IOSLoadFileRelayThread::download(unsigned int& socket, const QDir& cache)
{
    mobiledevice_filerelay_start(device.device, socket);
    mobiledevice_filerelay(socket, QStringList(QStringLiteral("UserDatabases")), &progress.cancelled);
    g_mkPrivatePath(cache.absolutePath());
    const QString archivePath = cache.absoluteFilePath(QStringLiteral("file-relay.cpio"));
    QByteArray buffer(kTransferBufferBytes, Qt::Uninitialized);
    receiveArchive(socket, archivePath, buffer);
    mobiledevice_closeservice(socket);
    socket = 0;
    FileRelayExtractor(progress, buffer).extract(archivePath, QDir(cache.absoluteFilePath(QStringLiteral("file-relay"))));
    QFile::remove(archivePath);
    progress.invokeSucceed(QString());
}

void IOSLoadFileRelayThread::receiveArchive(unsigned int socket, const QString& archivePath, QByteArray& buffer)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !g_makePrivate(file))
        fail(QStringLiteral("create %1 failed. %2").arg(archivePath, file.errorString()));
    qint64 total = 0;
    for (;;) {
        const int n = mobiledevice_recv_all(socket, buffer.data(), buffer.size(), kReceiveWaitMs, &progress.cancelled);
        progress.throwIfCancelled();
        if (n <= 0)
            break;
        total += n;
        progress.invokeUpdateProgress(QString(), 99, QStringLiteral("Received:%1KB").arg(QLocale().toString(total / 1024)));
        if (file.write(buffer.constData(), n) != n)
            fail(QStringLiteral("write %1 failed. %2").arg(archivePath, file.errorString()));
    }
    if (!file.flush())
        fail(QStringLiteral("write %1 failed. %2").arg(archivePath, file.errorString()));
}
