#include "data_path_util.h"

#include "uptonul.h"
#include "privatemode.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QUrl>

#include <atomic>

#include <sys/stat.h>
#include <unistd.h>

const char* const kProductId = "5D3A7C19E0B24F6889A1C4E7F2306B9D";

namespace {
QMutex g_dataSaveDirMutex;
QString g_curDataSaveDirPath;

QString settledDataSaveDirPath()
{
    const QMutexLocker locker(&g_dataSaveDirMutex);
    if (g_curDataSaveDirPath.isEmpty()) {
        QString root = g_dataSaveDirLink();
        if (root.isEmpty())
            root = g_defaultSaveDirPath();
        g_curDataSaveDirPath = QDir(root).absoluteFilePath(QLatin1String(kProductId));
    }
    return g_curDataSaveDirPath;
}

QString redirectFilePath()
{
    return g_defaultSaveDirPath() + QLatin1Char('/') + QLatin1String(kProductId) + QLatin1String(".redirect");
}

bool isRealDir(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool existsNoFollow(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}
} // namespace

QDir g_osAppDir()
{
    return QDir(QDir::homePath() + QLatin1String("/Library/Application Support"));
}

QString g_defaultSaveDirPath()
{
    return g_osAppDir().absoluteFilePath(QStringLiteral("QuillSprout"));
}

QString g_dataSaveDirLink()
{
    QFile file(redirectFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString path = QString::fromUtf8(upToFirstNul(file.read(64 * 1024)));
    // Only an existing folder can hold the data folder; anything else falls back.
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return QString();
    return path;
}

void g_setDataSaveDirLink(const QString& path)
{
    QFile file(redirectFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(path.toUtf8());
    file.flush();
}

void g_settleDataSaveDir()
{
    settledDataSaveDirPath();
}

QDir g_dataSaveDir()
{
    const QString path = settledDataSaveDirPath();
    // Everything below holds messages, contacts or keys: the folder is the
    // user's alone, also when an older run made it with the umask's bits.
    g_mkPrivatePath(path);
    return QDir(path);
}

void g_resetDataSaveDirForTests()
{
    const QMutexLocker locker(&g_dataSaveDirMutex);
    g_curDataSaveDirPath.clear();
}

QDir g_dataSubDir(const QString& name)
{
    const QString path = g_dataSaveDir().absoluteFilePath(name);
    g_mkPrivatePath(path);
    return QDir(path);
}

QDir g_localDbDir()
{
    return g_dataSubDir(QStringLiteral("local_databases"));
}

bool g_delDirCascade(const QString& folder)
{
    if (!isRealDir(folder)) {
        // A link in place of the folder is removed as a link; its target stays.
        if (QFileInfo(folder).isSymLink())
            QFile::remove(folder);
        return !existsNoFollow(folder);
    }
    QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString path = entry.absoluteFilePath();
        if (!entry.isSymLink() && isRealDir(path))
            g_delDirCascade(path);
        else
            QFile::remove(path);
    }
    QDir().rmdir(folder);
    return !existsNoFollow(folder);
}

QString g_getValidFilePath(const QString& path)
{
    if (!existsNoFollow(path))
        return path;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const int firstDot = name.indexOf(QLatin1Char('.'));
    const int lastDot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = firstDot < 0 ? name : name.left(firstDot);
    const QString suffix = lastDot < 0 ? QString() : name.mid(lastDot + 1);
    const QDir dir = info.dir();
    for (qint64 n = 1;; ++n) {
        QString candidate = QStringLiteral("%1(%2)").arg(base).arg(n);
        if (!suffix.isEmpty())
            candidate += QLatin1Char('.') + suffix;
        const QString full = dir.filePath(candidate);
        if (!existsNoFollow(full))
            return full;
    }
}

namespace {
bool openWithDesktopServices(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

std::atomic<DesktopOpener> g_desktopOpener{&openWithDesktopServices};
} // namespace

void g_setDesktopOpener(DesktopOpener opener)
{
    g_desktopOpener = opener ? opener : &openWithDesktopServices;
}

bool g_openFileOrFolder(const QString& path)
{
    return g_desktopOpener.load()(QUrl::fromLocalFile(path));
}

bool g_openLink(const QString& link)
{
    const QUrl url(link.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return false;
    return g_desktopOpener.load()(url);
}

QString g_formatFileName(const QString& name)
{
    static const QString refused = QStringLiteral("\\/:*?\"<>|\n\r\t");
    QString out;
    out.reserve(name.size());
    for (const QChar c : name)
        if (!refused.contains(c))
            out.append(c);
    return out.trimmed();
}

QString g_md5(const QByteArray& data, bool dashed)
{
    const QString hex = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
    if (!dashed)
        return hex;
    return QStringList{hex.mid(0, 8), hex.mid(8, 4), hex.mid(12, 4), hex.mid(16, 4), hex.mid(20, 12)}.join(QLatin1Char('-'));
}

QString g_pathHash(const QString& text)
{
    return g_md5(text.toUtf8(), false);
}

QString g_md5(const QString& text)
{
    return g_pathHash(text);
}
