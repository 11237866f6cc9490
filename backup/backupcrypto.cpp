#include "backupcrypto.h"

#include <openssl/evp.h>

namespace {

const int kKeySize = 32;
const int kBlock = 16;

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
    static const unsigned char zeroIv[kBlock] = {};
    if (!m_ctx || key.size() < kKeySize)
        return false;
    const auto* ivBytes = iv ? reinterpret_cast<const unsigned char*>(iv) : zeroIv;
    if (EVP_CipherInit_ex(m_ctx, EVP_aes_256_cbc(), nullptr,
                          reinterpret_cast<const unsigned char*>(key.constData()), ivBytes,
                          encrypt ? 1 : 0) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(m_ctx, 0);
    return true;
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
