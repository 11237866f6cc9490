#include "copyuwpitunesthread.h"

#include "data_path_util.h"
#include "progressform.h"

#include <QFile>

namespace {

const char* const kMarker = "__CopyUWPItunesThread";

} // namespace

CopyUWPItunesThread::CopyUWPItunesThread(const QString& srcPath, ProgressForm& progress, QObject* parent)
    : QThread(parent)
    , m_srcPath(srcPath)
    , m_progress(&progress)
{
}

QString CopyUWPItunesThread::copyRoot()
{
    return QDir::home().absoluteFilePath(QStringLiteral("quillsprout_itunes"));
}

QDir CopyUWPItunesThread::uwpItunesSaveDir(const QString& path)
{
    return QDir(copyRoot() + QLatin1Char('/') + QFileInfo(path).fileName());
}

bool CopyUWPItunesThread::isUWPItunesCopied(const QDir& folder)
{
    return QFileInfo::exists(folder.filePath(QLatin1String(kMarker)));
}

bool CopyUWPItunesThread::copyFiles(const QFileInfo& source, QDir target, QString& error)
{
    if (!target.exists()) {
        target.mkpath(QStringLiteral("."));
        // The copy holds the user's messages: private, like the data folder.
        if (target.absolutePath() == copyRoot())
            QFile::setPermissions(copyRoot(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    if (source.isFile()) {
        m_progress->invokeUpdateProgress(QString(), -1, source.fileName());
        const QString destination = target.filePath(source.fileName());
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink())
            return true;
        QFile file(source.absoluteFilePath());
        if (!file.copy(destination)) {
            error = file.errorString();
            return false;
        }
        return true;
    }
    if (source.isDir() && !source.isSymLink()) {
        const QDir folder(source.absoluteFilePath());
        const QFileInfoList entries = folder.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        const QDir inner(target.filePath(source.fileName()));
        for (const QFileInfo& entry : entries)
            if (!copyFiles(entry, inner, error))
                return false;
    }
    return true;
}

void CopyUWPItunesThread::run()
{
    m_progress->invokeUpdateProgress(tr("Initiating iTunes..."), 99, QString());
    g_delDirCascade(copyRoot());
    QString error;
    if (!copyFiles(QFileInfo(m_srcPath), QDir(copyRoot()), error)) {
        m_progress->invokeErrorOccurred(tr("Can not copy iTunes files. %1").arg(error));
        return;
    }
    QFile marker(uwpItunesSaveDir(m_srcPath).filePath(QLatin1String(kMarker)));
    if (marker.open(QIODevice::WriteOnly))
        marker.close();
    m_progress->invokeSucceed(QString());
}
