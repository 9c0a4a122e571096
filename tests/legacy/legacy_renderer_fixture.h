#pragma once
// The legacy renderer on the software device, with RendererTest's set-up (fake clock, scratch
// folder, host window, clean device at the end), the legacy frame, and what the tests look at:
// the pixels of any surface and of the windows swap chains are presented into.
#include <gtest/gtest.h>

#include <functional>

#include "core/render_target_texture.h"
#include "platform/d3d9/control.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {

class LegacyRendererTest : public RendererTest {
protected:
    // One legacy frame: BeginScene, the draws, EndScene; presented to the host window when
    // `present`.
    void LegacyFrame(const std::function<void()>& draws, bool present = true) {
        renderer_->BeginScene();
        draws();
        ASSERT_TRUE(renderer_->EndScene(present));
    }

    // A pixel of a render target made by CreateRenderTarget, 0xAARRGGBB.
    static std::uint32_t TargetPixel(IRenderTarget* target, int x, int y) {
        IDirect3DSurface9* surface = nullptr;
        static_cast<CD3DRenderTarget*>(target)->GetAttribute("D3DSURFACE", reinterpret_cast<void**>(&surface));
        return d3d9ctl::ReadPixel(surface, x, y);
    }

    // The pixel of the device's current render target.
    std::uint32_t CurrentTargetPixel(int x, int y) const {
        IDirect3DSurface9* surface = nullptr;
        if (FAILED(Renderer()->GetDevice()->GetRenderTarget(0, &surface))) return 0xDEADBEEF;
        const std::uint32_t pixel = d3d9ctl::ReadPixel(surface, x, y);
        surface->Release();
        return pixel;
    }

    // A host texture of `width` x `height` in A8R8G8B8, every texel `argb`.
    ITexture* FilledTexture(int width, int height, std::uint32_t argb) {
        ITexture* texture = renderer_->CreateTexture(width, height, D3DFMT_A8R8G8B8);
        if (texture == nullptr) return nullptr;
        std::vector<std::uint32_t> texels(static_cast<std::size_t>(width * height), argb);
        texture->UpdateRect(texels.data(), width, height, width * 4, 32, 0, 0);
        return texture;
    }
};

}  // namespace lumi::test
