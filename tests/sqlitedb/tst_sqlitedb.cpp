// The database wrapper: opening, statements, cursors, rows, transactions and
// closing, against files built with the SQLite C API.
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include "sqlfixture.h"
#include "sqlitedb.h"

class TestSqliteDb : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString makeDb(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        SqlFixture::build(path,
                          "create table t (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL DEFAULT '', "
                          "n INTEGER, data BLOB, r REAL);"
                          "insert into t (name, n, data) values ('a', 1, x'0001'), ('b', 5000000000, NULL), ('c', NULL, x'');");
        return path;
    }

private slots:
    void openFailuresThrowAndLeaveNothingOpen_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing, read-only") << QString() << 1 << "unable to open database file";
        QTest::newRow("missing, read-write") << QString() << 2 << "unable to open database file";
        QTest::newRow("not a database") << "this is plain text, long enough to look like a header........." << 1
                                        << "file is not a database";
    }
    void openFailuresThrowAndLeaveNothingOpen()
    {
        QFETCH(QString, content);
        QFETCH(int, flags);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("bad-%1.db").arg(QTest::currentDataTag()));
        if (!content.isNull()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content.toUtf8());
        }
        Sqlite3DB db;
        try {
            db.openThrow(path, flags);
            QFAIL("open succeeded");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(message), e.what());
        }
        QVERIFY(!db.isOpen());
        QCOMPARE(QFile::exists(path), !content.isNull()); // a failed open creates nothing
    }

    void lockedDatabaseThrows()
    {
        const QString path = makeDb(QStringLiteral("locked.db"));
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "begin exclusive; insert into t (name) values ('x');", nullptr, nullptr, nullptr), SQLITE_OK);
        Sqlite3DB db;
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.openThrow(path, Sqlite3DB::ReadWrite));
        QVERIFY(!db.isOpen());
        sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }

    void cursorGettersByNameAnyCase()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("read.db")), Sqlite3DB::ReadOnly);
        Sqlite3Cursor c = db.queryThrow("select * from t order by rowid");
        QCOMPARE(c.count(), 3); // before the first row
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("rowid"), 1);
        QCOMPARE(c.getText("NAME"), QStringLiteral("a"));
        QCOMPARE(c.getBlob("data"), QByteArray("\x00\x01", 2));
        QCOMPARE(c.getInt("absent"), 0);
        QCOMPARE(c.getText("absent"), QString());
        QVERIFY(c.isNull("absent"));
        QCOMPARE(c.count(), 3); // counting keeps the position
        QCOMPARE(c.getText("name"), QStringLiteral("a"));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("n"), Q_INT64_C(5000000000));
        QVERIFY(c.isNull("data"));
        QCOMPARE(c.getBlob("data"), QByteArray());
        QCOMPARE(c.getInt64(2), Q_INT64_C(5000000000));
        QCOMPARE(c.getInt64(99), 0);
        QVERIFY(c.moveNext());
        QVERIFY(c.isNull("n"));
        QCOMPARE(c.getInt("n"), 0);
        QVERIFY(!c.moveNext());
        QVERIFY(!c.moveNext());
    }

    void cursorGettersByPosition()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("position.db")), Sqlite3DB::ReadOnly);
        Sqlite3Cursor c = db.queryThrow("select name, n, data from t order by rowid");
        const int name = c.column(QStringLiteral("NAME")), n = c.column(QStringLiteral("n"));
        const int data = c.column(QStringLiteral("data")), absent = c.column(QStringLiteral("absent"));
        QCOMPARE(name, 0);
        QCOMPARE(absent, -1);
        QCOMPARE(c.getText(name), QString()); // before the first row
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText(name), QStringLiteral("a"));
        QCOMPARE(c.getUtf8(name), QByteArrayView("a"));
        QCOMPARE(c.getInt(n), 1);
        QCOMPARE(c.getBlob(data), QByteArray("\x00\x01", 2));
        QCOMPARE(c.getInt(absent), 0);
        QVERIFY(c.getText(absent).isNull());
        QVERIFY(c.getUtf8(absent).isNull());
        QCOMPARE(c.getBlob(99), QByteArray());
        QVERIFY(c.moveNext());
        QVERIFY(c.getBlob(data).isNull());
        QVERIFY(c.getUtf8(data).isNull()); // NULL
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt(n), 0);
        QVERIFY(c.getBlob(data).isEmpty());
        QVERIFY(!c.moveNext());
        QCOMPARE(c.getText(name), QString()); // past the last row
    }

    void parametersBindInOrderAndKeepTypes()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("bind.db")), Sqlite3DB::ReadWrite);
        Sqlite3Sql sql("insert into t (name, n, data) values (?, ?, ?)");
        sql.addTextParam(QString()).addInt64Param(Q_INT64_C(-9000000000)).addBlobParam(QByteArray("\xff\0z", 3));
        db.executeThrow(sql);
        const qint64 id = db.lastInsertId();
        QCOMPARE(id, 4);
        Sqlite3Sql q("select name, n, data, typeof(name) as tn, typeof(data) as td from t where rowid = ?");
        q.addInt64Param(id);
        Sqlite3Cursor c = db.queryThrow(q);
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText("tn"), QStringLiteral("text")); // an empty QString binds as '', never NULL
        QCOMPARE(c.getInt64("n"), Q_INT64_C(-9000000000));
        QCOMPARE(c.getBlob("data"), QByteArray("\xff\0z", 3));
        QCOMPARE(c.getText("td"), QStringLiteral("blob"));
    }

    void sqlErrorsCarrySqliteMessage()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("err.db")), Sqlite3DB::ReadWrite);
        try {
            db.queryThrow("select * from nosuchtable");
            QFAIL("no exception");
        } catch (const Sqlite3Error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("no such table: nosuchtable"), e.what());
        }
        try {
            db.executeThrow(Sqlite3Sql("insert into t (name) values (NULL)"));
            QFAIL("no exception");
        } catch (const Sqlite3Error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("NOT NULL constraint failed"), e.what());
        }
        QString error;
        QVERIFY(db.exec("create table x (a); garbage here", error) != 0);
        QVERIFY(error.contains("syntax error"));
        QCOMPARE(db.exec("create table y (a); insert into y values (1);", error), 0);
    }

    void tbInfoDescribesColumns()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("info.db")), Sqlite3DB::ReadOnly);
        const auto cols = db.tbInfo("t");
        QCOMPARE(cols.size(), 5);
        QVERIFY(cols["ROWID"].primaryKey && cols["ROWID"].isInteger());
        QVERIFY(cols["name"].notNull && cols["name"].hasDefault && cols["name"].isText());
        QVERIFY(cols["data"].isBlob() && !cols["data"].notNull);
        QVERIFY(cols["r"].isReal());
        QVERIFY(db.tbInfo("missing").isEmpty());
    }

    void columnTypeTests_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("kind");
        QTest::newRow("INTEGER") << "INTEGER" << "int";
        QTest::newRow("int lower") << "bigint" << "int";
        QTest::newRow("TEXT") << "TEXT" << "text";
        QTest::newRow("STRING") << "STRING" << "text";
        QTest::newRow("VARCHAR") << "VARCHAR(10)" << "text";
        QTest::newRow("BLOB") << "BLOB" << "blob";
        QTest::newRow("none") << "" << "blob";
        QTest::newRow("REAL") << "REAL" << "real";
        QTest::newRow("NUMERIC") << "NUMERIC" << "numeric";
    }
    void columnTypeTests()
    {
        QFETCH(QString, type);
        QFETCH(QString, kind);
        const _SqliteCol c("c", type, false, false, false);
        QCOMPARE(c.isInteger(), kind == "int");
        QCOMPARE(c.isText(), kind == "text");
        QCOMPARE(c.isBlob(), kind == "blob");
        QCOMPARE(c.isReal(), kind == "real");
        QCOMPARE(c.isNumeric(), kind == "numeric");
    }

    void rowInsertSqlLeavesOutColumnsAnyCase()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("row.db")), Sqlite3DB::ReadWrite);
        Sqlite3Cursor c = db.queryThrow("select * from t where rowid = 1");
        QVERIFY(c.moveNext());
        Sqlite3Row row = c.getRow();
        QCOMPARE(row.val("Name"), QVariant(QStringLiteral("a")));
        row["NAME"] = QStringLiteral("copy \"quoted\"");
        QCOMPARE(row.size(), 5);
        db.executeThrow(row.insertSql("t", {QStringLiteral("rowid")}));
        QCOMPARE(db.lastInsertId(), 4);
        Sqlite3Cursor back = db.queryThrow("select name, n, data, r is null as rn from t where rowid = 4");
        QVERIFY(back.moveNext());
        QCOMPARE(back.getText("name"), QStringLiteral("copy \"quoted\""));
        QCOMPARE(back.getInt("n"), 1);
        QCOMPARE(back.getBlob("data"), QByteArray("\x00\x01", 2));
        QCOMPARE(back.getInt("rn"), 1); // NULL stays NULL
    }

    void closeFinalisesStatementsAndDropsPendingTransaction()
    {
        const QString path = makeDb(QStringLiteral("close.db"));
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        Sqlite3Cursor open = db.queryThrow("select * from t");
        QVERIFY(open.moveNext());
        db.beginTran();
        db.executeThrow(Sqlite3Sql("delete from t"));
        db.close();
        QVERIFY(!db.isOpen());
        QCOMPARE(db.keptStatementCount(), 0);
        QVERIFY(!open.moveNext()); // the cursor outlived its connection and just ends
        QCOMPARE(open.getText("name"), QString());
        // The file is really closed (no zombie connection holds the lock) and the delete is gone.
        QCOMPARE(SqlFixture::scalar(path, "select count(*) from t").toInt(), 3);
        db.openThrow(path, Sqlite3DB::ReadWrite);
        db.beginTran();
        db.executeThrow(Sqlite3Sql("delete from t where rowid = 1"));
        db.commitTran();
        QCOMPARE(SqlFixture::scalar(path, "select count(*) from t").toInt(), 2);
        db.close();
        db.close(); // no-op
    }

    // A kept statement runs again with only the values of its new call: one
    // left bound from the call before would land in the wrong row.
    void keptStatementRunsWithFreshValues()
    {
        const QString path = makeDb(QStringLiteral("kept.db"));
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        const QString insert = QStringLiteral("insert into t (name, n, r) values (?, ?, ?)");
        db.executeThrow(Sqlite3Sql(insert).addTextParam("full").addIntParam(7).addDoubleParam(0.5));
        db.executeThrow(Sqlite3Sql(insert).addTextParam("short").addIntParam(8));
        QCOMPARE(db.keptStatementCount(), 1);
        QCOMPARE(SqlFixture::scalar(path, "select typeof(r) || n from t where name = 'short'").toString(), "null8");
        QCOMPARE(SqlFixture::scalar(path, "select r from t where name = 'full'").toDouble(), 0.5);
    }

    // Rows that set different columns of one insert list: each set of
    // columns gets its own statement, a left-out column its default.
    void insertListLeavesOutWhatARowDoesNotSet()
    {
        const QString path = makeDb(QStringLiteral("insertlist.db"));
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        Sqlite3Insert insert(QStringLiteral("t"));
        const int name = insert.addColumn(QStringLiteral("name"));
        const int n = insert.addColumn(QStringLiteral("n"));
        const int absent = -1; // a column the table lacks
        const int data = insert.addColumn(QStringLiteral("data"));
        db.executeThrow(insert.newRow().setText(name, "all").setInt64(n, 9).setInt64(absent, 1).setBlob(data, "\x01").takeRow());
        db.executeThrow(insert.newRow().setInt64(n, 10).takeRow());
        db.executeThrow(insert.newRow().takeRow());
        db.executeThrow(insert.newRow().setText(name, "again").setInt64(n, 11).setBlob(data, QByteArray()).takeRow());
        QCOMPARE(db.keptStatementCount(), 3); // one per set of columns
        QCOMPARE(SqlFixture::scalar(path, "select quote(name) || n || quote(data) from t where n = 9").toString(), "'all'9X'01'");
        QCOMPARE(SqlFixture::scalar(path, "select quote(name) || quote(data) from t where n = 10").toString(), "''NULL");
        QCOMPARE(SqlFixture::scalar(path, "select quote(name) || quote(n) from t where rowid = 6").toString(), "''NULL");
        QCOMPARE(SqlFixture::scalar(path, "select quote(data) from t where n = 11").toString(), "X''");
    }

    void schemaChangeLetsKeptStatementsGo_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("throughExec");
        QTest::newRow("alter through exec") << "alter table t add column z" << true;
        QTest::newRow("index through executeThrow") << "create index t_n on t(n)" << false;
        QTest::newRow("drop and create through exec") << "drop table t; create table t (name TEXT, z)" << true;
        QTest::newRow("attach through executeThrow") << "attach database ':memory:' as other" << false;
    }
    void schemaChangeLetsKeptStatementsGo()
    {
        QFETCH(QString, change);
        QFETCH(bool, throughExec);
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("schema-%1.db").arg(QTest::currentDataTag())), Sqlite3DB::ReadWrite);
        const QString insert = QStringLiteral("insert into t (name) values (?)");
        db.executeThrow(Sqlite3Sql(insert).addTextParam("before"));
        db.queryThrow("select name from t").moveNext(); // reading keeps them
        QCOMPARE(db.keptStatementCount(), 1);
        QString error;
        if (throughExec)
            QCOMPARE(db.exec(change, error), 0);
        else
            db.executeThrow(Sqlite3Sql(change));
        QCOMPARE(db.keptStatementCount(), 0);
        db.executeThrow(Sqlite3Sql(insert).addTextParam("after"));
        QCOMPARE(db.keptStatementCount(), 1);
    }

    // Errors of a kept statement carry SQLite's text as a new one's would,
    // and the statement serves the next row.
    void keptStatementErrorsKeepTheirText()
    {
        Sqlite3DB db;
        const QString path = makeDb(QStringLiteral("kepterr.db"));
        db.openThrow(path, Sqlite3DB::ReadWrite);
        QString error;
        QCOMPARE(db.exec("create table u (a UNIQUE NOT NULL)", error), 0);
        const QString insert = QStringLiteral("insert into u (a) values (?)");
        db.executeThrow(Sqlite3Sql(insert).addIntParam(1));
        auto failure = [&](const Sqlite3Sql& sql) -> QByteArray {
            try {
                db.executeThrow(sql);
            } catch (const Sqlite3Error& e) {
                return e.what();
            }
            return "no error";
        };
        QCOMPARE(failure(Sqlite3Sql(insert).addIntParam(1)), QByteArray("UNIQUE constraint failed: u.a"));
        QCOMPARE(failure(Sqlite3Sql(insert)), QByteArray("NOT NULL constraint failed: u.a")); // nothing left bound
        QCOMPARE(failure(Sqlite3Sql(insert).addIntParam(3).addIntParam(4)), QByteArray("column index out of range"));
        db.executeThrow(Sqlite3Sql(insert).addIntParam(2));
        QCOMPARE(db.keptStatementCount(), 1);
        // After the table changed under it, the text is that of a statement made new.
        QCOMPARE(db.exec("drop table u; create table u (b)", error), 0);
        QCOMPARE(failure(Sqlite3Sql(insert).addIntParam(5)), QByteArray("table u has no column named a"));
        QCOMPARE(SqlFixture::scalar(path, "select count(*) from u").toInt(), 0);
    }

    void transactionErrors()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("tran.db")), Sqlite3DB::ReadWrite);
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.commitTran());
        db.beginTran();
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.beginTran());
        db.rollbackTran();
        Sqlite3DB closed;
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, closed.queryThrow("select 1"));
    }

    void scriptRunsUpToFirstNulAndCreateFailureLeavesNoFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("script.db"));
        Sqlite3DB db;
        db.createFromScriptThrow(path, QByteArray("create table a(x);\0create table b(x);", 38));
        QVERIFY(db.tbInfo("a").contains("x"));
        QVERIFY(db.tbInfo("b").isEmpty()); // the bytes after the NUL are not SQL
        db.close();

        // A schema failing half way: the file it began is gone, nothing is open.
        const QString bad = m_dir.filePath(QStringLiteral("badscript.db"));
        try {
            db.createFromScriptThrow(bad, "create table a(x); create tabel b(x);");
            QFAIL("no error");
        } catch (const Sqlite3Error& e) {
            QVERIFY2(QByteArray(e.what()).contains("syntax error"), e.what());
        }
        QVERIFY(!db.isOpen());
        QVERIFY(!QFile::exists(bad));
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, db.createFromScriptFileThrow(bad, m_dir.filePath("no-such.sql")));
        QVERIFY(!QFile::exists(bad));
    }

    void scalarFunctionsSeeAndGiveEveryType_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("typeSeen");
        QTest::newRow("integer") << "5000000000" << "integer";
        QTest::newRow("real") << "0.5" << "real";
        QTest::newRow("text") << "'h\u00e9'" << "text";
        QTest::newRow("blob") << "x'00ff'" << "blob";
        QTest::newRow("null") << "NULL" << "null";
    }
    void scalarFunctionsSeeAndGiveEveryType()
    {
        QFETCH(QString, argument);
        QFETCH(QString, typeSeen);
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("fn-%1.db").arg(QTest::currentDataTag())), Sqlite3DB::ReadOnly);
        db.registerScalarFunctionThrow("echo", 1, [](const QVariantList& args) { return args.at(0); });
        Sqlite3Cursor c = db.queryThrow(QStringLiteral("select typeof(echo(%1)) as t, echo(%1) = %1 as same").arg(argument));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getText("t"), typeSeen);
        if (typeSeen != "null")
            QCOMPARE(c.getInt("same"), 1);
    }

    void scalarFunctionErrorsFailTheStatement()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("fnerr.db")), Sqlite3DB::ReadOnly);
        db.registerScalarFunctionThrow("boom", 0, [](const QVariantList&) -> QVariant { throw std::runtime_error("no"); });
        try {
            Sqlite3Cursor c = db.queryThrow("select boom()");
            c.moveNext();
            QFAIL("no error");
        } catch (const Sqlite3Error& e) {
            QCOMPARE(QByteArray(e.what()), QByteArray("no"));
        }
        Sqlite3DB closed;
        QVERIFY_THROWS_EXCEPTION(Sqlite3Error, closed.registerScalarFunctionThrow("f", 0, [](const QVariantList&) { return QVariant(); }));
    }

    void manyStatementsDoNotAccumulate()
    {
        Sqlite3DB db;
        db.openThrow(makeDb(QStringLiteral("many.db")), Sqlite3DB::ReadOnly);
        for (int i = 0; i < 10000; ++i) {
            Sqlite3Cursor c = db.queryThrow(Sqlite3Sql("select ? as v").addIntParam(i));
            QVERIFY(c.moveNext());
            QCOMPARE(c.getInt("v"), i);
        }
    }
};

QTEST_GUILESS_MAIN(TestSqliteDb)
#include "tst_sqlitedb.moc"
