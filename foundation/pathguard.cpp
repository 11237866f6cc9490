#include "pathguard.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringTokenizer>

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const int kMaxDeviceIdLength = 64;

QString refuse(QString* reason, const QString& why)
{
    if (reason)
        *reason = why;
    return QString();
}

// The existing part of a path is resolved beneath the root's descriptor
// without following any link, so where it ends lies inside the root.

// One system call: opening `relative` beneath the root without following any
// link; 0 when it opened, else errno.
int openBeneath(int rootFd, const QByteArray& relative)
{
    open_how how{};
    how.flags = O_PATH | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, rootFd, relative.constData(), &how, sizeof how);
    if (fd < 0)
        return errno;
    ::close(int(fd));
    return 0;
}

// Opening failed only because a part is missing or is not a folder.
bool missingPart(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// The slow walk, one component at a time: the first existing component that
// is a link, relative to the root; empty when there is none.
QString firstLink(int rootFd, const QStringList& parts)
{
    int dir = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    QString link;
    for (qsizetype i = 0; dir >= 0 && i < parts.size(); ++i) {
        const QByteArray part = QFile::encodeName(parts.at(i));
        struct stat st;
        if (::fstatat(dir, part.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            break; // nothing more exists
        if (S_ISLNK(st.st_mode)) {
            link = parts.mid(0, i + 1).join(QLatin1Char('/'));
            break;
        }
        if (!S_ISDIR(st.st_mode) || i + 1 == parts.size())
            break;
        const int next = ::openat(dir, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = next;
    }
    if (dir >= 0)
        ::close(dir);
    return link;
}

} // namespace

PathGuard::PathGuard(const QDir& root)
    : m_rootPath(QDir::cleanPath(root.absolutePath())),
      m_rootFd(::open(QFile::encodeName(m_rootPath).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC))
{
}

PathGuard::~PathGuard()
{
    if (m_rootFd >= 0)
        ::close(m_rootFd);
}

QString PathGuard::inside(const QString& name, QString* reason)
{
    if (name.isEmpty())
        return refuse(reason, QStringLiteral("the name is empty"));
    if (name.contains(QChar(0)))
        return refuse(reason, QStringLiteral("the name holds a NUL character"));
    if (name.startsWith(QLatin1Char('/')))
        return refuse(reason, QStringLiteral("the name is absolute"));
    // Components are checked in place: a database names thousands of files,
    // and only a name with empty components needs a copy put together.
    bool emptyParts = name.endsWith(QLatin1Char('/'));
    for (QStringView part : QStringTokenizer(name, u'/')) {
        if (part.isEmpty())
            emptyParts = true;
        else if (part == u"." || part == u"..")
            return refuse(reason, QStringLiteral("the name holds a \"%1\" component").arg(part));
    }
    const QString relative =
        emptyParts ? name.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/')) : name;
    if (m_rootFd >= 0) {
        // The existing part of the name is resolved beneath the root without
        // following any link, so where it ends lies inside the root.
        // The walk stops at the first link (an error of its own) or at the
        // first missing part or file: a name that opens, or fails only for a
        // missing part, crossed no link on its existing part.
        const int error = openBeneath(m_rootFd, QFile::encodeName(relative));
        const bool plain = error == 0 || missingPart(error);
        const QString link = plain ? QString() : firstLink(m_rootFd, relative.split(QLatin1Char('/')));
        if (!link.isEmpty())
            return refuse(reason, QStringLiteral("%1/%2 is a symbolic link").arg(m_rootPath, link));
    }
    return m_rootPath + QLatin1Char('/') + relative;
}

QString g_pathInside(const QDir& root, const QString& name, QString* reason)
{
    return PathGuard(root).inside(name, reason);
}

QString g_deviceIdError(const QString& id)
{
    if (id.isEmpty())
        return QCoreApplication::translate("IOSDevice", "The device reported no unique device id.");
    bool allowed = id.size() <= kMaxDeviceIdLength && !id.startsWith(QLatin1Char('-'));
    for (const QChar c : id)
        allowed = allowed && c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
    if (!allowed)
        return QCoreApplication::translate("IOSDevice",
                                           "The unique device id \"%1\" holds characters that are not allowed.")
            .arg(id);
    return QString();
}
