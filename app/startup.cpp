#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>

#include <csignal>

#include "data_path_util.h"
#include "devicewarningbox.h"
#include "instancelock.h"
#include "localdbmigration.h"
#include "localdbupdatethread.h"
#include "logsaver.h"
#include "mainwindow.h"
#include "mobiledevice_session.h"
#include "progressform.h"
#include "progressrunner.h"
#include "tips.h"
#include "translation.h"

namespace {

constexpr int kLogFilesKept = 10;

} // namespace

StartedApplication startApplication(QApplication& app)
{
    // A peer that closes a socket or pipe must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Without the translation the keys and source texts show as they are.
    installEnglishTranslation(&app);
    // Settled here, before any worker thread can ask for it first.
    g_settleDataSaveDir();
    StartedApplication started;
    started.instanceLock = g_lockDataFolder();
    if (!started.instanceLock) {
        Tips::warning(QObject::tr("Quillsprout Chatterquay is already running with the data folder %1. "
                                  "Please use the window that is open.")
                          .arg(g_dataSaveDir().absolutePath().toHtmlEscaped()));
        return started;
    }
    logsaver_install_msghandler(g_dataSaveDir().absoluteFilePath(QStringLiteral("qlogs")), kLogFilesKept);
    // Device code warns through a reporter; from here on it is a message box.
    g_installDeviceWarningBoxes();
    mobiledevice_init();
    started.window = std::make_unique<MainWindow>(nullptr);
    started.window->show();
    return started;
}

QStringList olderLocalDatabases()
{
    return LocalDbMigration::pendingFiles(g_localDbDir());
}

bool migrateOlderLocalDatabases(MainWindow& window)
{
    if (olderLocalDatabases().isEmpty())
        return false;
    ProgressForm form(QString(), nullptr);
    form.setCancelable(false);
    LocalDbUpdateThread worker(form);
    if (!g_runWithProgress(form, worker))
        return false;
    QMetaObject::invokeMethod(&window, &MainWindow::exitProgram, Qt::QueuedConnection);
    return true;
}
