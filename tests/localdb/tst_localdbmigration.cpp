// The migration of older single-file local databases: the names on disk
// (rename, target folder, removal), progress, messages stored once, and what
// a failure leaves: the files before it migrated, the failing one under its
// temporary name (migrated again on the next run), the files after it
// untouched; a file that cannot be removed afterwards is reported.
#include <QtTest>

#include "localdbmigration.h"
#include "olderlocaldbfixture.h"
#include "progressreporter.h"
#include "smsdbfixture.h"
#include "sqlfixture.h"
#include "temphome.h"
#include "translation.h"

using Row = OlderLocalDbFixture::Row;

namespace {

// Records the status lines and, apart, the row progress.
class Recorder : public ProgressReporter
{
public:
    void reportProgress(const QString& status, int percent, const QString& detail) override
    {
        if (!status.isEmpty()) {
            statuses.append(status);
            return;
        }
        percents.append(percent);
        details.append(detail);
    }
    bool isCancelled() const override { return false; }

    QStringList statuses;
    QList<int> percents;
    QStringList details;
};

Row row(const QString& address, const QString& text, qint64 date, int isSend = 0)
{
    return Row{address, text, QStringLiteral("Person"), date, isSend};
}

} // namespace

class TestLocalDbMigration : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempHome> home;
    QDir folder;

    QString at(const QString& name) const { return folder.absoluteFilePath(name); }
    QVariant scalar(const QString& db, const QString& sql) const
    {
        return SqlFixture::scalar(SmsDbFixture::smsDbPath(at(db)), sql);
    }
    int messages(const QString& db) const { return scalar(db, QStringLiteral("select count(*) from message")).toInt(); }
    QStringList plainFiles() const { return folder.entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    void older(const QString& name, const QList<Row>& rows) const { OlderLocalDbFixture::create(at(name), rows); }

private slots:
    void initTestCase() { QVERIFY(installEnglishTranslation(QCoreApplication::instance())); }

    void init()
    {
        home = std::make_unique<TempHome>();
        folder = QDir(home->file(QStringLiteral("local_databases")));
        QVERIFY(folder.mkpath(QStringLiteral(".")));
    }

    void cleanup() { home.reset(); }

    // sms.db gives the folder sms.db; old (no dot) the folder old; a file
    // found as backup.__TMP the folder backup. Folders and hidden files stay.
    void fileRules()
    {
        older(QStringLiteral("sms.db"), {row("+1 555 0100", "one", 1000000000), row("+1 555 0101", "two", 1000000001)});
        older(QStringLiteral("old"), {row("+1 555 0102", "three", 1000000002)});
        older(QStringLiteral("backup.__TMP"), {row("+1 555 0103", "four", 1000000003)});
        older(QStringLiteral(".hidden"), {row("+1 555 0104", "five", 1000000004)});
        QVERIFY(folder.mkpath(QStringLiteral("Existing")));

        QCOMPARE(LocalDbMigration::pendingFiles(folder), (QStringList{"backup.__TMP", "old", "sms.db"}));
        Recorder progress;
        QCOMPARE(LocalDbMigration(folder).run(progress), QStringList());

        QCOMPARE(progress.statuses, (QStringList{"Updating local database 'backup.__TMP'...",
                                                 "Updating local database 'old'...",
                                                 "Updating local database 'sms.db'..."}));
        QCOMPARE(plainFiles(), QStringList{".hidden"});
        QCOMPARE(messages(QStringLiteral("sms.db")), 2);
        QCOMPARE(messages(QStringLiteral("old")), 1);
        QCOMPARE(messages(QStringLiteral("backup")), 1);
        QCOMPARE(scalar(QStringLiteral("old"), QStringLiteral("select text from message")).toString(), QStringLiteral("three"));
        QVERIFY(QFileInfo(at(QStringLiteral("Existing"))).isDir());
        QVERIFY(!QFileInfo::exists(SmsDbFixture::smsDbPath(at(QStringLiteral("Existing")))));
    }

    // Four rows: 25, 50, 75, 100 and 1/4 to 4/4; a file without rows shows
    // no row progress and gets a database without messages.
    void progressPerRow()
    {
        older(QStringLiteral("a.db"), {row("1", "a", 1), row("2", "b", 2), row("3", "c", 3), row("4", "d", 4)});
        older(QStringLiteral("b.db"), {});
        Recorder progress;
        QCOMPARE(LocalDbMigration(folder).run(progress), QStringList());
        QCOMPARE(progress.percents, (QList<int>{25, 50, 75, 100}));
        QCOMPARE(progress.details, (QStringList{"SMS: 1/4", "SMS: 2/4", "SMS: 3/4", "SMS: 4/4"}));
        QCOMPARE(messages(QStringLiteral("b.db")), 0);
        QCOMPARE(plainFiles(), QStringList());
    }

    // Equal rows are stored once; addresses that differ only by spaces,
    // brackets or dashes share one conversation and one correspondent; a
    // folder that holds the messages already does not get them twice.
    void messagesStoredOnce()
    {
        const QList<Row> rows{row("+1 (555) 010-0200", "same", 1000000000, 1),
                              row("+1 (555) 010-0200", "same", 1000000000, 1),
                              row("+1-555-010-0200", "other", 1000000100),
                              row("Ann@Example.COM", "mail", 978307200)};
        older(QStringLiteral("db"), rows);
        Recorder progress;
        QCOMPARE(LocalDbMigration(folder).run(progress), QStringList());
        // The same rows once more, from a file left under its temporary name,
        // into the folder that holds them already.
        older(QStringLiteral("db.__tmp"), rows);
        QCOMPARE(LocalDbMigration(folder).run(progress), QStringList());

        QCOMPARE(messages(QStringLiteral("db")), 3);
        QCOMPARE(scalar(QStringLiteral("db"), QStringLiteral("select count(*) from chat")).toInt(), 2);
        QCOMPARE(scalar(QStringLiteral("db"), QStringLiteral("select count(*) from handle")).toInt(), 2);
        QCOMPARE(scalar(QStringLiteral("db"), QStringLiteral("select count(*) from handle where id = 'ann@example.com'")).toInt(), 1);
        QCOMPARE(scalar(QStringLiteral("db"), QStringLiteral("select count(*) from chat where guid = 'SMS;-;+15550100200'")).toInt(), 1);
        QCOMPARE(scalar(QStringLiteral("db"), QStringLiteral("select is_from_me from message where text = 'same'")).toInt(), 1);
    }

    // b.db fails: a.db stays migrated, b.db keeps its temporary name (its
    // folder holds no message), c.db is untouched.
    void failureStopsAtFailingFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no view_sms") << "noview";
        QTest::newRow("not a database") << "text";
        QTest::newRow("folder where the database file should be") << "folder";
    }

    void failureStopsAtFailingFile()
    {
        QFETCH(QString, kind);
        older(QStringLiteral("a.db"), {row("1", "a", 1)});
        older(QStringLiteral("c.db"), {row("3", "c", 3)});
        if (kind == QLatin1String("noview")) {
            OlderLocalDbFixture::createWithoutView(at(QStringLiteral("b.db")));
        } else if (kind == QLatin1String("text")) {
            QFile file(at(QStringLiteral("b.db")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(2048, 'x'));
        } else {
            // Found under its temporary name, as the folder b.db could not
            // be made beside a file b.db.
            older(QStringLiteral("b.db.__tmp"), {row("2", "b", 2)});
            QVERIFY(QDir().mkpath(SmsDbFixture::smsDbPath(at(QStringLiteral("b.db")))));
        }
        Recorder progress;
        QVERIFY_THROWS_EXCEPTION(std::exception, LocalDbMigration(folder).run(progress));

        QCOMPARE(plainFiles(), (QStringList{"b.db.__tmp", "c.db"}));
        QCOMPARE(messages(QStringLiteral("a.db")), 1);
        QVERIFY(!QFileInfo::exists(at(QStringLiteral("c.db.__tmp"))));
        QVERIFY(QFileInfo(at(QStringLiteral("c.db"))).isFile());
        if (kind == QLatin1String("noview"))
            QCOMPARE(messages(QStringLiteral("b.db")), 0);
    }

    // The next run migrates the temporary file without a second rename, into
    // the same folder, and goes on with the rest.
    void failedFileMigratesNextTime()
    {
        OlderLocalDbFixture::createWithoutView(at(QStringLiteral("b.db")));
        older(QStringLiteral("c.db"), {row("3", "c", 3)});
        Recorder progress;
        QVERIFY_THROWS_EXCEPTION(std::exception, LocalDbMigration(folder).run(progress));
        QVERIFY(QFile::remove(at(QStringLiteral("b.db.__tmp"))));
        older(QStringLiteral("b.db.__tmp"), {row("2", "b", 2)});
        QCOMPARE(LocalDbMigration(folder).run(progress), QStringList());
        QCOMPARE(plainFiles(), QStringList());
        QCOMPARE(messages(QStringLiteral("b.db")), 1);
        QCOMPARE(messages(QStringLiteral("c.db")), 1);
    }

    // A rename that would replace a file fails and touches nothing.
    void renameNeverReplaces()
    {
        older(QStringLiteral("old"), {row("1", "a", 1)});
        older(QStringLiteral("old.__tmp"), {row("2", "b", 2)});
        Recorder progress;
        try {
            LocalDbMigration(folder).run(progress);
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("can not rename %1.").arg(at(QStringLiteral("old"))));
        }
        QCOMPARE(plainFiles(), (QStringList{"old", "old.__tmp"}));
        QVERIFY(!QFileInfo::exists(at(QStringLiteral("old.d"))));
        QCOMPARE(folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }

    // A migrated file that cannot be removed is named in the result, after
    // the other files went their way; its messages are in its folder.
    void fileLeftBehindIsReported()
    {
        older(QStringLiteral("a.db"), {row("1", "a", 1)});
        older(QStringLiteral("b.db"), {row("2", "b", 2)});
        LocalDbMigration migration(folder);
        const QString stuck = at(QStringLiteral("a.db.__tmp"));
        migration.removeFile = [stuck](const QString& path) { return path != stuck && QFile::remove(path); };
        Recorder progress;
        QCOMPARE(migration.run(progress), QStringList{stuck});
        QCOMPARE(plainFiles(), QStringList{"a.db.__tmp"});
        QCOMPARE(messages(QStringLiteral("a.db")), 1);
        QCOMPARE(messages(QStringLiteral("b.db")), 1);
    }

    void nothingToMigrate()
    {
        QVERIFY(folder.mkpath(QStringLiteral("Folder")));
        Recorder progress;
        QCOMPARE(LocalDbMigration(folder).run(progress), QStringList());
        QVERIFY(progress.statuses.isEmpty());
        QCOMPARE(folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"Folder"});
    }
};

QTEST_MAIN(TestLocalDbMigration)
#include "tst_localdbmigration.moc"
