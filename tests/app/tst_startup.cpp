// The program's start: translation, log file and device frameworks before
// the main window, which lists the folder databases and leaves files of the
// older kind alone; then the migration of those files, which ends the
// program for a restart after a success and lets it go on after a failure.
#include <QDate>
#include <QLockFile>
#include <QProcess>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "data_path_util.h"
#include "datahome.h"
#include "itemmodelmain.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "olderlocaldbfixture.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "translation.h"
#include "startup.h"
#include "instancelock.h"
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
        StartedApplication started = startApplication(*qApp);
        std::unique_ptr<MainWindow>& window = started.window;
        QVERIFY(window);
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

    // A second start on the same data folder: the box, and no window.
    void secondInstanceIsRefused()
    {
        DataHome home;
        qputenv("QUILLSPROUT_FRAMEWORKS", home.file(QStringLiteral("no-frameworks")).toUtf8());
        std::unique_ptr<QLockFile> first = g_lockDataFolder();
        QVERIFY(first);
        ModalWatcher watcher;
        StartedApplication second = startApplication(*qApp);
        qInstallMessageHandler(nullptr);
        QVERIFY(!second.window);
        QVERIFY(!second.instanceLock);
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Warning);
        QVERIFY2(watcher.shown().first().text.contains(QStringLiteral("already running")),
                 qPrintable(watcher.shown().first().text));
        // Once the first has ended, a start goes ahead.
        first.reset();
        QVERIFY(g_lockDataFolder());
    }

    // A lock left by a process that has ended is taken over.
    void staleLockIsTakenOver()
    {
        DataHome home;
        qputenv("QUILLSPROUT_FRAMEWORKS", home.file(QStringLiteral("no-frameworks")).toUtf8());
        // The lock file as a crashed run leaves it: a holder that has gone.
        QProcess ended;
        ended.start(QStringLiteral("true"), QStringList());
        QVERIFY(ended.waitForStarted());
        const qint64 deadPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        QVERIFY(deadPid > 0);
        QByteArray content;
        {
            QLockFile lock(g_instanceLockPath());
            QVERIFY(lock.tryLock(0));
            QFile file(g_instanceLockPath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            content = file.readAll();
            lock.unlock();
        }
        const qsizetype lineEnd = content.indexOf('\n');
        QVERIFY(lineEnd > 0);
        content = QByteArray::number(deadPid) + content.mid(lineEnd);
        QFile stale(g_instanceLockPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(content);
        stale.close();

        ModalWatcher watcher;
        StartedApplication started = startApplication(*qApp);
        qInstallMessageHandler(nullptr);
        QVERIFY(started.window);
        QVERIFY(started.instanceLock && started.instanceLock->isLocked());
        QVERIFY(g_lockDataFolder() == nullptr); // now held by this run
        started.window.reset();
    }

    // A file that cannot be migrated: the error box, the file kept under its
    // temporary name, and the window goes on.
    void failedMigrationGoesOn()
    {
        DataHome home;
        QVERIFY(installEnglishTranslation(qApp));
        OlderLocalDbFixture::createWithoutView(g_localDbDir().absoluteFilePath(QStringLiteral("old.db")));
        MainWindow window;
        window.show();
        ModalWatcher watcher;
        QVERIFY(!migrateOlderLocalDatabases(window));
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Critical);
        QVERIFY(watcher.shown().first().text.contains(QStringLiteral("view_sms")));
        QCOMPARE(olderLocalDatabases(), QStringList{QStringLiteral("old.db.__tmp")});
        QTest::qWait(50);
        QVERIFY(window.isVisible());
    }

    // Nothing to migrate: no dialog at all.
    void noOlderFilesNoDialog()
    {
        DataHome home;
        MainWindow window;
        ModalWatcher watcher;
        bool dialogShown = false;
        watcher.onDialog([&](QWidget*) { return dialogShown = true; });
        QVERIFY(!migrateOlderLocalDatabases(window));
        QVERIFY(!dialogShown);
        QVERIFY(watcher.shown().isEmpty());
    }

    // Last: the success ends the program, and a quit stops every later
    // event loop of this process. The dialog cannot be cancelled; the user
    // is asked to restart and the window closes once the loop runs.
    void migrationAsksForRestart()
    {
        DataHome home;
        QVERIFY(installEnglishTranslation(qApp));
        OlderLocalDbFixture::create(g_localDbDir().absoluteFilePath(QStringLiteral("sms.db")),
                                    {{QStringLiteral("+1 555 0100"), QStringLiteral("hi"), QStringLiteral("Ann"), 1000000000, 1}});
        MainWindow window;
        window.show();
        ModalWatcher watcher;
        bool cancelEnabled = true;
        watcher.onDialog([&](QWidget* modal) {
            auto* cancel = modal->findChild<QPushButton*>(QStringLiteral("btnCancel"));
            if (cancel)
                cancelEnabled = cancel->isEnabled();
            return cancel != nullptr;
        });
        QVERIFY(migrateOlderLocalDatabases(window));
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().text, QStringLiteral("Successfully updated local database. Please restart software."));
        QVERIFY(!cancelEnabled);
        QVERIFY(olderLocalDatabases().isEmpty());
        QCOMPARE(SqlFixture::scalar(SmsDbFixture::smsDbPath(g_localDbDir().absoluteFilePath(QStringLiteral("sms.db"))),
                                    QStringLiteral("select text from message"))
                     .toString(),
                 QStringLiteral("hi"));
        QVERIFY(window.isVisible());
        QTRY_VERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
