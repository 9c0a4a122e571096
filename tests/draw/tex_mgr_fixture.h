#pragma once
// Shared set-up of the texture manager tests: a renderer on the software device with the
// resource loader in manual mode, every Sleep advancing the fake clock and running one
// loader step (so a wait ends without wall time), and image files written by the image
// library's encoders.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/file_callbacks.h"
#include "draw/d3d_texture.h"
#include "draw/huge_texture.h"
#include "draw/resource_texture_loader.h"
#include "draw/tex_mgr.h"
#include "image/raster.h"
#include "platform/engine/resource_loader.h"
#include "tests/core/renderer_fixture.h"
#include "tests/draw/texture_fixture.h"

namespace lumi::test {

class TexMgrTest : public RendererTest {
protected:
    void SetUp() override {
        RendererTest::SetUp();
        CResourceLoader::GetSingleton().Reset(CResourceLoader::Mode::Manual);
        sleeps_.OnSleep([](DWORD) { CResourceLoader::GetSingleton().Step(); });
        std::filesystem::create_directories("tex");
        ASSERT_NE(Create(), nullptr);
        mgr_ = Renderer()->GetTexMgr();
        ASSERT_NE(mgr_, nullptr);
        RunFrame();  // the frame clock starts
    }

    void TearDown() override {
        mgr_ = nullptr;
        RendererTest::TearDown();
        CResourceLoader::GetSingleton().Reset();
    }

    // The colour the test images hold at (x, y), y counted from the top.
    static std::uint32_t ImageColor(int x, int y) {
        return 0xFF000000u | static_cast<std::uint32_t>(x * 16) << 16 | static_cast<std::uint32_t>(y * 16) << 8 | 0x40;
    }

    // A 24-bit image of `color` (ImageColor unless given) written with the image library's
    // encoder of `type`; with `opaqueAlpha`, with an alpha plane of 255 (its texture has an
    // alpha format).
    static void WriteImage(const std::u16string& path, int width, int height, DWORD type,
                           const std::function<std::uint32_t(int, int)>& color = ImageColor,
                           bool opaqueAlpha = false) {
        CRaster image(static_cast<DWORD>(width), static_cast<DWORD>(height), 24, type);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                // The image library counts rows from the bottom.
                const std::uint32_t c = color(x, y);
                image.SetPixelColor(x, height - 1 - y,
                                    RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8),
                                            static_cast<BYTE>(c >> 16), 0});
            }
        }
        if (opaqueAlpha) {
            ASSERT_TRUE(image.CreateAlpha());
        }
        ASSERT_TRUE(image.Save(path.c_str(), type));
    }

    // A file texture of a `side`-square image of ImageColor written as `type`; with `load`,
    // its load started.
    CD3DTexture* FileTexture(const std::u16string& name, int side, bool load = false, DWORD type = kRasterTypePng) {
        WriteImage(name, side, side, type);
        CD3DTexture* texture = mgr_->FindOrCreateTexture(name.c_str(), false);
        if (load) texture->Restore();
        return texture;
    }

    // Used in this frame and idle again.
    static void UseOnce(CD3DTexture* texture) {
        texture->AddRef();
        texture->Release();
    }

    // Polls until the texture is loaded, stepping the loader between polls; false when the
    // loader ran dry first.
    static bool LoadNow(CD3DTexture* texture) {
        for (int i = 0; i < 8; ++i) {
            if (texture->Restore()) return true;
            CResourceLoader::GetSingleton().RunUntilIdle();
        }
        return false;
    }

    // Moves the frame clock on by `ms` and runs one frame (the memory rule runs at its end).
    void FrameAfter(std::uint32_t ms) {
        clock_.Advance(ms);
        RunFrame();
    }

    CTexMgr* mgr_ = nullptr;
};

}  // namespace lumi::test
