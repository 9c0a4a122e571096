#pragma once
// CObjectPool: a pool of fixed-size elements kept in blocks, each block with a free list of
// its own; CMemoryPool<T, N>: the pool of one type, growing N elements at a time. The legacy
// renderer keeps its draw-command records in six of them (cmd_pool_set.h).
//
// A block is one allocation: a header, one descriptor per element, then the elements. A
// descriptor knows its element, its block, its index and its run length (0: free, 1: handed
// out); a block's free descriptors are chained in index order. So Alloc gives the lowest free
// element of the newest block that has room, and a freed element is the next one given out
// of its block when it is the lowest free one there.
//
// Every Free is checked: a pointer that lies in no block, is not the start of an element, or
// names an element that is not handed out is refused (false) and nothing changes. Elements are
// handed out raw: the pool never constructs, clears or destroys what is in them.
//
// Not thread-safe.
#include <cstddef>
#include <cstdint>

#include "core/build_variant.h"

#if !LUMI_LEGACY
#error "the object pools belong to the legacy build"
#endif

class CObjectPool {
public:
    // Elements of `elementSize` bytes, blocks of `growCount` elements. The element area of a
    // block is aligned for any type; elements follow each other at `elementSize` bytes.
    CObjectPool(std::uint32_t elementSize, std::uint32_t growCount);
    // Frees every block (FreeAll); elements still handed out are gone.
    virtual ~CObjectPool();
    CObjectPool(const CObjectPool&) = delete;
    CObjectPool& operator=(const CObjectPool&) = delete;

    // One element, from the last block with a free one, or from a new block of the grow count
    // when none has (lumi::Exception "out of memory" when it cannot be made). Only single
    // elements are handed out: any other count gives null.
    void* Alloc(std::uint32_t count);
    // Gives an element back; false, and nothing changed, when the pointer is not an element
    // this pool has handed out (null, foreign, inside an element, already given back).
    bool Free(void* element);
    // Whether the pointer lies in the element area of one of the blocks.
    bool Owns(const void* element) const;

    // Every element is free again; the blocks keep their memory.
    void ResetAll();
    // Frees the blocks that have no element handed out.
    void ReleaseEmptyBlocks();
    // Frees every block.
    void FreeAll();

    std::uint32_t ElementSize() const { return elementSize_; }
    std::uint32_t GrowCount() const { return growCount_; }
    std::uint32_t BlockCount() const { return blockCount_; }
    // Elements handed out, over all blocks.
    std::uint32_t UsedCount() const;

private:
    struct Block;
    struct Descriptor;

    // Lays out a block of n elements in `memory`, or in a new allocation when it is null;
    // every element free, the block appended to the list.
    Block* Grow(std::uint32_t count, Block* memory);
    void Append(Block* block);
    void Unlink(Block* block);
    Block* BlockHolding(const void* element) const;

    std::uint32_t elementSize_;
    std::uint32_t growCount_;
    std::uint32_t blockCount_ = 0;
    Block* first_ = nullptr;
    Block* last_ = nullptr;
};

// The pool of T, N elements per block. Elements are raw storage for a T.
template <class T, std::uint32_t N>
class CMemoryPool : public CObjectPool {
public:
    CMemoryPool() : CObjectPool(sizeof(T), N) {}
    ~CMemoryPool() override { FreeAll(); }

    // Storage for one T (not constructed); throws as CObjectPool::Alloc.
    T* Alloc() { return static_cast<T*>(CObjectPool::Alloc(1)); }
    bool Free(T* element) { return CObjectPool::Free(element); }
};
