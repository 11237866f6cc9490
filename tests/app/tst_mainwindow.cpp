// The main window over a temporary HOME: nodes from the data folder, what
// each kind of node shows, the list's order, the two searches, the messages
// an operation takes, a rendered window and the window at its minimum size.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

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
#include "ui_mainwindow.h"

using Chat = ConversationFixture::Chat;
using Node = AbsTreeItemModel::_ItemNode;

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<DataHome> home;

    QString dataPath(const QString& relative) { return g_dataSaveDir().absoluteFilePath(relative); }

    void makeLocalDb(const QString& name, const QList<Chat>& chats)
    {
        ConversationFixture::create(dataPath(QStringLiteral("local_databases/") + name), chats);
    }

    static Node* child(const Node* parent, int row) { return parent->childs.at(row); }

    static void select(MainWindow& w, const Node* node)
    {
        w.form()->treeViewDS->setCurrentIndex(w.sourceModel()->indexOfItemNode(node));
    }

    static QStringList listedTexts(MainWindow& w)
    {
        QStringList texts;
        for (const _MsgMessage* m : w.messageModel()->messages())
            texts.append(m->text);
        return texts;
    }

    static QAction* action(MainWindow& w, const QString& text)
    {
        for (QAction* a : w.menuBar()->findChildren<QAction*>())
            if (a->text() == text)
                return a;
        return nullptr;
    }

