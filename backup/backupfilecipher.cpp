#include "backupfilecipher.h"

#include "backupcrypto.h"
#include "privatemode.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace {

// Files are read and written in large chunks through one buffer, processed
// in place: a system call and a copy per 8 KiB would cost several times the
// cipher itself. Progress is still reported every 8 KiB.
const qint64 kChunk = 1 << 20;
const qint64 kProgressStep = 8192;
const int kBlock = 16;
const int kSmallestPage = 512;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().constData());
}

QString trManifest(const char* text)
{
    return QCoreApplication::translate("BackupManifest", text);
}

void openSource(QFile& file)
{
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fail(trManifest("can not open %1. %2").arg(file.fileName(), file.errorString()));
}

// The temporary file replaces the target by a rename, so only a regular file
// (or nothing) may stand at the target's path.
void openTarget(QSaveFile& file, bool createFolder)
{
    const QFileInfo info(file.fileName());
    if (createFolder)
        g_mkPrivatePath(info.absolutePath());
    if (info.exists() && !info.isFile())
        fail(trManifest("can not create %1. %2").arg(file.fileName(), QStringLiteral("Not a regular file")));
    // Whole chunks go straight to the file, never through a write buffer.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !g_makePrivate(file))
        fail(trManifest("can not create %1. %2").arg(file.fileName(), file.errorString()));
}

void write(QSaveFile& target, const char* data, qint64 length)
{
    if (length > 0 && target.write(data, length) != length)
        fail(trManifest("can not write %1. %2").arg(target.fileName(), target.errorString()));
}

void commit(QSaveFile& target)
{
    if (!target.commit())
        fail(trManifest("can not write %1. %2").arg(target.fileName(), target.errorString()));
}

// Reads the next chunk; the chunk never reaches past the size noted at the
// start, so a file that grows meanwhile cannot keep the loop going.
qint64 readChunk(QFile& source, char* buffer, qint64 done, qint64 size)
{
    return source.read(buffer, qMin<qint64>(kChunk, size - done));
}

// Reports the bytes from `start` to `done` in the steps of 8 KiB that
// progress has always been reported in, the last one at `done`.
void reportSteps(BackupProgressCallback callback, void* context, qint64 size, qint64 start, qint64 done)
{
    for (qint64 at = start + kProgressStep; at < done; at += kProgressStep)
        callback(size, at, context);
    callback(size, done, context);
}

} // namespace

namespace {

// The chunk loop of decryption and copy: `process` turns each chunk, in
// place, into the bytes to write and returns their count; the last chunk is
// flagged. The target replaces what stood at its path only when whole.
template <typename Process>
void transformFile(const QString& sourcePath, const QString& targetPath, const char* stallError,
                   void* context, BackupProgressCallback callback, Process process)
{
    QFile source(sourcePath);
    openSource(source);
    QSaveFile target(targetPath);
    openTarget(target, true);
    const qint64 size = source.size();

    QByteArray buffer(qMin(kChunk, size), Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const qint64 rd = readChunk(source, buffer.data(), done, size);
        if (rd <= 0)
            fail(QString::fromLatin1(stallError));
        const qint64 start = done;
        done += rd;
        write(target, buffer.constData(), process(buffer.data(), rd, done == size));
        if (callback)
            reportSteps(callback, context, size, start, done);
    }
    commit(target);
}

} // namespace

namespace {

// The number of valid PKCS#7 padding bytes at the end of `bytes`, or 0.
int validPadding(const char* bytes, qint64 length)
{
    const int padding = static_cast<unsigned char>(bytes[length - 1]);
    if (padding < 1 || padding > kBlock || padding > length)
        return 0;
    for (int i = 1; i <= padding; ++i)
        if (static_cast<unsigned char>(bytes[length - i]) != padding)
            return 0;
    return padding;
}

} // namespace

void backupDecryptFileThrow(const QByteArray& key, const QString& sourcePath, const QString& targetPath,
                            void* context, BackupProgressCallback callback, BackupPadding paddingRule)
{
    const QString name = QFileInfo(sourcePath).fileName();
    AesContext aes;
    if (!aes.init(false, key))
        fail(QStringLiteral("%1, POLARSSL_ERR_AES_INVALID_KEY_LENGTH.").arg(name));
    const bool wholePages = QFileInfo(sourcePath).size() % kSmallestPage == 0;
    transformFile(sourcePath, targetPath, "BackupManifest::decryptFile, imcomplete IO read (rd=0).", context,
                  callback, [&](char* buffer, qint64 rd, bool last) {
                      if (!aes.update(buffer, int(rd), buffer))
                          fail(QStringLiteral("%1, POLARSSL_ERR_AES_INVALID_INPUT_LENGTH (rd%16 != 0).").arg(name));
                      if (!last)
                          return rd;
                      if (paddingRule == BackupPadding::IfPresent)
                          return wholePages ? rd : rd - validPadding(buffer, rd);
                      const int padding = static_cast<unsigned char>(buffer[rd - 1]);
                      if (padding < 1 || padding > kBlock)
                          fail(QStringLiteral("BackupManifest::decryptFile, last byte must GT 0 and LET 16"));
                      return rd - padding;
                  });
}

void backupCopyFileThrow(const QString& sourcePath, const QString& targetPath,
                         void* context, BackupProgressCallback callback)
{
    transformFile(sourcePath, targetPath, "BackupManifest::copyItemThrow, imcomplete IO read.", context, callback,
                  [](char*, qint64 rd, bool) { return rd; });
}

void backupEncryptFileThrow(const QString& sourcePath, const QString& targetPath, const QByteArray& key)
{
    if (key.isEmpty()) {
        QFile source(sourcePath);
        if (!source.copy(targetPath) || !g_makePrivate(targetPath))
            fail(trManifest("can not write %1. %2").arg(targetPath, source.errorString()));
        return;
    }
    QFile source(sourcePath);
    openSource(source);
    QSaveFile target(targetPath);
    openTarget(target, false);
    const qint64 size = source.size();

    AesContext aes;
    if (!aes.init(true, key))
        fail(QStringLiteral("%1, POLARSSL_ERR_AES_INVALID_KEY_LENGTH.").arg(sourcePath));
    QByteArray buffer(qMin(kChunk, size) + kBlock, Qt::Uninitialized);
    qint64 done = 0;
    // An empty file still gets its block of padding, so the loop runs once.
    do {
        qint64 rd = done < size ? readChunk(source, buffer.data(), done, size) : 0;
        // Only the last chunk may end off a block boundary.
        const bool stalled = rd < 0 || (rd == 0 && done < size);
        if (stalled || (done + rd < size && rd % kBlock != 0))
            fail(QStringLiteral("BackupManifest::encryptFileThrow, imcomplete IO read."));
        done += rd;
        if (done == size) {
            const int padding = kBlock - int(rd % kBlock);
            memset(buffer.data() + rd, padding, size_t(padding));
            rd += padding;
        }
        if (!aes.update(buffer.constData(), int(rd), buffer.data()))
            fail(QStringLiteral("%1, POLARSSL_ERR_AES_INVALID_INPUT_LENGTH.").arg(sourcePath));
        write(target, buffer.constData(), rd);
    } while (done < size);
    commit(target);
}
