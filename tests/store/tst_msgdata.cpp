// The message set: record defaults, conversations, ordering predicates with
// the project's sort, and removal of records from every link.
#include <QRandomGenerator>
#include <QPair>
#include <QtTest>

#include <limits>
#include <memory>
#include <vector>

#include "mergesort.h"
#include "msgdata.h"
#include "newmessagerows.h"

namespace {
_MsgMessage* msg(qint64 row, int date, bool recovered = false)
{
    auto* m = new _MsgMessage;
    m->ROWID = row;
    m->srcRowId = row;
    m->date = date;
    m->recovered = recovered;
    return m;
}
_MsgChat* chat(qint64 row, const QString& identifier, int last)
{
    auto* c = new _MsgChat;
    c->ROWID = row;
    c->chat_identifier = identifier;
    c->_last = last;
    return c;
}
} // namespace

class TestMsgData : public QObject
{
    Q_OBJECT

private slots:
    void recordDefaults()
    {
        const _MsgMessage m;
        QCOMPARE(m.version, 10);
        QCOMPARE(m.other_handle, -1);
        QCOMPARE(m.date, 0);
        QVERIFY(!m.recovered && !m.handle && !m.chat && !m.otherHandle && m.attas.isEmpty());
        const _MsgChat c;
        QCOMPARE(c.style, 45);
        QCOMPARE(c.state, 3);
        QCOMPARE(c.service_name, QStringLiteral("SMS"));
        QCOMPARE(c.account_login, QStringLiteral("E:"));
        QCOMPARE(_MsgHandle().service, QStringLiteral("SMS"));
        QCOMPARE(_MsgAttachment().transfer_state, 5);
    }

    void groupIsMoreThanOneHandle()
    {
        _MsgChat c;
        _MsgHandle a, b;
        c.style = 43;
        c.handles.insert("1", &a);
        QVERIFY(!c.isGroup());
        c.style = 45;
        c.handles.insert("2", &b);
        QVERIFY(c.isGroup());
    }

    void chatMergeList()
    {
        MsgData data;
        data.p()->chats.insert(1, chat(1, "+15550001", 500));
        data.p()->chats.insert(2, chat(2, "+15550001", 700));
        data.p()->chats.insert(3, chat(3, "Bob@Example.com", 100));
        data.p()->chats.insert(4, chat(4, "bob@example.com", 200));
        QList<_MsgChatMerge> merged = data.chatMergeList();
        QCOMPARE(merged.size(), 3);
        qsMergeSort(merged, compareMsgChatMergeLastDesc);
        QCOMPARE(merged[0].chats.size(), 2);
        QCOMPARE(merged[0].last, 700);
        QCOMPARE(merged[1].last, 200);
        QCOMPARE(merged[2].last, 100);
    }

    void messageOrder_data()
    {
        QTest::addColumn<qint64>("rowA");
        QTest::addColumn<int>("dateA");
        QTest::addColumn<qint64>("rowB");
        QTest::addColumn<int>("dateB");
        QTest::addColumn<bool>("recovered");
        QTest::addColumn<bool>("aFirst");
        QTest::newRow("storage order wins") << qint64(100) << 1000 << qint64(110) << 990 << false << true;
        QTest::newRow("21 rows apart: date") << qint64(100) << 1000 << qint64(121) << 990 << false << false;
        QTest::newRow("121 s apart: date") << qint64(100) << 1000 << qint64(110) << 879 << false << false;
        QTest::newRow("recovered: date") << qint64(100) << 1000 << qint64(110) << 990 << true << false;
        QTest::newRow("row 0: date") << qint64(0) << 1000 << qint64(5) << 990 << false << false;
        QTest::newRow("far apart dates do not overflow") << qint64(1) << INT_MIN << qint64(2) << INT_MAX << false << true;
    }
    void messageOrder()
    {
        QFETCH(qint64, rowA);
        QFETCH(int, dateA);
        QFETCH(qint64, rowB);
        QFETCH(int, dateB);
        QFETCH(bool, recovered);
        QFETCH(bool, aFirst);
        QScopedPointer<_MsgMessage> a(msg(rowA, dateA, recovered)), b(msg(rowB, dateB));
        QCOMPARE(compareMsgMessageAsc(a.get(), b.get()), aFirst);
        QCOMPARE(compareMsgMessageAsc(b.get(), a.get()), !aFirst);
        QCOMPARE(compareMsgMessageDesc(a.get(), b.get()), !aFirst);
    }

