// Legacy particle emitters through the legacy IRenderer on the software device: scripts read
// at once, particles drawn from the beams' own batches, released emitters kept to the end of
// the frame, failures that leave the command without an emitter.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "draw/d3d_texture.h"
#include "draw/draw_commands.h"
#include "draw/tex_mgr.h"
#include "image/raster.h"
#include "particle/particle_beam.h"
#include "particle/particle_emitter.h"
#include "particle/particle_emitter_mgr.h"
#include "tests/legacy/legacy_renderer_fixture.h"

namespace lumi::test {
namespace {

constexpr std::uint32_t kFrameMs = 50;
constexpr std::uint32_t kRed = 0xFF0000;

// One red square of `size` pixels that stays where the emitter is drawn.
std::string DotScript(int size, const char* extra = "") {
    return "ParticleEmitter \"dot\" 1\n{\n\tParticleBeam \"b\"\n\t{\n\t\tTEXTURE = \"particles/dot.png\"\n"
           "\t\tNUMPARTICLES = 1\n\t\tEMITRAND = TRUE\n\t\tLIFETIME = 100\n" +
           std::string(extra) + "\t\tParticle\n\t\t{\n\t\t\tINITIAL SIZE = " + std::to_string(size) +
           "\n\t\t\tINITIAL COLOR = RGBA(1,0,0,1)\n\t\t}\n\t}\n}\n";
}

class LegacyEmitters : public LegacyRendererTest {
protected:
    void SetUp() override {
        LegacyRendererTest::SetUp();
        ASSERT_NE(Create(), nullptr);
        SeedParticleRandom(11);
        std::filesystem::create_directories(folder_.File("particles"));
        CRaster image(8, 8, 24, kRasterTypePng);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) image.SetPixelColor(x, y, RGBQUAD{255, 255, 255, 0});
        ASSERT_TRUE(image.Save(u"particles/dot.png", kRasterTypePng));
        cmd_ = renderer_->CreatePrimitive(kDrawCmdParticle);
    }
    void TearDown() override {
        if (renderer_ != nullptr) renderer_->ReleasePrimitive(cmd_);
        LegacyRendererTest::TearDown();
    }

