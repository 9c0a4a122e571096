// The conversions a host makes from the concrete pointers the renderer hands out to the
// script interfaces: each interface is the start of its object, so the host's conversion
// (which cannot see the class) lands where the compiler's own does.
#include <gtest/gtest.h>

#include "particle/particle_emitter_script.h"
#include "tests/particle/emitter_test_support.h"

namespace lumi::test {
namespace {

TEST(ScriptViews, EachInterfaceIsTheStartOfItsObject) {
    EmitterPtr emitter = Compiled(Script("PARTICLEBEAM \"b\" { NUMPARTICLES = 1 }"));
    CParticleBeam* beam = emitter->GetBeam(0);
    CParticleSound* sound = emitter->AddSound(u"boom");
    ASSERT_NE(beam, nullptr);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(EmitterScriptOf(emitter.get()), static_cast<IParticleEmitterScript*>(emitter.get()));
    EXPECT_EQ(BeamScriptOf(beam), static_cast<IParticleBeamScript*>(beam));
    EXPECT_EQ(SoundScriptOf(sound), static_cast<IParticleSound*>(sound));
    EXPECT_EQ(EmitterScriptOf(nullptr), nullptr);

    // Calls through the views reach the objects.
    EmitterScriptOf(emitter.get())->SetName(u"renamed");
    EXPECT_EQ(emitter->GetName(), u"renamed");
    BeamScriptOf(beam)->SetFlipX(1);
    EXPECT_EQ(beam->GetFlipX(), 1);
    SoundScriptOf(sound)->SetVolume(0.5f);
    EXPECT_EQ(sound->GetVolume(), 0.5f);
    EXPECT_TRUE(EmitterScriptOf(emitter.get())->RemoveSound(SoundScriptOf(sound)));
}

}  // namespace
}  // namespace lumi::test
