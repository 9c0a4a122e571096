// Fuzzes the JPEG decoder with the decoder option bits, scale and quality taken from the
// first two bytes. A decoded image must be consistent, encode again (with its EXIF data when
// it had some) and decode from what was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/raster.h"
#include "image/raster_jpg.h"
#include "image/raster_mem_file.h"

namespace {

constexpr std::uint64_t kMaxPixels = 1 << 20;  // keeps each run quick; bigger headers are skipped

// 0x80 grey, 0x100 quantise, 0x200 dither, 0x400 one pass, 0x800 no fancy upsampling.
DWORD DecoderOptions(BYTE selector) { return (static_cast<DWORD>(selector) & 0x1F) << 7; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const BYTE selector = data[0], tuning = data[1];
    std::vector<BYTE> bytes(data + 2, data + size);

    CRaster probe;
    probe.RequestHeaderOnly();
    if (!probe.Decode(bytes.data(), static_cast<DWORD>(bytes.size()), kRasterTypeJpg)) return 0;
    if (std::uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels) return 0;

    CRasterJPG codec;
    codec.SetCodecOption(DecoderOptions(selector));
    codec.SetJpegScale(tuning & 0x0F);
    codec.SetQuality(static_cast<float>(2 + (tuning >> 4) * 16));  // colours of a quantised decode
    codec.SetDitherMode(selector >> 5);
    CRasterMemFile input(bytes.data(), static_cast<unsigned>(bytes.size()));
    if (!codec.Decode(&input)) return 0;

    if (codec.GetSize() != 40 + codec.GetPaletteSize() + std::size_t{codec.GetRowStride()} * codec.GetHeight())
        std::abort();
    const LONG w = static_cast<LONG>(codec.GetWidth()), h = static_cast<LONG>(codec.GetHeight());
    volatile unsigned sink = codec.GetPixelColor(w - 1, h - 1).rgbRed + codec.GetPixelColor(0, 0).rgbBlue;
    (void)sink;

    if (codec.IsIndexed() && !codec.IsGrayScale()) return 0;  // not a JPEG the writer takes
    codec.SetCodecOption(0);
    CRasterMemFile output;
    output.Open();
    if (!codec.Encode(&output)) std::abort();
    CRaster again;
    if (!again.Decode(output.GetBuffer(), static_cast<DWORD>(output.Tell()), kRasterTypeJpg)) std::abort();
    if (again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight()) std::abort();
    return 0;
}
