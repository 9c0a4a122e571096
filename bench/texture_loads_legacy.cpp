// Texture files read and decoded per second by the legacy library's loading threads: the
// dispatcher with seven workers against the dispatcher with one, and against a plain loop
// that reads and decodes the same files on one thread. 128 PNG and JPEG files of 256 x 256
// (photo-like, about what a game's sprite sheets hold) go through the loading threads as the
// texture manager hands them over; the copy into the texture on the host's thread, the same
// in every case, is left out. Items are texture files.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/file_callbacks.h"
#include "image/raster.h"
#include "legacy/d3d_bitmap_legacy.h"
#include "legacy/loader_thread.h"
#include "platform/win32/text.h"

namespace {

constexpr int kFiles = 128;
constexpr DWORD kSide = 256;

// The files, written once into a folder of their own.
const std::vector<std::u16string>& Files() {
    static const std::vector<std::u16string> files = [] {
        const std::filesystem::path folder = std::filesystem::temp_directory_path() / "lumi_bench_texture_loads";
        std::filesystem::create_directories(folder);
        std::vector<std::u16string> names;
        unsigned seed = 12345;
        for (int i = 0; i < kFiles; ++i) {
            const DWORD type = i % 2 == 0 ? kRasterTypePng : kRasterTypeJpg;
            CRaster image(kSide, kSide, 24, type);
            for (DWORD y = 0; y < kSide; ++y) {
                BYTE* row = image.GetBits(y);
                for (DWORD x = 0; x < kSide; ++x) {
                    seed = seed * 1103515245u + 12345u;
                    const BYTE noise = static_cast<BYTE>((seed >> 16) & 7);
                    row[x * 3] = static_cast<BYTE>(x + i + noise);
                    row[x * 3 + 1] = static_cast<BYTE>(y + noise);
                    row[x * 3 + 2] = static_cast<BYTE>(((x + y) >> 1) + noise);
                }
            }
            const std::string name = (folder / (std::to_string(i) + (i % 2 == 0 ? ".png" : ".jpg"))).string();
            names.push_back(win32::Utf8ToUtf16(name));
            image.Save(names.back().c_str(), type);
        }
        return names;
    }();
    return files;
}

const STRU_FILE_CALLBACKS& Callbacks() {
    static const STRU_FILE_CALLBACKS callbacks = DefaultFileCallbacks();
    return callbacks;
}

std::vector<std::unique_ptr<CD3DBitmap>> Records() {
    std::vector<std::unique_ptr<CD3DBitmap>> records;
    for (const std::u16string& name : Files()) {
        records.push_back(std::make_unique<CD3DBitmap>(name.c_str(), D3DFMT_A8R8G8B8, &Callbacks()));
    }
    return records;
}

void BM_LoaderThreads(benchmark::State& state) {
    Files();  // written before the clock runs
    const loader_steps_t steps = DefaultLoaderSteps();
    if (!StartLoaderThreads(&steps, static_cast<int>(state.range(0)))) {
        state.SkipWithError("the loading threads did not start");
        return;
    }
    std::atomic<std::int32_t> pending{0};
    for (auto _ : state) {
        std::vector<std::unique_ptr<CD3DBitmap>> records = Records();
        for (auto& record : records) {
            record->SetState(CD3DBitmap::kQueued);
            EnqueueBitmapLoad(record.get(), &pending, steps);
        }
        while (pending.load() > 0) std::this_thread::yield();
        for (auto& record : records) {
            if (!record->IsDecoded()) state.SkipWithError("a file did not decode");
        }
    }
    StopLoaderThreads();
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_LoaderThreads)->Arg(7)->Arg(1)->ArgName("workers")->UseRealTime()->Unit(benchmark::kMillisecond);

// The baseline: the same steps in a loop on this thread.
void BM_PlainLoop(benchmark::State& state) {
    Files();
    const loader_steps_t steps = DefaultLoaderSteps();
    for (auto _ : state) {
        std::vector<std::unique_ptr<CD3DBitmap>> records = Records();
        for (auto& record : records) {
            if (!steps.read(*record) || !steps.decode(*record)) state.SkipWithError("a file did not decode");
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_PlainLoop)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
