// The alpha-blended path: what it draws (read back from the presented window), how it
// batches (device counters), and how its nodes are recycled.
#include <cmath>
#include <cstdlib>
#include <functional>

#include "draw/alpha_processor.h"
#include "tests/draw/batch_test_fixture.h"

namespace lumi::test {
namespace {

// A beam of fake particles: `quads` quads over one destination rectangle, the last one over
// `lastRect`, all in `color` through the texture (modulated).
class FakeBeam final : public IAlphaBatchBeam {
public:
    bool IsDrawn() override { return true; }
    CD3DTexture* GetDrawTexture() override { return texture; }
    bool IsSameRenderState(const STRU_DRAW_PRIMITIVE& record) override {
        return record.primitiveType == D3DPT_TRIANGLELIST && record.colorOp == D3DTOP_MODULATE &&
               record.alphaOp == D3DTOP_MODULATE && record.sourceBlend == D3DBLEND_SRCALPHA &&
               record.destinationBlend == D3DBLEND_INVSRCALPHA && record.blendOp == D3DBLENDOP_ADD &&
               record.cullMode == D3DCULL_CCW && record.pixelShader == nullptr;
    }
    void AppendToBatch(PrimitiveData& node, bool newNode, const viewport_t& viewport) override {
        ++appends;
        if (newNode) {
            STRU_DRAW_PRIMITIVE& record = *node.record;
            record = STRU_DRAW_PRIMITIVE();
            record.colorOp = D3DTOP_MODULATE;
            record.alphaOp = D3DTOP_MODULATE;
            record.sourceBlend = D3DBLEND_SRCALPHA;
            record.destinationBlend = D3DBLEND_INVSRCALPHA;
            record.texture = texture;
        }
        const clip_space_t clip = ClipSpaceOf(&viewport);
        for (int i = 0; i < quads; ++i) {
            const RECT& r = i + 1 == quads ? lastRect : rect;
            const float xs[4] = {clip.X(r.left), clip.X(r.right), clip.X(r.left), clip.X(r.right)};
            const float ys[4] = {clip.Y(r.top), clip.Y(r.top), clip.Y(r.bottom), clip.Y(r.bottom)};
            vertex_t* quad = node.AddQuad();
            for (int k = 0; k < 4; ++k) quad[k] = {xs[k], ys[k], 0.5f, color, (k & 1) ? 1.0f : 0.0f, (k & 2) ? 1.0f : 0.0f};
        }
    }

    CD3DTexture* texture = nullptr;
    int quads = 1;
    RECT rect{0, 0, 1, 1};
    RECT lastRect{0, 0, 1, 1};
    D3DCOLOR color = 0xFF00FF00;
    int appends = 0;
};

class FakeEmitter final : public IAlphaBatchEmitter {
public:
    bool IsLoaded() override { return true; }
    std::int32_t GetBeamCount() override { return static_cast<std::int32_t>(beams.size()); }
    IAlphaBatchBeam* GetBeam(std::int32_t index) override { return beams[static_cast<std::size_t>(index)]; }
    std::vector<FakeBeam*> beams;
};

class AlphaProcessorTest : public BatchTest {
protected:
    // Texel, diffuse colour and what a stage operation makes of each channel.
    static constexpr D3DCOLOR kTexel = 0xFF806040;
    static constexpr D3DCOLOR kDiffuse = 0xFF402010;

    void SetUp() override {
        BatchTest::SetUp();
        InstallProcessor();
        SetGlyphPageRectFn([](const CWordTex* glyph) { return reinterpret_cast<const RECT*>(glyph); });
        SetAlphaBatchEmitterFn(
            [](CParticleEmitter* emitter) -> IAlphaBatchEmitter* { return reinterpret_cast<FakeEmitter*>(emitter); });
    }

