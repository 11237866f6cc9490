// The source tree model: roots, device and local database nodes, the
// conversations listed from a node's data, and the pictures and colours of
// the conversation rows, and those pictures whole in the window's tree.
#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QImage>
#include <QMainWindow>
#include <QtTest>

#include "ios6messagedb.h"
#include "itemmodelmain.h"
#include "mytreeview.h"
#include "ui_mainwindow.h"

namespace {

QSharedPointer<AbsMessageDb> noDb()
{
    return QSharedPointer<AbsMessageDb>(new IOS6MessageDb(QDir(QStringLiteral("/nonexistent")), _CountryInfo(), true));
}

// Adds a chat with `handles` handles and one message at `last` to the set.
_MsgChat* addChat(MsgData& data, qint64 rowId, const QString& identifier, int last, int handles = 1)
{
    __MsgData& d = *data.p();
    auto* chat = new _MsgChat;
    chat->ROWID = rowId;
    chat->chat_identifier = identifier;
    chat->_last = last;
    d.chats.insert(rowId, chat);
    for (int i = 0; i < handles; ++i) {
        auto* h = new _MsgHandle;
        h->ROWID = rowId * 100 + i;
        h->id = QStringLiteral("%1-%2").arg(identifier).arg(i);
        d.handles.insert(h->ROWID, h);
        chat->handles.insert(QString::number(h->ROWID), h);
    }
    auto* m = new _MsgMessage;
    m->ROWID = rowId * 1000;
    m->date = last;
    m->chat = chat;
    d.messages.insert(m->ROWID, m);
    chat->messages.insert(QString::number(m->ROWID), m);
    return chat;
}

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestItemModelMain : public QObject
{
    Q_OBJECT
private slots:
    void newModelHasTwoRoots()
    {
        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 1);
        const QModelIndex devices = model.index(0, 0);
        const QModelIndex locals = model.index(1, 0);
        QCOMPARE(devices.data().toString(), QStringLiteral("IDS_ROOT_DEVICE")); // no translation installed
        QCOMPARE(static_cast<AbsTreeItemModel::_ItemNode*>(devices.internalPointer())->type, int(ITEMNODE_ROOT_DEVICE));
        QCOMPARE(static_cast<AbsTreeItemModel::_ItemNode*>(locals.internalPointer())->type, int(ITEMNODE_ROOT_LOCALDB));
        for (const QModelIndex& root : {devices, locals}) {
            QCOMPARE(root.data(Qt::SizeHintRole).toSize(), QSize(0, 25));
            QCOMPARE(root.data(Qt::DecorationRole).value<QImage>().width(), 18);
            QVERIFY(!root.data(Qt::ForegroundRole).isValid());
        }
        for (int role : {int(Qt::DisplayRole), int(Qt::SizeHintRole)})
            QVERIFY(!model.headerData(0, Qt::Horizontal, role).isValid());
        QCOMPARE(model.rootDevice->deviceCount(ITEMNODE_IOS_DEVICE), 0);
    }

    void devicesAndDatabasesAppendInOrder()
    {
        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        IOSDevice device;
        device.deviceName = QStringLiteral("Phone");
        _IOSDeviceItemNode* a = model.addIOSDevice(noDb(), device);
        _IOSDeviceItemNode* b = model.addIOSDevice(noDb(), device);
        _LocalDBItemNode* local = model.addLocalDb(noDb(), QStringLiteral("Saved"));
        QVERIFY(a != b); // same name, two nodes
        QCOMPARE(model.rowCount(model.index(0, 0)), 2);
        QCOMPARE(model.index(1, 0, model.index(0, 0)).data().toString(), QStringLiteral("Phone"));
        QCOMPARE(model.index(0, 0, model.index(1, 0)).data().toString(), QStringLiteral("Saved"));
        QCOMPARE(model.indexOfItemNode(local).internalPointer(), static_cast<void*>(local));
        QCOMPARE(model.rootDevice->deviceCount(ITEMNODE_IOS_DEVICE), 2);
        model.removeNode(a);
        QCOMPARE(model.rootDevice->deviceCount(ITEMNODE_IOS_DEVICE), 1);
    }

    void listChatsNewestFirstAndReplaces()
    {
        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        _LocalDBItemNode* node = model.addLocalDb(noDb(), QStringLiteral("db"));
        addChat(node->data, 1, QStringLiteral("old"), 100);
        addChat(node->data, 2, QStringLiteral("new"), 300);
        addChat(node->data, 3, QStringLiteral("mid"), 200);
        addChat(node->data, 4, QStringLiteral("new"), 50); // merged with chat 2
        model.listChats(node);
        QCOMPARE(node->childs.size(), 3);
        auto* top = static_cast<_ChatSessionItemNode*>(node->childs.first());
        QCOMPARE(top->type, int(ITEMNODE_CHAT_SESSION));
        QCOMPARE(top->merge.chats.size(), 2);
        QCOMPARE(top->merge.messages().size(), 2);
        QCOMPARE(node->childs.at(1)->text, QStringLiteral("mid-0"));
        model.listChats(node);
        QCOMPARE(node->childs.size(), 3);
        QCOMPARE(model.rowCount(model.indexOfItemNode(node)), 3);
    }

