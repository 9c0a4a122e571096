// Decode throughput of a 2048x2048 4:2:0 quality-75 JPEG: the codec against bare libjpeg.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <jpeglib.h>
#include "image/raster.h"

namespace {
std::vector<BYTE> MakeFile() {
    CRaster image(2048, 2048, 24, kRasterTypeJpg);
    for (LONG y = 0; y < 2048; ++y) {
        BYTE* row = image.GetBits(y);
        for (LONG x = 0; x < 2048; ++x) {
            row[x * 3] = BYTE(x * 3 + y);
            row[x * 3 + 1] = BYTE((x ^ y) + (x * y >> 9));
            row[x * 3 + 2] = BYTE(y * 2 - x);
        }
    }
    BYTE* buf = nullptr;
    long n = 0;
    image.Encode(buf, n, kRasterTypeJpg);
    std::vector<BYTE> f(buf, buf + n);
    std::free(buf);
    return f;
}
const std::vector<BYTE>& File() { static const std::vector<BYTE> f = MakeFile(); return f; }

void BM_CodecDecode(benchmark::State& state) {
    const auto& f = File();
    for (auto _ : state) {
        CRaster image;
        if (!image.Decode(const_cast<BYTE*>(f.data()), DWORD(f.size()), kRasterTypeJpg)) state.SkipWithError("decode");
        benchmark::DoNotOptimize(image.GetBits());
    }
    state.counters["pixel_MB/s"] = benchmark::Counter(2048.0 * 2048 * 3 * state.iterations(), benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
    state.counters["input_MB/s"] = benchmark::Counter(double(f.size()) * state.iterations(), benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
}
void BM_BareLibjpeg(benchmark::State& state) {
    const auto& f = File();
    std::vector<BYTE> pixels(2048 * 2048 * 3);
    for (auto _ : state) {
        jpeg_decompress_struct c{}; jpeg_error_mgr e{}; c.err = jpeg_std_error(&e);
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, f.data(), f.size());
        jpeg_read_header(&c, TRUE);
        jpeg_start_decompress(&c);
        while (c.output_scanline < c.output_height) {
            JSAMPROW r = pixels.data() + std::size_t(c.output_scanline) * 2048 * 3;
            jpeg_read_scanlines(&c, &r, 1);
        }
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["pixel_MB/s"] = benchmark::Counter(2048.0 * 2048 * 3 * state.iterations(), benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
    state.counters["input_MB/s"] = benchmark::Counter(double(f.size()) * state.iterations(), benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
}
BENCHMARK(BM_CodecDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareLibjpeg)->Unit(benchmark::kMillisecond);
}
BENCHMARK_MAIN();
