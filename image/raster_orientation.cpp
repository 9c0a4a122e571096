// CRaster: turning the picture upside down and left-right.
#include <cstdlib>
#include <cstring>

#include "image/raster.h"

bool CRaster::Flip() {
    if (!dib) return false;
    BYTE* scratch = static_cast<BYTE*>(std::malloc(info.row_stride));
    if (!scratch) return false;
    const DWORD h = GetHeight();
    for (DWORD i = 0; i < h / 2; ++i) {
        BYTE* a = info.pixels + static_cast<std::size_t>(i) * info.row_stride;
        BYTE* b = info.pixels + static_cast<std::size_t>(h - 1 - i) * info.row_stride;
        std::memcpy(scratch, a, info.row_stride);
        std::memcpy(a, b, info.row_stride);
        std::memcpy(b, scratch, info.row_stride);
    }
    std::free(scratch);
    FlipAlpha();
    return true;
}

bool CRaster::Mirror() {
    // The result is moved in, which a view (owning nothing) cannot take.
    if (!dib || info.shared_owner) return false;
    CRaster mirrored(info.type);
    mirrored.Copy(*this, false, true, true);
    if (!mirrored.dib) {
        SetLastError(mirrored.GetLastError());
        return false;
    }
    const LONG w = header.biWidth;
    for (LONG y = 0; y < header.biHeight; ++y) {
        const BYTE* src = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
        BYTE* dst = mirrored.info.pixels + static_cast<std::size_t>(y) * info.row_stride;
        switch (header.biBitCount) {
            case 8:
                for (LONG j = 0; j < w; ++j) dst[j] = src[w - 1 - j];
                break;
            case 24:
                for (LONG j = 0; j < w; ++j) std::memcpy(dst + j * 3, src + (w - 1 - j) * 3, 3);
                break;
            default:
                // Sub-byte pixels go one by one so that row padding is never read as a pixel.
                for (LONG j = 0; j < w; ++j) mirrored.WritePixelIndex(j, y, ReadPixelIndex(w - 1 - j, y));
                break;
        }
    }
    mirrored.MirrorAlpha();
    // Layers and frames stay with this image.
    mirrored.layers = layers;
    mirrored.info.layer_count = info.layer_count;
    layers = nullptr;
    info.layer_count = 0;
    return MoveFrom(mirrored, false);
}
