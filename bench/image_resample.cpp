// Resampling throughput: a 2048 x 2048 24-bit picture shrunk to 1024 x 1024 and enlarged
// to 4096 x 4096 with the main interpolation methods, in megapixels per second of output;
// beside them the fast Resample and the integer QIShrink.
#include <benchmark/benchmark.h>

#include <random>

#include "image/raster.h"

namespace {

constexpr LONG kSource = 2048;

const CRaster& Source() {
    static const CRaster image = [] {
        CRaster picture(kSource, kSource, 24, 0);
        // Smooth gradients with noise: no flat areas for a fast path to find.
        std::mt19937 random(7);
        for (LONG y = 0; y < kSource; ++y) {
            BYTE* row = picture.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < kSource; ++x) {
                row[x * 3] = static_cast<BYTE>(x / 8 + (random() & 15));
                row[x * 3 + 1] = static_cast<BYTE>(y / 8 + (random() & 15));
                row[x * 3 + 2] = static_cast<BYTE>((x + y) / 16 + (random() & 15));
            }
        }
        return picture;
    }();
    return image;
}

void Report(benchmark::State& state, LONG size) {
    const double pixels = static_cast<double>(size) * size;
    state.counters["Mpx"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ResampleInterpolated(benchmark::State& state) {
    const LONG size = static_cast<LONG>(state.range(0));
    const int method = static_cast<int>(state.range(1));
    CRaster source(Source());
    for (auto _ : state) {
        CRaster out;
        if (!source.ResampleInterpolated(size, size, method, kOverflowRepeat, &out)) state.SkipWithError("failed");
        benchmark::DoNotOptimize(out.GetBits());
    }
    Report(state, size);
}

void BM_Resample(benchmark::State& state) {
    const LONG size = static_cast<LONG>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        CRaster image(Source());
        state.ResumeTiming();
        if (!image.Resample(size, size)) state.SkipWithError("failed");
        benchmark::DoNotOptimize(image.GetBits());
    }
    Report(state, size);
}

void BM_QIShrink(benchmark::State& state) {
    CRaster source(Source());
    for (auto _ : state) {
        CRaster out;
        if (!source.QIShrink(1024, 1024, &out)) state.SkipWithError("failed");
        benchmark::DoNotOptimize(out.GetBits());
    }
    Report(state, 1024);
}

void MethodArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"size", "method"});
    for (int size : {1024, 4096})
        for (int method : {kInterpolateNearest, kInterpolateBilinear, kInterpolateCubic, kInterpolateCatmullRom,
                           kInterpolateLanczos})
            b->Args({size, method});
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_ResampleInterpolated)->Apply(MethodArgs);
BENCHMARK(BM_Resample)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QIShrink)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
