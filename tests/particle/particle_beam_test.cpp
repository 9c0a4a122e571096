#include "particle/particle_beam.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/exception.h"
#include "core/pool_table.h"
#include "particle/particle.h"
#include "particle/particle_event.h"
#include "particle/particle_event_set.h"
#include "platform/win32/text.h"

namespace {

// An event of a given kind and time that writes its deletion, and how many particles were
// still out of the pool then, into a shared log. It applies nothing.
template <class Base>
class Logged : public Base {
public:
    Logged(std::int32_t kind, float time, std::string name, std::vector<std::string>* log)
        : Base(kind, "LOGGED"), kind_(kind), name_(std::move(name)), log_(log) {
        this->TimeRange() = {time, time, 0.0f};
        this->SetEffectiveTime(time);
    }
    ~Logged() override {
        log_->push_back(name_ + " with " + std::to_string(g_CParticlePool.BlocksInUse()) + " particles out");
    }
    std::int32_t GetEventType() override { return kind_; }
    std::int32_t GetValueType() override { return kEventValueSingle; }
    const void* GetValue() override { return nullptr; }
    bool SetValue(std::int32_t, bool, const void*) override { return false; }
    bool SupportsFade() override { return true; }
    bool Parse(script_cursor_t&) override { return false; }

private:
    std::int32_t kind_;
    std::string name_;
    std::vector<std::string>* log_;
};

class LoggedEvent final : public Logged<CParticleEvent> {
public:
    using Logged::Logged;
    void Apply(CParticle&) override {}
};

class LoggedBeamEvent final : public Logged<CParticleBeamEvent> {
public:
    using Logged::Logged;
    void Apply(CParticleBeam&) override {}
};

class ParticleBeamTest : public ::testing::Test {
protected:
    void SetUp() override { SeedParticleRandom(1); }
    void TearDown() override { SeedParticleRandom(1); }

    LoggedEvent* Event(std::int32_t kind, float time, const char* name) {
        return new LoggedEvent(kind, time, name, &log_);
    }
    LoggedBeamEvent* BeamEvent(std::int32_t kind, float time, const char* name) {
        return new LoggedBeamEvent(kind, time, name, &log_);
    }

