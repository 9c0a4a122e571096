// Particle emitters through IRenderer on the software device: corpus scripts drawn only once
// loaded, circle beams, finite lives and restarts, giving commands their emitters, and
// emitters kept through a device loss and a display-mode change.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "draw/draw_commands.h"
#include "particle/particle_emitter_mgr.h"
#include "tests/draw/tex_mgr_fixture.h"
#include "tests/particle/emitter_test_support.h"

namespace lumi::test {
namespace {

constexpr std::uint32_t kFrameMs = 33;

class EmitterRenderTest : public TexMgrTest {
protected:
    void SetUp() override {
        TexMgrTest::SetUp();
        SeedParticleRandom(5);
        std::filesystem::create_directories("particles");
        // The corpus scripts' texture: opaque white, so that what is drawn is the particles'
        // own colour.
        WriteImage(u"particles/soft.png", 16, 16, kRasterTypePng, [](int, int) { return 0xFFFFFFFFu; }, true);
    }

    // A particle command with the emitter of the corpus script `name`.
    STRU_DRAW_COMMAND_BASE* EmitterOf(const std::string& name) {
        STRU_DRAW_COMMAND_BASE* cmd = renderer_->CreatePrimitive(kDrawCmdParticle);
        renderer_->SetParticleEmitter(cmd, CorpusPath(name).c_str(), 0);
        commands_.push_back(cmd);
        return cmd;
    }
    static std::u16string CorpusPath(const std::string& name) {
        return win32::Utf8ToUtf16((CorpusFolder() / name).string());
    }

    // `count` frames of `kFrameMs` with `draws`, the loader run to its end after each.
    void Frames(int count, const std::function<void()>& draws) {
        for (int i = 0; i < count; ++i) {
            clock_.Advance(kFrameMs);
            DrawFrame(draws);
            CResourceLoader::GetSingleton().RunUntilIdle();
        }
    }

    // Presented pixels inside the rectangle that are not the black background.
    int LitPixels(int left, int top, int right, int bottom) const {
        int lit = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) lit += Pixel(x, y) != 0 ? 1 : 0;
        return lit;
    }

    void TearDown() override {
        if (renderer_ != nullptr)
            for (STRU_DRAW_COMMAND_BASE* cmd : commands_) renderer_->ReleasePrimitive(cmd);
        TexMgrTest::TearDown();
    }

