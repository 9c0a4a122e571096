// The draw queue draws runs of draws that replace pixels in reverse, skipping tiles by their
// depth bounds: colour, depth and stencil must come out as the general loop draws them in order,
// whatever the states, ties, clears and depth buffers between the draws, the threads and the
// row kernels.
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "platform/d3d9/pixel_format.h"
#include "platform/d3d9/raster_pipeline.h"
#include "platform/d3d9/rasterizer.h"
#include "tests/d3d9/d3d9_fixture.h"

namespace d3d9test {
namespace {

constexpr int kWidth = 160, kHeight = 128;
constexpr int kTextureSide = 16;
constexpr UINT kMaxVertices = 6 * 4096;
constexpr float kDepthStep = 1.0f / 64;

float ClipX(float px) { return px / kWidth * 2.0f - 1.0f; }
float ClipY(float py) { return 1.0f - py / kHeight * 2.0f; }

class DrawOrderTest : public D3D9Test {
protected:
    void SetUp() override {
        D3D9Test::SetUp();
        D3DPRESENT_PARAMETERS params = WindowedParams(window_, kWidth, kHeight);
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        ASSERT_EQ(CreateDevice(params), D3D_OK);
        ASSERT_EQ(device_->CreateVertexBuffer(kMaxVertices * sizeof(Vertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                              D3DPOOL_SYSTEMMEM, vertices_.out(), nullptr),
                  D3D_OK);
        // Texels of every alpha, some below and some above the alpha test's reference.
        ASSERT_EQ(device_->CreateTexture(kTextureSide, kTextureSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture_.out(),
                                         nullptr),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture_->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < kTextureSide; ++y)
            for (int x = 0; x < kTextureSide; ++x) {
                const std::uint32_t texel = (static_cast<std::uint32_t>(x * 37 + y * 91) & 0xFF) << 24 | (x * 16u) << 16 |
                                            (y * 16u) << 8 | 0x40u;
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &texel, 4);
            }
        texture_->UnlockRect(0);
    }
    void TearDown() override {
        vertices_.reset();
        texture_.reset();
        PixelPipeline::SetSpecialisedSpansEnabled(true);
        D3D9Test::TearDown();
    }

    // Random draws of quads into the bound target and depth buffer: rectangles that map the
    // texture texel for pixel and turned quads, with random per-draw states. As a 2D renderer
    // draws, each quad lies a step nearer than the one before from `top` on, but here often
    // at the same depth as the one before and now and then back at `top`.
    // `fewQuads`: one or two quads a draw, for frames of many draws.
    void DrawRandom(std::mt19937& random, int draws, float top = 1.0f, bool fewQuads = false) {
        std::vector<Vertex> all;
        std::vector<Draw> list;
        float z = top;
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        for (int d = 0; d < draws; ++d) {
            const DWORD funcs[] = {D3DCMP_LESSEQUAL, D3DCMP_LESSEQUAL, D3DCMP_LESSEQUAL, D3DCMP_LESS,
                                   D3DCMP_LESS,      D3DCMP_GREATER,   D3DCMP_ALWAYS};
            // Now and then a draw of hundreds of quads, which threads sort in several chunks.
            const int quads = fewQuads ? 1 + pick(2) : pick(16) == 0 ? 260 + pick(300) : 1 + pick(40);
            Draw draw{static_cast<UINT>(all.size()), static_cast<UINT>(quads), funcs[pick(7)],
                      DWORD{pick(8) != 0}, DWORD{pick(8) == 0}, DWORD{pick(2) == 0},
                      pick(12) == 0 ? 0x7u : 0xFu, pick(4) != 0};
            for (UINT q = 0; q < draw.quads; ++q) {
                const float x = static_cast<float>(pick(kWidth)) - 8, y = static_cast<float>(pick(kHeight)) - 8;
                const int move = pick(24);
                z = move == 0 || z < kDepthStep ? top : move < 8 ? z : z - kDepthStep;
                const DWORD color = 0xFF000000u | (random() & 0xFFFFFFu);
                AddQuad(&all, x, y, z, color, pick(4) == 0 ? static_cast<float>(pick(9)) : 0.0f);
            }
            list.push_back(draw);
        }
        Submit(all, list);
    }

