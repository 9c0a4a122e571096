// Fuzzes the GIF decoder. The first byte picks the settings (keep every frame, the path
// through the format dispatcher, the compressor of the re-encoding); the rest is the file.
// Whatever decodes must be a consistent image, and a single palette image must come back
// unchanged through the codec's own writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/raster_gif.h"
#include "image/raster_mem_file.h"

namespace {

constexpr std::uint64_t kMaxScreenPixels = 1u << 18;  // keeps every input fast to compose

void Check(bool condition) {
    if (!condition) std::abort();
}

void Exercise(const CRaster& image) {
    Check(image.IsValid());
    Check(image.GetSize() == 40 + image.GetPaletteSize() + image.GetRowStride() * image.GetHeight());
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    unsigned long sum = 0;
    for (LONG y = -1; y <= h && y < 48; ++y)
        for (LONG x = -1; x <= w && x < 48; ++x)
            sum += image.GetPixelColor(x, y, true).rgbGreen + image.IsTransparent(x, y) + image.GetAlphaAt(x, y);
    (void)sum;
}

bool SamePixels(const CRaster& a, const CRaster& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    for (LONG y = 0; y < static_cast<LONG>(a.GetHeight()); ++y)
        for (LONG x = 0; x < static_cast<LONG>(a.GetWidth()); ++x) {
            const RGBQUAD p = a.GetPixelColor(x, y, false), q = b.GetPixelColor(x, y, false);
            if (p.rgbRed != q.rgbRed || p.rgbGreen != q.rgbGreen || p.rgbBlue != q.rgbBlue) return false;
            if (a.IsTransparent(x, y) != b.IsTransparent(x, y)) return false;
        }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const BYTE settings = data[0];
    BYTE* file = const_cast<BYTE*>(data + 1);
    const unsigned length = static_cast<unsigned>(size - 1);

    // The header first, as a loader would, so huge screens are refused before any work.
    CRasterGIF probe;
    probe.RequestHeaderOnly();
    CRasterMemFile header(file, length);
    if (!probe.Decode(&header)) return 0;
    const std::uint64_t pixels = static_cast<std::uint64_t>(probe.GetWidth()) * probe.GetHeight();
    if (pixels > kMaxScreenPixels) return 0;

    const bool keepFrames = settings & 1;
    CRasterGIF gif;
    gif.SetLoadAllFrames(keepFrames);
    bool ok = false;
    if (settings & 2) {
        CRaster viaDispatch;
        viaDispatch.SetLoadAllFrames(keepFrames);
        ok = viaDispatch.Decode(file, length, (settings & 4) ? kRasterTypeGif : kRasterTypeNone);
        if (ok) Check(viaDispatch.GetType() == kRasterTypeGif || (settings & 4) == 0);
        if (ok && viaDispatch.GetType() == kRasterTypeGif) Exercise(viaDispatch);
    }
    CRasterMemFile stream(file, length);
    if (!gif.Decode(&stream)) return 0;
    // A 0 x 0 screen takes the first image's size, which the header did not show.
    if (static_cast<std::uint64_t>(gif.GetWidth()) * gif.GetHeight() > kMaxScreenPixels) return 0;
    Exercise(gif);
    if (keepFrames)
        for (LONG i = 0; i < gif.GetFrameCount(); ++i) {
            const CRaster* frame = gif.GetFrame(i);
            Check(frame != nullptr);
            Exercise(*frame);
        }

    // Round trip of a single palette image through the codec's own writer.
    if (keepFrames || !gif.IsIndexed()) return 0;
    gif.SetCodecOption((settings >> 3) % 3);
    CRasterMemFile out;
    out.Open();
    Check(gif.Encode(&out));
    CRasterMemFile in(out.GetBuffer(), static_cast<unsigned>(out.Size()));
    CRasterGIF back;
    Check(back.Decode(&in));
    Check(SamePixels(gif, back));
    return 0;
}
