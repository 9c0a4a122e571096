// What the opaque processors draw, read back from the presented window.
#include <algorithm>

#include "tests/draw/batch_test_fixture.h"

namespace lumi::test {
namespace {

using BatchPixelsTest = BatchTest;

TEST_F(BatchPixelsTest, EachPrimitiveLandsOnExactlyItsPixels) {
    Submit(Rect({10, 20, 14, 23}, kRed));
    Submit(Point(50, 60, kGreen));
    Submit(Lines({{60, 70, 66, 70}}, kBlue));
    Submit(Rect({100, 100, 104, 103}, kGreen, false));       // outline
    Submit(Triangle(200, 10, 210, 10, 200, 20, kRed));       // clockwise on screen
    Submit(Triangle(220, 10, 220, 20, 230, 10, kBlue));      // the other winding still draws
    Submit(Triangle(150, 50, 158, 50, 150, 58, kGreen, false));
    Frame();

    // Filled rectangle: columns 10..13, rows 20..22.
    for (int y = 19; y <= 23; ++y) {
        for (int x = 9; x <= 14; ++x) {
            const bool inside = x >= 10 && x < 14 && y >= 20 && y < 23;
            EXPECT_EQ(Pixel(x, y), inside ? 0xFF0000u : kBackground) << x << "," << y;
        }
    }
    // Points and lines keep the half-pixel offset of rectangles, which puts their vertices on
    // pixel corners: a point (a one-pixel square) lights the pixel up and left of its
    // position; a line lights the row above it or the column left of it (the diamond rule),
    // without its last pixel.
    EXPECT_EQ(Pixel(49, 59), 0x00FF00u);
    EXPECT_EQ(Pixel(50, 60), kBackground);
    for (int x = 60; x < 66; ++x) EXPECT_EQ(Pixel(x, 69), 0x0000FFu) << x;
    EXPECT_EQ(Pixel(59, 69), kBackground);
    EXPECT_EQ(Pixel(66, 69), kBackground);
    EXPECT_EQ(Pixel(63, 70), kBackground);
    // Outline: the rows above its top and bottom edges, the columns left of its left and
    // right edges; nothing else.
    for (int x = 100; x < 104; ++x) {
        EXPECT_EQ(Pixel(x, 99), 0x00FF00u) << x;
        EXPECT_EQ(Pixel(x, 102), 0x00FF00u) << x;
    }
    for (int y = 100; y < 103; ++y) {
        EXPECT_EQ(Pixel(99, y), 0x00FF00u) << y;
        EXPECT_EQ(Pixel(103, y), 0x00FF00u) << y;
    }
    EXPECT_EQ(Pixel(99, 99), kBackground);
    EXPECT_EQ(Pixel(104, 102), kBackground);
    EXPECT_EQ(Pixel(101, 101), kBackground);
    EXPECT_EQ(Pixel(202, 12), 0xFF0000u);
    EXPECT_EQ(Pixel(209, 19), kBackground);
    EXPECT_EQ(Pixel(222, 12), 0x0000FFu);
    // Outline triangle: edges drawn as lines (the diagonal through pixel centres), inside empty.
    EXPECT_EQ(Pixel(154, 49), 0x00FF00u);
    EXPECT_EQ(Pixel(149, 54), 0x00FF00u);
    EXPECT_EQ(Pixel(152, 55), 0x00FF00u);
    EXPECT_EQ(Pixel(152, 52), kBackground);

    Frame();
    EXPECT_EQ(Pixel(11, 21), kBackground) << "the frame end emptied the layers";
}

TEST_F(BatchPixelsTest, LaterSubmissionsLieInFrontWhateverTheFlushOrder) {
    // The rectangle processor flushes after the line processor: depth alone decides.
    Submit(Rect({10, 10, 30, 30}, kRed));
    SkipSequences(kDepthGap);
    Submit(Lines({{10, 15, 30, 15}}, kGreen));
    SkipSequences(kDepthGap);
    Submit(Lines({{10, 25, 30, 25}}, kBlue));
    SkipSequences(kDepthGap);
    Submit(Rect({15, 20, 25, 30}, kGreen));
    Frame();
    EXPECT_EQ(Pixel(20, 14), 0x00FF00u) << "line over the earlier rectangle";
    EXPECT_EQ(Pixel(12, 24), 0x0000FFu);
    EXPECT_EQ(Pixel(20, 24), 0x00FF00u) << "the later rectangle covers the line";
    EXPECT_EQ(Pixel(20, 12), 0xFF0000u);

    // Textured batches draw in texture order, not submission order.
    CD3DTexture* first = MakePatternTexture(4, 0x11);
    CD3DTexture* second = MakePatternTexture(4, 0x22);
    for (CD3DTexture* front : {first, second}) {
        CD3DTexture* back = front == first ? second : first;
        Submit(Textured(back, {0, 0, 4, 4}, {50, 50, 54, 54}));
        SkipSequences(kDepthGap);
        Submit(Textured(front, {0, 0, 4, 4}, {52, 52, 56, 56}));
        Frame();
        const std::uint32_t tag = front == first ? 0x11 : 0x22;
        EXPECT_EQ(Pixel(53, 53) & 0xFF, tag) << "the later quad in front";
        EXPECT_EQ(Pixel(50, 50) & 0xFF, tag == 0x11 ? 0x22u : 0x11u);
    }
}

TEST_F(BatchPixelsTest, TexturedQuadsSampleTheirSourceTexels) {
    Renderer()->GetMainRenderWindow()->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, -1);
    for (const bool packable : {false, true}) {
        SCOPED_TRACE(packable ? "from an atlas page" : "from the texture");
        CD3DTexture* texture = MakePatternTexture(8, 0, packable);
        Submit(Textured(texture, {2, 3, 6, 7}, {40, 30, 44, 34}));
        Frame();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(Pixel(40 + x, 30 + y), PatternTexel(2 + x, 3 + y) & 0xFFFFFF) << x << "," << y;
        EXPECT_EQ(Pixel(44, 30), kBackground);
        EXPECT_EQ(Pixel(40, 29), kBackground);
        EXPECT_EQ(texture->GetCell() != nullptr, packable);
    }

