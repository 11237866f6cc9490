#include "iosmobilebackupthread.h"

#include "backup2tool.h"
#include "cftype.h"
#include "data_path_util.h"
#include "iosbackupadvice.h"
#include "iosbackuptemp.h"
#include "iosdevice.h"
#include "progressform.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// The property list of a file; null when it cannot be read or parsed.
CFType readPlist(const QDir& folder, const char* name)
{
    QFile file(folder.absoluteFilePath(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return CFType();
    return CFType::createCFPropertyList(file.readAll());
}

bool hasFile(const QDir& folder, const char* name)
{
    return QFileInfo::exists(folder.absoluteFilePath(QLatin1String(name)));
}

} // namespace

IOSMobileBackupThread::IOSMobileBackupThread(bool tutorial, const IOSDevice& device, ProgressForm& form,
                                             QObject* parent)
    : IOSBackupToolThread(tutorial, device, iosbackup_temp_dir(), form, parent)
{
}

bool IOSMobileBackupThread::isReusable(const QDir& folder, const QString& productVersion)
{
    if (!hasFile(folder, "Status.plist") || !hasFile(folder, "Manifest.plist"))
        return false;
    if (!hasFile(folder, "Manifest.mbdb") && !hasFile(folder, "Manifest.db"))
        return false;
    if (readPlist(folder, "Status.plist").get(QStringLiteral("SnapshotState")).toString() != QLatin1String("finished"))
        return false;
    const CFType lockdown = readPlist(folder, "Manifest.plist").get(QStringLiteral("Lockdown"));
    return lockdown.get(QStringLiteral("ProductVersion")).toString() == productVersion;
}

void IOSMobileBackupThread::run()
{
    if (!begin(QStringLiteral("Loading data from Device...")))
        return;
    const QDir folder = deviceDir();
    if (folder.exists() && !isReusable(folder, m_device->productVersion))
        g_delDirCascade(folder.absolutePath());
    try {
        if (userCancelled())
            return;
        m_tool->runThrow(_backup2tool_req(backup2tool_op_backup));
        if (!userCancelled())
            m_form->invokeSucceed(QString());
    } catch (const std::exception& e) {
        g_delDirCascade(folder.absolutePath());
        m_form->invokeErrorOccurred(iosbackup_backup_advice(QString::fromUtf8(e.what()), m_tutorial));
    }
}
