// Seeds of the property-list target: backup manifests as the fixtures write
// them, the archive of an index record, and one list of every value type, each
// in XML and binary.
#include "seeds.h"

#include "backupfixture.h"
#include "cftype.h"
#include "keybagfixture.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray manifestPlist(bool binary)
{
    QTemporaryDir dir;
    BackupFixture fixture(dir.path(), BackupFixture::Generation::ManifestDb);
    BackupFixtureManifest manifest;
    manifest.uniqueDeviceId = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
    manifest.deviceName = QStringLiteral("Phone \u00e9\u4e2d");
    manifest.serialNumber = QStringLiteral("C39XK0ABCDEF");
    manifest.date = QDateTime(QDate(2023, 4, 5), QTime(6, 7, 8), Qt::UTC);
    manifest.isEncrypted = true;
    KeybagFixture keybag(QStringLiteral("pw"));
    keybag.addClass(3);
    manifest.backupKeyBag = keybag.bytes();
    manifest.manifestKey = QByteArray(44, '\x42');
    manifest.binary = binary;
    fixture.writeManifest(manifest);
    QFile file(dir.filePath(QStringLiteral("Manifest.plist")));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

CFType everyType()
{
    CFType dict = CFType::createCFDictionary();
    dict.put(QStringLiteral("text"), CFType::createCFString(QStringLiteral("a\u00e9\U0001F600")));
    dict.put(QStringLiteral("int"), CFType::createCFNumberInt64(-1234567890123LL));
    dict.put(QStringLiteral("small"), CFType::createCFNumberInt8(7));
    dict.put(QStringLiteral("real"), CFType::createCFNumberDouble(3.25));
    dict.put(QStringLiteral("yes"), CFType::createCFBoolean(true));
    dict.put(QStringLiteral("date"), CFType::createCFDate(QDateTime(QDate(2012, 1, 2), QTime(3, 4, 5), Qt::UTC)));
    dict.put(QStringLiteral("data"), CFType::createCFData(QByteArray("\x00\x01\xff", 3)));
    dict.put(QStringLiteral("uid"), CFType::createCFKeyedArchiverUID(5));
    CFType array = CFType::createCFArray();
    array.append(CFType::createCFString(QString()));
    array.append(CFType::createCFDictionary());
    array.append(CFType::createCFArray({CFType::createCFNumberInt32(1), CFType::createCFNumberFloat(0.5f)}));
    dict.put(QStringLiteral("array"), array);
    return dict;
}

} // namespace

QS_FUZZ_SEEDS(plist)
{
    sink.add(QStringLiteral("manifest.xml"), manifestPlist(false));
    sink.add(QStringLiteral("manifest.bplist"), manifestPlist(true));
    BackupFixtureRecord record;
    record.domain = QStringLiteral("HomeDomain");
    record.path = QStringLiteral("Library/SMS/sms.db");
    record.contents = "x";
    sink.add(QStringLiteral("mbfile.bplist"), BackupFixture::mbfileArchive(record));
    const CFType all = everyType();
    sink.add(QStringLiteral("types.xml"), all.CFPropertyListToBytes(100));
    sink.add(QStringLiteral("types.bplist"), all.CFPropertyListToBytes(200));
}
