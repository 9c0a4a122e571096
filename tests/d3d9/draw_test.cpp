// Draw calls: validation, counters and what reaches the target.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/d3d9/d3d9_fixture.h"

namespace d3d9test {
namespace {

constexpr std::uint32_t kGreen = 0xFF00FF00u;

// Pixels in which two images of one size differ.
int Differing(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    if (a.size() != b.size()) return -1;
    int count = 0;
    for (std::size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
    return count;
}

class DrawTest : public D3D9Test {
protected:
    void SetUp() override {
        D3D9Test::SetUp();
        CreateWindowedDevice();
        SetStates();
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);

        // A quad over the left half of clip space, four vertices from vertex 2 on.
        const DWORD red = 0xFFFF0000u;
        const Vertex quad[6] = {{},
                                {},
                                {-1.0f, 1.0f, 0.5f, red, 0, 0},
                                {0.0f, 1.0f, 0.5f, red, 1, 0},
                                {-1.0f, -1.0f, 0.5f, red, 0, 1},
                                {0.0f, -1.0f, 0.5f, red, 1, 1}};
        ASSERT_EQ(device_->CreateVertexBuffer(sizeof quad, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, vertices_.out(), nullptr),
                  D3D_OK);
        void* data = nullptr;
        ASSERT_EQ(vertices_->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, quad, sizeof quad);
        vertices_->Unlock();
        const WORD order[6] = {0, 1, 2, 2, 1, 3};
        ASSERT_EQ(device_->CreateIndexBuffer(sizeof order, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                             indices_.out(), nullptr),
                  D3D_OK);
        ASSERT_EQ(indices_->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, order, sizeof order);
        indices_->Unlock();
        ASSERT_EQ(device_->GetRenderTarget(0, target_.out()), D3D_OK);
        d3d9ctl::ResetCounters();
    }
    void TearDown() override {
        vertices_.reset();
        indices_.reset();
        target_.reset();
        D3D9Test::TearDown();
    }
    // The library's fixed states for untextured colour.
    void SetStates() {
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    }
    void Bind(UINT offset = 0) {
        ASSERT_EQ(device_->SetFVF(kFvf), D3D_OK);
        ASSERT_EQ(device_->SetStreamSource(0, vertices_.get(), offset, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device_->SetIndices(indices_.get()), D3D_OK);
    }

    Ref<IDirect3DVertexBuffer9> vertices_;
    Ref<IDirect3DIndexBuffer9> indices_;
    Ref<IDirect3DSurface9> target_;
};

TEST_F(DrawTest, DrawsAreRefusedOutsideTheirRules) {
    EXPECT_EQ(device_->EndScene(), D3DERR_INVALIDCALL);
    Bind();
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3DERR_INVALIDCALL) << "outside a scene";
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 4, 1), D3DERR_INVALIDCALL) << "past the buffer";
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 1, 2), D3DERR_INVALIDCALL) << "indices";
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "vertices";
    ASSERT_EQ(device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3DERR_INVALIDCALL) << "only FVF 0x142 draws";
    ASSERT_EQ(device_->SetFVF(kFvf), D3D_OK);
    ASSERT_EQ(device_->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3DERR_INVALIDCALL) << "no stream";
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(d3d9ctl::GetCounters().drawCalls, 0u);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 5, 5), 0xFF000000u);
}

TEST_F(DrawTest, ListsFromAStartVertexAndThroughIndicesReachTheTarget) {
    Bind();
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3D_OK);  // the quad's upper-left triangle
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 1, 1), 0xFFFF0000u);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 30, 45), 0xFF000000u);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 32, 0), 0xFF000000u);

    // The same quad through indices relative to a stream offset of two vertices.
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
    Bind(2 * sizeof(Vertex));
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 16, 24), 0xFFFF0000u);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 40, 24), 0xFF000000u);

    const d3d9ctl::Counters counters = d3d9ctl::GetCounters();
    EXPECT_EQ(counters.drawCalls, 2u);
    EXPECT_EQ(counters.primitives, 3u);
    EXPECT_TRUE(d3d9ctl::MisuseReports().empty());
}

