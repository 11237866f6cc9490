// Every call of the backup code into the crypto library lives here, so the
// engine can be exchanged in one place.
#pragma once

#include <QByteArray>

namespace BackupCrypto {

QByteArray sha1(const QByteArray& data);

// AES in CBC mode over whole 16-byte blocks, without any padding; the key is
// 16, 24 or 32 bytes, the vector 16. False when the engine refuses (a key of
// another size, input that is not whole blocks); `out` is then unspecified.
bool aesCbc(bool encrypt, const QByteArray& key, const QByteArray& iv, const QByteArray& in, QByteArray& out);

} // namespace BackupCrypto
