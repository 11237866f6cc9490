// The main window's menu bar, toolbar and context menus over a source tree
// of saved devices and a local database built in a temporary data folder:
// the entries, the states of the six operations for every kind of node and
// number of devices, the scope of the File menu's commands, and the Tools
// and Help commands with the links and folders they hand to the desktop.
#include "aboutusform.h"
#include "data_path_util.h"
#include "datahome.h"
#include "iosbackuptemp.h"
#include "itemmodelmain.h"
#include "mainwindow.h"
#include "modalwatcher.h"
#include "mytreeview.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "tips.h"
#include "translation.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

// One conversation with one message, enough for a conversation node.
const char* const kOneChat =
    "insert into chat (ROWID, guid, style, state, chat_identifier, service_name, account_login) values"
    " (1, 'chat-1', 45, 3, '+12125550123', 'SMS', 'E:');"
    "insert into handle (ROWID, id, country, service) values (1, '+12125550123', 'us', 'SMS');"
    "insert into chat_handle_join values (1, 1);"
    "insert into message (ROWID, guid, text, handle_id, service, date, is_from_me) values"
    " (1, 'm-1', 'hello', 1, 'SMS', 100, 0);"
    "insert into chat_message_join values (1, 1);";

void createDatabaseFolder(const QString& folder)
{
    const QString path = SmsDbFixture::smsDbPath(folder);
    SmsDbFixture::createDevice(path, SmsDbFixture::Base);
    SqlFixture::build(path, kOneChat);
}

// Where the desktop would have been sent.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

class TestMainWindowMenus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void menusAndToolbar();
    void actionState_data();
    void actionState();
    void sourceTreeMenu_data();
    void sourceTreeMenu();
    void messageListMenu_data();
    void messageListMenu();
    void menuEntriesReachTheWindow();
    void contextMenuRequests_data();
    void contextMenuRequests();
    void operationScope();
    void pagesAndFolders();
    void unopenedShowsItsAddress_data();
    void unopenedShowsItsAddress();
    void disconnectRemovesTheChosenSavedDevice();
    void clearCache_data();
    void clearCache();
    void about();

private:
    // Builds `devices` saved devices and one local database, then the window.
    void makeWindow(int devices);
    // "none", "devicesRoot", "localRoot", "device", "deviceChat", "local",
    // "localChat": makes that node current, as a click would.
    void choose(const QString& node);
    QAction* fileAction(const QString& text) const;

    std::unique_ptr<DataHome> m_home;
    std::unique_ptr<MainWindow> m_window;
    OpenedUrls m_opened;
};

void TestMainWindowMenus::initTestCase()
{
    QVERIFY(installEnglishTranslation(qApp));
    QDesktopServices::setUrlHandler("http", &m_opened, "open");
    QDesktopServices::setUrlHandler("file", &m_opened, "open");
}

void TestMainWindowMenus::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("file");
}

void TestMainWindowMenus::init()
{
    // A menu entry whose slot the window lacks fails the test.
    QTest::failOnWarning(QRegularExpression("QObject::connect"));
    m_home = std::make_unique<DataHome>();
    m_opened.urls.clear();
}

void TestMainWindowMenus::cleanup()
{
    m_window.reset();
    m_home.reset();
}

void TestMainWindowMenus::makeWindow(int devices)
{
    const QDir data = g_dataSaveDir();
    for (int i = 0; i < devices; ++i)
        createDatabaseFolder(data.absoluteFilePath(QString("virtual_ios/Saved%1").arg(i)));
    createDatabaseFolder(g_localDbDir().absoluteFilePath("Local"));
    m_window = std::make_unique<MainWindow>();
    QCOMPARE(m_window->sourceModel()->rootDevice->deviceCount(ITEMNODE_IOS_DEVICE), devices);
}

void TestMainWindowMenus::choose(const QString& node)
{
    ItemModelMain* model = m_window->sourceModel();
    MyTreeView* tree = m_window->form()->treeViewDS;
    auto select = [&](const AbsTreeItemModel::_ItemNode* n) {
        tree->selectionModel()->setCurrentIndex(model->indexOfItemNode(n), QItemSelectionModel::ClearAndSelect);
    };
    if (node == "none")
        return;
    if (node == "devicesRoot")
        return select(model->rootDevice);
    if (node == "localRoot")
        return select(model->rootLocalDb);
    const bool device = node.startsWith("device");
    const AbsTreeItemModel::_ItemNode* owner =
        device ? model->rootDevice->childs.first() : model->rootLocalDb->childs.first();
    select(owner); // a local database lists its conversations when chosen
    if (node.endsWith("Chat")) {
        QVERIFY(!owner->childs.isEmpty());
        select(owner->childs.first());
    }
}

