#include "backupcrypto.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <memory>

namespace BackupCrypto {

QByteArray sha1(const QByteArray& data)
{
    QByteArray digest(SHA_DIGEST_LENGTH, '\0');
    SHA1(reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()),
         reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

namespace {
const EVP_CIPHER* cbcCipher(qsizetype keySize)
{
    switch (keySize) {
    case 16: return EVP_aes_128_cbc();
    case 24: return EVP_aes_192_cbc();
    case 32: return EVP_aes_256_cbc();
    default: return nullptr;
    }
}
} // namespace

bool aesCbc(bool encrypt, const QByteArray& key, const QByteArray& iv, const QByteArray& in, QByteArray& out)
{
    const EVP_CIPHER* cipher = cbcCipher(key.size());
    if (!cipher || iv.size() != 16 || in.size() % 16 != 0 || in.size() > 0x7FFFFFF0)
        return false;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!ctx)
        return false;
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* v = reinterpret_cast<const unsigned char*>(iv.constData());
    if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, k, v, encrypt ? 1 : 0) != 1
        || EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
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

} // namespace BackupCrypto
