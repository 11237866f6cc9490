#include "mbdbparser.h"

#include "backupcrypto.h"
#include "backupmanifest.h"
#include "backupwritetransaction.h"
#include "manifestdbfile.h"
#include "mbdbfile.h"
#include "uptonul.h"
#include "privatemode.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

QString MBDBParser::_MBDBBinary::toString() const
{
    if (!isValid())
        return QString();
    return QString::fromUtf8(upToFirstNul(data));
}

void MBDBParser::_MBDBBinary::setVal(const QByteArray& bytes)
{
    data = bytes;
    length = quint16(bytes.size() & 0xFFFF);
}

namespace {
// Texts as toString() reads them: valid UTF-8 with no NUL reads as it is
// stored, so its bytes are hashed without decoding them.
bool isPlainText(const MBDBParser::_MBDBBinary& b)
{
    return !b.isValid() || (!b.data.contains('\0') && QByteArrayView(b.data).isValidUtf8());
}

} // namespace

void MBDBParser::_MBDBItem::backupFileDigest(quint8* digest) const
{
    if (!isPlainText(domain) || !isPlainText(path)) {
        BackupCrypto::sha1Digest({(domain.toString() + QLatin1Char('-') + path.toString()).toUtf8()}, digest);
        return;
    }
    BackupCrypto::sha1Digest({domain.isValid() ? QByteArrayView(domain.data) : QByteArrayView(),
                              QByteArrayView("-", 1),
                              path.isValid() ? QByteArrayView(path.data) : QByteArrayView()},
                             digest);
}

QString MBDBParser::_MBDBItem::backupFileName() const
{
    quint8 digest[20];
    backupFileDigest(digest);
    return QString::fromLatin1(QByteArray::fromRawData(reinterpret_cast<const char*>(digest), 20).toHex());
}

bool MBDBParser::isIos10Mbdb(const QDir& folder)
{
    return !QFileInfo::exists(folder.filePath(QStringLiteral("Manifest.mbdb")))
        && QFileInfo::exists(folder.filePath(QStringLiteral("Manifest.db")));
}

QString MBDBParser::getFileHashName(const QString& domain, const QString& path)
{
    return BackupCrypto::sha1Hex({(domain + QLatin1Char('-') + path).toUtf8()});
}

QString MBDBParser::getBKFilePath(const QDir& folder, const QString& storedName, bool makeFolder)
{
    if (!isIos10Mbdb(folder))
        return folder.absoluteFilePath(storedName);
    const QString sub = folder.absoluteFilePath(storedName.left(2));
    if (makeFolder)
        g_mkPrivatePath(sub);
    return sub + QLatin1Char('/') + storedName;
}

QByteArray MBDBParser::readFileHash(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    // Streamed in chunks: a stored file may be a video of several gigabytes.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result();
}

namespace {
// The one initialisation vector of the `file` column cipher, for every row and
// both directions. It is derived at run time rather than kept as a literal.
const QByteArray& fileDescIv()
{
    static const QByteArray iv = BackupCrypto::sha1(QByteArrayLiteral("MBDBParser file record")).left(16);
    return iv;
}
} // namespace

QByteArray MBDBParser::fileDescKey(const QByteArray& password, const QByteArray& salt)
{
    return BackupCrypto::sha1(password + salt).left(16);
}

QByteArray MBDBParser::decryptFileDescThrow(const QByteArray& ciphertext, const QByteArray& key)
{
    if (ciphertext.isEmpty())
        return QByteArray();
    if (ciphertext.size() % 16 != 0)
        throw std::runtime_error("MBDBParser::decryptFileDesc, size % 16 != 0.");
    QByteArray plain;
    if (!BackupCrypto::aesCbc(false, key, fileDescIv(), ciphertext, plain))
        throw std::runtime_error("MBDBParser::decryptFileDesc, aes_crypt_cbc failed.");
    // PKCS#7 padding; a last byte out of range leaves the plaintext whole.
    const int pad = qint8(plain.back());
    if (pad >= 1 && pad <= plain.size())
        plain.chop(pad);
    return plain;
}

QByteArray MBDBParser::encryptFileDescThrow(const QByteArray& plaintext, const QByteArray& key)
{
    const int pad = 16 - int(plaintext.size() % 16);
    QByteArray padded = plaintext;
    padded.append(pad, char(pad));
    QByteArray cipher;
    if (!BackupCrypto::aesCbc(true, key, fileDescIv(), padded, cipher))
        throw std::runtime_error("MBDBParser::encryptFileDesc, aes_crypt_cbc failed.");
    return cipher;
}

MBDBParser::Index MBDBParser::parse(const BackupManifest& backup)
{
    BackupWriteTransaction::recoverThrow(backup.dir);
    if (!isIos10Mbdb(backup.dir))
        return g_readMbdbIndex(backup.dir.absoluteFilePath(QStringLiteral("Manifest.mbdb")));
    const QString dbPath = backup.manifestKey.isEmpty()
        ? backup.dir.absoluteFilePath(QStringLiteral("Manifest.db"))
        : backup.decryptedManifestDbPath;
    return g_readManifestDbIndex(dbPath, backup.password);
}

bool g_domainPathLess(const QString& domainA, const QString& pathA, const QString& domainB, const QString& pathB)
{
    const int byDomain = QString::compare(domainA, domainB, Qt::CaseSensitive);
    return byDomain != 0 ? byDomain < 0 : QString::compare(pathA, pathB, Qt::CaseSensitive) < 0;
}

bool compareMBDBItemLess(const MBDBParser::_MBDBItem& a, const MBDBParser::_MBDBItem& b)
{
    return g_domainPathLess(a.domain.toString(), a.path.toString(), b.domain.toString(), b.path.toString());
}