QAction* TestMainWindowMenus::fileAction(const QString& text) const
{
    const QList<QAction*> menus = m_window->form()->menuBar->actions();
    for (QAction* action : menus.first()->menu()->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

void TestMainWindowMenus::menusAndToolbar()
{
    makeWindow(1);
    const QList<QAction*> menus = m_window->form()->menuBar->actions();
    QCOMPARE(menus.size(), 3);
    const QStringList titles = {"File", "Tools", "Help"};
    const QList<QStringList> entries = {
        {"Backup SMS to Local Database", "Transfer iPhone SMS to other iPhone", "Transfer SMS from Database to iPhone",
         "", "Export SMS to File", "Print SMS", "Delete SMS", "",
         "Import SMS from iTunes Backup to Local Database", "Open Database Folder", "Exit"},
        {"Check for Update", "Clear Cache files"},
        {"Help", "Feedback and Support", "About"}};
    const QList<QStringList> withIcon = {
        {"Backup SMS to Local Database", "Transfer iPhone SMS to other iPhone", "Transfer SMS from Database to iPhone",
         "Export SMS to File", "Print SMS", "Delete SMS", "Import SMS from iTunes Backup to Local Database",
         "Open Database Folder", "Exit"},
        {},
        {"Help"}};
    const QStringList operations = {entries[0].mid(0, 3) + entries[0].mid(4, 3)};
    for (int m = 0; m < 3; ++m) {
        QCOMPARE(menus[m]->text(), titles[m]);
        QStringList texts;
        for (QAction* action : menus[m]->menu()->actions()) {
            texts.append(action->isSeparator() ? QString() : action->text());
            if (action->isSeparator())
                continue;
            QVERIFY(action->shortcut().isEmpty());
            QCOMPARE(!action->icon().isNull(), withIcon[m].contains(action->text()));
            // Nothing chosen yet: only the six message operations are off.
            QCOMPARE(action->isEnabled(), !operations.contains(action->text()));
        }
        QCOMPARE(texts, entries[m]);
    }

    // The toolbar shows the same six actions, so they share their state.
    QList<QAction*> expected;
    for (const QString& text : operations.mid(0, 3))
        expected.append(fileAction(text));
    expected.append(nullptr);
    for (const QString& text : operations.mid(3))
        expected.append(fileAction(text));
    const QList<QAction*> bar = m_window->form()->mainToolBar->actions();
    QCOMPARE(bar.size(), expected.size());
    for (int i = 0; i < bar.size(); ++i) {
        if (expected[i])
            QCOMPARE(bar[i], expected[i]);
        else
            QVERIFY(bar[i]->isSeparator());
    }
}

void TestMainWindowMenus::actionState_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("devices");
    // Backup, to another iPhone, from the database to an iPhone, export,
    // print, delete.
    QTest::addColumn<QList<bool>>("states");
    QTest::newRow("nothing chosen") << "none" << 2 << QList<bool>{false, false, false, false, false, false};
    QTest::newRow("devices root") << "devicesRoot" << 2 << QList<bool>{false, false, false, false, false, false};
    QTest::newRow("local databases root") << "localRoot" << 2 << QList<bool>{false, false, false, false, false, false};
    QTest::newRow("only device") << "device" << 1 << QList<bool>{true, false, false, true, true, false};
    QTest::newRow("one of two devices") << "device" << 2 << QList<bool>{true, true, false, true, true, false};
    QTest::newRow("conversation, only device") << "deviceChat" << 1 << QList<bool>{true, false, false, true, true, false};
    QTest::newRow("conversation, two devices") << "deviceChat" << 2 << QList<bool>{true, true, false, true, true, false};
    QTest::newRow("local, no device") << "local" << 0 << QList<bool>{false, false, false, true, true, true};
    QTest::newRow("local, a device") << "local" << 1 << QList<bool>{false, false, true, true, true, true};
    QTest::newRow("local conversation, no device") << "localChat" << 0 << QList<bool>{false, false, false, true, true, true};
    QTest::newRow("local conversation, a device") << "localChat" << 1 << QList<bool>{false, false, true, true, true, true};
}

void TestMainWindowMenus::actionState()
{
    QFETCH(QString, node);
    QFETCH(int, devices);
    QFETCH(QList<bool>, states);
    makeWindow(devices);
    choose(node);
    const QStringList operations = {"Backup SMS to Local Database", "Transfer iPhone SMS to other iPhone",
                                    "Transfer SMS from Database to iPhone", "Export SMS to File", "Print SMS",
                                    "Delete SMS"};
    QList<bool> seen;
    for (const QString& text : operations)
        seen.append(fileAction(text)->isEnabled());
    QCOMPARE(seen, states);
}

namespace {

// One entry as the test expects it: text, has an icon, enabled.
struct Entry
{
    QString text;
    bool icon;
    bool enabled;
    bool operator==(const Entry& o) const { return text == o.text && icon == o.icon && enabled == o.enabled; }
};

QList<Entry> entriesOf(QMenu* menu)
{
    QList<Entry> entries;
    if (!menu)
        return entries;
    for (QAction* action : menu->actions()) {
        // Separators, submenus, shortcuts and check marks show in the text.
        const bool plain = !action->isSeparator() && !action->menu() && action->shortcut().isEmpty()
            && !action->isCheckable();
        entries.append({plain ? action->text() : "not plain: " + action->text(), !action->icon().isNull(),
                        action->isEnabled()});
    }
    return entries;
}

} // namespace

// QTest's comparison prints the entries on a mismatch.
namespace QTest {
template <>
char* toString(const Entry& e)
{
    return qstrdup(qPrintable(QString("%1 icon=%2 enabled=%3").arg(e.text).arg(e.icon).arg(e.enabled)));
}
} // namespace QTest

Q_DECLARE_METATYPE(Entry)

void TestMainWindowMenus::sourceTreeMenu_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("devices");
    QTest::addColumn<QList<Entry>>("entries");
    QTest::newRow("nothing chosen") << "none" << 1 << QList<Entry>{};
    QTest::newRow("devices root") << "devicesRoot" << 1 << QList<Entry>{};
    QTest::newRow("local databases root") << "localRoot" << 0
        << QList<Entry>{{"Open Database Folder", true, true},
                        {"Import SMS from iTunes Backup to Local Database", true, true}};
    const auto device = [](bool transfer) {
        return QList<Entry>{{"Backup SMS to Local Database", true, true},
                            {"Transfer iPhone SMS to other iPhone", true, transfer},
                            {"Export SMS to File", true, true},
                            {"Print SMS", true, true},
                            {"View Cache Files", false, true},
                            {"Disconnect Device", true, true}};
    };
    QTest::newRow("only device") << "device" << 1 << device(false);
    QTest::newRow("one of two devices") << "device" << 2 << device(true);
    const auto local = [](bool transfer) {
        return QList<Entry>{{"Import SMS from iTunes Backup to this Local Database", true, true},
                            {"Export SMS to iTunes Backup", false, true},
                            {"Transfer SMS from Database to iPhone", true, transfer},
                            {"Export SMS to File", true, true},
                            {"Print SMS", true, true},
                            {"Delete this Database", true, true}};
    };
    QTest::newRow("local, no device") << "local" << 0 << local(false);
    QTest::newRow("local, a device") << "local" << 1 << local(true);
    const auto localChat = [](bool transfer) {
        return QList<Entry>{{"Export SMS with this contact to iTunes Backup", false, true},
                            {"Transfer SMS with this contact to iPhone", true, transfer},
                            {"Export SMS with this contact to File", true, true},
                            {"Print SMS with this contact", true, true},
                            {"Delete SMS with this contact", true, true}};
    };
    QTest::newRow("local conversation, no device") << "localChat" << 0 << localChat(false);
    QTest::newRow("local conversation, a device") << "localChat" << 1 << localChat(true);
    const auto deviceChat = [](bool transfer) {
        return QList<Entry>{{"Backup SMS with this contact to Local Database", true, true},
                            {"Transfer SMS with this contact to other iPhone", true, transfer},
                            {"Export SMS with this contact to File", true, true},
                            {"Print SMS with this contact", true, true}};
    };
    QTest::newRow("device conversation, only device") << "deviceChat" << 1 << deviceChat(false);
    QTest::newRow("device conversation, two devices") << "deviceChat" << 2 << deviceChat(true);
}

