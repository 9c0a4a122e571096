// Clear, render targets, viewports and Present into windows.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/d3d9/d3d9_fixture.h"

namespace d3d9test {
namespace {

using PresentTest = D3D9Test;

constexpr std::uint32_t kBlack = 0xFF000000u;

// An additional windowed swap chain as the library's render windows ask for one: COPY, no
// device window.
D3DPRESENT_PARAMETERS CopyChainParams(UINT width, UINT height) {
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    params.Windowed = TRUE;
    return params;
}

std::uint32_t WindowPixel(HWND window, int x, int y) {
    int width = 0, height = 0;
    const std::uint32_t* pixels = win32::WindowPixels(window, &width, &height);
    if (pixels == nullptr || x >= width || y >= height) return 0xDEADBEEF;
    return pixels[y * width + x];
}

TEST_F(PresentTest, ClearedBackBufferAppearsInTheWindow) {
    CreateWindowedDevice();
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    int width = 0, height = 0;
    const std::uint32_t* pixels = win32::WindowPixels(window_, &width, &height);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width * height, 64 * 48);
    for (int i = 0; i < width * height; ++i) ASSERT_EQ(pixels[i], 0xFF336699u) << "pixel " << i;
    EXPECT_EQ(d3d9ctl::GetCounters().presents, 1u);

    Ref<IDirect3DSurface9> depth;
    ASSERT_EQ(device_->GetDepthStencilSurface(depth.out()), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(depth.get(), 10, 10), 0xFFFFFFu);  // z 1.0 at full depth precision
}

TEST_F(PresentTest, RowsCopiedAsWholeShowX8PixelsOpaqueAndFollowTheDestination) {
    CreateWindowedDevice();
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    const d3d9sw::SurfaceView view = d3d9ctl::SurfaceMemory(back.get());
    ASSERT_EQ(view.format, D3DFMT_X8R8G8B8);
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x) {
            const std::uint32_t unused = static_cast<std::uint32_t>(x) << 24;  // the X byte, any value
            const std::uint32_t pixel = unused | static_cast<std::uint32_t>(y) << 8 | static_cast<std::uint32_t>(x);
            std::memcpy(view.bits + y * view.pitch + 4 * x, &pixel, 4);
        }
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(WindowPixel(window_, 0, 0), 0xFF000000u);
    EXPECT_EQ(WindowPixel(window_, 63, 47), 0xFF002F3Fu);

    // A same-size destination moved left and down: source column x lands at x - 5.
    D3DPRESENT_PARAMETERS params = CopyChainParams(64, 48);
    Ref<IDirect3DSwapChain9> chain;
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&params, chain.out()), D3D_OK);
    Ref<IDirect3DSurface9> chainBack;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, chainBack.out()), D3D_OK);
    const d3d9sw::SurfaceView chainView = d3d9ctl::SurfaceMemory(chainBack.get());
    for (int x = 0; x < chainView.width; ++x) {
        const std::uint32_t pixel = 0x00AA0000u | static_cast<std::uint32_t>(x);
        std::memcpy(chainView.bits + 2 * chainView.pitch + 4 * x, &pixel, 4);
    }
    const RECT source{0, 0, 64, 48}, dest{-5, 1, 59, 49};
    ASSERT_EQ(chain->Present(&source, &dest, window_, nullptr, 0), D3D_OK);
    EXPECT_EQ(WindowPixel(window_, 0, 3), 0xFFAA0005u);
    EXPECT_EQ(WindowPixel(window_, 58, 3), 0xFFAA003Fu);
}

