#include "devicefilepath.h"

#include "pathguard.h"

#include <QtGlobal>

QString localPathInside(const QDir& dir, const QString& relative, const char* caller)
{
    PathGuard guard(dir);
    return localPathInside(guard, relative, caller);
}

QString localPathInside(PathGuard& guard, const QString& relative, const char* caller)
{
    QString reason;
    const QString path = guard.inside(relative, &reason);
    if (path.isEmpty())
        qWarning("%s", qPrintable(QStringLiteral("%1, attachment path leaves its folder: %2 (%3)")
                                      .arg(QLatin1String(caller), relative, reason)));
    return path;
}

/* Device paths of attachment files, and where the copies lie:

   filename (as the phone stores it)            local file
   /var/mobile/Library/SMS/Attachments/x.jpg    <folder>/file-relay/var/mobile/Library/SMS/Attachments/x.jpg
   ~/Library/SMS/Attachments/x.jpg              <folder>/file-relay/var/mobile/Library/SMS/Attachments/x.jpg */
QString deviceFileLocalPath(const QDir& fileRelayDir, const QString& filename, const char* caller)
{
    PathGuard guard(fileRelayDir);
    return deviceFileLocalPath(guard, filename, caller);
}

QString deviceFileLocalPath(PathGuard& fileRelayGuard, const QString& filename, const char* caller)
{
    QString relative = filename;
    if (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    if (relative.startsWith(QLatin1String("~/")))
        relative.replace(0, 2, QStringLiteral("var/mobile/"));
    static const QString kDropped = QStringLiteral("\\:*?\"<>|\n\r\t");
    relative.removeIf([](QChar ch) { return kDropped.contains(ch); });
    return localPathInside(fileRelayGuard, relative, caller);
}
