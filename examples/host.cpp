// A small host: a window, a renderer on it, a few shapes and a sprite each frame, and the last
// frame saved as frame.png. Exits with 0 when the saved frame shows what was drawn.
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "core/lumiscriber_api.h"
#include "platform/win32/window.h"

namespace {

constexpr int kWidth = 320, kHeight = 240, kFrames = 60;

// The window's pixel at (x, y) as 0xRRGGBB.
std::uint32_t PixelAt(HWND window, int x, int y) {
    int width = 0, height = 0;
    const std::uint32_t* pixels = win32::WindowPixels(window, &width, &height);
    return pixels != nullptr && x < width && y < height ? pixels[y * width + x] & 0xFFFFFFu : 0;
}

}  // namespace

int main() {
    std::filesystem::create_directories("logs");  // the renderer's event log goes there
    HWND window = win32::CreateTestWindow(u"Lumiscriber example", 0, 0, kWidth, kHeight);

    STRU_RENDERER_PARAM param{};
    param.Window = window;
    param.Width = kWidth;
    param.Height = kHeight;
    param.BitsPerPixel = 32;
    param.Quality = 1;
    param.Windowed = 1;
    IRenderer* renderer = CreateLumiscriber(&param);
    if (renderer == nullptr) {
        std::printf("no renderer: see logs/lumiscriber.log\n");
        return 1;
    }

    // The sprite: a 16x16 checker written by the host into a texture the renderer owns. The
    // legacy library's CreateTexture takes no usage argument.
#if defined(LUMI_LEGACY) && LUMI_LEGACY
    ITexture* texture = renderer->CreateTexture(16, 16, D3DFMT_A8R8G8B8);
#else
    ITexture* texture = renderer->CreateTexture(16, 16, D3DFMT_A8R8G8B8, 0);
#endif
    std::uint32_t texels[16 * 16];
    for (int i = 0; i < 16 * 16; ++i) texels[i] = ((i / 16 / 4 + i % 16 / 4) % 2) ? 0xFFFFFFFFu : 0xFF3060C0u;
    texture->UpdateRect(texels, 16, 16, 16 * 4, 32, 0, 0);
    const RECT wholeTexture{0, 0, 16, 16};

    for (int frame = 0; frame < kFrames; ++frame) {
        renderer->OnFrameBegin();
        renderer->BeginScene();
        renderer->SetBackgroundColor(0xFF102030u);
        // Shapes through the renderer's per-frame commands.
        renderer->DrawRect(ScratchCommand(), 20, 20, 100, 80, 0xFFC03030u, true);
        renderer->DrawRect(ScratchCommand(), 10, 10, 110, 90, 0xFFFFFFFFu, false);
        renderer->DrawTriangle(ScratchCommand(), 200, 20, 300, 20, 250, 90, 0xFF30C030u, true);
        renderer->DrawLine(ScratchCommand(), 0, kHeight - 1, kWidth - 1, kHeight - 1, 0xFFFFFF00u);
        renderer->DrawRect(ScratchCommand(), 60, 30, 260, 100, 0x40FFFFFFu, true);  // translucent, over the rest
        // The sprite moves right, stretched to 64x64.
        const RECT destination{frame * 2, 110, frame * 2 + 64, 174};
        renderer->DrawTexture(texture, &destination, &wholeTexture, 0xFFFFFFFFu, 0);
        renderer->EndScene(true);
        const int drawCalls = renderer->GetStatistics()->DrawCalls;
        renderer->OnFrameEnd();
        if (frame == kFrames - 1)
            std::printf("%d frames; the last one: %d draw calls, %d batches\n", kFrames, drawCalls,
                        renderer->GetStatistics()->Batches);
    }

    // A corner of the red rectangle, and a blue cell of the sprite where the last frame put it.
    const bool drawn = PixelAt(window, 25, 25) == 0xC03030u && PixelAt(window, 126, 116) == 0x3060C0u;
    const bool saved = win32::SaveWindowPixelsPng(window, "frame.png");
    std::printf("frame.png %s; the frame %s\n", saved ? "saved" : "not saved",
                drawn ? "shows the shapes and the sprite" : "does not show what was drawn");

    renderer->DestroyTexture(texture);
    ReleaseLumiscriber(renderer);
    DestroyWindow(window);
    return drawn && saved ? 0 : 1;
}
