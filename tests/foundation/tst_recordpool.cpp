// Records of the pool are constructed and ended once each, aligned, told
// apart from records made with `new`, and their places reused; under the
// address sanitizer ending a record by the wrong kind fails here too.
#include <QtTest>

#include <QSet>

#include "recordpool.h"

namespace {
struct Probe
{
    static inline int live = 0;
    qint64 number = 7;
    QString text = QString(30, u'x'); // memory only the destructor frees

    Probe() { ++live; }
    ~Probe() { --live; }
};
} // namespace

class TestRecordPool : public QObject
{
    Q_OBJECT

private slots:
    void recordsAreOwnedAlignedAndReused()
    {
        {
            RecordPool<Probe> pool;
            QList<Probe*> records;
            // Past the small blocks and into several huge-page ones.
            for (int i = 0; i < 100000; ++i) {
                Probe* p = pool.create();
                QCOMPARE(p->number, 7);
                QCOMPARE(reinterpret_cast<quintptr>(p) % alignof(Probe), quintptr(0));
                QVERIFY(pool.owns(p));
                records.append(p);
            }
            Probe* other = new Probe;
            Probe onStack;
            QVERIFY(!pool.owns(other));
            QVERIFY(!pool.owns(&onStack));
            QCOMPARE(Probe::live, 100002);

            QSet<Probe*> givenBack;
            for (int i = 0; i < records.size(); i += 3) {
                givenBack.insert(records[i]);
                pool.destroy(records[i]);
                records[i] = nullptr;
            }
            pool.destroy(other);
            QCOMPARE(Probe::live, 100001 - int(givenBack.size()));
            QSet<Probe*> reused;
            for (qsizetype i = 0; i < givenBack.size(); ++i) {
                Probe* p = pool.create();
                QCOMPARE(p->number, 7);
                reused.insert(p);
            }
            QCOMPARE(reused, givenBack);

            for (Probe* p : std::as_const(records))
                if (p)
                    pool.destroy(p);
            for (Probe* p : std::as_const(reused))
                pool.destroy(p);
        }
        QCOMPARE(Probe::live, 0);
    }
};

QTEST_GUILESS_MAIN(TestRecordPool)
#include "tst_recordpool.moc"
