// The main window's commands that do not act on messages: the folders, the
// maker's pages, the about box, taking a device's node out of the tree, and
// clearing the caches.
#include "mainwindow.h"

#include "aboutusform.h"
#include "data_path_util.h"
#include "desktopopen.h"
#include "iosbackuptemp.h"
#include "itemmodelmain.h"
#include "makerserver.h"
#include "productinfo.h"
#include "tips.h"

#include <QFileInfo>
#include <QUrlQuery>

namespace {

// The product's folder on the maker's web site.
const char* const kProductFolder = "/chatterquay";

void openMakerPage(const QUrl& url)
{
    g_openLinkOrTell(url.toString());
}

QUrl updatePageUrl()
{
    QUrl url = g_makerServerUrl(QStringLiteral("/sms_check_update.php"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("pid"), QString::fromLatin1(kProductId));
    query.addQueryItem(QStringLiteral("ver"), QString::number(kVersionNumber));
    query.addQueryItem(QStringLiteral("vs"), QStringLiteral("123456"));
    query.addQueryItem(QStringLiteral("sys"), QStringLiteral("macx"));
    url.setQuery(query);
    return url;
}

QUrl helpPageUrl()
{
    return g_makerServerUrl(QLatin1String(kProductFolder) + QStringLiteral("/help.html"));
}

QUrl supportPageUrl()
{
    return g_makerServerUrl(QStringLiteral("/support.html"));
}

} // namespace

void MainWindow::miOpenDbFolder()
{
    g_openFolderOrTell(g_localDbDir().absolutePath());
}

void MainWindow::miViewCache()
{
    const AbsTreeItemModel::_ItemNode* node = currentSourceNode();
    if (!node || node->type != ITEMNODE_IOS_DEVICE)
        return;
    const IOSDevice& device = static_cast<const _IOSDeviceItemNode*>(node)->device;
    // A saved device is known by its folder's path, which names no cache
    // folder: the user learns why nothing opens.
    const QString idError = device.udidError();
    if (!idError.isEmpty()) {
        Tips::warning(idError);
        return;
    }
    g_openFolderOrTell(device.cacheDir().absolutePath());
}

// The chosen node goes, whatever its handle: saved devices have none, and
// looking the node up by handle would take another saved device's node.
// Nothing is sent to the device and its cache folder stays.
void MainWindow::miUnmoutDevice()
{
    const AbsTreeItemModel::_ItemNode* node = currentSourceNode();
    if (!node || node->type != ITEMNODE_IOS_DEVICE)
        return;
    resetMessagesShow();
    mainModel->removeNode(node);
}

void MainWindow::miCheckUpdate()
{
    openMakerPage(updatePageUrl());
}

void MainWindow::miHelp()
{
    openMakerPage(helpPageUrl());
}

void MainWindow::miFeedback()
{
    openMakerPage(supportPageUrl());
}

void MainWindow::miAbout()
{
    AboutUsForm about(this);
    about.exec();
}

void MainWindow::miHome()
{
    g_openLink(QString());
}

// Deletes the device caches, the backup caches and the device backups, then
// looks at what is still there: success is claimed only when nothing is.
void MainWindow::miClearCache()
{
    const QDir data = g_dataSaveDir();
    const QStringList caches = {data.absoluteFilePath(QStringLiteral("ios_cache")),
                                data.absoluteFilePath(QStringLiteral("itunes_cache"))};
    QStringList left;
    for (const QString& cache : caches)
        if (!g_delDirCascade(cache))
            left.append(cache);
    iosbackup_clear_temp();
    const QString backups = iosbackup_temp_dir().absolutePath();
    if (QFileInfo::exists(backups))
        left.append(backups);
    if (left.isEmpty())
        Tips::info(tr("IDS_SUC_CLEAR_CACHE"));
    else
        Tips::warning(tr("IDS_CLEAR_CACHE_INCOMPLETE_%1").arg(left.join(QLatin1Char('\n'))));
}
