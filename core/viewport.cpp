#include "core/viewport.h"

#include "core/camera.h"
#include "core/render_target.h"
#include "core/render_target_host.h"
#include "draw/draw_layer.h"
#include "draw/layer_map.h"

const float viewport_t::kDefaultClearColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};

viewport_t::viewport_t(CRenderTarget* owner, std::int32_t z, CCamera* cam, float fx, float fy, float fw, float fh)
    : camera(cam),
      target(owner),
      x(fx),
      y(fy),
      width(fw),
      height(fh),
      pixelX(0),
      pixelY(0),
      pixelWidth(0),
      pixelHeight(0),
      zOrder(z),
      clearColor{kDefaultClearColor[0], kDefaultClearColor[1], kDefaultClearColor[2], kDefaultClearColor[3]} {
    UpdatePixelRect();
}

viewport_t::~viewport_t() = default;

void viewport_t::UpdatePixelRect() {
    const float targetWidth = target != nullptr ? static_cast<float>(target->GetWidth()) : 0.0f;
    const float targetHeight = target != nullptr ? static_cast<float>(target->GetHeight()) : 0.0f;
    pixelX = static_cast<std::int32_t>(x * targetWidth);
    pixelY = static_cast<std::int32_t>(y * targetHeight);
    pixelWidth = static_cast<std::int32_t>(targetWidth * width);
    pixelHeight = static_cast<std::int32_t>(targetHeight * height);
    // A viewport without pixels is never flushed (see CSceneManager::RenderScene), so its
    // factors only need to stay finite.
    twoOverWidth = pixelWidth != 0 ? 2.0f / static_cast<float>(pixelWidth) : 0.0f;
    twoOverHeight = pixelHeight != 0 ? 2.0f / static_cast<float>(pixelHeight) : 0.0f;
    dirty = 1;
}

void viewport_t::SetCamera(CCamera* newCamera) {
    camera = newCamera;
    UpdatePixelRect();
}

void viewport_t::SetClearFlags(std::int32_t flags) {
    clearFlags = flags;
    clearEnabled = 1;
}

void viewport_t::SetClearColor(float r, float g, float b, float a) {
    clearColor[0] = r;
    clearColor[1] = g;
    clearColor[2] = b;
    clearColor[3] = a;
}

layer_map_t* viewport_t::CreateLayers() {
    layers = std::make_unique<layer_map_t>(camera != nullptr ? camera->GetSceneManager() : nullptr);
    layers->GetDefaultLayer();
    return layers.get();
}

bool viewport_t::AddDrawCommand(STRU_DRAW_COMMAND_BASE* command) {
    if (target != nullptr && target->GetHost() != nullptr && target->GetHost()->IsDeviceLost()) return false;
    return DispatchDrawCommand(command, this, GetLayers()->GetDefaultLayer());
}

void viewport_t::ResetLayers() {
    if (layers) layers->Reset();
}

void viewport_t::GetDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes) const {
    if (layers) {
        layers->GetDrawStats(vertexBytes, indexBytes);
        return;
    }
    *vertexBytes = 0;
    *indexBytes = 0;
}
