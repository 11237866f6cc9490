// The one rule for names that come from a phone, a backup or an archive and
// are placed inside a folder of ours, and the one rule for device ids, which
// name the device's cache and backup folders.
#pragma once

#include <QDir>
#include <QString>

// The absolute path of `name` inside `root`, or an empty string when the name
// is refused: an empty name, a NUL character, an absolute name, a "." or ".."
// component, an existing component below the root that is a symbolic link,
// or an existing part that resolves outside the root. Empty components
// ("a//b") are dropped. `reason`, when given, says why a name was refused.
QString g_pathInside(const QDir& root, const QString& name, QString* reason = nullptr);

// g_pathInside for many names below one root, as when a message database's
// attachments are placed: the root is opened once, and a name costs one
// system call (more only when it meets a link).
class PathGuard
{
public:
    explicit PathGuard(const QDir& root);
    ~PathGuard();
    PathGuard(const PathGuard&) = delete;
    PathGuard& operator=(const PathGuard&) = delete;

    // What g_pathInside(root, name, reason) returns.
    QString inside(const QString& name, QString* reason = nullptr);

private:
    QString m_rootPath;
    int m_rootFd = -1;
};

// Empty when `id` may name a folder: 1 to 64 letters, digits and "-", not
// starting with "-"; else the reason, for the user.
QString g_deviceIdError(const QString& id);
