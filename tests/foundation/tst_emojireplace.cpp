// Emoji and regular-expression replacement.
#include <QtTest>

#include "emojireplace.h"

namespace {
// Records every code it is called with and returns "<code>".
QString recordCode(void* context, QString code)
{
    static_cast<QStringList*>(context)->append(code);
    return QStringLiteral("<%1>").arg(code);
}

QString bracketMatch(void* context, const QRegularExpressionMatch& m)
{
    ++*static_cast<int*>(context);
    return QStringLiteral("[%1]").arg(m.captured(1));
}

// Returns a text that pass 2 must pick up again: U+1F600 as a pair.
QString returnPair(void* context, QString code)
{
    static_cast<QStringList*>(context)->append(code);
    return code == QLatin1String("3030") ? QString::fromUtf16(u"\xD83D\xDE00") : QStringLiteral("X");
}
} // namespace

class TestEmojiReplace : public QObject
{
    Q_OBJECT
private slots:
    void rxReplaceCopiesTextAroundMatches();
    void rxReplaceEmptyMatchAdvances();
    void emoji_data();
    void emoji();
    void handlerResultOfPassOneIsSearchedByPassTwo();
};

void TestEmojiReplace::rxReplaceCopiesTextAroundMatches()
{
    int calls = 0;
    const QRegularExpression rx(QStringLiteral("(\\d+)"));
    QCOMPARE(rx_replace(QStringLiteral("a1bb22c"), rx, bracketMatch, &calls), QStringLiteral("a[1]bb[22]c"));
    QCOMPARE(calls, 2);
    // "^" means the start of the whole text, never the search position.
    calls = 0;
    QCOMPARE(rx_replace(QStringLiteral("11 22"), QRegularExpression(QStringLiteral("^(\\d)")), bracketMatch, &calls),
             QStringLiteral("[1]1 22"));
    QCOMPARE(calls, 1);
    QCOMPARE(rx_replace(QString(), rx, bracketMatch, &calls), QString());
}

void TestEmojiReplace::rxReplaceEmptyMatchAdvances()
{
    int calls = 0;
    QCOMPARE(rx_replace(QStringLiteral("ab"), QRegularExpression(QStringLiteral("(x*)")), bracketMatch, &calls),
             QStringLiteral("[]a[]b[]"));
    QCOMPARE(calls, 3);
}

void TestEmojiReplace::emoji_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("codes");

    QTest::newRow("plain") << QStringLiteral("hello") << QStringLiteral("hello") << QStringList();
    QTest::newRow("empty") << QString() << QString() << QStringList();
    QTest::newRow("private use ends") << QString::fromUtf16(u"a\xE000\xE537\xE538")
                                      << QString::fromUtf16(u"a<E000><E537>\xE538") << QStringList{"E000", "E537"};
    QTest::newRow("variation selector stays") << QString::fromUtf16(u"\x2714\xFE0F")
                                              << QString::fromUtf16(u"<2714>\xFE0F") << QStringList{"2714"};
    QTest::newRow("pair") << QString::fromUtf16(u"x\xD83D\xDE00y") << QStringLiteral("x<1F600>y")
                          << QStringList{"1F600"};
    QTest::newRow("other lead untouched") << QString::fromUtf16(u"\xD83E\xDD14") << QString::fromUtf16(u"\xD83E\xDD14")
                                          << QStringList();
    QTest::newRow("lead at end stays") << QString::fromUtf16(u"a\xD83C") << QString::fromUtf16(u"a\xD83C")
                                       << QStringList();
    QTest::newRow("lead before line break") << QString::fromUtf16(u"\xD83C\n") << QStringLiteral("<1F00A>")
                                            << QStringList{"1F00A"};
    QTest::newRow("pass one first, then pairs")
        << QString::fromUtf16(u"\xD83C\xDF89 \x3030 \x203C")
        << QStringLiteral("<1F389> <3030> <203C>") << QStringList{"3030", "203C", "1F389"};
}

void TestEmojiReplace::emoji()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QStringList, codes);
    QStringList seen;
    QCOMPARE(emoji_replace(input, recordCode, &seen), output);
    QCOMPARE(seen, codes);
}

void TestEmojiReplace::handlerResultOfPassOneIsSearchedByPassTwo()
{
    QStringList seen;
    QCOMPARE(emoji_replace(QString::fromUtf16(u"\x3030"), returnPair, &seen), QStringLiteral("X"));
    QCOMPARE(seen, (QStringList{"3030", "1F600"}));
}

QTEST_GUILESS_MAIN(TestEmojiReplace)
#include "tst_emojireplace.moc"
