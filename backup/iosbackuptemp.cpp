#include "iosbackuptemp.h"

#include "data_path_util.h"
#include "iosdevice.h"

#include <QFile>

namespace {
const char* const kTempFolder = "__quillsprout_iosbk_temp";
}

QDir iosbackup_temp_dir()
{
    return QDir(QDir::home().absoluteFilePath(QStringLiteral("Documents/") + QLatin1String(kTempFolder)));
}

void iosbackup_clear_temp()
{
    g_delDirCascade(iosbackup_temp_dir().absolutePath());
    const QString pathFile = g_dataSaveDir().absoluteFilePath(QLatin1String(kTempFolder) + QStringLiteral(".path"));
    if (QFile::exists(pathFile))
        QFile::remove(pathFile);
}

QDir iosbackup_device_dir(const QDir& root, const IOSDevice& device)
{
    return QDir(root.absoluteFilePath(device.udid));
}
