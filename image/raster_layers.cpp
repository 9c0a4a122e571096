// CRaster: layer and frame images.
#include <new>

#include "image/raster.h"

bool CRaster::AddLayer(LONG position) {
    // A view's array belongs to its owner.
    if (info.shared_owner) return false;
    const LONG count = layers ? info.layer_count : 0;
    if (position < 0 || position > count) position = count;
    CRaster** grown = new (std::nothrow) CRaster*[static_cast<std::size_t>(count) + 1];
    if (!grown) return false;
    CRaster* layer = new (std::nothrow) CRaster(0);
    if (!layer) {
        delete[] grown;
        return false;
    }
    layer->info.parent = this;
    for (LONG i = 0, j = 0; i <= count; ++i) grown[i] = i == position ? layer : layers[j++];
    delete[] layers;
    layers = grown;
    info.layer_count = count + 1;
    return true;
}

bool CRaster::DeleteLayer(LONG position) {
    if (info.shared_owner || !layers || info.layer_count <= 0) return false;
    const LONG count = info.layer_count;
    if (position < 0) position = count - 1;
    if (position >= count) return false;
    delete layers[position];
    for (LONG i = position; i + 1 < count; ++i) layers[i] = layers[i + 1];
    info.layer_count = count - 1;
    if (info.layer_count == 0) {
        delete[] layers;
        layers = nullptr;
    }
    return true;
}

CRaster* CRaster::GetLayer(LONG index) const {
    if (!layers || index < 0 || index >= info.layer_count) return nullptr;
    return layers[index];
}

CRaster* CRaster::GetFrame(LONG index) const {
    if (!frames || info.frame_count <= 0) return nullptr;
    if (index == -1) index = info.frame_count - 1;
    if (index < 0 || index >= info.frame_count) return nullptr;
    return frames[index];
}
