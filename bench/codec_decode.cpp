// Decode throughput of the PNG and BMP codecs on 2048 x 2048 images, against bare libpng and
// against a plain read of the BMP's bytes. Bytes processed are decoded pixel bytes; the
// "input" counter gives file bytes per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/decode_pictures.h"
#include "image/raster.h"
#include "image/raster_mem_file.h"

namespace {

constexpr DWORD kSide = 2048;

const std::vector<BYTE>& PngFile() {
    static const std::vector<BYTE> file = EncodePicture(kSide, true, kRasterTypePng);
    return file;
}

const std::vector<BYTE>& BmpFile(bool withAlpha) {
    static const std::vector<BYTE> plain = EncodePicture(kSide, false, kRasterTypeBmp);
    static const std::vector<BYTE> alpha = EncodePicture(kSide, true, kRasterTypeBmp);
    return withAlpha ? alpha : plain;
}

void Report(benchmark::State& state, std::size_t pixelBytes, std::size_t fileBytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pixelBytes));
    state.counters["input"] = benchmark::Counter(static_cast<double>(state.iterations() * fileBytes),
                                                 benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

void BM_PngDecodeRgba(benchmark::State& state) {
    const std::vector<BYTE>& file = PngFile();
    for (auto _ : state) {
        CRaster image;
        if (!image.Decode(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size()), kRasterTypePng)) {
            state.SkipWithError(image.GetLastError());
            break;
        }
        benchmark::DoNotOptimize(image.GetDIB());
    }
    Report(state, static_cast<std::size_t>(kSide) * kSide * 4, file.size());
}
BENCHMARK(BM_PngDecodeRgba)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngDecodeRgbaBareLibpng(benchmark::State& state) {
    const std::vector<BYTE>& file = PngFile();
    for (auto _ : state) {
        std::unique_ptr<BYTE[]> pixels;
        if (!BareLibpng(file, &pixels)) {
            state.SkipWithError("libpng failed");
            break;
        }
        benchmark::DoNotOptimize(pixels.get());
    }
    Report(state, static_cast<std::size_t>(kSide) * kSide * 4, file.size());
}
BENCHMARK(BM_PngDecodeRgbaBareLibpng)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BmpDecode(benchmark::State& state) {
    const bool withAlpha = state.range(0) != 0;
    const std::vector<BYTE>& file = BmpFile(withAlpha);
    for (auto _ : state) {
        CRaster image;
        if (!image.Decode(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size()), kRasterTypeBmp)) {
            state.SkipWithError(image.GetLastError());
            break;
        }
        benchmark::DoNotOptimize(image.GetDIB());
    }
    Report(state, static_cast<std::size_t>(kSide) * kSide * (withAlpha ? 4 : 3), file.size());
    state.SetLabel(withAlpha ? "32-bit" : "24-bit");
}
BENCHMARK(BM_BmpDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: the BMP's bytes read through the same stream into a fresh buffer.
void BM_BmpPlainRead(benchmark::State& state) {
    const std::vector<BYTE>& file = BmpFile(false);
    for (auto _ : state) {
        std::vector<BYTE> copy(file.size());
        CRasterMemFile stream(const_cast<BYTE*>(file.data()), static_cast<unsigned>(file.size()));
        benchmark::DoNotOptimize(stream.Read(copy.data(), 1, static_cast<unsigned>(copy.size())));
        benchmark::DoNotOptimize(copy.data());
    }
    Report(state, static_cast<std::size_t>(kSide) * kSide * 3, file.size());
}
BENCHMARK(BM_BmpPlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
