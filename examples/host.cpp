// A small host: a window, a renderer on it, a few shapes and a sprite each frame, and the last
// frame saved as frame.png; then a particle emitter edited and saved as edited.pes. Exits
// with 0 when the saved frame shows what was drawn and the saved script holds the edits.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/lumiscriber_api.h"
#include "particle/particle_emitter_script.h"
#include "platform/win32/window.h"

namespace {

constexpr int kWidth = 320, kHeight = 240, kFrames = 60;

// The window's pixel at (x, y) as 0xRRGGBB.
std::uint32_t PixelAt(HWND window, int x, int y) {
    int width = 0, height = 0;
    const std::uint32_t* pixels = win32::WindowPixels(window, &width, &height);
    return pixels != nullptr && x < width && y < height ? pixels[y * width + x] & 0xFFFFFFu : 0;
}

// Loads a one-beam script into a particle command, edits its emitter through the script
// interfaces (a new name, a second beam put first, a particle count) and saves it. True when
// the saved text holds the edits.
bool EditEmitter(IRenderer* renderer) {
    std::ofstream("spark.pes", std::ios::binary)
        << "PARTICLEEMITTER \"spark\" 1\n{\n\tPARTICLEBEAM \"glow\"\n\t{\n\t\tNUMPARTICLES = 3\n\t}\n}\n";
    STRU_DRAW_COMMAND_BASE* cmd = renderer->CreatePrimitive(kDrawCmdParticle);
    renderer->SetParticleEmitter(cmd, u"spark.pes", 0);
    // The script is read and compiled by the resource loader: one frame that waits for it.
    renderer->RequestLoadWait();
    renderer->BeginScene();
    renderer->EndScene(false);
    renderer->OnFrameEnd();

    IParticleEmitterScript* emitter = EmitterScriptOf(renderer->GetParticleEmitter(cmd));
    bool saved = false;
#if defined(LUMI_LEGACY) && LUMI_LEGACY
    const bool loaded = emitter != nullptr;  // the legacy library compiles the script at once
#else
    const bool loaded = emitter != nullptr && emitter->IsLoaded();
#endif
    if (loaded && emitter->GetBeamCount() == 1) {
        emitter->SetName(u"edited");
        CParticleBeam* trail = emitter->AddBeam();
        BeamScriptOf(trail)->SetName(u"trail");
        BeamScriptOf(trail)->SetNumParticles(7);
        emitter->MoveBeamToFront(static_cast<std::uint32_t>(emitter->GetBeamIndex(trail)));
        saved = emitter->Save(u"edited.pes");
    }
    renderer->ReleasePrimitive(cmd);

    std::ostringstream text;
    text << std::ifstream("edited.pes", std::ios::binary).rdbuf();
    const std::string script = text.str();
    const auto trailAt = script.find("PARTICLEBEAM \"trail\""), glowAt = script.find("PARTICLEBEAM \"glow\"");
    const bool edited = script.find("PARTICLEEMITTER \"edited\"") != std::string::npos &&
                        trailAt != std::string::npos && glowAt != std::string::npos && trailAt < glowAt &&
                        script.find("NUMPARTICLES = 7", trailAt) < glowAt;
    std::printf("edited.pes %s; the script %s\n", saved ? "saved" : "not saved",
                edited ? "holds the edits" : "does not hold the edits");
    return saved && edited;
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
    const bool edited = EditEmitter(renderer);
    ReleaseLumiscriber(renderer);
    DestroyWindow(window);
    return drawn && saved && edited ? 0 : 1;
}
