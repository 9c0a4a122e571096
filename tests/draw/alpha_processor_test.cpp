// The alpha-blended path: what it draws (read back from the presented window), how it
// batches (device counters), and how its nodes are recycled.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <tuple>
#include <utility>

#include "draw/alpha_processor.h"
#include "draw/word_tex.h"
#include "tests/draw/batch_test_fixture.h"

namespace lumi::test {
namespace {

// An emitter of one beam of `quads` green quads through the texture (modulated): all on
// pixel (0, 0) but the last.
class FakeEmitter final : public IAlphaBatchEmitter, public IAlphaBatchBeam {
public:
    bool IsLoaded() override { return true; }
    std::int32_t GetBeamCount() override { return 1; }
    IAlphaBatchBeam* GetBeam(std::int32_t) override { return this; }
    bool IsDrawn() override { return true; }
    CD3DTexture* GetDrawTexture() override { return texture; }
    bool IsSameRenderState(const STRU_DRAW_PRIMITIVE& record) override {
        return record.colorOp == D3DTOP_MODULATE && record.alphaOp == D3DTOP_MODULATE && record.pixelShader == nullptr;
    }
    void AppendToBatch(PrimitiveData& node, bool newNode, const viewport_t& viewport, float) override {
        if (newNode) {
            *node.record = STRU_DRAW_PRIMITIVE();
            node.record->colorOp = node.record->alphaOp = D3DTOP_MODULATE;
            node.record->texture = texture;
        }
        const clip_space_t clip = ClipSpaceOf(&viewport);
        for (int i = 0; i < quads; ++i) {
            const RECT r = i + 1 == quads ? lastRect : RECT{0, 0, 1, 1};
            vertex_t* quad = node.AddQuad();
            for (int k = 0; k < 4; ++k) {
                quad[k] = {clip.X(static_cast<float>(k & 1 ? r.right : r.left)),
                           clip.Y(static_cast<float>(k & 2 ? r.bottom : r.top)), 0.5f, 0xFF00FF00,
                           k & 1 ? 1.0f : 0.0f, k & 2 ? 1.0f : 0.0f};
            }
        }
    }

    CD3DTexture* texture = nullptr;
    int quads = 1;
    RECT lastRect{};
};

class AlphaProcessorTest : public BatchTest {
protected:
    static constexpr D3DCOLOR kTexel = 0xFF806040;
    static constexpr D3DCOLOR kDiffuse = 0xFF402010;

    void SetUp() override {
        BatchTest::SetUp();
        InstallProcessor();
        // The emitter pointer stands for its beams.
        SetAlphaBatchEmitterFn(
            [](CParticleEmitter* emitter) -> IAlphaBatchEmitter* { return reinterpret_cast<FakeEmitter*>(emitter); });
    }

    void TearDown() override {
        SetAlphaBatchEmitterFn(nullptr);
        BatchTest::TearDown();
    }

    // The layer's alpha processor, made here while the layer has none of its own.
    void InstallProcessor() {
        draw_layer_t* layer = Layer();
        if (layer->alphaProcessor == nullptr) layer->alphaProcessor = new CAlphaBlendDrawCmdBatchProcessor(Renderer());
        alpha_ = dynamic_cast<CAlphaBlendDrawCmdBatchProcessor*>(layer->alphaProcessor);
        ASSERT_NE(alpha_, nullptr);
    }

    // A new renderer (the textures made so far go with the old one).
    void RecreateWithPixelShaderVersion(DWORD version) {
        Release();
        D3DCAPS9 caps = d3d9ctl::DefaultCaps();
        caps.PixelShaderVersion = version;
        d3d9ctl::SetCaps(0, caps);
        ASSERT_NE(Create(), nullptr);
        viewport_ = Renderer()->GetCurrentViewport();
        InstallProcessor();
    }

    STRU_RECT_COMMAND* Blended(CD3DTexture* texture, RECT destination, std::int32_t flags = kDrawFlagAlpha,
                               D3DCOLOR color = 0xFFFFFFFF) {
        STRU_RECT_COMMAND* rect = Textured(texture, {0, 0, 4, 4}, destination);
        rect->flags = flags;
        rect->color = color;
        return rect;
    }
    template <class T>
    T* Translucent(T* command, std::int32_t flags = kDrawFlagAlpha) {
        command->flags = flags;
        return command;
    }

