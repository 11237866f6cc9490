// The main window's delete commands over a temporary HOME: which command the
// File menu's Delete takes, the questions, what the file, the tree and the
// views hold after a deletion, a failure or a No, and the removal of a whole
// database folder, which never reaches beyond its own folder. Deletions run
// while the views show the messages that go, so that the sanitizers see any
// view that reads a freed message.
#include <QAction>
#include <QLabel>
#include <QtTest>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

#include "conversationfixture.h"
#include "data_path_util.h"
#include "datahome.h"
#include "ios6messagedb.h"
#include "itemmodelmain.h"
#include "itemmodelsms.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "mytreeview.h"
#include "smsbrowser.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "translation.h"
#include "ui_mainwindow.h"

using Chat = ConversationFixture::Chat;
using Node = AbsTreeItemModel::_ItemNode;

namespace {

QStringList texts(const QList<_MsgMessage*>& messages)
{
    QStringList list;
    for (const _MsgMessage* m : messages)
        list.append(m->text);
    list.sort();
    return list;
}

// A chain of folders whose full path is longer than the system takes, made
// and removed through descriptors: nothing can remove it by path, not even
// root, so a folder holding it cannot be removed completely.
constexpr int kDeepLevels = 24;
const std::string kDeepName(200, 'd');

bool makeDeepChain(const QString& top)
{
    int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; fd >= 0 && i < kDeepLevels; ++i) {
        const int next = ::mkdirat(fd, kDeepName.c_str(), 0700) == 0
                             ? ::openat(fd, kDeepName.c_str(), O_RDONLY | O_DIRECTORY)
                             : -1;
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

void removeDeepChain(int parentFd, int level)
{
    if (level >= kDeepLevels)
        return;
    const int fd = ::openat(parentFd, kDeepName.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    removeDeepChain(fd, level + 1);
    ::close(fd);
    ::unlinkat(parentFd, kDeepName.c_str(), AT_REMOVEDIR);
}

} // namespace

class TestMainWindowLocalDbDelete : public QObject
{
    Q_OBJECT

    std::unique_ptr<DataHome> home;

    static QString localPath(const QString& name) { return g_localDbDir().absoluteFilePath(name); }
    static QString dbFile(const QString& name) { return SmsDbFixture::smsDbPath(localPath(name)); }
    static int count(const QString& name, const char* table)
    {
        return SqlFixture::scalar(dbFile(name), QStringLiteral("select count(*) from %1").arg(table)).toInt();
    }

    static void select(MainWindow& w, const Node* node)
    {
        w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(node));
    }

    static void selectRows(MainWindow& w, const QList<int>& rows)
    {
        QItemSelectionModel* selection = w.form()->treeViewSMS->selectionModel();
        for (int row : rows)
            selection->select(w.messageModel()->indexOfPos(row), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    static Node* family(MainWindow& w) { return w.sourceModel()->rootLocalDb->childs.at(0); }
    // Ann's conversation (chat 1, three messages); Bob's (two) is newer and first.
    static Node* ann(MainWindow& w) { return family(w)->childs.at(1); }

    static QAction* deleteAction(MainWindow& w)
    {
        for (QAction* a : w.findChildren<QAction*>())
            if (a->text() == QStringLiteral("Delete SMS"))
                return a;
        return nullptr;
    }

    // Shows the window and paints it: the list, the browser and the tree
    // read every record they hold, so a view left holding a freed message or
    // chat shows up under the sanitizers.
    static void paint(MainWindow& w)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.grab();
    }

    // Delete SMS from the File menu, answered Yes, while the window shows
    // what goes; painted again afterwards.
    static void deleteWhileShown(MainWindow& w, ModalWatcher& watcher)
    {
        paint(w);
        watcher.answer(QMessageBox::Yes);
        deleteAction(w)->trigger();
        paint(w);
    }

    static const Node* current(MainWindow& w)
    {
        return static_cast<const Node*>(w.form()->treeViewDS->currentIndex().internalPointer());
    }

private slots:
    void initTestCase() { QVERIFY(installEnglishTranslation(QCoreApplication::instance())); }

    void init()
    {
        home = std::make_unique<DataHome>();
        ConversationFixture::create(localPath(QStringLiteral("Family")), {{QStringLiteral("Ann"), 3}, {QStringLiteral("Bob"), 2}});
    }

    void cleanup() { home.reset(); }

    // Delete SMS with rows selected under a conversation: those rows, after
    // the question; the same conversation then lists what is left.
    void deleteTakesSelectedRows()
    {
        MainWindow w;
        select(w, family(w));
        select(w, ann(w));
        QCOMPARE(w.messageModel()->rowCount(), 3);
        selectRows(w, {0, 2});
        ModalWatcher watcher;
        deleteWhileShown(w, watcher);

        QCOMPARE(watcher.shown().size(), 2);
        QCOMPARE(watcher.shown().at(0).icon, QMessageBox::Question);
        QCOMPARE(watcher.shown().at(0).text, QStringLiteral("Confirm to delete the selected SMS?<br/><br/><b>2 messages</b> "
                                                            "are removed from the database <b>Family</b>."));
        QCOMPARE(watcher.shown().at(1).text, QStringLiteral("Successfully Deleted 2 SMS."));
        QCOMPARE(current(w), ann(w));
        QCOMPARE(texts(w.messageModel()->messages()), QStringList{"Message 1.2"});
        QCOMPARE(w.form()->txtSMS->messages(), w.messageModel()->messages());
        QCOMPARE(count("Family", "message"), 3);
        QCOMPARE(count("Family", "chat"), 2);
        const auto* node = static_cast<const _LocalDBItemNode*>(family(w));
        QCOMPARE(node->data.p()->messages.size(), 3);
    }

    // With the database node current, the selected rows of all its messages.
    void deleteSelectedUnderDatabaseNode()
    {
        MainWindow w;
        select(w, family(w));
        selectRows(w, {0, 1, 2, 3, 4});
        ModalWatcher watcher;
        watcher.answer(QMessageBox::Yes);
        QMetaObject::invokeMethod(&w, "miDelSel");
        QCOMPARE(watcher.shown().value(1).text, QStringLiteral("Successfully Deleted 5 SMS."));
        QCOMPARE(current(w), family(w));
        QCOMPARE(w.messageModel()->rowCount(), 0);
        QCOMPARE(count("Family", "message"), 0);
        QCOMPARE(count("Family", "chat"), 0);
        // The emptied conversations keep their nodes while the database's lives.
        QCOMPARE(family(w)->childs.size(), 2);
        select(w, ann(w));
        QCOMPARE(w.messageModel()->rowCount(), 0);
    }

    // Delete SMS without selected rows under a conversation: the whole
    // conversation, its node and its chat; no node is current afterwards.
    void deleteTakesConversation()
    {
        MainWindow w;
        select(w, family(w));
        select(w, ann(w));
        ModalWatcher watcher;
        deleteWhileShown(w, watcher);

        QCOMPARE(watcher.shown().size(), 2);
        QCOMPARE(watcher.shown().at(0).text,
                 QStringLiteral("Confirm to delete SMS with this contact?<br/><br/>The conversation <b>%1</b> (3 "
                                "messages) is removed from the database <b>Family</b>.")
                     .arg(ann(w)->text.toHtmlEscaped()));
        QCOMPARE(watcher.shown().at(1).text, QStringLiteral("Successfully Deleted 3 SMS."));
        QVERIFY(!current(w));
        QCOMPARE(w.messageModel()->rowCount(), 0);
        QVERIFY(w.form()->txtSMS->messages().isEmpty());
        QCOMPARE(family(w)->childs.size(), 1);
        QCOMPARE(family(w)->childs.first()->text, QStringLiteral("bob"));
        const auto* node = static_cast<const _LocalDBItemNode*>(family(w));
        QCOMPARE(node->data.p()->messages.size(), 2);
        QCOMPARE(node->data.p()->chats.size(), 1);
        QCOMPARE(count("Family", "message"), 2);
        QCOMPARE(count("Family", "chat"), 1);
        // The database node shows what is left.
        select(w, family(w));
        QCOMPARE(texts(w.messageModel()->messages()), (QStringList{"Message 2.1", "Message 2.2"}));
    }

    // Delete SMS on a database node with no rows selected: the whole folder.
    void deleteTakesWholeDatabase()
    {
        ConversationFixture::create(localPath(QStringLiteral("Work")), {{QStringLiteral("Cid"), 1}});
        MainWindow w;
        select(w, family(w));
        QCOMPARE(w.messageModel()->rowCount(), 5);
        ModalWatcher watcher;
        deleteWhileShown(w, watcher);

        QCOMPARE(watcher.shown().size(), 2);
        QCOMPARE(watcher.shown().at(0).text, QStringLiteral("Confirm to delete this Database?<br/><br/>The database "
                                                            "<b>Family</b> is removed with every message in it."));
        QCOMPARE(watcher.shown().at(1).icon, QMessageBox::Information);
        QCOMPARE(watcher.shown().at(1).text, QStringLiteral("Successfully Deleted Database Family."));
        QVERIFY(!QFileInfo::exists(localPath(QStringLiteral("Family"))));
        QVERIFY(QFileInfo::exists(dbFile(QStringLiteral("Work"))));
        QCOMPARE(w.sourceModel()->rootLocalDb->childs.size(), 1);
        QCOMPARE(w.sourceModel()->rootLocalDb->childs.first()->text, QStringLiteral("Work"));
        QVERIFY(!current(w));
        QCOMPARE(w.messageModel()->rowCount(), 0);
        QVERIFY(w.form()->txtSMS->messages().isEmpty());
    }

    // No to the question, or Return or Escape pressed on it: nothing
    // changes, whichever command asked; the question names what would go.
    void answeringNoChangesNothing_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<bool>("onConversation");
        QTest::addColumn<int>("key"); // 0: the No button
        QTest::addColumn<QString>("names");
        for (const int key : {0, int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape)}) {
            const QByteArray how = key == 0 ? QByteArray("No") : QKeySequence(key).toString().toLatin1();
            QTest::addRow("selected, %s", how.constData()) << "miDelSel" << true << key << "<b>1 message</b>";
            QTest::addRow("conversation, %s", how.constData()) << "miDelChat" << true << key << "(3 messages)";
            QTest::addRow("database, %s", how.constData()) << "miDelAll" << false << key << "<b>Family</b>";
        }
    }

