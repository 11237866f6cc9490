// The row test that the recovery of iOS 6+ messages gives the carver, for a
// file of the known layouts: enough columns, a service of SMS or iMessage in
// any letter case, and a record that lies whole in its free space.
#include <QtTest>

#include "ios6messagerecovery.h"
#include "recoverytestsupport.h"

class TestIos6MessageRowTest : public QObject
{
    Q_OBJECT

private slots:
    void judgesServiceAndWidth_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QVariant>("service");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("38 SMS") << 38 << QVariant("SMS") << true;
        QTest::newRow("37 SMS") << 37 << QVariant("SMS") << false;
        QTest::newRow("69 imessage") << 69 << QVariant("imessage") << true;
        QTest::newRow("51 IMESSAGE") << 51 << QVariant("IMESSAGE") << true;
        QTest::newRow("60 sMs") << 60 << QVariant("sMs") << true;
        QTest::newRow("NULL") << 64 << QVariant() << false;
        QTest::newRow("empty") << 38 << QVariant("") << false;
        QTest::newRow("other service") << 38 << QVariant("Jabber") << false;
        QTest::newRow("trailing blank") << 38 << QVariant("SMS ") << false;
        QTest::newRow("number") << 38 << QVariant(5) << false;
    }
    void judgesServiceAndWidth()
    {
        QFETCH(int, columns);
        QFETCH(QVariant, service);
        QFETCH(bool, accepted);
        RecoveryTestSupport::Folders folders;
        IOS6MessageDb db(QDir(folders.next()), RecoveryTestSupport::us(), false);
        const IOS6MessageRecovery recovery(db, {});
        const SqliteRowFilter rowTest = recovery.rowTest();
        _SqliteFileRowData row;
        for (int i = 0; i < columns; ++i)
            row.values.append(i == 11 ? service : QVariant(QStringLiteral("SMS")));
        QCOMPARE(rowTest(row), accepted);
        row.cut = true;
        QVERIFY(!rowTest(row));
    }
};

QTEST_GUILESS_MAIN(TestIos6MessageRowTest)
#include "tst_ios6messagerowtest.moc"
