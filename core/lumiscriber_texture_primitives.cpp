// CLumiscriber: drawing the texture a host's textured-rectangle command holds (type 5), the
// same in both builds; each build's SubmitTexturedRect decides the blending and queues it.
#include "core/host_handles.h"
#include "core/lumiscriber.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"

using lumi::HasPixels;
using lumi::IsOpaqueColor;
using lumi::WholeTexture;

void CLumiscriber::DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE* cmd, const RECT* source, const RECT* destination,
                                        std::int32_t flags, D3DCOLOR color) {
    STRU_RECT_COMMAND* rect = TexturedRectOf(cmd);
    if (rect == nullptr || source == nullptr || destination == nullptr) return;
    rect->texture->Restore();
    SubmitTexturedRect(*source, *destination, flags, rect, color);
}

void CLumiscriber::DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                          const RECT* source, std::int32_t flags, D3DCOLOR color) {
    STRU_RECT_COMMAND* rect = TexturedRectOf(cmd);
    if (rect == nullptr) return;
    CD3DTexture* texture = rect->texture;
    texture->Restore();
    RECT from{};
    if (source != nullptr) {
        from = *source;
    } else if (HasPixels(texture)) {
        from = WholeTexture(texture);
    }
    if (flags == 0) flags = texture->HasAlphaFormat() ? kDrawFlagAlpha : kDrawFlagOpaque;
    const RECT to{x, y, x + (from.right - from.left), y + (from.bottom - from.top)};
    SubmitTexturedRect(from, to, flags, rect, color);
}

void CLumiscriber::DrawTexturePrimitiveEx(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                          D3DCOLOR color, const RECT* destination, const RECT* source) {
    AddDrawCalls(1);
    STRU_RECT_COMMAND* rect = TexturedRectOf(cmd);
    if (rect == nullptr) return;
    CD3DTexture* texture = rect->texture;
    texture->Restore();
    const RECT from = source != nullptr ? *source : WholeTexture(texture);
    const RECT to = destination != nullptr
                        ? *destination
                        : RECT{x, y, x + static_cast<LONG>(texture->GetWidth()), y + static_cast<LONG>(texture->GetHeight())};
    const std::int32_t flags = !IsOpaqueColor(color) || texture->HasAlphaFormat() ? kDrawFlagAlpha : kDrawFlagOpaque;
    SubmitTexturedRect(from, to, flags, rect, color);
}
