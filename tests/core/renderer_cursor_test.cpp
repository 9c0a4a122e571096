// The hardware cursor through IRenderer on the software device: set from a texture, moved
// hot spot, applied again after a reset and a display-mode change, and nothing at all
// without cursor caps.
#include <gtest/gtest.h>

#include <vector>

#include "draw/d3d_texture.h"
#include "platform/d3dx9/control.h"
#include "tests/core/renderer_fixture.h"

namespace lumi::test {
namespace {

class RendererCursorTest : public RendererTest {
protected:
    // A 32 x 32 UI texture whose pixel (x, y) is 0xFF000000 | x << 8 | y.
    ITexture* Gradient() {
        std::vector<std::uint32_t> pixels(32 * 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) pixels[y * 32 + x] = 0xFF000000u | static_cast<std::uint32_t>(x << 8 | y);
        ITexture* texture = renderer_->CreateUITexture(32, 32);
        EXPECT_TRUE(texture->UpdateRect(pixels.data(), 32, 32, 32 * 4, 32, 0, 0));
        return texture;
    }

    d3d9ctl::DeviceInfo Device() const { return d3d9ctl::InspectDevice(Renderer()->GetDevice()); }

    // The device shows the gradient's texels from (4, 8) with the hot spot (x, y).
    void ExpectGradientCursor(UINT x, UINT y) const {
        const d3d9ctl::DeviceInfo info = Device();
        ASSERT_EQ(info.cursorWidth, 32);
        EXPECT_EQ(info.cursorHotSpotX, x);
        EXPECT_EQ(info.cursorHotSpotY, y);
        EXPECT_EQ(info.cursorPixels[0], 0xFF000408u);
        EXPECT_EQ(info.cursorPixels[2 * 32 + 1], 0xFF00050Au);
    }

    void LoseAndReset() {
        d3d9ctl::LoseDevice();
        RunFrame();
        ASSERT_TRUE(Renderer()->IsDeviceLost());
        d3d9ctl::RestoreDevice();
        RunFrame();
        ASSERT_FALSE(Renderer()->IsDeviceLost());
    }
};

TEST_F(RendererCursorTest, TheCursorComesFromATextureAndSurvivesAReset) {
    ASSERT_NE(Create(), nullptr);
    ASSERT_TRUE(renderer_->IsHardwareCursorSupported());
    ITexture* texture = Gradient();
    renderer_->SetCursorHotSpot(1, 1);  // no cursor surface yet: nothing to tell the device
    EXPECT_EQ(d3d9ctl::CallCount("SetCursorProperties"), 0);

    const RECT source{4, 8, 20, 24};  // smaller than the cursor: the rest stays transparent
    renderer_->SetCursorTexture(3, 5, texture, &source);
    ExpectGradientCursor(3, 5);

    renderer_->SetCursorHotSpot(7, 9);
    EXPECT_EQ(Device().cursorHotSpotX, 7u);
    // The device's answer is whether the cursor was visible before.
    EXPECT_FALSE(renderer_->ShowCursor(true));
    EXPECT_TRUE(Device().cursorVisible);
    EXPECT_TRUE(renderer_->ShowCursor(true));

    // The cursor keeps its texture even when the host destroys it.
    renderer_->DestroyTexture(texture);
    const int applied = d3d9ctl::CallCount("SetCursorProperties");
    LoseAndReset();
    EXPECT_EQ(d3d9ctl::CallCount("SetCursorProperties"), applied + 1);
    ExpectGradientCursor(7, 9);
}

TEST_F(RendererCursorTest, TheCursorComesBackAfterADisplayModeChange) {
    ASSERT_NE(Create(), nullptr);
    ITexture* texture = Gradient();
    const RECT source{4, 8, 20, 24};
    renderer_->SetCursorTexture(3, 5, texture, &source);
    // The mode change unloads every texture; the cursor comes back all the same, also when
    // the host wrote its texture only once.
    ASSERT_TRUE(renderer_->ChangeDisplayMode(400, 300, 32, 1, false, true));
    ExpectGradientCursor(3, 5);
}

TEST_F(RendererCursorTest, FailedStepsLeaveTheDeviceCursorAlone) {
    ASSERT_NE(Create(), nullptr);
    ITexture* texture = Gradient();
    d3d9ctl::FailCall("CreateOffscreenPlainSurface", 1, D3DERR_OUTOFVIDEOMEMORY);
    renderer_->SetCursorTexture(0, 0, texture, nullptr);
    EXPECT_EQ(d3d9ctl::CallCount("SetCursorProperties"), 0);
    const RECT outside{40, 40, 72, 72};
    renderer_->SetCursorTexture(0, 0, texture, &outside);
    EXPECT_EQ(d3d9ctl::CallCount("SetCursorProperties"), 0);
    d3dxctl::FailCall(d3dxctl::Function::kLoadSurfaceFromSurface, 1, E_OUTOFMEMORY);
    renderer_->SetCursorTexture(0, 0, texture, nullptr);
    EXPECT_EQ(d3d9ctl::CallCount("SetCursorProperties"), 0);
    renderer_->SetCursorTexture(0, 0, nullptr, nullptr);
    renderer_->SetCursorTexture(0, 0, texture, nullptr);
    EXPECT_EQ(d3d9ctl::CallCount("SetCursorProperties"), 1);
}

TEST_F(RendererCursorTest, WithoutCursorCapsEveryCursorOperationIsANoOp) {
    D3DCAPS9 caps = d3d9ctl::DefaultCaps();
    caps.CursorCaps = 0;
    d3d9ctl::SetCaps(0, caps);
    ASSERT_NE(Create(), nullptr);
    EXPECT_FALSE(renderer_->IsHardwareCursorSupported());
    EXPECT_FALSE(renderer_->ShowCursor(true));
    renderer_->SetCursorTexture(0, 0, Gradient(), nullptr);
    renderer_->SetCursorHotSpot(1, 1);
    EXPECT_EQ(d3d9ctl::CallCount("SetCursorProperties"), 0);
    EXPECT_EQ(d3d9ctl::CallCount("ShowCursor"), 0);
    EXPECT_EQ(Device().cursorWidth, 0);
}

}  // namespace
}  // namespace lumi::test
