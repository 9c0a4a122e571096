#pragma once
// Shared helpers of the particle tests: frames on the fake clock, events built as a script
// would give them, the live particles of a beam, and an emitter's sound side.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/frame_clock.h"
#include "particle/particle.h"
#include "particle/particle_beam.h"
#include "particle/particle_event.h"
#include "particle/particle_sound.h"
#include "particle/particle_sound_owner.h"
#include "platform/tarnel/tarnel.h"
#include "tests/support/fake_clock.h"

namespace lumi::test {

// The frame clock ticked `ms` after its last tick, as the renderer's frame loop does.
inline void TickFrameClock(FakeClock& clock, std::uint32_t ms) {
    clock.Advance(ms);
    EndFrameClock();
    AdvanceFrameClock(TimeGet_S());
}

// Updates the beam for `frames` frames of `ms` each (emitter at x, y; angle 0; scale 1).
inline void RunBeam(CParticleBeam& beam, FakeClock& clock, int frames, std::uint32_t ms, float x = 0.0f,
                    float y = 0.0f) {
    for (int i = 0; i < frames; ++i) {
        TickFrameClock(clock, ms);
        beam.Update(static_cast<float>(ms) / 1000.0f, x, y, 0.0f, 0, 1.0f, 0.0f, 0.0f);
    }
}

inline std::vector<CParticle*> LiveParticles(CParticleBeam& beam) {
    std::vector<CParticle*> particles;
    lru_list_t& live = beam.LiveParticles();
    for (lru_obj_s* node = lru_obj_s::Next(&live); node != &live; node = lru_obj_s::Next(node))
        particles.push_back(CParticle::FromNode(node));
    return particles;
}

// A particle event of the kind `keyword` names, with a value of one number (or a whole
// range), at `time` of the particle's life, added to the beam's list.
inline CParticleEvent* AddParticleEvent(CParticleBeam& beam, const char* keyword, value_range_t value, float time,
                                        bool fade = false) {
    CParticleEvent* event = CreateParticleEvent(keyword);
    EXPECT_NE(event, nullptr) << keyword;
    EXPECT_TRUE(event->SetValue(kEventValueSingle, true, &value)) << keyword;
    event->TimeRange() = {time, time, 0.0f};
    event->SetFade(fade);
    beam.AddParticleEvent(event);
    return event;
}

// A beam event at `time` seconds on the beam clock, added to the beam's list. `value` goes
// to the kinds of one number; the others keep theirs empty.
inline CParticleBeamEvent* AddBeamEvent(CParticleBeam& beam, const char* keyword, value_range_t value, float time,
                                        bool fade = false) {
    CParticleBeamEvent* event = CreateBeamEvent(keyword);
    EXPECT_NE(event, nullptr) << keyword;
    if (event->GetValueType() == kEventValueSingle) {
        EXPECT_TRUE(event->SetValue(kEventValueSingle, true, &value));
    }
    event->TimeRange() = {time, time, time};
    event->SetEffectiveTime(time);
    event->SetFade(fade);
    beam.AddBeamEvent(event);
    return event;
}

inline value_range_t Fixed(float value) { return {value, value, 0.0f}; }

// Sets the beam to hold `count` particles, emitted `rate` a second, each living `lifetime` seconds.
inline void SetEmission(CParticleBeam& beam, std::uint32_t count, float rate, float lifetime) {
    beam.SetNumParticles(count);
    const value_range_t emitRate = Fixed(rate), life = Fixed(lifetime);
    beam.SetEmitRate(&emitRate);
    beam.SetLifeTime(&life);
}

// Particles that never die of age, a circle beam's and a single-particle beam's, each
// spawned at once (speed 1 along x, lifetime 1 s, no events) and run with its beam for
// 10,000 frames of one second, past any placeholder time of "no event left": each is where
// `unitsPerSecond` puts it.
inline void ExpectAgelessParticlesKeepMoving(CParticleBeam& circle, CParticleBeam& single, FakeClock& clock,
                                             float unitsPerSecond) {
    const value_range_t speed = Fixed(1.0f), life = Fixed(1.0f);
    for (CParticleBeam* beam : {&circle, &single}) {
        beam->SetEmitRand(1);
        beam->SetEmitSpeed(&speed);
        beam->SetLifeTime(&life);
    }
    circle.SetCircleBeam(1);
    single.SetSingleParticle(1);
    constexpr int kFrames = 10000;
    for (int i = 0; i < kFrames; ++i) {
        TickFrameClock(clock, 1000);
        for (CParticleBeam* beam : {&circle, &single}) beam->Update(1.0f, 0.0f, 0.0f, 0.0f, 0, 1.0f, 0.0f, 0.0f);
    }
    for (CParticleBeam* beam : {&circle, &single}) {
        const std::vector<CParticle*> live = LiveParticles(*beam);
        ASSERT_EQ(live.size(), 1u);
        // Spawned in the first frame.
        EXPECT_FLOAT_EQ(live[0]->age, kFrames - 1.0f);
        EXPECT_FLOAT_EQ(live[0]->position.x, unitsPerSecond * (kFrames - 1.0f));
    }
}

// A beam on the fake clock's frame clock (ticked once at 1 s), with the random sequence of seed 1.
class BeamClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        SeedParticleRandom(1);
        ResetFrameClock();
        TickFrameClock(clock_, 0);
    }
    void TearDown() override {
        ResetFrameClock();
        SeedParticleRandom(1);
    }
    // Sorts and links the beam's lists, as the reader does at the end of a beam's block.
    void Ready() {
        beam_.SortEvents();
        beam_.LinkEvents();
    }

    FakeClock clock_{1000};
    CParticleBeam beam_{nullptr, nullptr};
};

// The sound side of an emitter: a map of sounds by name over a host sound system.
class FakeSoundOwner final : public IParticleSoundOwner {
public:
    explicit FakeSoundOwner(IHostSoundSystem* system = nullptr) : system_(system) {}

    CParticleSound* Add(const std::string& name, const std::string& file, bool is3D, float volume = 1.0f) {
        auto sound = std::make_unique<CParticleSound>(this);
        sound->SetName(name);
        sound->SetFileName(file);
        sound->Set3D(is3D);
        sound->SetVolume(volume);
        return sounds_.emplace(name, std::move(sound)).first->second.get();
    }

    IHostSoundSystem* GetSoundSystem() override { return system_; }
    CParticleSound* FindSound(const std::string& name) override {
        const auto found = sounds_.find(name);
        return found != sounds_.end() ? found->second.get() : nullptr;
    }
    CParticleSound* AcquireSound(const std::string& name) override {
        CParticleSound* sound = FindSound(name);
        if (sound != nullptr) sound->LoadData(system_);
        return sound;
    }

private:
    IHostSoundSystem* system_;
    std::map<std::string, std::unique_ptr<CParticleSound>> sounds_;
};

}  // namespace lumi::test