    struct Draw {
        UINT first, quads;
        DWORD zfunc, zwrite, blend, alphaTest, colorWrite;
        bool textured;
    };
    // A quad the texture's size with its top left at pixel (x, y), its top edge `lean` pixels
    // right; half a pixel up and left, unturned it maps the texture texel for pixel.
    static void AddQuad(std::vector<Vertex>* all, float x, float y, float z, DWORD color, float lean = 0) {
        const float side = kTextureSide;
        x -= 0.5f;
        y -= 0.5f;
        const Vertex corners[4] = {{ClipX(x + lean), ClipY(y), z, color, 0, 0},
                                   {ClipX(x + side + lean), ClipY(y), z, color, 1, 0},
                                   {ClipX(x), ClipY(y + side), z, color, 0, 1},
                                   {ClipX(x + side), ClipY(y + side), z, color, 1, 1}};
        for (int i : {0, 1, 2, 2, 1, 3}) all->push_back(corners[i]);
    }
    void Submit(const std::vector<Vertex>& all, const std::vector<Draw>& list) {
        ASSERT_LE(all.size(), kMaxVertices);
        void* data = nullptr;
        ASSERT_EQ(vertices_->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
        std::memcpy(data, all.data(), all.size() * sizeof(Vertex));
        vertices_->Unlock();
        device_->SetFVF(kFvf);
        device_->SetStreamSource(0, vertices_.get(), 0, sizeof(Vertex));
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
        device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        for (const Draw& draw : list) {
            device_->SetRenderState(D3DRS_ZFUNC, draw.zfunc);
            device_->SetRenderState(D3DRS_ZWRITEENABLE, draw.zwrite);
            device_->SetRenderState(D3DRS_ALPHABLENDENABLE, draw.blend);
            device_->SetRenderState(D3DRS_ALPHATESTENABLE, draw.alphaTest);
            device_->SetRenderState(D3DRS_COLORWRITEENABLE, draw.colorWrite);
            device_->SetTexture(0, draw.textured ? texture_.get() : nullptr);
            const DWORD source = draw.textured ? D3DTA_TEXTURE : D3DTA_DIFFUSE;
            device_->SetTextureStageState(0, D3DTSS_COLORARG1, source);
            device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, source);
            ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, draw.first, 2 * draw.quads), D3D_OK);
        }
        ASSERT_EQ(device_->EndScene(), D3D_OK);
        device_->SetTexture(0, nullptr);
    }

    // The target's pixels, then the depth buffer's words as stored (stencil included).
    std::vector<std::uint32_t> Pixels(IDirect3DSurface9* depth) {
        Ref<IDirect3DSurface9> target;
        EXPECT_EQ(device_->GetRenderTarget(0, target.out()), D3D_OK);
        std::vector<std::uint32_t> pixels = d3d9ctl::ReadPixels(target.get(), nullptr, nullptr);
        const d3d9sw::SurfaceView view = d3d9ctl::SurfaceMemory(depth);
        const int bytes = view.format == D3DFMT_D24S8 ? 4 : 2;
        for (int y = 0; y < view.height; ++y)
            for (int x = 0; x < view.width; ++x) {
                std::uint32_t word = 0;
                std::memcpy(&word, view.bits + y * view.pitch + bytes * x, bytes);
                pixels.push_back(word);
            }
        return pixels;
    }

    // Runs `scene` with the fast paths off on one thread, then on with each thread count and
    // either row kernels, and compares what each run leaves.
    void ExpectSameAsInOrder(const std::function<std::vector<std::uint32_t>()>& scene) {
        PixelPipeline::SetSpecialisedSpansEnabled(false);
        d3d9ctl::SetRasterThreadCount(1);
        const std::vector<std::uint32_t> reference = scene();
        PixelPipeline::SetSpecialisedSpansEnabled(true);
        for (int threads : {1, 3, 8})
            for (bool avx2 : {false, true}) {
                if (avx2 && !d3d9ctl::RasterAvx2Available()) continue;
                d3d9ctl::SetRasterThreadCount(threads);
                d3d9ctl::SetRasterAvx2Enabled(avx2);
                const std::vector<std::uint32_t> pixels = scene();
                ASSERT_EQ(pixels.size(), reference.size());
                int differing = 0;
                for (std::size_t i = 0; i < pixels.size(); ++i) differing += pixels[i] != reference[i];
                EXPECT_EQ(differing, 0) << threads << " threads, AVX2 " << avx2;
            }
    }

    using PixelPipeline = d3d9sw::PixelPipeline;
    Ref<IDirect3DVertexBuffer9> vertices_;
    Ref<IDirect3DTexture9> texture_;
};

