// Strings cut from shared blocks must behave as strings of their own: right
// contents with a terminating 0, alive after the arena, and a change to one
// never shows in another (run under the address sanitizer, a write past a
// slice or a block freed too early fails here).
#include <QtTest>

#include "slicearena.h"

class TestSliceArena : public QObject
{
    Q_OBJECT

private slots:
    void slicesOutliveTheArenaAndStayApart()
    {
        QList<QByteArray> bytes;
        QStringList texts;
        {
            // Small blocks, so that the slices span many of them.
            ByteSliceArena byteArena(64);
            TextSliceArena textArena(64);
            for (int i = 0; i < 500; ++i) {
                const QByteArray value = QByteArray::number(i) + QByteArray(i % 70, 'x');
                bytes << byteArena.copy(value);
                texts << textArena.copy(QString::fromLatin1(value));
            }
            // Longer than a block: a block of its own.
            bytes << byteArena.copy(QByteArray(1000, 'y'));
            texts << textArena.latin1(QByteArray(1000, 'z'));
        }
        for (int i = 0; i < 500; ++i) {
            const QByteArray value = QByteArray::number(i) + QByteArray(i % 70, 'x');
            QCOMPARE(bytes[i], value);
            QCOMPARE(bytes[i].constData()[value.size()], '\0');
            QCOMPARE(texts[i], QString::fromLatin1(value));
            QCOMPARE(texts[i].utf16()[value.size()], u'\0');
        }
        QCOMPARE(bytes.last(), QByteArray(1000, 'y'));
        QCOMPARE(texts.last(), QString(1000, 'z'));

        // Growing, changing or shrinking one slice leaves its neighbours as
        // they were, also for the last slice alive of its block.
        bytes[10].append("appended");
        texts[10].append(QStringLiteral("appended"));
        bytes[11][0] = '#';
        texts[11][0] = '#';
        QCOMPARE(bytes[12], QByteArray("12") + QByteArray(12, 'x'));
        QCOMPARE(texts[12], QString("12") + QString(12, 'x'));
        QCOMPARE(bytes[10], QByteArray("10") + QByteArray(10, 'x') + "appended");
        QCOMPARE(texts[11], QString("#1") + QString(11, 'x'));
        for (int i = 0; i < 499; ++i) {
            bytes.removeFirst();
            texts.removeFirst();
        }
        bytes.first().append(QByteArray(200, 'a'));
        texts.first().prepend(QString(200, 'a'));
        QCOMPARE(bytes.first(), QByteArray("499") + QByteArray(499 % 70, 'x') + QByteArray(200, 'a'));
        QCOMPARE(texts.first(), QString(200, 'a') + "499" + QString(499 % 70, 'x'));
    }

    void utf8DecodesAsQtDoes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("null") << QByteArray();
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("ascii") << QByteArray("plain text");
        QTest::newRow("embedded nul") << QByteArray("a\0b", 3);
        QTest::newRow("multi-byte") << QByteArray("caf\xc3\xa9 \xf0\x9f\x98\x80");
        QTest::newRow("invalid") << QByteArray("bad \xff\xfe end");
    }

    void utf8DecodesAsQtDoes()
    {
        QFETCH(QByteArray, bytes);
        TextSliceArena arena;
        const QString text = arena.utf8(bytes);
        const QString expected = QString::fromUtf8(bytes);
        QCOMPARE(text, expected);
        QCOMPARE(text.isNull(), expected.isNull());
    }
};

QTEST_GUILESS_MAIN(TestSliceArena)
#include "tst_slicearena.moc"
