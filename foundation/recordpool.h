// Records of one type taken from a few large blocks instead of one allocation
// each: a million records then cost a few hundred allocations, lie close
// together, and large blocks sit on huge pages. A record given back is reused
// by the next one made.
//
// The pool owns the memory, not the records: its owner ends every record it
// keeps (destroy) before the pool goes; the pool's end frees the blocks
// without running any record's destructor.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "hugepages.h"

template <typename T>
class RecordPool
{
    static_assert(alignof(T) <= alignof(std::max_align_t), "records aligned as malloc aligns");

public:
    RecordPool() = default;
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;

    // A default-constructed record of the pool.
    T* create()
    {
        if (!m_freeRecords.empty()) {
            T* place = m_freeRecords.back();
            m_freeRecords.pop_back();
            return new (place) T;
        }
        if (size_t(m_blockEnd - m_next) < sizeof(T))
            addBlock();
        T* record = new (m_next) T;
        m_next += sizeof(T);
        return record;
    }

    // True for a record that lies in one of the pool's blocks.
    bool owns(const T* record) const
    {
        // The block at or before the record's address by the map's total
        // order; the record is the pool's when it lies within that block.
        const char* at = reinterpret_cast<const char*>(record);
        auto block = m_blocks.upper_bound(at);
        if (block == m_blocks.begin())
            return false;
        --block;
        const auto address = [](const char* p) { return reinterpret_cast<std::uintptr_t>(p); };
        return address(at) - address(block->first) < block->second.bytes;
    }

    // Ends a record: one of the pool's goes back to it for reuse, any other
    // must have been made with `new` and is deleted.
    void destroy(T* record)
    {
        if (owns(record)) {
            record->~T();
            m_freeRecords.push_back(record);
        } else {
            delete record;
        }
    }

private:
    // Blocks double from a few records up to one huge page: a small pool
    // holds little, and a large one takes one page fault and one TLB entry
    // per two megabytes instead of one per four kilobytes.
    static constexpr size_t kFirstBlockBytes = 64 * 1024;

    void addBlock()
    {
        const size_t bytes = std::max(m_nextBlockBytes, kFirstBlockBytes);
        m_nextBlockBytes = std::min(bytes * 2, kHugePageBytes);
        const bool huge = bytes == kHugePageBytes;
        char* storage = static_cast<char*>(std::aligned_alloc(huge ? kHugePageBytes : alignof(std::max_align_t), bytes));
        if (!storage)
            throw std::bad_alloc();
        std::unique_ptr<char[], FreeBlock> owned(storage);
        if (huge)
            g_adviseHugePages(storage, bytes);
        m_blocks.emplace(storage, Block{std::move(owned), bytes});
        m_next = storage;
        m_blockEnd = storage + bytes;
    }

    struct FreeBlock
    {
        void operator()(char* block) const { std::free(block); }
    };
    struct Block
    {
        std::unique_ptr<char[], FreeBlock> storage;
        size_t bytes = 0;
    };
    // Each block's storage by its first byte, to tell the pool's records from others.
    std::map<const char*, Block> m_blocks;
    size_t m_nextBlockBytes = 0;
    char* m_next = nullptr;
    char* m_blockEnd = nullptr;
    std::vector<T*> m_freeRecords; // places given back
};