    std::vector<std::string> log_;
    CParticleBeam beam_{nullptr, nullptr};
};

TEST_F(ParticleBeamTest, NumParticlesSetsTheBudgetAndTheAuthoredCount) {
    beam_.SetNumParticles(7);
    EXPECT_EQ(beam_.GetNumParticles(), 7);
    EXPECT_EQ(beam_.State().budget, 7);
    EXPECT_EQ(beam_.GetAuthoredNumParticles(), 7u);

    // A beam event changes what plays, not what is saved.
    beam_.ChangeNumParticles(3);
    EXPECT_EQ(beam_.GetNumParticles(), 3);
    EXPECT_EQ(beam_.State().budget, 3);
    EXPECT_EQ(beam_.GetAuthoredNumParticles(), 7u);

    // A ramp that reached 12.6 resets to a budget of 12.
    beam_.NumParticlesRamp().value = 12.6f;
    beam_.Reset();
    EXPECT_EQ(beam_.GetNumParticles(), 12);
    EXPECT_EQ(beam_.State().budget, 12);

    beam_.SetNumParticles(4000000000u);
    EXPECT_EQ(beam_.GetNumParticles(), INT32_MAX);
    EXPECT_EQ(beam_.State().budget, INT32_MAX);
    beam_.NumParticlesRamp().value = -2.5f;
    EXPECT_EQ(beam_.GetNumParticles(), -2);
}

// A rescale or a beam event changes what plays; the base and authored copies stay for the writer.
TEST_F(ParticleBeamTest, ScaledAndBaseCopies) {
    const xyz_range_t radius{{1, 2, 3}, {4, 5, 6}, {0, 0, 0}};
    beam_.SetEmitRadius(&radius);
    beam_.GetEmitRadius()->max.x = 40.0f;
    EXPECT_EQ(beam_.GetBaseEmitRadius().max.x, 4.0f);
    beam_.SetEmitRadius(&radius);
    EXPECT_EQ(beam_.GetEmitRadius()->max.x, 4.0f);

    const value_range_t speed{10.0f, 20.0f, 0.0f}, played{30.0f, 30.0f, 0.0f};
    beam_.SetEmitSpeed(&speed);
    beam_.ChangeEmitSpeed(&played);
    EXPECT_EQ(beam_.GetEmitSpeed()->min, 30.0f);
    EXPECT_EQ(beam_.GetAuthoredEmitSpeed().min, 10.0f);
    beam_.SetEmitAngle(&speed);
    beam_.ChangeEmitAngle(&played);
    EXPECT_EQ(beam_.GetEmitAngle()->max, 30.0f);
    EXPECT_EQ(beam_.GetAuthoredEmitAngle().max, 20.0f);
}

TEST_F(ParticleBeamTest, TextureNamesTakeKeyFormAndMarkAReload) {
    beam_.SetTexture(u"");  // nothing was set: no reload
    EXPECT_FALSE(beam_.IsTextureReloadPending());

    beam_.SetTexture(u"Data\\particle\\shape\\8-bit shapes\\leaf2.png");
    EXPECT_EQ(beam_.GetTexture(), u"DATA/PARTICLE/SHAPE/8-BIT SHAPES/LEAF2.PNG");
    EXPECT_TRUE(beam_.IsTextureReloadPending());

    CParticleBeam other(nullptr, nullptr);
    other.SetTextureA("fx\\\xC3\xA9t\xC3\xA9.png");  // UTF-8 e-acute: only a-z change case
    EXPECT_EQ(other.GetTexture(), u"FX/\u00E9T\u00E9.PNG");
    other.SetTexture(u"");
    EXPECT_TRUE(other.GetTexture().empty());
    EXPECT_TRUE(other.IsTextureReloadPending());

    // The name buffer holds 511 characters; a surrogate pair is never cut in two.
    beam_.SetTexture(std::u16string(600, u'a'));
    EXPECT_EQ(beam_.GetTexture(), std::u16string(511, u'A'));
    beam_.SetTexture(std::u16string(510, u'b') + u"\U0001F600");
    EXPECT_EQ(beam_.GetTexture(), std::u16string(510, u'B'));

    beam_.SetNameA("Spark \xC3\xA9");
    EXPECT_EQ(beam_.GetName(), u"Spark \u00E9");  // names keep their case
    beam_.SetNameA(std::string(700, 'n').c_str());
    EXPECT_EQ(beam_.GetName().size(), 511u);
    beam_.SetNameA(nullptr);
    EXPECT_TRUE(beam_.GetName().empty());
}

TEST_F(ParticleBeamTest, AnimationCellsFollowTheSheet) {
    beam_.SetAnimRow(2);
    beam_.SetAnimCow(2);
    beam_.SetAnimTimes(0.1f);
    beam_.SetAnimActualCount(3);
    const std::vector<anim_cell_t>& cells = beam_.GetAnimCells();
    ASSERT_EQ(cells.size(), 3u);
    const int rects[3][5] = {{0, 1, 1, 127, 127}, {1, 129, 1, 255, 127}, {2, 1, 129, 127, 255}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cells[i].index, rects[i][0]);
        EXPECT_EQ(cells[i].left, rects[i][1]);
        EXPECT_EQ(cells[i].top, rects[i][2]);
        EXPECT_EQ(cells[i].right, rects[i][3]);
        EXPECT_EQ(cells[i].bottom, rects[i][4]);
        EXPECT_EQ(cells[i].time, 0.1f);
    }
    EXPECT_TRUE(beam_.AreAnimCellsBuilt());

    beam_.SetAnimTime(2, 0.25f);
    beam_.SetAnimTime(3, 9.0f);  // past the cells: ignored
    EXPECT_EQ(beam_.GetAnimTime(2), 0.25f);
    EXPECT_EQ(beam_.GetAnimTime(3), 0.0f);
    beam_.BuildAnimCells(false);  // built: kept
    EXPECT_EQ(beam_.GetAnimTime(2), 0.25f);
    beam_.SetAnimTimes(0.5f);  // rebuilt
    EXPECT_EQ(beam_.GetAnimTime(2), 0.5f);

    // A rebuild that drops the cell on show leaves no cell on show.
    beam_.State().currentCell = 2;
    beam_.SetAnimActualCount(2);
    EXPECT_EQ(beam_.State().currentCell, -1);