    void equalKeys()
    {
        QScopedPointer<_MsgMessage> a(msg(1, 50)), b(msg(40, 50));
        QVERIFY(!compareMsgMessageAsc(a.get(), b.get()) && !compareMsgMessageAsc(b.get(), a.get()));
        QVERIFY(compareMsgMessageDesc(a.get(), b.get()) && compareMsgMessageDesc(b.get(), a.get()));
        _MsgChatMerge x, y;
        QVERIFY(compareMsgChatMergeLastDesc(x, y) && compareMsgChatMergeLastDesc(y, x));
        _MsgChat c, d;
        QVERIFY(compareMsgChatLastDesc(&c, &d) && compareMsgChatLastDesc(&d, &c));
    }

    // A cycle (1 before 15 and 15 before 30 by rows, 30 before 1 by date),
    // repeated through a range long enough that a quicksort partitions it
    // (std::sort sorts at most 16 elements by insertion): there its unguarded
    // scans, which trust the predicate to stop them, run past the ends, and
    // the descending predicate, true for equal keys, never stops them.
    void nonTransitiveTripleSortsWithinRange()
    {
        QList<_MsgMessage*> list;
        for (int i = 0; i < 200; ++i)
            list << msg(30, 150) << msg(1, 200) << msg(15, 100);
        QVERIFY(compareMsgMessageAsc(list[1], list[2]));
        QVERIFY(compareMsgMessageAsc(list[2], list[0]));
        QVERIFY(compareMsgMessageAsc(list[0], list[1]));
        const QSet<_MsgMessage*> all(list.begin(), list.end());
        QList<_MsgMessage*> asc = list, desc = list;
        qsMergeSort(asc, compareMsgMessageAsc);
        qsMergeSort(desc, compareMsgMessageDesc);
        QCOMPARE(asc.size(), list.size());
        QCOMPARE(QSet<_MsgMessage*>(asc.begin(), asc.end()), all);
        QCOMPARE(desc.size(), list.size());
        QCOMPARE(QSet<_MsgMessage*>(desc.begin(), desc.end()), all);
        qDeleteAll(list);
    }

    void randomisedSortsStayInRange()
    {
        // Many messages close in rows and dates, so the row rule and the date rule
        // keep contradicting each other; under the sanitizers any read outside the
        // list would fail the run. Each sort must keep every element exactly once,
        // and pairs that the predicate orders consistently must come out ordered.
        QRandomGenerator rng(12345);
        for (int round = 0; round < 20; ++round) {
            QList<_MsgMessage*> list;
            for (int i = 0; i < 3000; ++i)
                list.append(msg(rng.bounded(1, 200), rng.bounded(0, 400), rng.bounded(10) == 0));
            QList<_MsgMessage*> asc = list, desc = list;
            qsMergeSort(asc, compareMsgMessageAsc);
            qsMergeSort(desc, compareMsgMessageDesc);
            QCOMPARE(QSet<_MsgMessage*>(asc.begin(), asc.end()).size(), list.size());
            QCOMPARE(QSet<_MsgMessage*>(desc.begin(), desc.end()).size(), list.size());
            qDeleteAll(list);
        }
        // With distinct dates far apart, the sort is a plain date sort.
        QList<_MsgMessage*> plain;
        for (int i = 0; i < 1000; ++i)
            plain.append(msg(i * 100 + 1, int(rng.bounded(1000000)) * 200));
        qsMergeSort(plain, compareMsgMessageAsc);
        for (int i = 1; i < plain.size(); ++i)
            QVERIFY(plain[i - 1]->date <= plain[i]->date);
        qDeleteAll(plain);
    }

