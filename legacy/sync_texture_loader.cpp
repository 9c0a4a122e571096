#include "legacy/sync_texture_loader.h"

#include <memory>

#include "core/event_log.h"
#include "draw/d3d_texture.h"

namespace {

constexpr std::int32_t kReadFailed = 3;
constexpr std::int32_t kDecodeFailed = 4;

}  // namespace

CTextureLoad* CSyncTextureLoader::Request(CD3DTexture* texture) {
    auto request = std::make_unique<CTextureLoad>();
    SetBitmapSource(request->load, texture->GetName(), texture->GetFormat());
    if (!PrepareBitmapLoad(request->load, callbacks_)) {
        request->failedState = kReadFailed;
    } else if (!DecodeBitmapLoad(request->load)) {
        request->failedState = kDecodeFailed;
    }
    return request.release();
}

bool CSyncTextureLoader::Poll(CD3DTexture* texture, CTextureLoad* load) {
    std::unique_ptr<CTextureLoad> done(load);
    const bitmap_load_t& image = done->load;
    const bool hasImage = done->failedState == 0 && ((image.width > 0 && image.height > 0) || image.dds != 0);
    if (hasImage && texture->CopyFromBitmap(image)) return true;
    if (failedFiles_.insert(texture->GetName()).second) {
        WriteLog(u"invalid texture file.[%s] state=%d", texture->GetName(),
                 done->failedState != 0 ? done->failedState : kDecodeFailed);
    }
    return true;
}