// Named for the ThreadSanitizer pass too.
TEST_F(DrawOrderTest, ThreadedRandomMixesOfDrawsGiveThePixelsOfTheDrawsInOrder) {
    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
    for (unsigned seed = 0; seed < 16; ++seed) {
        SCOPED_TRACE(seed);
        ExpectSameAsInOrder([&] {
            std::mt19937 random(seed);
            // The first quads tie with what the buffer holds where they start at the clear's depth.
            const float clearZ = seed % 3 == 0 ? 0.75f : 1.0f;
            device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF203040u, clearZ,
                           random() & 0xFF);
            // One frame of more draws than a job of the threads has parts.
            const bool many = seed == 5;
            DrawRandom(random, many ? 300 : 2 + static_cast<int>(random() % 12), seed % 2 == 0 ? 1.0f : 0.75f, many);
            return Pixels(depth.get());
        });
    }
}

// What the depth buffer may hold is known after a clear of it whole and lost with anything else
// that writes it: partial clears, stencil clears, another depth buffer bound between draws, its
// memory written through the control API's view, a reset.
TEST_F(DrawOrderTest, ClearsViewsAndSwappedDepthBuffersBetweenDrawsKeepThePixelsOfTheDrawsInOrder) {
    Ref<IDirect3DSurface9> depth, other;
    ASSERT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
    ASSERT_EQ(device_->CreateDepthStencilSurface(kWidth, kHeight, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, other.out(),
                                                 nullptr),
              D3D_OK);
    ExpectSameAsInOrder([&] {
        std::mt19937 random(99);
        device_->SetDepthStencilSurface(other.get());
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.75f, 0);
        DrawRandom(random, 4);
        device_->SetDepthStencilSurface(depth.get());
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.5f, 0);
        DrawRandom(random, 4, 0.5f);
        // Farther than what the rest holds, which the quads from 0.5 on tie with.
        const D3DRECT part{20, 10, 90, 70};
        device_->Clear(1, &part, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        DrawRandom(random, 6, 1.0f);
        device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 0.0f, 0x5A);
        DrawRandom(random, 4, 0.5f);
        device_->SetDepthStencilSurface(other.get());  // as its own draws left it
        DrawRandom(random, 4, 0.75f);
        device_->SetDepthStencilSurface(depth.get());
        DrawRandom(random, 4, 0.5f);
        // Cleared whole, then written nearer, at depths the quads tie with, through its memory.
        device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        const d3d9sw::SurfaceView view = d3d9ctl::SurfaceMemory(depth.get());
        for (int y = 0; y < kHeight / 2; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const std::uint32_t word = d3d9sw::DepthUnits(D3DFMT_D24S8, x % 3 == 0 ? 0.5f : 0.75f) << 8;
                std::memcpy(view.bits + y * view.pitch + 4 * x, &word, 4);
            }
        DrawRandom(random, 6, 1.0f);
        std::vector<std::uint32_t> pixels = Pixels(depth.get());
        const std::vector<std::uint32_t> more = Pixels(other.get());
        pixels.insert(pixels.end(), more.begin(), more.end());
        return pixels;
    });
}

// Drawn in reverse, the nearer quad comes first: where the alpha test discards its pixels the
// farther one must still show.
TEST_F(DrawOrderTest, AlphaTestedQuadsDoNotHideWhatTheyDiscard) {
    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
    ExpectSameAsInOrder([&] {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        std::vector<Vertex> all;
        for (float y : {0.0f, 5.0f, 40.0f}) AddQuad(&all, 16, y, 0.75f, 0xFF00FF00u);
        for (float y : {0.0f, 5.0f, 40.0f}) AddQuad(&all, 16, y, 0.5f, 0xFFFFFFFFu);
        Submit(all, {{0, 3, D3DCMP_LESSEQUAL, TRUE, FALSE, TRUE, 0xF, false},
                     {18, 3, D3DCMP_LESSEQUAL, TRUE, FALSE, TRUE, 0xF, true}});
        return Pixels(depth.get());
    });
}

