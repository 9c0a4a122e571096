#pragma once
// A stand-in for the renderer behind render targets, windows, the scene manager and the
// dynamic buffers: a windowed software device on a test window, the loss flag, and a record
// of what the targets asked of the renderer. ApplyViewport binds the target's surfaces and
// the device viewport as the renderer does.
#include <gtest/gtest.h>

#include <vector>

#include "core/render_target.h"
#include "core/render_target_host.h"
#include "core/viewport.h"
#include "platform/d3d9/control.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/display.h"
#include "platform/win32/window.h"

namespace lumi::test {

class TestTargetHost : public CRenderTargetHost {
public:
    IDirect3DDevice9* GetDevice() const override { return device; }
    const STRU_DEVICE_SETTINGS& GetDeviceSettings() const override { return settings; }
    bool IsDeviceLost() const override { return lost; }
    void EnterLostState() override {
        ++lostEntries;
        lost = true;
    }
    void UnregisterRenderTarget(CRenderTarget* target) override { unregistered.push_back(target); }
    void ApplyViewport(viewport_t* viewport) override {
        applied.push_back(viewport);
        if (device == nullptr) return;
        void* surface = nullptr;
        void* depth = nullptr;
        viewport->target->GetAttribute("D3DSURFACE", &surface);
        viewport->target->GetAttribute("D3DZBUFFER", &depth);
        if (surface == nullptr || depth == nullptr) return;
        device->SetRenderTarget(0, static_cast<IDirect3DSurface9*>(surface));
        device->SetDepthStencilSurface(static_cast<IDirect3DSurface9*>(depth));
        const D3DVIEWPORT9 area{static_cast<DWORD>(viewport->pixelX), static_cast<DWORD>(viewport->pixelY),
                                static_cast<DWORD>(viewport->pixelWidth), static_cast<DWORD>(viewport->pixelHeight),
                                0.0f, 1.0f};
        device->SetViewport(&area);
        viewport->ClearDirty();
    }

    IDirect3DDevice9* device = nullptr;
    STRU_DEVICE_SETTINGS settings{};
    bool lost = false;
    int lostEntries = 0;
    std::vector<CRenderTarget*> unregistered;
    std::vector<viewport_t*> applied;
};

// Default software adapter, a 64x48 host window with a windowed X8R8G8B8 device and a D16
// depth buffer, and the host over it.
class TargetTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;

    void SetUp() override {
        d3d9ctl::ResetAll();
        d3d9ctl::SetCallLogEnabled(true);  // the tests read the device calls
        win32::ResetDisplay();
        window_ = win32::CreateTestWindow(u"main", 0, 0, kWidth, kHeight);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS& pp = host_.settings.pp;
        pp.BackBufferWidth = kWidth;
        pp.BackBufferHeight = kHeight;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = window_;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        D3DPRESENT_PARAMETERS params = pp;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &params, &host_.device),
                  D3D_OK);
    }

    void TearDown() override {
        if (host_.device != nullptr) host_.device->Release();
        if (d3d_ != nullptr) d3d_->Release();
        win32::DestroyAllWindows();
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
    }

    // The window's presented pixel at (x, y), 0xAARRGGBB.
    static std::uint32_t WindowPixel(HWND window, int x, int y) {
        int width = 0;
        int height = 0;
        const std::uint32_t* pixels = win32::WindowPixels(window, &width, &height);
        if (pixels == nullptr || x < 0 || y < 0 || x >= width || y >= height) return 0xDEADBEEF;
        return pixels[y * width + x];
    }

    static int CallsOf(const std::string& method) {
        int count = 0;
        for (const auto& call : d3d9ctl::CallLog()) count += call.method == method ? 1 : 0;
        return count;
    }

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    TestTargetHost host_;
};

}  // namespace lumi::test
