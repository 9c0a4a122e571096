#pragma once
// Helpers shared by the image tests.
#include <array>
#include <vector>

#include "image/raster.h"

namespace lumi::test {

// A 24-bit image of one grey level per pixel, given bottom row first.
inline CRaster GrayImage(DWORD width, DWORD height, const std::vector<BYTE>& levels) {
    CRaster image(width, height, 24, 0);
    for (DWORD y = 0; y < height; ++y)
        for (DWORD x = 0; x < width; ++x) {
            const BYTE v = levels[y * width + x];
            image.SetPixelColor(static_cast<LONG>(x), static_cast<LONG>(y), RGBQUAD{v, v, v, 0});
        }
    return image;
}

// The selection box as left, top, right, bottom.
inline std::array<LONG, 4> Box(const CRaster& image) {
    const RECT r = image.GetSelectionBox();
    return {r.left, r.top, r.right, r.bottom};
}

// Gives tests the frame array that only decoders fill: attaches `count` new frames of the
// given size, each filled with its own index.
class FramedRaster : public CRaster {
public:
    using CRaster::CRaster;

    void AttachFrames(int count, DWORD width, DWORD height) {
        DestroyFrames();
        frames = new CRaster*[count];
        info.frame_count = count;
        for (int i = 0; i < count; ++i) {
            frames[i] = new CRaster(width, height, 8, kRasterTypeGif);
            frames[i]->Clear(static_cast<BYTE>(i + 1));
        }
    }
};

}  // namespace lumi::test