// A discarding chain whose back buffer was cleared whole hands its memory to a window of its
// size instead of copying it, and gets the pixels back from the window when it is used again
// without a whole clear: what a frame leaves stays for the next, as with a copy.
TEST_F(PresentTest, ADiscardingChainClearedWholeFlipsAndKeepsItsPixelsForTheNextFrame) {
    CreateWindowedDevice();
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    const std::uint32_t* before = win32::WindowPixels(window_, nullptr, nullptr);
    // No alpha in the colour: the X8 buffer holds it opaque, and so does the window.
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00336699u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const std::uint32_t* flipped = win32::WindowPixels(window_, nullptr, nullptr);
    EXPECT_NE(flipped, before) << "the window shows the back buffer's memory";
    for (int i = 0; i < 64 * 48; ++i) ASSERT_EQ(flipped[i], 0xFF336699u) << "pixel " << i;

    // The next frame draws over what the last one left, then is copied: its back buffer was not
    // cleared whole.
    const D3DRECT corner{0, 0, 8, 8};
    ASSERT_EQ(device_->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(win32::WindowPixels(window_, nullptr, nullptr), flipped);
    EXPECT_EQ(WindowPixel(window_, 7, 7), 0xFFFF0000u);
    EXPECT_EQ(WindowPixel(window_, 8, 8), 0xFF336699u);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 63, 47), 0xFF336699u);

    // Written from outside after a whole clear, the unused bytes are no longer known to be
    // opaque: the copy makes them so.
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
    const d3d9sw::SurfaceView view = d3d9ctl::SurfaceMemory(back.get());
    const std::uint32_t transparent = 0x000000FFu;
    std::memcpy(view.bits, &transparent, 4);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(win32::WindowPixels(window_, nullptr, nullptr), flipped);
    EXPECT_EQ(WindowPixel(window_, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(WindowPixel(window_, 1, 0), 0xFF00FF00u);
}

// A window of another size, or one resized since it took the back buffer's memory, gets a copy;
// the back buffer never takes back pixels of another size.
TEST_F(PresentTest, AFlipNeedsAWindowOfTheBackBuffersSize) {
    CreateWindowedDevice();
    HWND other = win32::CreateTestWindow(u"other", 0, 0, 32, 16);
    const std::uint32_t* otherBefore = win32::WindowPixels(other, nullptr, nullptr);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, other, nullptr), D3D_OK);
    EXPECT_EQ(win32::WindowPixels(other, nullptr, nullptr), otherBefore);
    EXPECT_EQ(WindowPixel(other, 31, 15), 0xFF123456u);

    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF654321u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(window_, &frame));
    ASSERT_TRUE(SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left + 10, frame.bottom - frame.top, SWP_NOZORDER));
    int width = 0, height = 0;
    ASSERT_NE(win32::WindowPixels(window_, &width, &height), nullptr);
    ASSERT_EQ(width, 74);
    const D3DRECT corner{0, 0, 4, 4};
    ASSERT_EQ(device_->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(WindowPixel(window_, 3, 3), 0xFFFFFFFFu);
    DestroyWindow(other);
}

TEST_F(PresentTest, ClearIsClippedToTheViewportAndItsRectangles) {
    CreateWindowedDevice();
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0), D3D_OK);
    const D3DVIEWPORT9 viewport{10, 8, 20, 10, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    const D3DRECT rect{0, 0, 12, 64};  // reaches past the viewport and the target
    ASSERT_EQ(device_->Clear(1, &rect, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);

    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device_->GetRenderTarget(0, back.out()), D3D_OK);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 9, 8), kBlack);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 10, 8), 0xFF00FF00u);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 11, 17), 0xFF00FF00u);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 12, 17), 0xFFFF0000u);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 29, 17), 0xFFFF0000u);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 30, 17), kBlack);
    EXPECT_EQ(d3d9ctl::ReadPixel(back.get(), 12, 18), kBlack);

    const D3DVIEWPORT9 outside{60, 0, 10, 10, 0.0f, 1.0f};
    EXPECT_EQ(device_->SetViewport(&outside), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // D16 has no stencil
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
}

