#include "iosbackuptoolthread.h"

#include "backup2tool.h"
#include "iosbackuptemp.h"
#include "iosdevice.h"
#include "privatemode.h"
#include "progressform.h"

IOSBackupToolThread::IOSBackupToolThread(bool tutorial, const IOSDevice& device, const QDir& root,
                                         ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_tutorial(tutorial)
    , m_device(&device)
    , m_form(&form)
    , m_root(root)
    , m_tool(new backup2tool(device.device, device.udid, root))
{
}

IOSBackupToolThread::~IOSBackupToolThread()
{
    m_tool->deleteLater();
}

void IOSBackupToolThread::backupUpdate(double pg, QString status1, QString status2)
{
    m_form->invokeUpdateProgress(status1, int(pg), status2);
}

bool IOSBackupToolThread::begin(const QString& status)
{
    m_form->invokeUpdateProgress(status, 0, QString());
    // The device's backup folder is deleted, rewritten and renamed in: only
    // a plain device id may name it.
    const QString udidError = m_device->udidError();
    if (!udidError.isEmpty()) {
        m_form->invokeErrorOccurred(udidError);
        return false;
    }
    g_mkPrivatePath(m_root.absolutePath());
    connect(m_tool, &backup2tool::update, this, &IOSBackupToolThread::backupUpdate, Qt::UniqueConnection);
    connect(m_form, &ProgressForm::userCacel, m_tool, &backup2tool::cancel, Qt::UniqueConnection);
    return true;
}

bool IOSBackupToolThread::userCancelled() const
{
    // The driver forgets a cancel that came before its run, and the dialog
    // sets its flag just after the driver heard of it: either one tells.
    return m_tool->cancelled() || m_form->cancelled;
}

QDir IOSBackupToolThread::deviceDir() const
{
    return iosbackup_device_dir(m_root, *m_device);
}
