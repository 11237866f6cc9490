#include "keybagfixture.h"

#include <QtEndian>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace {

QByteArray pbkdf2(const EVP_MD* md, const QByteArray& secret, const QByteArray& salt, quint32 rounds)
{
    QByteArray out(32, '\0');
    PKCS5_PBKDF2_HMAC(secret.constData(), secret.size(),
                      reinterpret_cast<const unsigned char*>(salt.constData()), salt.size(),
                      int(rounds), md, 32, reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

QByteArray runCipher(const EVP_CIPHER* cipher, bool encrypt, const QByteArray& key,
                     const QByteArray& input, bool wrapMode)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (wrapMode)
        EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    QByteArray out(input.size() + 32, '\0');
    int len = 0;
    int fin = 0;
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    const unsigned char iv[16] = {};
    const bool ok = EVP_CipherInit_ex(ctx, cipher, nullptr,
                                      reinterpret_cast<const unsigned char*>(key.constData()),
                                      wrapMode ? nullptr : iv, encrypt ? 1 : 0) == 1
        && EVP_CipherUpdate(ctx, dst, &len, reinterpret_cast<const unsigned char*>(input.constData()),
                            input.size()) == 1
        && EVP_CipherFinal_ex(ctx, dst + len, &fin) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        throw std::runtime_error("KeybagFixture: cipher failed");
    out.truncate(len + fin);
    return out;
}

} // namespace

KeybagFixture::KeybagFixture(const QString& password, quint32 iterations, quint32 dpIterations)
    : m_password(password)
    , m_iterations(iterations)
    , m_dpIterations(dpIterations)
    , m_salt(randomBytes(20))
    , m_dpSalt(randomBytes(20))
{
}

QByteArray KeybagFixture::addClass(int number, quint32 wrap)
{
    const QByteArray key = randomBytes(32);
    m_classes.append({number, wrap, key});
    return key;
}

QByteArray KeybagFixture::classKey(int number) const
{
    for (const Class& c : m_classes)
        if (c.number == number)
            return c.key;
    return QByteArray();
}

QByteArray KeybagFixture::bytes() const
{
    QByteArray out;
    out += record("VERS", uint32(3));
    out += record("TYPE", uint32(1));
    out += record("UUID", randomBytes(16));
    out += record("HMCK", randomBytes(40));
    out += record("WRAP", uint32(2));
    out += record("SALT", m_salt);
    out += record("ITER", uint32(m_iterations));
    if (m_dpIterations > 0) {
        out += record("DPWT", uint32(1));
        out += record("DPIC", uint32(m_dpIterations));
        out += record("DPSL", m_dpSalt);
    }
    const QByteArray kek = passwordKey();
    for (const Class& c : m_classes) {
        out += record("UUID", randomBytes(16));
        out += record("CLAS", uint32(quint32(c.number)));
        out += record("WRAP", uint32(c.wrap));
        out += record("KTYP", uint32(0));
        out += record("WPKY", (c.wrap & 2) ? wrap(kek, c.key) : c.key + randomBytes(8));
    }
    return out;
}

QByteArray KeybagFixture::wrappedKeyForClass(int number, const QByteArray& key) const
{
    QByteArray prefix(4, '\0');
    qToLittleEndian<quint32>(quint32(number), prefix.data());
    return prefix + wrap(classKey(number), key);
}

QByteArray KeybagFixture::passwordKey() const
{
    QByteArray secret = m_password.toUtf8();
    if (m_dpIterations > 0)
        secret = pbkdf2(EVP_sha256(), secret, m_dpSalt, m_dpIterations);
    return pbkdf2(EVP_sha1(), secret, m_salt, m_iterations);
}

QByteArray KeybagFixture::randomBytes(int count)
{
    QByteArray out(count, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), count);
    return out;
}

QByteArray KeybagFixture::record(const char* tag, const QByteArray& value)
{
    return QByteArray(tag, 4) + uint32(quint32(value.size())) + value;
}

QByteArray KeybagFixture::uint32(quint32 value)
{
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(value, out.data());
    return out;
}

QByteArray KeybagFixture::wrap(const QByteArray& kek, const QByteArray& key)
{
    return runCipher(EVP_aes_256_wrap(), true, kek, key, true);
}

QByteArray KeybagFixture::encrypt(const QByteArray& key, const QByteArray& plain)
{
    return runCipher(EVP_aes_256_cbc(), true, key, plain, false);
}

QByteArray KeybagFixture::decrypt(const QByteArray& key, const QByteArray& stored)
{
    return runCipher(EVP_aes_256_cbc(), false, key, stored, false);
}
