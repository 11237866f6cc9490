// The database base class: open on first use, one pending edit, table rows
// and inserts limited to the given columns.
#include <QTemporaryDir>
#include <QtTest>

#include "absdb.h"
#include "sqlfixture.h"

namespace {
// Opens its file on first use; counts the opens so tests can see when it did.
class FileDb : public AbsDb
{
public:
    explicit FileDb(const QString& path) : m_path(path) {}
    void openCheck() override
    {
        if (isOpen())
            return;
        ++opens;
        openThrow(m_path, Sqlite3DB::ReadWrite);
    }
    int opens = 0;

private:
    QString m_path;
};
} // namespace

class TestAbsDb : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString makeDb(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        SqlFixture::build(path, "create table t (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, data BLOB);"
                                "create table \"odd name\" (a TEXT);"
                                "insert into t (name) values ('first');");
        return path;
    }
    static int rows(const QString& path) { return SqlFixture::scalar(path, "select count(*) from t").toInt(); }

private slots:
    void endEditWithoutBeginDoesNothing()
    {
        FileDb db(m_dir.filePath("never-created.db"));
        db.endEdit(true);
        db.endEdit(false);
        QCOMPARE(db.opens, 0);
        QVERIFY(!QFile::exists(m_dir.filePath("never-created.db")));
    }

    void editEndsCommittedOrDiscarded_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("expected");
        QTest::newRow("commit") << "commit" << 3;
        QTest::newRow("rollback") << "rollback" << 1;
        QTest::newRow("close without endEdit") << "close" << 1;
        QTest::newRow("destroy without endEdit") << "destroy" << 1;
    }
    void editEndsCommittedOrDiscarded()
    {
        QFETCH(QString, ending);
        QFETCH(int, expected);
        const QString path = makeDb(ending + ".db");
        auto* db = new FileDb(path);
        db->beginEdit();
        QVERIFY(db->inTransaction);
        Sqlite3Row row;
        row["name"] = QStringLiteral("second");
        db->insertSqlRow(row, "t", {});
        db->insertSqlRow(row, "t", {});
        if (ending == "commit")
            db->endEdit(true);
        else if (ending == "rollback")
            db->endEdit(false);
        else if (ending == "close")
            db->close();
        if (ending != "destroy")
            QVERIFY(!db->inTransaction);
        delete db;
        QCOMPARE(rows(path), expected);
    }

    void failedOpenInBeginEditLeavesNoPendingEdit()
    {
        FileDb db(m_dir.filePath("missing/dir/x.db"));
        QVERIFY_THROWS_EXCEPTION(std::exception, db.beginEdit());
        QVERIFY(!db.inTransaction);
        db.endEdit(true); // nothing pending: no further open attempt
        QCOMPARE(db.opens, 1);
    }

    void tableRows()
    {
        FileDb db(makeDb("rows.db"));
        const QList<Sqlite3Row> rows = db.tableRows("t");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().val("NAME").toString(), QStringLiteral("first"));
        QVERIFY(db.tableRows("odd name").isEmpty()); // names are quoted
        QVERIFY_THROWS_EXCEPTION(std::exception, db.tableRows("nosuchtable"));
    }

    void insertLeavingOutRowidGetsNewId()
    {
        const QString path = makeDb("insert.db");
        FileDb db(path);
        Sqlite3Row row = db.tableRows("t").first();
        row["data"] = QByteArray("\x01\x02", 2);
        QVERIFY_THROWS_EXCEPTION(std::exception, db.insertSqlRow(row, "t", {})); // same rowid
        const qint64 id = db.insertSqlRow(row, "t", {"rowid"});
        QCOMPARE(id, 2);
        QCOMPARE(SqlFixture::scalar(path, "select data from t where rowid = 2").toByteArray(), QByteArray("\x01\x02", 2));
    }

    void reopensAfterClose()
    {
        FileDb db(makeDb("reopen.db"));
        db.tableRows("t");
        db.close();
        QVERIFY(!db.isOpen());
        QCOMPARE(db.tableRows("t").size(), 1);
        QCOMPARE(db.opens, 2);
    }
};

QTEST_GUILESS_MAIN(TestAbsDb)
#include "tst_absdb.moc"
