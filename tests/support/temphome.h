// A temporary HOME for one test: everything the application keeps under the
// user's home (data folder, device backups) lands in a folder that is removed
// afterwards.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// The permission bits of the file or folder at `path`, not following a
// symbolic link; -1 when nothing is there. For tests of private modes.
int modeOf(const QString& path);

class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return m_dir.path(); }
    // Path of a file or folder below the temporary home.
    QString file(const QString& relative) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    bool m_hadHome = false;
};
