// Seeds of the backup-index targets: index records of every kind as the
// backup fixture writes them, in both index generations, enciphered records,
// and keybags of both kinds.
#include "seeds.h"

#include "backupfixture.h"
#include "cftype.h"
#include "keybagfixture.h"
#include "mbdbparser.h"

#include "fuzzsupport.h"

namespace {

QList<BackupFixtureRecord> records()
{
    QList<BackupFixtureRecord> list;
    BackupFixtureRecord file;
    file.domain = QStringLiteral("HomeDomain");
    file.path = QStringLiteral("Library/SMS/sms.db");
    file.contents = "database";
    file.digest = QByteArray(20, '\x11');
    file.encryptionKey = QByteArray(44, '\x22');
    file.protectionClass = 3;
    file.properties = {{"com.apple.assetsd.UUID", "1234"}};
    list << file;
    BackupFixtureRecord folder;
    folder.domain = QStringLiteral("MediaDomain");
    folder.path = QStringLiteral("Media/DCIM");
    folder.mode = 040755;
    list << folder;
    BackupFixtureRecord link;
    link.domain = QStringLiteral("AppDomain-com.example.app");
    link.path = QStringLiteral("Documents/link");
    link.mode = 0120755;
    link.linkTarget = "../target";
    link.dataAsDictionary = true;
    link.digest = QByteArray(20, '\x33');
    list << link;
    BackupFixtureRecord photo;
    photo.domain = QStringLiteral("CameraRollDomain");
    photo.path = QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG");
    photo.contents = "jpeg";
    list << photo;
    return list;
}

} // namespace

QS_FUZZ_SEEDS(manifestdb)
{
    const QByteArray key = MBDBParser::fileDescKey("password", "salt");
    int n = 0;
    for (const BackupFixtureRecord& record : records()) {
        const QByteArray archive = BackupFixture::mbfileArchive(record);
        const QByteArray enciphered = MBDBParser::encryptFileDescThrow(archive, key).toBase64();
        sink.add(QStringLiteral("record-%1").arg(++n), fuzz::joined({archive, enciphered}));
    }
}

QS_FUZZ_SEEDS(mbdb)
{
    QByteArray all = BackupFixture::mbdbHeader();
    int n = 0;
    for (const BackupFixtureRecord& record : records()) {
        const QByteArray one = BackupFixture::mbdbRecord(record);
        sink.add(QStringLiteral("record-%1.mbdb").arg(++n), BackupFixture::mbdbHeader() + one);
        all += one;
    }
    sink.add(QStringLiteral("all.mbdb"), all);
}

QS_FUZZ_SEEDS(keyedarchive)
{
    for (const BackupFixtureRecord& record : records())
        sink.add(QStringLiteral("mbfile-%1.bplist").arg(record.domain), BackupFixture::mbfileArchive(record));
    QHash<QString, CFType> hash;
    hash.insert(QStringLiteral("text"), CFType::createCFString(QStringLiteral("value")));
    hash.insert(QStringLiteral("number"), CFType::createCFNumberInt32(42));
    hash.insert(QStringLiteral("list"), CFType::createCFArray({CFType::createCFString(QStringLiteral("a"))}));
    const CFType archive = CFType::createNSDictionaryStringCFType(hash, true);
    sink.add(QStringLiteral("dictionary.bplist"), archive.CFPropertyListToBytes(200));
    sink.add(QStringLiteral("dictionary.xml"), archive.CFPropertyListToBytes(100));
}

QS_FUZZ_SEEDS(keybag)
{
    for (quint32 dp : {0u, 5u}) {
        KeybagFixture keybag(QStringLiteral("pw"), 10, dp);
        keybag.addClass(1);
        const QByteArray key3 = keybag.addClass(3);
        keybag.addClass(4, 1);
        // The target unwraps the last 40 bytes of its input with every class.
        const QByteArray wrapped = keybag.wrappedKeyForClass(3, KeybagFixture::randomBytes(32)).mid(4);
        sink.add(QStringLiteral("keybag-dp%1").arg(dp), keybag.bytes() + KeybagFixture::record("WPKY", wrapped));
        Q_UNUSED(key3);
    }
}
