#include "core/render_target.h"

#include "core/camera.h"
#include "core/exception.h"
#include "core/render_target_host.h"
#include "core/scene_manager.h"
#include "core/viewport.h"

CRenderTarget::CRenderTarget(CRenderTargetHost* host) : host_(host) {}

CRenderTarget::~CRenderTarget() { viewports_.clear(); }

bool CRenderTarget::SaveToFile(const WCHAR*) { return false; }

bool CRenderTarget::SaveToFileEx(const WCHAR*, std::int32_t) { return false; }

void CRenderTarget::SetScale(float scale) {
    if (scale == scale_) return;
    scale_ = scale;
    for (auto& entry : viewports_) entry.second->scale = scale;
}

void CRenderTarget::SetFilters(std::int32_t magFilter, std::int32_t minFilter, std::int32_t third) {
    magFilter_ = magFilter;
    minFilter_ = minFilter;
    thirdFilter_ = third;
}

bool CRenderTarget::Init(const std::string& name, std::uint16_t width, std::uint16_t height) {
    name_ = name;
    width_ = width;
    height_ = height;
    return true;
}

void CRenderTarget::GetSize(std::uint16_t* width, std::uint16_t* height, std::int32_t* third) const {
    *width = width_;
    *height = height_;
    *third = thirdSize_;
}

bool CRenderTarget::IsRendererLost() const { return host_ != nullptr && host_->IsDeviceLost(); }

void CRenderTarget::UnbindFromDevice(IDirect3DSurface9* color, IDirect3DSurface9* depth) const {
    IDirect3DDevice9* device = host_ != nullptr ? host_->GetDevice() : nullptr;
    if (device == nullptr) return;
    IDirect3DSurface9* bound = nullptr;
    if (color != nullptr && SUCCEEDED(device->GetRenderTarget(0, &bound)) && bound != nullptr) {
        const bool ours = bound == color;
        bound->Release();
        IDirect3DSurface9* own = nullptr;
        if (ours && SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &own))) {
            device->SetRenderTarget(0, own);
            own->Release();
        }
    }
    bound = nullptr;
    if (depth != nullptr && SUCCEEDED(device->GetDepthStencilSurface(&bound)) && bound != nullptr) {
        const bool ours = bound == depth;
        bound->Release();
        if (ours) device->SetDepthStencilSurface(nullptr);
    }
}

void CRenderTarget::Render(bool present) {
    if (IsRendererLost()) return;
    RenderViewports();
    if (present) Present(true);
}

void CRenderTarget::Present(bool) {}

viewport_t* CRenderTarget::AddViewport(CCamera* camera, std::uint16_t zOrder, float x, float y, float w, float h) {
    if (viewports_.count(zOrder) != 0) throw lumi::Exception("viewport exist.");
    auto viewport = std::make_unique<viewport_t>(this, zOrder, camera, x, y, w, h);
    viewport_t* result = viewport.get();
    viewports_.emplace(zOrder, std::move(viewport));
    OnViewportAdded(result);
    return result;
}

std::uint16_t CRenderTarget::GetViewportCount() const { return static_cast<std::uint16_t>(viewports_.size()); }

viewport_t* CRenderTarget::GetViewport(std::uint16_t zOrder) const {
    const auto it = viewports_.find(zOrder);
    return it != viewports_.end() ? it->second.get() : nullptr;
}

void CRenderTarget::RemoveAllViewports() {
    for (auto& entry : viewports_) OnViewportRemoved(entry.second.get());
    viewports_.clear();
}

void CRenderTarget::GetAttribute(const char*, void**) { throw lumi::Exception("Attribute not found."); }

void CRenderTarget::OnViewportAdded(viewport_t* viewport) { viewport->scale = scale_; }

void CRenderTarget::RenderViewports() {
    OnBeginRender();
    for (auto& entry : viewports_) {
        // A loss reported by one viewport ends the target's drawing for this frame.
        if (IsRendererLost()) break;
        viewport_t* viewport = entry.second.get();
        OnBeginViewport(viewport);
        if (viewport->camera != nullptr && viewport->camera->GetSceneManager() != nullptr) {
            viewport->camera->GetSceneManager()->RenderScene(viewport->camera, viewport, viewport->renderFlag != 0);
        }
        OnEndViewport(viewport);
    }
    OnEndRender();
}

void CRenderTarget::ResetViewportLayers() {
    for (auto& entry : viewports_) entry.second->ResetLayers();
}

void CRenderTarget::GetDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) {
    std::uint32_t vertexTotal = 0;
    std::uint32_t indexTotal = 0;
    for (auto& entry : viewports_) {
        std::uint32_t vertex = 0;
        std::uint32_t index = 0;
        entry.second->GetDrawStats(&vertex, &index);
        vertexTotal += vertex;
        indexTotal += index;
    }
    statVertexBytes_ = vertexTotal;
    statIndexBytes_ = indexTotal;
    *vertexBytes = vertexTotal;
    *indexBytes = indexTotal;
}
