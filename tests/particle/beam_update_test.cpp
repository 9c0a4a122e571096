// The beam's frame: the frame gate, emission, spawn geometry, motion, death, tracks, scaling
// and its limits, with a seeded random sequence and the fake clock.
#include <cmath>
#include <limits>

#include "tests/particle/particle_test_support.h"

namespace lumi::test {
namespace {

class BeamUpdateTest : public BeamClockTest {
protected:
    // A beam that emits at once when there is room (1,000 per second), one particle at a time
    // unless told otherwise, each living `lifetime` seconds.
    void Emitting(std::uint32_t count, float lifetime = 100.0f) { SetEmission(beam_, count, 1000.0f, lifetime); }
    void Run(int frames, std::uint32_t ms, float x = 0.0f, float y = 0.0f) { RunBeam(beam_, clock_, frames, ms, x, y); }
    CParticle* Only() {
        const auto live = LiveParticles(beam_);
        EXPECT_EQ(live.size(), 1u);
        return live.empty() ? nullptr : live.front();
    }
};

TEST_F(BeamUpdateTest, SpawnDrawsLifetimePositionAngleAndSpeedInThatOrder) {
    Emitting(1);
    const value_range_t life{1.0f, 3.0f, 0.0f}, angle{0.0f, 90.0f, 0.0f}, speed{10.0f, 20.0f, 0.0f};
    const xyz_range_t radius{{-5.0f, 0.0f, 2.0f}, {5.0f, 10.0f, 2.0f}, {}};
    beam_.SetLifeTime(&life);
    beam_.SetEmitAngle(&angle);
    beam_.SetEmitSpeed(&speed);
    beam_.SetEmitRadius(&radius);
    SeedParticleRandom(7);
    Run(3, 10, 50.0f, 60.0f);  // the third update is the first tick: the emission time is there

    SeedParticleRandom(7);
    const float lifetime = RandomInRange(1.0f, 3.0f);
    const float x = RandomInRange(-5.0f, 5.0f);
    const float y = RandomInRange(0.0f, 10.0f);
    const float degrees = RandomInRange(0.0f, 90.0f);
    const float s = RandomInRange(10.0f, 20.0f);
    const CParticle* p = Only();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->lifetime, lifetime);
    EXPECT_EQ(p->position.x, x);
    EXPECT_EQ(p->position.y, y);
    EXPECT_EQ(p->position.z, 2.0f);
    EXPECT_EQ(p->speed.value, s);
    EXPECT_FLOAT_EQ(p->motionAngle.value, degrees * kDegreesToRadians);
    EXPECT_FLOAT_EQ(p->velocity.x, std::cos(degrees * kDegreesToRadians) * s);
    EXPECT_FLOAT_EQ(p->velocity.y, std::sin(degrees * kDegreesToRadians) * s);
    EXPECT_EQ(p->emitterPosition.x, 50.0f);
    EXPECT_EQ(p->emitterPosition.y, 60.0f);
    EXPECT_EQ(beam_.GetLifeTime()->value, lifetime);  // each draw is kept in its range
}

TEST_F(BeamUpdateTest, ParticlesTravelAtTwiceTheEmitSpeedAndDieAfterTheirLifetime) {
    Emitting(1, 0.5f);
    const value_range_t speed = Fixed(10.0f);
    beam_.SetEmitSpeed(&speed);
    Run(3, 125);
    CParticle* p = Only();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->velocity.x, 10.0f);
    for (int step = 1; step <= 4; ++step) {
        Run(1, 125);
        // The speed component goes on top of the spawn velocity: 20 units per second.
        EXPECT_EQ(p->position.x, 2.5f * static_cast<float>(step)) << "step " << step;
        EXPECT_EQ(p->age, 0.125f * static_cast<float>(step));
    }
    Run(1, 125);  // age 0.625 > 0.5: gone, and the room is filled at once by a new particle
    p = Only();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->age, 0.0f);
    EXPECT_EQ(p->position.x, 0.0f);
}

TEST_F(BeamUpdateTest, TimedWorkRunsOnEveryThirdUpdateWithTheTimeOfThree) {
    const float expected[] = {0.0f, 0.0f, 0.03f, 0.03f, 0.03f, 0.06f, 0.06f};
    for (float clockAfter : expected) {
        Run(1, 10);
        EXPECT_FLOAT_EQ(beam_.State().beamClock, clockAfter);
    }
}