    void answeringNoChangesNothing()
    {
        QFETCH(QString, slot);
        QFETCH(bool, onConversation);
        MainWindow w;
        select(w, family(w));
        if (onConversation)
            select(w, ann(w));
        selectRows(w, {0});
        const int listed = w.messageModel()->rowCount();
        QFETCH(int, key);
        QFETCH(QString, names);
        ModalWatcher watcher;
        if (key)
            watcher.answerKey(Qt::Key(key));
        else
            watcher.answer(QMessageBox::No);
        QMetaObject::invokeMethod(&w, slot.toLatin1().constData());
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Question);
        QVERIFY2(watcher.shown().first().text.contains(names), qPrintable(watcher.shown().first().text));
        QCOMPARE(w.messageModel()->rowCount(), listed);
        QCOMPARE(family(w)->childs.size(), 2);
        QCOMPARE(count("Family", "message"), 5);
    }

    // Devices, their conversations and the roots: nothing is asked or deleted.
    void nothingOutsideLocalDatabases()
    {
        ConversationFixture::create(g_dataSaveDir().absoluteFilePath(QStringLiteral("virtual_ios/Phone")),
                                    {{QStringLiteral("+1555"), 2}});
        MainWindow w;
        const Node* phone = w.sourceModel()->rootDevice->childs.first();
        ModalWatcher watcher;
        for (const Node* node : QList<const Node*>{phone, phone->childs.first(), w.sourceModel()->rootLocalDb}) {
            select(w, node);
            selectRows(w, {0});
            for (const char* slot : {"miDel", "miDelSel", "miDelChat", "miDelAll"})
                QMetaObject::invokeMethod(&w, slot);
        }
        QVERIFY(watcher.shown().isEmpty());
        QVERIFY(QFileInfo::exists(g_dataSaveDir().absoluteFilePath(QStringLiteral("virtual_ios/Phone"))));
        QCOMPARE(w.sourceModel()->rootLocalDb->childs.size(), 1);
    }

    // A delete that fails in the file: its error box, and the file, the
    // tree, the loaded messages and the views as they were.
    void failedDeletionChangesNothing()
    {
        SqlFixture::build(dbFile(QStringLiteral("Family")),
                          QStringLiteral("create trigger refuse before delete on message when old.ROWID = 3"
                                         " begin select raise(abort, 'injected failure'); end;"));
        MainWindow w;
        select(w, family(w));
        select(w, ann(w));
        const QList<_MsgMessage*> listed = w.messageModel()->messages();
        ModalWatcher watcher;
        watcher.answer(QMessageBox::Yes);
        QMetaObject::invokeMethod(&w, "miDelChat");
        QCOMPARE(watcher.shown().size(), 2);
        QCOMPARE(watcher.shown().at(1).icon, QMessageBox::Critical);
        QVERIFY(watcher.shown().at(1).text.contains(QStringLiteral("injected failure")));
        QCOMPARE(current(w), ann(w));
        QCOMPARE(w.messageModel()->messages(), listed);
        QCOMPARE(family(w)->childs.size(), 2);
        QCOMPARE(static_cast<const _LocalDBItemNode*>(family(w))->data.p()->messages.size(), 5);
        QCOMPARE(count("Family", "message"), 5);
        QCOMPARE(count("Family", "chat"), 2);
    }

    // A database folder that cannot be removed completely: an error naming
    // it in place of the success, and the node goes (the folder is listed
    // again at the next start).
    void folderLeftBehindIsAnError()
    {
        QVERIFY(makeDeepChain(localPath(QStringLiteral("Family"))));
        MainWindow w;
        select(w, family(w));
        ModalWatcher watcher;
        watcher.answer(QMessageBox::Yes);
        QMetaObject::invokeMethod(&w, "miDelAll");
        const int top = ::open(QFile::encodeName(localPath(QStringLiteral("Family"))).constData(), O_RDONLY | O_DIRECTORY);
        if (top >= 0) {
            removeDeepChain(top, 0);
            ::close(top);
        }
        QCOMPARE(watcher.shown().size(), 2);
        QCOMPARE(watcher.shown().at(1).icon, QMessageBox::Critical);
        QVERIFY(watcher.shown().at(1).text.contains(localPath(QStringLiteral("Family"))));
        QVERIFY(w.sourceModel()->rootLocalDb->childs.isEmpty());
        QVERIFY(!QFileInfo::exists(dbFile(QStringLiteral("Family"))));
    }

    // A database reached through a link: the link goes, what it points to stays.
    void linkedDatabaseLosesOnlyTheLink()
    {
        const QString outside = home->file(QStringLiteral("elsewhere"));
        ConversationFixture::create(outside, {{QStringLiteral("Dee"), 1}});
        QVERIFY(QFile::link(outside, localPath(QStringLiteral("Linked"))));
        MainWindow w;
        const Node* linked = w.sourceModel()->rootLocalDb->childs.at(1);
        QCOMPARE(linked->text, QStringLiteral("Linked"));
        select(w, linked);
        ModalWatcher watcher;
        watcher.answer(QMessageBox::Yes);
        QMetaObject::invokeMethod(&w, "miDelAll");
        QCOMPARE(watcher.shown().value(1).text, QStringLiteral("Successfully Deleted Database Linked."));
        QVERIFY(!QFileInfo(localPath(QStringLiteral("Linked"))).isSymLink());
        QVERIFY(QFileInfo::exists(SmsDbFixture::smsDbPath(outside)));
    }

    // A node whose name would reach the databases' own folder, the data
    // folder, a hidden entry or a deeper folder removes nothing.
    void refusedNamesRemoveNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("dot") << ".";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("hidden") << ".Family";
        QTest::newRow("deeper") << "Family/file-relay";
    }

    void refusedNamesRemoveNothing()
    {
        QFETCH(QString, name);
        QVERIFY(QDir(localPath(QStringLiteral(".Family"))).mkpath(QStringLiteral(".")));
        MainWindow w;
        const QSharedPointer<AbsMessageDb> db(new IOS6MessageDb(QDir(localPath(QStringLiteral("Family"))), _CountryInfo(), true));
        select(w, w.sourceModel()->addLocalDb(db, name));
        ModalWatcher watcher;
        watcher.answer(QMessageBox::Yes);
        QMetaObject::invokeMethod(&w, "miDelAll");
        QCOMPARE(watcher.shown().size(), 2);
        QCOMPARE(watcher.shown().at(1).icon, QMessageBox::Critical);
        QVERIFY(QFileInfo::exists(dbFile(QStringLiteral("Family"))));
        QVERIFY(QFileInfo::exists(localPath(QStringLiteral(".Family"))));
        QCOMPARE(w.sourceModel()->rootLocalDb->childs.size(), 2);
    }
};

QTEST_MAIN(TestMainWindowLocalDbDelete)
#include "tst_mainwindow_localdb_delete.moc"
