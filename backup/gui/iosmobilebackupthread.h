// The worker that makes a device backup in the device-backup folder through
// the backup tool. An earlier backup of the device stays, to be updated, only
// when it is complete and of the device's current iOS version; a failed
// backup leaves no folder behind.
#pragma once

#include "iosbackuptoolthread.h"

class IOSMobileBackupThread : public IOSBackupToolThread
{
    Q_OBJECT
public:
    IOSMobileBackupThread(bool tutorial, const IOSDevice& device, ProgressForm& form, QObject* parent = nullptr);

    // Whether the backup folder may be updated by a backup of a device of
    // `productVersion`: it holds Status.plist, Manifest.plist and an index,
    // its snapshot is "finished", and its manifest names that version.
    static bool isReusable(const QDir& folder, const QString& productVersion);

protected:
    void run() override;
};
