// The main window's backup into a local database over a temporary HOME: the
// chooser's default name, a new database and its node, an existing one met
// whatever the case of the typed name, a second backup of the same messages,
// and a worker failure that leaves the node as it was.
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

#include "conversationfixture.h"
#include "data_path_util.h"
#include "itemmodelmain.h"
#include "localdbselform.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "mytreeview.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "temphome.h"
#include "translation.h"
#include "ui_mainwindow.h"

using Node = AbsTreeItemModel::_ItemNode;

namespace {

// What the database chooser offered, and the name typed into it (empty:
// Cancel).
struct Chooser
{
    QString typed;
    QString offered;
    QStringList names;
    bool shown = false;
};

void answerChooser(ModalWatcher& watcher, Chooser& chooser)
{
    watcher.onDialog([&chooser](QWidget* modal) {
        auto* form = qobject_cast<LocalDbSelForm*>(modal);
        if (!form)
            return false;
        auto* combo = form->findChild<QComboBox*>(QStringLiteral("cbLocalDbNames"));
        chooser.shown = true;
        chooser.offered = combo->currentText();
        for (int i = 0; i < combo->count(); ++i)
            chooser.names << combo->itemText(i);
        if (chooser.typed.isEmpty()) {
            form->reject();
            return true;
        }
        combo->setEditText(chooser.typed);
        emit form->findChild<QPushButton*>(QStringLiteral("btnOK"))->pressed();
        return true;
    });
}

QStringList boxTexts(const ModalWatcher& watcher)
{
    QStringList texts;
    for (const ModalWatcher::ShownBox& box : watcher.shown())
        texts << box.text;
    return texts;
}

int mode(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QString localDbFolder(const QString& name)
{
    return g_localDbDir().absoluteFilePath(name);
}

int messageCount(const QString& name)
{
    return SqlFixture::scalar(SmsDbFixture::smsDbPath(localDbFolder(name)), "select count(*) from message").toInt();
}

} // namespace

class TestMainWindowLocalDbBackup : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempHome> home;

    static Node* device(MainWindow& w) { return w.sourceModel()->rootDevice->childs.at(0); }
    static QList<Node*> localDbs(MainWindow& w) { return w.sourceModel()->rootLocalDb->childs; }
    static void select(MainWindow& w, const Node* node)
    {
        w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(node));
    }
    static const Node* current(MainWindow& w)
    {
        return static_cast<const Node*>(w.form()->treeViewDS->currentIndex().internalPointer());
    }

    // Runs `slot` with the chooser answered by `typed`; the boxes shown.
    static QStringList backup(MainWindow& w, const char* slot, Chooser& chooser)
    {
        ModalWatcher watcher;
        answerChooser(watcher, chooser);
        QMetaObject::invokeMethod(&w, slot);
        return boxTexts(watcher);
    }

private slots:
    void initTestCase()
    {
        ::umask(022);
        QVERIFY(installEnglishTranslation(QCoreApplication::instance()));
    }

    // A saved device "My iPhone" with Ann (3 messages) and Bob (2).
    void init()
    {
        home = std::make_unique<TempHome>();
        g_resetDataSaveDirForTests();
        ConversationFixture::create(g_dataSaveDir().absoluteFilePath(QStringLiteral("virtual_ios/My iPhone")),
                                    {{QStringLiteral("Ann"), 3}, {QStringLiteral("Bob"), 2}});
    }

    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        home.reset();
        g_resetDataSaveDirForTests();
    }

    // The File command on a conversation of the device backs that
    // conversation up into a new database named after the device, whose
    // node is listed, filled and made current.
    void newDatabaseFromConversation()
    {
        MainWindow w;
        select(w, device(w)); // reads the device's messages
        const Node* bob = device(w)->childs.at(0); // the newest conversation first
        select(w, bob);
        Chooser chooser;
        chooser.typed = QStringLiteral("My iPhone_Backup");
        QCOMPARE(backup(w, "miBackup", chooser), QStringList{"Successfully Backup 2 SMS to local Database."});
        QCOMPARE(chooser.offered, QStringLiteral("My iPhone_Backup"));
        QCOMPARE(chooser.names, QStringList{QString()});

        QCOMPARE(localDbs(w).size(), 1);
        const Node* node = localDbs(w).at(0);
        QCOMPARE(node->text, QStringLiteral("My iPhone_Backup"));
        QCOMPARE(node->childs.size(), 1);
        QCOMPARE(node->childs.at(0)->text, bob->text);
        QTRY_COMPARE(current(w), node);
        QCOMPARE(messageCount(QStringLiteral("My iPhone_Backup")), 2);
        QCOMPARE(mode(localDbFolder(QStringLiteral("My iPhone_Backup"))), 0700);
        QCOMPARE(mode(SmsDbFixture::smsDbPath(localDbFolder(QStringLiteral("My iPhone_Backup")))), 0600);
    }

    // A name that differs only in case reaches the existing database: no
    // second node; backing the same messages up again stores them once and
    // still reports them all; the node's children are rebuilt, not doubled.
    void existingDatabaseAndRepeat()
    {
        MainWindow w;
        Chooser first;
        first.typed = QStringLiteral("Work");
        select(w, device(w));
        QCOMPARE(backup(w, "miBackupAll", first), QStringList{"Successfully Backup 5 SMS to local Database."});
        QCOMPARE(first.offered, QStringLiteral("My iPhone_Backup"));
        w.form()->treeViewDS->expand(w.sourceModel()->indexOfItemNode(localDbs(w).at(0)));

        select(w, device(w));
        Chooser again;
        again.typed = QStringLiteral("WORK");
        QCOMPARE(backup(w, "miBackupAll", again), QStringList{"Successfully Backup 5 SMS to local Database."});
        QCOMPARE(again.names, QStringList({QString(), "Work"}));
        QCOMPARE(localDbs(w).size(), 1);
        QCOMPARE(localDbs(w).at(0)->text, QStringLiteral("Work"));
        QCOMPARE(localDbs(w).at(0)->childs.size(), 2);
        QCOMPARE(messageCount(QStringLiteral("Work")), 5);
        QVERIFY(!QFileInfo::exists(localDbFolder(QStringLiteral("WORK"))));
    }

    // A chooser left with Cancel changes nothing.
    void chooserCancelled()
    {
        MainWindow w;
        select(w, device(w));
        Chooser chooser;
        QCOMPARE(backup(w, "miBackupAll", chooser), QStringList());
        QVERIFY(chooser.shown);
        QVERIFY(localDbs(w).isEmpty());
        QVERIFY(g_localDbDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }

    // A database that cannot be opened: the worker's error is shown, the
    // node is not read again and does not become current.
    void workerFailure()
    {
        QDir().mkpath(SmsDbFixture::smsDbPath(localDbFolder(QStringLiteral("Broken")))); // a folder in its place
        MainWindow w;
        select(w, device(w));
        Chooser chooser;
        chooser.typed = QStringLiteral("Broken");
        const QStringList boxes = backup(w, "miBackupAll", chooser);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.at(0).contains(QStringLiteral("sms.db")), qPrintable(boxes.at(0)));
        QCOMPARE(localDbs(w).size(), 1);
        QVERIFY(localDbs(w).at(0)->childs.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(current(w), device(w));
    }
};

QTEST_MAIN(TestMainWindowLocalDbBackup)
#include "tst_mainwindow_localdb_backup.moc"
