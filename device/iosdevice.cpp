#include "iosdevice.h"

#include "cftype.h"
#include "data_path_util.h"
#include "devicewarning.h"
#include "iosversion.h"
#include "pathguard.h"
#include "privatemode.h"
#include "mobiledevice_session.h"

#include <QObject>

#include <stdexcept>

namespace {

const char* const kBackupDomain = "com.apple.mobile.backup";

struct BackupSettingCheck
{
    const char* key;
    const char* message;
    const char* picture;
};

const BackupSettingCheck kICloudCheck = {
    "CloudBackupEnabled",
    "Failed to transfer data to device. Please turn off iCloud backup on your iPhone to try again.",
    ":res/close_icloudbk.jpg"};
const BackupSettingCheck kEncryptCheck = {
    "WillEncrypt",
    "Failed to transfer data to device. Your iTunes backup is encrypted. Please run iTunes on computer and then "
    "uncheck \"Encrypt iPhone backup\" option to try again.",
    ":res/close_itunesbkenc.jpg"};

// True after warning when the setting is a property-list true.
bool settingInTheWay(const CFType& settings, const BackupSettingCheck& check)
{
    if (!settings.get(QString::fromLatin1(check.key)).CFNumberBool(false))
        return false;
    g_deviceWarning(QStringLiteral("%1<br/><br/><img src=\"%2\"/>")
                        .arg(QString::fromLatin1(check.message), QString::fromLatin1(check.picture)));
    return true;
}

} // namespace

IOSDevice::IOSDevice() : device(nullptr) {}

IOSDevice::~IOSDevice() = default;

QString IOSDevice::udidError() const
{
    return g_deviceIdError(udid);
}

QDir IOSDevice::cacheDir() const
{
    const QDir dir(g_dataSaveDir().absoluteFilePath(QStringLiteral("ios_cache/") + udid));
    if (udidError().isEmpty())
        g_mkPrivatePath(dir.absolutePath());
    return dir;
}

QList<int> IOSDevice::versionList() const
{
    return _IOSVersion::parse(productVersion);
}

bool IOSDevice::checkiTunesBackupSettings(bool checkICloud, bool checkEncrypt) const
{
    try {
        const QList<CFType> values = mobiledevice_info(device, QStringList() << QString(), QLatin1String(kBackupDomain));
        if (values.isEmpty())
            return true;
        const CFType settings = values.first();
        if (checkICloud && settingInTheWay(settings, kICloudCheck))
            return false;
        if (checkEncrypt && settingInTheWay(settings, kEncryptCheck))
            return false;
        return true;
    } catch (const std::exception&) {
        return true;
    }
}
