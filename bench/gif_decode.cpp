// GIF decoding: frames per second of a 256-frame 320 x 240 animation with every frame kept,
// and megapixels per second of a 2048 x 2048 still.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "image/raster_gif.h"
#include "image/raster_mem_file.h"

namespace {

std::vector<BYTE> Encode(CRasterGIF& writer, CRaster** images, int count) {
    CRasterMemFile out;
    out.Open();
    const bool ok = count ? writer.Encode(&out, images, count, false) : writer.Encode(&out);
    if (!ok) std::abort();
    const BYTE* data = out.GetBuffer();
    return std::vector<BYTE>(data, data + out.Size());
}

void FillFrame(CRaster& image, int phase) {
    for (DWORD i = 0; i < 256; ++i) image.SetPaletteColor(static_cast<BYTE>(i), BYTE(i), BYTE(255 - i), BYTE(i * 3));
    for (LONG y = 0; y < static_cast<LONG>(image.GetHeight()); ++y) {
        BYTE* row = image.GetBits(static_cast<DWORD>(y));
        for (LONG x = 0; x < static_cast<LONG>(image.GetWidth()); ++x)
            row[x] = static_cast<BYTE>(((x + phase) / 8) * 7 + (y / 6) * 3 + ((x * y) >> 9));
    }
}

void BM_DecodeAnimation(benchmark::State& state) {
    std::vector<std::unique_ptr<CRaster>> frames;
    std::vector<CRaster*> pointers;
    for (int i = 0; i < 256; ++i) {
        frames.push_back(std::make_unique<CRaster>(320, 240, 8, kRasterTypeGif));
        FillFrame(*frames.back(), i * 2);
        frames.back()->SetFrameDelay(4);
        pointers.push_back(frames.back().get());
    }
    CRasterGIF writer;
    std::vector<BYTE> file = Encode(writer, pointers.data(), 256);
    for (auto _ : state) {
        CRasterGIF gif;
        gif.SetLoadAllFrames(true);
        CRasterMemFile in(file.data(), static_cast<unsigned>(file.size()));
        if (!gif.Decode(&in) || gif.GetFrameCount() != 256) std::abort();
        benchmark::DoNotOptimize(gif.GetFrame(255));
    }
    state.counters["frames/s"] = benchmark::Counter(256.0 * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["file_KB"] = file.size() / 1024.0;
}
BENCHMARK(BM_DecodeAnimation)->Unit(benchmark::kMillisecond);

void BM_DecodeStill(benchmark::State& state) {
    CRasterGIF writer;
    writer.Create(2048, 2048, 8, kRasterTypeGif);
    FillFrame(writer, 0);
    std::vector<BYTE> file = Encode(writer, nullptr, 0);
    for (auto _ : state) {
        CRasterGIF gif;
        CRasterMemFile in(file.data(), static_cast<unsigned>(file.size()));
        if (!gif.Decode(&in)) std::abort();
        benchmark::DoNotOptimize(gif.GetBits());
    }
    state.counters["MP/s"] = benchmark::Counter(2048.0 * 2048.0 / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["file_KB"] = file.size() / 1024.0;
}
BENCHMARK(BM_DecodeStill)->Unit(benchmark::kMillisecond);

void BM_EncodeStill(benchmark::State& state) {
    CRasterGIF image;
    image.Create(2048, 2048, 8, kRasterTypeGif);
    FillFrame(image, 0);
    for (auto _ : state) benchmark::DoNotOptimize(Encode(image, nullptr, 0).size());
    state.counters["MP/s"] = benchmark::Counter(2048.0 * 2048.0 / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeStill)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
