#include "demo/demo_effects.h"

#include <cmath>
#include <filesystem>
#include <string>

#include "image/raster.h"
#include "platform/win32/text.h"

namespace demo {

namespace {

constexpr int kDotSide = 32;
constexpr D3DCOLOR kPanel = 0xD0080810u;

// The script of the corpus the build names.
std::u16string Script(const char* name) {
    return win32::Utf8ToUtf16((std::filesystem::path(LUMI_PARTICLE_SCRIPTS) / name).string());
}

}  // namespace

bool WriteParticleTexture() {
    std::filesystem::create_directories("particles");
    CRaster image;
    if (image.Create(kDotSide, kDotSide, 24, kRasterTypePng) == nullptr || !image.CreateAlpha()) return false;
    const double centre = (kDotSide - 1) / 2.0;
    for (LONG y = 0; y < kDotSide; ++y) {
        for (LONG x = 0; x < kDotSide; ++x) {
            image.SetPixelColor(x, y, RGBQUAD{255, 255, 255, 0});
            const double d = std::hypot(x - centre, y - centre) / (kDotSide / 2.0);
            const double a = d >= 1.0 ? 0.0 : (1.0 - d) * (1.0 - d);
            image.SetAlphaAt(x, y, static_cast<BYTE>(a * 255.0 + 0.5));
        }
    }
    return image.Save(u"particles/soft.png", kRasterTypePng);
}

Effects::Effects(IRenderer* renderer) : renderer_(renderer) {
    auto make = [&](const char* script) {
        STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdParticle);
        renderer_->SetParticleEmitter(cmd, Script(script).c_str(), 0);
        return cmd;
    };
    fire_ = make("fire.pes");
    smoke_ = make("smoke.pes");
    rain_ = make("rain.pes");
    circle_ = make("circle.pes");
    sparks_ = make("sparks.pes");
}

Effects::~Effects() {
    for (STRU_DRAW_COMMAND_BASE* cmd : {fire_, smoke_, rain_, circle_, sparks_}) renderer_->ReleasePrimitive(cmd);
}

int Effects::Draw(int frame, int width, int height) {
    // A finite life ends: the host starts it again (a loading emitter counts as alive).
    if (!renderer_->IsEmitterAlive(sparks_)) {
        renderer_->RestartEmitter(sparks_, 0);
        ++restarts_;
    }
    const int fireX = width / 4;
    const int fireY = height * 5 / 6;
    const int span = width + 120;
    const int circleX = (frame * 5) % span - 60;
    // Dark panels under the fire, the sparks and the circle's way, so that they read over the
    // sprites.
    renderer_->DrawRect(ScratchCommand(), 0, height / 3 - 80, width, height / 3 + 80, kPanel, true);
    renderer_->DrawRect(ScratchCommand(), fireX - 110, fireY - 230, fireX + 110, fireY + 40, kPanel, true);
    renderer_->DrawRect(ScratchCommand(), width * 3 / 4 - 160, height / 2 - 140, width * 3 / 4 + 160,
                        height / 2 + 180, kPanel, true);
    renderer_->DrawEmitter(rain_, width / 2, 0, 0, 0, 0, 1.0f);
    renderer_->DrawEmitter(smoke_, fireX, fireY - 40, 0, 0, 0, 1.0f);
    renderer_->DrawEmitter(fire_, fireX, fireY, 0, 0, 0, 1.0f);
    renderer_->DrawCircleEmitter(circle_, circleX, height / 3, 0, 0, 0, 1.0f);
    renderer_->DrawEmitter(sparks_, width * 3 / 4, height / 2, 0, 0, 0, 1.0f);
    return 8;
}

int Effects::LoadedCount() const {
    int loaded = 0;
    for (STRU_DRAW_COMMAND_BASE* cmd : {fire_, smoke_, rain_, circle_, sparks_})
        loaded += renderer_->GetEmitterLife(cmd) != 0.0f ? 1 : 0;
    return loaded;
}

}  // namespace demo
