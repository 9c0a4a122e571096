#pragma once
// Shared set-up of the batch and layer tests: a renderer over the software device (320x240
// main window), commands queued straight into its main viewport with sequence numbers from
// the renderer, and textures made by the renderer's texture manager. Frames run as a host
// drives them; pixels are read back from the presented window.
#include <gtest/gtest.h>

#include <vector>

#include "core/lumiscriber.h"
#include "core/render_window.h"
#include "core/viewport.h"
#include "draw/batch_processor.h"
#include "draw/d3d_buffers.h"
#include "draw/draw_commands.h"
#include "draw/draw_layer.h"
#include "draw/d3d_texture.h"
#include "draw/layer_map.h"
#include "draw/opaque_processors.h"
#include "draw/tex_mgr.h"
#include "tests/core/renderer_fixture.h"

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
        d3d9ctl::SetCallLogEnabled(true);  // the tests read the device calls
        ASSERT_NE(Create(), nullptr);
        viewport_ = Renderer()->GetCurrentViewport();
        ASSERT_NE(viewport_, nullptr);
        ASSERT_NE(Renderer()->GetTexMgr(), nullptr);
    }

    // The textures go with the renderer.
    void TearDown() override {
        for (STRU_DRAW_COMMAND_BASE* command : commands_) FreeDrawCommand(command);
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

    // A referenced texture with a system copy holding `texels` (row-major ARGB); null
    // `texels` leaves it without memory.
    CD3DTexture* MakeTexture(int width, int height, D3DFORMAT format, const std::vector<std::uint32_t>* texels) {
        CD3DTexture* texture = Renderer()->GetTexMgr()->CreateTexture(
            static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), format, 0, texels != nullptr);
        texture->AddRef();
        if (texels != nullptr) {
            EXPECT_TRUE(texture->UpdateRect(texels->data(), width, height, width * 4, 32, 0, 0));
        }
        return texture;
    }

    // Texel (x, y) of the pattern textures: distinct in every channel.
    static std::uint32_t PatternTexel(int x, int y, int tag = 0) {
        return 0xFF000000u | static_cast<std::uint32_t>((x * 16 + 8) << 16) |
               static_cast<std::uint32_t>((y * 16 + 8) << 8) | static_cast<std::uint32_t>(tag);
    }
    // `side` wide and high in the renderer's normal format, which the atlas pages take at
    // scale 1; else non-square with alpha, which they never take.
    CD3DTexture* MakePatternTexture(int side, int tag = 0, bool packable = false) {
        const int height = packable ? side : side * 2;
        std::vector<std::uint32_t> texels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < side; ++x) texels.push_back(PatternTexel(x, y, tag));
        return MakeTexture(side, height, packable ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8, &texels);
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

    static std::vector<d3d9ctl::CallRecord> Calls(const std::string& method) {
        std::vector<d3d9ctl::CallRecord> calls;
        for (const auto& call : d3d9ctl::CallLog())
            if (call.method == method) calls.push_back(call);
        return calls;
    }

    draw_layer_t* Layer() { return viewport_->GetLayers()->GetDefaultLayer(); }

    viewport_t* viewport_ = nullptr;
    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

}  // namespace lumi::test