private slots:
    void init() { home = std::make_unique<DataHome>(); }

    void cleanup()
    {
        home.reset();
    }

    void nodesFromFolders()
    {
        makeLocalDb(QStringLiteral("b"), {});
        makeLocalDb(QStringLiteral("a"), {});
        QDir(dataPath(QStringLiteral("local_databases"))).mkpath(QStringLiteral(".hidden"));
        QFile plain(dataPath(QStringLiteral("local_databases/old.db")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        ConversationFixture::create(dataPath(QStringLiteral("virtual_ios/Phone")),
                                    {{QStringLiteral("+15550100"), 2}, {QStringLiteral("+15550101"), 1}});
        QDir(dataPath(QStringLiteral("virtual_ios"))).mkpath(QStringLiteral("Empty"));

        ModalWatcher watcher;
        MainWindow w;
        QAbstractItemModelTester tester(w.sourceModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const Node* locals = w.sourceModel()->rootLocalDb;
        QCOMPARE(locals->childs.size(), 2);
        QCOMPARE(child(locals, 0)->text, QStringLiteral("a"));
        QCOMPARE(child(locals, 1)->text, QStringLiteral("b"));
        QVERIFY(child(locals, 0)->childs.isEmpty()); // read on first selection only
        QVERIFY(w.form()->treeViewDS->isExpanded(w.sourceModel()->indexOfItemNode(locals)));

        const Node* devices = w.sourceModel()->rootDevice;
        QCOMPARE(devices->childs.size(), 2);
        auto* empty = static_cast<const _IOSDeviceItemNode*>(child(devices, 0));
        auto* phone = static_cast<const _IOSDeviceItemNode*>(child(devices, 1));
        QCOMPARE(empty->text, QStringLiteral("Empty"));
        QVERIFY(empty->childs.isEmpty());
        QCOMPARE(phone->childs.size(), 2);
        QCOMPARE(phone->childs.first()->text, QStringLiteral("+15550101")); // newest first
        QCOMPARE(phone->device.udid, dataPath(QStringLiteral("virtual_ios/Phone")));
        QVERIFY(!phone->device.device);
        QVERIFY(watcher.shown().isEmpty());
        QCOMPARE(w.form()->lbSMSCount->text(), QStringLiteral("Messages: 0"));
        QCOMPARE(w.form()->lbChatName->text(), QStringLiteral("Conversations"));
        QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
        QVERIFY(w.form()->treeViewDS->isHeaderHidden());
        QCOMPARE(w.form()->treeViewSMS->selectionMode(), QAbstractItemView::ExtendedSelection);
    }

    void selectingEachKindOfNode()
    {
        makeLocalDb(QStringLiteral("db"), {{QStringLiteral("Ann"), 3}, {QStringLiteral("Bob"), 2}});
        makeLocalDb(QStringLiteral("none"), {});
        ModalWatcher watcher;
        MainWindow w;
        QAbstractItemModelTester tester(w.messageModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const Node* db = child(w.sourceModel()->rootLocalDb, 0);
        select(w, db);
        QCOMPARE(db->childs.size(), 2);
        QCOMPARE(w.messageModel()->rowCount(), 5);
        QCOMPARE(w.form()->lbSMSCount->text(), QStringLiteral("Messages: 5"));
        QCOMPARE(w.form()->txtSMS->messages(), w.messageModel()->messages());
        QVERIFY(action(w, QStringLiteral("Delete SMS"))->isEnabled());
        QVERIFY(!action(w, QStringLiteral("Backup SMS to Local Database"))->isEnabled());

        const Node* ann = db->childs.at(1); // Bob's chat is newer
        select(w, ann);
        QCOMPARE(listedTexts(w), (QStringList{"Message 1.1", "Message 1.2", "Message 1.3"}));
        QVERIFY(w.form()->txtSMS->toPlainText().contains(QStringLiteral("Message 1.3")));
        QVERIFY(action(w, QStringLiteral("Export SMS to File"))->isEnabled()); // a conversation counts as its parent

        // A local database without conversations leaves the list as it was.
        select(w, child(w.sourceModel()->rootLocalDb, 1));
        QCOMPARE(w.messageModel()->rowCount(), 3);

        select(w, w.sourceModel()->rootDevice);
        QCOMPARE(w.messageModel()->rowCount(), 0);
        QCOMPARE(w.form()->lbSMSCount->text(), QStringLiteral("Messages: 0"));
        QVERIFY(w.form()->txtSMS->toPlainText().isEmpty());
        QVERIFY(!action(w, QStringLiteral("Export SMS to File"))->isEnabled());
        QVERIFY(watcher.shown().isEmpty());
    }

    // Re-reading a device's database while the list, the browser and the
    // conversation nodes show its messages leaves nothing pointing at freed
    // objects (AddressSanitizer watches this test).
    void selectingADeviceTwice()
    {
        ConversationFixture::create(dataPath(QStringLiteral("virtual_ios/Phone")),
                                    {{QStringLiteral("Ann"), 60}, {QStringLiteral("Bob"), 2}});
        MainWindow w;
        const Node* phone = child(w.sourceModel()->rootDevice, 0);
        select(w, phone);
        QCOMPARE(w.messageModel()->rowCount(), 62);
        w.form()->treeViewSMS->setCurrentIndex(w.messageModel()->indexOfPos(55));
        w.form()->treeViewDS->clearSelection();
        select(w, phone);
        QCOMPARE(w.messageModel()->rowCount(), 62);
        for (int row = 0; row < 62; ++row)
            QVERIFY(!w.messageModel()->index(row, 3).data().toString().isEmpty());
        w.form()->txtSMS->scrollToPos(61);
        QVERIFY(w.form()->txtSMS->toPlainText().contains(QStringLiteral("Message 2.2")));
        select(w, phone->childs.at(1));
        QCOMPARE(w.messageModel()->rowCount(), 60);
        QCoreApplication::processEvents();
    }

    // A device's messages are read on its first selection and then only
    // when its file has changed: a message added without changing the
    // file's size or time stays unseen; once the time moves it is read,
    // both by a selection and by an operation's "all messages".
    void deviceMessagesReadAgainOnlyWhenTheFileChanged()
    {
        const QString folder = dataPath(QStringLiteral("virtual_ios/Phone"));
        ConversationFixture::create(folder, {{QStringLiteral("Ann"), 3}});
        const QString path = SmsDbFixture::smsDbPath(folder);
        MainWindow w;
        const Node* phone = child(w.sourceModel()->rootDevice, 0);
        select(w, phone);
        QCOMPARE(w.messageModel()->rowCount(), 3);

        struct stat seen;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &seen), 0);
        auto setModified = [&](qint64 laterSeconds) {
            timespec times[2] = {seen.st_atim, seen.st_mtim};
            times[1].tv_sec += laterSeconds;
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
        };
        SqlFixture::build(path, QStringLiteral("insert into message (ROWID, guid, text, handle_id, service, date) "
                                               "values (4, 'msg-4', 'Message 1.4', 1, 'SMS', 2000);"
                                               "insert into chat_message_join values (1, 4);"));
        QCOMPARE(QFileInfo(path).size(), qint64(seen.st_size)); // the new rows fit in the pages there were
        setModified(0);
        w.form()->treeViewDS->clearSelection();
        select(w, phone);
        QCOMPARE(w.messageModel()->rowCount(), 3);
        QCOMPARE(w.curAllMessages().size(), 3);

        setModified(1);
        QCOMPARE(w.curAllMessages().size(), 4);
        w.form()->treeViewDS->clearSelection();
        select(w, phone);
        QCOMPARE(listedTexts(w).last(), QStringLiteral("Message 1.4"));
        QCOMPARE(w.form()->lbSMSCount->text(), QStringLiteral("Messages: 4"));
    }

    // A disconnected device goes with its messages; the list lets go of
    // them first. Saved devices, which have no handle, stay.
    void disconnectingADevice()
    {
        ConversationFixture::create(dataPath(QStringLiteral("virtual_ios/Saved")), {{QStringLiteral("Ann"), 1}});
        const QString cache = dataPath(QStringLiteral("attached"));
        ConversationFixture::create(cache, {{QStringLiteral("Bob"), 3}});
        MainWindow w;
        IOSDevice device;
        device.deviceName = QStringLiteral("Attached");
        device.device = reinterpret_cast<am_device*>(quintptr(0x10));
        _IOSDeviceItemNode* node = w.sourceModel()->addIOSDevice(
            QSharedPointer<AbsMessageDb>(new IOS6MessageDb(QDir(cache), _CountryInfo(), false)), device);
        select(w, node);
        QCOMPARE(w.messageModel()->rowCount(), 3);
        w.iosDeviceDisconnected(nullptr);
        w.iosDeviceDisconnected(reinterpret_cast<void*>(quintptr(0x20)));
        QCOMPARE(w.sourceModel()->rootDevice->childs.size(), 2);
        w.iosDeviceDisconnected(reinterpret_cast<void*>(quintptr(0x10)));
        QCOMPARE(w.sourceModel()->rootDevice->childs.size(), 1);
        QCOMPARE(w.sourceModel()->rootDevice->childs.first()->text, QStringLiteral("Saved"));
        // The view moved on to the saved device, which shows its own message.
        QCOMPARE(listedTexts(w), QStringList{QStringLiteral("Message 1.1")});
        QCOMPARE(w.form()->txtSMS->messages(), w.messageModel()->messages());
        QVERIFY(w.form()->txtSMS->toPlainText().contains(QStringLiteral("Message 1.1")));
    }

    void sortIndicatorRules()
    {
        makeLocalDb(QStringLiteral("db"), {{QStringLiteral("Ann"), 4}});
        MainWindow w;
        select(w, child(w.sourceModel()->rootLocalDb, 0));
        QHeaderView* header = w.form()->treeViewSMS->header();
        QCOMPARE(listedTexts(w).first(), QStringLiteral("Message 1.1"));
        header->setSortIndicator(2, Qt::AscendingOrder);
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(listedTexts(w).first(), QStringLiteral("Message 1.4"));
        QVERIFY(w.form()->txtSMS->toPlainText().indexOf(QStringLiteral("Message 1.4"))
                < w.form()->txtSMS->toPlainText().indexOf(QStringLiteral("Message 1.1")));
        header->setSortIndicator(0, Qt::AscendingOrder);
        QCOMPARE(listedTexts(w).first(), QStringLiteral("Message 1.1"));
        QCOMPARE(w.curAllMessages().first()->text, QStringLiteral("Message 1.1"));
    }

    void messageSearch_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("currentRow");
        QTest::addColumn<int>("foundRow");
        QTest::addColumn<QString>("box");
        QTest::newRow("from the top") << "1.3" << -1 << 2 << "";
        QTest::newRow("wraps from the last row") << "MESSAGE" << 4 << 0 << "";
        QTest::newRow("only the current row matches") << "1.3" << 2 << 2 << "";
        QTest::newRow("upper case in the text") << "message 1.5" << -1 << 4 << "";
        QTest::newRow("after the current row") << "message" << 1 << 2 << "";
        QTest::newRow("trimmed") << "  1.2 " << -1 << 1 << "";
        QTest::newRow("blanks do nothing") << "   " << 3 << 3 << "";
        QTest::newRow("no match") << "zzz" << 1 << 1 << "IDS_CAN_NOT_FOUNDSMS_KEYWORD_zzz";
    }

    void messageSearch()
    {
        QFETCH(QString, keyword);
        QFETCH(int, currentRow);
        QFETCH(int, foundRow);
        QFETCH(QString, box);
        makeLocalDb(QStringLiteral("db"), {{QStringLiteral("Ann"), 5}});
        ModalWatcher watcher;
        MainWindow w;
        select(w, child(w.sourceModel()->rootLocalDb, 0));
        MyTreeView* list = w.form()->treeViewSMS;
        if (currentRow >= 0)
            list->selectionModel()->setCurrentIndex(w.messageModel()->indexOfPos(currentRow),
                                                    QItemSelectionModel::NoUpdate);
        w.form()->txtSMSKeyword->setText(keyword);
        QTest::keyClick(w.form()->txtSMSKeyword, Qt::Key_Return);
        QCOMPARE(list->currentIndex().row(), foundRow);
        QCOMPARE(watcher.shown().size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QCOMPARE(watcher.shown().first().text, box);
        if (box.isEmpty() && currentRow != foundRow)
            QCOMPARE(w.selectedMessages(), QList<_MsgMessage*>{w.messageModel()->messages().at(foundRow)});
    }

    void messageSearchWithNothingListed()
    {
        ModalWatcher watcher;
        MainWindow w;
        w.form()->txtSMSKeyword->setText(QStringLiteral("x"));
        QTest::mousePress(w.form()->btnSearchSMS, Qt::LeftButton);
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().text, QStringLiteral("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
    }

    void conversationSearch()
    {
        makeLocalDb(QStringLiteral("db"),
                    {{QStringLiteral("Alice"), 1}, {QStringLiteral("Bob"), 1}, {QStringLiteral("Alicia"), 1}});
        ModalWatcher watcher;
        MainWindow w;
        const Node* db = child(w.sourceModel()->rootLocalDb, 0);
        auto current = [&] { return static_cast<const Node*>(w.form()->treeViewDS->currentIndex().internalPointer()); };
        auto search = [&](const QString& keyword) {
            w.form()->txtHandleKeyword->setText(keyword);
            QTest::keyClick(w.form()->txtHandleKeyword, Qt::Key_Return);
        };
        select(w, w.sourceModel()->rootLocalDb);
        search(QStringLiteral("ali"));
        QCOMPARE(current(), static_cast<const Node*>(w.sourceModel()->rootLocalDb)); // a root: nothing
        select(w, db);
        search(QStringLiteral("ALI"));
        QCOMPARE(current()->text, QStringLiteral("alicia")); // the newest first
        QCOMPARE(w.messageModel()->rowCount(), 1);
        search(QStringLiteral("ali"));
        QCOMPARE(current()->text, QStringLiteral("alice"));
        search(QStringLiteral("ali"));
        QCOMPARE(current()->text, QStringLiteral("alicia")); // wrapped round
        search(QStringLiteral("  "));
        QCOMPARE(current()->text, QStringLiteral("alicia"));
        QVERIFY(watcher.shown().isEmpty());
        search(QStringLiteral("Carol"));
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().text, QStringLiteral("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_Carol"));
    }

    void operationsTakeTheSelectedRows()
    {
        makeLocalDb(QStringLiteral("db"), {{QStringLiteral("Ann"), 4}});
        MainWindow w;
        QVERIFY(w.curAllMessages().isEmpty()); // no current node
        select(w, child(w.sourceModel()->rootLocalDb, 0));
        QCOMPARE(w.curAllMessages().size(), 4);
        QItemSelectionModel* selection = w.form()->treeViewSMS->selectionModel();
        selection->select(w.messageModel()->indexOfPos(3), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(w.messageModel()->indexOfPos(1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QList<_MsgMessage*> chosen = w.selectedMessages();
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen.at(0)->text, QStringLiteral("Message 1.4"));
        QCOMPARE(chosen.at(1)->text, QStringLiteral("Message 1.2"));
    }

    void lastAnnouncementShownAtStart()
    {
        QFile adv(dataPath(QStringLiteral("last-adv")));
        QVERIFY(adv.open(QIODevice::WriteOnly));
        adv.write(QByteArray("<a href=\"http://x.example/\">News</a>\0junk", 41));
        adv.close();
        MainWindow w;
        QCOMPARE(w.announcementLabel()->text(), QStringLiteral("<a href=\"http://x.example/\">News</a>"));
        QVERIFY(!w.announcementLabel()->openExternalLinks());
    }

    // The window as drawn: the tree lists the fixture's conversation, the
    // list its messages and the browser their texts.
    void rendersTheFixtureConversation()
    {
        makeLocalDb(QStringLiteral("Saved"), {{QStringLiteral("Ann Smith"), 3}});
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const Node* db = child(w.sourceModel()->rootLocalDb, 0);
        select(w, db);
        select(w, db->childs.first());
        QTest::qWait(20); // the queued expansion
        const QImage shot = w.grab().toImage();
        QCOMPARE(shot.size(), w.size());

        auto drawn = [&](QWidget* widget, const QRect& rect) {
            QVERIFY(!rect.isEmpty());
            const QRect inWindow(widget->mapTo(&w, rect.topLeft()), rect.size());
            QVERIFY(shot.rect().contains(inWindow));
            QSet<QRgb> colours;
            for (int y = inWindow.top(); y <= inWindow.bottom(); ++y)
                for (int x = inWindow.left(); x <= inWindow.right(); ++x)
                    colours.insert(shot.pixel(x, y));
            QVERIFY2(colours.size() > 2, "nothing drawn there");
        };
        MyTreeView* tree = w.form()->treeViewDS;
        const QModelIndex chatIndex = w.sourceModel()->indexOfItemNode(db->childs.first());
        QCOMPARE(chatIndex.data().toString(), QStringLiteral("ann smith")); // addresses are kept in lower case;
        QVERIFY(tree->isExpanded(chatIndex.parent()));
        drawn(tree->viewport(), tree->visualRect(chatIndex));
        MyTreeView* list = w.form()->treeViewSMS;
        QCOMPARE(w.messageModel()->rowCount(), 3);
        drawn(list->viewport(), list->visualRect(w.messageModel()->index(2, 3)));
        SmsBrowser* browser = w.form()->txtSMS;
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Message 1.3")));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("ann smith")));
        drawn(browser->viewport(), browser->cursorRect(QTextCursor(browser->document())).adjusted(0, 0, 200, 0));
    }

    // At its minimum size the window still shows every toolbar button (none
    // folded behind the toolbar's extension arrow), both search rows, and
    // panes that hold a few rows and the list's first columns.
    void everyControlUsableAtMinimumSize()
    {
        makeLocalDb(QStringLiteral("Saved"), {{QStringLiteral("Ann Smith"), 3}});
        MainWindow w;
        QVERIFY(w.minimumWidth() >= 640 && w.minimumHeight() >= 480);
        w.resize(w.minimumSize());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.size(), w.minimumSize());
        select(w, child(w.sourceModel()->rootLocalDb, 0));
        Ui_MainWindow* form = w.form();

        QToolBar* toolBar = form->mainToolBar;
        int buttons = 0;
        for (QAction* action : toolBar->actions()) {
            if (action->isSeparator())
                continue;
            QWidget* button = toolBar->widgetForAction(action);
            QVERIFY2(button && button->isVisible(), qPrintable(action->text()));
            QVERIFY2(toolBar->rect().contains(button->geometry()), qPrintable(action->text()));
            ++buttons;
        }
        QCOMPARE(buttons, 6);
        auto* extension = toolBar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
        QVERIFY(!extension || !extension->isVisible());

        const QRect window = w.rect();
        const QList<QWidget*> controls = {form->txtHandleKeyword, form->btnSearchHandle, form->txtSMSKeyword,
                                          form->btnSearchSMS,     form->treeViewDS,      form->treeViewSMS,
                                          form->lbChatName,       form->txtSMS,          form->lbSMSCount};
        for (QWidget* control : controls) {
            QVERIFY2(control->isVisible(), qPrintable(control->objectName()));
            QVERIFY2(window.contains(QRect(control->mapTo(&w, QPoint(0, 0)), control->size())),
                     qPrintable(control->objectName()));
            const QSize least = control->minimumSizeHint().expandedTo(control->minimumSize());
            QVERIFY2(control->width() >= least.width() && control->height() >= least.height(),
                     qPrintable(control->objectName()));
        }
        constexpr int kRow = 25;
        QVERIFY(form->treeViewDS->viewport()->width() >= 150);
        QVERIFY(form->treeViewDS->viewport()->height() >= 8 * kRow);
        const QHeaderView* header = form->treeViewSMS->header();
        const int fixedColumns = header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2);
        QVERIFY(form->treeViewSMS->viewport()->width() >= fixedColumns + 150);
        QVERIFY(form->treeViewSMS->viewport()->height() >= 4 * kRow);
        QVERIFY(form->txtSMS->viewport()->height() >= 4 * kRow);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
