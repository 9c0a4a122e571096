#include "image/format_table.h"

#include <cstring>

#include "image/raster_bmp.h"
#include "image/raster_gif.h"
#include "image/raster_jna.h"
#include "image/raster_jpg.h"
#include "image/raster_png.h"
#include "image/raster_tga.h"

namespace lumi::image {

namespace {

bool StartsWith(const BYTE* head, std::size_t size, const char* signature, std::size_t length) {
    return size >= length && std::memcmp(head, signature, length) == 0;
}

// TGA has no signature: a header whose type, sizes and depth the decoder accepts counts.
bool LooksLikeTga(const BYTE* h, std::size_t size) {
    if (size < 18) return false;
    const BYTE type = h[2];
    const bool knownType = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    const BYTE depth = h[16];
    const bool knownDepth = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    return h[1] <= 1 && knownType && knownDepth && (h[12] | h[13]) != 0 && (h[14] | h[15]) != 0;
}

template <class T>
CodecEntry Entry(DWORD type, bool (*recognise)(const BYTE*, std::size_t)) {
    CodecEntry e = MakeCodecEntry<T>(type);
    e.recognise = recognise;
    return e;
}

// One entry per format.
const CodecEntry kCodecs[] = {
    Entry<CRasterBMP>(kRasterTypeBmp, [](const BYTE* h, std::size_t n) { return StartsWith(h, n, "BM", 2); }),
    [] {
        CodecEntry gif =
            Entry<CRasterGIF>(kRasterTypeGif, [](const BYTE* h, std::size_t n) { return StartsWith(h, n, "GIF8", 4); });
        gif.encode_animation = [](CRaster& codec, CRasterFile* file, CRaster** images, int count) {
            return static_cast<CRasterGIF&>(codec).Encode(file, images, count, false);
        };
        return gif;
    }(),
    Entry<CRasterJPG>(kRasterTypeJpg, [](const BYTE* h, std::size_t n) { return StartsWith(h, n, "\xFF\xD8", 2); }),
    Entry<CRasterPNG>(kRasterTypePng,
                      [](const BYTE* h, std::size_t n) { return StartsWith(h, n, "\x89PNG\r\n\x1A\n", 8); }),
    Entry<CRasterTGA>(kRasterTypeTga, LooksLikeTga),
    Entry<CRasterJNA>(kRasterTypeJna, [](const BYTE* h, std::size_t n) { return StartsWith(h, n, "\0ANJ", 4); }),
};

}  // namespace

std::span<const CodecEntry> DefaultCodecs() { return kCodecs; }

}  // namespace lumi::image
