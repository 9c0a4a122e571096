// Particle sounds over the recording host sound system: what is called in which order, 3D
// sounds following the emitter, instances the host ends or reuses, and the settings written
// through to the emitter's sound.
#include "platform/sound/recording_sound_system.h"
#include "tests/particle/particle_test_support.h"

namespace lumi::test {
namespace {

using Lines = std::vector<std::string>;

class ParticleSoundTest : public BeamClockTest {
protected:
    void SetUp() override {
        BeamClockTest::SetUp();
        beam_.SetSoundOwner(&owner_);
    }

    std::string Beam() const { return hostsound::PointerText(&beam_); }

    hostsound::RecordingSoundSystem system_;
    FakeSoundOwner owner_{&system_};
};

TEST_F(ParticleSoundTest, A2DSoundLoadsOnceAndPlaysWithoutBeingFollowed) {
    owner_.Add("boom", "sfx/boom.wav", false, 0.5f);
    PlayBeamSound("boom", beam_);
    EXPECT_EQ(system_.Calls(), (Lines{
                                   "LoadSound(sfx/boom.wav, 0x100002A) -> data 1",
                                   "data 1: SetOption(0)",
                                   "StartInstance(-1, data 1, 1) -> instance 1",
                                   "GetCollection() -> collection",
                                   "instance 1: JoinCollection(collection)",
                                   "instance 1: SetUserData(" + Beam() + ")",
                                   "instance 1: SetVolume(0.5)",
                                   "instance 1: SetFlag(0)",
                                   "instance 1: SetPaused(0)",
                               }));
    EXPECT_TRUE(beam_.PlayingSounds().Empty());
    system_.ClearCalls();
    system_.SetCollectionEnabled(false);
    PlayBeamSound("boom", beam_);
    EXPECT_EQ(system_.Calls().front(), "StartInstance(-1, data 1, 1) -> instance 2") << "loaded once";
    EXPECT_EQ(system_.Calls()[1], "GetCollection() -> none");
    EXPECT_EQ(system_.Calls()[2], "instance 2: SetUserData(" + Beam() + ")");
}

TEST_F(ParticleSoundTest, A3DSoundFollowsTheEmitterUntilItsInstanceIsEndedOrReused) {
    CParticleSound* sound = owner_.Add("hum", "hum.wav", true);
    sound->SetMinDistance(50.0f);
    PlayBeamSound("hum", beam_);
    EXPECT_EQ(system_.Calls()[0], "LoadSound(hum.wav, 0x1000052) -> data 1");
    EXPECT_EQ(system_.Calls()[1], "data 1: Set3DDistances(50, 1000)");
    EXPECT_EQ(system_.Calls()[2], "data 1: SetOption(0)");
    ASSERT_EQ(beam_.PlayingSounds().Count(), 1);

    system_.ClearCalls();
    RunBeam(beam_, clock_, 1, 10, 30.0f, 40.0f);
    EXPECT_EQ(system_.Calls(), (Lines{"instance 1: GetUserData() -> " + Beam(),
                                      "instance 1: Set3DPosition(30, 40, 0, none)"}));
    // The host hands the same instance out again: the beam follows it once.
    system_.EndInstance(system_.Instance(0));
    PlayBeamSound("hum", beam_);
    EXPECT_EQ(beam_.PlayingSounds().Count(), 1);

    // Ended by the host: dropped without being placed.
    system_.EndInstance(system_.Instance(0));
    system_.ClearCalls();
    RunBeam(beam_, clock_, 1, 10, 30.0f, 40.0f);
    EXPECT_EQ(system_.Calls(), (Lines{"instance 1: GetUserData() -> " + hostsound::PointerText(nullptr)}));
    EXPECT_TRUE(beam_.PlayingSounds().Empty());

    // Reused by another beam: dropped from this one, followed by the other.
    CParticleBeam other(nullptr, nullptr);
    other.SetSoundOwner(&owner_);
    PlayBeamSound("hum", beam_);
    system_.EndInstance(system_.Instance(0));
    PlayBeamSound("hum", other);
    RunBeam(beam_, clock_, 1, 10);
    RunBeam(other, clock_, 1, 10);
    EXPECT_TRUE(beam_.PlayingSounds().Empty());
    EXPECT_EQ(other.PlayingSounds().Count(), 1);
}

TEST_F(ParticleSoundTest, FailuresOnThePlayPathPlayNothing) {
    owner_.Add("boom", "boom.wav", true);
    PlayBeamSound("missing", beam_);
    EXPECT_TRUE(system_.Calls().empty());

    system_.SetFailLoads(true);
    PlayBeamSound("boom", beam_);
    EXPECT_EQ(system_.Calls(), (Lines{"LoadSound(boom.wav, 0x1000052) -> none"}));
    system_.SetFailLoads(false);
    system_.SetFailStarts(true);
    system_.ClearCalls();
    PlayBeamSound("boom", beam_);  // loads now, but no instance starts
    EXPECT_EQ(system_.Calls().back(), "StartInstance(-1, data 1, 1) -> none");
    EXPECT_TRUE(beam_.PlayingSounds().Empty());

    FakeSoundOwner silent(nullptr);  // an emitter made before the host gave its sound system
    silent.Add("boom", "boom.wav", false);
    CParticleBeam beam(nullptr, nullptr);
    beam.SetSoundOwner(&silent);
    system_.ClearCalls();
    PlayBeamSound("boom", beam);
    CParticleBeam orphan(nullptr, nullptr);  // no emitter sound side at all
    PlayBeamSound("boom", orphan);
    EXPECT_TRUE(system_.Calls().empty());
    EXPECT_EQ(silent.FindSound("boom")->GetData(), nullptr);
}

TEST_F(ParticleSoundTest, APlaySoundEventPlaysOnItsTick) {
    owner_.Add("boom", "boom.wav", false);
    CParticleBeamEvent* play = CreateBeamEvent("PLAYSOUND");
    EXPECT_TRUE(play->SetValue(kEventValueText, false, "boom"));
    beam_.AddBeamEvent(play);
    RunBeam(beam_, clock_, 2, 10);
    EXPECT_TRUE(system_.Calls().empty());
    RunBeam(beam_, clock_, 1, 10);
    EXPECT_EQ(system_.InstanceCount(), 1u);
}

TEST_F(ParticleSoundTest, SettersWriteThroughToTheEmittersSoundOfTheSameName) {
    CParticleSound* held = owner_.Add("boom", "boom.wav", false);
    CParticleSound twin(&owner_);
    twin.SetName("boom");
    twin.SetVolume(0.25f);
    twin.Set3D(true);
    twin.SetMinDistance(5.0f);
    twin.SetMaxDistance(6.0f);
    twin.SetFileName("other.wav");
    EXPECT_EQ(held->GetVolume(), 0.25f);
    EXPECT_TRUE(held->Get3D());
    EXPECT_EQ(held->GetMinDistance(), 5.0f);
    EXPECT_EQ(held->GetMaxDistance(), 6.0f);
    EXPECT_EQ(held->GetFileName(), u"other.wav");

    CParticleSound detached(nullptr);  // a duplicate block the reader drops
    detached.SetName("boom");
    detached.SetVolume(0.75f);
    EXPECT_EQ(held->GetVolume(), 0.25f);
    CParticleSound defaults(nullptr);
    EXPECT_EQ(defaults.GetVolume(), 1.0f);
    EXPECT_EQ(defaults.GetMinDistance(), 100.0f);
    EXPECT_EQ(defaults.GetMaxDistance(), 1000.0f);
    EXPECT_FALSE(defaults.Get3D());

    held->LoadData(&system_);
    held->ReleaseData(&system_);
    EXPECT_EQ(system_.Calls().back(), "ReleaseSound(data 1)");
    EXPECT_EQ(held->GetData(), nullptr);
}

}  // namespace
}  // namespace lumi::test
