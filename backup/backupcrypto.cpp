#include "backupcrypto.h"

// SHA1_Init and its siblings are kept by OpenSSL 3 though marked as old.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>

namespace {

const int kKeySize = 32;
const int kBlock = 16;

const EVP_CIPHER* cbcCipher(qsizetype keySize)
{
    switch (keySize) {
    case 16: return EVP_aes_128_cbc();
    case 24: return EVP_aes_192_cbc();
    case 32: return EVP_aes_256_cbc();
    default: return nullptr;
    }
}

// Keys a CBC context without padding; both the one-shot and the streaming
// cipher start here.
bool initCbc(EVP_CIPHER_CTX* ctx, bool encrypt, const QByteArray& key, qsizetype keySize, const char* iv)
{
    static const unsigned char zeroIv[kBlock] = {};
    const EVP_CIPHER* cipher = cbcCipher(keySize);
    if (!ctx || !cipher || key.size() < keySize)
        return false;
    const auto* ivBytes = iv ? reinterpret_cast<const unsigned char*>(iv) : zeroIv;
    return EVP_CipherInit_ex(ctx, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
                             ivBytes, encrypt ? 1 : 0) == 1
        && EVP_CIPHER_CTX_set_padding(ctx, 0) == 1;
}

QByteArray pbkdf2(const EVP_MD* md, const QByteArray& password, const QByteArray& salt,
                  quint32 iterations, int keyLength)
{
    if (iterations == 0 || iterations > 0x7fffffffu || keyLength <= 0)
        return QByteArray();
    QByteArray out(keyLength, '\0');
    const int ok = PKCS5_PBKDF2_HMAC(password.constData(), password.size(),
                                     reinterpret_cast<const unsigned char*>(salt.constData()),
                                     salt.size(), int(iterations), md, keyLength,
                                     reinterpret_cast<unsigned char*>(out.data()));
    return ok == 1 ? out : QByteArray();
}

// Runs the RFC 3394 wrap cipher once over the whole input.
QByteArray keyWrapCipher(bool encrypt, const QByteArray& kek, const QByteArray& input, int outLength)
{
    if (kek.size() < kKeySize || outLength <= 0)
        return QByteArray();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx)
        return QByteArray();
    EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    // The wrap cipher may write a block more than the result before it checks.
    QByteArray out(outLength + kBlock, '\0');
    int len = 0;
    int finalLen = 0;
    const auto* key = reinterpret_cast<const unsigned char*>(kek.constData());
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    const bool ok = EVP_CipherInit_ex(ctx, EVP_aes_256_wrap(), nullptr, key, nullptr, encrypt ? 1 : 0) == 1
        && EVP_CipherUpdate(ctx, dst, &len, reinterpret_cast<const unsigned char*>(input.constData()),
                            input.size()) == 1
        && EVP_CipherFinal_ex(ctx, dst + len, &finalLen) == 1
        && len + finalLen == outLength;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return QByteArray();
    out.truncate(outLength);
    return out;
}

} // namespace

QByteArray pbkdf2HmacSha256(const QByteArray& password, const QByteArray& salt,
                            quint32 iterations, int keyLength)
{
    return pbkdf2(EVP_sha256(), password, salt, iterations, keyLength);
}

QByteArray pbkdf2HmacSha1(const QByteArray& password, const QByteArray& salt,
                          quint32 iterations, int keyLength)
{
    return pbkdf2(EVP_sha1(), password, salt, iterations, keyLength);
}

QByteArray aes_key_unwrap(const QByteArray& kek, const QByteArray& wrapped)
{
    const int blocks = wrapped.size() / 8;
    if (blocks < 2)
        return QByteArray();
    return keyWrapCipher(false, kek, wrapped.left(blocks * 8), (blocks - 1) * 8);
}

QByteArray aes_key_wrap(const QByteArray& kek, const QByteArray& key)
{
    if (key.size() < 16 || key.size() % 8 != 0)
        return QByteArray();
    return keyWrapCipher(true, kek, key, key.size() + 8);
}

AesContext::AesContext()
    : m_ctx(EVP_CIPHER_CTX_new())
{
}

AesContext::~AesContext()
{
    EVP_CIPHER_CTX_free(m_ctx);
}

bool AesContext::init(bool encrypt, const QByteArray& key, const char* iv)
{
    return initCbc(m_ctx, encrypt, key, kKeySize, iv);
}

bool AesContext::update(const char* in, int length, char* out)
{
    if (length < 0 || length % kBlock != 0)
        return false;
    if (length == 0)
        return true;
    int written = 0;
    return EVP_CipherUpdate(m_ctx, reinterpret_cast<unsigned char*>(out), &written,
                            reinterpret_cast<const unsigned char*>(in), length) == 1
        && written == length;
}

namespace BackupCrypto {

QByteArray sha1(const QByteArray& data)
{
    QByteArray digest(SHA_DIGEST_LENGTH, '\0');
    SHA1(reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()),
         reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

void sha1Digest(std::initializer_list<QByteArrayView> parts, quint8* out)
{
    // The digest's own functions, not the EVP interface: a million short
    // names are hashed when a backup's index is read, and starting and
    // finishing an EVP digest costs more than hashing a name of a hundred
    // bytes.
    SHA_CTX state;
    SHA1_Init(&state);
    for (QByteArrayView part : parts)
        if (!part.isEmpty())
            SHA1_Update(&state, part.data(), size_t(part.size()));
    SHA1_Final(out, &state);
}

void sha1Hex(std::initializer_list<QByteArrayView> parts, char16_t* out)
{
    quint8 digest[SHA_DIGEST_LENGTH];
    sha1Digest(parts, digest);
    static const char kHex[] = "0123456789abcdef";
    for (quint8 byte : digest) {
        *out++ = char16_t(kHex[byte >> 4]);
        *out++ = char16_t(kHex[byte & 0x0f]);
    }
}

QString sha1Hex(std::initializer_list<QByteArrayView> parts)
{
    QString hex(2 * SHA_DIGEST_LENGTH, Qt::Uninitialized);
    sha1Hex(parts, reinterpret_cast<char16_t*>(hex.data()));
    return hex;
}

bool aesCbc(bool encrypt, const QByteArray& key, const QByteArray& iv, const QByteArray& in, QByteArray& out)
{
    if (iv.size() != kBlock || in.size() % kBlock != 0 || in.size() > 0x7FFFFFF0)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!initCbc(ctx.get(), encrypt, key, key.size(), iv.constData()))
        return false;
    out.resize(in.size());
    int written = 0;
    int tail = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(ctx.get(), o, &written, reinterpret_cast<const unsigned char*>(in.constData()),
                         int(in.size())) != 1
        || EVP_CipherFinal_ex(ctx.get(), o + written, &tail) != 1)
        return false;
    out.resize(written + tail);
    return out.size() == in.size();
}

QByteArray randomBytes(int count)
{
    if (count <= 0)
        return QByteArray();
    QByteArray out(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), count) != 1)
        return QByteArray();
    return out;
}

} // namespace BackupCrypto