    // The fast sort of long lists gives exactly the comparators' merge sort,
    // contradictions of the row and date rules included.
    void fastSortMatchesTheComparators()
    {
        QRandomGenerator rng(777);
        QList<_MsgMessage*> list;
        // Long enough to be sorted on several threads.
        for (int i = 0; i < 40000; ++i)
            list.append(msg(rng.bounded(-5, 300), rng.bounded(0, 600), rng.bounded(10) == 0));
        // The ends of the ranges, where a difference could overflow, and
        // neighbours exactly at and just past the limits of the row rule.
        const qint64 maxRow = std::numeric_limits<qint64>::max();
        const int minDate = std::numeric_limits<int>::min(), maxDate = std::numeric_limits<int>::max();
        for (const auto& [row, date] : QList<QPair<qint64, int>>{
                 {maxRow, maxDate}, {maxRow - 20, maxDate - 120}, {maxRow - 21, maxDate}, {1, minDate},
                 {21, minDate + 120}, {22, minDate + 121}, {std::numeric_limits<qint64>::min(), 0}, {0, maxDate},
                 {100, 300}, {120, 420}, {121, 421}, {80, 180}, {79, 179}})
            list.insert(rng.bounded(int(list.size())), msg(row, date));
        for (const bool descending : {false, true}) {
            QList<_MsgMessage*> expected = list, fast = list;
            qsMergeSort(expected, descending ? compareMsgMessageDesc : compareMsgMessageAsc);
            sortMsgMessages(fast, descending);
            QCOMPARE(fast, expected);
        }
        qDeleteAll(list);
    }