TEST_F(BeamUpdateTest, EmissionWaitsForTheDelayAndThenForEachInterval) {
    struct Case {
        float delay;
        std::uint32_t ms;
        float rate;
        int updates;
        std::int32_t live;
    };
    const Case cases[] = {
        {2.0f, 100, 100.0f, 20, 0},  // beam clock 1.8: still delayed
        {2.0f, 100, 100.0f, 21, 10},
        {0.0f, 10, 10.0f, 11, 0},  // 0.09 s of emission time: below the interval of 0.1 s
        {0.0f, 10, 10.0f, 12, 1},
        {0.0f, 10, 10.0f, 20, 1},
        {0.0f, 10, 10.0f, 21, 2},
        // Exact binary fractions: 0.75 s of emission time holds the interval of 0.25 s three
        // times, but spawns only while the time left exceeds it, so the third waits; the
        // second tick brings 1 s and three more.
        {0.0f, 250, 4.0f, 3, 2},
        {0.0f, 250, 4.0f, 6, 5},
    };
    for (const Case& c : cases) {
        CParticleBeam beam(nullptr, nullptr);
        SetEmission(beam, 10, c.rate, 100.0f);
        beam.SetDelayTimer(c.delay);
        RunBeam(beam, clock_, c.updates, c.ms);
        EXPECT_EQ(beam.LiveParticles().Count(), c.live) << "delay " << c.delay << ", " << c.updates << " updates";
    }
}

TEST_F(BeamUpdateTest, EmitRandFillsTheCountAtOnceAtTheFrameTime) {
    Emitting(5);
    beam_.SetEmitRand(1);
    Run(1, 10);
    const auto live = LiveParticles(beam_);
    ASSERT_EQ(live.size(), 5u);
    for (const CParticle* p : live) EXPECT_EQ(p->lastUpdateTime, g_FrameTime);
    Run(5, 10);  // not empty: no more
    EXPECT_EQ(beam_.LiveParticles().Count(), 5);
}

TEST_F(BeamUpdateTest, WithoutCirclePlayTheBudgetBoundsTheSpawns) {
    for (const bool circlePlay : {false, true}) {
        CParticleBeam beam(nullptr, nullptr);
        SetEmission(beam, 3, 1000.0f, 0.05f);
        beam.SetCirclePlay(circlePlay);
        RunBeam(beam, clock_, 60, 10);
        EXPECT_EQ(beam.LiveParticles().Count() > 0, circlePlay) << "circle play " << circlePlay;
        if (!circlePlay) {
            EXPECT_EQ(beam.State().budget, 0);
        }
    }
    // The budget holds inside one update too, when NUMPARTICLES has ramped above it.
    Emitting(2);
    beam_.SetEmitRand(1);
    beam_.SetCirclePlay(0);
    beam_.NumParticlesRamp().value = 5.0f;
    Run(1, 10);
    EXPECT_EQ(beam_.LiveParticles().Count(), 2);
}

TEST_F(BeamUpdateTest, ASingleParticleBeamMovesItsOldestParticleOnlyAndItNeverDiesOfAge) {
    Emitting(1, 0.1f);
    beam_.SetSingleParticle(1);
    AddParticleEvent(beam_, "SIZE", Fixed(8.0f), 0.5f);
    Run(3, 10);
    CParticle* p = Only();
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->immortal && p->attached);
    auto* second = new CParticle();  // a particle behind it stays where it is
    second->lastUpdateTime = g_FrameTime;
    beam_.LiveParticles().PushBack(&second->node);
    Run(30, 10, 7.0f, 8.0f);
    EXPECT_GT(p->age, 0.25f);
    EXPECT_EQ(p->emitterPosition.x, 7.0f);  // attached: it follows the emitter
    EXPECT_EQ(p->size.value, 8.0f) << "its events advance";
    EXPECT_EQ(second->age, 0.0f);
    EXPECT_EQ(beam_.LiveParticles().Count(), 2);
}

TEST_F(BeamUpdateTest, ParticlesThatNeverDieOfAgeKeepMovingAsLongAsTheBeamPlays) {
    CParticleBeam single(nullptr, nullptr);
    // Twice the speed: the speed vector goes on top of the spawn velocity.
    ExpectAgelessParticlesKeepMoving(beam_, single, clock_, 2.0f);
}

