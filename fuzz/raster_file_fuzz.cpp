// Fuzzes CRaster::Load and the FILE* entry points: the input is written to a file and loaded
// by name with the type the first byte picks (a typed attempt, then detection), and decoded
// from an open stream. Both must agree, and a failure must name its reason.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "image/raster.h"
#include "image/raster_gif.h"
#include "image/raster_jpg.h"
#include "platform/win32/text.h"

namespace {

constexpr std::uint64_t kMaxPixels = 1u << 18;
constexpr DWORD kTypes[] = {kRasterTypeNone, kRasterTypeBmp, kRasterTypeGif, kRasterTypeJpg,
                            kRasterTypePng,  kRasterTypeTga, kRasterTypeJna};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    const DWORD type = kTypes[data[0] % 7];
    CRaster probe;
    probe.RequestHeaderOnly();
    if (probe.Decode(const_cast<BYTE*>(data + 1), static_cast<DWORD>(size - 1), kRasterTypeNone) &&
        std::uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels)
        return 0;

    const char* name = "raster-file-fuzz";
    FILE* out = std::fopen(name, "wb");
    if (out == nullptr) return 0;
    std::fwrite(data + 1, 1, size - 1, out);
    std::fclose(out);

    CRaster loaded;
    const bool byName = loaded.Load(win32::Utf8ToUtf16(name).c_str(), type);
    if (!byName) Check(loaded.GetLastError()[0] != '\0');

    FILE* in = std::fopen(name, "rb");
    if (in == nullptr) return 0;
    CRaster streamed;
    const bool byStream = streamed.Decode(in, kRasterTypeNone);
    if (byStream) {
        // Whatever detection finds, the load by name finds too (its typed attempt falls back
        // to detection); without a type it is the same picture.
        Check(byName);
        if (type == kRasterTypeNone)
            Check(loaded.GetType() == streamed.GetType() && loaded.GetWidth() == streamed.GetWidth() &&
                  loaded.GetHeight() == streamed.GetHeight());
    } else {
        Check(streamed.GetLastError()[0] != '\0');
    }
    // The exported codec entry points on the same stream.
    std::rewind(in);
    CRasterGIF gif;
    if (!gif.Decode(in)) Check(gif.GetLastError()[0] != '\0');
    std::rewind(in);
    CRasterJPG jpg;
    if (!jpg.DecodeExif(in)) Check(jpg.GetLastError()[0] != '\0');
    std::fclose(in);
    return 0;
}
