// Builds the keybag of an encrypted test backup, and encrypts and wraps keys
// the way a device does. Written straight on the crypto library, apart from
// the application's own crypto code, so that each checks the other.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class KeybagFixture
{
public:
    struct Class
    {
        int number;
        quint32 wrap;    // bit 2: wrapped by the password key
        QByteArray key;  // the 32-byte class key
    };

    // Small iteration counts keep tests fast; dpIterations > 0 adds the
    // "DPSL"/"DPIC" step (and so an encrypted Manifest.db).
    KeybagFixture(const QString& password, quint32 iterations = 10, quint32 dpIterations = 0);

    // Adds a class with a random key; returns the key.
    QByteArray addClass(int number, quint32 wrap = 3);
    const QList<Class>& classes() const { return m_classes; }
    QByteArray classKey(int number) const;
    bool hasDoubleProtection() const { return m_dpIterations > 0; }
    // The keybag bytes: header records, then one record group per class.
    QByteArray bytes() const;

    // A 4-byte class prefix and the 40-byte wrapped key, as stored in an
    // index record or as the manifest key.
    QByteArray wrappedKeyForClass(int number, const QByteArray& key) const;

    static QByteArray randomBytes(int count);
    static QByteArray record(const char* tag, const QByteArray& value);
    static QByteArray uint32(quint32 value);
    static QByteArray wrap(const QByteArray& kek, const QByteArray& key);
    // AES-256-CBC, zero initial value, PKCS#7 padding.
    static QByteArray encrypt(const QByteArray& key, const QByteArray& plain);
    static QByteArray decrypt(const QByteArray& key, const QByteArray& stored);

private:
    QByteArray passwordKey() const;

    QString m_password;
    quint32 m_iterations;
    quint32 m_dpIterations;
    QByteArray m_salt;
    QByteArray m_dpSalt;
    QList<Class> m_classes;
};
