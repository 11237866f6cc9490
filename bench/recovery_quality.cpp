// Recall and precision of the recovery of deleted iOS 6+ messages and handles
// over scenarios made with SQLite: single rows, ranges, whole conversations,
// long messages on overflow pages, updates that move rows, and a database in
// WAL mode; and of deleted iOS 5 messages in a table of either column order
// (iMessage columns appended, or declared as a phone declares them with SMS
// rows holding zeros), a third of them iMessages, with single rows and a
// range deleted; then, in a phone's order, the newest row of every page
// deleted (its record behind the zero bytes of the page's gap), single rows
// and a range deleted after a column was appended, and the same deleted from
// the table of a phone upgraded from iOS 4, whose pages hold rows of 17 and
// of 33 values. Also counts live rows reported as deleted (goal: none).
// Every deleted row counts, recoverable or not; the ceiling line shows how
// many of them SQLite left in the file at all, and the recall against those,
// and for iOS 5 the whole line how many deleted rows kept their whole record
// (serial types and body) in the file, and the recall against those. Last,
// each refusal beyond the row tests is turned off in turn, to show what it
// keeps out and what it costs.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "deletedsmsfixture.h"
#include "ios5messagerecovery.h"
#include "ios6handlerecovery.h"
#include "ios6messagerecovery.h"
#include "smsdbfixture.h"
#include "sqlite3file.h"
#include "sqlitefilefixture.h"

namespace {

constexpr int kHandles = 60;
constexpr int kMessages = 20000;
// Deletes at least this much, so that freed overflow pages go onto a free list.
const char* const kFreeListFirst =
    "CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(40000)); DROP TABLE filler;";

struct Scenario
{
    const char* name;
    int longEvery;
    bool wal;
    QString sql;
};

QSet<QString> valuesOf(const QString& path, const QString& table, int column)
{
    QSet<QString> set;
    for (const SqliteFileFixture::LiveRow& r : SqliteFileFixture::liveRows(path, table))
        set.insert(r.values.at(column).toString());
    return set;
}

struct Ios6Checks
{
    IOS6MessageChecks messages;
    IOS6HandleChecks handles;
};

void score(const char* what, const QSet<QString>& deleted, const QSet<QString>& recovered, const QSet<QString>& live)
{
    const int hits = int((deleted & recovered).size());
    const double recall = deleted.isEmpty() ? 1.0 : double(hits) / deleted.size();
    const double precision = recovered.isEmpty() ? 1.0 : double(hits) / recovered.size();
    std::printf("    %-9s deleted %5lld  recovered %5lld  recall %.3f  precision %.3f  live reported %lld\n", what,
                qlonglong(deleted.size()), qlonglong(recovered.size()), recall, precision,
                qlonglong((recovered & live).size()));
}

// The ceiling: deleted messages whose own text ("Message <rowid> about")
// is still somewhere in the file; SQLite overwrote the others.
QSet<QString> textsInFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    QSet<QString> guids;
    const QByteArray key("Message ");
    for (qsizetype at = bytes.indexOf(key); at >= 0; at = bytes.indexOf(key, at + 1)) {
        qint64 id = 0;
        qsizetype p = at + key.size();
        while (p < bytes.size() && bytes[p] >= '0' && bytes[p] <= '9' && id < (1LL << 40))
            id = id * 10 + (bytes[p++] - '0');
        if (bytes.mid(p, 7) == " about ")
            guids.insert(DeletedSmsFixture::guidOf(id));
    }
    return guids;
}

