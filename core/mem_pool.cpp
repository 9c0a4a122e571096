// CMemPool: blocks and blobs, alike in both builds (what differs: core/mem_pool_report.cpp,
// legacy/mem_pool_legacy.cpp).
#include "core/mem_pool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <stdexcept>

#include "core/pool_table.h"

// A blob is one malloc block: this header, padded so that the block area is aligned for any
// type; then the block area; then one in-use byte per block. The in-use bytes let Free refuse
// a double release, which would otherwise put a block on the free list twice and hand it out
// to two owners.
struct CMemPoolBlob {
    std::uint32_t areaBytes;   // block count x block size
    std::uint32_t blockCount;
};

namespace {

constexpr std::size_t kBlobHeaderBytes =
    (sizeof(CMemPoolBlob) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

char* AreaOf(CMemPoolBlob* blob) { return reinterpret_cast<char*>(blob) + kBlobHeaderBytes; }
std::uint8_t* InUseOf(CMemPoolBlob* blob) {
    return reinterpret_cast<std::uint8_t*>(AreaOf(blob) + blob->areaBytes);
}

// Blocks need not be aligned for a pointer (block sizes are the pooled types' sizes), so the
// free-list link is copied byte-wise.
void* NextFree(const void* block) {
    void* next;
    std::memcpy(&next, block, sizeof(next));
    return next;
}
void SetNextFree(void* block, void* next) { std::memcpy(block, &next, sizeof(next)); }

[[noreturn]] void Fail(const char* message) { throw std::runtime_error(message); }

}  // namespace

void* CMemPool::Alloc(std::uint32_t size) {
    if (size > blockSize_) Fail("invalid alloc size");
    if (freeList_ == nullptr) {
        if (growMode_ == GROW_NONE && !blobs_.empty()) Fail("CMemPool::Alloc: tried to make new blob with GROW_NONE");
        MakeBlob();
        if (freeList_ == nullptr) Fail("CMemPool::Alloc: ran out of memory");
    }
    void* block = freeList_;
    CMemPoolBlob* blob = FindBlob(block);
    InUseOf(blob)[(static_cast<char*>(block) - AreaOf(blob)) / blockSize_] = 1;
    freeList_ = NextFree(block);
    CountBlocksInUse(+1);
    peakBlocksInUse_ = std::max(peakBlocksInUse_, blocksInUse_);
    return block;
}

void CMemPool::Free(void* block) {
    if (block == nullptr) return;
    CMemPoolBlob* blob = FindBlob(block);
    if (blob == nullptr) Fail("invalid pointer");
    const std::size_t offset = static_cast<std::size_t>(static_cast<char*>(block) - AreaOf(blob));
    if (offset % blockSize_ != 0) Fail("invalid pointer");
    std::uint8_t& inUse = InUseOf(blob)[offset / blockSize_];
    if (inUse == 0) Fail("invalid pointer");
    inUse = 0;
    CountBlocksInUse(-1);
    SetNextFree(block, freeList_);
    freeList_ = block;
}

void CMemPool::BindBlockSize(std::uint32_t size) {
    if (blobs_.empty()) blockSize_ = std::max<std::uint32_t>(size, sizeof(void*));
}

void CMemPool::MakeBlob() {
    std::int64_t count;
    if (growMode_ == GROW_FIXED) {
        count = blocksPerBlob_;
    } else if (growMode_ == GROW_NONE) {
        if (!blobs_.empty()) return;
        count = blocksPerBlob_;
    } else {
        count = static_cast<std::int64_t>(blocksPerBlob_) * (static_cast<std::int64_t>(blobs_.size()) + 1);
    }
    if (count <= 0) return;  // the caller reports the empty free list

    // A blob's area size is 32-bit, and so are the statistics: a blob whose area or total
    // would not fit counts as a failed allocation rather than wrapping the figures.
    const std::uint64_t areaBytes = static_cast<std::uint64_t>(count) * blockSize_;
    if (areaBytes > BlobBytesLeft()) Fail("out of memory");

    blobs_.reserve(blobs_.size() + 1);
    void* memory = std::malloc(kBlobHeaderBytes + areaBytes + static_cast<std::size_t>(count));
    if (memory == nullptr) Fail("out of memory");

    CMemPoolBlob* blob = static_cast<CMemPoolBlob*>(memory);
    blob->areaBytes = static_cast<std::uint32_t>(areaBytes);
    blob->blockCount = static_cast<std::uint32_t>(count);
    std::memset(InUseOf(blob), 0, blob->blockCount);
    blobs_.insert(std::upper_bound(blobs_.begin(), blobs_.end(), blob, std::less<CMemPoolBlob*>()), blob);
    CountBlob(blob->areaBytes);

    // Chained in address order, so a fresh blob hands out its blocks front to back.
    char* block = AreaOf(blob);
    for (std::uint32_t i = 0; i + 1 < blob->blockCount; ++i, block += blockSize_) {
        SetNextFree(block, block + blockSize_);
    }
    SetNextFree(block, nullptr);
    freeList_ = AreaOf(blob);
}

CMemPoolBlob* CMemPool::FindBlob(const void* block) const {
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    auto after = std::upper_bound(blobs_.begin(), blobs_.end(), address, [](std::uintptr_t value, CMemPoolBlob* blob) {
        return value < reinterpret_cast<std::uintptr_t>(blob);
    });
    if (after == blobs_.begin()) return nullptr;
    CMemPoolBlob* blob = *(after - 1);
    const auto area = reinterpret_cast<std::uintptr_t>(AreaOf(blob));
    if (address < area || address >= area + blob->areaBytes) return nullptr;
    return blob;
}

void CMemPool::ReleaseBlobs() {
    for (CMemPoolBlob* blob : blobs_) std::free(blob);
    blobs_.clear();
    freeList_ = nullptr;
    CountBlocksInUse(-blocksInUse_);
}

void ReleaseToPool(CMemPool& pool, void* block) noexcept {
    try {
        pool.Free(block);
    } catch (const std::exception& error) {
        try {
            pool.ReportRefusedFree(error.what());
        } catch (...) {
        }
    }
}
