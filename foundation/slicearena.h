// Many small texts or byte strings cut from a few large blocks: each result
// is an ordinary QString or QByteArray whose characters lie in a shared,
// reference-counted block rather than in an allocation of its own. Reading a
// million records then costs a few hundred allocations instead of millions.
//
// A result behaves like any other: a change detaches it while the block is
// shared, and each is followed by a terminating 0 as Qt promises. A block is
// freed when the arena and the last result cut from it are gone, so one
// long-lived result keeps its whole block; use an arena for results that are
// made together and mostly live together.
#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>

template <typename T>
class SliceArena
{
public:
    using Pointer = QArrayDataPointer<T>;

    // Blocks start small, so that an arena that serves a few strings holds
    // little, and double up to `blockUnits` units.
    explicit SliceArena(qsizetype blockUnits = 16384) : m_blockUnits(blockUnits) {}
    // A copy would cut from the same free space as the original.
    SliceArena(const SliceArena&) = delete;
    SliceArena& operator=(const SliceArena&) = delete;

    // A string of `n` units, copied from `source` when it is given, else left
    // for the caller to fill through the returned pointer's data().
    Pointer take(const T* source, qsizetype n)
    {
        if (n + 1 > m_block.freeSpaceAtEnd() - m_used)
            newBlock(n + 1);
        T* at = m_block.data() + m_used;
        if (source && n > 0)
            std::memcpy(at, source, size_t(n) * sizeof(T));
        at[n] = T(0);
        m_used += n + 1;
        m_block.d_ptr()->ref();
        return Pointer(m_block.d_ptr(), at, n);
    }

private:
    void newBlock(qsizetype units)
    {
        const auto [header, data] = QTypedArrayData<T>::allocate(std::max(units, m_nextUnits));
        Q_CHECK_PTR(data);
        adviseHugePages(data, size_t(header->allocatedCapacity()) * sizeof(T));
        m_block = Pointer(header, data, 0);
        m_nextUnits = std::min(m_blockUnits, 2 * m_nextUnits);
        m_used = 0;
    }

    // Asks for huge pages on the whole two-megabyte pages within a large
    // block: filling it then takes one page fault per two megabytes. Advice
    // only; the block works the same without it.
    static void adviseHugePages(T* data, size_t bytes)
    {
        constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;
        const auto start = reinterpret_cast<std::uintptr_t>(data);
        const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
        const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
        if (last > first)
            ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }

    qsizetype m_blockUnits;
    qsizetype m_nextUnits = 256;
    // Holds one reference to the current block; its own size stays 0, so its
    // free space at the end is the block's capacity.
    Pointer m_block;
    qsizetype m_used = 0;
};

class ByteSliceArena : public SliceArena<char>
{
public:
    using SliceArena::SliceArena;

    QByteArray copy(QByteArrayView bytes) { return QByteArray(take(bytes.data(), bytes.size())); }
};

class TextSliceArena : public SliceArena<char16_t>
{
public:
    using SliceArena::SliceArena;

    QString copy(QStringView text) { return QString(take(text.utf16(), text.size())); }
    // Latin-1 bytes widened to UTF-16, as QString::fromLatin1 gives them.
    QString latin1(QByteArrayView bytes)
    {
        Pointer p = take(nullptr, bytes.size());
        char16_t* out = p.data();
        for (char c : bytes)
            *out++ = char16_t(uchar(c));
        return QString(std::move(p));
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
