// A host of the legacy library (liblumiscriber_legacy), on the software device: it draws
// points, lines, triangles, rectangles and textured quads into its main window, into an
// additional swap chain that it presents into a second window, and into a render-target
// texture; it draws an image into one of its own textures (Draw2Texture) and shows that
// texture; it draws Latin and Chinese text, outlined and wrapped (demo_text.h), and over the
// main window particle effects of the legacy dialect of the tests' corpus
// (tests/legacy/scripts); it loses and recovers the device on the way, and saves frames as PNG
// under out/.
// The legacy interface draws one target per BeginScene/EndScene pair, so each frame is two
// such pairs: the swap chain's, then the main window's.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/lumiscriber_api.h"
#include "demo/legacy/demo_text.h"
#include "demo/demo_effects.h"
#include "image/raster.h"
#include "platform/d3d9/control.h"
#include "platform/ddraw/control.h"
#include "platform/dxdiag/control.h"
#include "platform/win32/window.h"

#if !defined(LUMI_LEGACY) || !LUMI_LEGACY
#error "this host is built against the legacy library, whose package sets LUMI_LEGACY"
#endif

namespace {

constexpr int kFrames = 120;
constexpr int kLoseAt = 40, kRestoreAt = 50;
constexpr int kWidth = 640, kHeight = 480;
constexpr int kChainWidth = 320, kChainHeight = 240;
constexpr int kTargetSide = 128;
constexpr int kSprites = 24;

constexpr char16_t kTileFile[] = u"textures/tile.bmp";
constexpr char16_t kBallFile[] = u"textures/ball.png";
constexpr char16_t kBadgeFile[] = u"textures/badge.png";

// A square image file: `texel(x, y)` gives each pixel as 0xAARRGGBB (top row first). PNG
// files keep the alpha.
bool WriteImage(const char16_t* path, int side, DWORD type, std::uint32_t (*texel)(int, int, int)) {
    CRaster image(static_cast<DWORD>(side), static_cast<DWORD>(side), 24, type);
    const bool alpha = type == kRasterTypePng;
    if (alpha && !image.CreateAlpha()) return false;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::uint32_t c = texel(x, y, side);
            // The image library counts rows from the bottom.
            image.SetPixelColor(x, side - 1 - y,
                                RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16),
                                        static_cast<BYTE>(c >> 24)},
                                alpha);
        }
    return image.Save(path, type);
}

std::uint32_t Checker(int x, int y, int) { return (x / 8 + y / 8) % 2 ? 0xFFE0A020u : 0xFF2040A0u; }

// A soft-edged disc, opaque in its middle.
std::uint32_t Ball(int x, int y, int side) {
    const double r = side / 2.0;
    const double d = std::hypot(x + 0.5 - r, y + 0.5 - r) / r;
    const auto alpha = static_cast<std::uint32_t>(d >= 1.0 ? 0 : d < 0.7 ? 255 : 255 * (1.0 - d) / 0.3);
    return alpha << 24 | 0x30D0F0u;
}

std::uint32_t Badge(int x, int y, int side) {
    const bool border = x < 2 || y < 2 || x >= side - 2 || y >= side - 2;
    return border ? 0xFFFFFFFFu : (x + y) % 6 < 3 ? 0xC0E03060u : 0x60E03060u;
}

D3DCOLOR Hue(int frame, int offset) {
    const double a = (frame * 4 + offset) * 3.14159265358979 / 180.0;
    auto ch = [&](double phase) { return static_cast<unsigned>(60.0 + 60.0 * std::sin(a + phase)) & 0xFFu; };
    return D3DCOLOR_ARGB(0xFF, ch(0.0), ch(2.0944), ch(4.18879));
}

