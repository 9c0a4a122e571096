// Viewports, the scene manager and cameras without a device: pixel rectangles, clear-colour
// packing, z-order and scale rules of a target's viewports, camera names, the current
// viewport, and layers made on first use.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/camera.h"
#include "core/render_target.h"
#include "core/scene_manager.h"
#include "core/viewport.h"
#include "draw/draw_layer.h"
#include "draw/layer_map.h"
#include "tests/core/render_target_test_host.h"

namespace lumi::test {
namespace {

std::unique_ptr<CRenderTarget> Target(std::uint16_t width, std::uint16_t height, CRenderTargetHost* host = nullptr) {
    auto target = std::make_unique<CRenderTarget>(host);
    target->Init("target", width, height);
    return target;
}

TEST(ViewportTest, PixelRectangleTruncatesFractionsOfTheTargetSize) {
    auto target = Target(801, 601);
    viewport_t* viewport = target->AddViewport(nullptr, 0, 0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(viewport->pixelX, 400);
    EXPECT_EQ(viewport->pixelY, 300);
    EXPECT_EQ(viewport->pixelWidth, 400);
    EXPECT_EQ(viewport->pixelHeight, 300);
    EXPECT_FLOAT_EQ(viewport->twoOverWidth, 2.0f / 400.0f);
    EXPECT_FLOAT_EQ(viewport->twoOverHeight, 2.0f / 300.0f);
    EXPECT_TRUE(viewport->IsDirty());

    // A viewport without pixels keeps finite factors and is never flushed.
    viewport_t* empty = target->AddViewport(nullptr, 1, 0.0f, 0.0f, 0.001f, 1.0f);
    EXPECT_FALSE(empty->HasPixels());
    EXPECT_TRUE(std::isfinite(empty->twoOverWidth));
}

TEST(ViewportTest, ClearColourPacksEachChannelClampedAndRounded) {
    const float mixed[4] = {0.5f, 0.25f, 1.2f, -1.0f};
    EXPECT_EQ(CSceneManager::PackClearColor(mixed), 0x008040FFu);
    const float exact[4] = {1.0f / 255.0f, 254.5f / 255.0f, 0.0f, 1.0f};
    EXPECT_EQ(CSceneManager::PackClearColor(exact), 0xFF01FF00u);
}

TEST(RenderTargetTest, ViewportsAreKeyedByZOrderAndShareTheTargetScale) {
    auto target = Target(100, 100);
    viewport_t* first = target->AddViewport(nullptr, 5, 0.0f, 0.0f, 1.0f, 1.0f);
    target->AddViewport(nullptr, 1, 0.0f, 0.0f, 1.0f, 1.0f);
    target->AddViewport(nullptr, 9, 0.0f, 0.0f, 1.0f, 1.0f);
    try {
        target->AddViewport(nullptr, 5, 0.5f, 0.5f, 0.5f, 0.5f);
        FAIL() << "expected a duplicate z-order to be refused";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "viewport exist.");
    }
    EXPECT_EQ(target->GetViewport(5), first);
    EXPECT_EQ(target->GetViewportCount(), 3);
    EXPECT_EQ(target->GetViewport(2), nullptr);

    target->SetScale(2.0f);
    for (std::uint16_t z : {1, 5, 9}) EXPECT_FLOAT_EQ(target->GetViewport(z)->scale, 2.0f) << "z-order " << z;
    EXPECT_FLOAT_EQ(target->AddViewport(nullptr, 3, 0.0f, 0.0f, 1.0f, 1.0f)->scale, 2.0f);

    target->RemoveAllViewports();
    EXPECT_EQ(target->GetViewportCount(), 0);
    EXPECT_NO_THROW(target->AddViewport(nullptr, 5, 0.0f, 0.0f, 1.0f, 1.0f));

    void* out = nullptr;
    try {
        target->GetAttribute("D3DSURFACE", &out);
        FAIL() << "expected the base target to know no attribute";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Attribute not found.");
    }
}

TEST(RenderTargetTest, DrawStatsAndLayersComeWithTheFirstUse) {
    CSceneManager scene;
    CCamera* camera = scene.CreateCamera("DefaultCamera");
    auto target = Target(64, 64);
    viewport_t* viewport = target->AddViewport(camera, 0, 0.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ(viewport->layers, nullptr);
    std::uint32_t vertexBytes = 7;
    std::uint32_t indexBytes = 7;
    target->GetDrawStats(&vertexBytes, &indexBytes);
    EXPECT_EQ(vertexBytes, 0u);
    EXPECT_EQ(indexBytes, 0u);

    layer_map_t* layers = viewport->GetLayers();
    ASSERT_NE(layers, nullptr);
    EXPECT_EQ(layers->owner, &scene);
    ASSERT_EQ(layers->layers.size(), 1u);
    EXPECT_EQ(layers->layers.begin()->first, layer_map_t::kDefaultLayerId);
    EXPECT_EQ(viewport->GetLayers(), layers);
}

TEST(SceneManagerTest, CamerasAreUniqueByName) {
    CSceneManager scene;
    CCamera* camera = scene.CreateCamera("DefaultCamera");
    try {
        scene.CreateCamera("DefaultCamera");
        FAIL() << "expected a duplicate camera name to be refused";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "named camera already exists.");
    }
    EXPECT_EQ(scene.GetCamera("DefaultCamera"), camera);
    EXPECT_EQ(scene.GetCamera("Other"), nullptr);
}

TEST(SceneManagerTest, CurrentViewportIsAppliedAndForgottenWithItsTarget) {
    TestTargetHost host;
    CSceneManager scene;
    scene.SetHost(&host);
    auto first = Target(32, 32, &host);
    auto second = Target(32, 32, &host);
    viewport_t* a = first->AddViewport(nullptr, 0, 0.0f, 0.0f, 1.0f, 1.0f);
    viewport_t* b = second->AddViewport(nullptr, 0, 0.0f, 0.0f, 1.0f, 1.0f);

    scene.SetCurrentViewport(a);
    scene.SetCurrentViewport(nullptr);
    EXPECT_EQ(scene.GetCurrentViewport(), a);
    EXPECT_EQ(host.applied, std::vector<viewport_t*>{a});

    scene.ForgetViewportsOf(second.get());
    EXPECT_EQ(scene.GetCurrentViewport(), a);
    scene.SetCurrentViewport(b);
    scene.ForgetViewportsOf(second.get());
    EXPECT_EQ(scene.GetCurrentViewport(), nullptr);
}

}  // namespace
}  // namespace lumi::test