    // 4 x 8 A8R8G8B8 of one texel value: no atlas page takes it.
    CD3DTexture* MakeArgbTexture(std::uint32_t texel) {
        const std::vector<std::uint32_t> texels(32, texel);
        return MakeTexture(4, 8, D3DFMT_A8R8G8B8, &texels);
    }

    STRU_PARTICLE_COMMAND* Particles(FakeEmitter* emitter) {
        STRU_PARTICLE_COMMAND* command = Keep(AllocParticleCommand());
        command->emitter = reinterpret_cast<CParticleEmitter*>(emitter);
        return command;
    }

    CAlphaBlendDrawCmdBatchProcessor* alpha_ = nullptr;
};

// Each channel within `tolerance` of the expected RGB.
::testing::AssertionResult Near(std::uint32_t actual, std::uint32_t expected, int tolerance = 2) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) >
            tolerance) {
            char text[64];
            std::snprintf(text, sizeof(text), "got 0x%06X, expected 0x%06X", actual, expected);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

std::uint32_t PerChannel(std::uint32_t a, std::uint32_t b, const std::function<double(double, double)>& op) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double v = std::clamp(op(((a >> shift) & 0xFF) / 255.0, ((b >> shift) & 0xFF) / 255.0), 0.0, 1.0);
        out |= static_cast<std::uint32_t>(std::lround(v * 255.0)) << shift;
    }
    return out;
}

TEST_F(AlphaProcessorTest, TranslucentShapesBlendInSubmissionOrderBehindLaterOpaqueOnes) {
    Submit(Rect({10, 10, 30, 30}, kGreen));
    SkipSequences(kDepthGap);
    Submit(Translucent(Rect({20, 10, 40, 30}, 0x80FF0000)));
    SkipSequences(kDepthGap);
    Submit(Translucent(Triangle(30, 10, 50, 10, 30, 30, 0x800000FF)));
    SkipSequences(kDepthGap);
    Submit(Rect({45, 10, 60, 30}, 0xFFFFFFFF));
    Frame();
    EXPECT_TRUE(Near(Pixel(25, 12), 0x807F00)) << "red over the earlier opaque green";
    EXPECT_TRUE(Near(Pixel(35, 12), 0x400080)) << "blue over red over black";
    EXPECT_TRUE(Near(Pixel(42, 12), 0x000080)) << "blue alone";
    EXPECT_EQ(Pixel(47, 11), 0xFFFFFFu) << "the later opaque rectangle hides the earlier blue";
}

TEST_F(AlphaProcessorTest, FlagsSelectTheColourOperationOfATexturedRectangle) {
    const std::vector<std::pair<std::int32_t, std::function<double(double, double)>>> cases = {
        {0, [](double t, double) { return t; }},
        {kDrawFlagModulate, [](double t, double d) { return t * d; }},
        {kDrawFlagAdd, [](double t, double d) { return t + d; }},
        {kDrawFlagSubtract, [](double t, double d) { return t - d; }},
        {kDrawFlagAddSigned, [](double t, double d) { return t + d - 0.5; }},
        {kDrawFlagAddSmooth, [](double t, double d) { return t + d - t * d; }},
        {0x400000, [](double t, double) { return t; }},  // unknown: the texel
    };
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const LONG x = 10 + static_cast<LONG>(i) * 10;
        Submit(Blended(texture, {x, 10, x + 4, 14}, cases[i].first | kDrawFlagAlpha, kDiffuse));
    }
    // A mask: the command's colour through the texture's alpha, whatever the flags.
    CD3DTexture* mask = MakeArgbTexture(0x00FFFFFF);
    const std::vector<std::uint32_t> opaqueRows(8, 0xFFFFFFFF);
    ASSERT_TRUE(mask->UpdateRect(opaqueRows.data(), 4, 2, 16, 32, 0, 0));
    mask->SetNotPackable(true);
    Submit(Blended(mask, {10, 30, 14, 34}, kDrawFlagAdd | kDrawFlagAlpha, kDiffuse));
    // A translucent diffuse colour blends the result with what lies below.
    Submit(Rect({30, 30, 34, 34}, kRed));
    SkipSequences(kDepthGap);
    Submit(Blended(texture, {30, 30, 34, 34}, kDrawFlagModulate | kDrawFlagAlpha, 0x80FFFFFF));

    EXPECT_EQ(Frame().drawCalls, 1u + cases.size() + 2u) << "the opaque rectangle, then a node per flags";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_TRUE(Near(Pixel(11 + static_cast<int>(i) * 10, 11), PerChannel(kTexel, kDiffuse, cases[i].second)))
            << "flags " << cases[i].first;
    }
    EXPECT_TRUE(Near(Pixel(11, 30), kDiffuse & 0xFFFFFF)) << "mask texel with alpha";
    EXPECT_EQ(Pixel(11, 33), kBackground) << "mask texel without alpha";
    EXPECT_TRUE(Near(Pixel(31, 31), 0xBF3020)) << "half of the texel over red";
}