// Shapes and sprites of one target of `width` x `height`; returns the draws submitted.
int DrawScene(IRenderer* renderer, const std::vector<STRU_DRAW_COMMAND_BASE*>& sprites, int frame, int width,
              int height) {
    int draws = 0;
    for (int i = 0; i < 40; ++i, ++draws)
        renderer->DrawPoint(ScratchCommand(), (i * 37 + frame) % width, 8 + (i * 11) % 24, 0xFFFFFFFFu);
    renderer->DrawLine(ScratchCommand(), 0, height - 20, width, height - 20 - (frame % 40), 0xFFFFFF00u);
    const STRU_LINE_SEGMENT zigzag[3] = {{10, 40, 30, 60}, {30, 60, 50, 40}, {50, 40, 70, 60}};
    renderer->DrawLines(ScratchCommand(), zigzag, 3, 0xFF80FF80u);
    renderer->DrawTriangle(ScratchCommand(), width - 90, 40, width - 20, 40, width - 55, 100, 0xFF30C030u, true);
    renderer->DrawTriangle(ScratchCommand(), width - 90, 110, width - 20, 110, width - 55, 170, 0xFFFFFFFFu, false);
    renderer->DrawRect(ScratchCommand(), 20, 80, 120, 150, 0xFFC03030u, true);
    renderer->DrawRect(ScratchCommand(), 14, 74, 126, 156, 0xFFFFFFFFu, false);
    renderer->DrawRect(ScratchCommand(), 60, 110, 200, 190, 0x80FFFFFFu, true);  // translucent, over the rest
    draws += 7;
    for (int i = 0; i < static_cast<int>(sprites.size()); ++i, ++draws) {
        const int x = (i * 53 + frame * (2 + i % 3)) % (width + 32) - 32;
        const int y = 60 + (i * 29) % (height - 120);
        renderer->DrawTexturePrimitiveAt(sprites[static_cast<std::size_t>(i)], x, y, nullptr, 0, 0xFFFFFFFFu);
    }
    return draws;
}

void SaveWindow(HWND window, const char* name, int frame) {
    char path[64];
    std::snprintf(path, sizeof(path), "out/%s_%03d.png", name, frame);
    std::printf("  %s %s\n", win32::SaveWindowPixelsPng(window, path) ? "saved" : "could not save", path);
}

void SaveTarget(IRenderTarget* target, int frame) {
    char path[64];
    std::snprintf(path, sizeof(path), "out/target_%03d.png", frame);
    const std::u16string wide(path, path + std::char_traits<char>::length(path));
    std::printf("  %s %s\n", target->SaveToFile(wide.c_str()) ? "saved" : "could not save", path);
}

}  // namespace

