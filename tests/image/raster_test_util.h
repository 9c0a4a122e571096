#pragma once
// Helpers shared by the image tests.
#include "image/raster.h"

namespace lumi::test {

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
