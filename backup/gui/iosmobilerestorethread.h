// The worker that restores the device's backup from the backup root to the
// device through the backup tool, with the password of an encrypted backup.
// The backup's Info.plist is set aside while the tool runs and put back
// afterwards, whatever the outcome; nothing is deleted.
#pragma once

#include "iosbackuptoolthread.h"

class IOSMobileRestoreThread : public IOSBackupToolThread
{
    Q_OBJECT
public:
    IOSMobileRestoreThread(bool tutorial, const IOSDevice& device, QDir root, ProgressForm& form,
                           QObject* parent = nullptr);

    void setBackupPasscode(const QString& password) { m_password = password; }

protected:
    void run() override;

private:
    QString m_password;
};