TEST_F(AlphaProcessorTest, GreyModeDrawsLuminanceThroughThePixelShaderOrTheTexelWithoutIt) {
    const auto grey = static_cast<std::uint32_t>(std::lround(0x80 * 0.2125 + 0x60 * 0.7154 + 0x40 * 0.0721));
    for (DWORD version : {D3DPS_VERSION(1, 1), D3DPS_VERSION(1, 0)}) {
        const bool shader = version == D3DPS_VERSION(1, 1);
        SCOPED_TRACE(shader ? "ps 1.1" : "ps 1.0");
        RecreateWithPixelShaderVersion(version);
        // The flags grey mode gives every command; untextured shapes keep their colour.
        ASSERT_TRUE(Submit(Blended(MakeArgbTexture(kTexel), {10, 10, 14, 14}, kDrawFlagsGreyMode)));
        Submit(Translucent(Rect({20, 10, 24, 14}, 0x80FF0000), kDrawFlagsGreyMode));
        Frame();
        EXPECT_TRUE(Near(Pixel(11, 11), shader ? grey << 16 | grey << 8 | grey : kTexel & 0xFFFFFF));
        EXPECT_TRUE(Near(Pixel(21, 11), 0x800000));
        EXPECT_EQ(Calls("SetPixelShader").size(), shader ? 2u : 0u) << "the grey shader on, then off again";
    }
}

TEST_F(AlphaProcessorTest, CommandsJoinOnlyTheLastNodeOfTheSameTypeFlagsAndTexture) {
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    CD3DTexture* other = MakeArgbTexture(0xFF102030);
    auto rects = [&](int count) {
        for (int i = 0; i < count; ++i) Submit(Translucent(Rect({0, 0, 4, 4}, 0x80FF0000)));
    };
    auto triangles = [&](int count) {
        for (int i = 0; i < count; ++i) Submit(Translucent(Triangle(0, 0, 4, 0, 0, 4, 0x80FF0000)));
    };
    const std::vector<std::tuple<const char*, std::function<void()>, std::uint32_t>> cases = {
        {"fifty quads of one texture and flags",
         [&] { for (LONG i = 0; i < 50; ++i) Submit(Blended(texture, {i, 0, i + 4, 4})); }, 1},
        {"flags differ",
         [&] {
             Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagModulate | kDrawFlagAlpha));
             Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagAdd | kDrawFlagAlpha));
         }, 2},
        {"textures differ, then the first again",
         [&] {
             for (CD3DTexture* t : {texture, other, texture}) Submit(Blended(t, {0, 0, 4, 4}));
         }, 3},
        {"one record submitted again with other flags",
         [&] {
             STRU_RECT_COMMAND* rect = Blended(texture, {0, 0, 4, 4}, kDrawFlagModulate | kDrawFlagAlpha);
             Submit(rect);
             rect->flags = kDrawFlagAdd | kDrawFlagAlpha;
             Submit(rect);
         }, 2},
        {"a triangle between two rectangles", [&] { rects(1); triangles(1); rects(1); }, 3},
        {"two rectangles in a row", [&] { rects(2); }, 1},
        {"342 triangles: 1,023 vertices still take one more", [&] { triangles(342); }, 1},
        {"343 triangles", [&] { triangles(343); }, 2},
        {"257 rectangles: the last finds 1,024 vertices", [&] { rects(257); }, 2},
    };
    for (const auto& [what, submit, drawCalls] : cases) {
        submit();
        EXPECT_EQ(Frame().drawCalls, drawCalls) << what;
        EXPECT_EQ(Calls("Lock").size(), 2u) << what << ": one upload per buffer";
    }
}

