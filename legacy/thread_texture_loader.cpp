#include "legacy/thread_texture_loader.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/tex_mgr.h"
#include "platform/win32/time.h"

CThreadTextureLoader::CThreadTextureLoader(const STRU_FILE_CALLBACKS* background, std::function<bool()> synchronous,
                                           loader_steps_t steps)
    : background_(background), synchronous_(std::move(synchronous)), steps_(std::move(steps)) {
    threaded_ = StartLoaderThreads(&steps_);
    if (!threaded_) WriteLog(u"CTexMgr: loading threads not started, textures load in the host thread.");
}

CThreadTextureLoader::~CThreadTextureLoader() {
    if (threaded_) {
        StopLoaderThreads();
        // No thread runs now: what is left on the queues never ends by itself. The textures
        // went first, so every such record is parked and deleted below.
        for (CLoaderThread& thread : g_LoaderThreads) {
            thread.Drain([this](CD3DBitmap* record) {
                record->SetState(CD3DBitmap::kReadFailed);
                pendingLoadCount_.fetch_sub(1);
            });
        }
    }
    for (CTextureLoad* load : parked_) delete load;
    parked_.clear();
}

CTextureLoad* CThreadTextureLoader::RequestTextureLoad(CD3DTexture* texture) {
    auto* load = new CTextureLoad(texture->GetName(), texture->GetFormat(), background_);
    // The threads hold the file and its image to what the texture can take.
    texture->DescribeLoad(load->GetLoad());
    load->SetState(CD3DBitmap::kQueued);
    const bool synchronous = synchronous_ && synchronous_();
    load->SetPriority(synchronous || texture->IsPooled() || texture->GetPriority() > 2);
    EnqueueBitmapLoad(load, &pendingLoadCount_, steps_);
    return load;
}

bool CThreadTextureLoader::IsLoading(CTextureLoad* load) {
    if (load == nullptr || std::find(parked_.begin(), parked_.end(), load) != parked_.end()) return false;
    return load->IsQueued();
}

bool CThreadTextureLoader::PollTextureLoad(CD3DTexture* texture, CTextureLoad* load) {
    const std::int32_t state = load->GetState();
    if (state == CD3DBitmap::kQueued) return false;
    bitmap_load_t& record = load->GetLoad();
    if (state != CD3DBitmap::kDecoded && record.failure[0] == '\0') {
        // A step that stopped without a reason (it threw) still fails the load.
        std::snprintf(record.failure, sizeof(record.failure), "%s",
                      state == CD3DBitmap::kReadFailed ? "the read failed" : "the decode failed");
    }
    // Any failure makes the texture invalid. An image the texture cannot take is logged by
    // the copy; a file that could not be read or decoded here, with its reason.
    if (texture->FinishLoad(record) == CD3DTexture::LoadEnd::kFailed && state != CD3DBitmap::kDecoded) {
        WriteLog(u"invalid texture file.[%s] state=%d", texture->GetName(), state);
        WriteLog(u"CTexMgr: texture load failed.[%s] %hs", texture->GetName(), record.failure);
    }
    ReleaseLoadRecord(load);
    return true;
}

void CThreadTextureLoader::ReleaseLoadRecord(CTextureLoad* load) {
    if (load == nullptr || std::find(parked_.begin(), parked_.end(), load) != parked_.end()) return;
    load->SetCancelled();
    if (load->IsQueued()) {
        parked_.push_back(load);
        return;
    }
    delete load;
}

void CThreadTextureLoader::WaitAll() {
    while (pendingLoadCount_.load() > 0) Sleep(kWaitMs);
    Reap();
}

void CThreadTextureLoader::Reap() {
    const auto ended = std::stable_partition(parked_.begin(), parked_.end(),
                                             [](CTextureLoad* load) { return load->IsQueued(); });
    for (auto at = ended; at != parked_.end(); ++at) delete *at;
    parked_.erase(ended, parked_.end());
}

// The texture manager of the legacy build loads through this loader; its threads start first.
void CTexMgr::StartLoader() {
    if (renderer_ == nullptr) return;
    CLumiscriber* owner = renderer_;
    auto loader = std::make_unique<CThreadTextureLoader>(renderer_->GetBackgroundFileCallbacks(),
                                                         [owner] { return owner->IsSyncLoading(); });
    threadLoader_ = loader.get();
    loader_ = std::move(loader);
}
