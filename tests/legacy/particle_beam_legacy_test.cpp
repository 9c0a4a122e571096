// The legacy beam on the fake clock with a seeded rand: its event kinds and sets, emission by
// the whole frame step, the legacy motion (speed changes along the motion angle, the motion
// angle following the velocity), the SPEED event and the chain rule.
#include <gtest/gtest.h>

#include <cmath>

#include "particle/beam_event_kinds.h"
#include "particle/particle_event_kinds.h"
#include "particle/particle_event_set.h"
#include "tests/particle/particle_test_support.h"

namespace lumi::test {
namespace {

constexpr float kHalfPi = 1.5707964f;

class LegacyBeamTest : public BeamClockTest {
protected:
    void SetUp() override {
        BeamClockTest::SetUp();
        SeedParticleRandom(7);
        TickFrameClock(clock_, 100);
        beam_.SetEmitRate(&rate_);
        beam_.SetLifeTime(&life_);
    }

    // One update of `ms`, the frame clock moved first.
    void Step(std::uint32_t ms) { RunBeam(beam_, clock_, 1, ms); }

    value_range_t rate_ = Fixed(10.0f);
    value_range_t life_ = Fixed(100.0f);
};

TEST(LegacyEventKinds, NumberedZeroToEighteenWithoutTheCurrentOnlyEvents) {
    for (std::int32_t kind = 0; kind < 19; ++kind) {
        std::unique_ptr<CEventBase> event(CreateEventByKind(kind));
        ASSERT_NE(event, nullptr) << kind;
        EXPECT_EQ(event->GetEventType(), kind);
    }
    EXPECT_EQ(CreateEventByKind(19), nullptr);
    EXPECT_EQ(CreateEventByKind(-1), nullptr);
    const struct {
        const char* keyword;
        std::int32_t kind;  // -1: no event
    } beamRows[] = {{"EVENTTIMER", 0}, {"NUMPARTICLES", 1}, {"EMITSPEED", 2},
                    {"BEAMPOS", -1},   {"EMITANGLE", -1},   {"PLAYSOUND", -1}};
    for (const auto& row : beamRows) {
        std::unique_ptr<CParticleBeamEvent> event(CreateBeamEvent(row.keyword));
        EXPECT_EQ(event ? event->GetEventType() : -1, row.kind) << row.keyword;
    }
    const struct {
        const char* keyword;
        std::int32_t kind;
    } particleRows[] = {{"EVENTTIMER", 3}, {"SIZE", 4},      {"SIZEX", 5},      {"SIZEY", 6},     {"REDCOLOR", 7},
                        {"GREENCOLOR", 8}, {"BLUECOLOR", 9}, {"ALPHA", 10},     {"COLOR", 11},    {"VELOCITYX", 12},
                        {"VELOCITYY", 13}, {"VELOCITYZ", 14}, {"VELOCITY", 15}, {"ANGLE", 16},    {"SPIN", 17},
                        {"SPEED", 18},     {"MOTIONANGLE", 16}};
    for (const auto& row : particleRows) {
        std::unique_ptr<CParticleEvent> event(CreateParticleEvent(row.keyword));
        ASSERT_NE(event, nullptr) << row.keyword;
        EXPECT_EQ(event->GetEventType(), row.kind) << row.keyword;
    }
}

TEST_F(LegacyBeamTest, NineteenEventSetsBindOnlyParticleEvents) {
    AddParticleEvent(beam_, "SPEED", Fixed(3.0f), 0.5f);
    AddBeamEvent(beam_, "EMITSPEED", Fixed(2.0f), 1.0f);
    Ready();
    EXPECT_EQ(beam_.GetEventSet(19), nullptr);
    IParticleEventSet* speed = beam_.GetEventSet(18);
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->GetEventType(), 18);
    EXPECT_EQ(speed->GetEventCount(), 1);
    EXPECT_EQ(beam_.GetEventSet(2)->GetEventCount(), 0) << "beam events are not shown in sets";
}

TEST_F(LegacyBeamTest, SetNumParticlesSetsTheRampValueAndEmissionFollowsIt) {
    beam_.SetNumParticles(3);
    EXPECT_EQ(beam_.NumParticlesRamp().value, 3.0f);
    EXPECT_EQ(beam_.GetNumParticles(), 3);
    for (int i = 0; i < 20; ++i) Step(200);
    EXPECT_EQ(LiveParticles(beam_).size(), 3u);
    beam_.NumParticlesRamp().value = 5.0f;
    for (int i = 0; i < 20; ++i) Step(200);
    EXPECT_EQ(LiveParticles(beam_).size(), 5u);
}

TEST_F(LegacyBeamTest, EmitRandFillsAnEmptyBeamInOneUpdate) {
    beam_.SetNumParticles(5);
    beam_.SetEmitRand(1);
    value_range_t slow = Fixed(0.001f);  // an interval far longer than the step
    beam_.SetEmitRate(&slow);
    Step(10);
    EXPECT_EQ(LiveParticles(beam_).size(), 5u);
    Step(10);
    EXPECT_EQ(LiveParticles(beam_).size(), 5u) << "only an empty beam emits";
}

TEST_F(LegacyBeamTest, EmissionWaitsForTheIntervalAndDatesBackEachSpawn) {
    beam_.SetNumParticles(10);
    Step(50);
    Step(50);
    EXPECT_TRUE(LiveParticles(beam_).empty()) << "0.1 s of emission is not past the 0.1 s interval";
    Step(50);
    ASSERT_EQ(LiveParticles(beam_).size(), 1u);
    EXPECT_FLOAT_EQ(LiveParticles(beam_)[0]->lastUpdateTime, g_FrameTime);
    EXPECT_NEAR(beam_.State().emissionAccumulator, 0.05f, 1e-6f);
    Step(300);  // 0.35 s: three spawns, each one interval older than the one before
    const std::vector<CParticle*> live = LiveParticles(beam_);
    ASSERT_EQ(live.size(), 4u);
    EXPECT_NEAR(live[1]->age, 0.0f, 1e-6f);
    EXPECT_NEAR(live[2]->age, 0.1f, 1e-5f);
    EXPECT_NEAR(live[3]->age, 0.2f, 1e-5f);
}

TEST_F(LegacyBeamTest, MotionAngleFollowsTheVelocityAndSpeedChangesAddAlongIt) {
    beam_.SetNumParticles(1);
    beam_.SetEmitRand(1);
    for (int i = 0; i < 1; ++i) Step(10);
    ASSERT_EQ(LiveParticles(beam_).size(), 1u);
    CParticle& particle = *LiveParticles(beam_)[0];
    particle.velocity = {0.0f, 1.0f, 0.0f};
    particle.speed = {0.0f, 0.0f, 0.0f};
    Step(10);
    EXPECT_FLOAT_EQ(particle.motionAngle.value, kHalfPi);
    particle.velocity = {0.0f, -2.0f, 0.0f};
    Step(10);
    EXPECT_FLOAT_EQ(particle.motionAngle.value, -kHalfPi);
    // A speed ramp of 10 per second for 0.1 s adds 1 along the motion angle (straight down).
    particle.speed = {0.0f, 10.0f, 5.0f};
    Step(100);
    EXPECT_NEAR(particle.velocity.y, -3.0f, 1e-4f);
    EXPECT_NEAR(particle.velocity.x, 0.0f, 1e-4f);
}

TEST_F(LegacyBeamTest, SpeedEventPointsTheVelocityAlongTheMotionAngle) {
    value_range_t angle = Fixed(90.0f);
    beam_.SetEmitAngle(&angle);
    value_range_t speed = Fixed(5.0f);
    beam_.SetEmitSpeed(&speed);
    AddParticleEvent(beam_, "SPEED", Fixed(40.0f), 0.0f);
    Ready();
    beam_.SetNumParticles(1);
    beam_.SetEmitRand(1);
    Step(10);
    ASSERT_EQ(LiveParticles(beam_).size(), 1u);
    const CParticle& particle = *LiveParticles(beam_)[0];
    EXPECT_FLOAT_EQ(particle.speed.value, 40.0f);
    EXPECT_NEAR(particle.velocity.x, 0.0f, 1e-4f);
    EXPECT_NEAR(particle.velocity.y, 40.0f, 1e-4f);
}

TEST_F(LegacyBeamTest, ParticlesThatNeverDieOfAgeKeepMovingAsLongAsTheBeamPlays) {
    CParticleBeam single(nullptr, nullptr);
    ExpectAgelessParticlesKeepMoving(beam_, single, clock_, 1.0f);  // at the speed
}

TEST_F(LegacyBeamTest, ChainAppliesItsEventTimerLast) {
    // One chain at 0.5 of the life: the timer sends the clock back to 0.1, the size is set.
    AddParticleEvent(beam_, "EVENTTIMER", Fixed(0.1f), 0.5f);
    AddParticleEvent(beam_, "SIZE", Fixed(9.0f), 0.5f);
    Ready();
    life_ = Fixed(1.0f);
    beam_.SetLifeTime(&life_);
    beam_.SetNumParticles(1);
    beam_.SetEmitRand(1);
    Step(10);
    ASSERT_EQ(LiveParticles(beam_).size(), 1u);
    const CParticle& particle = *LiveParticles(beam_)[0];
    for (int i = 0; i < 10 && particle.size.value != 9.0f; ++i) Step(100);
    EXPECT_EQ(particle.size.value, 9.0f);
    EXPECT_NEAR(particle.eventClock, 0.1f, 1e-5f);
}

TEST_F(LegacyBeamTest, DeadParticlesLeaveAndBadStepsAreNoTime) {
    life_ = Fixed(0.2f);
    beam_.SetLifeTime(&life_);
    beam_.SetNumParticles(1000000000u);
    value_range_t fast = Fixed(1000.0f);
    beam_.SetEmitRate(&fast);
    Step(100);
    const std::size_t first = LiveParticles(beam_).size();
    EXPECT_GT(first, 0u);
    EXPECT_LE(first, static_cast<std::size_t>(CParticleBeam::kLiveParticleLimit));
    for (const float dt : {0.0f, -1.0f, NAN, INFINITY}) {
        TickFrameClock(clock_, 0);
        beam_.Update(dt, 0.0f, 0.0f, 0.0f, 0, 1.0f, 0.0f, 0.0f);
    }
    for (int i = 0; i < 5; ++i) {
        TickFrameClock(clock_, 300);
        beam_.NumParticlesRamp().value = 0.0f;
        beam_.Update(0.3f, 0.0f, 0.0f, 0.0f, 0, 1.0f, 0.0f, 0.0f);
    }
    EXPECT_TRUE(LiveParticles(beam_).empty());
}

}  // namespace
}  // namespace lumi::test
