// Atlas cell allocation: cells allocated and freed per second on a 1024 page, and how
// fragmented a page is after a long random workload of mixed sizes (the share of the page
// that is free but out of reach of a 256 request, and how many requests found no cell).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "draw/huge_texture.h"
#include "draw/texture_owner.h"

namespace {

// Cell bookkeeping needs no device: an owner that offers nothing.
class NoDeviceOwner : public ITextureOwner {
public:
    IDirect3DDevice9* GetDevice() override { return nullptr; }
    bool IsDeviceLost() override { return false; }
    D3DFORMAT GetNormalFormat() override { return D3DFMT_X8R8G8B8; }
    D3DFORMAT GetAlphaFormat() override { return D3DFMT_A8R8G8B8; }
    D3DFORMAT GetUIFormat() override { return D3DFMT_A8R8G8B8; }
    bool IsSquareOnly() override { return false; }
    CTexturePool* GetTexturePool() override { return nullptr; }
    void MarkInUse(CD3DTexture*) override {}
    void MarkIdle(CD3DTexture*) override {}
    bool EvictIdleTextures() override { return false; }
    bool ReadImageInfo(CD3DTexture*) override { return false; }
    ITextureLoader* GetTextureLoader() override { return nullptr; }
    std::uint32_t GetFrameNumber() override { return 0; }
    CRenderTargetHost* GetRenderTargetHost() override { return nullptr; }
    bool RegisterRenderTarget(CRenderTarget*) override { return false; }
    CCamera* GetDefaultCamera() override { return nullptr; }
};

// Sizes as small textures come: mostly 32 and 64, some 128, few 256.
std::uint32_t RandomSide(std::mt19937& random) {
    const std::uint32_t roll = random() % 100;
    if (roll < 45) return 32;
    if (roll < 80) return 64;
    if (roll < 95) return 128;
    return 256;
}

void BM_AllocFreePairs(benchmark::State& state) {
    NoDeviceOwner owner;
    CD3DHugeTexture page(&owner, 1024, D3DFMT_A8R8G8B8, 0);
    std::mt19937 random(7);
    // A half-full page, so that allocations split and frees merge.
    std::vector<tex_cell_t*> held;
    while (page.FreeArea() > 512u * 1024) {
        if (tex_cell_t* cell = page.AllocCell(RandomSide(random))) held.push_back(cell);
    }
    std::vector<std::uint32_t> sides(4096);
    for (auto& side : sides) side = RandomSide(random);
    std::size_t next = 0;
    for (auto _ : state) {
        tex_cell_t* cell = page.AllocCell(sides[next++ & 4095]);
        if (cell != nullptr) page.FreeCell(cell);
        benchmark::DoNotOptimize(cell);
    }
    state.counters["allocs_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                        benchmark::Counter::kIsRate);
    for (tex_cell_t* cell : held) page.FreeCell(cell);
}
BENCHMARK(BM_AllocFreePairs);

// The longest path: a 32 cell from a whole 1024 page splits five times, and its free merges
// five times back to the root.
void BM_SplitAndMergeFromWholePage(benchmark::State& state) {
    NoDeviceOwner owner;
    CD3DHugeTexture page(&owner, 1024, D3DFMT_A8R8G8B8, 0);
    for (auto _ : state) {
        tex_cell_t* cell = page.AllocCell(32);
        page.FreeCell(cell);
        benchmark::DoNotOptimize(cell);
    }
    state.counters["allocs_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SplitAndMergeFromWholePage);

void BM_RandomWorkloadFragmentation(benchmark::State& state) {
    NoDeviceOwner owner;
    const int steps = static_cast<int>(state.range(0));
    double freeShare = 0, unreachableShare = 0, failedShare = 0;
    for (auto _ : state) {
        CD3DHugeTexture page(&owner, 1024, D3DFMT_A8R8G8B8, 0);
        std::mt19937 random(11);
        std::vector<tex_cell_t*> held;
        int requests = 0, failed = 0;
        for (int step = 0; step < steps; ++step) {
            // Keep the page about 70% used: allocate below that, free above it.
            const bool allocate = held.empty() || (page.FreeArea() > 0.3 * 1024 * 1024 && random() % 4 != 0);
            if (allocate) {
                ++requests;
                if (tex_cell_t* cell = page.AllocCell(RandomSide(random))) {
                    held.push_back(cell);
                } else {
                    ++failed;
                }
            } else {
                const std::size_t index = random() % held.size();
                page.FreeCell(held[index]);
                held[index] = held.back();
                held.pop_back();
            }
        }
        const double area = 1024.0 * 1024.0;
        const double free = static_cast<double>(page.FreeArea());
        // Free area a 256 request can use: free cells of 256 and above.
        double reachable = 0;
        for (std::uint32_t side = 256; side <= 1024; side *= 2) {
            reachable += static_cast<double>(page.GetLevel(side)->free.Count()) * side * side;
        }
        freeShare = free / area;
        unreachableShare = free > 0 ? (free - reachable) / free : 0;
        failedShare = requests > 0 ? static_cast<double>(failed) / requests : 0;
        for (tex_cell_t* cell : held) page.FreeCell(cell);
    }
    state.counters["free_share"] = freeShare;
    state.counters["free_not_256_share"] = unreachableShare;
    state.counters["failed_requests"] = failedShare;
}
BENCHMARK(BM_RandomWorkloadFragmentation)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