// `without`: the name of the refusal turned off in `checks`; then only the
// scores are printed, under that name.
void run(const Scenario& s, const Ios6Checks& checks = {}, const char* without = nullptr)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    DeletedSmsFixture::create(folder, kHandles, kMessages, s.longEvery);
    const QString sms = SmsDbFixture::smsDbPath(folder);
    if (s.wal)
        SqliteFileFixture::exec(sms, QStringLiteral("PRAGMA journal_mode=WAL;"));
    const QSet<QString> guidsBefore = DeletedSmsFixture::liveGuids(folder);
    const QSet<QString> handlesBefore = DeletedSmsFixture::liveHandleIds(folder);
    SqliteFileFixture::exec(sms, QString::fromLatin1(kFreeListFirst) + s.sql);
    const QSet<QString> guidsLive = DeletedSmsFixture::liveGuids(folder);
    const QSet<QString> handlesLive = DeletedSmsFixture::liveHandleIds(folder);

    CountryLibDb countries{QString()};
    IOS6MessageDb db(QDir(folder), countries.infoByCode(QStringLiteral("US"), nullptr), false);
    MsgData data;
    db.chats(data);
    QElapsedTimer t;
    t.start();
    IOS6HandleRecovery::recycleDeletedHandles(db, nullptr, checks.handles);
    IOS6MessageRecovery::recycleDeletedMessages(db, data.p()->chats.values(), nullptr, checks.messages);
    const double seconds = t.nsecsElapsed() / 1e9;

    const QString recycle = folder + QStringLiteral("/recycle.db");
    if (without)
        std::printf("  %s, without %s\n", s.name, without);
    else
        std::printf("%s (%.2f s)\n", s.name, seconds);
    const QSet<QString> deleted = guidsBefore - guidsLive;
    const QSet<QString> recovered = valuesOf(recycle, QStringLiteral("message"), 1);
    score("messages", deleted, recovered, guidsLive);
    if (!without) {
        const QSet<QString> present = deleted & textsInFile(sms);
        std::printf("    ceiling   %lld of the deleted texts left in the file; recall of those %.3f\n",
                    qlonglong(present.size()), present.isEmpty() ? 1.0 : double((present & recovered).size()) / present.size());
    }
    score("handles", handlesBefore - handlesLive, valuesOf(recycle, QStringLiteral("handle"), 1), handlesLive);
}

// Texts of an iOS 5 message table (SMS guids are made up when stored, so
// messages are told apart by text there).
QSet<QString> textsOf(const QString& path)
{
    return valuesOf(path, QStringLiteral("message"), 3);
}

QSet<QString> startingWith(const QSet<QString>& texts, const QString& prefix)
{
    QSet<QString> out;
    for (const QString& t : texts)
        if (t.startsWith(prefix))
            out.insert(t);
    return out;
}

// The row of each leaf page of the message table whose cell was written
// last: the one of the highest row id, at the start of the cell content.
QList<qint64> newestRowOfEachPage(const QString& sms)
{
    Sqlite3File f(sms);
    f.open();
    QList<qint64> rows;
    for (const _SqliteBtreePage& page : f.leafs(f.btreePage(SqliteFileFixture::rootPage(sms, QStringLiteral("message"))))) {
        qint64 newest = 0;
        for (const char* cell : page.cells)
            newest = qMax(newest, f.pageCellRow(page, cell).rowid);
        rows.append(newest);
    }
    return rows;
}

// Each row's record as the file holds it (as many values as the row was
// written with), by the row's text: what must still lie whole in the file
// for the row to come back whole.
QHash<QString, QByteArray> recordsByText(const QString& sms)
{
    Sqlite3File f(sms);
    f.open();
    QHash<QString, QByteArray> records;
    for (const _SqliteBtreePage& page : f.leafs(f.btreePage(SqliteFileFixture::rootPage(sms, QStringLiteral("message"))))) {
        for (const char* cell : page.cells) {
            const _SqliteFileRowData row = f.cellRowData(f.pageCellRow(page, cell));
            records.insert(row.values.value(3).toString(), SqliteFileFixture::recordFromValue1(row.values));
        }
    }
    return records;
}

struct Ios5Scenario
{
    DeletedSmsFixture::Ios5Shape shape;
    const char* name;
    bool newestOfEachPage; // else single rows and a range
};