void TestMainWindowMenus::sourceTreeMenu()
{
    QFETCH(QString, node);
    QFETCH(int, devices);
    makeWindow(devices);
    choose(node);
    std::unique_ptr<QMenu> menu(m_window->newMainTreeContextMenu());
    QTEST(entriesOf(menu.get()), "entries");
    if (menu)
        QVERIFY(!menu->parent());
}

void TestMainWindowMenus::messageListMenu_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("devices");
    QTest::addColumn<QList<Entry>>("entries");
    QTest::newRow("nothing chosen") << "none" << 1 << QList<Entry>{};
    QTest::newRow("devices root") << "devicesRoot" << 1 << QList<Entry>{};
    QTest::newRow("local databases root") << "localRoot" << 1 << QList<Entry>{};
    const auto local = [](bool transfer) {
        return QList<Entry>{{"Export Selected SMS to iTunes Backup", false, true},
                            {"Transfer Selected SMS to iPhone", true, transfer},
                            {"Export Selected SMS to File", true, true},
                            {"Print Selected SMS", true, true},
                            {"Delete Selected SMS", true, true}};
    };
    const auto device = [](bool transfer) {
        return QList<Entry>{{"Backup Selected SMS to Local Database", true, true},
                            {"Transfer Selected SMS to other iPhone", true, transfer},
                            {"Export Selected SMS to File", true, true},
                            {"Print Selected SMS", true, true}};
    };
    QTest::newRow("local, no device") << "local" << 0 << local(false);
    QTest::newRow("local conversation, a device") << "localChat" << 1 << local(true);
    QTest::newRow("only device") << "device" << 1 << device(false);
    QTest::newRow("device conversation, two devices") << "deviceChat" << 2 << device(true);
}