int main() {
    std::filesystem::create_directories("logs");
    std::filesystem::create_directories("out");
    std::filesystem::create_directories("textures");
    if (!WriteImage(kTileFile, 64, kRasterTypeBmp, Checker) || !WriteImage(kBallFile, 32, kRasterTypePng, Ball) ||
        !WriteImage(kBadgeFile, 32, kRasterTypePng, Badge) || !demo::WriteParticleTexture()) {
        std::printf("The texture files could not be written.\n");
        return 1;
    }
    ddrawctl::Install();
    dxdiagctl::Install();
    HWND mainWindow = win32::CreateTestWindow(u"Lumiscriber legacy demo", 0, 0, kWidth, kHeight);
    HWND chainWindow = win32::CreateTestWindow(u"Lumiscriber legacy demo: swap chain", 660, 0, kChainWidth, kChainHeight);

    STRU_RENDERER_PARAM param{};
    param.Window = mainWindow;
    param.Width = kWidth;
    param.Height = kHeight;
    param.BitsPerPixel = 32;
    param.Quality = 1;
    param.Windowed = 1;
    IRenderer* renderer = CreateLumiscriber(&param);
    if (renderer == nullptr) {
        std::printf("The renderer could not be created; see logs/lumiscriber.log.\n");
        return 1;
    }
    ISwapChain* chain = renderer->CreateAdditionalSwapChain(kChainWidth, kChainHeight);
    IRenderTarget* target = renderer->CreateRenderTarget(kTargetSide, kTargetSide);
    // A texture of the host's own, into which the renderer draws an image file.
    ITexture* canvas = renderer->CreateTexture(64, 64, D3DFMT_A8R8G8B8);
    if (chain == nullptr || target == nullptr || canvas == nullptr) {
        std::printf("The swap chain, render target or texture could not be made.\n");
        ReleaseLumiscriber(renderer);
        return 1;
    }
    std::vector<std::uint32_t> blank(64 * 64, 0xFF303030u);
    canvas->UpdateRect(blank.data(), 64, 64, 64 * 4, 32, 0, 0);
    const RECT ballSource{0, 0, 32, 32};
    const RECT ballOnCanvas{16, 16, 48, 48};
    renderer->Draw2Texture(canvas, kBallFile, &ballSource, &ballOnCanvas, 0, 0xFFFFFFFFu, false);

    // Legacy emitters read and compile their scripts at once.
    auto effects = std::make_unique<demo::Effects>(renderer);
    std::printf("particle emitters loaded: %d of 5\n", effects->LoadedCount());

    std::vector<STRU_DRAW_COMMAND_BASE*> sprites;
    for (int i = 0; i < kSprites; ++i) {
        STRU_DRAW_COMMAND_BASE* sprite = renderer->CreatePrimitive(kDrawCmdTexturedRect);
        renderer->SetTexture(sprite, i % 3 == 0 ? kTileFile : i % 3 == 1 ? kBallFile : kBadgeFile, false);
        sprites.push_back(sprite);
    }

    auto text = std::make_unique<DemoText>(renderer);  // released before the renderer
    std::printf("Running %d frames into a %dx%d window, a %dx%d swap chain and a %dx%d render target.\n", kFrames,
                kWidth, kHeight, kChainWidth, kChainHeight, kTargetSide, kTargetSide);
    const auto started = std::chrono::steady_clock::now();
    for (int frame = 0; frame < kFrames; ++frame) {
        if (frame == kLoseAt) {
            std::printf("frame %d: the device is lost\n", frame);
            d3d9ctl::LoseDevice();
        }
        if (frame == kRestoreAt) {
            std::printf("frame %d: the device can be reset again\n", frame);
            d3d9ctl::RestoreDevice();
        }
        // The render target gets a tile at a new place now and then; after the reset it starts
        // over empty.
        if (frame % 10 == 0) {
            const POINT at{(frame / 10 % 4) * 32, (frame / 40 % 4) * 32};
            renderer->DrawTex2Tex(kTileFile, nullptr, target, &at);
        }
        const std::uint64_t deviceDraws = d3d9ctl::GetCounters().drawCalls;
        renderer->OnFrameBegin();
        renderer->AttachSwapChain(chain);
        renderer->BeginScene();
        renderer->SetBackgroundColor(Hue(frame, 180));
        int submissions = DrawScene(renderer, sprites, frame, kChainWidth, kChainHeight);
        submissions += text->Draw(frame, kChainWidth, kChainHeight);
        renderer->EndScene(false);
        chain->Present(nullptr, nullptr, chainWindow);

        renderer->AttachSwapChain(nullptr);
        renderer->BeginScene();
        renderer->SetBackgroundColor(Hue(frame, 0));
        submissions += DrawScene(renderer, sprites, frame, kWidth, kHeight);
        submissions += effects->Draw(frame, kWidth, kHeight);
        const RECT whole{0, 0, 64, 64};
        const RECT shown{kWidth - 150, kHeight - 150, kWidth - 22, kHeight - 22};
        renderer->DrawTexture(canvas, &shown, &whole, 0xFFFFFFFFu, 0);
        ++submissions;
        // The text last: the effects' panels lie under it, not over it.
        submissions += text->Draw(frame, kWidth, kHeight);
        renderer->EndScene(true);
        renderer->OnFrameEnd();

        if (frame % 30 == 29) {
            std::printf("frame %d: %d submissions by the host, %d batches in the last target, %llu device draw calls\n",
                        frame, submissions, renderer->GetStatistics()->Batches,
                        static_cast<unsigned long long>(d3d9ctl::GetCounters().drawCalls - deviceDraws));
        }
        if (frame == 30 || frame == 45 || frame == 60 || frame == 110) {
            std::printf("frame %d:\n", frame);
            SaveWindow(mainWindow, "main", frame);
            SaveWindow(chainWindow, "chain", frame);
            SaveTarget(target, frame);
        }
    }

    std::printf("sparks restarted %d times\n", effects->Restarts());
    effects.reset();
    text.reset();
    for (STRU_DRAW_COMMAND_BASE* sprite : sprites) renderer->ReleasePrimitive(sprite);
    renderer->DestroyTexture(canvas);
    renderer->DestroyRenderTarget(target);
    renderer->DestroySwapChain(chain);
    // The renderer's FPS is its last one-second sample, and the run may end before the first.
    const std::chrono::duration<double> ran = std::chrono::steady_clock::now() - started;
    std::printf("FPS %.1f over the run (the renderer's last one-second sample: %.1f)\n", kFrames / ran.count(),
                renderer->GetFPS());
    ReleaseLumiscriber(renderer);
    std::printf("Event log: %s\n", std::filesystem::absolute("logs/lumiscriber.log").string().c_str());
    std::printf("Frames: %s\n", std::filesystem::absolute("out").string().c_str());
    return 0;
}