    // No rows or no columns (256 keeps no bits of a byte): no cells, no division by zero.
    beam_.SetAnimRow(256);
    EXPECT_EQ(beam_.GetAnimRow(), 0);
    EXPECT_TRUE(beam_.GetAnimCells().empty());
    EXPECT_FALSE(beam_.AreAnimCellsBuilt());
    beam_.SetAnimRow(1);
    beam_.SetAnimCow(0);
    EXPECT_TRUE(beam_.GetAnimCells().empty());
    beam_.SetAnimCow(255);
    beam_.SetAnimActualCount(255);
    EXPECT_EQ(beam_.GetAnimCells().size(), 255u);
    EXPECT_EQ(beam_.GetAnimCells().back().index, 254);
}

TEST_F(ParticleBeamTest, ResetRestartsTheTimelineAndKeepsTheRest) {
    beam_.SetNumParticles(5);
    beam_.BuildAnimCells(true);
    beam_state_t& s = beam_.State();
    s = {.emissionAccumulator = 1.5f, .beamPosition = {1.0f, 2.0f, 3.0f}, .emitSpeedOffset = 7.0f,
         .emitAngleOffsetRate = 2.0f, .scaleReference = {4.0f, 0.0f, 0.0f}, .scaleReferenceCaptured = 1,
         .beamEventCursor = 4, .currentCell = 0, .lastCellSwitch = 2.0f, .beamClock = 3.0f,
         .frameAccumulator = 0.02f, .frameCounter = 2, .cycleStart = 10.0f, .cycleDuration = 2.5f};
    beam_.NumParticlesRamp().rate = 3.0f;
    beam_.LiveParticles().PushBack(&(new CParticle)->node);

    beam_.Reset();
    EXPECT_EQ(s.budget, 5);
    EXPECT_EQ(s.emissionAccumulator, 0.0f);
    EXPECT_EQ(s.beamClock, 0.0f);
    EXPECT_EQ(s.frameAccumulator, 0.0f);
    EXPECT_EQ(s.frameCounter, 0);
    EXPECT_EQ(s.lastCellSwitch, 0.0f);
    EXPECT_EQ(s.currentCell, -1);
    EXPECT_EQ(s.beamEventCursor, 0);
    EXPECT_EQ(s.emitSpeedOffset, 7.0f);
    EXPECT_EQ(s.emitAngleOffsetRate, 2.0f);
    EXPECT_EQ(s.beamPosition.z, 3.0f);
    EXPECT_EQ(s.scaleReference.x, 4.0f);
    EXPECT_EQ(s.scaleReferenceCaptured, 1);
    EXPECT_EQ(s.cycleStart, 10.0f);
    EXPECT_EQ(beam_.NumParticlesRamp().rate, 3.0f);
    EXPECT_EQ(beam_.LiveParticles().Count(), 1);
    EXPECT_EQ(beam_.GetDelayClock(), 2.5f);
    s.cycleDuration = -1.0f;
    EXPECT_EQ(beam_.GetDelayClock(), 0.0f);
}

TEST_F(ParticleBeamTest, EventsFormChainsByEffectiveTime) {
    LoggedEvent* first = Event(7, 0.5f, "size");
    beam_.AddParticleEvent(first);
    EXPECT_EQ(first->GetEffectiveTime(), 0.5f);  // min == max: no draw

    LoggedEvent* random = Event(13, 0.0f, "alpha");
    random->TimeRange() = {0.0f, 1.0f, 0.0f};
    beam_.AddParticleEvent(random);
    EXPECT_NEAR(random->GetEffectiveTime(), 41.0f / 32767.0f, 1e-7f);  // the first draw of seed 1
    EXPECT_EQ(random->TimeRange().value, random->GetEffectiveTime());

    LoggedEvent* same = Event(14, 0.5f, "color");
    beam_.AddParticleEvent(same);
    ASSERT_EQ(beam_.GetParticleEvents().size(), 2u);
    EXPECT_EQ(beam_.GetParticleEvents()[0], same);  // the newest heads its chain
    EXPECT_EQ(same->GetNextInChain(), first);
    EXPECT_EQ(beam_.GetParticleEvents()[1], random);

    LoggedBeamEvent* beamEvent = BeamEvent(1, 2.0f, "numparticles");
    beamEvent->TimeRange() = {0.0f, 9999.0f, 0.0f};
    beamEvent->SetEffectiveTime(2.0f);  // a beam event comes with its time drawn
    beam_.AddBeamEvent(beamEvent);
    EXPECT_EQ(beamEvent->GetEffectiveTime(), 2.0f);
    EXPECT_EQ(beam_.GetBeamEvents().size(), 1u);
}

