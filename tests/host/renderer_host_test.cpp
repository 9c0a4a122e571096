// A host program of the renderer: the package's headers and its two shared libraries, nothing
// else of the tree. It makes the window the renderer draws into, so the renderer must reach
// the host's platform, not a copy of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/exception.h"
#include "core/lumiscriber_api.h"
#include "platform/d3d9/control.h"
#include "platform/tarnel/tarnel.h"
#include "platform/win32/window.h"

namespace {

constexpr int kWidth = 64, kHeight = 48;

std::string LibraryOf(const void* address) {
    Dl_info where{};
    return dladdr(address, &where) != 0 && where.dli_fname != nullptr ? where.dli_fname : "";
}

class RendererHost : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        window_ = win32::CreateTestWindow(u"host", 0, 0, kWidth, kHeight);
        STRU_RENDERER_PARAM param{};
        param.Window = window_;
        param.Width = kWidth;
        param.Height = kHeight;
        param.BitsPerPixel = 32;
        param.Quality = 1;
        param.Windowed = 1;
        renderer_ = CreateLumiscriber(&param);
        ASSERT_NE(renderer_, nullptr) << "the renderer does not know the host's window";
    }
    void TearDown() override {
        ReleaseLumiscriber(renderer_);
        DestroyWindow(window_);
    }

    std::uint32_t Pixel(int x, int y) {
        int width = 0, height = 0;
        const std::uint32_t* pixels = win32::WindowPixels(window_, &width, &height);
        return pixels != nullptr && x < width && y < height ? pixels[y * width + x] & 0xFFFFFFu : 0xDEADu;
    }

    HWND window_ = nullptr;
    IRenderer* renderer_ = nullptr;
};

TEST_F(RendererHost, OnePlatformServesHostAndLibrary) {
    EXPECT_NE(LibraryOf(reinterpret_cast<const void*>(&CreateLumiscriber)).find("liblumiscriber.so"),
              std::string::npos);
    EXPECT_NE(LibraryOf(reinterpret_cast<const void*>(&d3d9ctl::GetCounters)).find("liblumiscriber_platform.so"),
              std::string::npos);
    // The device the library made is the one the host's control API counts.
    d3d9ctl::ResetCounters();
    renderer_->BeginScene();
    renderer_->DrawRect(ScratchCommand(), 0, 0, 8, 8, 0xFF00FF00u, true);
    EXPECT_TRUE(renderer_->EndScene(true));
    renderer_->OnFrameEnd();
    EXPECT_GT(d3d9ctl::GetCounters().drawCalls, 0u);
    EXPECT_GT(d3d9ctl::GetCounters().presents, 0u);
}

TEST_F(RendererHost, AFrameReachesTheHostsWindow) {
    ITexture* sprite = renderer_->CreateTexture(2, 2, D3DFMT_X8R8G8B8, 0);
    ASSERT_NE(sprite, nullptr);
    const std::uint32_t texels[4] = {0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu};
    ASSERT_TRUE(sprite->UpdateRect(texels, 2, 2, 8, 32, 0, 0));

    renderer_->OnFrameBegin();
    renderer_->BeginScene();
    renderer_->SetBackgroundColor(0xFF202020u);
    renderer_->DrawRect(ScratchCommand(), 4, 4, 20, 20, 0xFFFF0000u, true);
    const RECT whole{0, 0, 2, 2}, destination{30, 10, 46, 26};
    renderer_->DrawTexture(sprite, &destination, &whole, 0xFFFFFFFFu, 0);
    EXPECT_EQ(renderer_->GetStatistics()->DrawCalls, 2);
    ASSERT_TRUE(renderer_->EndScene(true));
    renderer_->OnFrameEnd();

    EXPECT_EQ(Pixel(10, 10), 0xFF0000u);
    EXPECT_EQ(Pixel(38, 18), 0x0000FFu);
    EXPECT_EQ(Pixel(60, 40), 0x202020u);
    renderer_->DestroyTexture(sprite);
}

TEST_F(RendererHost, TheHostCatchesTheLibrarysExceptionsByType) {
    EXPECT_THROW(renderer_->UnsupportedMethodA(), lumi::Exception);
    try {
        renderer_->UnsupportedMethodB();
        ADD_FAILURE() << "no exception";
    } catch (const lumi::Exception& e) {
        EXPECT_STREQ(e.what(), "unsupported method!");
    }
    EXPECT_THROW(renderer_->OnFrameEnd(), tarnel::FatalError);
}

}  // namespace