void runIos5(const Ios5Scenario& s, const IOS5MessageChecks& checks = {}, const char* without = nullptr)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    DeletedSmsFixture::createIos5(folder, kHandles, kMessages, s.shape);
    const QString sms = SmsDbFixture::smsDbPath(folder);
    const QSet<QString> before = textsOf(sms);
    QString deletion = QStringLiteral("DELETE FROM message WHERE ROWID % 97 = 5 OR ROWID BETWEEN 7000 AND 7300;");
    if (s.newestOfEachPage) {
        QStringList ids;
        for (qint64 id : newestRowOfEachPage(sms))
            ids.append(QString::number(id));
        deletion = QStringLiteral("DELETE FROM message WHERE ROWID IN (%1);").arg(ids.join(QLatin1Char(',')));
    }
    const QHash<QString, QByteArray> records = recordsByText(sms);
    SqliteFileFixture::exec(sms, QString::fromLatin1(kFreeListFirst) + deletion);
    const QSet<QString> live = textsOf(sms);
    CountryLibDb countries{QString()};
    IOS5MessageDb db(QDir(folder), countries.infoByCode(QStringLiteral("US"), nullptr));
    QElapsedTimer t;
    t.start();
    IOS5MessageRecovery::recycleDeletedMessages(db, nullptr, checks);
    if (without)
        std::printf("  %s, without %s\n", s.name, without);
    else
        std::printf("%s (%.2f s)\n", s.name, t.nsecsElapsed() / 1e9);
    const QSet<QString> recovered = valuesOf(folder + QStringLiteral("/recycle.db"), QStringLiteral("message"), 2);
    const QSet<QString> deleted = before - live;
    score("messages", deleted, recovered, live);
    const QString sms5 = QStringLiteral("Old message ");
    const QString imessage = QStringLiteral("iMessage ");
    score("SMS", startingWith(deleted, sms5), startingWith(recovered, sms5), live);
    score("iMessage", startingWith(deleted, imessage), startingWith(recovered, imessage), live);
    if (without)
        return;
    QFile f(sms);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    QSet<QString> present, whole;
    for (const QString& text : deleted) {
        if (bytes.contains(text.toUtf8()))
            present.insert(text);
        const QByteArray record = records.value(text);
        if (!record.isEmpty() && bytes.contains(record))
            whole.insert(text);
    }
    std::printf("    ceiling   %lld of the deleted texts left in the file; recall of those %.3f\n", qlonglong(present.size()),
                present.isEmpty() ? 1.0 : double((present & recovered).size()) / present.size());
    std::printf("    whole     %lld of the deleted rows' records left whole in the file; recall of those %.3f "
                "(goal >= 0.95)\n", qlonglong(whole.size()),
                whole.isEmpty() ? 1.0 : double((whole & recovered).size()) / whole.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QList<Scenario> scenarios{
        {"single rows", 0, false, "DELETE FROM message WHERE ROWID % 97 = 5;"},
        {"ranges", 0, false, "DELETE FROM message WHERE ROWID BETWEEN 5000 AND 5600 OR ROWID BETWEEN 12000 AND 12100;"},
        {"whole conversations", 0, false,
         "DELETE FROM message WHERE handle_id IN (3, 17, 40); DELETE FROM chat_handle_join WHERE handle_id IN (3, 17, 40);"
         "DELETE FROM chat WHERE ROWID IN (3, 17, 40); DELETE FROM handle WHERE ROWID IN (3, 17, 40);"},
        {"long messages (overflow)", 25, false, "DELETE FROM message WHERE ROWID % 50 = 0 OR ROWID % 211 = 3;"},
        {"updates that move rows", 0, false,
         "UPDATE message SET text = text || replace(hex(zeroblob(200)), '00', 'more ') WHERE ROWID % 5 = 0;"
         "DELETE FROM message WHERE ROWID % 89 = 1;"},
        {"WAL mode, checkpointed", 0, true,
         "DELETE FROM message WHERE ROWID % 101 = 7; DELETE FROM message WHERE ROWID BETWEEN 9000 AND 9300;"},
    };
    using DeletedSmsFixture::Ios5Shape;
    const QList<Ios5Scenario> ios5{
        {Ios5Shape::Appended, "iOS 5, iMessage columns appended: single rows and a range", false},
        {Ios5Shape::Phone, "iOS 5, a phone's column order, SMS rows holding zeros: single rows and a range", false},
        {Ios5Shape::Phone, "iOS 5, a phone's column order: the newest row of every page", true},
        {Ios5Shape::PhoneThenColumn, "iOS 5, a phone's column order, a column appended after the rows: single rows "
                                     "and a range", false},
        {Ios5Shape::Upgraded, "iOS 5, upgraded from iOS 4, rows of both lengths deleted on the same pages: single rows "
                              "and a range", false},
    };
    for (const Scenario& s : scenarios)
        run(s);
    for (const Ios5Scenario& s : ios5)
        runIos5(s);

    std::printf("\nEach refusal beyond the row tests turned off in turn:\n");
    for (const Scenario& s : scenarios) {
        Ios6Checks c;
        c.messages.wholeRecord = c.handles.wholeRecord = false;
        run(s, c, "whole records (messages and handles)");
        c = Ios6Checks();
        c.handles.notLive = false;
        run(s, c, "the live-handle test");
        c = Ios6Checks();
        c.handles.nonEmptyId = false;
        run(s, c, "the empty-id test of handles");
    }
    for (const Ios5Scenario& s : ios5) {
        IOS5MessageChecks c;
        c.plainText = false;
        runIos5(s, c, "the plain-text test");
        c = IOS5MessageChecks();
        c.notLive = false;
        runIos5(s, c, "the live-message test");
        c = IOS5MessageChecks();
        c.wholeRecord = false;
        runIos5(s, c, "whole records");
    }
    return 0;
}