    std::vector<STRU_DRAW_COMMAND_BASE*> commands_;
};

TEST_F(EmitterRenderTest, AScriptIsDrawnOnceItHasLoadedAndNotBefore) {
    STRU_DRAW_COMMAND_BASE* fire = EmitterOf("fire.pes");
    EXPECT_TRUE(renderer_->IsEmitterAlive(fire)) << "still loading counts as alive";
    EXPECT_EQ(renderer_->GetEmitterLife(fire), 0.0f);
    EXPECT_FALSE(renderer_->HasCircleBeam(fire));
    clock_.Advance(kFrameMs);
    DrawFrame([&] { renderer_->DrawEmitter(fire, 160, 200, 0, 0, 0, 1.0f); });
    EXPECT_EQ(renderer_->GetStatistics()->DrawCalls, 0) << "nothing drawn before the script loads";
    EXPECT_EQ(LitPixels(0, 0, kWidth, kHeight), 0);

    CResourceLoader::GetSingleton().RunUntilIdle();
    EXPECT_EQ(renderer_->GetEmitterLife(fire), -1.0f);
    Frames(30, [&] { renderer_->DrawEmitter(fire, 160, 200, 0, 0, 0, 1.0f); });
    EXPECT_EQ(renderer_->GetStatistics()->DrawCalls, 1);
    EXPECT_GT(LitPixels(120, 120, 200, 215), 200) << "the flame over (160, 200)";
    EXPECT_EQ(LitPixels(0, 0, 80, kHeight), 0) << "and nothing far from it";
    // Fire colours added up: red over green over blue wherever the flame is.
    int warm = 0;
    for (int y = 120; y < 215; ++y) {
        for (int x = 120; x < 200; ++x) {
            const std::uint32_t c = Pixel(x, y);
            const std::uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
            EXPECT_TRUE(r >= g && g >= b) << x << ", " << y << ": " << std::hex << c;
            warm += r > b ? 1 : 0;
        }
    }
    EXPECT_GT(warm, 100);

    // Moved across the screen, it draws where it is drawn.
    Frames(30, [&] { renderer_->DrawEmitterAlt(fire, 60, 200, 0, 0, 0, 1.0f); });
    EXPECT_GT(LitPixels(20, 120, 100, 215), 200);
}

TEST_F(EmitterRenderTest, ACircleEmitterOperationDrawsOnlyAnEmitterWithACircleBeam) {
    STRU_DRAW_COMMAND_BASE* fire = EmitterOf("fire.pes");
    STRU_DRAW_COMMAND_BASE* circle = EmitterOf("circle.pes");
    CResourceLoader::GetSingleton().RunUntilIdle();
    EXPECT_TRUE(renderer_->HasCircleBeam(circle));
    EXPECT_FALSE(renderer_->HasCircleBeam(fire));
    Frames(20, [&] {
        renderer_->DrawCircleEmitter(fire, 80, 120, 0, 0, 0, 1.0f);
        renderer_->DrawCircleEmitter(circle, 240, 120, 0, 0, 0, 1.0f);
    });
    EXPECT_GT(LitPixels(180, 60, 300, 180), 100) << "the circle";
    EXPECT_EQ(LitPixels(0, 0, 160, kHeight), 0) << "no fire";
    EXPECT_EQ(static_cast<STRU_PARTICLE_COMMAND*>(circle)->drawMode, 2);
    DrawFrame([&] {
        renderer_->DrawEmitter(fire, 80, 120, 0, 0, 0, 1.0f);
        renderer_->DrawEmitter(circle, 240, 120, 3, 4, 0, 1.0f);
    });
    EXPECT_EQ(static_cast<STRU_PARTICLE_COMMAND*>(circle)->drawMode, 1);
    EXPECT_EQ(static_cast<STRU_PARTICLE_COMMAND*>(fire)->drawMode, 0);
    EXPECT_EQ(static_cast<STRU_PARTICLE_COMMAND*>(circle)->xOffset, 237);
    EXPECT_EQ(static_cast<STRU_PARTICLE_COMMAND*>(circle)->yOffset, 116);
}

TEST_F(EmitterRenderTest, AFiniteLifeShowsOnlyAfterARestartAndThenEnds) {
    STRU_DRAW_COMMAND_BASE* sparks = EmitterOf("sparks.pes");
    CResourceLoader::GetSingleton().RunUntilIdle();
    EXPECT_EQ(renderer_->GetEmitterLife(sparks), 2.0f);
    EXPECT_FALSE(renderer_->IsEmitterAlive(sparks)) << "a finite life has not started";
    auto draw = [&] { renderer_->DrawEmitter(sparks, 160, 120, 0, 0, 0, 1.0f); };
    Frames(3, draw);
    EXPECT_EQ(LitPixels(0, 0, kWidth, kHeight), 0);

    renderer_->RestartEmitter(sparks, 0);
    EXPECT_TRUE(renderer_->IsEmitterAlive(sparks));
    Frames(8, draw);
    EXPECT_GT(LitPixels(0, 0, kWidth, kHeight), 50);
    Frames(60, draw);  // two seconds on
    EXPECT_FALSE(renderer_->IsEmitterAlive(sparks));
    EXPECT_EQ(LitPixels(0, 0, kWidth, kHeight), 0) << "no longer drawn";
    renderer_->RestartEmitter(sparks, 0);
    EXPECT_TRUE(renderer_->IsEmitterAlive(sparks));
}

TEST_F(EmitterRenderTest, ACommandKeepsItsEmitterForTheSamePathAndGivesItBackOtherwise) {
    CParticleEmitterMgr* emitters = Renderer()->GetParticleEmitterMgr();
    const std::uint32_t before = PoolOf<CParticleEmitter>().BlocksInUse();
    STRU_DRAW_COMMAND_BASE* cmd = EmitterOf("fire.pes");
    CParticleEmitter* fire = renderer_->GetParticleEmitter(cmd);
    ASSERT_NE(fire, nullptr);
    renderer_->SetParticleEmitter(cmd, CorpusPath("fire.pes").c_str(), 0);
    EXPECT_EQ(renderer_->GetParticleEmitter(cmd), fire);
    EXPECT_EQ(emitters->LiveCount(), 1);
    renderer_->SetParticleEmitter(cmd, CorpusPath("smoke.pes").c_str(), 0);
    EXPECT_NE(renderer_->GetParticleEmitter(cmd), nullptr);
    EXPECT_EQ(emitters->LiveCount(), 1);
    EXPECT_EQ(emitters->ParkedCount(), 1) << "the fire was still loading";
    renderer_->SetParticleEmitter(cmd, nullptr, 0);
    EXPECT_EQ(renderer_->GetParticleEmitter(cmd), nullptr);
    EXPECT_FALSE(renderer_->IsEmitterAlive(cmd));
    renderer_->SetParticleEmitter(cmd, u"", 0);  // none to give back twice

    // Other commands have no emitter.
    STRU_DRAW_COMMAND_BASE* rect = renderer_->CreatePrimitive(kDrawCmdRect);
    commands_.push_back(rect);
    renderer_->SetParticleEmitter(rect, CorpusPath("fire.pes").c_str(), 0);
    EXPECT_EQ(renderer_->GetParticleEmitter(rect), nullptr);
    EXPECT_FALSE(renderer_->IsEmitterAlive(rect));
    renderer_->DrawEmitter(rect, 0, 0, 0, 0, 0, 1.0f);
    renderer_->DrawEmitter(nullptr, 0, 0, 0, 0, 0, 1.0f);

    // A path too long for any file, and a script that does not compile: the loads end, the
    // emitters draw nothing, the log tells why.
    const std::u16string longPath(300, u'p');
    renderer_->SetParticleEmitter(cmd, longPath.c_str(), 0);
    CResourceLoader::GetSingleton().RunUntilIdle();
    EXPECT_TRUE(renderer_->GetParticleEmitter(cmd)->IsLoaded());
    Frames(2, [&] { renderer_->DrawEmitter(cmd, 10, 10, 0, 0, 0, 1.0f); });
    EXPECT_EQ(LitPixels(0, 0, kWidth, kHeight), 0);
    std::ofstream("bad.pes", std::ios::binary) << "PARTICLEEMITTER \"bad\" 1 { LOOPS = 1 }";
    renderer_->SetParticleEmitter(cmd, u"bad.pes", 0);
    CResourceLoader::GetSingleton().RunUntilIdle();
    EXPECT_EQ(renderer_->GetParticleEmitter(cmd)->GetCompileError(), "Unexpected \"LOOPS\" in Particle System Block!");
    EXPECT_TRUE(LogHasInOrder({u"CParticleEmitter: script not read.[" + longPath + u"]",
                               u"script parse failed.[bad.pes] Unexpected \"LOOPS\" in Particle System Block!"}));

    // Released with its command, or never: the renderer's end takes the rest.
    renderer_->ReleasePrimitive(cmd);
    commands_.erase(std::find(commands_.begin(), commands_.end(), cmd));
    EXPECT_EQ(emitters->LiveCount(), 0);
    EmitterOf("rain.pes");
    commands_.clear();
    Release();
    EXPECT_EQ(PoolOf<CParticleEmitter>().BlocksInUse(), before);
}

TEST_F(EmitterRenderTest, EmittersKeepDrawingThroughADeviceLossAndADisplayModeChange) {
    STRU_DRAW_COMMAND_BASE* fire = EmitterOf("fire.pes");
    CResourceLoader::GetSingleton().RunUntilIdle();
    auto draw = [&] { renderer_->DrawEmitter(fire, 160, 200, 0, 0, 0, 1.0f); };
    Frames(20, draw);
    ASSERT_GT(LitPixels(120, 120, 200, 215), 200);
    d3d9ctl::LoseDevice();
    Frames(3, draw);
    d3d9ctl::RestoreDevice();
    Frames(20, draw);
    EXPECT_GT(LitPixels(120, 120, 200, 215), 200) << "after the reset";
    ASSERT_TRUE(renderer_->ChangeDisplayMode(kWidth, kHeight, 32, 1, false, true));
    Frames(20, draw);
    EXPECT_GT(LitPixels(120, 120, 200, 215), 200) << "after the mode change";
}

}  // namespace
}  // namespace lumi::test