TEST_F(ParticleBeamTest, EventSetsAreMadeOnFirstDemandAndShowTheEvents) {
    LoggedEvent* size = Event(7, 0.5f, "size");
    LoggedEvent* sizeSameTime = Event(7, 0.5f, "size again");
    sizeSameTime->TimeRange() = {0.1f, 0.5f, 0.0f};  // another effective time, the same set time
    LoggedEvent* sizeLater = Event(7, 0.75f, "size later");
    LoggedBeamEvent* speed = BeamEvent(2, 1.0f, "emitspeed");
    beam_.AddParticleEvent(size);
    beam_.AddParticleEvent(sizeSameTime);
    beam_.AddParticleEvent(sizeLater);
    beam_.AddBeamEvent(speed);

    EXPECT_EQ(beam_.GetEventSet(23), nullptr);
    auto* sizes = static_cast<CParticleEventSet*>(beam_.GetEventSet(7));
    ASSERT_NE(sizes, nullptr);
    EXPECT_EQ(beam_.GetEventSet(7), sizes);
    for (std::uint32_t kind = 0; kind < CParticleBeam::kEventSetCount; ++kind) {
        ASSERT_NE(beam_.GetEventSet(kind), nullptr);
        EXPECT_EQ(beam_.GetEventSet(kind)->GetEventType(), static_cast<std::int32_t>(kind));
        EXPECT_EQ(static_cast<CParticleEventSet*>(beam_.GetEventSet(kind))->GetBeam(), &beam_);
    }
    // In the order of the beam's list; the second event at 0.5 stays out of the set.
    ASSERT_EQ(sizes->GetEventCount(), 2);
    EXPECT_EQ(sizes->GetEvent(0), static_cast<IParticleEvent*>(size));
    EXPECT_EQ(sizes->GetEvent(1), static_cast<IParticleEvent*>(sizeLater));
    EXPECT_EQ(sizes->GetEvent(2), nullptr);
    EXPECT_EQ(sizes->GetEvent(-1), nullptr);
    EXPECT_EQ(size->GetOwningSet(), sizes);
    EXPECT_EQ(sizeSameTime->GetOwningSet(), nullptr);
    EXPECT_EQ(beam_.GetEventSet(2)->GetEvent(0), static_cast<IParticleEvent*>(speed));
    EXPECT_EQ(beam_.GetEventSet(8)->GetEventCount(), 0);

    try {
        CParticleEventSet orphan(3, nullptr);
        ADD_FAILURE() << "a set without a beam was made";
    } catch (const lumi::Exception& error) {
        EXPECT_STREQ(error.what(), "invalid particle beam pointer!");
    }
}

TEST_F(ParticleBeamTest, DestructionReturnsEverythingInOrder) {
    const std::int32_t particlesBefore = g_CParticlePool.BlocksInUse();
    {
        CParticleBeam beam(nullptr, nullptr);
        beam.AddParticleEvent(Event(7, 0.5f, "size"));
        beam.AddParticleEvent(Event(14, 0.5f, "color"));
        beam.AddParticleEvent(Event(21, 1.0f, "spin"));
        LoggedBeamEvent* timer = BeamEvent(0, 3.0f, "eventtimer");
        beam.AddBeamEvent(timer);
        beam.GetEventSet(0);
        for (int i = 0; i < 3; ++i) beam.LiveParticles().PushBack(&(new CParticle)->node);
        beam.PlayingSounds().PushBack(new beam_sound_node_t);
        EXPECT_EQ(g_CParticlePool.BlocksInUse(), particlesBefore + 3);
    }
    EXPECT_EQ(g_CParticlePool.BlocksInUse(), particlesBefore);  // no leak at unload
    const std::string out = " with " + std::to_string(particlesBefore + 3) + " particles out";
    // Particle events chain by chain, then beam events, all before the particles go back.
    EXPECT_EQ(log_, (std::vector<std::string>{"color" + out, "size" + out, "spin" + out, "eventtimer" + out}));
}

}  // namespace
