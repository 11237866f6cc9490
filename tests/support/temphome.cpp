#include "temphome.h"

#include <QFile>
#include <QtGlobal>

#include <sys/stat.h>

int modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

TempHome::TempHome()
{
    m_hadHome = qEnvironmentVariableIsSet("HOME");
    m_oldHome = qgetenv("HOME");
    qputenv("HOME", m_dir.path().toUtf8());
}

TempHome::~TempHome()
{
    if (m_hadHome)
        qputenv("HOME", m_oldHome);
    else
        qunsetenv("HOME");
}

QString TempHome::file(const QString& relative) const
{
    return m_dir.filePath(relative);
}
