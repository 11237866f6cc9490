// Copying, decrypting and encrypting the stored files of an iTunes backup.
// Files go in chunks of up to 1 MiB through one reused buffer, processed in
// place, and one AES-256-CBC stream (zero initial value, PKCS#7 padding);
// progress is reported every 8192 bytes. Every target is written through a
// temporary file that replaces it only when the whole file was written: a
// failure leaves no half-written file behind.
#pragma once

#include <QByteArray>
#include <QString>

// Called after every 8192 bytes, and after the last byte, with the source's
// size and the bytes read so far.
typedef void (*BackupProgressCallback)(qint64 total, qint64 done, void* context);

// How the end of the plaintext is read. Stored files always end in PKCS#7
// padding. Some tools write an encrypted Manifest.db as whole database pages
// with no padding block after them: its padding is dropped only when every
// padding byte is valid and the file is not whole pages of 512 bytes (the
// smallest database page); otherwise the plaintext is kept whole.
enum class BackupPadding { Required, IfPresent };

// Decrypts a stored file with its 32-byte key; creates the target's folder.
void backupDecryptFileThrow(const QByteArray& key, const QString& source, const QString& target,
                            void* context, BackupProgressCallback callback,
                            BackupPadding padding = BackupPadding::Required);
// Copies a stored file unchanged; creates the target's folder.
void backupCopyFileThrow(const QString& source, const QString& target,
                         void* context, BackupProgressCallback callback);
// Encrypts a file into the stored format; with an empty key copies it
// instead, never over an existing target. The target's folder must exist.
void backupEncryptFileThrow(const QString& source, const QString& target, const QByteArray& key);