TEST_F(DrawTest, DrawsClearsAndPresentsAreCountedButTouchNoPixelWhileRasterisationIsOff) {
    Bind();
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);  // the window shows black
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1.0f, 0), D3D_OK);  // the back buffer does not
    d3d9ctl::ResetCounters();
    d3d9ctl::SetRasterizationEnabled(false);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 0.0f, 0), D3D_OK);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, kGreen, 2.0f, 0), D3DERR_INVALIDCALL) << "still checked";
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const RECT half{0, 0, 32, 24};
    EXPECT_EQ(device_->Present(&half, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL) << "still checked";
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 1, 1), kGreen) << "nothing reaches the target";
    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(depth.get(), 40, 40), 0xFFFFFFu) << "nor the depth buffer (z 1.0)";
    int width = 0, height = 0;
    const std::uint32_t* shown = win32::WindowPixels(window_, &width, &height);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(std::count(shown, shown + width * height, 0xFF000000u), width * height) << "nor the window";
    const d3d9ctl::Counters counters = d3d9ctl::GetCounters();
    EXPECT_EQ(counters.drawCalls, 1u);
    EXPECT_EQ(counters.clears, 1u);
    EXPECT_EQ(counters.presents, 1u);

    d3d9ctl::ResetAll();  // turns it back on
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 1, 1), 0xFFFF0000u);
}

TEST_F(DrawTest, CallLogIsKeptOnlyWhileSwitchedOn) {
    Bind();
    d3d9ctl::ClearCallLog();
    const int before = d3d9ctl::CallCount("SetRenderState");
    ASSERT_EQ(device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE), D3D_OK);
    EXPECT_TRUE(d3d9ctl::CallLog().empty()) << "off by default";
    EXPECT_EQ(d3d9ctl::CallCount("SetRenderState"), before + 1) << "counted all the same";

    d3d9ctl::SetCallLogEnabled(true);
    ASSERT_EQ(device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE), D3D_OK);
    ASSERT_EQ(device_->SetStreamSource(0, vertices_.get(), 48, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device_->SetViewport(nullptr), D3DERR_INVALIDCALL);
    const std::vector<d3d9ctl::CallRecord> log = d3d9ctl::CallLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].method, "SetRenderState");
    EXPECT_EQ(log[0].args, "7, 1");
    EXPECT_EQ(log[1].args, "0, ptr, 48, 24");
    EXPECT_EQ(log[2].args, "null");
    EXPECT_EQ(log[2].result, D3DERR_INVALIDCALL);

    d3d9ctl::ResetAll();
    ASSERT_EQ(device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE), D3D_OK);
    EXPECT_TRUE(d3d9ctl::CallLog().empty()) << "off again after ResetAll";
}

