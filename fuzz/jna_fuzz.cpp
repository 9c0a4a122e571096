// Fuzzes the JNA decoder. A decoded image must write again and read back with the same size
// and exactly the same alpha plane.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/raster.h"
#include "image/raster_jna.h"
#include "image/raster_mem_file.h"

namespace {
constexpr std::uint64_t kMaxPixels = 1 << 20;  // keeps each run quick; bigger headers are skipped
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::vector<BYTE> bytes(data, data + size);

    CRaster probe;
    probe.RequestHeaderOnly();
    if (!probe.Decode(bytes.data(), static_cast<DWORD>(bytes.size()), kRasterTypeJna)) return 0;
    if (std::uint64_t{probe.GetWidth()} * probe.GetHeight() > kMaxPixels) return 0;

    CRasterJNA codec;
    CRasterMemFile input(bytes.data(), static_cast<unsigned>(bytes.size()));
    if (!codec.Decode(&input)) return 0;
    if (codec.GetType() != kRasterTypeJna) std::abort();

    // Sizes libjpeg cannot write come only from files without a colour block.
    if (codec.GetWidth() > 65500 || codec.GetHeight() > 65500) return 0;
    CRasterMemFile output;
    output.Open();
    if (!codec.Encode(&output)) std::abort();
    CRaster again;
    if (!again.Decode(output.GetBuffer(), static_cast<DWORD>(output.Tell()), kRasterTypeJna)) std::abort();
    if (again.GetWidth() != codec.GetWidth() || again.GetHeight() != codec.GetHeight()) std::abort();
    if (again.HasAlpha() != codec.HasAlpha()) std::abort();
    if (codec.HasAlpha() &&
        std::memcmp(again.GetAlphaPointer(0, 0), codec.GetAlphaPointer(0, 0),
                    std::size_t{codec.GetWidth()} * codec.GetHeight()) != 0)
        std::abort();
    return 0;
}
