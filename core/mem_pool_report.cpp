// CMemPool of the current build: a pool with a name and byte counts, which makes its first
// blob on the first Alloc and reports to the debugger when it is destroyed (the legacy build's
// form: legacy/mem_pool_legacy.cpp).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/mem_pool.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/debug_output.h"

namespace {

std::atomic<int> g_DestroyedPools{0};

}  // namespace

CMemPool::CMemPool(std::uint32_t blockSize, std::int32_t blocksPerBlob, std::int32_t growMode, const char* name)
    : blockSize_(std::max<std::uint32_t>(blockSize, sizeof(void*))),
      blocksPerBlob_(blocksPerBlob),
      growMode_(growMode) {
    if (name != nullptr) std::strncpy(name_, name, sizeof(name_) - 1);
}

CMemPool::~CMemPool() {
    try {
        Report();
    } catch (...) {
        // A failing debugger sink must not stop the blobs from being freed.
    }
    ReleaseBlobs();
}

void CMemPool::ReportRefusedFree(const char* reason) const { DbgMsg("CMemPool::Free [%s]: %s", name_, reason); }

void CMemPool::CountBlocksInUse(std::int32_t change) {
    blocksInUse_ += change;
    bytesInUse_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(blocksInUse_) * blockSize_);
}

std::uint64_t CMemPool::BlobBytesLeft() const { return UINT32_MAX - totalBytes_; }

void CMemPool::CountBlob(std::uint32_t areaBytes) { totalBytes_ += areaBytes; }

void CMemPool::Report() const {
    if (g_DestroyedPools.fetch_add(1) == 0) {
        OutputDebugStringA("\n[x]class\tNumBlocks\tNumBlobs\tBlocksPerBlob\tBlockSize\t(Bytes)\t(kb)\t(mb)\n");
        DbgMsg("---------------------------------------------");
    }
    char row[512];
    std::snprintf(row, sizeof(row), "[x]%s\t%d\t%d\t%d\t%d\t%d\t%.2f\t%.2f\n", name_,
                  static_cast<int>(totalBytes_ / blockSize_), static_cast<int>(blobs_.size()), blocksPerBlob_,
                  static_cast<int>(blockSize_), static_cast<int>(totalBytes_),
                  static_cast<double>(static_cast<float>(totalBytes_) / 1024.0f),
                  static_cast<double>(static_cast<float>(totalBytes_) / 1048576.0f));
    OutputDebugStringA(row);
    if (blocksInUse_ > 0) DbgMsg("*** Memory Leak: [%s] [%d]blocks", name_, blocksInUse_);
}

int CMemPool::DestroyedPoolCount() { return g_DestroyedPools.load(); }
void CMemPool::ResetDestroyedPoolCount() { g_DestroyedPools.store(0); }