    void TearDown() override {
        SetGlyphPageRectFn(nullptr);
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

    STRU_RECT_COMMAND* Blended(CD3DTexture* texture, RECT destination, std::int32_t flags, D3DCOLOR color) {
        STRU_RECT_COMMAND* rect = Textured(texture, {0, 0, 4, 4}, destination);
        rect->flags = flags;
        rect->color = color;
        return rect;
    }
    template <class T>
    T* Translucent(T* command) {
        command->flags = kDrawFlagAlpha;
        return command;
    }

    // A 4 x 8 A8R8G8B8 texture of one texel value: no atlas page takes it.
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
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) {
            return ::testing::AssertionFailure() << std::hex << "got 0x" << actual << ", expected 0x" << expected;
        }
    }
    return ::testing::AssertionSuccess();
}

std::uint32_t PerChannel(std::uint32_t a, std::uint32_t b, const std::function<double(double, double)>& op) {
    std::uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double x = ((a >> shift) & 0xFF) / 255.0;
        const double y = ((b >> shift) & 0xFF) / 255.0;
        const double v = std::clamp(op(x, y), 0.0, 1.0);
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
    EXPECT_EQ(Pixel(15, 12), 0x00FF00u);
}

TEST_F(AlphaProcessorTest, FlagsSelectTheColourOperationOfATexturedRectangle) {
    struct Case {
        std::int32_t flags;
        std::function<double(double, double)> op;  // texel, diffuse
    };
    const std::vector<Case> cases = {
        {kDrawFlagAlpha, [](double t, double) { return t; }},
        {kDrawFlagModulate | kDrawFlagAlpha, [](double t, double d) { return t * d; }},
        {kDrawFlagAdd | kDrawFlagAlpha, [](double t, double d) { return t + d; }},
        {kDrawFlagSubtract | kDrawFlagAlpha, [](double t, double d) { return t - d; }},
        {kDrawFlagAddSigned | kDrawFlagAlpha, [](double t, double d) { return t + d - 0.5; }},
        {kDrawFlagAddSmooth | kDrawFlagAlpha, [](double t, double d) { return t + d - t * d; }},
        {0x400000 | kDrawFlagAlpha, [](double t, double) { return t; }},  // unknown: the texel
    };
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const LONG x = 10 + static_cast<LONG>(i) * 10;
        Submit(Blended(texture, {x, 10, x + 4, 14}, cases[i].flags, kDiffuse));
    }
    // A mask texture: the command's colour through the texture's alpha, whatever the flags.
    CD3DTexture* mask = MakeArgbTexture(0x00FFFFFF);
    std::vector<std::uint32_t> opaqueHalf(8, 0xFFFFFFFF);
    ASSERT_TRUE(mask->UpdateRect(opaqueHalf.data(), 4, 2, 16, 32, 0, 0));
    mask->SetNotPackable(true);
    Submit(Blended(mask, {10, 30, 14, 34}, kDrawFlagAdd | kDrawFlagAlpha, kDiffuse));
    // A translucent diffuse colour blends the result with what lies below.
    Submit(Rect({30, 30, 34, 34}, kRed));
    SkipSequences(kDepthGap);
    Submit(Blended(texture, {30, 30, 34, 34}, kDrawFlagModulate | kDrawFlagAlpha, 0x80FFFFFF));

    const d3d9ctl::Counters counters = Frame();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int x = 11 + static_cast<int>(i) * 10;
        EXPECT_TRUE(Near(Pixel(x, 11), PerChannel(kTexel, kDiffuse, cases[i].op))) << "case " << i;
    }
    EXPECT_TRUE(Near(Pixel(11, 30), kDiffuse & 0xFFFFFF)) << "mask texel with alpha";
    EXPECT_EQ(Pixel(11, 33), kBackground) << "mask texel without alpha";
    EXPECT_TRUE(Near(Pixel(31, 31), 0xBF3020)) << "half of the texel over red";
    EXPECT_EQ(counters.drawCalls, 1u + cases.size() + 1u + 1u) << "opaque rectangle, then one node per flags";
}

