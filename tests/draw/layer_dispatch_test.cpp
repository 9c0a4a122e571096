// Which processor a queued command reaches, and what is refused on the way.
#include "core/exception.h"
#include "tests/draw/batch_test_fixture.h"

namespace lumi::test {
namespace {

using LayerDispatchTest = BatchTest;

// Vertex bytes each processor holds, in flush order.
std::vector<std::uint32_t> BytesPerProcessor(draw_layer_t* layer) {
    std::vector<std::uint32_t> bytes;
    for (int i = 0; i < draw_layer_t::kProcessorCount; ++i) {
        const CDrawCmdBatchProcessor* processor = layer->Processor(i);
        bytes.push_back(processor != nullptr ? processor->GetVertexBytes() : 0);
    }
    return bytes;
}

TEST_F(LayerDispatchTest, CommandsReachTheProcessorOfTheirTypeAndFlags) {
    struct Case {
        const char* what;
        STRU_DRAW_COMMAND_BASE* command;
        bool batched;
        std::vector<std::uint32_t> vertexBytes;  // added per processor
    };
    CD3DTexture* texture = MakePatternTexture(4);
    STRU_TRI_COMMAND* translucentOutline = Triangle(0, 0, 5, 0, 0, 5, 0x80FFFFFF, false);
    translucentOutline->flags = kDrawFlagAlpha;
    STRU_TRI_COMMAND* translucentTriangle = Triangle(0, 0, 5, 0, 0, 5, 0x80FFFFFF);
    translucentTriangle->flags = kDrawFlagAlpha;
    STRU_RECT_COMMAND* translucentRect = Rect({0, 0, 5, 5}, 0x80FFFFFF);
    translucentRect->flags = kDrawFlagAlpha;
    STRU_RECT_COMMAND* blendedTexture = Textured(texture, {0, 0, 4, 4}, {0, 0, 4, 4});
    blendedTexture->flags = kDrawFlagAlpha;
    STRU_RECT_COMMAND* typeFour = Rect({0, 0, 5, 5}, kRed);
    typeFour->type = 4;
    const std::vector<Case> cases = {
        {"point", Point(1, 1, kRed), true, {24, 0, 0, 0, 0, 0}},
        {"two segments", Lines({{0, 0, 1, 1}, {2, 2, 3, 3}}, kRed), true, {0, 96, 0, 0, 0, 0}},
        {"translucent outline triangle", translucentOutline, true, {0, 144, 0, 0, 0, 0}},
        {"outline rectangle", Rect({0, 0, 5, 5}, kRed, false), true, {0, 192, 0, 0, 0, 0}},
        {"filled triangle", Triangle(0, 0, 5, 0, 0, 5, kRed), true, {0, 0, 72, 0, 0, 0}},
        {"filled rectangle", Rect({0, 0, 5, 5}, kRed), true, {0, 0, 0, 96, 0, 0}},
        {"textured rectangle", Textured(texture, {0, 0, 4, 4}, {0, 0, 4, 4}), true, {0, 0, 0, 0, 96, 0}},
        {"translucent triangle", translucentTriangle, true, {0, 0, 0, 0, 0, 72}},
        {"translucent rectangle", translucentRect, true, {0, 0, 0, 0, 0, 96}},
        {"blended texture", blendedTexture, true, {0, 0, 0, 0, 0, 96}},
        {"text", Keep(AllocTextCommand()), false, {0, 0, 0, 0, 0, 0}},
        {"type 4", typeFour, false, {0, 0, 0, 0, 0, 0}},
        {"null", nullptr, false, {0, 0, 0, 0, 0, 0}},
        {"scratch value", ScratchCommand(), false, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint32_t> before = BytesPerProcessor(Layer());
        EXPECT_EQ(viewport_->AddDrawCommand(c.command), c.batched) << c.what;
        const std::vector<std::uint32_t> after = BytesPerProcessor(Layer());
        for (int i = 0; i < draw_layer_t::kProcessorCount; ++i)
            EXPECT_EQ(after[i] - before[i], c.vertexBytes[i]) << c.what << ", processor " << i;
    }
    EXPECT_EQ(translucentOutline->flags, kDrawFlagAlpha) << "flags untouched without grey mode";

    Frame();
    EXPECT_EQ(BytesPerProcessor(Layer()), std::vector<std::uint32_t>(6, 0)) << "reset at the frame end";
}

TEST_F(LayerDispatchTest, RefusedCommandsAndLostDevices) {
    // A command still in some list may be freed by that list's owner before the flush.
    lru_list_t list;
    STRU_POINT_COMMAND* linked = Point(1, 1, kRed);
    list.PushBack(&linked->node);
    try {
        viewport_->AddDrawCommand(linked);
        ADD_FAILURE() << "a linked command was queued";
    } catch (const lumi::Exception& error) {
        EXPECT_STREQ(error.what(), "invalid param");
    }
    linked->node.Unlink();

    // A texture without pixels cannot be drawn yet: dropped for this frame.
    CD3DTexture* empty = MakeTexture(4, 4, D3DFMT_X8R8G8B8, nullptr);
    EXPECT_FALSE(viewport_->AddDrawCommand(Textured(empty, {0, 0, 4, 4}, {0, 0, 4, 4})));
    STRU_RECT_COMMAND* untextured = Textured(nullptr, {0, 0, 4, 4}, {0, 0, 4, 4});
    EXPECT_FALSE(viewport_->AddDrawCommand(untextured));

    Renderer()->EnterLostState();
    EXPECT_FALSE(viewport_->AddDrawCommand(Point(2, 2, kRed)));
    std::uint32_t vertexBytes = 1;
    std::uint32_t indexBytes = 1;
    viewport_->GetDrawStats(&vertexBytes, &indexBytes);
    EXPECT_EQ(vertexBytes, 0u);
    EXPECT_EQ(indexBytes, 0u);
}

}  // namespace
}  // namespace lumi::test
