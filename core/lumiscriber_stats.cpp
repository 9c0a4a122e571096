// CLumiscriberCommon: the frame statistics, the sizing of the shared dynamic buffers and the small
// settings of the frame loop, alike in both builds.
#include "core/build_variant.h"
#include "core/lumiscriber.h"
#include "draw/d3d_buffers.h"
#include "draw/tex_mgr.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/time.h"

namespace {

constexpr DWORD kLostOrInactiveSleepMs = 25;

// A buffer is made anew, `kGrowth` times the frame's need, once the need passes the share of
// its size that `k...Share` names (1/2 of the vertex buffer and 1/4 of the index buffer in the
// current build; 1/3 of either in the legacy one).
constexpr std::uint64_t kGrowth = lumi::kLegacy ? 3 : 4;
constexpr std::uint64_t kVertexShare = lumi::kLegacy ? 3 : 2;
constexpr std::uint64_t kIndexShare = lumi::kLegacy ? 3 : 4;

}  // namespace

bool CLumiscriberCommon::GrowDynamicBuffers(std::uint32_t vertexNeed, std::uint32_t indexNeed) {
    if (vertexNeed == 0) return true;
    if (!vertexBuffer_ || !indexBuffer_) return false;
    if (vertexNeed * kVertexShare > vertexBuffer_->GetSize()) {
        vertexBuffer_->Release();
        if (!CreateBufferWithRetry(true, static_cast<std::uint32_t>(vertexNeed * kGrowth))) return false;
    }
    if (indexNeed * kIndexShare > indexBuffer_->GetSize()) {
        indexBuffer_->Release();
        if (!CreateBufferWithRetry(false, static_cast<std::uint32_t>(indexNeed * kGrowth))) return false;
    }
    return true;
}

bool CLumiscriberCommon::CreateBufferWithRetry(bool vertex, std::uint32_t bytes) {
    auto create = [&]() { return vertex ? vertexBuffer_->Create(bytes) : indexBuffer_->Create(bytes); };
    HRESULT hr = create();
    if (hr == D3DERR_OUTOFVIDEOMEMORY && texMgr_ && texMgr_->EvictIdleTextures()) hr = create();
    return SUCCEEDED(hr);
}

void CLumiscriberCommon::WaitForLoadsWhenAsked() {
    if (!Renderer().IsSyncLoading() && !loadWaitRequested_) return;
    if (texMgr_) texMgr_->WaitForResourceLoader();
    loadWaitRequested_ = false;
}

void CLumiscriberCommon::SleepWhenIdle() {
    if (deviceLost_ || !IsActive()) Sleep(kLostOrInactiveSleepMs);
}

void CLumiscriberCommon::UpdateFrameStats() {
    ++framesInSample_;
    ++emitterFrameId_;
    const std::uint32_t now = TimeGet_S();
    const std::uint32_t elapsed = now - sampleStartMs_;
    if (elapsed < kSampleIntervalMs) return;
    const float fps =
        static_cast<float>(1000.0 / (static_cast<double>(elapsed) / static_cast<double>(framesInSample_)));
    lastFps_ = fps;
    frameCount_ += framesInSample_;
    runningTimeMs_ += elapsed;
    sampleStartMs_ = now;
    framesInSample_ = 0;
    if (stats_.MinFps == 0.0f || stats_.MinFps > fps) stats_.MinFps = fps;
    if (fps > stats_.MaxFps) stats_.MaxFps = fps;
}

float CLumiscriberCommon::GetFPS() { return lastFps_; }

STRU_RENDER_STATS* CLumiscriberCommon::GetStatistics() {
    if (texMgr_) {
        STRU_TEX_STATS* block = texMgr_->GetStats();
        stats_.TexStats = block;
        if (block->FrameCount > 0) {
            const auto count = block->FrameCount;
            for (int i = 0; i < 6; ++i) {
                block->IntAverages[i] = static_cast<std::int32_t>(block->IntSums[i] / static_cast<std::int64_t>(count));
            }
            for (int i = 0; i < 4; ++i) block->FloatAverages[i] = block->FloatSums[i] / static_cast<float>(count);
        }
    }
    return &stats_;
}

void CLumiscriberCommon::SetActive(bool active) {
    if (active_ != active) active_ = active;
}

bool CLumiscriberCommon::IsActive() { return active_; }

void CLumiscriberCommon::RequestLoadWait() { loadWaitRequested_ = true; }

void CLumiscriber::SetSyncLoading(bool on) { syncLoading_ = on; }

bool CLumiscriber::IsSyncLoading() { return syncLoading_; }
