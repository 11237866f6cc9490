// The message list model: columns, roles by kind of message, and positions.
#include <QAbstractItemModelTester>
#include <QBrush>
#include <QPixmap>
#include <QtTest>

#include "itemmodelsms.h"
#include "msgrecords.h"

class TestItemModelSms : public QObject
{
    Q_OBJECT
private slots:
    void headersAndEmptyList()
    {
        ItemModelSms model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.rowCount(), 0);
        const QStringList headers{"Date", "Flag", "Contact", "Content"};
        for (int c = 0; c < 4; ++c)
            QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), headers.at(c));
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(4, Qt::Horizontal).isValid());
        QVERIFY(!model.indexOfPos(0).isValid());
    }

    void rolesByKindOfMessage_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<int>("fromMe");
        QTest::addColumn<int>("itemType");
        QTest::addColumn<bool>("recovered");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("contact");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QColor>("background");
        QTest::newRow("received sms") << "SMS" << 0 << 0 << false << "From" << "+15550100" << ":/res/icon_sms-receive.png"
                                      << QColor(255, 255, 255);
        QTest::newRow("sent recovered sms") << "SMS" << 1 << 0 << true << "To" << "+15550100" << ":/res/icon_sms-sent.png"
                                            << QColor(245, 255, 226);
        QTest::newRow("imessage any case") << "imessage" << 1 << 0 << false << "To" << "+15550100"
                                           << ":/res/imsg-send.png" << QColor(245, 255, 226);
        QTest::newRow("received imessage") << "iMessage" << 0 << 0 << false << "From" << "+15550100"
                                           << ":/res/imsg-rec.png" << QColor(255, 255, 255);
        QTest::newRow("group event") << "iMessage" << 0 << 1 << false << "" << "Team" << ":/res/imsg-rec.png"
                                     << QColor(255, 255, 255);
    }

    void rolesByKindOfMessage()
    {
        QFETCH(QString, service);
        QFETCH(int, fromMe);
        QFETCH(int, itemType);
        QFETCH(bool, recovered);
        QFETCH(QString, flag);
        QFETCH(QString, contact);
        QFETCH(QString, icon);
        QFETCH(QColor, background);
        _MsgChat chat;
        chat.display_name = QStringLiteral("Team");
        _MsgHandle handle;
        handle.id = QStringLiteral("+15550100");
        chat.handles.insert(QStringLiteral("1"), &handle);
        _MsgMessage m;
        m.service = service;
        m.is_from_me = fromMe;
        m.item_type = itemType;
        m.recovered = recovered;
        m.text = QStringLiteral("hello");
        m.handle = &handle;
        m.chat = &chat;

        ItemModelSms model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.loadSMS({&m});
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 1).data().toString(), flag);
        QCOMPARE(model.index(0, 2).data().toString(), itemType ? contact : m.contactInfo());
        QCOMPARE(model.index(0, 3).data(Qt::ToolTipRole).toString(), m.summary());
        QCOMPARE(model.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().toImage(),
                 QPixmap(icon).scaledToWidth(18, Qt::FastTransformation).toImage());
        for (int c = 0; c < 4; ++c) {
            const QModelIndex index = model.index(0, c);
            QCOMPARE(index.data(Qt::BackgroundRole).value<QBrush>().color(), background);
            QCOMPARE(index.data(Qt::ForegroundRole).isValid(), recovered);
            QCOMPARE(index.data(Qt::SizeHintRole).toSize(), QSize(0, 23));
            if (c > 0)
                QVERIFY(!index.data(Qt::DecorationRole).isValid());
            QCOMPARE(index.internalPointer(), c == 0 ? static_cast<void*>(&m) : nullptr);
        }
        chat.handles.clear();
    }

    void groupEventWithoutChatHasNoContact()
    {
        _MsgMessage m;
        m.item_type = 1;
        ItemModelSms model;
        model.loadSMS({&m});
        QCOMPARE(model.index(0, 2).data().toString(), QString());
    }

    void positionsAndResets()
    {
        _MsgMessage a, b;
        ItemModelSms model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.loadSMS({&a, &b});
        QCOMPARE(model.indexOfPos(1).internalPointer(), static_cast<void*>(&b));
        QCOMPARE(model.indexOfPos(1).column(), 0);
        QVERIFY(!model.indexOfPos(-1).isValid());
        QVERIFY(!model.indexOfPos(2).isValid());
        QCOMPARE(model.rowCount(model.indexOfPos(0)), 0);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.loadSMS(model.messages()); // the same list still resets
        model.clear();
        QCOMPARE(resets.size(), 2);
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(TestItemModelSms)
#include "tst_itemmodelsms.moc"