TEST_F(PresentTest, RenderTargetTextureTakesTheViewportAndReadsBackThroughSystemMemory) {
    CreateWindowedDevice();
    Ref<IDirect3DTexture9> target;
    ASSERT_EQ(device_->CreateTexture(32, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, target.out(),
                                     nullptr),
              D3D_OK);
    Ref<IDirect3DSurface9> level;
    ASSERT_EQ(target->GetSurfaceLevel(0, level.out()), D3D_OK);
    ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, level.get()), D3D_OK);
    D3DVIEWPORT9 viewport{};
    ASSERT_EQ(device_->GetViewport(&viewport), D3D_OK);
    EXPECT_EQ(viewport.Width, 32u);
    EXPECT_EQ(viewport.Height, 16u);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0x8000FF00u, 1.0f, 0), D3D_OK);

    Ref<IDirect3DSurface9> copy;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(32, 16, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, copy.out(), nullptr),
              D3D_OK);
    ASSERT_EQ(device_->GetRenderTargetData(level.get(), copy.get()), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[31], 0x8000FF00u);
    ASSERT_EQ(copy->UnlockRect(), D3D_OK);

    // The render target cannot be locked, and a plain DEFAULT surface is not a render target.
    EXPECT_EQ(level->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    Ref<IDirect3DSurface9> plain;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(32, 16, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, plain.out(), nullptr), D3D_OK);
    EXPECT_EQ(device_->SetRenderTarget(0, plain.get()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetRenderTargetData(plain.get(), copy.get()), D3DERR_INVALIDCALL);
}