    void conversationPicture_data()
    {
        QTest::addColumn<int>("handles");
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("picture");
        QTest::newRow("png photo") << 1 << png(40, 20) << QSize(36, 18) << QString();
        QTest::newRow("no photo") << 1 << QByteArray() << QSize(18, 18) << ":/res/contact.png";
        QTest::newRow("unreadable photo") << 1 << QByteArray("not an image") << QSize(18, 18) << ":/res/contact.png";
        QTest::newRow("group") << 2 << QByteArray() << QSize(18, 18) << ":/res/group.png";
        QTest::newRow("no handle") << 0 << QByteArray() << QSize(18, 18) << ":/res/contact.png";
    }

    void conversationPicture()
    {
        QFETCH(int, handles);
        QFETCH(QByteArray, photo);
        QFETCH(QSize, size);
        QFETCH(QString, picture);
        ItemModelMain model;
        _LocalDBItemNode* node = model.addLocalDb(noDb(), QStringLiteral("db"));
        _MsgChat* chat = addChat(node->data, 1, QStringLiteral("c"), 1, handles);
        if (handles == 1)
            chat->handles.begin().value()->_photo = photo;
        model.listChats(node);
        const QImage image = model.index(0, 0, model.indexOfItemNode(node)).data(Qt::DecorationRole).value<QImage>();
        QCOMPARE(image.size(), size);
        if (!picture.isEmpty())
            QCOMPARE(image, QImage(picture).scaledToWidth(18, Qt::FastTransformation));
    }

    // Every drawn picture of the tree (roots, a phone, a database, a
    // conversation) is as large as the icons the window's tree shows, and
    // its row is tall enough for it: none is cut.
    void iconsFitTheWindowsTree()
    {
        QMainWindow window;
        Ui_MainWindow form;
        form.setupUi(&window);
        ItemModelMain model;
        form.treeViewDS->setModel(&model);
        IOSDevice device;
        device.deviceName = QStringLiteral("Phone");
        _IOSDeviceItemNode* phone = model.addIOSDevice(noDb(), device);
        _LocalDBItemNode* local = model.addLocalDb(noDb(), QStringLiteral("db"));
        addChat(local->data, 1, QStringLiteral("c"), 1);
        model.listChats(local);
        form.treeViewDS->expandAll();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QSize shown = form.treeViewDS->iconSize();
        QCOMPARE(shown, AbsTreeItemModel::rowIconSize());
        const QList<const AbsTreeItemModel::_ItemNode*> nodes = {model.rootDevice, model.rootLocalDb, phone, local,
                                                                 local->childs.first()};
        for (const AbsTreeItemModel::_ItemNode* node : nodes) {
            const QModelIndex index = model.indexOfItemNode(node);
            QCOMPARE(index.data(Qt::DecorationRole).value<QImage>().size(), shown);
            QVERIFY(form.treeViewDS->visualRect(index).height() >= shown.height());
        }
    }

    void madeUpChatsAreRed_data()
    {
        QTest::addColumn<qint64>("rowId");
        QTest::addColumn<bool>("red");
        QTest::newRow("at the bound") << qint64(-1947483647) << true;
        QTest::newRow("below") << qint64(-2047483648) << true;
        QTest::newRow("above") << qint64(-1947483646) << false;
        QTest::newRow("ordinary") << qint64(5) << false;
    }

    void madeUpChatsAreRed()
    {
        QFETCH(qint64, rowId);
        QFETCH(bool, red);
        ItemModelMain model;
        _LocalDBItemNode* node = model.addLocalDb(noDb(), QStringLiteral("db"));
        addChat(node->data, rowId, QStringLiteral("c"), 1);
        model.listChats(node);
        const QVariant colour = model.index(0, 0, model.indexOfItemNode(node)).data(Qt::ForegroundRole);
        QCOMPARE(colour.isValid(), red);
        if (red)
            QCOMPARE(colour.value<QColor>(), QColor(255, 0, 0));
    }

    void emptyMergeHasNoTextNorPicture()
    {
        ItemModelMain model;
        _LocalDBItemNode* node = model.addLocalDb(noDb(), QStringLiteral("db"));
        auto* chatNode = new _ChatSessionItemNode(node, _MsgChatMerge());
        node->childs.append(chatNode);
        const QModelIndex index = model.indexOfItemNode(chatNode);
        QCOMPARE(index.data().toString(), QString());
        QVERIFY(!index.data(Qt::DecorationRole).isValid());
        QVERIFY(!index.data(Qt::ForegroundRole).isValid());
    }
};

QTEST_MAIN(TestItemModelMain)
#include "tst_itemmodelmain.moc"