TEST_F(AlphaProcessorTest, TexturesOfOneAtlasPageShareANodeAtScaleOne) {
    CD3DTexture* a = MakePatternTexture(4, 0x11, true);
    CD3DTexture* b = MakePatternTexture(4, 0x22, true);
    STRU_RECT_COMMAND* first = Translucent(Textured(a, {1, 1, 3, 3}, {10, 10, 12, 12}));
    STRU_RECT_COMMAND* second = Translucent(Textured(b, {0, 0, 4, 4}, {20, 10, 24, 14}));
    Submit(first);
    Submit(second);
    EXPECT_EQ(Frame().drawCalls, 1u) << "one page, one node";
    EXPECT_TRUE(Near(Pixel(10, 10), PatternTexel(1, 1, 0x11) & 0xFFFFFF, 1));
    EXPECT_TRUE(Near(Pixel(23, 13), PatternTexel(3, 3, 0x22) & 0xFFFFFF, 1));
    EXPECT_EQ(a->GetD3DTexture(), nullptr) << "drawn from the page, its own video copy is given back";

    Renderer()->GetMainRenderWindow()->SetScale(2.0f);
    Submit(first);
    Submit(second);
    EXPECT_EQ(Frame().drawCalls, 2u) << "each texture by itself away from scale 1";
    EXPECT_NE(a->GetD3DTexture(), nullptr);

    // Batched by itself, then from the page in the same frame: it still has pixels to draw.
    Submit(Translucent(Textured(b, {0, 0, 4, 4}, {0, 0, 4, 4})));
    Renderer()->GetMainRenderWindow()->SetScale(1.0f);
    Submit(Translucent(Textured(b, {0, 0, 4, 4}, {40, 0, 44, 4})));
    Frame();
    EXPECT_TRUE(Near(Pixel(0, 0), PatternTexel(0, 0, 0x22) & 0xFFFFFF, 1)) << "scaled by 2 from its own copy";
    EXPECT_TRUE(Near(Pixel(43, 3), PatternTexel(3, 3, 0x22) & 0xFFFFFF, 1));
}

TEST_F(AlphaProcessorTest, StatesAreSetOnlyWhenTheyDifferAndNothingHappensWithoutNodes) {
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    Submit(Blended(texture, {0, 0, 4, 4}));
    Renderer()->GetDevice()->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    Frame();
    const auto first = Calls("SetRenderState");
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), [](const auto& call) { return call.args == "27, 1"; }))
        << "blending switched on";

    Submit(Blended(texture, {0, 0, 4, 4}));
    Frame();
    for (const char* call : {"SetRenderState", "SetTextureStageState", "SetSamplerState", "SetPixelShader"})
        EXPECT_TRUE(Calls(call).empty()) << call;
    EXPECT_EQ(Calls("SetTexture").size(), 1u);

    EXPECT_EQ(Frame().drawCalls, 0u);
    EXPECT_TRUE(Calls("SetRenderState").empty());
    EXPECT_TRUE(Calls("Lock").empty());
}

TEST_F(AlphaProcessorTest, ResetFreesTheFramesNodesAndAgesIdleOnesOutOneAtATime) {
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    for (int i = 0; i < 5; ++i) {
        Submit(Translucent(Rect({0, 0, 4, 4}, 0x80FF0000)));
        Submit(Blended(texture, {0, 0, 4, 4}));
    }
    EXPECT_EQ(alpha_->GetActiveCount(), 10);
    Frame();
    ASSERT_EQ(alpha_->GetActiveCount(), 0);
    ASSERT_EQ(alpha_->GetFreeCount(), 10);
    const std::uint32_t stamp = g_FrameTimeMs;
    const lru_list_t& freeNodes = alpha_->GetFreeNodes();
    for (lru_obj_s* node = freeNodes.next; node != &freeNodes; node = node->next) {
        const PrimitiveData* data = PrimitiveData::FromNode(node);
        EXPECT_EQ(data->firstCommand, nullptr) << "no command outlives its frame in a node";
        EXPECT_EQ(data->texture, nullptr);
        EXPECT_EQ(data->record->texture, nullptr);
    }

    // A node taken again draws only what this frame gave it.
    Submit(Translucent(Rect({20, 20, 24, 24}, 0xFFFF0000)));
    EXPECT_EQ(alpha_->GetFreeCount(), 9);
    EXPECT_EQ(Frame().primitives, 2u);
    EXPECT_EQ(Pixel(1, 1), kBackground);
    EXPECT_EQ(alpha_->GetFreeCount(), 10);

    // Every free node went idle at `stamp`: past 1.5 s, one goes per frame.
    int aged = 0;
    for (int frame = 0; frame < 20; ++frame) {
        clock_.Advance(100);
        Frame();
        if (g_FrameTimeMs - stamp > CAlphaBlendDrawCmdBatchProcessor::kNodeIdleMs) ++aged;
        ASSERT_EQ(alpha_->GetFreeCount(), 10 - aged) << "at " << g_FrameTimeMs - stamp << " ms";
    }
    EXPECT_EQ(aged, 5);
}

