// Decode throughput of a 2048x2048 4:2:0 quality-75 JPEG: the codec against bare libjpeg,
// the output allocated per decode in both.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/decode_pictures.h"
#include "image/raster.h"

namespace {

constexpr DWORD kSide = 2048;

const std::vector<BYTE>& File() {
    static const std::vector<BYTE> file = EncodePicture(kSide, false, kRasterTypeJpg);
    return file;
}

void Report(benchmark::State& state) {
    state.counters["pixel_MB/s"] = benchmark::Counter(static_cast<double>(kSide) * kSide * 3 * state.iterations(),
                                                      benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
    state.counters["input_MB/s"] = benchmark::Counter(static_cast<double>(File().size()) * state.iterations(),
                                                      benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
}

void BM_CodecDecode(benchmark::State& state) {
    const std::vector<BYTE>& file = File();
    for (auto _ : state) {
        CRaster image;
        if (!image.Decode(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size()), kRasterTypeJpg))
            state.SkipWithError("decode");
        benchmark::DoNotOptimize(image.GetBits());
    }
    Report(state);
}

void BM_BareLibjpeg(benchmark::State& state) {
    const std::vector<BYTE>& file = File();
    for (auto _ : state) {
        std::unique_ptr<BYTE[]> pixels;
        BareLibjpeg(file, &pixels);
        benchmark::DoNotOptimize(pixels.get());
    }
    Report(state);
}

BENCHMARK(BM_CodecDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareLibjpeg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
