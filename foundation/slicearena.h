// Many small texts or byte strings cut from a few large blocks: each result
// is an ordinary QString or QByteArray whose characters lie in a shared,
// reference-counted block rather than in an allocation of its own. Reading a
// million records then costs a few hundred allocations instead of millions.
//
// A result behaves like any other: a change detaches it while the block is
// shared, and a result of take() is followed by a terminating 0 as Qt
// promises. A block is freed when the arena and the last result cut from it
// are gone, so one long-lived result keeps its whole block; use an arena for
// results that are made together and mostly live together.
//
// Records kept by the million can hold a Slice (twelve bytes) in place of a
// string and make the string on demand with share().
#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "arrayblock.h"
#include "hugepages.h"

template <typename T>
class SliceArena
{
public:
    using Container = typename ArrayBlock<T>::Container;

    // Where a run of units lies: a block, an offset in it and a count.
    struct Slice
    {
        quint32 block = 0;
        quint32 offset = 0;
        quint32 size = 0;
    };

    // Blocks start at `firstBlockUnits`, so that an arena that serves a few
    // strings holds little, and double up to `maxBlockUnits`; a longer run
    // gets a block of its own.
    explicit SliceArena(qsizetype maxBlockUnits = 16384, qsizetype firstBlockUnits = 256)
        : m_maxBlockUnits(maxBlockUnits), m_nextBlockUnits(std::min(firstBlockUnits, maxBlockUnits))
    {
    }
    // A copy shares the blocks it holds and cuts from new blocks only, so
    // neither arena writes where the other reads.
    SliceArena(const SliceArena& other)
        : m_blocks(other.m_blocks), m_maxBlockUnits(other.m_maxBlockUnits), m_nextBlockUnits(other.m_nextBlockUnits)
    {
    }
    SliceArena& operator=(const SliceArena& other)
    {
        m_blocks = other.m_blocks;
        m_current = 0;
        m_free = 0;
        m_maxBlockUnits = other.m_maxBlockUnits;
        m_nextBlockUnits = other.m_nextBlockUnits;
        return *this;
    }
    SliceArena(SliceArena&& other) noexcept
        : m_blocks(std::move(other.m_blocks)), m_current(other.m_current), m_free(std::exchange(other.m_free, 0)),
          m_maxBlockUnits(other.m_maxBlockUnits), m_nextBlockUnits(other.m_nextBlockUnits)
    {
    }
    SliceArena& operator=(SliceArena&& other) noexcept
    {
        m_blocks = std::move(other.m_blocks);
        m_current = other.m_current;
        m_free = std::exchange(other.m_free, 0);
        m_maxBlockUnits = other.m_maxBlockUnits;
        m_nextBlockUnits = other.m_nextBlockUnits;
        return *this;
    }

    // Room for `n` units, left for the caller to fill through `at`; an empty
    // slice and a null `at` for none. Throws std::length_error for a run or
    // an arena beyond what a Slice can address.
    Slice reserve(qsizetype n, T*& at)
    {
        if (n > qsizetype(std::numeric_limits<quint32>::max())
            || m_blocks.size() >= size_t(std::numeric_limits<quint32>::max()))
            throw std::length_error("slice arena: run or arena too large");
        if (n <= 0) {
            at = nullptr;
            return Slice{};
        }
        size_t block = 0;
        qsizetype offset = 0;
        at = place(n, block, offset);
        return Slice{quint32(block), quint32(offset), quint32(n)};
    }
    // The slice's units as a string that shares their block; a null string
    // for an empty slice.
    Container share(const Slice& slice) const
    {
        if (slice.size == 0)
            return Container();
        return m_blocks[slice.block].slice(qsizetype(slice.offset), qsizetype(slice.size));
    }
    // The slice's units, which stay where they are while the arena lives.
    const T* data(const Slice& slice) const { return m_blocks[slice.block].data() + slice.offset; }

protected:
    // A string of `n` units followed by a 0, copied from `source` when it is
    // given, else left for the caller to fill through `at`.
    Container take(const T* source, qsizetype n, T*& at)
    {
        size_t block = 0;
        qsizetype offset = 0;
        at = place(n + 1, block, offset);
        if (source && n > 0)
            std::memcpy(at, source, size_t(n) * sizeof(T));
        at[n] = T(0);
        return m_blocks[block].slice(offset, n);
    }

private:
    // Room for `n` > 0 units: the block, the offset in it and the address.
    T* place(qsizetype n, size_t& block, qsizetype& offset)
    {
        if (n > m_free) {
            const qsizetype usual = m_nextBlockUnits;
            m_nextBlockUnits = std::min(m_maxBlockUnits, 2 * m_nextBlockUnits);
            const ArrayBlock<T>& added = m_blocks.emplace_back(std::max(n, usual));
            g_adviseHugePages(added.data(), size_t(added.capacity()) * sizeof(T));
            if (n > usual && m_free > 0) {
                // A long run on its own; the current block keeps its free room.
                block = m_blocks.size() - 1;
                offset = 0;
                return added.data();
            }
            m_current = m_blocks.size() - 1;
            m_free = added.capacity();
        }
        const ArrayBlock<T>& current = m_blocks[m_current];
        block = m_current;
        offset = current.capacity() - m_free;
        m_free -= n;
        return current.data() + offset;
    }

    std::vector<ArrayBlock<T>> m_blocks;
    // The block that is filled, and the free units at its end; a copy starts
    // with none.
    size_t m_current = 0;
    qsizetype m_free = 0;
    qsizetype m_maxBlockUnits;
    // The size of the next block unless a run needs more.
    qsizetype m_nextBlockUnits;
};

class ByteSliceArena : public SliceArena<char>
{
public:
    using SliceArena::SliceArena;

    QByteArray copy(QByteArrayView bytes)
    {
        char* at = nullptr;
        return take(bytes.data(), bytes.size(), at);
    }
};

class TextSliceArena : public SliceArena<char16_t>
{
public:
    using SliceArena::SliceArena;

    QString copy(QStringView text)
    {
        char16_t* at = nullptr;
        return take(text.utf16(), text.size(), at);
    }
    // Latin-1 bytes widened to UTF-16, as QString::fromLatin1 gives them.
    QString latin1(QByteArrayView bytes)
    {
        char16_t* out = nullptr;
        QString text = take(nullptr, bytes.size(), out);
        for (char c : bytes)
            *out++ = char16_t(uchar(c));
        return text;
    }
    // UTF-8 decoded as QString::fromUtf8 decodes it; only ASCII is cut from
    // the arena, anything else (and the null and empty views, which keep
    // their distinction) is decoded as usual.
    QString utf8(QByteArrayView bytes)
    {
        if (bytes.isEmpty() || !isAscii(bytes))
            return QString::fromUtf8(bytes);
        return latin1(bytes);
    }

private:
    static bool isAscii(QByteArrayView bytes)
    {
        uchar any = 0;
        for (char c : bytes)
            any |= uchar(c);
        return any < 0x80;
    }
};