// Clears wait in the queue with the draws: one of a texture that a queued draw samples waits
// for that draw, whatever band of rows reads which.
TEST_F(DrawOrderTest, ThreadedClearsWaitForTheQueuedDrawsThatSampleWhatTheyClear) {
    Ref<IDirect3DTexture9> canvas;
    ASSERT_EQ(device_->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                     canvas.out(), nullptr),
              D3D_OK);
    Ref<IDirect3DSurface9> canvasSurface, target;
    ASSERT_EQ(canvas->GetSurfaceLevel(0, canvasSurface.out()), D3D_OK);
    ASSERT_EQ(device_->GetRenderTarget(0, target.out()), D3D_OK);
    for (int threads : {1, 4}) {
        d3d9ctl::SetRasterThreadCount(threads);
        ASSERT_EQ(device_->SetRenderTarget(0, canvasSurface.get()), D3D_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device_->SetRenderTarget(0, target.get()), D3D_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
        // The canvas upside down over the whole target: each band samples the rows of others.
        const std::vector<Vertex> flipped = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 1}, {1, 1, 0.5f, 0xFFFFFFFFu, 1, 1},
                                             {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 0}, {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 0},
                                             {1, 1, 0.5f, 0xFFFFFFFFu, 1, 1},  {1, -1, 0.5f, 0xFFFFFFFFu, 1, 0}};
        Submit(flipped, {});
        ASSERT_EQ(device_->SetTexture(0, canvas.get()), D3D_OK);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
        ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
        ASSERT_EQ(device_->SetRenderTarget(0, canvasSurface.get()), D3D_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device_->SetRenderTarget(0, target.get()), D3D_OK);
        for (int y : {3, kHeight / 2, kHeight - 3})
            EXPECT_EQ(d3d9ctl::ReadPixel(target.get(), 3, y), 0xFF0000FFu) << "row " << y << ", " << threads << " threads";
        EXPECT_EQ(d3d9ctl::ReadPixel(canvasSurface.get(), 3, 3), 0xFFFF0000u);
    }
}

// After a clear to 0.5 every later quad nearer than that could be drawn in reverse; a lock lets
// the caller write anything, so depths the quad ties with must still decide as in order.
TEST_F(DrawOrderTest, DepthsWrittenThroughALockDecideTheNextDraws) {
    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device_->CreateDepthStencilSurface(kWidth, kHeight, D3DFMT_D16_LOCKABLE, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                 depth.out(), nullptr),
              D3D_OK);
    ASSERT_EQ(device_->SetDepthStencilSurface(depth.get()), D3D_OK);
    auto wholeTarget = [](float z, DWORD color) {
        const float l = ClipX(-8), r = ClipX(kWidth + 8), t = ClipY(-8), b = ClipY(kHeight + 8);
        const Vertex corners[4] = {{l, t, z, color, 0, 0}, {r, t, z, color, 0, 0}, {l, b, z, color, 0, 0},
                                   {r, b, z, color, 0, 0}};
        std::vector<Vertex> all;
        for (int i : {0, 1, 2, 2, 1, 3}) all.push_back(corners[i]);
        return all;
    };
    const Draw opaque{0, 1, D3DCMP_LESSEQUAL, TRUE, FALSE, FALSE, 0xF, false};
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.5f, 0), D3D_OK);
    Submit(wholeTarget(0.75f, 0xFF0000FFu), {opaque});  // behind the clear: no pixel

    // Left third nearer than the next quad, middle third at its depth, right third behind it
    // and behind the clear too.
    const std::uint16_t units[3] = {static_cast<std::uint16_t>(d3d9sw::DepthUnits(D3DFMT_D16_LOCKABLE, 0.25f)),
                                    static_cast<std::uint16_t>(d3d9sw::DepthUnits(D3DFMT_D16_LOCKABLE, 0.375f)),
                                    static_cast<std::uint16_t>(d3d9sw::DepthUnits(D3DFMT_D16_LOCKABLE, 0.625f))};
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(depth->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 2 * x, &units[x * 3 / kWidth], 2);
    ASSERT_EQ(depth->UnlockRect(), D3D_OK);
    Submit(wholeTarget(0.375f, 0xFF00FF00u), {opaque});

    Ref<IDirect3DSurface9> target;
    ASSERT_EQ(device_->GetRenderTarget(0, target.out()), D3D_OK);
    for (int y : {0, kHeight / 2, kHeight - 1})
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(d3d9ctl::ReadPixel(target.get(), x, y), x * 3 / kWidth == 0 ? 0xFF000000u : 0xFF00FF00u)
                << "pixel " << x << ", " << y;
    ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), D3D_OK);
}

TEST_F(DrawOrderTest, ADepthBufferMadeAgainByAResetIsNotTakenForTheOneItReplaces) {
    ExpectSameAsInOrder([&] {
        std::mt19937 random(7);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        DrawRandom(random, 3);
        D3DPRESENT_PARAMETERS params = WindowedParams(window_, kWidth, kHeight);
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        EXPECT_EQ(device_->Reset(&params), D3D_OK);
        // The new buffer starts zeroed: only a clear of part of it follows.
        const D3DRECT part{0, 0, kWidth / 2, kHeight};
        device_->Clear(1, &part, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        DrawRandom(random, 6);
        Ref<IDirect3DSurface9> depth;
        EXPECT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
        return Pixels(depth.get());
    });
}

}  // namespace
}  // namespace d3d9test
