#pragma once
// Shared set-up of the texture, pool and atlas tests: the software device on a small
// window, a scratch folder with `logs/` and an open event log, the frame clock at a known
// time, and a texture owner that stands in for the texture manager: it keeps the in-use and
// idle lists, evicts idle video copies on demand and counts what the textures asked of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/frame_clock.h"
#include "core/lru_list.h"
#include "draw/d3d_texture.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"
#include "image/raster.h"
#include "image/raster_mem_file.h"
#include "platform/d3d9/control.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/display.h"
#include "platform/win32/text.h"
#include "platform/win32/window.h"
#include "tests/support/device_checks.h"
#include "tests/support/utf16_file.h"
#include "tests/support/work_folder.h"

namespace lumi::test {

// Level 0 of a Direct3D texture, one pixel, as 0xAARRGGBB.
inline std::uint32_t ReadTexel(IDirect3DTexture9* texture, int x, int y) {
    IDirect3DSurface9* surface = nullptr;
    if (texture == nullptr || FAILED(texture->GetSurfaceLevel(0, &surface))) return 0xDEADBEEF;
    const std::uint32_t value = d3d9ctl::ReadPixel(surface, x, y);
    surface->Release();
    return value;
}

// Writes `bytes` (anything with data() and size()) to the file at `path`.
template <class Bytes>
void WriteBytes(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The bytes of the file at `path`; empty when it cannot be read.
inline std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// A GIF animation through the image library's encoder: one 8-bit `width` x `height` frame
// per delay, palette entry c of every frame `palette(c)`, pixel (x, y) of frame i (y counted
// from the bottom) entry `index(i, x, y)`. Empty when the encoder fails.
inline std::vector<BYTE> EncodeGifAnimation(int width, int height, const std::vector<DWORD>& delays,
                                            const std::function<RGBQUAD(int)>& palette,
                                            const std::function<int(int, int, int)>& index) {
    std::vector<std::unique_ptr<CRaster>> frames;
    std::vector<CRaster*> pointers;
    for (std::size_t i = 0; i < delays.size(); ++i) {
        auto frame = std::make_unique<CRaster>(width, height, 8, kRasterTypeGif);
        for (int c = 0; c < 256; ++c) frame->SetPaletteColor(static_cast<BYTE>(c), palette(c));
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x)
                frame->SetPixelIndex(x, y, static_cast<BYTE>(index(static_cast<int>(i), x, y)));
        frame->SetFrameDelay(delays[i]);
        pointers.push_back(frame.get());
        frames.push_back(std::move(frame));
    }
    CRasterMemFile file;
    file.Open();
    if (!pointers[0]->Encode(static_cast<CRasterFile*>(&file), pointers.data(), static_cast<int>(pointers.size()),
                             kRasterTypeGif)) {
        return {};
    }
    return std::vector<BYTE>(file.GetBuffer(), file.GetBuffer() + file.Size());
}

class TestTextureOwner : public ITextureOwner {
public:
    IDirect3DDevice9* GetDevice() override { return device; }
    bool IsDeviceLost() override { return lost; }
    D3DFORMAT GetNormalFormat() override { return normalFormat; }
    D3DFORMAT GetAlphaFormat() override { return alphaFormat; }
    D3DFORMAT GetUIFormat() override { return alphaFormat; }
    bool IsSquareOnly() override { return squareOnly; }
    CTexturePool* GetTexturePool() override { return pool; }
    void MarkInUse(CD3DTexture* texture) override {
        texture->SetLastUseMs(g_FrameTimeMs);
        inUse.PushBack(texture->Node());
    }
    void MarkIdle(CD3DTexture* texture) override { idle.PushBack(texture->Node()); }
    bool EvictIdleTextures() override {
        ++evictions;
        for (lru_obj_s* node = idle.next; node != &idle; node = node->next) {
            CD3DTexture::FromNode(node)->ReleaseVideoCopy();
        }
        return !idle.Empty();
    }
    bool ReadImageInfo(CD3DTexture*) override {
        ++imageInfoReads;
        return false;
    }
    ITextureLoader* GetTextureLoader() override { return loader; }
    std::uint32_t GetFrameNumber() override { return frameNumber; }
    CRenderTargetHost* GetRenderTargetHost() override { return targetHost; }
    bool RegisterRenderTarget(CRenderTarget* target) override {
        registeredTargets.push_back(target);
        return true;
    }
    CCamera* GetDefaultCamera() override { return nullptr; }

