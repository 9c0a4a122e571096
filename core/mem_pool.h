#pragma once
// CMemPool: a pool of fixed-size blocks for the library's small, frequent objects.
//
// Blocks are carved from large C-heap slabs ("blobs"); released blocks go on a free list and
// are handed out again last in, first out (the most recently released block is cache-warm).
// No blob is given back before the pool is destroyed, so a pool's memory only grows.
// Growth when the free list runs dry:
//   GROW_NONE    only the first blob is made; asking for more throws
//   GROW_LINEAR  the k-th blob holds k x blocksPerBlob blocks
//   GROW_FIXED   every blob holds blocksPerBlob blocks
//
// Failures throw std::runtime_error whose what() is the message: "invalid alloc size",
// "CMemPool::Alloc: tried to make new blob with GROW_NONE", "out of memory",
// "CMemPool::Alloc: ran out of memory", "invalid pointer". Every Free is checked: a pointer
// that is not a block of this pool, or a block that is already free, is refused with
// "invalid pointer" and nothing changes.
//
// The two builds differ in what a pool knows and says:
// - current: a pool has a name and byte counts, and makes its first blob on the first Alloc.
//   At destruction it reports to the debugger: the first pool destroyed in the process sends
//   the column header (OutputDebugStringA) and a dash line (DbgMsg); every pool sends its
//   statistics row (OutputDebugStringA) and, when blocks are still in use, a leak line
//   (DbgMsg).
// - legacy: a pool has no name and no byte counts, makes its first blob when it is
//   constructed (so a pool that is never used still holds one), and writes nothing when it
//   is destroyed.
// Either way destruction then frees every blob, leaked blocks included. What differs is
// defined apart: core/mem_pool_report.cpp for the current build, legacy/mem_pool_legacy.cpp for
// the legacy one; core/mem_pool.cpp holds the blocks and blobs, alike in both. The record's
// fields differ as well, under the #if blocks below.
//
// Not thread-safe: a pool takes no lock.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/build_variant.h"

enum CMemPoolGrowMode : std::int32_t {
    GROW_NONE = 0,
    GROW_LINEAR = 1,
    GROW_FIXED = 2,
};

struct CMemPoolBlob;  // a slab of blocks; private to the pool

class CMemPool {
public:
    // `blockSize` is raised to the size of a pointer when smaller (a free block holds the
    // link to the next one).
#if LUMI_LEGACY
    // Makes the first blob at once; throws as Alloc does when it cannot. The legacy pools
    // all grow GROW_LINEAR.
    CMemPool(std::uint32_t blockSize, std::int32_t blocksPerBlob, std::int32_t growMode = GROW_LINEAR);
#else
    // No blob is made until the first Alloc. `name` is copied, at most 31 characters; null
    // or empty leaves the name empty.
    CMemPool(std::uint32_t blockSize, std::int32_t blocksPerBlob, std::int32_t growMode, const char* name);
#endif
    ~CMemPool();
    CMemPool(const CMemPool&) = delete;
    CMemPool& operator=(const CMemPool&) = delete;

    // A block of BlockSize() bytes holding whatever it held before; never null.
    void* Alloc(std::uint32_t size);
    // Returns a block; null is ignored.
    void Free(void* block);
    // Reports through DbgMsg that a Free was refused for `reason`, naming the pool where it has
    // a name.
    void ReportRefusedFree(const char* reason) const;

    // Sets the block size to the size of the pooled type while the pool has no blob yet (the
    // current build's static pools are made before their types' translation units can tell
    // their size; see pool_table.h). Once the pool has a blob its block size is fixed and
    // this does nothing: a larger request then fails in Alloc. A legacy pool has its blob
    // from the start, so it keeps the block size it was made with.
    void BindBlockSize(std::uint32_t size);

    std::uint32_t BlockSize() const { return blockSize_; }
    std::int32_t BlocksPerBlob() const { return blocksPerBlob_; }
    std::int32_t GrowMode() const { return growMode_; }
    std::int32_t BlocksInUse() const { return blocksInUse_; }
    std::int32_t PeakBlocksInUse() const { return peakBlocksInUse_; }
    std::uint32_t BlobCount() const { return static_cast<std::uint32_t>(blobs_.size()); }
#if !LUMI_LEGACY
    std::int32_t BytesInUse() const { return bytesInUse_; }  // block size x blocks in use
    std::uint32_t TotalBytes() const { return totalBytes_; }  // block areas of every blob
    const char* Name() const { return name_; }

    // How many pools the process has destroyed; only the first one prints the column header.
    // The reset is for tests that need to see the header again.
    static int DestroyedPoolCount();
    static void ResetDestroyedPoolCount();
#endif

private:
    void MakeBlob();
    CMemPoolBlob* FindBlob(const void* block) const;
    void CountBlocksInUse(std::int32_t change);
    // The largest area a new blob may have: the statistics are 32-bit.
    std::uint64_t BlobBytesLeft() const;
    void CountBlob(std::uint32_t areaBytes);
    void ReleaseBlobs();
#if !LUMI_LEGACY
    void Report() const;
#endif

    std::uint32_t blockSize_;
    std::int32_t blocksPerBlob_;
    std::int32_t growMode_;
    std::vector<CMemPoolBlob*> blobs_;  // sorted by address, so a block's blob is a binary search away
    void* freeList_ = nullptr;
    std::int32_t blocksInUse_ = 0;
#if !LUMI_LEGACY
    std::int32_t bytesInUse_ = 0;
    std::uint32_t totalBytes_ = 0;
#endif
    std::int32_t peakBlocksInUse_ = 0;
#if !LUMI_LEGACY
    char name_[32] = {};
#endif
};
