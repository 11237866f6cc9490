#include "encryptedbackupfixture.h"

#include <QFile>

#include <functional>

#include <stdexcept>

namespace {

void rewrite(const QString& path, const std::function<QByteArray(const QByteArray&)>& change)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("EncryptedBackupFixture: cannot read " + path.toStdString());
    const QByteArray changed = change(file.readAll());
    file.close();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(changed) != changed.size())
        throw std::runtime_error("EncryptedBackupFixture: cannot write " + path.toStdString());
}

} // namespace

QByteArray EncryptedBackupFixture::write(BackupFixture& backup, const KeybagFixture& keybag,
                                         BackupFixtureManifest manifest, bool manifestDbPadding)
{
    for (BackupFixtureRecord& record : backup.records) {
        if (record.isFolder())
            continue;
        const QByteArray key = KeybagFixture::randomBytes(32);
        record.size = record.storedSize();
        record.protectionClass = kFileClass;
        record.encryptionKey = keybag.wrappedKeyForClass(kFileClass, key);
        record.contents = KeybagFixture::encrypt(key, record.contents);
    }
    backup.write();

    QByteArray manifestKey;
    const bool encryptedIndex = backup.generation() == BackupFixture::Generation::ManifestDb
        && keybag.hasDoubleProtection();
    if (encryptedIndex) {
        manifestKey = KeybagFixture::randomBytes(32);
        rewrite(backup.folder() + QStringLiteral("/Manifest.db"),
                [&](const QByteArray& plain) {
                    const QByteArray stored = KeybagFixture::encrypt(manifestKey, plain);
                    // Whole pages leave a whole block of padding to drop.
                    return manifestDbPadding ? stored : stored.left(plain.size());
                });
        manifest.manifestKey = keybag.wrappedKeyForClass(kFileClass, manifestKey);
    }
    manifest.isEncrypted = true;
    manifest.backupKeyBag = keybag.bytes();
    backup.writeManifest(manifest);
    return manifestKey;
}
