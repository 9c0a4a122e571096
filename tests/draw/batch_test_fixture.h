#pragma once
// Shared set-up of the batch and layer tests: a renderer over the software device (320x240
// main window), commands queued straight into its main viewport with sequence numbers from
// the renderer, and textures (and atlas pages) made over the renderer's device through a
// stand-in texture owner. Frames run as a host drives them; pixels are read back from the
// presented window.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/lumiscriber.h"
#include "core/render_window.h"
#include "core/viewport.h"
#include "draw/batch_processor.h"
#include "draw/d3d_buffers.h"
#include "draw/draw_commands.h"
#include "draw/draw_layer.h"
#include "draw/huge_texture.h"
#include "draw/layer_map.h"
#include "draw/opaque_processors.h"
#include "draw/texture_pool.h"
#include "tests/core/renderer_fixture.h"
#include "tests/draw/texture_fixture.h"

namespace lumi::test {

class BatchTest : public RendererTest {
protected:
    static constexpr D3DCOLOR kRed = 0xFFFF0000;
    static constexpr D3DCOLOR kGreen = 0xFF00FF00;
    static constexpr D3DCOLOR kBlue = 0xFF0000FF;
    static constexpr std::uint32_t kBackground = 0x000000;  // the main viewport's clear colour
    // Sequence numbers this far apart keep distinct 16-bit depth values.
    static constexpr int kDepthGap = 5;

    void SetUp() override {
        RendererTest::SetUp();
        ASSERT_NE(Create(), nullptr);
        viewport_ = Renderer()->GetCurrentViewport();
        ASSERT_NE(viewport_, nullptr);
        owner_.device = Renderer()->GetDevice();
        pool_ = std::make_unique<CTexturePool>(&owner_);
        owner_.pool = pool_.get();
    }

    void TearDown() override {
        for (STRU_DRAW_COMMAND_BASE* command : commands_) FreeDrawCommand(command);
        for (CD3DTexture* texture : textures_) delete texture;
        for (CD3DHugeTexture* page : pages_) delete page;
        owner_.pool = nullptr;
        pool_.reset();
        RendererTest::TearDown();
    }

    template <class T>
    T* Keep(T* command) {
        commands_.push_back(command);
        return command;
    }

    STRU_POINT_COMMAND* Point(std::int32_t x, std::int32_t y, D3DCOLOR color) {
        STRU_POINT_COMMAND* point = Keep(AllocPointCommand());
        point->x = x;
        point->y = y;
        point->color = color;
        return point;
    }

    STRU_RECT_COMMAND* Rect(RECT destination, D3DCOLOR color, bool filled = true) {
        STRU_RECT_COMMAND* rect = Keep(AllocRectCommand());
        rect->destination = destination;
        rect->color = color;
        rect->filled = filled ? 1 : 0;
        return rect;
    }

    STRU_TRI_COMMAND* Triangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t x3,
                               std::int32_t y3, D3DCOLOR color, bool filled = true) {
        STRU_TRI_COMMAND* triangle = Keep(AllocTriCommand());
        triangle->x1 = x1;
        triangle->y1 = y1;
        triangle->x2 = x2;
        triangle->y2 = y2;
        triangle->x3 = x3;
        triangle->y3 = y3;
        triangle->color = color;
        triangle->filled = filled ? 1 : 0;
        return triangle;
    }

    STRU_LINE_COMMAND* Lines(const std::vector<STRU_LINE_SEGMENT>& segments, D3DCOLOR color) {
        STRU_LINE_COMMAND* line = Keep(AllocLineCommand());
        EXPECT_TRUE(SetLineSegments(line, segments.data(), static_cast<std::int32_t>(segments.size())));
        line->color = color;
        return line;
    }

    // The texture is not referenced: the test keeps it alive.
    STRU_RECT_COMMAND* Textured(CD3DTexture* texture, RECT source, RECT destination) {
        STRU_RECT_COMMAND* rect = Keep(AllocRectCommand());
        rect->type = kDrawCmdTexturedRect;
        rect->texture = texture;
        rect->source = source;
        rect->destination = destination;
        rect->color = 0xFFFFFFFF;
        return rect;
    }

    // A width x height X8R8G8B8 texture with a system and a video copy holding `texels`
    // (row-major ARGB).
    CD3DTexture* MakeTexture(int width, int height, const std::vector<std::uint32_t>& texels) {
        auto* texture = new CD3DTexture(&owner_, D3DFMT_X8R8G8B8, static_cast<std::uint16_t>(width),
                                        static_cast<std::uint16_t>(height), 0, false);
        textures_.push_back(texture);
        texture->SetCopyFlags(CD3DTexture::kSystemCopy | CD3DTexture::kVideoCopy);
        EXPECT_TRUE(texture->BindMemoryFromPool());
        EXPECT_TRUE(texture->UpdateRect(texels.data(), width, height, width * 4, 32, 0, 0));
        return texture;
    }

    // Texel (x, y) of the pattern textures: distinct in every channel.
    static std::uint32_t PatternTexel(int x, int y, int tag = 0) {
        return 0xFF000000u | static_cast<std::uint32_t>((x * 16 + 8) << 16) | static_cast<std::uint32_t>((y * 16 + 8) << 8) |
               static_cast<std::uint32_t>(tag);
    }
    CD3DTexture* MakePatternTexture(int side, int tag = 0) {
        std::vector<std::uint32_t> texels;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) texels.push_back(PatternTexel(x, y, tag));
        return MakeTexture(side, side, texels);
    }

    CD3DHugeTexture* MakePage(std::uint16_t side) {
        auto* page = new CD3DHugeTexture(&owner_, side, D3DFMT_X8R8G8B8, 0);
        pages_.push_back(page);
        EXPECT_TRUE(page->BindMemoryFromPool());
        return page;
    }

    // Stamps the next sequence number and queues the command into the main viewport.
    bool Submit(STRU_DRAW_COMMAND_BASE* command) {
        command->sequence = Renderer()->NextDrawSequence();
        return viewport_->AddDrawCommand(command);
    }
    void SkipSequences(int count) {
        for (int i = 0; i < count; ++i) Renderer()->NextDrawSequence();
    }

    // One frame; the counters cover only it.
    d3d9ctl::Counters Frame() {
        d3d9ctl::ResetCounters();
        d3d9ctl::ClearCallLog();
        EXPECT_TRUE(RunFrame());
        return d3d9ctl::GetCounters();
    }

    // The presented pixel's colour without its alpha byte.
    std::uint32_t Pixel(int x, int y) const { return WindowPixel(window_, x, y) & 0xFFFFFF; }

    static std::vector<d3d9ctl::CallRecord> Calls(const std::string& method) {
        std::vector<d3d9ctl::CallRecord> calls;
        for (const auto& call : d3d9ctl::CallLog())
            if (call.method == method) calls.push_back(call);
        return calls;
    }

    draw_layer_t* Layer() { return viewport_->GetLayers()->GetDefaultLayer(); }

    viewport_t* viewport_ = nullptr;
    TestTextureOwner owner_;
    std::unique_ptr<CTexturePool> pool_;
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
    std::vector<CD3DTexture*> textures_;
    std::vector<CD3DHugeTexture*> pages_;
};

}  // namespace lumi::test
