// Decode throughput of the PNG and BMP codecs on 2048 x 2048 images, against bare libpng and
// against a plain read of the BMP's bytes. Bytes processed are decoded pixel bytes; the
// "input" counter gives file bytes per second.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/raster.h"
#include "image/raster_mem_file.h"

namespace {

constexpr DWORD kSide = 2048;

// A photo-like picture: smooth gradients with some per-pixel noise, so that deflate works
// about as hard as on real textures.
CRaster MakePicture(bool withAlpha) {
    CRaster image(kSide, kSide, 24, 0);
    if (withAlpha) image.CreateAlpha();
    unsigned seed = 12345;
    for (DWORD y = 0; y < kSide; ++y) {
        BYTE* row = image.GetBits(y);
        for (DWORD x = 0; x < kSide; ++x) {
            seed = seed * 1103515245u + 12345u;
            const BYTE noise = static_cast<BYTE>((seed >> 16) & 7);
            row[x * 3] = static_cast<BYTE>((x >> 3) + noise);
            row[x * 3 + 1] = static_cast<BYTE>((y >> 3) + noise);
            row[x * 3 + 2] = static_cast<BYTE>(((x + y) >> 4) + noise);
            if (withAlpha) image.SetAlphaAt(static_cast<LONG>(x), static_cast<LONG>(y), static_cast<BYTE>(x ^ y));
        }
    }
    return image;
}

std::vector<BYTE> EncodeFile(bool withAlpha, DWORD type) {
    CRaster image = MakePicture(withAlpha);
    BYTE* buffer = nullptr;
    long size = 0;
    if (!image.Encode(buffer, size, type)) return {};
    std::vector<BYTE> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

const std::vector<BYTE>& PngFile() {
    static const std::vector<BYTE> file = EncodeFile(true, kRasterTypePng);
    return file;
}

const std::vector<BYTE>& BmpFile(bool withAlpha) {
    static const std::vector<BYTE> plain = EncodeFile(false, kRasterTypeBmp);
    static const std::vector<BYTE> alpha = EncodeFile(true, kRasterTypeBmp);
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

struct MemorySource {
    const BYTE* data;
    std::size_t size, position;
};

void ReadMemory(png_structp png, png_bytep out, size_t n) {
    auto* src = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (n > src->size - src->position) png_error(png, "short");
    std::memcpy(out, src->data + src->position, n);
    src->position += n;
}

// Bare libpng into caller rows; the frame that setjmp covers holds only plain data.
bool LibpngDecode(MemorySource* source, png_bytep* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, source, ReadMemory);
    png_read_info(png, info);
    png_read_update_info(png, info);
    png_read_image(png, rows);
    png_read_end(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

void BM_PngDecodeRgbaBareLibpng(benchmark::State& state) {
    const std::vector<BYTE>& file = PngFile();
    for (auto _ : state) {
        std::vector<BYTE> pixels(static_cast<std::size_t>(kSide) * kSide * 4);
        std::vector<png_bytep> rows(kSide);
        for (DWORD y = 0; y < kSide; ++y) rows[y] = pixels.data() + static_cast<std::size_t>(y) * kSide * 4;
        MemorySource source{file.data(), file.size(), 0};
        if (!LibpngDecode(&source, rows.data())) {
            state.SkipWithError("libpng failed");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
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
