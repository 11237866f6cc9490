// The records a page's carving has taken, layout by layout: a later layout's
// row is dropped when its record shares a byte with one an earlier layout
// took, wherever the two lie against each other.
#include <QtTest>

#include "carvedrecords.h"

namespace {

// "start-end" ranges of carved records; "cell" for a row decoded from a cell.
QList<_SqliteFileRowData> rowsOf(const QStringList& ranges)
{
    QList<_SqliteFileRowData> rows;
    for (const QString& r : ranges) {
        _SqliteFileRowData row;
        if (r != QLatin1String("cell")) {
            row.recordStart = r.section('-', 0, 0).toLongLong();
            row.recordEnd = r.section('-', 1, 1).toLongLong();
        }
        row.values.append(r);
        rows.append(row);
    }
    return rows;
}

QStringList namesOf(const QList<_SqliteFileRowData>& rows)
{
    QStringList names;
    for (const _SqliteFileRowData& row : rows)
        names.append(row.values.value(0).toString());
    return names;
}

} // namespace

class TestCarvedRecords : public QObject
{
    Q_OBJECT

private slots:
    void laterLayoutsKeepOnlyRowsClearOfEarlierRecords_data()
    {
        QTest::addColumn<QList<QStringList>>("layouts"); // each layout's rows, in the order tried
        QTest::addColumn<QList<QStringList>>("kept");
        using L = QList<QStringList>;
        QTest::newRow("inside") << L{{"100-200"}, {"120-150"}} << L{{"100-200"}, {}};
        QTest::newRow("same start") << L{{"100-200"}, {"100-150"}} << L{{"100-200"}, {}};
        QTest::newRow("over the start") << L{{"100-200"}, {"90-101"}} << L{{"100-200"}, {}};
        QTest::newRow("over the end") << L{{"100-200"}, {"199-260"}} << L{{"100-200"}, {}};
        QTest::newRow("around") << L{{"100-200"}, {"50-250"}} << L{{"100-200"}, {}};
        QTest::newRow("ends where it starts") << L{{"100-200"}, {"60-100"}} << L{{"100-200"}, {"60-100"}};
        QTest::newRow("starts where it ends") << L{{"100-200"}, {"200-230"}} << L{{"100-200"}, {"200-230"}};
        QTest::newRow("a layout's own rows all stay") << L{{"100-110", "101-111", "300-310"}, {}}
                                                      << L{{"100-110", "101-111", "300-310"}, {}};
        QTest::newRow("between two records") << L{{"100-200", "300-400"}, {"200-300", "250-350"}}
                                             << L{{"100-200", "300-400"}, {"200-300"}};
        QTest::newRow("overlapping records of one layout") << L{{"100-110", "105-115"}, {"112-120", "115-120"}}
                                                           << L{{"100-110", "105-115"}, {"115-120"}};
        QTest::newRow("the third layout meets both before") << L{{"100-200"}, {"300-350"}, {"150-160", "340-360", "400-410"}}
                                                            << L{{"100-200"}, {"300-350"}, {"400-410"}};
        QTest::newRow("cells") << L{{"cell", "100-200"}, {"cell", "150-160"}} << L{{"cell", "100-200"}, {"cell"}};
    }
    void laterLayoutsKeepOnlyRowsClearOfEarlierRecords()
    {
        QFETCH(QList<QStringList>, layouts);
        QFETCH(QList<QStringList>, kept);
        CarvedRecords taken;
        for (int i = 0; i < layouts.size(); ++i)
            QCOMPARE(namesOf(taken.takeClear(rowsOf(layouts.at(i)))), kept.at(i));
    }
};

QTEST_GUILESS_MAIN(TestCarvedRecords)
#include "tst_carvedrecords.moc"