TEST_F(AlphaProcessorTest, ParticleBeamsExtendAMatchingNodeAndDrawPast65536VerticesInRanges) {
    CD3DTexture* texture = MakeArgbTexture(0xFFFFFFFF);
    FakeEmitter emitter;
    emitter.texture = texture;
    emitter.lastRect = {40, 40, 44, 44};
    // A modulated textured rectangle opened the node; the beam's states match it.
    Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagModulate | kDrawFlagAlpha, kBlue));
    EXPECT_TRUE(Submit(Particles(&emitter)));
    EXPECT_EQ(alpha_->GetActiveCount(), 1);
    EXPECT_EQ(Frame().drawCalls, 1u);
    EXPECT_EQ(Pixel(41, 41), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 1), 0x0000FFu);

    emitter.quads = 65536 / 4 + 1;
    emitter.lastRect = {100, 100, 104, 104};
    EXPECT_TRUE(Submit(Particles(&emitter)));
    EXPECT_EQ(alpha_->GetVertexBytes(), static_cast<std::uint32_t>(emitter.quads) * 4 * 24);
    EXPECT_EQ(alpha_->GetIndexBytes(), static_cast<std::uint32_t>(emitter.quads) * 6 * 2);
    const d3d9ctl::Counters counters = Frame();
    EXPECT_EQ(counters.drawCalls, 2u);
    EXPECT_EQ(counters.primitives, static_cast<std::uint64_t>(emitter.quads) * 2);
    EXPECT_EQ(Pixel(101, 101), 0x00FF00u) << "the quad past the first 65,536 vertices";
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());

    SetAlphaBatchEmitterFn(nullptr);
    EXPECT_FALSE(Submit(Particles(&emitter))) << "dropped while the particle work is not installed";
}

TEST_F(AlphaProcessorTest, OutlinedGlyphsDrawFourOutlineQuadsBehindEachGlyph) {
    CD3DTexture* page = MakeArgbTexture(0x00FFFFFF);
    const std::vector<std::uint32_t> glyphTexels(4, 0xFFFFFFFF);
    ASSERT_TRUE(page->UpdateRect(glyphTexels.data(), 2, 2, 8, 32, 0, 0));
    CWordTex glyph(nullptr, nullptr);
    glyph.Place(nullptr, RECT{0, 0, 2, 2});
    STRU_WORD_DRAW word;
    word.word = &glyph;
    word.rect = {50, 50, 52, 52};
    txt_drawlist_t list;
    list.command.type = kDrawCmdText;
    list.command.flags = kDrawFlagAlpha;
    list.command.texture = page;
    list.command.color = kRed;
    list.command.outlineStyle = 2;
    list.command.outlineColor = kBlue;
    list.command.words.PushBack(&word);

    EXPECT_TRUE(Submit(&list.command));
    EXPECT_EQ(alpha_->GetVertexBytes(), 20u * 24u) << "four outline quads and the glyph";
    Frame();
    EXPECT_EQ(Pixel(50, 50), 0xFF0000u);
    EXPECT_EQ(Pixel(51, 51), 0xFF0000u);
    const std::pair<int, int> outlined[] = {{49, 50}, {52, 51}, {50, 49}, {51, 52}};
    for (const auto& [x, y] : outlined) EXPECT_EQ(Pixel(x, y), 0x0000FFu) << x << "," << y;
    EXPECT_EQ(Pixel(49, 49), kBackground);

    EXPECT_FALSE(Submit(Keep(AllocTextCommand()))) << "the host's own text record has no page";
    word.Unlink();
}

}  // namespace
}  // namespace lumi::test
