#include "privatemode.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const mode_t kFolderMode = 0700;
const mode_t kFileMode = 0600;
const mode_t kGroupAndOther = 0077;
} // namespace

bool g_mkPrivatePath(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(QDir::cleanPath(QDir(path).absolutePath()));
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        // mkdir with an explicit mode is not widened by the umask; folders
        // that exist already answer EEXIST and are left as they are.
        for (qsizetype i = 1; i <= native.size(); ++i) {
            if (i < native.size() && native.at(i) != '/')
                continue;
            if (::mkdir(native.left(i).constData(), kFolderMode) != 0 && errno != EEXIST)
                return false;
        }
        if (::stat(native.constData(), &st) != 0)
            return false;
    }
    if (!S_ISDIR(st.st_mode))
        return false;
    if ((st.st_mode & kGroupAndOther) != 0 && st.st_uid == ::geteuid())
        ::chmod(native.constData(), (st.st_mode & 07700) | kFolderMode);
    return true;
}

bool g_makePrivate(QFileDevice& file)
{
    return file.setPermissions(kPrivateFilePermissions);
}

bool g_makePrivate(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    return ::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::chmod(native.constData(), kFileMode) == 0;
}
