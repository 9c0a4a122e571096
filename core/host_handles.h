#pragma once
// What the renderer makes of the handles and texts a host passes to IRenderer: empty texts,
// the library's own textures and sprite commands. Shared by the renderer files of both builds.
#include <cstdint>

#include "core/build_variant.h"
#include "core/renderer_interface.h"
#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "platform/win32/window.h"

namespace lumi {

inline constexpr std::uint32_t kLargestTextureSide = 0xFFFF;  // texture sides are 16-bit
inline constexpr D3DCOLOR kDrawAsIs = 0xFFFFFFFF;              // a sprite's colour that changes nothing
inline constexpr D3DCOLOR kOpaqueAlpha = 0xFF000000;

inline bool IsOpaqueColor(D3DCOLOR color) { return (color & kOpaqueAlpha) == kOpaqueAlpha; }

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

// The flags a sprite of a texture whose format has alpha is drawn with: alpha-blended when the
// host asked for no pass (flags 0) in the current build; always in the legacy build.
inline std::int32_t AlphaFormatFlags(std::int32_t flags) {
    if constexpr (kLegacy) return flags | kDrawFlagAlpha;
    return flags == 0 ? kDrawFlagAlpha : flags;
}

inline RECT WholeTexture(CD3DTexture* texture) {
    return RECT{0, 0, static_cast<LONG>(texture->GetWidth()), static_cast<LONG>(texture->GetHeight())};
}

// Moves a sprite's source into the texture's current animation frame (an animation's frames
// lie side by side in the texture); a source wider or taller than the frame is cut to it and
// the destination shrinks alike.
inline void ClipToCurrentFrame(CD3DTexture* texture, RECT& source, RECT& destination) {
    const RECT& frame = texture->GetCurrentFrame().rect;
    const LONG sourceWidth = source.right - source.left;
    const LONG sourceHeight = source.bottom - source.top;
    const LONG frameWidth = frame.right - frame.left;
    const LONG frameHeight = frame.bottom - frame.top;
    OffsetRect(&source, frame.left, frame.top);
    if (frameWidth < sourceWidth) {
        source.right = source.left + frameWidth;
        const float ratio = static_cast<float>(frameWidth) / static_cast<float>(sourceWidth);
        destination.right = static_cast<LONG>(static_cast<float>(destination.right - destination.left) * ratio +
                                              static_cast<float>(destination.left));
    }
    if (frameHeight < sourceHeight) {
        source.bottom = source.top + frameHeight;
        const float ratio = static_cast<float>(frameHeight) / static_cast<float>(sourceHeight);
        destination.bottom = static_cast<LONG>(static_cast<float>(destination.bottom - destination.top) * ratio +
                                               static_cast<float>(destination.top));
    }
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
