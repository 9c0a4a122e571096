// CLumiscriber: draw operations, the background colour and the current target and viewport.
#include "core/exception.h"
#include "core/lumiscriber.h"
#include "core/render_target.h"
#include "core/render_window.h"
#include "core/scene_manager.h"
#include "core/viewport.h"

namespace {

constexpr float kByteToUnit = 0.003921569f;  // the float nearest to 1/255

}  // namespace

void CLumiscriber::SetBackgroundColor(D3DCOLOR color) {
    backgroundColor_ = color;
    if (currentViewport_ == nullptr) return;
    currentViewport_->SetClearColor(static_cast<float>((color >> 16) & 0xFF) * kByteToUnit,
                                    static_cast<float>((color >> 8) & 0xFF) * kByteToUnit,
                                    static_cast<float>(color & 0xFF) * kByteToUnit,
                                    static_cast<float>((color >> 24) & 0xFF) * kByteToUnit);
}

IRenderTarget* CLumiscriber::SelectRenderTarget(IRenderTarget* target) {
    IRenderTarget* previous = currentTarget_;
    CRenderTarget* chosen =
        target != nullptr ? static_cast<CRenderTarget*>(target) : static_cast<CRenderTarget*>(mainWindow_.get());
    // Only a live target of this renderer may become current; anything else changes nothing.
    if (chosen == nullptr || !IsRegistered(chosen)) return previous;
    viewport_t* viewport = chosen->GetViewport(0);
    if (viewport == nullptr) return previous;
    if (sceneManager_) sceneManager_->SetCurrentViewport(viewport);
    ApplyViewport(viewport);
    return previous;
}

void CLumiscriber::ApplyViewport(viewport_t* viewport) {
    if (viewport == nullptr) return;
    if (viewport == currentViewport_ && !viewport->IsDirty() && !viewportStale_) return;
    currentViewport_ = viewport;
    CRenderTarget* target = viewport->target;
    currentTarget_ = target;
    if (device_ == nullptr || target == nullptr) return;
    IDirect3DSurface9* surface = nullptr;
    IDirect3DSurface9* depth = nullptr;
    target->GetAttribute("D3DSURFACE", reinterpret_cast<void**>(&surface));
    target->GetAttribute("D3DZBUFFER", reinterpret_cast<void**>(&depth));
    if (surface == nullptr || depth == nullptr) return;
    device_->SetRenderTarget(0, surface);
    device_->SetDepthStencilSurface(depth);
    D3DVIEWPORT9 deviceViewport{};
    deviceViewport.X = static_cast<DWORD>(viewport->pixelX);
    deviceViewport.Y = static_cast<DWORD>(viewport->pixelY);
    deviceViewport.Width = static_cast<DWORD>(viewport->pixelWidth);
    deviceViewport.Height = static_cast<DWORD>(viewport->pixelHeight);
    deviceViewport.MinZ = 0.0f;
    deviceViewport.MaxZ = 1.0f;
    device_->SetViewport(&deviceViewport);
    viewport->ClearDirty();
    viewportStale_ = false;
}

void CLumiscriber::ForgetViewportsOf(CRenderTarget* target) {
    if (currentTarget_ == target) currentTarget_ = nullptr;
    if (currentViewport_ != nullptr && currentViewport_->target == target) currentViewport_ = nullptr;
    if (sceneManager_) sceneManager_->ForgetViewportsOf(target);
}

bool CLumiscriber::IsRegistered(const CRenderTarget* target) const {
    for (const auto& entry : targetsByPriority_) {
        if (entry.second == target) return true;
    }
    return false;
}

// The operations below come with the draw-command records, text layout and particles.
std::int32_t CLumiscriber::GetPrimitiveType(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
STRU_DRAW_COMMAND_BASE* CLumiscriber::CreatePrimitive(std::int32_t) { ThrowUnsupported(); }
STRU_DRAW_COMMAND_BASE* CLumiscriber::ClonePrimitive(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
void CLumiscriber::ReleasePrimitive(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
bool CLumiscriber::HasCircleBeam(STRU_DRAW_COMMAND_BASE*) { ThrowUnsupported(); }
void CLumiscriber::DrawEmitter(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                               std::int32_t, float) {
    ThrowUnsupported();
}
void CLumiscriber::DrawEmitterAlt(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                  std::int32_t, float) {
    ThrowUnsupported();
}
void CLumiscriber::DrawCircleEmitter(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                     std::int32_t, float) {
    ThrowUnsupported();
}
void CLumiscriber::DrawPoint(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, D3DCOLOR) { ThrowUnsupported(); }
void CLumiscriber::DrawLine(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                            D3DCOLOR) {
    ThrowUnsupported();
}
void CLumiscriber::DrawLines(STRU_DRAW_COMMAND_BASE*, const STRU_LINE_SEGMENT*, std::int32_t, D3DCOLOR) {
    ThrowUnsupported();
}
void CLumiscriber::DrawTriangle(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, std::int32_t, D3DCOLOR, bool) {
    ThrowUnsupported();
}
void CLumiscriber::DrawRect(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, D3DCOLOR,
                            bool) {
    ThrowUnsupported();
}
void CLumiscriber::DrawReserved(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                std::int32_t, std::int32_t) {
    ThrowUnsupported();
}
void CLumiscriber::DrawText(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, D3DCOLOR, bool, D3DCOLOR,
                            std::int32_t) {
    ThrowUnsupported();
}
void CLumiscriber::DrawTextInRect(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                  D3DCOLOR, bool, bool, D3DCOLOR, std::int32_t) {
    ThrowUnsupported();
}
bool CLumiscriber::GetTextExtent(STRU_DRAW_COMMAND_BASE*, std::int32_t*, std::int32_t*, std::int32_t) {
    ThrowUnsupported();
}
std::uint8_t CLumiscriber::SetFont(STRU_DRAW_COMMAND_BASE*, const WCHAR*, std::int32_t) { ThrowUnsupported(); }
bool CLumiscriber::SetFonts(STRU_DRAW_COMMAND_BASE*, std::int32_t, const WCHAR*, std::int32_t, std::int32_t,
                            const WCHAR*, std::int32_t, std::int32_t) {
    ThrowUnsupported();
}
bool CLumiscriber::SetText(STRU_DRAW_COMMAND_BASE*, const WCHAR*) { ThrowUnsupported(); }
void CLumiscriber::DrawTexture(ITexture*, const RECT*, const RECT*, D3DCOLOR, std::int32_t) { ThrowUnsupported(); }
void CLumiscriber::DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, const RECT*,
                                          std::int32_t, D3DCOLOR) {
    ThrowUnsupported();
}
void CLumiscriber::DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE*, const RECT*, const RECT*, std::int32_t, D3DCOLOR) {
    ThrowUnsupported();
}
void CLumiscriber::DrawTexturePrimitiveEx(STRU_DRAW_COMMAND_BASE*, std::int32_t, std::int32_t, D3DCOLOR, const RECT*,
                                          const RECT*) {
    ThrowUnsupported();
}
void CLumiscriber::SetGreyMode(bool) { ThrowUnsupported(); }