void TestMainWindowMenus::messageListMenu()
{
    QFETCH(QString, node);
    QFETCH(int, devices);
    makeWindow(devices);
    choose(node);
    // The entries do not depend on the selection of the list.
    m_window->form()->treeViewSMS->clearSelection();
    std::unique_ptr<QMenu> menu(m_window->newSMSContextMenu());
    QTEST(entriesOf(menu.get()), "entries");
}

// Entries call the window's slots: the folder entry of the local-databases
// root, and the same command from the File menu.
void TestMainWindowMenus::menuEntriesReachTheWindow()
{
    makeWindow(0);
    choose("localRoot");
    std::unique_ptr<QMenu> menu(m_window->newMainTreeContextMenu());
    menu->actions().first()->trigger();
    fileAction("Open Database Folder")->trigger();
    const QUrl folder = QUrl::fromLocalFile(g_localDbDir().absolutePath());
    QCOMPARE(m_opened.urls, (QList<QUrl>{folder, folder}));
}

void TestMainWindowMenus::contextMenuRequests_data()
{
    QTest::addColumn<bool>("messageList");
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("pick"); // the first entry, else closed
    QTest::newRow("tree, dismissed") << false << "localRoot" << 2 << false;
    QTest::newRow("tree, first entry") << false << "localRoot" << 2 << true;
    QTest::newRow("tree, devices root: no menu") << false << "devicesRoot" << 0 << false;
    QTest::newRow("list, dismissed") << true << "local" << 5 << false;
    QTest::newRow("list, nothing chosen: no menu") << true << "none" << 0 << false;
}

// A request as the views make it: the menu pops up at the pointer, a chosen
// entry runs its slot before the request returns, and the menu is gone after.
void TestMainWindowMenus::contextMenuRequests()
{
    QFETCH(bool, messageList);
    QFETCH(QString, node);
    QFETCH(int, entries);
    QFETCH(bool, pick);
    makeWindow(0);
    choose(node);
    QPointer<QMenu> shown;
    int seenEntries = 0;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || shown)
            return;
        shown = menu;
        seenEntries = menu->actions().size();
        if (pick)
            menu->actions().first()->trigger();
        menu->close();
    });
    poll.start(5);
    MyTreeView* view = messageList ? m_window->form()->treeViewSMS : m_window->form()->treeViewDS;
    emit view->createContextMenu();
    QCOMPARE(seenEntries, entries);
    QVERIFY(!shown);
    QCOMPARE(m_opened.urls.size(), pick ? 1 : 0);
}

