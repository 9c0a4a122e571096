// Fuzzes format detection across every codec: CRaster::Decode with type 0 (and the typed
// attempt the first byte picks), and ProbeFormat. A header-only run must report the size a
// decode makes; a failed decode must name its reason and leave the caller's image as it was.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/raster.h"

namespace {

constexpr std::uint64_t kMaxPixels = 1u << 18;  // larger headers are skipped: this is about detection
constexpr DWORD kTypes[] = {kRasterTypeNone, kRasterTypeBmp, kRasterTypeGif, kRasterTypeJpg,
                            kRasterTypePng,  kRasterTypeTga, kRasterTypeJna};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// The caller's image before a decode: a small picture that a failure must leave alone.
void MakeCallerImage(CRaster& image) {
    image.Create(3, 2, 8, kRasterTypeGif);
    image.SetPixelIndex(1, 1, 42);
}

bool StillTheCallersImage(const CRaster& image) {
    return image.IsValid() && image.GetWidth() == 3 && image.GetHeight() == 2 && image.GetType() == kRasterTypeGif &&
           image.GetPixelIndex(1, 1) == 42;
}

void DecodeAs(BYTE* bytes, DWORD size, DWORD type) {
    CRaster probe;
    probe.RequestHeaderOnly();
    const bool known = probe.Decode(bytes, size, type);
    if (known && std::uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels) return;

    CRaster image;
    MakeCallerImage(image);
    image.SetLoadAllFrames(true);
    image.SetMaxKeptFrames(4);
    if (!image.Decode(bytes, size, type)) {
        Check(image.GetLastError()[0] != '\0');
        Check(StillTheCallersImage(image));
        return;
    }
    Check(image.IsValid() && image.GetType() != kRasterTypeNone);
    if (type != kRasterTypeNone) Check(image.GetType() == type);
    // What the header said is what came out (GIF screens of 0 x 0 included).
    if (known && probe.GetType() == image.GetType())
        Check(probe.GetWidth() == image.GetWidth() && probe.GetHeight() == image.GetHeight());
    Check(image.GetFrameCount() <= 4 || image.GetFrame(0) == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    BYTE* bytes = const_cast<BYTE*>(data + 1);
    const DWORD length = static_cast<DWORD>(size - 1);
    DecodeAs(bytes, length, kRasterTypeNone);
    DecodeAs(bytes, length, kTypes[data[0] % 7]);

    CRaster probe;
    const bool matched = probe.ProbeFormat(bytes, length, kTypes[data[0] % 7]);
    if (matched) Check(probe.GetType() == kTypes[data[0] % 7]);
    Check(probe.GetEscape() == 0);
    return 0;
}
