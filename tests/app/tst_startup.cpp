// The program's start: translation, log file and device frameworks before
// the main window, which lists the folder databases and leaves files of the
// older kind alone.
#include <QDate>
#include <QLabel>
#include <QtTest>

#include "data_path_util.h"
#include "datahome.h"
#include "itemmodelmain.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "startup.h"
#include "ui_mainwindow.h"

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void startsWithoutFrameworks()
    {
        DataHome home;
        const QDir local = g_localDbDir();
        QVERIFY(local.mkpath(QStringLiteral("folder-db")));
        QFile older(local.absoluteFilePath(QStringLiteral("older.db")));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("old");
        older.close();
        QVERIFY(local.mkpath(QStringLiteral(".hidden")));
        qputenv("QUILLSPROUT_FRAMEWORKS", home.file(QStringLiteral("no-frameworks")).toUtf8());

        ModalWatcher watcher;
        std::unique_ptr<MainWindow> window = startApplication(*qApp);
        qWarning("after start");
        qInstallMessageHandler(nullptr);
        QFile log(g_dataSaveDir().absoluteFilePath(
            QStringLiteral("qlogs/log-%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")))));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("after start"));

        // The missing frameworks give one warning and no listener warning.
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Warning);
        QVERIFY(window->isVisible());
        // The translation was in place before the window was built.
        QCOMPARE(window->form()->lbSMSCount->text(), QStringLiteral("SMS: 0"));
        QCOMPARE(window->sourceModel()->rootDevice->text, QStringLiteral("Devices"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Quillsprout Chatterquay for Mac"));
        // Folders are listed; the older file is left as it was.
        const AbsTreeItemModel::_ItemNode* locals = window->sourceModel()->rootLocalDb;
        QCOMPARE(locals->childs.size(), 1);
        QCOMPARE(locals->childs.first()->text, QStringLiteral("folder-db"));
        QCOMPARE(olderLocalDatabases(), QStringList{QStringLiteral("older.db")});
        QCOMPARE(QFileInfo(older).size(), 3);
        window.reset();
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
