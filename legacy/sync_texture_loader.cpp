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
    texture->DescribeLoad(request->load);
    if (!PrepareBitmapLoad(request->load, callbacks_)) {
        request->failedState = kReadFailed;
    } else if (!DecodeBitmapLoad(request->load)) {
        request->failedState = kDecodeFailed;
    }
    return request.release();
}

bool CSyncTextureLoader::Poll(CD3DTexture* texture, CTextureLoad* load) {
    std::unique_ptr<CTextureLoad> done(load);
    const bitmap_load_t& record = done->load;
    // A file that fails as it did before was logged then.
    if (texture->FinishLoad(record) == CD3DTexture::LoadEnd::kFailed) {
        WriteLog(u"invalid texture file.[%s] state=%d", texture->GetName(),
                 done->failedState != 0 ? done->failedState : kDecodeFailed);
        if (record.failure[0] != '\0')
            WriteLog(u"CTexMgr: texture load failed.[%s] %hs", texture->GetName(), record.failure);
    }
    return true;
}