TEST_F(BeamUpdateTest, TrackParticlesRunThePathSegmentBySegment) {
    Emitting(1);
    beam_.SetTrackMode(1);
    beam_.SetTrackRand(0);
    beam_.SetTrackCount(3);
    beam_.SetTrackTime(0.25f);
    Run(3, 125);
    CParticle* p = Only();
    ASSERT_NE(p, nullptr);
    // Segments: point 0 to 1, then 1 to 2, then 2 to 0; TRACKINDEX is the beam's.
    struct Step {
        int frames;
        int from, to;
        std::uint16_t index;
    };
    const Step steps[] = {{0, 0, 1, 1}, {4, 1, 2, 2}, {3, 2, 0, 0}, {3, 0, 1, 1}};
    for (const Step& s : steps) {
        Run(s.frames, 125);
        const vec3_t& from = beam_.GetTrackPoint(s.from);
        const vec3_t& to = beam_.GetTrackPoint(s.to);
        EXPECT_EQ(p->segmentStart.x, from.x) << s.from << " to " << s.to;
        EXPECT_EQ(p->segmentEnd.y, to.y) << s.from << " to " << s.to;
        EXPECT_EQ(beam_.GetTrackIndex(), s.index);
    }
    EXPECT_EQ(p->position.x, beam_.GetTrackPoint(0).x + 0.5f * (beam_.GetTrackPoint(1).x - beam_.GetTrackPoint(0).x));
}

TEST_F(BeamUpdateTest, TrackCountsIndicesAndTimesOutsideThePathStayInsideIt) {
    struct Case {
        std::int32_t count, index;
        float time;
        std::uint8_t random;
    };
    for (const Case c : {Case{1, 0, 0.5f, 1}, Case{0, 0, 0.5f, 1}, Case{500, 450, 0.5f, 0}, Case{8, 3, 0.0f, 0},
                         Case{8, 3, -1.0f, 1}}) {
        CParticleBeam beam(nullptr, nullptr);
        SetEmission(beam, 4, 1000.0f, 100.0f);
        beam.SetTrackMode(1);
        beam.SetTrackCount(c.count);
        beam.SetTrackIndex(c.index);
        beam.SetTrackTime(c.time);
        beam.SetTrackRand(c.random);
        RunBeam(beam, clock_, 30, 50);
        for (const CParticle* p : LiveParticles(beam))
            EXPECT_TRUE(std::isfinite(p->position.x) && std::isfinite(p->position.y)) << "count " << c.count;
        EXPECT_LT(beam.GetTrackIndex(), CParticleBeam::kTrackPointCount);
    }
}

TEST_F(BeamUpdateTest, EllipseMuzzlesPlaceParticlesOnTheEllipseInTheirDirection) {
    struct Case {
        float degrees, x, y;
    };
    for (const Case c : {Case{0.0f, 50.0f, 0.0f}, Case{90.0f, 0.0f, 20.0f}, Case{180.0f, -50.0f, 0.0f}}) {
        CParticleBeam beam(nullptr, nullptr);
        beam.SetNumParticles(1);
        beam.SetEmitRand(1);
        beam.SetMuzzleShape(MS_ELLIPSE);
        const xyz_range_t radius{{50.0f, 20.0f, 0.0f}, {50.0f, 20.0f, 0.0f}, {}};
        const value_range_t angle = Fixed(c.degrees);
        beam.SetEmitRadius(&radius);
        beam.SetEmitAngle(&angle);
        RunBeam(beam, clock_, 1, 10);
        const auto live = LiveParticles(beam);
        ASSERT_EQ(live.size(), 1u);
        EXPECT_NEAR(live[0]->position.x, c.x, 1e-4) << c.degrees;
        EXPECT_NEAR(live[0]->position.y, c.y, 1e-4) << c.degrees;
    }
}

