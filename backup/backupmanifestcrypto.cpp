// The members of BackupManifest that unlock an encrypted backup and copy,
// decrypt and encrypt its stored files.
#include "backupmanifest.h"

#include "backupcrypto.h"
#include "backupwritetransaction.h"
#include "data_path_util.h"

#include <QFile>
#include <QTemporaryFile>
#include <QtEndian>

#include <stdexcept>

#include <utime.h>

namespace {

// An encryption key of the index: the protection class as a 4-byte
// little-endian number, then the file key wrapped by that class's key.
const int kWrappedKeyOffset = 4;
const int kFileKeySize = 32;

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
    // An interrupted change is finished first: the copy must be of the index
    // that the files stored now belong to.
    BackupWriteTransaction::recoverThrow(dir);
    // The plain index lists every file of the phone: it is kept in a private
    // folder of ours, never beside the backup, and goes with this object.
    const bool firstCopy = decryptedManifestDbPath.isEmpty();
    const QString decrypted = firstCopy ? reserveDecryptedManifestPath() : decryptedManifestDbPath;
    // Written through a temporary file: an earlier copy stays until this one is whole.
    try {
        backupDecryptFileThrow(key, dir.absoluteFilePath(QStringLiteral("Manifest.db")), decrypted, nullptr, nullptr,
                               BackupPadding::IfPresent);
    } catch (...) {
        if (firstCopy)
            QFile::remove(decrypted);
        throw;
    }
    keybag = unlocked;
    password = newPassword;
    manifestKey = key;
    decryptedManifestDbPath = decrypted;
    return true;
}

QByteArray BackupManifest::newFileKey(MBDBParser::_MBDBItem& item) const
{
    const int classNumber = int(item.protectionClass);
    const QByteArray classKey = keybag.classKeys.value(classNumber).tags.value(QStringLiteral("KEY"));
    const QByteArray key = BackupCrypto::randomBytes(kFileKeySize);
    const QByteArray wrapped = classKey.isEmpty() || key.isEmpty() ? QByteArray() : aes_key_wrap(classKey, key);
    if (wrapped.isEmpty())
        fail(QStringLiteral("BackupManifest::newFileKey, no key of protection class %1 to wrap a file key with.")
                 .arg(classNumber));
    QByteArray entry(kWrappedKeyOffset, '\0');
    qToLittleEndian<quint32>(quint32(classNumber), entry.data());
    item.encryptionKey.setVal(entry + wrapped);
    return key;
}

QString BackupManifest::reserveDecryptedManifestPath()
{
    QTemporaryFile file(g_dataSubDir(QStringLiteral("manifest_cache")).filePath(QStringLiteral("Manifest-XXXXXX.db")));
    file.setAutoRemove(false);
    if (!file.open())
        fail(QStringLiteral("BackupManifest::setPasscode, can not create %1. %2")
                 .arg(file.fileTemplate(), file.errorString()));
    return file.fileName();
}

QByteArray BackupManifest::fileKey(const MBDBParser::_MBDBItem& item) const
{
    return unwrapKeyForClass(keybag, int(item.protectionClass), item.encryptionKey.data.mid(kWrappedKeyOffset));
}

void BackupManifest::copyFile(const _FileNode* node, const QString& target, void* context,
                              BackupProgressCallback callback) const
{
    if (node)
        copyItemThrow(node->item(), target, context, callback);
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
