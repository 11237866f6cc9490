// What the slice arenas assume of Qt's internal array header, checked on the
// Qt this is built with: a string cut from the middle of a block shares it
// and lies where it was cut, Qt reckons its room before and after from the
// block, a change detaches it while the block is shared, and the last string
// alive may grow in place at either end. Under the address sanitizer a wrong
// reference count or a write outside the block fails here too.
#include <QtTest>

#include "arrayblock.h"

namespace {
template <typename T>
void fill(ArrayBlock<T>& block, const char* text, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        block.data()[i] = T(text[i]);
}

template <typename T>
using Text = typename ArrayBlock<T>::Container;

template <typename T>
Text<T> expected(const char* latin1)
{
    if constexpr (std::is_same_v<T, char>)
        return QByteArray(latin1);
    else
        return QString::fromLatin1(latin1);
}

template <typename T>
void slicesShareTheBlockWhereCut()
{
    ArrayBlock<T> block(64);
    QVERIFY(block.capacity() >= 64);
    fill(block, "hello\0world\0", 12);
    Text<T> hello = block.slice(0, 5);
    const Text<T> world = block.slice(6, 5);
    QCOMPARE(hello, expected<T>("hello"));
    QCOMPARE(world, expected<T>("world"));
    QCOMPARE(static_cast<const void*>(hello.constData()), static_cast<const void*>(block.data()));
    QCOMPARE(static_cast<const void*>(world.constData()), static_cast<const void*>(block.data() + 6));
    QVERIFY(!hello.isDetached());

    hello.append(T('!'));
    QCOMPARE(hello, expected<T>("hello!"));
    QVERIFY(static_cast<const void*>(hello.constData()) != static_cast<const void*>(block.data()));
    QCOMPARE(block.data()[5], T(0));
    QCOMPARE(world, expected<T>("world"));
}

template <typename T>
void lastSliceGrowsInPlace()
{
    Text<T> world;
    {
        ArrayBlock<T> block(64);
        fill(block, "hello\0world\0", 12);
        const Text<T> hello = block.slice(0, 5);
        world = block.slice(6, 5);
    }
    QVERIFY(world.isDetached());
    const auto* at = world.constData();
    world.append(T('!'));
    QCOMPARE(world.constData(), at);
    world.prepend(T('>'));
    QCOMPARE(world.constData(), at - 1);
    QCOMPARE(world, expected<T>(">world!"));
}
} // namespace

class TestArrayBlock : public QObject
{
    Q_OBJECT

private slots:
    void bytesShareTheBlockWhereCut() { slicesShareTheBlockWhereCut<char>(); }
    void textsShareTheBlockWhereCut() { slicesShareTheBlockWhereCut<char16_t>(); }
    void lastBytesGrowInPlace() { lastSliceGrowsInPlace<char>(); }
    void lastTextGrowsInPlace() { lastSliceGrowsInPlace<char16_t>(); }
};

QTEST_GUILESS_MAIN(TestArrayBlock)
#include "tst_arrayblock.moc"
