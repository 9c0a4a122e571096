// The legacy emitter and beam have their script interfaces at their start as well: a host of
// the legacy library converts the pointers it is handed as a host of the current one does.
#include <gtest/gtest.h>

#include "particle/particle_emitter_script.h"
#include "tests/particle/emitter_test_support.h"

namespace lumi::test {
namespace {

TEST(LegacyScriptViews, EachInterfaceIsTheStartOfItsObject) {
    EmitterPtr emitter = Compiled(Script("PARTICLEBEAM \"b\" { NUMPARTICLES = 1 }"));
    CParticleBeam* beam = emitter->GetBeam(0);
    ASSERT_NE(beam, nullptr);
    EXPECT_EQ(EmitterScriptOf(emitter.get()), static_cast<IParticleEmitterScript*>(emitter.get()));
    EXPECT_EQ(BeamScriptOf(beam), static_cast<IParticleBeamScript*>(beam));

    EXPECT_EQ(EmitterScriptOf(emitter.get())->GetBeam(0), beam);
    BeamScriptOf(beam)->SetName(u"renamed");
    EXPECT_EQ(beam->GetName(), u"renamed");
}

}  // namespace
}  // namespace lumi::test
