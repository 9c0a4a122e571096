// CD3DBitmap and CBitmapListener over the resource framework. The legacy build has no such
// framework; its own load record (legacy/d3d_bitmap_legacy.cpp) replaces this file there.
#include "draw/d3d_bitmap.h"

#include "draw/d3d_texture.h"
#include "platform/engine/resource_loader.h"

CD3DBitmap::CD3DBitmap(CD3DTexture* texture, const STRU_FILE_CALLBACKS* callbacks) : callbacks_(callbacks) {
    SetTexture(texture);
}

CD3DBitmap::~CD3DBitmap() = default;

void CD3DBitmap::SetTexture(CD3DTexture* texture) {
    texture_ = texture;
    if (texture != nullptr) {
        texture->DescribeLoad(load_);
    } else {
        SetBitmapSource(load_, nullptr, D3DFMT_UNKNOWN);
        load_.limits = image_limits_t{};
        load_.failedFingerprint = 0;
    }
}

void CD3DBitmap::SetSource(const WCHAR* fileName, D3DFORMAT format) { SetBitmapSource(load_, fileName, format); }

void CD3DBitmap::SetPriority(std::uint8_t priority) {
    priorityLock_.Lock();
    priority_ = priority;
    priorityLock_.Unlock();
}

std::uint8_t CD3DBitmap::GetPriority() {
    priorityLock_.Lock();
    const std::uint8_t priority = priority_;
    priorityLock_.Unlock();
    return priority;
}

bool CD3DBitmap::PrepareImpl() {
    // A bitmap read again must not hand out the frames of its earlier file.
    ClearBitmapImage(load_);
    return PrepareBitmapLoad(load_, callbacks_);
}

bool CD3DBitmap::DecodeImpl() { return DecodeBitmapLoad(load_); }

void CBitmapListener::OnLoadingComplete(CResource*) {}

void CBitmapListener::OnPreparingComplete(CResource* resource) {
    CResourceLoader::GetSingleton().DecodeResource(resource);
}
