// A block of characters in Qt's own shared-array form, from which QByteArray
// or QString slices are cut that share the block by its reference count: a
// slice is an ordinary string, yet costs no allocation of its own.
//
// This is the one place that reaches into Qt's internal array header
// (QTypedArrayData, QArrayDataPointer). Checked on Qt 6.4.2; the test
// tst_arrayblock fails when a Qt version breaks what it relies on:
// - QTypedArrayData<T>::allocate(n) gives a header and room for at least n
//   units, freed when the last reference goes;
// - a QArrayDataPointer(header, p, n) with p anywhere inside the block is a
//   string of n units at p: Qt measures its free room before p from the
//   header's own data start, and after p + n from the block's capacity;
// - such a string holds one reference, and detaches before a change while
//   the block is shared; the last one alive may grow in place.
#pragma once

#include <QByteArray>
#include <QString>

#include <new>
#include <type_traits>

static_assert(QT_VERSION_MAJOR == 6, "arrayblock.h relies on the array header of Qt 6");

template <typename T>
class ArrayBlock
{
    static_assert(std::is_same_v<T, char> || std::is_same_v<T, char16_t>, "blocks of QByteArray or QString units");

public:
    using Container = std::conditional_t<std::is_same_v<T, char>, QByteArray, QString>;

    ArrayBlock() = default;
    // Room for at least `units` units; throws std::bad_alloc.
    explicit ArrayBlock(qsizetype units)
    {
        const auto [header, data] = QTypedArrayData<T>::allocate(units);
        if (!data)
            throw std::bad_alloc();
        m_block = QArrayDataPointer<T>(header, data, 0);
    }

    // The block's units, written by the arena before slices are read.
    T* data() const { return const_cast<T*>(m_block.data()); }
    qsizetype capacity() const { return m_block.constAllocatedCapacity(); }

    // The `n` units at `offset` as a string that shares the block; the caller
    // keeps offset + n within the capacity.
    Container slice(qsizetype offset, qsizetype n) const
    {
        Q_ASSERT(offset >= 0 && n >= 0 && n <= capacity() - offset);
        auto& block = const_cast<QArrayDataPointer<T>&>(m_block);
        block.d_ptr()->ref();
        return Container(QArrayDataPointer<T>(block.d_ptr(), data() + offset, n));
    }

private:
    // Holds one reference; its own size stays 0.
    QArrayDataPointer<T> m_block;
};
