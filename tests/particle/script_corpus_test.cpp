// The corpus of scripts (tests/particle/scripts): every script compiles, is saved, and
// compiles again to the same emitter (every header value, beam value, event and sound), and
// the saved text is the same when saved a second time. The corpus holds every event kind and
// every name of every enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "particle/beam_event_kinds.h"
#include "particle/script_enums.h"
#include "tests/particle/emitter_test_support.h"
#include "tests/support/work_folder.h"

namespace lumi::test {
namespace {

constexpr float kWritten = 0.0005f;  // numbers are written with three decimals

std::string SaveText(CParticleEmitter& emitter) {
    EXPECT_TRUE(emitter.Save(u"corpus.pes"));
    return ReadTextFile("corpus.pes");
}

void ExpectNear(const value_range_t& a, const value_range_t& b, const std::string& what) {
    EXPECT_NEAR(a.min, b.min, kWritten) << what;
    EXPECT_NEAR(a.max, b.max, kWritten) << what;
}

// Records of floats, compared component by component.
template <class Record>
void ExpectNearFloats(const Record& a, const Record& b, const std::string& what) {
    static_assert(sizeof(Record) % sizeof(float) == 0);
    const auto* fa = reinterpret_cast<const float*>(&a);
    const auto* fb = reinterpret_cast<const float*>(&b);
    // The last third of a record is its last draw, which a compile makes anew.
    for (std::size_t i = 0; i < sizeof(Record) / sizeof(float) * 2 / 3; ++i)
        EXPECT_NEAR(fa[i], fb[i], kWritten) << what << " component " << i;
}

void ExpectNear(const xyz_range_t& a, const xyz_range_t& b, const std::string& what) { ExpectNearFloats(a, b, what); }
void ExpectNear(const color_range_t& a, const color_range_t& b, const std::string& what) {
    ExpectNearFloats(a, b, what);
}

// The kind's events in the order of their times as written (ties in list order).
std::vector<CEventBase*> ByTime(CParticleBeam& beam, std::int32_t kind) {
    std::vector<CEventBase*> events = EventsOf(beam, kind);
    std::stable_sort(events.begin(), events.end(), [](CEventBase* a, CEventBase* b) {
        return std::make_pair(a->TimeRange().min, a->TimeRange().max) <
               std::make_pair(b->TimeRange().min, b->TimeRange().max);
    });
    return events;
}

template <class Record>
void ExpectNearValues(CEventBase& a, CEventBase& b, const std::string& what) {
    ExpectNear(*static_cast<const Record*>(a.GetValue()), *static_cast<const Record*>(b.GetValue()), what);
}

void ExpectSameEvent(CEventBase& a, CEventBase& b, const std::string& what) {
    ExpectNear(a.TimeRange(), b.TimeRange(), what + " time");
    EXPECT_EQ(a.GetFade(), b.GetFade()) << what;
    ASSERT_EQ(a.GetValueType(), b.GetValueType()) << what;
    switch (a.GetValueType()) {
        case kEventValueSingle: ExpectNearValues<value_range_t>(a, b, what); break;
        case kEventValueColor: ExpectNearValues<color_range_t>(a, b, what); break;
        case kEventValueXYZ: ExpectNearValues<xyz_range_t>(a, b, what); break;
        default:
            EXPECT_STREQ(static_cast<const char*>(a.GetValue()), static_cast<const char*>(b.GetValue())) << what;
    }
}

void ExpectSameBeam(CParticleBeam& a, CParticleBeam& b, const std::string& what) {
    EXPECT_EQ(a.GetName(), b.GetName()) << what;
    EXPECT_EQ(a.GetTexture(), b.GetTexture()) << what;
    EXPECT_EQ(a.GetAuthoredNumParticles(), b.GetAuthoredNumParticles()) << what;
    const std::int32_t modes[][2] = {
        {a.GetSourceBlendMode(), b.GetSourceBlendMode()}, {a.GetDestBlendMode(), b.GetDestBlendMode()},
        {a.GetColorOp(), b.GetColorOp()}, {a.GetAlphaOp(), b.GetAlphaOp()}, {a.GetBlendOp(), b.GetBlendOp()},
        {a.GetParticleMode(), b.GetParticleMode()}, {a.GetParticleAngleType(), b.GetParticleAngleType()},
        {a.GetMuzzleShape(), b.GetMuzzleShape()}, {a.GetChgMode(), b.GetChgMode()},
        {a.GetAnimRow(), b.GetAnimRow()}, {a.GetAnimCow(), b.GetAnimCow()},
        {a.GetAnimActualCount(), b.GetAnimActualCount()}, {a.GetAnimSize(), b.GetAnimSize()},
        {a.GetStartAnimIndex(), b.GetStartAnimIndex()}, {a.GetAttachedToEmitter(), b.GetAttachedToEmitter()},
        {a.GetEmitRand(), b.GetEmitRand()}, {a.GetSingleParticle(), b.GetSingleParticle()},
        {a.GetIsAnim(), b.GetIsAnim()}, {a.GetCircleBeam(), b.GetCircleBeam()}, {a.GetFlipX(), b.GetFlipX()},
        {a.GetFlipY(), b.GetFlipY()}, {a.GetLockAspect(), b.GetLockAspect()},
        {a.GetCirclePlay(), b.GetCirclePlay()}, {a.GetTrackMode(), b.GetTrackMode()},
        {a.GetTrackCount(), b.GetTrackCount()}, {a.GetTrackIndex(), b.GetTrackIndex()},
        {a.GetTrackRand(), b.GetTrackRand()}, {a.GetCoordinates(), b.GetCoordinates()},
    };
    for (std::size_t i = 0; i < std::size(modes); ++i) EXPECT_EQ(modes[i][0], modes[i][1]) << what << " value " << i;
    EXPECT_NEAR(a.GetAnimTimes(), b.GetAnimTimes(), kWritten) << what;
    // The written sheet builds cells that a script without one never built.
    if (!a.GetAnimCells().empty()) {
        ASSERT_EQ(a.GetAnimCells().size(), b.GetAnimCells().size()) << what;
        for (std::uint32_t i = 0; i < a.GetAnimCells().size(); ++i)
            EXPECT_NEAR(a.GetAnimTime(i), b.GetAnimTime(i), kWritten) << what << " cell " << i;
    }
    EXPECT_NEAR(a.GetRefPoint()[0], b.GetRefPoint()[0], kWritten) << what;
    EXPECT_NEAR(a.GetRefPoint()[1], b.GetRefPoint()[1], kWritten) << what;
    ExpectNear(a.GetBaseLifeTime(), b.GetBaseLifeTime(), what + " LIFETIME");
    ExpectNear(*a.GetEmitRate(), *b.GetEmitRate(), what + " EMITRATE");
    ExpectNear(a.GetAuthoredEmitAngle(), b.GetAuthoredEmitAngle(), what + " EMITANGLE");
    ExpectNear(a.GetAuthoredEmitSpeed(), b.GetAuthoredEmitSpeed(), what + " EMITSPEED");
    ExpectNear(a.GetBaseEmitRadius(), b.GetBaseEmitRadius(), what + " EMITRADIUS");
    ExpectNear(*a.GetGravity(), *b.GetGravity(), what + " GRAVITY");
    EXPECT_NEAR(a.GetDelayTimer(), b.GetDelayTimer(), kWritten) << what;
    EXPECT_NEAR(a.GetTrackTime(), b.GetTrackTime(), kWritten) << what;
    for (std::int32_t kind = 0; kind < kEventKindCount; ++kind) {
        const std::vector<CEventBase*> ea = ByTime(a, kind);
        const std::vector<CEventBase*> eb = ByTime(b, kind);
        ASSERT_EQ(ea.size(), eb.size()) << what << " events of kind " << kind;
        for (std::size_t i = 0; i < ea.size(); ++i)
            ExpectSameEvent(*ea[i], *eb[i], what + " event " + std::to_string(kind) + "/" + std::to_string(i));
    }
}

void ExpectSameEmitter(CParticleEmitter& a, CParticleEmitter& b, const std::string& what) {
    EXPECT_EQ(a.GetName(), b.GetName()) << what;
    EXPECT_NEAR(a.GetVersion(), b.GetVersion(), 0.005f) << what;
    EXPECT_EQ(a.GetCoordinates(), b.GetCoordinates()) << what;
    EXPECT_NEAR(a.GetEmitterLife(), b.GetEmitterLife(), kWritten) << what;
    EXPECT_NEAR(a.GetEmitterRate(), b.GetEmitterRate(), kWritten) << what;
    ExpectNear(*a.GetPosition(), *b.GetPosition(), what + " POSITION");
    ASSERT_EQ(a.GetSoundCount(), b.GetSoundCount()) << what;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(a.GetSoundCount()); ++i) {
        CParticleSound& sa = *a.GetSoundAt(i);
        CParticleSound& sb = *b.GetSoundAt(i);
        EXPECT_EQ(sa.GetName(), sb.GetName()) << what;
        EXPECT_EQ(sa.GetFileName(), sb.GetFileName()) << what;
        EXPECT_EQ(sa.Get3D(), sb.Get3D()) << what;
        EXPECT_NEAR(sa.GetVolume(), sb.GetVolume(), kWritten) << what;
        EXPECT_NEAR(sa.GetMinDistance(), sb.GetMinDistance(), kWritten) << what;
        EXPECT_NEAR(sa.GetMaxDistance(), sb.GetMaxDistance(), kWritten) << what;
    }
    ASSERT_EQ(a.GetBeamCount(), b.GetBeamCount()) << what;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(a.GetBeamCount()); ++i)
        ExpectSameBeam(*a.GetBeam(i), *b.GetBeam(i), what + " beam " + std::to_string(i));
}