TEST_F(AlphaProcessorTest, GreyModeDrawsLuminanceThroughThePixelShaderOrTheTexelWithoutIt) {
    const auto grey = static_cast<std::uint32_t>(std::lround(0x80 * 0.2125 + 0x60 * 0.7154 + 0x40 * 0.0721));
    const std::uint32_t luminance = grey << 16 | grey << 8 | grey;
    for (DWORD version : {D3DPS_VERSION(1, 1), D3DPS_VERSION(1, 0)}) {
        SCOPED_TRACE(version == D3DPS_VERSION(1, 1) ? "ps 1.1" : "ps 1.0");
        RecreateWithPixelShaderVersion(version);
        const bool shader = version == D3DPS_VERSION(1, 1);
        CD3DTexture* texture = MakeArgbTexture(kTexel);
        // The flags grey mode gives every command.
        ASSERT_TRUE(Submit(Blended(texture, {10, 10, 14, 14}, kDrawFlagsGreyMode, 0xFFFFFFFF)));
        STRU_RECT_COMMAND* rect = Rect({20, 10, 24, 14}, 0x80FF0000);
        rect->flags = kDrawFlagsGreyMode;
        Submit(rect);  // untextured shapes keep their colour
        Frame();
        EXPECT_TRUE(Near(Pixel(11, 11), shader ? luminance : kTexel & 0xFFFFFF));
        EXPECT_TRUE(Near(Pixel(21, 11), 0x800000));
        EXPECT_EQ(Calls("SetPixelShader").size(), shader ? 2u : 0u) << "the grey shader on, then off again";
    }
}

TEST_F(AlphaProcessorTest, NodesJoinOnlyTheLastOneOfTheSameTypeFlagsAndTexture) {
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    CD3DTexture* other = MakeArgbTexture(0xFF102030);
    struct Case {
        const char* what;
        std::function<void()> submit;
        std::uint32_t drawCalls;
    };
    const std::vector<Case> cases = {
        {"fifty quads of one texture and flags",
         [&] {
             for (LONG i = 0; i < 50; ++i) Submit(Blended(texture, {i, 0, i + 4, 4}, kDrawFlagAlpha, 0xFFFFFFFF));
         },
         1},
        {"flags differ", [&] {
             Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagModulate | kDrawFlagAlpha, 0xFFFFFFFF));
             Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagAdd | kDrawFlagAlpha, 0xFFFFFFFF));
         }, 2},
        {"textures differ, then the first again", [&] {
             Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagAlpha, 0xFFFFFFFF));
             Submit(Blended(other, {0, 0, 4, 4}, kDrawFlagAlpha, 0xFFFFFFFF));
             Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagAlpha, 0xFFFFFFFF));
         }, 3},
        {"a triangle between two rectangles", [&] {
             Submit(Translucent(Rect({0, 0, 4, 4}, 0x80FF0000)));
             Submit(Translucent(Triangle(0, 0, 4, 0, 0, 4, 0x80FF0000)));
             Submit(Translucent(Rect({0, 0, 4, 4}, 0x80FF0000)));
         }, 3},
        {"two rectangles in a row", [&] {
             Submit(Translucent(Rect({0, 0, 4, 4}, 0x80FF0000)));
             Submit(Translucent(Rect({4, 0, 8, 4}, 0x80FF0000)));
         }, 1},
        {"342 triangles: 1,023 vertices still take one more", [&] {
             for (int i = 0; i < 342; ++i) Submit(Translucent(Triangle(0, 0, 4, 0, 0, 4, 0x80FF0000)));
         }, 1},
        {"343 triangles", [&] {
             for (int i = 0; i < 343; ++i) Submit(Translucent(Triangle(0, 0, 4, 0, 0, 4, 0x80FF0000)));
         }, 2},
        {"257 rectangles: the last finds 1,024 vertices", [&] {
             for (int i = 0; i < 257; ++i) Submit(Translucent(Rect({0, 0, 4, 4}, 0x80FF0000)));
         }, 2},
    };
    for (const Case& c : cases) {
        c.submit();
        const d3d9ctl::Counters counters = Frame();
        EXPECT_EQ(counters.drawCalls, c.drawCalls) << c.what;
        EXPECT_EQ(Calls("Lock").size(), 2u) << c.what << ": one upload per buffer";
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
}

