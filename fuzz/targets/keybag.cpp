// The keybag of an encrypted backup: parsed, unlocked with the password "pw"
// (the iteration counts it names are cut to at most 16, so that an input
// costs no more than a few hashes) and a key unwrapped with every class.
#include "fuzzsupport.h"

#include "keybag.h"

#include <QtEndian>

namespace {

void capIterations(QMap<QString, QByteArray>& attributes, const QString& tag)
{
    auto it = attributes.find(tag);
    if (it == attributes.end() || it->size() < 4)
        return;
    const quint32 count = qMin<quint32>(qFromBigEndian<quint32>(it->constData()), 16);
    QByteArray capped(4, '\0');
    qToBigEndian(count, capped.data());
    it->replace(0, 4, capped);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::init();
    const QByteArray bytes = fuzz::bytes(data, size);
    _KeybagInfo keybag = parseKeybag(bytes);
    (void)keybag.hasDoubleProtection();
    capIterations(keybag.attributes, QStringLiteral("ITER"));
    capIterations(keybag.attributes, QStringLiteral("DPIC"));
    (void)unlockWithPasscode("pw", keybag);
    (void)keybag.hasClassKey();
    const QByteArray wrapped = bytes.right(40);
    for (auto it = keybag.classKeys.cbegin(); it != keybag.classKeys.cend(); ++it)
        (void)unwrapKeyForClass(keybag, it.key(), wrapped);
    return 0;
}
