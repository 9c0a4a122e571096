// Texture file loading over the engine's resource framework. The legacy build loads on its
// own threads and does without this file (legacy/thread_texture_loader.cpp).
#include "draw/resource_texture_loader.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/tex_mgr.h"
#include "platform/engine/resource_loader.h"
#include "platform/win32/time.h"

namespace {

constexpr DWORD kLoaderWaitMs = 5;
constexpr DWORD kParkedWaitMs = 15;

}  // namespace

CResourceTextureLoader::CResourceTextureLoader(const STRU_FILE_CALLBACKS* background,
                                               const STRU_FILE_CALLBACKS* foreground,
                                               std::function<bool()> synchronous)
    : background_(background), foreground_(foreground), synchronous_(std::move(synchronous)) {}

CResourceTextureLoader::~CResourceTextureLoader() {
    // Deleting a bitmap the resource loader still holds would hand it freed memory.
    while (!pending_.empty()) {
        CTextureLoad* load = pending_.front();
        while (load->IsLoading()) Sleep(kParkedWaitMs);
        pending_.pop_front();
        delete load;
    }
}

CTextureLoad* CResourceTextureLoader::Request(CD3DTexture* texture) {
    auto* load = new CTextureLoad(texture, background_);
    try {
        load->AddListener(&listener_);
        CResourceLoader& loader = CResourceLoader::GetSingleton();
        if (synchronous_ && synchronous_()) {
            load->SetBackgroundLoaded(false);
            load->SetFileCallbacks(foreground_);
            load->SetLoadState(CResource::LOADSTATE_LOADING);
            loader.PrepareResource(load);
            loader.DecodeResource(load);
        } else {
            load->SetBackgroundLoaded(true);
            load->SetLoadState(CResource::LOADSTATE_LOADING);
            loader.PrepareResource(load);
        }
    } catch (const std::exception& error) {
        // Refused before anything was queued: nothing else holds the bitmap.
        WriteLog(u"CTexMgr: texture load refused.[%s] %hs", texture->GetName(), error.what());
        if (!load->IsLoading()) delete load;
        return nullptr;
    }
    return load;
}

bool CResourceTextureLoader::IsParked(const CTextureLoad* load) const {
    return std::find(pending_.begin(), pending_.end(), load) != pending_.end();
}

bool CResourceTextureLoader::IsLoading(CTextureLoad* load) {
    if (load == nullptr || IsParked(load)) return false;
    return load->IsLoading();
}

bool CResourceTextureLoader::Poll(CD3DTexture* texture, CTextureLoad* load) {
    if (!load->IsLoaded()) return false;
    const bitmap_load_t& record = load->GetLoad();
    // A file that fails as it did before was logged then.
    if (texture->FinishLoad(record) == CD3DTexture::LoadEnd::kFailed) {
        WriteLog(u"CTexMgr: texture load failed.[%s] %hs", texture->GetName(), record.failure);
    }
    delete load;
    return true;
}

void CResourceTextureLoader::Cancel(CTextureLoad* load) {
    if (load == nullptr || IsParked(load)) return;
    if (load->IsLoading()) {
        pending_.push_back(load);
        return;
    }
    delete load;
}

void CResourceTextureLoader::WaitAll() {
    while (CResourceLoader::GetSingleton().HasResourceProcessing()) Sleep(kLoaderWaitMs);
}

void CResourceTextureLoader::Reap() {
    if (pending_.empty() || pending_.front()->IsLoading()) return;
    CTextureLoad* load = pending_.front();
    pending_.pop_front();
    delete load;
}

// The texture manager of the current build loads through this loader.
void CTexMgr::StartLoader() {
    if (renderer_ == nullptr) return;
    CLumiscriber* owner = renderer_;
    auto loader = std::make_unique<CResourceTextureLoader>(renderer_->GetBackgroundFileCallbacks(),
                                                           renderer_->GetForegroundFileCallbacks(),
                                                           [owner] { return owner->IsSyncLoading(); });
    resourceLoader_ = loader.get();
    loader_ = std::move(loader);
}
