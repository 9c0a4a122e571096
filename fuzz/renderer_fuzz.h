#pragma once
// The shared set-up of the fuzz targets that go through the renderer: one renderer per
// quality level (1: 32-bit textures, 3: DXT3 alpha textures converted through the texture
// pool's scratch texture) on the software device, made once per process (before the first
// input, in LLVMFuzzerInitialize, so that nothing of them counts as an input's allocation)
// on a device that takes textures of at most 512 a side, with the resource loader running
// every step at once and file callbacks that serve the current input from memory under any
// name. They are released at exit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/lumiscriber.h"
#include "core/lumiscriber_api.h"
#include "draw/d3d_texture.h"
#include "draw/tex_mgr.h"
#include "platform/d3d9/control.h"
#include "platform/engine/resource_loader.h"
#include "platform/win32/window.h"

namespace lumi::fuzz {

inline constexpr DWORD kFuzzLargestTexture = 512;

[[noreturn]] inline void Fail() { __builtin_trap(); }
inline void Check(bool condition) {
    if (!condition) Fail();
}

// The bytes every opened "file" holds.
struct MemoryFile {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
};

inline MemoryFile& CurrentInput() {
    static MemoryFile input;
    return input;
}

inline std::int32_t OpenInput(const WCHAR*, std::int32_t* size, LumiFileHandle* handle) {
    MemoryFile& input = CurrentInput();
    input.position = 0;
    if (size != nullptr) *size = static_cast<std::int32_t>(input.size);
    if (handle != nullptr) *handle = &input;
    return 0;
}
inline std::int32_t CloseInput(LumiFileHandle) { return 0; }
inline std::int32_t ReadInput(LumiFileHandle handle, void* buffer, std::int32_t length, std::int32_t* count) {
    auto* input = static_cast<MemoryFile*>(handle);
    const std::size_t n = length > 0 ? std::min<std::size_t>(static_cast<std::size_t>(length), input->size - input->position) : 0;
    if (n > 0) std::memcpy(buffer, input->data + input->position, n);
    input->position += n;
    if (count != nullptr) *count = static_cast<std::int32_t>(n);
    return 0;
}
inline std::int32_t SeekInput(LumiFileHandle handle, std::int32_t offset, std::int32_t origin) {
    auto* input = static_cast<MemoryFile*>(handle);
    const long long base = origin == 1 ? static_cast<long long>(input->position)
                           : origin == 2 ? static_cast<long long>(input->size)
                                         : 0;
    const long long target = base + offset;
    if (target < 0 || target > static_cast<long long>(input->size)) return -1;
    input->position = static_cast<std::size_t>(target);
    return 0;
}

inline CLumiscriber*& RendererSlot(int quality) {
    static CLumiscriber* renderers[2] = {};
    return renderers[quality == 3 ? 1 : 0];
}

// Released at exit before the library's static pools go, which free the blocks the
// renderers still hold (the leak check at exit would find what those blocks pointed to).
inline void ReleaseFuzzRenderers() {
    for (int quality : {1, 3}) {
        ReleaseLumiscriber(RendererSlot(quality));
        RendererSlot(quality) = nullptr;
    }
}

// The renderer of quality level 1 or 3.
inline CLumiscriber* FuzzRenderer(int quality) {
    CLumiscriber*& renderer = RendererSlot(quality);
    if (renderer == nullptr) {
        static bool once = [] {
            D3DCAPS9 caps = d3d9ctl::DefaultCaps();
            caps.MaxTextureWidth = kFuzzLargestTexture;
            caps.MaxTextureHeight = kFuzzLargestTexture;
            d3d9ctl::SetCaps(0, caps);
            CResourceLoader::GetSingleton().SetMode(CResourceLoader::Mode::Inline);
            return true;
        }();
        (void)once;
        STRU_RENDERER_PARAM param{};
        param.Window = win32::CreateTestWindow(quality == 3 ? u"fuzz3" : u"fuzz1", 0, 0, 64, 64);
        param.Width = 64;
        param.Height = 64;
        param.BitsPerPixel = 32;
        param.Quality = quality;
        param.Windowed = 1;
        renderer = static_cast<CLumiscriber*>(CreateLumiscriber(&param));
        Check(renderer != nullptr);
        renderer->SetFileSystem(OpenInput, CloseInput, ReadInput, SeekInput, OpenInput, CloseInput, ReadInput,
                                SeekInput);
    }
    return renderer;
}

// A few pixels and the frames of a texture, read as a host would.
inline void Exercise(CD3DTexture* texture) {
    unsigned sum = 0;
    for (std::int32_t y = -1; y <= texture->GetHeight() && y < 8; ++y)
        for (std::int32_t x = -1; x <= texture->GetWidth() && x < 8; ++x) sum += texture->GetPixel(x, y);
    (void)sum;
    for (std::int32_t i = 0; i < texture->GetFrameCount(); ++i) {
        const tex_frame_t* frame = texture->GetFrame(i);
        Check(frame != nullptr && frame->rect.right <= texture->GetWidth() && frame->rect.bottom <= texture->GetHeight());
    }
}

}  // namespace lumi::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lumi::fuzz::FuzzRenderer(1);
    lumi::fuzz::FuzzRenderer(3);
    std::atexit(lumi::fuzz::ReleaseFuzzRenderers);
    return 0;
}