// Named for the ThreadSanitizer pass: draws, clears and presents split into bands.
TEST_F(DrawTest, ThreadedDrawsThroughTheDeviceGiveThePixelsOfOneThread) {
    EXPECT_EQ(d3d9ctl::RasterThreadCount(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    // A back buffer and a window big enough for every step to be split into bands.
    constexpr int kSide = 512;
    HWND big = win32::CreateTestWindow(u"big", 0, 0, kSide, kSide);
    target_.reset();
    D3DPRESENT_PARAMETERS params = WindowedParams(window_, kSide, kSide);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    ASSERT_EQ(device_->GetRenderTarget(0, target_.out()), D3D_OK);
    SetStates();
    Bind();
    std::vector<std::uint32_t> reference;
    for (int threads : {1, 2, 5}) {
        for (bool avx2 : {false, true}) {
            d3d9ctl::SetRasterThreadCount(threads);
            d3d9ctl::SetRasterAvx2Enabled(avx2);
            EXPECT_EQ(d3d9ctl::RasterThreadCount(), threads);
            ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030u, 1.0f, 0), D3D_OK);
            ASSERT_EQ(device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE), D3D_OK);
            ASSERT_EQ(device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), D3D_OK);
            ASSERT_EQ(device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA), D3D_OK);
            ASSERT_EQ(device_->BeginScene(), D3D_OK);
            ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 0, 2), D3D_OK);
            ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 0, 2), D3D_OK);
            ASSERT_EQ(device_->EndScene(), D3D_OK);
            ASSERT_EQ(device_->Present(nullptr, nullptr, big, nullptr), D3D_OK);
            int width = 0, height = 0;
            const std::uint32_t* shown = win32::WindowPixels(big, &width, &height);
            ASSERT_NE(shown, nullptr);
            std::vector<std::uint32_t> pixels = d3d9ctl::ReadPixels(target_.get(), &width, &height);
            pixels.insert(pixels.end(), shown, shown + kSide * kSide);
            if (reference.empty()) reference = pixels;
            EXPECT_EQ(Differing(pixels, reference), 0) << threads << " threads, AVX2 " << avx2;
        }
    }
    EXPECT_EQ(reference[0], 0xFFFF0000u);
    EXPECT_EQ(reference[kSide - 1], 0xFF102030u);
    d3d9ctl::ResetAll();
    EXPECT_EQ(d3d9ctl::RasterThreadCount(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

// Draws wait in the device's queue until something looks at their memory: they keep what they
// read, a texture the application let go and vertices written over since included.
TEST_F(DrawTest, QueuedDrawsKeepTheirVerticesAndTexturesUntilDrawn) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &kGreen, 4);
    texture->UnlockRect(0);
    Bind();
    ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
    ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 0, 2), D3D_OK);
    ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
    texture->Release();
    void* data = nullptr;
    ASSERT_EQ(vertices_->Lock(0, 0, &data, 0), D3D_OK);
    std::memset(data, 0, 6 * sizeof(Vertex));
    vertices_->Unlock();
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 1, 1), kGreen) << "the quad as drawn, from its texture";
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 40, 1), 0xFF000000u);
    EXPECT_EQ(d3d9ctl::CountLiveObjects().resources, 2) << "the buffers; the texture goes once it has been drawn";
}

// Named for the ThreadSanitizer pass: a draw that samples a texture an earlier queued draw
// renders into waits for it, whatever the bands.
TEST_F(DrawTest, ThreadedQueuedDrawsSampleWhatEarlierDrawsRenderedIntoATexture) {
    constexpr UINT kSide = 256;
    target_.reset();
    D3DPRESENT_PARAMETERS params = WindowedParams(window_, kSide, kSide);
    ASSERT_EQ(device_->Reset(&params), D3D_OK);
    ASSERT_EQ(device_->GetRenderTarget(0, target_.out()), D3D_OK);
    SetStates();
    Ref<IDirect3DTexture9> canvas;
    ASSERT_EQ(device_->CreateTexture(kSide, kSide, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                     canvas.out(), nullptr),
              D3D_OK);
    Ref<IDirect3DSurface9> canvasSurface;
    ASSERT_EQ(canvas->GetSurfaceLevel(0, canvasSurface.out()), D3D_OK);
    // The canvas over the whole target upside down: each band samples the rows of others.
    const Vertex flipped[4] = {{-1.0f, 1.0f, 0.5f, 0xFFFFFFFFu, 0, 1},
                               {1.0f, 1.0f, 0.5f, 0xFFFFFFFFu, 1, 1},
                               {-1.0f, -1.0f, 0.5f, 0xFFFFFFFFu, 0, 0},
                               {1.0f, -1.0f, 0.5f, 0xFFFFFFFFu, 1, 0}};
    Ref<IDirect3DVertexBuffer9> whole;
    CreateVertices(flipped, 4, &whole);

    std::vector<std::uint32_t> reference;
    for (int threads : {1, 4}) {
        d3d9ctl::SetRasterThreadCount(threads);
        ASSERT_EQ(device_->SetRenderTarget(0, canvasSurface.get()), D3D_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        Bind();
        ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
        ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE), D3D_OK);
        ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 0, 2), D3D_OK);  // red left half
        // Nothing between the two draws looks at memory: only the sampling makes the queue wait.
        ASSERT_EQ(device_->SetRenderTarget(0, target_.get()), D3D_OK);
        ASSERT_EQ(device_->SetStreamSource(0, whole.get(), 0, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device_->SetTexture(0, canvas.get()), D3D_OK);
        ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE), D3D_OK);
        ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
        ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
        int width = 0, height = 0;
        const std::vector<std::uint32_t> pixels = d3d9ctl::ReadPixels(target_.get(), &width, &height);
        if (reference.empty()) reference = pixels;
        EXPECT_EQ(Differing(pixels, reference), 0) << threads << " threads";
    }
    ASSERT_EQ(reference.size(), kSide * kSide);
    EXPECT_EQ(reference[0] & 0xFFFFFFu, 0xFF0000u);          // red on the left
    EXPECT_EQ(reference[kSide - 1] & 0xFFFFFFu, 0x0000FFu);  // the canvas's blue on the right
}

