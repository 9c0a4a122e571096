// Fuzzes the library's own GIF-to-texture decoder on a texture of the renderer's texture
// manager: whatever the file, the texture ends loaded with frames inside it, or unloaded.
#include "draw/gif_texture_decoder.h"
#include "fuzz/renderer_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    CLumiscriber* renderer = lumi::fuzz::FuzzRenderer(1);
    CTexMgr* textures = renderer->GetTexMgr();
    auto* texture = static_cast<CD3DTexture*>(renderer->CreateTexture());
    if (DecodeGifToTexture(texture, static_cast<std::uint32_t>(size), data)) {
        lumi::fuzz::Check(texture->IsLoaded() && texture->GetFrameCount() > 0 && texture->GetFrameCount() <= 32);
        lumi::fuzz::Exercise(texture);
    }
    textures->DestroyTexture(texture);
    return 0;
}
