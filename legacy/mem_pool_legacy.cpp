// CMemPool of the legacy build (in place of core/mem_pool_report.cpp): a pool without a name
// or byte counts, which makes its first blob when it is constructed and writes nothing when it
// is destroyed.
#include <algorithm>

#include "core/mem_pool.h"
#include "platform/tarnel/tarnel.h"

CMemPool::CMemPool(std::uint32_t blockSize, std::int32_t blocksPerBlob, std::int32_t growMode)
    : blockSize_(std::max<std::uint32_t>(blockSize, sizeof(void*))), blocksPerBlob_(blocksPerBlob), growMode_(growMode) {
    MakeBlob();
}

CMemPool::~CMemPool() { ReleaseBlobs(); }

void CMemPool::ReportRefusedFree(const char* reason) const { DbgMsg("CMemPool::Free: %s", reason); }

void CMemPool::CountBlocksInUse(std::int32_t change) { blocksInUse_ += change; }

std::uint64_t CMemPool::BlobBytesLeft() const { return UINT32_MAX; }

void CMemPool::CountBlob(std::uint32_t) {}