TEST_F(BeamUpdateTest, ScalingModesRescaleFromTheFirstParticleAndKeepTheBaseCopies) {
    // EMITRADIUS: the reference is the radius; scale 20 against 10 doubles it.
    const xyz_range_t radius{{10.0f, 0.0f, 0.0f}, {10.0f, 0.0f, 0.0f}, {}};
    Emitting(1);
    beam_.SetEmitRadius(&radius);
    beam_.SetChgMode(CHG_MODE_EMITRADIUS);
    Run(3, 10);
    EXPECT_EQ(beam_.State().scaleReference.x, 10.0f);
    beam_.Update(0.01f, 0, 0, 0, 0, 20.0f, 0, 0);
    EXPECT_EQ(beam_.GetEmitRadius()->min.x, 20.0f);
    EXPECT_EQ(beam_.GetEmitRadius()->max.x, 20.0f);
    EXPECT_EQ(beam_.GetBaseEmitRadius().max.x, 10.0f);

    // NUM_LIFE: the reference is how far the first particle goes (10 per second for 2 s);
    // the scale is also the radius limit particles stop moving at.
    CParticleBeam beam(nullptr, nullptr);
    beam.SetNumParticles(1);
    const value_range_t rate = Fixed(1000.0f), life{1.0f, 2.0f, 0.0f}, speed = Fixed(10.0f);
    beam.SetEmitRate(&rate);
    beam.SetLifeTime(&life);
    beam.SetEmitSpeed(&speed);
    beam.SetChgMode(CHG_MODE_NUM_LIFE);
    for (int i = 0; i < 30; ++i) {
        TickFrameClock(clock_, 50);
        beam.Update(0.05f, 0, 0, 0, 0, 5.0f, 0, 0);
    }
    ASSERT_TRUE(beam.State().scaleReferenceCaptured);
    const float reference = beam.State().scaleReference.x;
    EXPECT_NEAR(beam.GetLifeTime()->max, 5.0f / reference * 2.0f, 1e-5);
    EXPECT_EQ(beam.GetLifeTime()->min, 1.0f);
    for (const CParticle* p : LiveParticles(beam)) EXPECT_LE(std::fabs(p->position.x), 5.0f + 20.0f * 0.05f);
}

TEST_F(BeamUpdateTest, TheEmitterRateScalesParticleTimeNotTheLengthOfTheSteps) {
    Emitting(1);
    beam_.SetTimeScale(2.0f);
    Run(3, 125);
    CParticle* p = Only();
    ASSERT_NE(p, nullptr);
    for (int step = 1; step <= 4; ++step) {
        Run(1, 125);
        EXPECT_EQ(p->age, 0.25f * static_cast<float>(step));
        EXPECT_EQ(p->lastUpdateTime, g_FrameTime);
    }
}

TEST_F(BeamUpdateTest, AnEmptiedBeamRecordsItsCycleAndStoppedBeamsSpawnNothing) {
    Emitting(1, 0.25f);
    beam_.SetCirclePlay(0);
    beam_.SetDelayTimer(0.0f);
    Run(3, 125);
    const float start = beam_.State().cycleStart;
    EXPECT_EQ(start, g_FrameTime);
    Run(3, 125);
    EXPECT_EQ(beam_.LiveParticles().Count(), 0);
    EXPECT_EQ(beam_.GetDelayClock(), g_FrameTime - start);
    EXPECT_EQ(beam_.State().cycleStart, -1.0f);

    CParticleBeam stopped(nullptr, nullptr);
    stopped.SetNumParticles(5);
    stopped.SetEmitRand(1);
    stopped.SetEmitStopped(1);
    RunBeam(stopped, clock_, 6, 10);
    EXPECT_EQ(stopped.LiveParticles().Count(), 0);
}

TEST_F(BeamUpdateTest, HugeCountsAndBadFrameDeltasStayBounded) {
    Emitting(1000000000u);
    beam_.SetEmitRand(1);
    Run(1, 10);
    EXPECT_EQ(beam_.LiveParticles().Count(), CParticleBeam::kLiveParticleLimit);

    // An EVENTTIMER that keeps sending the clock ahead of itself, and deltas a paused or
    // broken clock gives.
    const float inf = std::numeric_limits<float>::infinity();
    for (const float dt : {0.0f, -5.0f, std::nanf(""), 1e9f, inf}) {
        CParticleBeam beam(nullptr, nullptr);
        SetEmission(beam, 20, 100.0f, 1.0f);
        AddBeamEvent(beam, "EVENTTIMER", {1.5f, 2.0f, 0.0f}, 1.0f);
        AddBeamEvent(beam, "NUMPARTICLES", Fixed(30.0f), 0.5f);
        beam.SortEvents();
        beam.LinkEvents();
        for (int i = 0; i < 6; ++i) {
            TickFrameClock(clock_, 10);
            beam.Update(dt, 0, 0, 0, 0, 1.0f, 0, 0);
        }
        EXPECT_LE(beam.LiveParticles().Count(), 30) << dt;
        EXPECT_FALSE(beam.State().beamClock < 0.0f) << dt;
    }
}

}  // namespace
}  // namespace lumi::test
