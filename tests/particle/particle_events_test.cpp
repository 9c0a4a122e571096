// Particle events: the factories, what each kind sets and ramps, chains, the event timeline
// of a particle, and the editing sets.
#include <cmath>
#include <functional>

#include "particle/beam_event_kinds.h"
#include "particle/particle_event_kinds.h"
#include "particle/particle_event_set.h"
#include "particle/script_lexer.h"
#include "tests/particle/particle_test_support.h"

namespace lumi::test {
namespace {

using ParticleEventTest = BeamClockTest;

TEST_F(ParticleEventTest, FactoriesPickTheFirstKeywordTheTextContains) {
    const std::pair<const char*, std::int32_t> particleKinds[] = {
        {"SIZEX", 8},       {"SIZEY", 9},      {"SIZE", 7},         {"EVENTTIMER", 6}, {"REDCOLOR", 10},
        {"GREENCOLOR", 11}, {"BLUECOLOR", 12}, {"ALPHA", 13},       {"COLOR", 14},     {"VELOCITYX", 15},
        {"VELOCITYY", 16},  {"VELOCITYZ", 17}, {"VELOCITY", 18},    {"ANGLE", 19},     {"MOTIONANGLE", 20},
        {"SPIN", 21},       {"SPEED", 22},     {"EMITSPEED", 22},   {"XSIZEXY", 8},
    };
    for (const auto& [keyword, kind] : particleKinds) {
        std::unique_ptr<CParticleEvent> event(CreateParticleEvent(keyword));
        ASSERT_NE(event, nullptr) << keyword;
        EXPECT_EQ(event->GetEventType(), kind) << keyword;
        std::unique_ptr<CEventBase> byKind(CreateEventByKind(kind));
        EXPECT_EQ(byKind->GetKeyword(), event->GetKeyword());
    }
    EXPECT_EQ(CreateParticleEvent("GRAVITY"), nullptr);
    const std::pair<const char*, std::int32_t> beamKinds[] = {
        {"EVENTTIMER", 0}, {"NUMPARTICLES", 1}, {"EMITSPEED", 2}, {"BEAMPOS", 3}, {"PLAYSOUND", 4}, {"EMITANGLE", 5},
    };
    for (const auto& [keyword, kind] : beamKinds) {
        std::unique_ptr<CParticleBeamEvent> event(CreateBeamEvent(keyword));
        ASSERT_NE(event, nullptr) << keyword;
        EXPECT_EQ(event->GetEventType(), kind) << keyword;
    }
    std::unique_ptr<CParticleBeamEvent> count(CreateBeamEvent("NUMPARTICLES"));
    EXPECT_EQ(count->GetKeyword(), "BEAMNUMPARTICLES");
    EXPECT_EQ(CreateBeamEvent("SIZE"), nullptr);
    EXPECT_EQ(CreateEventByKind(23), nullptr);
    EXPECT_EQ(CreateEventByKind(-1), nullptr);
}

TEST_F(ParticleEventTest, ParseReadsTheValueOrThrowsTheKindsMessage) {
    script_token_list_t tokens;
    Tokenize("SIZE = RANDOM ( 2 , 6 ) BEAMPOS = XYZ(1,2,3) PLAYSOUND = \"boom\" COLOR = RGB(1,0,0)", tokens);
    script_cursor_t cursor(tokens);
    CParticleEvent_Size size;
    EXPECT_TRUE(size.Parse(cursor));
    EXPECT_EQ(size.Value().min, 2.0f);
    EXPECT_EQ(size.Value().max, 6.0f);
    CParticleBeamEvent_Position position;
    EXPECT_TRUE(position.Parse(cursor));
    EXPECT_EQ(position.Value().max.z, 3.0f);
    CParticleBeamEvent_PlaySound sound;
    EXPECT_TRUE(sound.Parse(cursor));
    EXPECT_EQ(sound.GetSoundName(), "boom");
    EXPECT_STREQ(static_cast<const char*>(sound.GetValue()), "boom");
    const struct {
        std::function<bool(script_cursor_t&)> parse;
        const char* message;
    } wrong[] = {
        {[](script_cursor_t& c) { return CParticleEvent_Spin().Parse(c); }, "Expecting Spin!"},
        {[](script_cursor_t& c) { return CParticleBeamEvent_EventTimer().Parse(c); }, "Experting EventTimer!"},
        {[](script_cursor_t& c) { return CParticleBeamEvent_NumParticles().Parse(c); }, "Expecting NumParticles!"},
        {[](script_cursor_t& c) { return CParticleBeamEvent_Position().Parse(c); }, "Expecting BeamPosition"},
        {[](script_cursor_t& c) { return CParticleBeamEvent_PlaySound().Parse(c); }, "Expection PlaySound!"},
    };
    for (const auto& w : wrong) {
        script_cursor_t at = cursor;  // on COLOR
        try {
            w.parse(at);
            ADD_FAILURE() << "no error for " << w.message;
        } catch (const ScriptError& error) {
            EXPECT_STREQ(error.what(), w.message);
        }
    }
}

// Each kind: a value 4 at birth fading to 0 at death (lifetime 2) starts at 4 and ramps by
// -2 per second; the fading event itself, with nothing after it, sets nothing and stops.
TEST_F(ParticleEventTest, EachKindSetsItsPropertyAndRampsTowardAFadingTarget) {
    struct Kind {
        const char* keyword;
        float unit;  // radians per degree for angles
        std::function<float&(CParticle&)> value;
        std::function<float&(CParticle&)> rate;
    };
    const Kind kinds[] = {
        {"SIZE", 1, [](CParticle& p) -> float& { return p.size.value; }, [](CParticle& p) -> float& { return p.size.rate; }},
        {"SIZEX", 1, [](CParticle& p) -> float& { return p.sizeX.value; }, [](CParticle& p) -> float& { return p.sizeX.rate; }},
        {"SIZEY", 1, [](CParticle& p) -> float& { return p.sizeY.value; }, [](CParticle& p) -> float& { return p.sizeY.rate; }},
        {"REDCOLOR", 1, [](CParticle& p) -> float& { return p.color.r; }, [](CParticle& p) -> float& { return p.colorRate.r; }},
        {"GREENCOLOR", 1, [](CParticle& p) -> float& { return p.color.g; }, [](CParticle& p) -> float& { return p.colorRate.g; }},
        {"BLUECOLOR", 1, [](CParticle& p) -> float& { return p.color.b; }, [](CParticle& p) -> float& { return p.colorRate.b; }},
        {"ALPHA", 1, [](CParticle& p) -> float& { return p.color.a; }, [](CParticle& p) -> float& { return p.colorRate.a; }},
        {"VELOCITYX", 1, [](CParticle& p) -> float& { return p.velocity.x; }, [](CParticle& p) -> float& { return p.acceleration.x; }},
        {"VELOCITYY", 1, [](CParticle& p) -> float& { return p.velocity.y; }, [](CParticle& p) -> float& { return p.acceleration.y; }},
        {"VELOCITYZ", 1, [](CParticle& p) -> float& { return p.velocity.z; }, [](CParticle& p) -> float& { return p.acceleration.z; }},
        {"MOTIONANGLE", kDegreesToRadians, [](CParticle& p) -> float& { return p.motionAngle.value; }, [](CParticle& p) -> float& { return p.motionAngle.rate; }},
        {"SPIN", kDegreesToRadians, [](CParticle& p) -> float& { return p.spin.value; }, [](CParticle& p) -> float& { return p.spin.rate; }},
        {"SPEED", 1, [](CParticle& p) -> float& { return p.speed.value; }, [](CParticle& p) -> float& { return p.speed.rate; }},
    };
    for (const Kind& kind : kinds) {
        CParticleBeam beam(nullptr, nullptr);
        CParticleEvent* birth = AddParticleEvent(beam, kind.keyword, Fixed(4.0f), 0.0f);
        CParticleEvent* death = AddParticleEvent(beam, kind.keyword, Fixed(0.0f), 1.0f, true);
        beam.SortEvents();
        beam.LinkEvents();
        EXPECT_EQ(birth->GetRampTarget(), death) << kind.keyword;
        CParticle p;
        p.lifetime = 2.0f;
        birth->Apply(p);
        EXPECT_FLOAT_EQ(kind.value(p), 4.0f * kind.unit) << kind.keyword;
        EXPECT_FLOAT_EQ(kind.rate(p), -2.0f * kind.unit) << kind.keyword;
        kind.value(p) = 1.5f;
        death->Apply(p);
        EXPECT_EQ(kind.value(p), 1.5f) << kind.keyword << ": a fading event sets nothing";
        EXPECT_EQ(kind.rate(p), 0.0f) << kind.keyword;
    }
    // The ramp times: own ones for ramps, the shared one for colour channels.
    CParticleBeam beam(nullptr, nullptr);
    CParticleEvent* size = AddParticleEvent(beam, "SIZE", Fixed(4.0f), 0.25f);
    AddParticleEvent(beam, "SIZE", Fixed(0.0f), 0.75f, true);
    CParticleEvent* red = AddParticleEvent(beam, "REDCOLOR", Fixed(1.0f), 0.5f);
    AddParticleEvent(beam, "REDCOLOR", Fixed(0.0f), 1.0f, true);
    beam.SortEvents();
    beam.LinkEvents();
    CParticle p;
    p.lifetime = 4.0f;
    size->Apply(p);
    red->Apply(p);
    EXPECT_EQ(p.size.remaining, 2.0f);
    EXPECT_EQ(p.colorRemaining, 2.0f);
}

TEST_F(ParticleEventTest, ColourVelocityAngleAndTimerKinds) {
    CParticleBeam beam(nullptr, nullptr);
    auto add = [&](const char* keyword, std::int32_t type, const void* value, float time, bool fade) {
        CParticleEvent* event = CreateParticleEvent(keyword);
        EXPECT_TRUE(event->SetValue(type, false, value));
        EXPECT_FALSE(event->SetValue(type == kEventValueSingle ? kEventValueXYZ : kEventValueSingle, false, value));
        event->TimeRange() = {time, time, 0.0f};
        event->SetFade(fade);
        beam.AddParticleEvent(event);
        return event;
    };
    const color4_t rgba{1.0f, 0.5f, 0.25f, 1.0f}, rgb{0.0f, 0.0f, 0.0f, kColorKeepAlpha};
    const vec3_t fast{2.0f, 4.0f, 6.0f}, still{0.0f, 0.0f, 0.0f};
    const float quarter = 90.0f, timer = 0.25f;
    CParticleEvent* color = add("COLOR", kEventValueColor, &rgba, 0.0f, false);
    add("COLOR", kEventValueColor, &rgb, 1.0f, true);
    CParticleEvent* velocity = add("VELOCITY", kEventValueXYZ, &fast, 0.0f, false);
    add("VELOCITY", kEventValueXYZ, &still, 1.0f, true);
    CParticleEvent* angle = add("ANGLE", kEventValueSingle, &quarter, 0.0f, false);
    CParticleEvent* eventTimer = add("EVENTTIMER", kEventValueSingle, &timer, 0.5f, false);
    beam.SortEvents();
    beam.LinkEvents();

    CParticle p;
    p.lifetime = 2.0f;
    color->Apply(p);
    EXPECT_EQ(p.color.a, 1.0f);
    EXPECT_FLOAT_EQ(p.colorRate.r, -0.5f);
    EXPECT_FLOAT_EQ(p.colorRate.b, -0.125f);
    EXPECT_EQ(p.colorRate.a, 0.0f) << "an RGB target leaves alpha as it is";
    velocity->Apply(p);
    EXPECT_EQ(p.velocity.z, 6.0f);
    EXPECT_FLOAT_EQ(p.acceleration.y, -2.0f);
    angle->Apply(p);
    EXPECT_FLOAT_EQ(p.angle, 90.0f * kDegreesToRadians);
    eventTimer->Apply(p);
    EXPECT_EQ(p.eventClock, 0.25f);
    p.color.a = 0.7f;
    p.colorRate.a = 0.3f;
    CParticleEvent_Color keepAlpha;
    keepAlpha.SetValue(kEventValueColor, false, &rgb);
    keepAlpha.Apply(p);
    EXPECT_EQ(p.color.r, 0.0f);
    EXPECT_EQ(p.color.a, 0.7f);
    EXPECT_EQ(p.colorRate.a, 0.3f);
}

TEST_F(ParticleEventTest, ParticlesApplyOneChainPerTickAndAnEventTimerReplaysTheirTimeline) {
    // A circle particle (lifetime 1) with chains at 0, 0.25 (speed and motion angle together,
    // size) and 0.5 (an event timer back to 0.3, applied after the size beside it).
    beam_.SetNumParticles(1);
    beam_.SetCircleBeam(1);
    beam_.SetEmitRand(1);
    AddParticleEvent(beam_, "SIZE", Fixed(2.0f), 0.0f);
    AddParticleEvent(beam_, "SPEED", Fixed(10.0f), 0.25f);
    AddParticleEvent(beam_, "MOTIONANGLE", Fixed(90.0f), 0.25f);
    AddParticleEvent(beam_, "EVENTTIMER", Fixed(0.3f), 0.5f);
    AddParticleEvent(beam_, "SIZE", Fixed(5.0f), 0.5f);
    Ready();
    RunBeam(beam_, clock_, 1, 125);
    CParticle* p = LiveParticles(beam_).front();
    EXPECT_EQ(p->size.value, 2.0f);  // the time-0 chain, at spawn
    EXPECT_EQ(p->eventCursor, 1);
    EXPECT_EQ(p->nextEventTime, 0.25f);
    RunBeam(beam_, clock_, 2, 125);  // tick: clock 0.25, the speed chain
    EXPECT_EQ(p->eventCursor, 2);
    EXPECT_FLOAT_EQ(p->velocity.y, 10.0f);  // rebuilt from speed and motion angle
    EXPECT_NEAR(p->velocity.x, 0.0f, 1e-5);
    EXPECT_EQ(p->speedChanged + p->angleChanged, 0);
    RunBeam(beam_, clock_, 3, 125);  // clock 0.5: size 5, then the clock back to 0.3
    EXPECT_EQ(p->size.value, 5.0f);
    EXPECT_EQ(p->eventClock, 0.3f);
    EXPECT_EQ(p->eventCursor, 1) << "the chain before the new clock is applied again next";
    EXPECT_EQ(p->nextEventTime, 0.25f);
}

TEST_F(ParticleEventTest, SetsAddInsertBoundAndRemoveEvents) {
    auto* sizes = static_cast<CParticleEventSet*>(beam_.GetEventSet(7));
    IParticleEvent* middle = sizes->AddEvent(0.5f, false);
    ASSERT_NE(middle, nullptr);
    EXPECT_EQ(middle->GetEventType(), 7);
    EXPECT_EQ(sizes->AddEvent(0.5f, true), nullptr) << "the time is taken";
    EXPECT_EQ(beam_.GetParticleEvents().size(), 1u);
    EXPECT_EQ(beam_.GetParticleEvents()[0]->GetEffectiveTime(), 0.5f);

    ASSERT_NE(sizes->AddEvent(0.4995f, false), nullptr);
    EXPECT_EQ(sizes->InsertEventBefore(middle), nullptr) << "0.0005 apart: no room";
    ASSERT_TRUE(sizes->RemoveEvent(0.4995f));
    EXPECT_FALSE(sizes->RemoveEvent(0.4995f));
    sizes->AddEvent(0.2f, false);
    IParticleEvent* inserted = sizes->InsertEventBefore(middle);
    ASSERT_NE(inserted, nullptr);
    EXPECT_FLOAT_EQ(inserted->GetTime(), 0.499f);
    EXPECT_TRUE(inserted->GetFade());
    IParticleEvent* first = sizes->InsertEventBefore(sizes->GetEvent(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetTime(), 0.0f);
    EXPECT_FALSE(first->GetFade());
    EXPECT_EQ(sizes->InsertEventBefore(first), nullptr) << "nothing goes before time 0";
    IParticleEvent* last = sizes->InsertEventBefore(nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_FLOAT_EQ(last->GetTime(), 0.501f);

    float bounds[2] = {-1.0f, -1.0f};
    sizes->GetEventTimeRange(middle, bounds);  // no room either way: 0.499 and 0.501 around it
    EXPECT_NEAR(bounds[0], 0.5f, 1e-6);
    EXPECT_NEAR(bounds[1], 0.5f, 1e-6);
    EXPECT_TRUE(sizes->GetEventTimeRange(first, bounds));
    EXPECT_EQ(bounds[0], 0.0f);
    EXPECT_TRUE(sizes->GetEventTimeRange(last, bounds));
    EXPECT_EQ(bounds[1], 1.0f);
    EXPECT_FALSE(sizes->GetEventTimeRange(nullptr, bounds));
    EXPECT_EQ(sizes->GetEventCount(), 5);
    for (int i = 1; i < sizes->GetEventCount(); ++i)
        EXPECT_LT(sizes->GetEvent(i - 1)->GetTime(), sizes->GetEvent(i)->GetTime());

    auto* colours = beam_.GetEventSet(14);
    colours->AddEvent(0.3f, false);
    EXPECT_EQ(colours->GetEvent(0)->GetEventType(), 14);
    EXPECT_EQ(beam_.GetParticleEvents().size(), 6u);
}

TEST_F(ParticleEventTest, EditsThroughSetsRestartTheParticlesTimelines) {
    auto* sizes = static_cast<CParticleEventSet*>(beam_.GetEventSet(7));
    IParticleEvent* a = sizes->AddEvent(0.25f, false);
    IParticleEvent* b = sizes->AddEvent(0.75f, false);
    auto* p = new CParticle();
    p->eventCursor = 2;
    p->nextEventTime = 999.0f;
    beam_.LiveParticles().PushBack(&p->node);
    const auto rewound = [&] { return p->eventCursor == 0 && p->nextEventTime == 0.0f; };

    b->SetFade(true);
    EXPECT_TRUE(rewound());
    EXPECT_EQ(static_cast<CEventBase*>(a)->GetRampTarget(), b);
    p->eventCursor = 2;
    const float value = 3.0f;
    EXPECT_TRUE(a->SetValue(kEventValueSingle, false, &value));
    EXPECT_TRUE(rewound());

    // Moving onto a taken time leaves the event out of the view, still in the beam.
    p->eventCursor = 2;
    EXPECT_TRUE(b->SetTime(0.25f));
    EXPECT_TRUE(rewound());
    EXPECT_EQ(sizes->GetEventCount(), 1);
    EXPECT_EQ(static_cast<CEventBase*>(b)->GetOwningSet(), sizes);
    ASSERT_EQ(beam_.GetParticleEvents().size(), 1u);  // one chain at 0.25 now
    EXPECT_EQ(beam_.GetParticleEvents()[0]->GetNextInChain(), a);
    EXPECT_FALSE(b->SetTime(0.25f)) << "the same time changes nothing";
    EXPECT_TRUE(b->SetTime(0.9f));
    EXPECT_EQ(sizes->GetEventCount(), 2);
    EXPECT_EQ(beam_.GetParticleEvents().size(), 2u);

    p->eventCursor = 2;
    EXPECT_TRUE(sizes->RemoveEvent(0.25f));
    EXPECT_TRUE(rewound());
    ASSERT_EQ(beam_.GetParticleEvents().size(), 1u);
    EXPECT_EQ(beam_.GetParticleEvents()[0], b);
    sizes->Clear();
    EXPECT_EQ(sizes->GetEventCount(), 0);
    EXPECT_EQ(static_cast<CEventBase*>(b)->GetOwningSet(), nullptr);
    EXPECT_EQ(beam_.GetParticleEvents().size(), 1u) << "the beam keeps its events";
}

TEST_F(ParticleEventTest, AnEventMovedBeforeTheOneThatFadedTowardItLeavesNoStaleFade) {
    // SIZE 10 at 0 and at 0.5, fading to 0 at 0.8; then the fading event moves to 0.2.
    auto* sizes = static_cast<CParticleEventSet*>(beam_.GetEventSet(7));
    const float ten = 10.0f, zero = 0.0f;
    IParticleEvent* birth = sizes->AddEvent(0.0f, false);
    IParticleEvent* middle = sizes->AddEvent(0.5f, false);
    IParticleEvent* fading = sizes->AddEvent(0.8f, true);
    birth->SetValue(kEventValueSingle, false, &ten);
    middle->SetValue(kEventValueSingle, false, &ten);
    fading->SetValue(kEventValueSingle, false, &zero);
    ASSERT_EQ(static_cast<CEventBase*>(middle)->GetRampTarget(), fading);
    EXPECT_TRUE(fading->SetTime(0.2f));
    EXPECT_EQ(static_cast<CEventBase*>(middle)->GetRampTarget(), nullptr) << "nothing of its kind follows it now";

    // A particle of 2 s: 0 from 0.4 s, 10 again from 1 s to its death.
    SetEmission(beam_, 1, 1000.0f, 2.0f);
    beam_.SetEmitRand(1);
    RunBeam(beam_, clock_, 12, 125);
    const auto live = LiveParticles(beam_);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_GT(live[0]->eventClock, 1.0f);
    EXPECT_EQ(live[0]->size.value, 10.0f);
}

// ---- Beam events ----------------------------------------------------------------------------

TEST_F(ParticleEventTest, BeamEventsChangeTheCountTheEmissionAndThePositionOnTheirTicks) {
    beam_.SetNumParticles(3);
    const value_range_t noEmission = Fixed(0.0f);
    beam_.SetEmitRate(&noEmission);
    AddBeamEvent(beam_, "NUMPARTICLES", Fixed(10.0f), 1.0f);
    AddBeamEvent(beam_, "EMITSPEED", Fixed(10.0f), 0.0f);
    AddBeamEvent(beam_, "EMITSPEED", Fixed(30.0f), 2.0f, true);
    AddBeamEvent(beam_, "BEAMPOS", Fixed(0.0f), 0.0f);
    auto* to = static_cast<CParticleBeamEvent_Position*>(AddBeamEvent(beam_, "BEAMPOS", Fixed(0.0f), 2.0f, true));
    to->Value() = {{20.0f, 0.0f, 0.0f}, {20.0f, 0.0f, 0.0f}, {}};
    Ready();
    RunBeam(beam_, clock_, 3, 125);  // clock 0.375
    EXPECT_EQ(beam_.GetEmitSpeed()->max, 10.0f);
    EXPECT_EQ(beam_.State().emitSpeedOffsetRate, 10.0f);
    EXPECT_EQ(beam_.State().beamPositionRate.x, 10.0f);
    EXPECT_EQ(beam_.GetNumParticles(), 3);
    RunBeam(beam_, clock_, 6, 125);  // clock 1.125
    EXPECT_EQ(beam_.GetNumParticles(), 10);
    EXPECT_EQ(beam_.State().budget, 10);
    EXPECT_EQ(beam_.GetAuthoredNumParticles(), 3u) << "a saved script keeps what was set";
    EXPECT_FLOAT_EQ(beam_.State().emitSpeedOffset, 7.5f);  // the rate runs from the tick after it was set
    EXPECT_FLOAT_EQ(beam_.State().beamPosition.x, 11.25f);
}

TEST_F(ParticleEventTest, ABeamEventTimerLoopsTheTimelineAndStopsTheOffsets) {
    beam_.SetNumParticles(1);
    AddBeamEvent(beam_, "NUMPARTICLES", Fixed(5.0f), 0.5f);
    AddBeamEvent(beam_, "NUMPARTICLES", Fixed(7.0f), 2.0f);
    AddBeamEvent(beam_, "EVENTTIMER", Fixed(1.0f), 3.0f);
    AddBeamEvent(beam_, "EMITANGLE", Fixed(45.0f), 3.0f);
    Ready();
    // Ticks every 0.375 s of beam clock.
    const struct {
        float clock;
        std::int32_t count;
    } ticks[] = {{0.375f, 1}, {0.75f, 5}, {1.125f, 5}, {1.5f, 5}, {1.875f, 5}, {2.25f, 7},
                 {2.625f, 7}, {1.0f, 5},  {1.375f, 5}, {1.75f, 5}, {2.125f, 7}};
    for (const auto& tick : ticks) {
        if (tick.clock == 1.0f) beam_.State().emitSpeedOffset = beam_.State().emitAngleOffset = 4.0f;
        RunBeam(beam_, clock_, 3, 125);
        EXPECT_EQ(beam_.State().beamClock, tick.clock);
        EXPECT_EQ(beam_.GetNumParticles(), tick.count) << "at " << tick.clock;
        if (tick.clock == 1.0f) {
            EXPECT_EQ(beam_.State().emitSpeedOffset, 0.0f);
            EXPECT_EQ(beam_.State().emitAngleOffset, 0.0f);
            EXPECT_EQ(beam_.GetEmitAngle()->max, 45.0f) << "applied before the timer";
        }
    }
}

TEST_F(ParticleEventTest, ABeamEventMovedInItsSetKeepsTheListInTimeOrder) {
    CParticleBeamEvent* late = AddBeamEvent(beam_, "NUMPARTICLES", Fixed(7.0f), 2.0f);
    CParticleBeamEvent* early = AddBeamEvent(beam_, "NUMPARTICLES", Fixed(5.0f), 1.0f);
    Ready();
    ASSERT_NE(beam_.GetEventSet(1), nullptr);
    beam_.State().beamEventCursor = 2;
    EXPECT_TRUE(late->SetTime(0.5f));
    ASSERT_EQ(beam_.GetBeamEvents().size(), 2u);
    EXPECT_EQ(beam_.GetBeamEvents()[0], late);
    EXPECT_EQ(beam_.GetBeamEvents()[1], early);
    EXPECT_EQ(beam_.State().beamEventCursor, 0);
    early->SetFade(true);
    EXPECT_EQ(late->GetRampTarget(), early);
    IParticleEvent* added = beam_.GetEventSet(2)->AddEvent(0.25f, false);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(beam_.GetBeamEvents()[0], added);
    EXPECT_TRUE(beam_.GetEventSet(1)->RemoveEvent(0.5f));
    EXPECT_EQ(beam_.GetBeamEvents().size(), 2u);
}

}  // namespace
}  // namespace lumi::test
