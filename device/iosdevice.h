// IOSDevice: one iPhone as the application knows it: identity values read
// through lockdown at attach time, the user's backup password and the
// device's country, and the framework's device handle (never owned). It
// finds the device's cache folder, the numbers of its iOS version, and tests
// the device's backup settings before a device backup.
#pragma once

#include "mobiledevicetypes.h"

#include <QDir>
#include <QList>
#include <QString>

class IOSDevice
{
public:
    IOSDevice();
    IOSDevice(const IOSDevice&) = default;
    IOSDevice& operator=(const IOSDevice&) = default;
    virtual ~IOSDevice();

    // "ios_cache/<udid>" in the data folder, created private when missing.
    // Nothing is created for a udid that udidError() refuses.
    QDir cacheDir() const;
    QList<int> versionList() const;
    // False after a warning when a checked setting (iCloud backup, encrypted
    // backups) stands in the way; true otherwise, also when the settings
    // cannot be read.
    bool checkiTunesBackupSettings(bool checkICloud, bool checkEncrypt) const;
    // Empty when `udid` may name the cache and backup folders (the rule of
    // g_deviceIdError); else the reason. Callers test it before they
    // download into, rewrite or delete from those folders.
    QString udidError() const;

    QString deviceName;
    QString udid;
    QString productVersion;
    QString productType;
    QString backupPassword;
    QString countryCode;
    am_device* device;
};
