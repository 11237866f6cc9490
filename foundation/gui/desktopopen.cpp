#include "desktopopen.h"

#include "data_path_util.h"
#include "tips.h"

#include <QCoreApplication>

bool g_openLinkOrTell(const QString& link)
{
    if (g_openLink(link))
        return true;
    Tips::warningSelectable(QCoreApplication::translate("QObject", "The address could not be opened in a web "
                                                                   "browser. You can copy it from here:")
                            + QStringLiteral("<br/><br/>") + link.trimmed().toHtmlEscaped());
    return false;
}

bool g_openFolderOrTell(const QString& path)
{
    if (g_openFileOrFolder(path))
        return true;
    Tips::warningSelectable(QCoreApplication::translate("QObject", "The folder could not be opened in a file "
                                                                   "manager. You can copy its path from here:")
                            + QStringLiteral("<br/><br/>") + path.toHtmlEscaped());
    return false;
}
