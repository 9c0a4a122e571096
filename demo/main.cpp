// A host program that drives the renderer end to end on the software device: it creates a
// window and a windowed renderer, adds a second render window, and runs frames that draw a
// scene of shapes, translucent shapes, a few thousand sprites and text into both windows, and
// particle effects from scripts over the main window. Some sprite textures are made in memory,
// others load in the background from PNG, BMP and TGA files the demo writes first. On the way
// the device is lost and recovered, grey mode is switched on for a while and the display mode
// changes. Some presented frames are saved as PNG under out/.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/lumiscriber_api.h"
#include "core/renderer_interface.h"
#include "demo/demo_effects.h"
#include "demo/demo_scene.h"
#include "platform/d3d9/control.h"
#include "platform/ddraw/control.h"
#include "platform/dxdiag/control.h"
#include "platform/win32/window.h"

namespace {

constexpr int kFrames = 300;
constexpr int kLoseAt = 100;     // the device is lost here ...
constexpr int kRestoreAt = 110;  // ... and may be reset from here on
constexpr int kGreyFrom = 150, kGreyTo = 200;
constexpr int kModeChangeAt = 200;
constexpr int kExtraWidth = 320, kExtraHeight = 240;

// A colour that walks round the hue circle as the frames go by.
D3DCOLOR HueColour(int frame, int offset) {
    const double angle = (frame * 3 + offset) * 3.14159265358979 / 180.0;
    auto channel = [&](double phase) {
        return static_cast<unsigned>(127.5 + 127.5 * std::sin(angle + phase)) & 0xFFu;
    };
    return D3DCOLOR_ARGB(0xFF, channel(0.0) / 3, channel(2.0944) / 3, channel(4.18879) / 3);
}

// What one frame cost, from the host's side to the device's.
struct FrameCounts {
    int submissions = 0;          // draw operations the host submitted
    int batches = 0;              // batches the renderer reports for the frame
    std::uint64_t deviceDraws = 0;  // draws the device received
};

void PrintFrameCounts(int frame, const FrameCounts& counts) {
    std::printf("frame %d: %d submissions by the host, %d batches, %llu device draw calls\n", frame,
                counts.submissions, counts.batches, static_cast<unsigned long long>(counts.deviceDraws));
}

void SaveFrame(HWND window, const char* name, int frame) {
    char path[64];
    std::snprintf(path, sizeof(path), "out/%s_%03d.png", name, frame);
    if (win32::SaveWindowPixelsPng(window, path))
        std::printf("  saved %s\n", path);
    else
        std::printf("  could not save %s\n", path);
}

}  // namespace