TEST_F(AlphaProcessorTest, StatesAreSetOnlyWhenTheyDifferAndNothingHappensWithoutNodes) {
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagAlpha, 0xFFFFFFFF));
    Renderer()->GetDevice()->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    Frame();
    const auto first = Calls("SetRenderState");
    EXPECT_NE(std::find_if(first.begin(), first.end(), [](const auto& call) { return call.args == "27, 1"; }),
              first.end())
        << "blending switched on";

    Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagAlpha, 0xFFFFFFFF));
    Frame();
    EXPECT_TRUE(Calls("SetRenderState").empty());
    EXPECT_TRUE(Calls("SetTextureStageState").empty());
    EXPECT_TRUE(Calls("SetSamplerState").empty());
    EXPECT_TRUE(Calls("SetPixelShader").empty());
    EXPECT_EQ(Calls("SetTexture").size(), 1u);

    const d3d9ctl::Counters empty = Frame();
    EXPECT_EQ(empty.drawCalls, 0u);
    EXPECT_TRUE(Calls("SetRenderState").empty());
    EXPECT_TRUE(Calls("Lock").empty());
}

TEST_F(AlphaProcessorTest, ResetFreesTheFramesNodesAndAgesIdleOnesOutOneAtATime) {
    CD3DTexture* texture = MakeArgbTexture(kTexel);
    for (int i = 0; i < 10; ++i) {
        if (i % 2 == 0) Submit(Translucent(Rect({0, 0, 4, 4}, 0x80FF0000)));
        else Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagAlpha, 0xFFFFFFFF));
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
        EXPECT_EQ(data->frameStamp, stamp);
    }

    // A node taken again draws only what this frame gave it.
    Submit(Translucent(Rect({20, 20, 24, 24}, 0xFFFF0000)));
    EXPECT_EQ(alpha_->GetFreeCount(), 9) << "a free node is reused";
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
    FakeBeam small;
    small.texture = texture;
    small.lastRect = {40, 40, 44, 44};
    FakeEmitter emitter;
    emitter.beams = {&small};
    // A modulated textured rectangle opened the node; the beam's states match it.
    Submit(Blended(texture, {0, 0, 4, 4}, kDrawFlagModulate | kDrawFlagAlpha, 0xFF0000FF));
    EXPECT_TRUE(Submit(Particles(&emitter)));
    EXPECT_EQ(alpha_->GetActiveCount(), 1);
    EXPECT_EQ(Frame().drawCalls, 1u);
    EXPECT_EQ(Pixel(41, 41), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 1), 0x0000FFu);

    FakeBeam large = small;
    large.quads = 65536 / 4 + 1;
    large.lastRect = {100, 100, 104, 104};
    emitter.beams = {&large};
    EXPECT_TRUE(Submit(Particles(&emitter)));
    std::uint32_t vertexBytes = 0;
    std::uint32_t indexBytes = 0;
    viewport_->GetDrawStats(&vertexBytes, &indexBytes);
    EXPECT_EQ(vertexBytes, static_cast<std::uint32_t>(large.quads) * 4 * 24);
    EXPECT_EQ(indexBytes, static_cast<std::uint32_t>(large.quads) * 6 * 2);
    const d3d9ctl::Counters counters = Frame();
    EXPECT_EQ(counters.drawCalls, 2u);
    EXPECT_EQ(counters.primitives, static_cast<std::uint64_t>(large.quads) * 2);
    EXPECT_EQ(Pixel(101, 101), 0x00FF00u) << "the quad past the first 65,536 vertices";
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());

    // Without the particle work installed, particle commands are dropped.
    SetAlphaBatchEmitterFn(nullptr);
    EXPECT_FALSE(Submit(Particles(&emitter)));
}

TEST_F(AlphaProcessorTest, OutlinedGlyphsDrawFourOutlineQuadsBehindEachGlyph) {
    CD3DTexture* page = MakeArgbTexture(0x00FFFFFF);
    std::vector<std::uint32_t> glyphTexels(4, 0xFFFFFFFF);
    ASSERT_TRUE(page->UpdateRect(glyphTexels.data(), 2, 2, 8, 32, 0, 0));
    RECT inPage{0, 0, 2, 2};  // the seam reads the glyph pointer as its page rectangle
    STRU_WORD_DRAW word;
    word.word = reinterpret_cast<CWordTex*>(&inPage);
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

    // The host's own text record carries no page and is never drawn.
    EXPECT_FALSE(Submit(Keep(AllocTextCommand())));
    word.Unlink();
}

}  // namespace
}  // namespace lumi::test
