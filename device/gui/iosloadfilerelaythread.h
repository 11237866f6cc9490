// The worker that downloads a device's user databases through the
// file_relay service into its cache folder: the archive is received into
// "file-relay.cpio" there, unpacked below "file-relay" and removed. It runs
// behind a progress dialog, which it drives and whose cancel flag it reads.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QThread>

class IOSDevice;
class ProgressForm;

class IOSLoadFileRelayThread : public QThread
{
    Q_OBJECT
public:
    // Both are the caller's and outlive the worker.
    IOSLoadFileRelayThread(const IOSDevice& device, ProgressForm& progress, QObject* parent = nullptr);
    ~IOSLoadFileRelayThread() override;

protected:
    void run() override;

private:
    void download(unsigned int& socket, const QDir& cache);
    // Writes the stream into the archive file until the device closes it or
    // it stalls; throws -1 on cancel.
    void receiveArchive(unsigned int socket, const QString& archivePath, QByteArray& buffer);

    const IOSDevice& device;
    ProgressForm& progress;
};
