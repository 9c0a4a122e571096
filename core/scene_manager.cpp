#include "core/scene_manager.h"

#include "core/camera.h"
#include "core/event_log.h"
#include "core/exception.h"
#include "core/render_target_host.h"
#include "core/viewport.h"
#include "draw/layer_map.h"

namespace {

std::uint32_t PackChannel(float value) {
    if (value >= 1.0f) return 255;
    if (value <= 0.0f) return 0;
    return static_cast<std::uint32_t>(value * 255.0f + 0.5f);
}

}  // namespace

CSceneManager::CSceneManager() = default;

CSceneManager::~CSceneManager() = default;

CCamera* CSceneManager::CreateCamera(const std::string& name) {
    if (cameras_.count(name) != 0) throw lumi::Exception("named camera already exists.");
    auto camera = std::make_unique<CCamera>(name, this);
    CCamera* result = camera.get();
    cameras_.emplace(name, std::move(camera));
    return result;
}

CCamera* CSceneManager::GetCamera(const std::string& name) const {
    const auto it = cameras_.find(name);
    return it != cameras_.end() ? it->second.get() : nullptr;
}

void CSceneManager::SetRenderer(CLumiscriber* renderer) {
    ownedHost_ = renderer != nullptr ? MakeRendererHost(renderer) : nullptr;
    host_ = ownedHost_.get();
}

void CSceneManager::SetHost(CRenderTargetHost* host) {
    ownedHost_.reset();
    host_ = host;
}

CLumiscriber* CSceneManager::GetRenderer() const { return host_ != nullptr ? host_->GetRenderer() : nullptr; }

void CSceneManager::SetCurrentViewport(viewport_t* viewport) {
    if (viewport == nullptr) return;
    currentViewport_ = viewport;
    if (host_ != nullptr) host_->ApplyViewport(viewport);
}

void CSceneManager::ForgetViewportsOf(const CRenderTarget* target) {
    if (currentViewport_ != nullptr && currentViewport_->target == target) {
        currentViewport_ = nullptr;
        currentCamera_ = nullptr;
    }
}

std::uint32_t CSceneManager::PackClearColor(const float rgba[4]) {
    return (PackChannel(rgba[3]) << 24) | (PackChannel(rgba[0]) << 16) | (PackChannel(rgba[1]) << 8) |
           PackChannel(rgba[2]);
}

void CSceneManager::RenderScene(CCamera* camera, viewport_t* viewport, bool /*flag*/) {
    // After a loss the dynamic buffers are gone: flushing into them would throw out of the
    // host's EndScene. The renderer draws again once the device is reset.
    if (host_ == nullptr || host_->IsDeviceLost()) return;
    IDirect3DDevice9* device = host_->GetDevice();
    if (device == nullptr) return;

    currentCamera_ = camera;
    currentViewport_ = viewport;
    if (viewport == nullptr) return;
    host_->ApplyViewport(viewport);
    // The device refuses an empty viewport and keeps the previous one, so clearing would hit
    // another viewport's pixels, and the commands have no clip-space factors: nothing to draw.
    if (!viewport->HasPixels()) return;

    if (viewport->clearEnabled != 0) {
        device->Clear(0, nullptr, static_cast<DWORD>(viewport->clearFlags), PackClearColor(viewport->clearColor),
                      1.0f, 0);
    }
    if (FAILED(device->BeginScene())) WriteLog(u"failed BeginScene");

    viewport->GetLayers()->Flush(viewport);

    const HRESULT hr = device->EndScene();
    if (hr == D3DERR_DEVICELOST) {
        if (!host_->IsDeviceLost()) host_->EnterLostState();
    } else if (FAILED(hr)) {
        WriteLog(u"Failed EndScene.");
    }
}
