#include "iosmobilerestorethread.h"

#include "backup2tool.h"
#include "iosbackupadvice.h"
#include "iosdevice.h"
#include "progressform.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

IOSMobileRestoreThread::IOSMobileRestoreThread(bool tutorial, const IOSDevice& device, QDir root,
                                               ProgressForm& form, QObject* parent)
    : IOSBackupToolThread(tutorial, device, root, form, parent)
{
}

void IOSMobileRestoreThread::run()
{
    if (!begin(tr("Transferring data to Device...")))
        return;
    const QString info = deviceDir().absoluteFilePath(QStringLiteral("Info.plist"));
    const QString parked = info + QLatin1Char('-') + QString::number(QDateTime::currentMSecsSinceEpoch());
    if (QFileInfo(info).isFile())
        QFile::rename(info, parked);
    try {
        if (!userCancelled()) {
            _backup2tool_req req(backup2tool_op_restore);
            req.password = m_password;
            m_tool->runThrow(req);
        }
        QFile::rename(parked, info);
        if (!userCancelled())
            m_form->invokeSucceed(QString());
    } catch (const std::exception& e) {
        QFile::rename(parked, info);
        m_form->invokeErrorOccurred(iosbackup_restore_advice(QString::fromUtf8(e.what()), m_tutorial));
    }
}
