#include "keybag.h"

#include "backupcrypto.h"
#include "byterange.h"

#include <QStringList>
#include <QtEndian>

#include <stdexcept>

// Keybag format: records one after another up to the end of the data, no header.
//
//   OFFSET  SIZE    MEANING
//   0       4       tag, four ASCII characters
//   4       4       length of the value, unsigned big-endian
//   8       length  value
//
// Numbers inside values ("CLAS", "WRAP", "ITER", "DPIC") are unsigned 32-bit
// big-endian in the value's first four bytes. The first "UUID" and "WRAP" are
// the keybag's own; every later "UUID" opens a class, whose tags are those of
// isClassTag; any other tag belongs to the keybag.

namespace {

const int kRecordHeader = 8;
const int kKeyLength = 32;
const int kWrappedKeyLength = 40;
const quint32 kWrapPasscode = 2;
// Phones use about ten million rounds; a count far above that would keep the
// unlock, which cannot be cancelled, busy for hours.
const quint32 kMaxIterations = 100000000;

// The tags of a class record, matched whole.
bool isClassTag(const QString& tag)
{
    static const QStringList tags = {QStringLiteral("CLAS"), QStringLiteral("WRAP"), QStringLiteral("WPKY"),
                                     QStringLiteral("KTYP"), QStringLiteral("PBKY")};
    return tags.contains(tag);
}

bool readUInt32(const QByteArray& value, quint32* out)
{
    if (value.size() < 4)
        return false;
    *out = qFromBigEndian<quint32>(value.constData());
    return true;
}

// The count of the keybag's tag `tag`, or false when it is missing or short;
// throws for a count beyond kMaxIterations.
bool readIterations(const _KeybagInfo& keybag, const char* tag, quint32* out)
{
    if (!readUInt32(keybag.attributes.value(QLatin1String(tag)), out))
        return false;
    if (*out > kMaxIterations)
        throw std::runtime_error(QStringLiteral("The backup's keybag asks for %1 rounds of %2, more than the %3 "
                                                "that any phone uses: the keybag is damaged.")
                                     .arg(*out)
                                     .arg(QLatin1String(tag))
                                     .arg(kMaxIterations)
                                     .toStdString());
    return true;
}

void storeClass(_KeybagInfo& info, const QMap<QString, QByteArray>& current)
{
    _KeybagPros pros;
    pros.tags = current;
    info.classKeys.insert(int(pros.getInt32(QStringLiteral("CLAS"))), pros);
}

// The 32-byte password key; empty when a count the derivation needs is missing.
QByteArray passwordKey(const QByteArray& passcode, const _KeybagInfo& keybag)
{
    const QMap<QString, QByteArray>& attrs = keybag.attributes;
    quint32 iterations = 0;
    if (!readIterations(keybag, "ITER", &iterations))
        return QByteArray();
    QByteArray secret = passcode;
    if (keybag.hasDoubleProtection()) {
        quint32 dpIterations = 0;
        if (!readIterations(keybag, "DPIC", &dpIterations))
            return QByteArray();
        secret = pbkdf2HmacSha256(passcode, attrs.value(QStringLiteral("DPSL")), dpIterations, kKeyLength);
        if (secret.isEmpty())
            return QByteArray();
    }
    return pbkdf2HmacSha1(secret, attrs.value(QStringLiteral("SALT")), iterations, kKeyLength);
}

bool wrappedByPasscode(const _KeybagPros& pros)
{
    return pros.tags.contains(QStringLiteral("WPKY")) && pros.tags.contains(QStringLiteral("WRAP"))
        && (pros.getInt32(QStringLiteral("WRAP")) & kWrapPasscode) != 0;
}

} // namespace

quint32 _KeybagPros::getInt32(const QString& tag) const
{
    quint32 value = 0;
    readUInt32(tags.value(tag), &value);
    return value;
}

bool _KeybagInfo::hasClassKey() const
{
    for (const _KeybagPros& pros : classKeys)
        if (pros.tags.contains(QStringLiteral("KEY")))
            return true;
    return false;
}

bool _KeybagInfo::hasDoubleProtection() const
{
    return attributes.contains(QStringLiteral("DPIC")) && attributes.contains(QStringLiteral("DPSL"));
}

_KeybagInfo parseKeybag(const QByteArray& data)
{
    _KeybagInfo info;
    QMap<QString, QByteArray> current;
    qsizetype offset = 0;
    while (offset < data.size()) {
        if (!g_fitsIn(quint64(offset), kRecordHeader, quint64(data.size())))
            break;
        const QString tag = QString::fromLatin1(data.constData() + offset, 4);
        const quint32 length = qFromBigEndian<quint32>(data.constData() + offset + 4);
        offset += kRecordHeader;
        if (!g_fitsIn(quint64(offset), length, quint64(data.size())))
            break;
        const QByteArray value = data.mid(offset, qsizetype(length));
        offset += qsizetype(length);

        const bool isUuid = tag == QLatin1String("UUID");
        if (isUuid && !info.attributes.contains(tag)) {
            info.attributes.insert(tag, value);
        } else if (tag == QLatin1String("WRAP") && !info.attributes.contains(tag)) {
            info.attributes.insert(tag, value);
        } else if (!isUuid) {
            if (isClassTag(tag))
                current.insert(tag, value);
            else
                info.attributes.insert(tag, value);
        } else {
            if (current.contains(QStringLiteral("CLAS")))
                storeClass(info, current);
            current.clear();
            current.insert(tag, value);
        }
        if (current.contains(QStringLiteral("CLAS")))
            storeClass(info, current);
    }
    return info;
}

bool unlockWithPasscode(const QByteArray& passcode, _KeybagInfo& keybag)
{
    QList<int> toUnwrap;
    for (auto it = keybag.classKeys.cbegin(); it != keybag.classKeys.cend(); ++it)
        if (wrappedByPasscode(it.value()))
            toUnwrap.append(it.key());
    if (toUnwrap.isEmpty())
        return true;

    const QByteArray key = passwordKey(passcode, keybag);
    if (key.isEmpty())
        return false;
    for (int classNumber : toUnwrap) {
        _KeybagPros& pros = keybag.classKeys[classNumber];
        const QByteArray classKey = aes_key_unwrap(key, pros.tags.value(QStringLiteral("WPKY")));
        if (classKey.isEmpty())
            return false;
        pros.tags.insert(QStringLiteral("KEY"), classKey);
    }
    return true;
}

QByteArray unwrapKeyForClass(const _KeybagInfo& keybag, int classNumber, const QByteArray& wrapped)
{
    if (wrapped.size() != kWrappedKeyLength)
        return QByteArray();
    const auto it = keybag.classKeys.constFind(classNumber);
    if (it == keybag.classKeys.cend())
        return QByteArray();
    const QByteArray classKey = it->tags.value(QStringLiteral("KEY"));
    if (classKey.isEmpty())
        return QByteArray();
    return aes_key_unwrap(classKey, wrapped);
}
