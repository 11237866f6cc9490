// Every call of the backup code into the crypto library lives here, so the
// engine can be exchanged in one place: SHA-1 for stored names and the index
// cipher, PBKDF2 for the keybag, RFC 3394 key wrapping for class and file
// keys, random file keys, and AES-CBC for the index cipher and the contents
// of stored files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <initializer_list>

namespace BackupCrypto {

QByteArray sha1(const QByteArray& data);
// The lower-case hex SHA-1 of the parts one after the other: for hashing a
// million short texts, with the digest's state made once per thread.
QString sha1Hex(std::initializer_list<QByteArrayView> parts);
// The same written to `out`, 40 characters.
void sha1Hex(std::initializer_list<QByteArrayView> parts, char16_t* out);
// The raw 20 bytes of the same digest, written to `out`.
void sha1Digest(std::initializer_list<QByteArrayView> parts, quint8* out);

// AES in CBC mode over whole 16-byte blocks, without any padding; the key is
// 16, 24 or 32 bytes, the vector 16. False when the engine refuses (a key of
// another size, input that is not whole blocks); `out` is then unspecified.
bool aesCbc(bool encrypt, const QByteArray& key, const QByteArray& iv, const QByteArray& in, QByteArray& out);

// `count` bytes from the engine's cryptographically secure generator; empty
// when it cannot give them.
QByteArray randomBytes(int count);

} // namespace BackupCrypto

// PBKDF2 with HMAC-SHA256 / HMAC-SHA1; empty on failure or a zero count.
QByteArray pbkdf2HmacSha256(const QByteArray& password, const QByteArray& salt,
                            quint32 iterations, int keyLength);
QByteArray pbkdf2HmacSha1(const QByteArray& password, const QByteArray& salt,
                          quint32 iterations, int keyLength);

// RFC 3394 key unwrap with the default initial value and the first 32 bytes of
// the key-encryption key. Only whole 8-byte blocks of the input count; an
// input of fewer than two blocks, a short key or a failed integrity check
// gives an empty result.
QByteArray aes_key_unwrap(const QByteArray& kek, const QByteArray& wrapped);
// The inverse: wraps a key whose length is a multiple of 8 (at least 16).
QByteArray aes_key_wrap(const QByteArray& kek, const QByteArray& key);

// One AES-256-CBC stream without padding: the chaining value carries over from
// one call to the next, so a file can be processed chunk by chunk.
class AesContext
{
public:
    AesContext();
    ~AesContext();
    AesContext(const AesContext&) = delete;
    AesContext& operator=(const AesContext&) = delete;

    // Keys the stream with the first 32 bytes of the key and sets the chaining
    // value (16 bytes, zero when null). False for a short key.
    bool init(bool encrypt, const QByteArray& key, const char* iv = nullptr);
    // Processes `length` bytes (a multiple of 16) from in to out, which may be
    // the same buffer. False for any other length.
    bool update(const char* in, int length, char* out);

private:
    struct evp_cipher_ctx_st* m_ctx;
};
