// The members of BackupManifest that unlock an encrypted backup and copy,
// decrypt and encrypt its stored files.
#include "backupmanifest.h"

#include <QFile>

#include <stdexcept>

#include <utime.h>

namespace {

// An encryption key of the index: a 4-byte class prefix, then the wrapped key.
const int kWrappedKeyOffset = 4;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().constData());
}

// The key of Manifest.db: the first class, in ascending number, that unwraps it.
QByteArray unwrapManifestKey(const _KeybagInfo& keybag, const QByteArray& manifestKey)
{
    const QByteArray wrapped = manifestKey.mid(kWrappedKeyOffset);
    for (auto it = keybag.classKeys.cbegin(); it != keybag.classKeys.cend(); ++it) {
        const QByteArray key = unwrapKeyForClass(keybag, it.key(), wrapped);
        if (!key.isEmpty())
            return key;
    }
    return QByteArray();
}

} // namespace

bool BackupManifest::setPasscodeNoUIThrow(const QString& newPassword)
{
    _KeybagInfo unlocked = parseKeybag(info.BackupKeyBag);
    if (!unlockWithPasscode(newPassword.toUtf8(), unlocked))
        return false;
    // An encrypted backup whose keybag gave no class key cannot be read with
    // this password, whatever the keybag says.
    if (info.IsEncrypted && !unlocked.hasClassKey())
        return false;
    // Only a Manifest.db of a keybag with the second derivation step is encrypted.
    if (!unlocked.hasDoubleProtection() || !MBDBParser::isIos10Mbdb(dir)) {
        keybag = unlocked;
        password = newPassword;
        return true;
    }
    const QByteArray key = unwrapManifestKey(unlocked, info.ManifestKey);
    if (key.isEmpty())
        fail(QStringLiteral("BackupManifest::setPasscode, the password is right but no class key unwraps "
                            "the key of Manifest.db: the backup's Manifest.plist is damaged."));
    const QString decrypted = dir.absoluteFilePath(QStringLiteral("Manifest-decrypted.db"));
    // Written through a temporary file: an earlier copy stays until this one is whole.
    backupDecryptFileThrow(key, dir.absoluteFilePath(QStringLiteral("Manifest.db")), decrypted, nullptr, nullptr,
                           BackupPadding::IfPresent);
    keybag = unlocked;
    password = newPassword;
    manifestKey = key;
    decryptedManifestDbPath = decrypted;
    return true;
}

QByteArray BackupManifest::fileKey(const MBDBParser::_MBDBItem& item) const
{
    return unwrapKeyForClass(keybag, int(item.protectionClass), item.encryptionKey.data.mid(kWrappedKeyOffset));
}

void BackupManifest::copyFile(const _FileNode* node, const QString& target, void* context,
                              BackupProgressCallback callback) const
{
    if (node)
        copyItemThrow(node->item, target, context, callback);
}

void BackupManifest::copyItemThrow(const MBDBParser::_MBDBItem& item, const QString& target, void* context,
                                   BackupProgressCallback callback) const
{
    const QString source = MBDBParser::getBKFilePath(dir, item.backupFileName(), false);
    if (info.IsEncrypted) {
        const QByteArray key = fileKey(item);
        // Copying the stored bytes would put cipher text where a file is expected.
        if (key.isEmpty())
            fail(QStringLiteral("BackupManifest::copyItemThrow, no key of the keybag unwraps the key of %1-%2.")
                     .arg(item.domain.toString(), item.path.toString()));
        decryptFileThrow(key, source, target, context, callback);
    } else {
        backupCopyFileThrow(source, target, context, callback);
    }
    struct utimbuf times;
    times.actime = time_t(item.lastModified);
    times.modtime = time_t(item.lastModified);
    utime(QFile::encodeName(target).constData(), &times);
}

void BackupManifest::decryptFileThrow(const QByteArray& key, const QString& source, const QString& target,
                                      void* context, BackupProgressCallback callback) const
{
    backupDecryptFileThrow(key, source, target, context, callback);
}

void BackupManifest::encryptFileThrow(const QString& source, const QString& target, const QByteArray& key)
{
    backupEncryptFileThrow(source, target, key);
}

MBDBParser::_MBDBItem BackupManifest::firstEncryptedItem(QByteArray& key) const
{
    const MBDBParser::Index index = MBDBParser::parse(*this);
    for (const MBDBParser::_MBDBItem& item : index) {
        if (item.isFolder())
            continue;
        const QByteArray unwrapped = fileKey(item);
        if (!unwrapped.isEmpty()) {
            key = unwrapped;
            return item;
        }
    }
    fail(QStringLiteral("BackupManifest::firstEncryptedItem, no valid keys"));
}