void TestMainWindowMenus::operationScope()
{
    makeWindow(1);
    QCOMPARE(m_window->operationScope(), MainWindow::MessageScope::None);
    choose("device");
    QCOMPARE(m_window->operationScope(), MainWindow::MessageScope::All);
    MyTreeView* list = m_window->form()->treeViewSMS;
    QVERIFY(list->model()->rowCount() > 0);
    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(m_window->operationScope(), MainWindow::MessageScope::Selected);
    choose("deviceChat");
    list->clearSelection();
    QCOMPARE(m_window->operationScope(), MainWindow::MessageScope::Chat);
}

// A desktop where neither a browser nor a file manager answers: each
// command says so in a box that holds the address or path as text to copy,
// and a box's own link ("How to?") does the same.
void TestMainWindowMenus::unopenedShowsItsAddress_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("shown"); // a part of the address or path
    QTest::newRow("Check for Update") << "miCheckUpdate" << "/sms_check_update.php?pid=";
    QTest::newRow("Help") << "miHelp" << "/help.html";
    QTest::newRow("Feedback and Support") << "miFeedback" << "/support.html";
    QTest::newRow("Open Database Folder") << "miOpenDbFolder" << "/local_databases";
    QTest::newRow("a box's link") << "" << "/tutorial/encrypt-itunes-backups.html";
}

void TestMainWindowMenus::unopenedShowsItsAddress()
{
    QFETCH(QString, command);
    QFETCH(QString, shown);
    makeWindow(1);
    g_setDesktopOpener([](const QUrl&) { return false; });
    ModalWatcher watcher;
    if (command.isEmpty()) {
        // The link as the notes box holds it, with the white space a
        // server's text may carry around it.
        QTimer::singleShot(0, this, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            auto* label = box ? box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")) : nullptr;
            if (label)
                emit label->linkActivated(QStringLiteral(" http://quillsprout.example/tutorial/encrypt-itunes-backups.html\n"));
        });
        Tips::info(QStringLiteral("<a href=\"x\">How to?</a>"));
    } else {
        QVERIFY(QMetaObject::invokeMethod(m_window.get(), command.toLatin1().constData()));
    }
    g_setDesktopOpener(nullptr);
    // The warning comes first: a box's link opens it over that box.
    QVERIFY(!watcher.shown().isEmpty());
    const ModalWatcher::ShownBox& box = watcher.shown().first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(shown), qPrintable(box.text));
    QVERIFY2(box.text.contains(QStringLiteral("You can copy")), qPrintable(box.text));
    QVERIFY(m_opened.urls.isEmpty());
}

void TestMainWindowMenus::pagesAndFolders()
{
    makeWindow(1);
    m_window->miCheckUpdate();
    m_window->miHelp();
    m_window->miFeedback();
    m_window->miHome(); // an empty link opens nothing
    QCOMPARE(m_opened.urls.size(), 3);
    const QUrl update = m_opened.urls[0];
    QCOMPARE(update.scheme(), QString("http"));
    QCOMPARE(update.path(), QString("/sms_check_update.php"));
    QCOMPARE(QUrlQuery(update).toString(), QString("pid=%1&ver=60&vs=123456&sys=macx").arg(kProductId));
    QVERIFY(m_opened.urls[1].path().endsWith("/help.html"));
    QCOMPARE(m_opened.urls[2].path(), QString("/support.html"));
    QCOMPARE(m_opened.urls[2].host(), update.host());

    // A device's cache folder is made when missing; other nodes open nothing.
    // A saved device's id is its folder's path, which names no cache folder:
    // a warning says so and nothing is made or opened.
    m_opened.urls.clear();
    choose("deviceChat");
    m_window->miViewCache();
    {
        ModalWatcher watcher;
        choose("device");
        m_window->miViewCache();
        QCOMPARE(watcher.shown().size(), 1);
        QCOMPARE(watcher.shown().first().icon, QMessageBox::Warning);
    }
    QCOMPARE(m_opened.urls.size(), 0);
    QVERIFY(!QFileInfo::exists(g_dataSaveDir().absoluteFilePath("ios_cache")));
    IOSDevice attached;
    attached.deviceName = "Attached";
    attached.udid = "00008030-001A2B3C4D5E802E";
    ItemModelMain* model = m_window->sourceModel();
    const auto* saved = static_cast<const _AbsDBItemNode*>(model->rootDevice->childs.first());
    const _IOSDeviceItemNode* node = model->addIOSDevice(saved->db, attached);
    m_window->form()->treeViewDS->selectionModel()->setCurrentIndex(model->indexOfItemNode(node),
                                                                     QItemSelectionModel::ClearAndSelect);
    m_window->miViewCache();
    QCOMPARE(m_opened.urls.size(), 1);
    const QString cache = m_opened.urls[0].toLocalFile();
    QVERIFY(QFileInfo(cache).isDir());
    QCOMPARE(cache, g_dataSaveDir().absoluteFilePath("ios_cache/00008030-001A2B3C4D5E802E"));
}

