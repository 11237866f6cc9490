#include "temphome.h"

#include <QtGlobal>

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