    // The target's filters reach the sampler even with nothing to draw.
    DWORD filter = 0;
    Renderer()->GetDevice()->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    Frame();
    Renderer()->GetDevice()->GetSamplerState(0, D3DSAMP_MAGFILTER, &filter);
    EXPECT_EQ(filter, static_cast<DWORD>(D3DTEXF_POINT));
}

TEST_F(BatchPixelsTest, AtlasCellsAreDrawnFromTheirPageInOneCallAtScaleOne) {
    CD3DTexture* a = MakePatternTexture(4, 0x11, true);
    CD3DTexture* b = MakePatternTexture(4, 0x22, true);
    ASSERT_NE(Renderer()->GetTexMgr()->GetTextureCell(a), nullptr);
    // Its own copies now hold other texels, written behind the texture's back: what lands
    // must come from the page.
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(a->GetSystemTexture()->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch), 4,
                    0xFFFFFFFFu);
    a->GetSystemTexture()->UnlockRect(0);
    ASSERT_TRUE(a->EnsureVideoTexture());
    a->UploadDirtyRect();

    Submit(Textured(a, {1, 1, 3, 3}, {10, 10, 12, 12}));
    Submit(Textured(b, {0, 0, 4, 4}, {20, 10, 24, 14}));
    const d3d9ctl::Counters counters = Frame();
    EXPECT_EQ(counters.drawCalls, 1u) << "one page, one batch";
    EXPECT_EQ(Pixel(10, 10), PatternTexel(1, 1, 0x11) & 0xFFFFFF);
    EXPECT_EQ(Pixel(11, 11), PatternTexel(2, 2, 0x11) & 0xFFFFFF);
    EXPECT_EQ(Pixel(23, 13), PatternTexel(3, 3, 0x22) & 0xFFFFFF);

    Renderer()->GetMainRenderWindow()->SetScale(2.0f);
    Submit(Textured(a, {0, 0, 4, 4}, {10, 10, 14, 14}));
    Submit(Textured(b, {0, 0, 4, 4}, {20, 10, 24, 14}));
    EXPECT_EQ(Frame().drawCalls, 2u) << "each texture by itself away from scale 1";
    EXPECT_EQ(Pixel(20, 20), 0xFFFFFFu) << "scaled and drawn from the texture's own copy";
}

TEST_F(BatchPixelsTest, ATextureBatchedByItselfKeepsItsPixelsWhenDrawnFromItsPageLaterInTheFrame) {
    // A blended draw from the page gives the texture's own video copy back; the opaque
    // batch that took the texture by itself earlier in the frame must still draw it.
    Renderer()->GetMainRenderWindow()->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, -1);
    CD3DTexture* texture = MakePatternTexture(4, 0x22, true);
    Renderer()->GetMainRenderWindow()->SetScale(2.0f);
    Submit(Textured(texture, {0, 0, 4, 4}, {0, 0, 4, 4}));
    Renderer()->GetMainRenderWindow()->SetScale(1.0f);
    STRU_RECT_COMMAND* blended = Textured(texture, {0, 0, 4, 4}, {40, 0, 44, 4});
    blended->flags = kDrawFlagAlpha;
    Submit(blended);
    Frame();
    EXPECT_EQ(Pixel(1, 1), PatternTexel(0, 0, 0x22) & 0xFFFFFF) << "scaled by 2 from its own copy";
    EXPECT_EQ(Pixel(7, 7), PatternTexel(3, 3, 0x22) & 0xFFFFFF);
    EXPECT_EQ(Pixel(43, 3), PatternTexel(3, 3, 0x22) & 0xFFFFFF) << "blended from the page";
}

TEST_F(BatchPixelsTest, DepthStaysInRangePastOneHundredThousandSubmissions) {
    STRU_RECT_COMMAND* rect = Rect({5, 5, 8, 8}, kGreen);
    rect->sequence = 150000;
    EXPECT_TRUE(viewport_->AddDrawCommand(rect));
    Frame();
    EXPECT_EQ(Pixel(6, 6), 0x00FF00u);
}

TEST_F(BatchPixelsTest, OpaqueDrawingIgnoresAPixelShaderLeftBound) {
    IDirect3DPixelShader9* grey = Renderer()->GetGreyPixelShader();
    ASSERT_NE(grey, nullptr);
    Renderer()->GetDevice()->SetPixelShader(grey);
    Submit(Rect({5, 5, 8, 8}, kRed));
    Frame();
    EXPECT_EQ(Pixel(6, 6), 0xFF0000u);
}

}  // namespace
}  // namespace lumi::test