// Saved devices have no handle: the node chosen is the one that goes, with
// its conversations; the other stays, and so does the cache folder.
void TestMainWindowMenus::disconnectRemovesTheChosenSavedDevice()
{
    makeWindow(2);
    ItemModelMain* model = m_window->sourceModel();
    const AbsTreeItemModel::_ItemNode* second = model->rootDevice->childs.at(1);
    const QString secondName = second->text;
    const QString firstName = model->rootDevice->childs.at(0)->text;
    m_window->form()->treeViewDS->selectionModel()->setCurrentIndex(model->indexOfItemNode(second),
                                                                     QItemSelectionModel::ClearAndSelect);
    m_window->miUnmoutDevice();
    QCOMPARE(model->rootDevice->childs.size(), 1);
    QCOMPARE(model->rootDevice->childs.first()->text, firstName);
    QVERIFY(secondName != firstName);
    QVERIFY(QFileInfo(g_dataSaveDir().absoluteFilePath("virtual_ios/" + secondName)).isDir());

    // Nothing chosen, or not a device: nothing goes.
    choose("local");
    m_window->miUnmoutDevice();
    QCOMPARE(model->rootDevice->childs.size(), 1);
}

void TestMainWindowMenus::clearCache_data()
{
    QTest::addColumn<bool>("filled");
    QTest::addColumn<bool>("blocked"); // a plain file stands where the device caches go
    QTest::newRow("caches and backups") << true << false;
    QTest::newRow("nothing to clear") << false << false;
    QTest::newRow("something stays") << true << true;
}

void TestMainWindowMenus::clearCache()
{
    QFETCH(bool, filled);
    QFETCH(bool, blocked);
    makeWindow(1);
    const QDir data = g_dataSaveDir();
    const QString backups = iosbackup_temp_dir().absolutePath();
    const QString pathFile = data.absoluteFilePath("__quillsprout_iosbk_temp.path");
    if (filled) {
        QVERIFY(data.mkpath("ios_cache/udid/file-relay"));
        QVERIFY(data.mkpath("itunes_cache/0123abcd"));
        QVERIFY(QDir().mkpath(backups + "/udid"));
        QFile marker(pathFile);
        QVERIFY(marker.open(QIODevice::WriteOnly));
    }
    if (blocked) {
        QVERIFY(QDir(data.absoluteFilePath("ios_cache")).removeRecursively());
        QFile file(data.absoluteFilePath("ios_cache"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    ModalWatcher watcher;
    m_window->miClearCache();
    QCOMPARE(watcher.shown().size(), 1);
    const ModalWatcher::ShownBox box = watcher.shown().first();
    if (blocked) {
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(box.text.contains(data.absoluteFilePath("ios_cache")), qPrintable(box.text));
        QVERIFY(!box.text.contains("Successfully"));
    } else {
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(box.text, QString("Successfully cleared cache files."));
        QVERIFY(!data.exists("ios_cache"));
    }
    QVERIFY(!data.exists("itunes_cache"));
    QVERIFY(!QFileInfo::exists(backups));
    QVERIFY(!QFileInfo::exists(pathFile));
    // What the user keeps stays, and the tree is as it was.
    QVERIFY(data.exists("local_databases/Local"));
    QVERIFY(data.exists("virtual_ios/Saved0"));
    QCOMPARE(m_window->sourceModel()->rootDevice->childs.size(), 1);
}

void TestMainWindowMenus::about()
{
    makeWindow(0);
    ModalWatcher watcher;
    bool seen = false;
    watcher.onDialog([&seen](QWidget* w) {
        auto* about = qobject_cast<AboutUsForm*>(w);
        if (!about)
            return false;
        seen = about->parentWidget() != nullptr;
        emit about->findChild<QPushButton*>("btnOK")->pressed();
        return true;
    });
    m_window->miAbout();
    QVERIFY(seen);
}

QTEST_MAIN(TestMainWindowMenus)
#include "tst_mainwindow_menus.moc"