int main() {
    std::filesystem::create_directories("logs");
    std::filesystem::create_directories("out");
    if (!demo::WriteTextureFiles() || !demo::WriteParticleTexture()) {
        std::printf("The texture files could not be written.\n");
        return 1;
    }

    // The system-information and video-memory providers the renderer asks on start-up.
    ddrawctl::Install();
    dxdiagctl::Install();

    HWND mainWindow = win32::CreateTestWindow(u"Lumiscriber demo", 0, 0, 1024, 768);
    HWND extraWindow = win32::CreateTestWindow(u"Lumiscriber demo: second window", 1040, 0, kExtraWidth, kExtraHeight);

    STRU_RENDERER_PARAM param{};
    param.UserData = 2026;
    param.Window = mainWindow;
    param.Width = 1024;
    param.Height = 768;
    param.BitsPerPixel = 32;
    param.Quality = 1;
    param.Windowed = 1;
    param.Vsync = 0;

    IRenderer* renderer = CreateLumiscriber(&param);
    if (renderer == nullptr) {
        std::printf("The renderer could not be created; see logs/lumiscriber.log.\n");
        return 1;
    }
    ISwapChain* extra = renderer->CreateRenderWindow(extraWindow, kExtraWidth, kExtraHeight);
    if (extra == nullptr) {
        std::printf("The second render window could not be created.\n");
        ReleaseLumiscriber(renderer);
        return 1;
    }

    FrameCounts counts;
    {
        demo::Scene scene(renderer);
        demo::Effects effects(renderer);
        std::printf("Running %d frames of %d sprites and five text lines on a 1024x768 window and a %dx%d window.\n",
                    kFrames, scene.SpritesPerFrame(), kExtraWidth, kExtraHeight);
        if (!scene.HasText())
            std::printf("The fonts are missing (fonts-dejavu-core, fonts-wqy-microhei): no text is drawn.\n");
        for (int frame = 0; frame < kFrames; ++frame) {
            if (frame == kLoseAt) {
                std::printf("frame %d: the device is lost\n", frame);
                d3d9ctl::LoseDevice();
            }
            if (frame == kRestoreAt) {
                std::printf("frame %d: the device can be reset again\n", frame);
                d3d9ctl::RestoreDevice();
            }
            if (frame == kGreyFrom || frame == kGreyTo) {
                renderer->SetGreyMode(frame == kGreyFrom);
                std::printf("frame %d: grey mode %s\n", frame, frame == kGreyFrom ? "on" : "off");
            }
            if (frame == kModeChangeAt) {
                const bool changed = renderer->ChangeDisplayMode(800, 600, 32, 1, false, true);
                std::printf("frame %d: display mode 800x600 %s\n", frame, changed ? "applied" : "refused");
                scene.WriteMemoryTextures();
            }

            const std::uint64_t deviceDrawsBefore = d3d9ctl::GetCounters().drawCalls;
            renderer->OnFrameBegin();
            renderer->BeginScene();
            renderer->SelectRenderWindow(extra);
            renderer->SetBackgroundColor(HueColour(frame, 180));
            counts.submissions = scene.Draw(frame, kExtraWidth, kExtraHeight);
            counts.submissions += scene.DrawTextLines(frame, kExtraWidth, kExtraHeight);
            renderer->SelectRenderWindow(nullptr);
            renderer->SetBackgroundColor(HueColour(frame, 0));
            // The text last: the effects' panels lie under it, not over it.
            counts.submissions += scene.Draw(frame, renderer->GetWidth(), renderer->GetHeight());
            counts.submissions += effects.Draw(frame, renderer->GetWidth(), renderer->GetHeight());
            counts.submissions += scene.DrawTextLines(frame, renderer->GetWidth(), renderer->GetHeight());
            renderer->EndScene(true);
            renderer->OnFrameEnd();
            counts.batches = renderer->GetStatistics()->Batches;
            counts.deviceDraws = d3d9ctl::GetCounters().drawCalls - deviceDrawsBefore;

            if (frame % 60 == 59) {
                PrintFrameCounts(frame, counts);
                std::printf("frame %d: file textures loaded per group: %d, %d, %d\n", frame,
                            scene.LoadedFilesOfGroup(0), scene.LoadedFilesOfGroup(1), scene.LoadedFilesOfGroup(2));
                std::printf("frame %d: particle emitters loaded: %d of 5, sparks restarted %d times\n", frame,
                            effects.LoadedCount(), effects.Restarts());
            }
            if (frame == 50 || frame == 105 || frame == 160 || frame == 250) {
                std::printf("frame %d:\n", frame);
                SaveFrame(mainWindow, "main", frame);
                SaveFrame(extraWindow, "extra", frame);
            }
        }
    }

    const STRU_RENDER_STATS* stats = renderer->GetStatistics();
    std::printf("FPS %.1f (one-second samples: min %.1f, max %.1f)\n", renderer->GetFPS(),
                stats ? stats->MinFps : 0.0f, stats ? stats->MaxFps : 0.0f);

    renderer->DestroyRenderWindow(extra);
    ReleaseLumiscriber(renderer);
    std::printf("Event log: %s\n", std::filesystem::absolute("logs/lumiscriber.log").string().c_str());
    std::printf("Frames: %s\n", std::filesystem::absolute("out").string().c_str());
    return 0;
}