TEST_F(PresentTest, AdditionalSwapChainPresentsIntoTheWindowItIsGiven) {
    CreateWindowedDevice();
    HWND other = win32::CreateTestWindow(u"second", 100, 100, 40, 30);
    // As the library's render windows ask: the window's size, its format, one refresh a frame.
    D3DPRESENT_PARAMETERS params = CopyChainParams(40, 30);
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    Ref<IDirect3DSwapChain9> chain;
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&params, chain.out()), D3D_OK);
    EXPECT_EQ(d3d9ctl::InspectDevice(device_.get()).additionalSwapChains, 1);

    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, back.get()), D3D_OK);
    ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233u, 1.0f, 0), D3D_OK);
    const RECT whole{0, 0, 40, 30};
    ASSERT_EQ(chain->Present(&whole, &whole, other, nullptr, 0), D3D_OK);
    EXPECT_EQ(WindowPixel(other, 0, 0), 0xFF112233u);
    EXPECT_EQ(WindowPixel(other, 39, 29), 0xFF112233u);
    EXPECT_EQ(WindowPixel(window_, 0, 0), 0u) << "the device's own window is untouched";

    // A smaller destination samples the buffer down; rectangles need the COPY effect.
    const RECT half{0, 0, 20, 15};
    ASSERT_EQ(chain->Present(&whole, &half, window_, nullptr, 0), D3D_OK);
    EXPECT_EQ(WindowPixel(window_, 19, 14), 0xFF112233u);
    EXPECT_EQ(WindowPixel(window_, 20, 15), 0u);
    EXPECT_EQ(device_->Present(&whole, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(PresentTest, PresentCopyIsClippedToBothSizes) {
    ASSERT_EQ(CreateDevice(WindowedParams(window_, 100, 20)), D3D_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFABCDEFu, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // The 100x20 buffer is stretched over the 64x48 client area by point sampling.
    EXPECT_EQ(WindowPixel(window_, 63, 47), 0xFFABCDEFu);
    device_.reset();
    ASSERT_EQ(CreateDevice(WindowedParams(window_, 16, 8)), D3D_OK);
    D3DPRESENT_PARAMETERS params = CopyChainParams(16, 8);
    Ref<IDirect3DSwapChain9> chain;
    ASSERT_EQ(device_->CreateAdditionalSwapChain(&params, chain.out()), D3D_OK);
    const RECT source{0, 0, 16, 8};
    const RECT dest{56, 40, 72, 48};  // half outside the window
    EXPECT_EQ(chain->Present(&source, &dest, window_, nullptr, 0), D3D_OK);
    EXPECT_EQ(WindowPixel(window_, 63, 47), kBlack);

    // Extreme rectangles are refused or clipped, never overflowed.
    const RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    EXPECT_EQ(chain->Present(&source, &huge, window_, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(chain->Present(&huge, nullptr, window_, nullptr, 0), D3DERR_INVALIDCALL);
    const RECT farLeft{-100000, -5, 64, 48};
    EXPECT_EQ(chain->Present(&source, &farLeft, window_, nullptr, 0), D3D_OK);
}

// What a present of `source` onto `dest` must leave in a window of width x height that showed
// `before`: the back buffer's nearest pixel inside the destination, the rest untouched.
std::vector<std::uint32_t> ExpectedWindow(const std::vector<std::uint32_t>& back, int backWidth, const RECT& source,
                                          const RECT& dest, std::vector<std::uint32_t> before, int width, int height) {
    const long long sw = source.right - source.left, sh = source.bottom - source.top;
    const long long dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    for (int y = std::max<int>(dest.top, 0); y < std::min<int>(dest.bottom, height); ++y)
        for (int x = std::max<int>(dest.left, 0); x < std::min<int>(dest.right, width); ++x) {
            const long long sx = source.left + (x - dest.left) * sw / dw, sy = source.top + (y - dest.top) * sh / dh;
            before[static_cast<std::size_t>(y) * width + x] = back[static_cast<std::size_t>(sy * backWidth + sx)];
        }
    return before;
}

// Named for the ThreadSanitizer pass: the present's copy runs band by band on the threads that
// drew the bands, or in the last flush's bands when nothing is queued; the window must show
// what one thread shows, which is the back buffer's pixels.
TEST_F(PresentTest, ThreadedPresentShowsWhatOneThreadShows) {
    constexpr int kBackWidth = 256, kBackHeight = 192;
    constexpr std::uint32_t kUntouched = 0x12345678u;
    struct Case {
        const char* name;
        D3DFORMAT format;
        int windowWidth, windowHeight;
        bool rects;  // else the whole buffer onto the whole window
        RECT source, dest;
    };
    const Case cases[] = {
        {"one to one", D3DFMT_X8R8G8B8, kBackWidth, kBackHeight, false, {}, {}},
        {"smaller window", D3DFMT_X8R8G8B8, 200, 150, true, {0, 0, kBackWidth, kBackHeight}, {0, 0, kBackWidth, kBackHeight}},
        {"larger window", D3DFMT_A8R8G8B8, 300, 240, true, {0, 0, kBackWidth, kBackHeight}, {10, 20, 266, 212}},
        {"part moved", D3DFMT_X8R8G8B8, 300, 240, true, {16, 8, 216, 168}, {-20, 30, 180, 190}},
        {"stretched", D3DFMT_X8R8G8B8, 200, 150, false, {}, {}},
        {"16-bit buffer", D3DFMT_R5G6B5, 300, 240, true, {0, 4, kBackWidth, 180}, {3, 50, 259, 226}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device_.reset();
        win32::DestroyAllWindows();
        window_ = win32::CreateTestWindow(u"present", 0, 0, c.windowWidth, c.windowHeight);
        D3DPRESENT_PARAMETERS params = WindowedParams(window_, kBackWidth, kBackHeight);
        params.BackBufferFormat = c.format;
        params.SwapEffect = D3DSWAPEFFECT_COPY;
        ASSERT_EQ(CreateDevice(params), D3D_OK);
        // A quad of four corner colours over most of the buffer: no two rows alike.
        const Vertex corners[6] = {{-0.9f, 0.95f, 0.5f, 0xFFFF0000u, 0, 0}, {0.95f, 0.9f, 0.5f, 0xFF00FF00u, 0, 0},
                                   {-0.95f, -0.9f, 0.5f, 0xFF0000FFu, 0, 0}, {-0.95f, -0.9f, 0.5f, 0xFF0000FFu, 0, 0},
                                   {0.95f, 0.9f, 0.5f, 0xFF00FF00u, 0, 0},   {0.9f, -0.95f, 0.5f, 0xFFFFFFFFu, 0, 0}};
        Ref<IDirect3DVertexBuffer9> vertices;
        CreateVertices(corners, 6, &vertices);
        device_->SetFVF(kFvf);
        device_->SetStreamSource(0, vertices.get(), 0, sizeof(Vertex));
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        Ref<IDirect3DSurface9> back;
        ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
        int width = 0, height = 0;
        std::uint32_t* shown = win32::WindowPixels(window_, &width, &height);
        ASSERT_NE(shown, nullptr);
        const std::size_t windowPixels = static_cast<std::size_t>(width) * height;
        const RECT* source = c.rects ? &c.source : nullptr;
        const RECT* dest = c.rects ? &c.dest : nullptr;
        auto present = [&] {
            std::fill(shown, shown + windowPixels, kUntouched);
            EXPECT_EQ(device_->Present(source, dest, nullptr, nullptr), D3D_OK);
            return std::vector<std::uint32_t>(shown, shown + windowPixels);
        };

        std::vector<std::uint32_t> reference;
        for (int threads : {1, 3, 8}) {
            d3d9ctl::SetRasterThreadCount(threads);
            ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040u, 1.0f, 0), D3D_OK);
            ASSERT_EQ(device_->BeginScene(), D3D_OK);
            ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
            ASSERT_EQ(device_->EndScene(), D3D_OK);
            const std::vector<std::uint32_t> queued = present();
            EXPECT_EQ(present(), queued) << threads << " threads, nothing queued";
            if (reference.empty()) {
                int backWidth = 0, backHeight = 0;
                const std::vector<std::uint32_t> buffer = d3d9ctl::ReadPixels(back.get(), &backWidth, &backHeight);
                const RECT whole{0, 0, backWidth, backHeight}, window{0, 0, width, height};
                const std::vector<std::uint32_t> before(windowPixels, kUntouched);
                reference = ExpectedWindow(buffer, backWidth, c.rects ? c.source : whole, c.rects ? c.dest : window, before,
                                           width, height);
                ASSERT_NE(buffer[kBackWidth * 40 + 100], buffer[kBackWidth * 41 + 100]) << "rows alike";
            }
            EXPECT_EQ(queued, reference) << threads << " threads";
        }
    }

    // A lost device fails the present and leaves the window alone.
    int width = 0, height = 0;
    std::uint32_t* shown = win32::WindowPixels(window_, &width, &height);
    std::fill(shown, shown + width * height, kUntouched);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040u, 1.0f, 0), D3D_OK);
    d3d9ctl::LoseDevice();
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(std::count(shown, shown + width * height, kUntouched), width * height);
}

TEST_F(PresentTest, CursorTakesACopyOfItsBitmap) {
    CreateWindowedDevice();
    Ref<IDirect3DSurface9> bitmap;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(32, 32, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, bitmap.out(), nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(bitmap->LockRect(&locked, nullptr, 0), D3D_OK);
    static_cast<std::uint32_t*>(locked.pBits)[1] = 0x80FF0000u;
    EXPECT_EQ(device_->SetCursorProperties(1, 1, bitmap.get()), D3DERR_INVALIDCALL) << "locked bitmap";
    ASSERT_EQ(bitmap->UnlockRect(), D3D_OK);
    ASSERT_EQ(device_->SetCursorProperties(3, 4, bitmap.get()), D3D_OK);
    EXPECT_EQ(device_->SetCursorProperties(32, 0, bitmap.get()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->ShowCursor(TRUE), FALSE);
    EXPECT_EQ(device_->ShowCursor(FALSE), TRUE);
    ASSERT_EQ(device_->SetDialogBoxMode(TRUE), D3D_OK);

    const d3d9ctl::DeviceInfo info = d3d9ctl::InspectDevice(device_.get());
    EXPECT_EQ(info.cursorHotSpotX, 3u);
    EXPECT_EQ(info.cursorHotSpotY, 4u);
    ASSERT_EQ(info.cursorPixels.size(), 32u * 32u);
    EXPECT_EQ(info.cursorPixels[1], 0x80FF0000u);
    EXPECT_FALSE(info.cursorVisible);
    EXPECT_TRUE(info.dialogBoxMode);
}

}  // namespace
}  // namespace d3d9test
