#include "pathguard.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

const int kMaxDeviceIdLength = 64;

QString refuse(QString* reason, const QString& why)
{
    if (reason)
        *reason = why;
    return QString();
}

bool isInside(const QString& path, const QString& root)
{
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

} // namespace

QString g_pathInside(const QDir& root, const QString& name, QString* reason)
{
    if (name.isEmpty())
        return refuse(reason, QStringLiteral("the name is empty"));
    if (name.contains(QChar(0)))
        return refuse(reason, QStringLiteral("the name holds a NUL character"));
    if (name.startsWith(QLatin1Char('/')))
        return refuse(reason, QStringLiteral("the name is absolute"));
    const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts)
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return refuse(reason, QStringLiteral("the name holds a \"%1\" component").arg(part));

    const QString rootPath = QDir::cleanPath(root.absolutePath());
    QString path = rootPath;
    QString deepestExisting;
    bool exists = true;
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        if (!exists)
            continue;
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            exists = false;
            continue;
        }
        if (S_ISLNK(st.st_mode))
            return refuse(reason, QStringLiteral("%1 is a symbolic link").arg(path));
        deepestExisting = path;
    }
    if (!deepestExisting.isEmpty()) {
        const QString canonicalRoot = QFileInfo(rootPath).canonicalFilePath();
        if (canonicalRoot.isEmpty() || !isInside(QFileInfo(deepestExisting).canonicalFilePath(), canonicalRoot))
            return refuse(reason, QStringLiteral("it lies outside %1").arg(rootPath));
    }
    return path;
}

QString g_deviceIdError(const QString& id)
{
    if (id.isEmpty())
        return QCoreApplication::translate("IOSDevice", "The device reported no unique device id.");
    bool allowed = id.size() <= kMaxDeviceIdLength && !id.startsWith(QLatin1Char('-'));
    for (const QChar c : id)
        allowed = allowed && c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
    if (!allowed)
        return QCoreApplication::translate("IOSDevice", "The unique device id \"%1\" holds characters that are not allowed.")
            .arg(id);
    return QString();
}