    static void WriteScript(const char* name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

    // A frame on a cleared target (a legacy frame does not clear by itself).
    // Textures load on the loading threads: each frame starts once they are done.
    void Frame(const std::function<void()>& draws) {
        Renderer()->GetTexMgr()->WaitForResourceLoader();
        clock_.Advance(kFrameMs);
        LegacyFrame([&] {
            renderer_->SetBackgroundColor(0);
            draws();
        });
    }

    STRU_DRAW_COMMAND_BASE* cmd_ = nullptr;
};

TEST_F(LegacyEmitters, AParticleIsDrawnWhereTheEmitterIs) {
    WriteScript("dot.pes", DotScript(10));
    renderer_->SetParticleEmitter(cmd_, u"dot.pes", 0);
    ASSERT_NE(renderer_->GetParticleEmitter(cmd_), nullptr);
    EXPECT_EQ(renderer_->GetEmitterLife(cmd_), -1.0f);
    EXPECT_TRUE(renderer_->IsEmitterAlive(cmd_));
    EXPECT_FALSE(renderer_->HasCircleBeam(cmd_));
    for (int i = 0; i < 2; ++i) Frame([&] { renderer_->DrawEmitter(cmd_, 100, 80, 0, 0, 0, 1.0f); });
    // A 10-pixel quad about its centre: 95..104 by 75..84.
    EXPECT_EQ(Pixel(100, 80), kRed);
    EXPECT_EQ(Pixel(96, 76), kRed);
    EXPECT_EQ(Pixel(103, 83), kRed);
    EXPECT_EQ(Pixel(92, 80), 0u);
    EXPECT_EQ(Pixel(100, 88), 0u);
    // The offset moves the quads, not the emitter.
    Frame([&] { renderer_->DrawEmitter(cmd_, 100, 80, 40, 0, 0, 1.0f); });
    EXPECT_EQ(Pixel(60, 80), kRed);
    EXPECT_EQ(Pixel(100, 80), 0u);
}

TEST_F(LegacyEmitters, PointSpritesAndCircleBeams) {
    WriteScript("sprite.pes", DotScript(6, "\t\tPARTICLEMODE = PM_POINTSPRITE\n"));
    renderer_->SetParticleEmitter(cmd_, u"sprite.pes", 0);
    for (int i = 0; i < 2; ++i) Frame([&] { renderer_->DrawEmitter(cmd_, 50, 50, 0, 0, 0, 1.0f); });
    EXPECT_EQ(Pixel(50, 50), kRed);
    EXPECT_EQ(Pixel(60, 50), 0u);

    WriteScript("circle.pes", DotScript(6, "\t\tCIRCLEBEAM = TRUE\n"));
    renderer_->SetParticleEmitter(cmd_, u"circle.pes", 0);
    EXPECT_TRUE(renderer_->HasCircleBeam(cmd_));
    // Circle particles are in the beam's second batch: only the circle operation draws them.
    for (int i = 0; i < 2; ++i) Frame([&] { renderer_->DrawEmitter(cmd_, 150, 50, 0, 0, 0, 1.0f); });
    EXPECT_EQ(Pixel(150, 50), 0u);
    Frame([&] { renderer_->DrawCircleEmitter(cmd_, 150, 50, 0, 0, 0, 1.0f); });
    EXPECT_EQ(Pixel(150, 50), kRed);
}

TEST_F(LegacyEmitters, ABeamWithNoParticleLeftDrawsNothing) {
    WriteScript("dot.pes", DotScript(10, "\t\tLIFETIME = 0.08\n"));
    renderer_->SetParticleEmitter(cmd_, u"dot.pes", 0);
    Frame([&] { renderer_->DrawEmitter(cmd_, 100, 80, 0, 0, 0, 1.0f); });
    EXPECT_EQ(Pixel(100, 80), kRed);
    CParticleBeam* beam = renderer_->GetParticleEmitter(cmd_)->GetBeam(0);
    beam->NumParticlesRamp().value = 0.0f;
    for (int i = 0; i < 3; ++i) Frame([&] { renderer_->DrawEmitter(cmd_, 100, 80, 0, 0, 0, 1.0f); });
    EXPECT_TRUE(beam->LiveParticles().Empty());
    EXPECT_EQ(Pixel(100, 80), 0u);
}

TEST_F(LegacyEmitters, ReleasedMidFrameTheEmitterLastsUntilTheFrameIsDrawn) {
    WriteScript("dot.pes", DotScript(10));
    WriteScript("other.pes", DotScript(4));
    renderer_->SetParticleEmitter(cmd_, u"dot.pes", 0);
    auto* mgr = Renderer()->GetParticleEmitterMgr();
    Frame([&] {
        renderer_->DrawEmitter(cmd_, 100, 80, 0, 0, 0, 1.0f);
        renderer_->SetParticleEmitter(cmd_, u"other.pes", 0);
        EXPECT_EQ(mgr->ParkedCount(), 1);
    });
    EXPECT_EQ(mgr->ParkedCount(), 0);
    EXPECT_EQ(Pixel(100, 80), kRed) << "drawn from the released emitter's batch";
    STRU_DRAW_COMMAND_BASE* second = renderer_->CreatePrimitive(kDrawCmdParticle);
    renderer_->SetParticleEmitter(second, u"dot.pes", 0);
    Frame([&] {
        renderer_->DrawEmitter(second, 30, 30, 0, 0, 0, 1.0f);
        renderer_->ReleasePrimitive(second);
    });
    EXPECT_EQ(Pixel(30, 30), kRed);
    EXPECT_EQ(mgr->LiveCount(), 1);
}

TEST_F(LegacyEmitters, RemovedMidFrameTheBeamLastsUntilTheFrameIsDrawn) {
    WriteScript("dot.pes", DotScript(10));
    renderer_->SetParticleEmitter(cmd_, u"dot.pes", 0);
    CParticleEmitter* emitter = renderer_->GetParticleEmitter(cmd_);
    ASSERT_NE(emitter, nullptr);
    Frame([&] {
        renderer_->DrawEmitter(cmd_, 100, 80, 0, 0, 0, 1.0f);
        EXPECT_TRUE(emitter->RemoveBeam(emitter->GetBeam(0)));
        EXPECT_EQ(emitter->GetBeamCount(), 0);
    });
    EXPECT_EQ(Pixel(100, 80), kRed) << "drawn from the removed beam's batch";
    Frame([&] { renderer_->DrawEmitter(cmd_, 100, 80, 0, 0, 0, 1.0f); });
    EXPECT_EQ(Pixel(100, 80), 0u) << "gone with the frame";
}

TEST_F(LegacyEmitters, ScriptsThatCannotBeHadLeaveNoEmitter) {
    WriteScript("broken.pes", "ParticleEmitter \"x\" 1 { EMITTERLIFE = 5 }");
    WriteScript("empty.pes", "");
    auto* mgr = Renderer()->GetParticleEmitterMgr();
    for (const char16_t* path : {u"broken.pes", u"empty.pes", u"missing.pes", u""}) {
        renderer_->SetParticleEmitter(cmd_, path, 0);
        EXPECT_EQ(renderer_->GetParticleEmitter(cmd_), nullptr);
        EXPECT_FALSE(renderer_->IsEmitterAlive(cmd_));
        EXPECT_EQ(renderer_->GetEmitterLife(cmd_), 0.0f);
        Frame([&] { renderer_->DrawEmitter(cmd_, 10, 10, 0, 0, 0, 1.0f); });
    }
    EXPECT_EQ(mgr->LiveCount(), 0);
    EXPECT_TRUE(LogHasInOrder({u"script parse failed.[broken.pes] Unexpected \"EMITTERLIFE\" in Particle System Block!",
                               u"script parse failed.[empty.pes] This script is too small to be valid."}));
    EXPECT_THROW(mgr->ReleaseEmitter(nullptr), lumi::Exception);
}

TEST_F(LegacyEmitters, TheBufferGrowsToHoldTheWholeScript) {
    auto* mgr = Renderer()->GetParticleEmitterMgr();
    EXPECT_EQ(mgr->GetBufferCapacity(), 32768u);
    std::string text = DotScript(10);
    text.resize(32768, ' ');
    WriteScript("big.pes", text);
    renderer_->SetParticleEmitter(cmd_, u"big.pes", 0);
    EXPECT_NE(renderer_->GetParticleEmitter(cmd_), nullptr);
    EXPECT_EQ(mgr->GetBufferCapacity(), 65536u);
}

TEST_F(LegacyEmitters, ABeamFindsItsTextureAtOnceAndKeepsItForTheSameName) {
    WriteScript("dot.pes", DotScript(10));
    renderer_->SetParticleEmitter(cmd_, u"dot.pes", 0);
    CParticleEmitter* emitter = renderer_->GetParticleEmitter(cmd_);
    CParticleBeam* beam = emitter->GetBeam(0);
    CD3DTexture* texture = beam->GetTextureObject();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(beam->GetTexture(), u"particles/dot.png") << "the name as given";
    beam->SetTexture(u"particles/dot.png");
    EXPECT_EQ(beam->GetTextureObject(), texture);
    CParticleBeam* added = emitter->AddBeam();
    EXPECT_EQ(added->GetTexture(), u"particle/shape/8-bit shapes/leaf2.png");
    beam->SetTexture(u"");
    EXPECT_EQ(beam->GetTextureObject(), nullptr);
}

}  // namespace
}  // namespace lumi::test
