#pragma once
// What the renderer makes of the handles and texts a host passes to IRenderer: empty texts,
// the library's own textures and sprite commands. Shared by the renderer files of both builds.
#include <cstdint>

#include "core/build_variant.h"
#include "core/renderer_interface.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"

namespace lumi {

inline constexpr std::uint32_t kLargestTextureSide = 0xFFFF;  // texture sides are 16-bit
inline constexpr D3DCOLOR kDrawAsIs = 0xFFFFFFFF;              // a sprite's colour that changes nothing

inline bool IsEmptyText(const WCHAR* text) { return text == nullptr || *text == 0; }

// Whether a host's width or height can be a texture's.
inline bool IsTextureSide(std::int32_t side) {
    return side >= 0 && static_cast<std::uint32_t>(side) <= kLargestTextureSide;
}

// The host's texture as the library's own; null for anything else.
inline CD3DTexture* AsTexture(ITexture* texture) {
    auto* d3dTexture = static_cast<CD3DTexture*>(texture);
    return d3dTexture != nullptr && d3dTexture->GetTag() == CD3DTexture::kTag ? d3dTexture : nullptr;
}

// Whether a draw can sample the texture now: it is loaded (current build), or it holds pixels
// in its video or its system-memory copy (legacy build).
inline bool HasPixels(CD3DTexture* texture) {
    if constexpr (kLegacy) return texture->GetD3DTexture() != nullptr || texture->GetSystemTexture() != nullptr;
    return texture->IsLoaded();
}

// Type-5 commands only; the scratch value and other types are refused.
inline STRU_RECT_COMMAND* TexturedCommand(STRU_DRAW_COMMAND_BASE* cmd) {
    if (cmd == nullptr || IsScratchCommand(cmd) || cmd->type != kDrawCmdTexturedRect) return nullptr;
    return static_cast<STRU_RECT_COMMAND*>(cmd);
}

// The command takes a reference on `texture` (null leaves it without one) and gives up the
// one it held.
inline void SwapCommandTexture(STRU_RECT_COMMAND* cmd, CD3DTexture* texture) {
    if (cmd->texture == texture) return;
    if (texture != nullptr) texture->AddRef();
    if (cmd->texture != nullptr) cmd->texture->Release();
    cmd->texture = texture;
}

}  // namespace lumi