    IDirect3DDevice9* device = nullptr;
    CTexturePool* pool = nullptr;
    bool lost = false;
    bool squareOnly = false;
    D3DFORMAT normalFormat = D3DFMT_X8R8G8B8;
    D3DFORMAT alphaFormat = D3DFMT_A8R8G8B8;
    lru_list_t inUse;
    lru_list_t idle;
    ITextureLoader* loader = nullptr;
    std::uint32_t frameNumber = 0;
    CRenderTargetHost* targetHost = nullptr;
    std::vector<CRenderTarget*> registeredTargets;
    int evictions = 0;
    int imageInfoReads = 0;
};

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        ResetFrameClock();
        g_FrameTimeMs = 10000;
        OpenEventLog(LogOpenMode::kTruncate);
        window_ = win32::CreateTestWindow(u"textures", 0, 0, 64, 64);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.hDeviceWindow = window_;
        params.Windowed = TRUE;
        params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &owner_.device),
                  D3D_OK);
        MakePool();
    }

    void TearDown() override {
        DestroyAll();
        if (owner_.device != nullptr) owner_.device->Release();
        if (d3d_ != nullptr) d3d_->Release();
        ExpectDeviceLeftClean();
        CloseEventLog();
        win32::DestroyAllWindows();
        d3d9ctl::ResetAll();
        ResetFrameClock();
    }

    void MakePool() {
        pool_ = std::make_unique<CTexturePool>(&owner_);
        owner_.pool = pool_.get();
    }

    // Textures first (their memory goes back to the pool), then the pool.
    void DestroyAll() {
        for (CD3DTexture* texture : textures_) {
            texture->Node()->Unlink();
            delete texture;
        }
        textures_.clear();
        owner_.pool = nullptr;
        pool_.reset();
    }

    template <class T>
    T* Keep(T* texture) {
        textures_.push_back(texture);
        return texture;
    }

    // An empty texture with memory bound (system copy, plus a video copy when asked).
    CD3DTexture* MakeTexture(D3DFORMAT format, std::uint16_t width, std::uint16_t height, bool video = false) {
        CD3DTexture* texture = Keep(new CD3DTexture(&owner_, format, width, height, 0, false));
        if (video) texture->SetCopyFlags(CD3DTexture::kSystemCopy | CD3DTexture::kVideoCopy);
        EXPECT_TRUE(texture->BindMemoryFromPool());
        return texture;
    }

    void Forget(CD3DTexture* texture) {
        textures_.erase(std::remove(textures_.begin(), textures_.end(), texture), textures_.end());
        texture->Node()->Unlink();
        delete texture;
    }

    // The texture saved as the file `name` (its type by the extension) and read back; empty
    // when the save fails.
    std::vector<char> SavedBytes(CD3DTexture* texture, const std::u16string& name) {
        if (!texture->SaveToFile(name.c_str(), nullptr)) return {};
        return ReadBytes(folder_.File(win32::Utf16ToUtf8(name)));
    }

    static std::u16string LogText() { return ReadUtf16LeFile(kEventLogPath).text; }
    static bool LogHas(const std::u16string& fragment) { return LogText().find(fragment) != std::u16string::npos; }

    TempWorkFolder folder_;
    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    TestTextureOwner owner_;
    std::unique_ptr<CTexturePool> pool_;
    std::vector<CD3DTexture*> textures_;
};

}  // namespace lumi::test
