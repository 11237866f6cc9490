// The schema test that tells an iOS 6+ sms.db from an iOS 5 one.
#include <QTemporaryDir>
#include <QtTest>

#include "absiosmessagedb.h"
#include "sqlfixture.h"

class TestAbsIOSMessageDb : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void checkDbType_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("expected");
        const QString five = "create table chat (a);create table handle (a);create table chat_handle_join (a);"
                             "create table message (a);create table chat_message_join (a);";
        QTest::newRow("the five tables") << five << 6;
        QTest::newRow("five and others") << five + "create table attachment (a);create table x (a);" << 6;
        QTest::newRow("empty database") << "create table unrelated (a);drop table unrelated;" << 5;
        QTest::newRow("no chat_handle_join")
            << "create table chat (a);create table handle (a);create table message (a);create table chat_message_join (a);"
            << 5;
        // Table names compare exactly, and only tables count.
        QTest::newRow("Message in other case")
            << "create table chat (a);create table handle (a);create table chat_handle_join (a);"
               "create table Message (a);create table chat_message_join (a);"
            << 5;
        QTest::newRow("view named chat")
            << "create table t (a);create view chat as select * from t;create table handle (a);"
               "create table chat_handle_join (a);create table message (a);create table chat_message_join (a);"
            << 5;
        QTest::newRow("index named handle")
            << "create table chat (a);create table t (a);create index handle on t(a);create table chat_handle_join (a);"
               "create table message (a);create table chat_message_join (a);"
            << 5;
    }
    void checkDbType()
    {
        QFETCH(QString, sql);
        QFETCH(int, expected);
        const QString path = m_dir.filePath(QString(QTest::currentDataTag()) + ".db");
        SqlFixture::build(path, sql);
        QCOMPARE(AbsIOSMessageDb::checkDbType(path), expected);
    }

    void missingFileThrowsAndCreatesNothing()
    {
        const QString path = m_dir.filePath("absent.db");
        QVERIFY_THROWS_EXCEPTION(std::exception, AbsIOSMessageDb::checkDbType(path));
        QVERIFY(!QFile::exists(path));
    }

    void notADatabaseThrowsNamingTheFile()
    {
        const QString path = m_dir.filePath("garbage.db");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        try {
            AbsIOSMessageDb::checkDbType(path);
            QFAIL("no exception");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(path), e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestAbsIOSMessageDb)
#include "tst_absiosmessagedb.moc"