    // Sorting on threads gives exactly the one-thread merge sort, whatever the
    // predicate answers: here a cyclic one (a before b when b - a is 1 to 3,
    // modulo 7), at sizes that leave a short last part and thread counts that
    // are not powers of two.
    void parallelSortMatchesTheMergeSort_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<unsigned>("threads");
        for (const int size : {32767, 32768, 100003, 262145})
            for (const unsigned threads : {1u, 2u, 3u, 8u})
                QTest::addRow("%d on %u", size, threads) << size << threads;
    }

    void parallelSortMatchesTheMergeSort()
    {
        QFETCH(int, size);
        QFETCH(unsigned, threads);
        QRandomGenerator rng(quint32(size) * 31 + threads);
        std::vector<std::pair<int, int>> expected(size_t(size), {0, 0});
        for (int i = 0; i < size; ++i)
            expected[size_t(i)] = {int(rng.bounded(1000)), i};
        std::vector<std::pair<int, int>> parallel = expected;
        const auto before = [](const std::pair<int, int>& a, const std::pair<int, int>& b) {
            const int d = ((b.first - a.first) % 7 + 7) % 7;
            return d >= 1 && d <= 3;
        };
        qsMergeSort(expected, before);
        qsMergeSortParallel(parallel, before, threads);
        QVERIFY(parallel == expected);
    }

    void newRowsEnterTheSetOnce_data()
    {
        QTest::addColumn<qint64>("firstRow");
        QTest::addColumn<qint64>("lastRow");
        QTest::addColumn<QList<qint64>>("rows");
        QTest::addColumn<bool>("setHasOne");
        const qint64 min = std::numeric_limits<qint64>::min(), max = std::numeric_limits<qint64>::max();
        QTest::newRow("repeats wait for nothing") << qint64(1) << qint64(9) << QList<qint64>{3, 1, 9, 3, 2, 1, 4} << false;
        QTest::newRow("negative row ids") << qint64(-5) << qint64(2) << QList<qint64>{-5, 2, -1, -5, 0} << false;
        QTest::newRow("rows outside the range") << qint64(10) << qint64(20) << QList<qint64>{10, 5, 30, 5, 20, 10}
                                                << false;
        QTest::newRow("the widest range: one by one") << min << max << QList<qint64>{min, max, 0, max, min} << false;
        QTest::newRow("a set that has rows") << qint64(1) << qint64(9) << QList<qint64>{2, 3, 2} << true;
        QTest::newRow("an empty table") << qint64(0) << qint64(0) << QList<qint64>{} << false;
    }

    // Every row id ends in the hash once, with the record made at its first
    // coming; a repeat finds that record, however the rows were entered.
    void newRowsEnterTheSetOnce()
    {
        QFETCH(qint64, firstRow);
        QFETCH(qint64, lastRow);
        QFETCH(QList<qint64>, rows);
        QFETCH(bool, setHasOne);
        QHash<qint64, _MsgMessage*> hash;
        std::vector<std::unique_ptr<_MsgMessage>> made;
        made.push_back(std::make_unique<_MsgMessage>());
        if (setHasOne)
            hash.insert(rows.first(), made.back().get());
        QHash<qint64, _MsgMessage*> expected = hash;
        NewMessageRows newRows(hash, firstRow, lastRow, rows.size());
        for (qint64 row : rows) {
            _MsgMessage*& place = newRows.place(row);
            if (expected.contains(row)) {
                QCOMPARE(place, expected.value(row));
                continue;
            }
            QVERIFY(!place);
            made.push_back(std::make_unique<_MsgMessage>());
            place = made.back().get();
            expected.insert(row, place);
        }
        newRows.flush();
        QCOMPARE(hash, expected);
    }

    void attachmentsSortedByRowId()
    {
        _MsgMessage m;
        _MsgAttachment a7, a3, a5;
        a7.ROWID = 7;
        a3.ROWID = 3;
        a5.ROWID = 5;
        m.attas.insert("7", &a7);
        m.attas.insert("3", &a3);
        m.attas.insert("5", &a5);
        QCOMPARE(m.attachments(), (QList<_MsgAttachment*>{&a3, &a5, &a7}));
    }

    void removalUnlinksEverywhere()
    {
        MsgData data;
        __MsgData* p = data.p();
        _MsgChat* c1 = chat(1, "a", 0);
        _MsgChat* c2 = chat(2, "b", 0);
        auto* h = new _MsgHandle;
        h->ROWID = 9;
        auto* att = new _MsgAttachment;
        att->ROWID = 4;
        _MsgMessage* shared = msg(5, 10);
        _MsgMessage* other = msg(6, 11);
        shared->chat = c1;
        shared->handle = h;
        shared->attas.insert("4", att);
        other->chat = c2;
        other->otherHandle = h;
        c1->messages.insert("5", shared);
        c2->messages.insert("5", shared); // the same message in two chats
        c2->messages.insert("6", other);
        c1->handles.insert("9", h);
        p->chats.insert(1, c1);
        p->chats.insert(2, c2);
        p->handles.insert(9, h);
        p->messages.insert(5, shared);
        p->messages.insert(6, other);
        p->attachments.insert(4, att);

        p->removeMessages({shared});
        QVERIFY(!p->messages.contains(5));
        QVERIFY(c1->messages.isEmpty());
        QCOMPARE(c2->messages.keys(), QList<QString>{"6"});

        p->removeHandles({h});
        QVERIFY(c1->handles.isEmpty());
        QVERIFY(other->otherHandle == nullptr);

        p->removeAttachments({att});
        QVERIFY(p->attachments.isEmpty());

        p->removeChats({c2});
        QVERIFY(other->chat == nullptr);
        QCOMPARE(p->chats.size(), 1);
        // The set deletes what is left exactly once (the sanitizers check).
    }

    // Records from the set's blocks and records made with new live side by
    // side; removal gives a block place back for the next record, and the
    // set ends each record once by its own kind (the sanitizers check).
    void blockRecordsMixWithOthers()
    {
        MsgData data;
        __MsgData* p = data.p();
        QSet<_MsgMessage*> gone;
        const int count = 6000; // past the small blocks and into the first huge-page one
        for (int i = 1; i <= count; ++i) {
            _MsgMessage* m = i % 10 == 0 ? msg(i, i) : p->newMessage();
            QCOMPARE(m->version, 10);
            m->ROWID = i;
            m->text = QString(40, QChar('a' + i % 26)); // owns memory the end must free
            p->messages.insert(i, m);
            if (i % 3 == 0)
                gone.insert(m);
        }
        p->removeMessages(gone);
        QCOMPARE(p->messages.size(), count - int(gone.size()));
        for (int i = count + 1; i <= count + 400; ++i) {
            _MsgMessage* m = p->newMessage();
            QVERIFY(m->text.isEmpty() && m->ROWID == 0);
            m->ROWID = i;
            p->messages.insert(i, m);
        }
        for (auto it = p->messages.cbegin(); it != p->messages.cend(); ++it)
            QCOMPARE(it.value()->ROWID, it.key());
    }

    // Links keep the order they were entered in; a key names one record, the
    // last entered under it, with and without the index a long list gets.
    void keyedLinks_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("rowIds");
        QTest::newRow("short, scanned, kept keys") << 3 << false;
        QTest::newRow("short, scanned, row-id keys") << 3 << true;
        QTest::newRow("long, indexed, kept keys") << 40 << false;
        QTest::newRow("long, indexed, row-id keys") << 40 << true;
    }
    void keyedLinks()
    {
        QFETCH(int, count);
        QFETCH(bool, rowIds);
        // Keys that are the records' row ids are read from the records;
        // others (guids, or here numbers that are not the row id) are kept.
        std::vector<_MsgAttachment> targets(size_t(count) + 1);
        if (rowIds)
            for (int i = 0; i <= count; ++i)
                targets[size_t(i)].ROWID = i;
        AttachmentLinks links;
        QVERIFY(links.isEmpty() && links.begin() == links.end() && !links.value("1"));
        for (int i = 0; i < count; ++i)
            links.insertNew(QString::number(i), &targets[size_t(i)]);
        links.insert("1", &targets[size_t(count)]); // replaces
        links.insert("x", &targets[0]);             // appends
        QCOMPARE(links.size(), count + 1);
        QCOMPARE(links.value("1"), &targets[size_t(count)]);
        QCOMPARE(links.value(QLatin1String("0")), &targets[0]);
        QCOMPARE(links.value(QString("x")), &targets[0]);
        QVERIFY(links.contains("2") && !links.contains("nope"));
        QList<_MsgAttachment*> expected;
        for (int i = 0; i < count; ++i)
            expected.append(i == 1 ? &targets[size_t(count)] : &targets[size_t(i)]);
        expected.append(&targets[0]);
        QCOMPARE(links.values(), expected);
        QStringList keys;
        for (int i = 0; i < count; ++i)
            keys.append(QString::number(i));
        keys.append("x");
        QCOMPARE(links.keys(), keys);
        QCOMPARE((++links.cbegin()).key(), QString("1"));

        AttachmentLinks copy = links; // a copy of its own
        links.removeValues({&targets[0], &targets[2]});
        QCOMPARE(links.size(), count - 2); // "0" and "x" both named targets[0]
        QVERIFY(!links.value("0") && !links.value("x") && !links.value("2"));
        QCOMPARE(links.value("1"), &targets[size_t(count)]);
        QCOMPARE(links.keys().first(), QString("1")); // kept across the removal
        QCOMPARE(copy.size(), count + 1);
        QCOMPARE(copy.value("x"), &targets[0]);
        links.insert("2", &targets[2]);
        QCOMPARE(links.value("2"), &targets[2]);
        links.clear();
        QVERIFY(links.isEmpty() && !links.value("1"));
    }

    // Keys entered twice by insertNew (a damaged join lists a row twice): the
    // later stands once insert() indexes the list.
    void keyedLinksLaterDuplicateStands()
    {
        // A chat's messages as the reader enters them: under their row ids.
        {
            std::vector<_MsgMessage> messages(30);
            MessageLinks links;
            for (size_t i = 0; i < messages.size(); ++i) {
                messages[i].ROWID = qint64(i) + 100;
                links.insertNewUnderRowId(&messages[i]);
            }
            QCOMPARE(links.value("117"), &messages[17]);
            QCOMPARE(links.keys().at(3), QString("103"));
            links.insert("105", &messages[0]); // indexes the list, then replaces
            QCOMPARE(links.value("105"), &messages[0]);
            QCOMPARE(links.keys().at(5), QString("105"));
            QCOMPARE(links.size(), 30);
        }
        _MsgMessage first, second, third;
        MessageLinks links;
        for (int i = 0; i < 20; ++i)
            links.insertNew(QString::number(i), &first);
        links.insertNew("5", &second);
        links.insert("99", &third);
        QCOMPARE(links.value("5"), &second);
        QCOMPARE(links.value("99"), &third);
    }

    // A rare text keeps null and empty apart and reads as the text it holds.
    void rareText()
    {
        _MsgMessage m;
        QVERIFY(m.subject.isNull() && m.subject.isEmpty() && m.subject.value().isNull());
        m.subject = QString("");
        QVERIFY(!m.subject.isNull() && m.subject.isEmpty());
        m.subject = QString("Hello");
        _MsgMessage copy = m;
        m.subject = QString();
        QVERIFY(m.subject.isNull());
        QCOMPARE(copy.subject, QString("Hello"));
        const QString& read = copy.subject;
        QCOMPARE(read, QString("Hello"));
    }

    void copiesShareTheSet()
    {
        MsgData a;
        MsgData b = a;
        b.p()->messages.insert(1, msg(1, 1));
        QCOMPARE(a.messages().size(), 1);
        _MsgMessage copy = *a.messages().first();
        QCOMPARE(copy.ROWID, 1);
    }
};

QTEST_GUILESS_MAIN(TestMsgData)
#include "tst_msgdata.moc"