TEST_F(DrawTest, ViewportMapsClipSpaceAndIndicesOutsideTheirRangeAreReported) {
    Bind(2 * sizeof(Vertex));
    const D3DVIEWPORT9 right{32, 0, 32, 48, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&right), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    // Declares vertices [0, 3) but the indices use vertex 3 too.
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 2), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 31, 24), 0xFF000000u);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 33, 24), 0xFFFF0000u);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 48, 24), 0xFF000000u) << "left half of the viewport only";
    ASSERT_EQ(d3d9ctl::MisuseReports().size(), 1u);
}

TEST_F(DrawTest, DebugRuntimeMisuseIsReported) {
    Bind();
    Ref<IDirect3DTexture9> target, wide, plain;
    ASSERT_EQ(device_->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, target.out(), nullptr),
              D3D_OK);
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, plain.out(), nullptr), D3D_OK);
    ASSERT_EQ(device_->CreateTexture(128, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, wide.out(), nullptr),
              D3D_OK);
    Ref<IDirect3DSurface9> targetLevel, wideLevel;
    ASSERT_EQ(target->GetSurfaceLevel(0, targetLevel.out()), D3D_OK);
    ASSERT_EQ(wide->GetSurfaceLevel(0, wideLevel.out()), D3D_OK);
    struct Case {
        const char* what;
        std::function<void()> arrange, undo;
        const char* report;
    } cases[] = {
        {"outside a scene", [&] { device_->EndScene(); }, [&] { device_->BeginScene(); },
         "DrawPrimitive outside BeginScene/EndScene"},
        {"locked vertex buffer",
         [&] {
             void* data = nullptr;
             vertices_->Lock(0, 0, &data, 0);
         },
         [&] { vertices_->Unlock(); }, "DrawPrimitive from a locked vertex buffer"},
        {"locked texture",
         [&] {
             D3DLOCKED_RECT locked{};
             plain->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
             device_->SetTexture(1, plain.get());
         },
         [&] {
             plain->UnlockRect(0);
             device_->SetTexture(1, nullptr);
         },
         "DrawPrimitive with a locked texture bound to stage 1"},
        {"sampling the render target",
         [&] {
             device_->SetRenderTarget(0, targetLevel.get());
             device_->SetTexture(0, target.get());
         },
         [&] {
             device_->SetTexture(0, nullptr);
             device_->SetRenderTarget(0, target_.get());
         },
         "DrawPrimitive with the render target bound as the texture of stage 0"},
        {"render target larger than the depth buffer", [&] { device_->SetRenderTarget(0, wideLevel.get()); },
         [&] { device_->SetRenderTarget(0, target_.get()); }, "DrawPrimitive into a render target larger than the depth buffer"},
    };
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    for (const Case& c : cases) {
        d3d9ctl::ResetCounters();
        c.arrange();
        device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1);
        c.undo();
        EXPECT_EQ(d3d9ctl::MisuseReports(), std::vector<std::string>{c.report}) << c.what;
        d3d9ctl::ResetCounters();
        ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3D_OK) << c.what;
        EXPECT_TRUE(d3d9ctl::MisuseReports().empty()) << c.what << " undone";
    }
    ASSERT_EQ(device_->EndScene(), D3D_OK);
}

TEST_F(DrawTest, LostDeviceDrawsNothing) {
    Bind();
    d3d9ctl::LoseDevice();
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 1), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3DERR_DEVICELOST);
    EXPECT_EQ(d3d9ctl::GetCounters().drawCalls, 0u);
    EXPECT_EQ(d3d9ctl::ReadPixel(target_.get(), 0, 0), 0xFF000000u);
}

}  // namespace
}  // namespace d3d9test