TEST(ScriptCorpus, EveryScriptSurvivesASaveAndItsTextASecondOne) {
    TempWorkFolder folder;
    const std::vector<std::string> names = CorpusNames();
    ASSERT_GE(names.size(), 9u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EmitterPtr first = Compiled(CorpusScript(name));
        ASSERT_GT(first->GetBeamCount(), 0);
        const std::string text = SaveText(*first);
        EmitterPtr second = Compiled(text);
        ExpectSameEmitter(*first, *second, name);
        EXPECT_EQ(SaveText(*second), text);
    }
}

TEST(ScriptCorpus, HoldsEveryEventKindEveryTimeFormAndEveryName) {
    std::set<std::int32_t> kinds;
    std::set<std::int32_t> timeKinds;
    std::set<std::string> names;
    bool randomTime = false, fade = false, sound = false, circle = false, track = false, coords3D = false;
    for (const std::string& name : CorpusNames()) {
        EmitterPtr emitter = Compiled(CorpusScript(name));
        sound |= emitter->GetSoundCount() > 0;
        coords3D |= emitter->GetCoordinates() == COORDS_3D;
        circle |= emitter->HasCircleBeam();
        for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(emitter->GetBeamCount()); ++i) {
            CParticleBeam& beam = *emitter->GetBeam(i);
            track |= beam.GetTrackMode() != 0;
            const std::pair<const script_enum_table_t*, std::int32_t> values[] = {
                {&kBlendModeNames, beam.GetSourceBlendMode()}, {&kBlendModeNames, beam.GetDestBlendMode()},
                {&kTextureOpNames, beam.GetColorOp()},         {&kTextureOpNames, beam.GetAlphaOp()},
                {&kBlendOpNames, beam.GetBlendOp()},           {&kParticleModeNames, beam.GetParticleMode()},
                {&kAngleTypeNames, beam.GetParticleAngleType()}, {&kMuzzleShapeNames, beam.GetMuzzleShape()},
                {&kChgModeNames, beam.GetChgMode()},           {&kCoordsTypeNames, emitter->GetCoordinates()},
            };
            for (const auto& [table, value] : values) names.insert(FindEnumName(*table, value));
            for (std::int32_t kind = 0; kind < kEventKindCount; ++kind) {
                for (CEventBase* event : EventsOf(beam, kind)) {
                    kinds.insert(kind);
                    timeKinds.insert(event->GetTimeKind());
                    randomTime |= event->TimeRange().min != event->TimeRange().max;
                    fade |= event->GetFade();
                }
            }
        }
    }
    EXPECT_EQ(kinds.size(), static_cast<std::size_t>(kEventKindCount));
    EXPECT_EQ(timeKinds.size(), 3u);
    for (const script_enum_table_t* table : {&kBlendModeNames, &kTextureOpNames, &kBlendOpNames, &kCoordsTypeNames,
                                             &kParticleModeNames, &kAngleTypeNames, &kMuzzleShapeNames, &kChgModeNames})
        for (const script_enum_row_t& row : table->rows) EXPECT_EQ(names.count(row.name), 1u) << row.name;
    EXPECT_TRUE(randomTime && fade && sound && circle && track && coords3D);
}

}  // namespace
}  // namespace lumi::test
