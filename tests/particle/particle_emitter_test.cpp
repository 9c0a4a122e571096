// The emitter on its own: beam order, sounds, the per-frame update and its clock, its life,
// the track rectangle, and reading a script file through the file callbacks.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/file_callbacks.h"
#include "core/frame_clock.h"
#include "particle/particle_event_set.h"
#include "platform/engine/resource_loader.h"
#include "platform/sound/recording_sound_system.h"
#include "platform/tarnel/tarnel.h"
#include "tests/particle/emitter_test_support.h"
#include "tests/particle/particle_test_support.h"
#include "tests/support/work_folder.h"

namespace lumi::test {
namespace {

using Lines = std::vector<std::string>;

class EmitterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFrameClock();
        SeedParticleRandom(1);
    }
    void TearDown() override { ResetFrameClock(); }

    // An emitter that read `text` from a file and compiled it, both steps at once in this
    // thread, as the framework runs a load that is not in the background.
    EmitterPtr Loaded(const std::string& text, IHostSoundSystem* sound = nullptr) {
        std::ofstream("script.pes", std::ios::binary) << text;
        EmitterPtr emitter = std::make_unique<CParticleEmitter>(sound, nullptr, &callbacks_);
        Load(*emitter, u"script.pes");
        return emitter;
    }
    static void Load(CParticleEmitter& emitter, const std::u16string& path) {
        emitter.SetScriptPath(path);
        emitter.SetBackgroundLoaded(false);
        emitter.SetLoadState(CResource::LOADSTATE_LOADING);
        CResourceLoader::GetSingleton().PrepareResource(&emitter);
        CResourceLoader::GetSingleton().DecodeResource(&emitter);
    }

    TempWorkFolder folder_;
    FakeClock clock_{1000};
    STRU_FILE_CALLBACKS callbacks_ = DefaultFileCallbacks();
};

TEST_F(EmitterTest, BeamsAreAddedOrderedAndRemovedOnlyWhenTheirs) {
    EmitterPtr emitter = NewEmitter();
    EmitterPtr other = NewEmitter();
    CParticleBeam* b[4];
    for (CParticleBeam*& beam : b) beam = emitter->AddBeam();
    EXPECT_EQ(b[0]->GetTexture(), u"DATA/PARTICLE/SHAPE/8-BIT SHAPES/LEAF2.PNG");
    EXPECT_EQ(b[0]->GetSoundOwner(), emitter.get());
    auto order = [&] {
        std::string text;
        for (std::uint32_t i = 0; i < 4; ++i)
            text += static_cast<char>('0' + (std::find(b, b + 4, emitter->GetBeam(i)) - b));
        return text;
    };
    struct Move {
        bool (CParticleEmitter::*move)(std::uint32_t);
        std::uint32_t index;
        bool moved;
        const char* order;
    };
    const Move moves[] = {
        {&CParticleEmitter::MoveBeamUp, 0, false, "0123"},      {&CParticleEmitter::MoveBeamDown, 3, false, "0123"},
        {&CParticleEmitter::MoveBeamToFront, 0, false, "0123"}, {&CParticleEmitter::MoveBeamToBack, 3, false, "0123"},
        {&CParticleEmitter::MoveBeamUp, 9, false, "0123"},      {&CParticleEmitter::MoveBeamUp, 2, true, "0213"},
        {&CParticleEmitter::MoveBeamDown, 0, true, "2013"},     {&CParticleEmitter::MoveBeamToFront, 3, true, "3201"},
        {&CParticleEmitter::MoveBeamToBack, 1, true, "3012"},
    };
    for (const Move& m : moves) {
        EXPECT_EQ(((*emitter).*m.move)(m.index), m.moved) << m.order;
        EXPECT_EQ(order(), m.order);
    }
    EXPECT_EQ(emitter->GetBeamIndex(b[1]), 2);
    EXPECT_EQ(emitter->GetBeamIndex(nullptr), -1);
    EXPECT_EQ(emitter->GetBeam(4), nullptr);

    // Another emitter's beam is not destroyed through this one.
    CParticleBeam* foreign = other->AddBeam();
    EXPECT_FALSE(emitter->RemoveBeam(foreign));
    EXPECT_FALSE(emitter->RemoveBeam(nullptr));
    EXPECT_EQ(other->GetBeam(0), foreign);
    EXPECT_TRUE(emitter->RemoveBeam(b[0]));
    EXPECT_EQ(emitter->GetBeamCount(), 3);
    EXPECT_EQ(order().substr(0, 3), "312");
}

TEST_F(EmitterTest, SettingsReachEveryBeam) {
    EmitterPtr emitter = Compiled(Script("PARTICLEBEAM \"a\" { } PARTICLEBEAM \"b\" { }"));
    emitter->SetCoordinates(2);
    emitter->SetEmitStopped(1);
    for (std::uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(emitter->GetBeam(i)->GetCoordinates(), 2);
        EXPECT_EQ(emitter->GetBeam(i)->IsEmitStopped(), 1);
    }
    EXPECT_EQ(emitter->IsEmitStopped(), 1);
    EXPECT_EQ(emitter->AddBeam()->GetCoordinates(), 1) << "a new beam keeps its own";
}

TEST_F(EmitterTest, SoundsByNameTheirHostDataAndWhoMayRemoveThem) {
    hostsound::RecordingSoundSystem system;
    EmitterPtr emitter = NewEmitter(&system);
    EmitterPtr other = NewEmitter(&system);
    CParticleSound* b = emitter->AddSound(u"b");
    CParticleSound* a = emitter->AddSound(u"a");
    CParticleSound* upper = emitter->AddSound(u"B");
    b->SetFileName("b.wav");
    EXPECT_EQ(emitter->AddSound(u"b"), nullptr);
    EXPECT_EQ(emitter->AddSound(nullptr), nullptr);
    EXPECT_EQ(emitter->GetSoundAt(0), upper) << "byte order of the names";
    EXPECT_EQ(emitter->GetSoundAt(1), a);
    EXPECT_EQ(emitter->GetSoundAt(2), b);
    EXPECT_EQ(emitter->GetSoundAt(3), nullptr);
    EXPECT_EQ(emitter->AddSound(std::u16string(300, u'x').c_str())->GetName().size(), 255u);

    b->Set3D(true);
    b->SetMinDistance(5.0f);
    EXPECT_EQ(emitter->AcquireSound("b"), b);
    EXPECT_EQ(emitter->AcquireSound("b"), b);
    EXPECT_EQ(emitter->AcquireSound("none"), nullptr);
    EXPECT_EQ(system.Calls(), (Lines{"LoadSound(b.wav, 0x1000052) -> data 1", "data 1: Set3DDistances(5, 1000)",
                                     "data 1: SetOption(0)"}))
        << "loaded once";

    CParticleSound* namesake = other->AddSound(u"b");
    EXPECT_FALSE(emitter->RemoveSound(namesake)) << "another emitter's sound of the same name";
    EXPECT_FALSE(emitter->RemoveSound(nullptr));
    EXPECT_EQ(emitter->FindSound("b"), b);
    system.ClearCalls();
    EXPECT_TRUE(emitter->RemoveSound(b));
    EXPECT_EQ(system.Calls(), (Lines{"ReleaseSound(data 1)"}));
    EXPECT_EQ(emitter->FindSound("b"), nullptr);

    emitter->AcquireSound("a");
    system.ClearCalls();
    emitter.reset();
    EXPECT_EQ(system.Calls(), (Lines{"ReleaseSound(data 2)"})) << "the emitter's end releases what its sounds hold";
}

TEST_F(EmitterTest, UpdateRunsOncePerFrameOnTheFrameClockOnceLoaded) {
    EmitterPtr unloaded = Compiled(Script("PARTICLEBEAM \"b\" { }"));
    unloaded->Update(1, 0, 0, 0, 0, 0, 1.0f);
    EXPECT_EQ(unloaded->GetStartTime(), 0.0f) << "a script that has not loaded is not played";

    EmitterPtr emitter = Loaded(Script("POSITION = XYZ(5,6,0) EMITTERRATE = 2 PARTICLEBEAM \"b\" { ISANIM = TRUE }"));
    ASSERT_TRUE(emitter->IsLoaded());
    CParticleBeam& beam = *emitter->GetBeam(0);
    emitter->Update(1, 10, 20, 0, 0, 0, 1.0f);
    EXPECT_EQ(beam.State().frameCounter, 0) << "nothing while the frame clock reads 0";

    TickFrameClock(clock_, 16);
    emitter->Update(2, 10, 20, 0, 0, 0, 1.0f);
    EXPECT_EQ(emitter->GetStartTime(), g_FrameTime) << "the first update starts the life";
    EXPECT_FLOAT_EQ(beam.State().frameAccumulator, 0.0001f) << "and moves by 0.0001 s";
    EXPECT_EQ(beam.GetTimeScale(), 2.0f);
    EXPECT_TRUE(beam.AreAnimCellsBuilt());
    emitter->Update(2, 10, 20, 0, 0, 0, 1.0f);
    EXPECT_FLOAT_EQ(beam.State().frameAccumulator, 0.0001f) << "the same frame id again does nothing";

    TickFrameClock(clock_, 32);
    emitter->Update(3, 10, 20, 0, 0, 0, 1.0f);
    EXPECT_NEAR(beam.State().frameAccumulator, 0.0321f, 1e-5f);
    TickFrameClock(clock_, 16);
    emitter->Restart();
    TickFrameClock(clock_, 16);
    emitter->Update(4, 10, 20, 0, 0, 0, 1.0f);
    EXPECT_EQ(beam.State().frameCounter, 0) << "the third update is a tick";
    EXPECT_NEAR(beam.State().beamClock, 0.0481f, 1e-5f) << "the last update moved by the time since the restart";
}

TEST_F(EmitterTest, ParticlesStartAtTheDrawPositionPlusTheCurrentPosition) {
    EmitterPtr emitter = Loaded(Script(
        "POSITION = XYZ(5,6,7) PARTICLEBEAM \"b\" { NUMPARTICLES = 1 EMITRAND = TRUE ATTACHEDTOEMITTER = TRUE }"));
    TickFrameClock(clock_, 16);
    emitter->Update(1, 100, 200, 0, 0, 0, 1.0f);
    const std::vector<CParticle*> particles = LiveParticles(*emitter->GetBeam(0));
    ASSERT_EQ(particles.size(), 1u);
    EXPECT_EQ(particles[0]->emitterPosition.x, 105.0f);
    EXPECT_EQ(particles[0]->emitterPosition.y, 206.0f);
    EXPECT_EQ(particles[0]->emitterPosition.z, 7.0f);
}

TEST_F(EmitterTest, LifeCountsFromTheStartOnTheFrameClock) {
    EmitterPtr emitter = NewEmitter();
    EXPECT_TRUE(emitter->IsAlive()) << "endless";
    emitter->SetEmitterLife(5.0f);
    EXPECT_FALSE(emitter->IsAlive()) << "never started";
    TickFrameClock(clock_, 0);
    emitter->ResetStartTime();
    EXPECT_EQ(emitter->GetStartTime(), 1.0f);
    EXPECT_TRUE(emitter->IsAlive());
    TickFrameClock(clock_, 4990);
    EXPECT_TRUE(emitter->IsAlive());
    TickFrameClock(clock_, 10);
    EXPECT_FALSE(emitter->IsAlive()) << "five seconds on";
    emitter->SetEmitterLife(0.5f);
    emitter->ResetStartTime();
    TickFrameClock(clock_, 600);
    EXPECT_FALSE(emitter->IsAlive()) << "a life shorter than a second ends in its time";
}

TEST_F(EmitterTest, ATrackRectangleLaysTheBeamsOnItsEdges) {
    EmitterPtr emitter = Loaded(Script(
        "PARTICLEBEAM \"a\" { NUMPARTICLES = 4 LIFETIME = RANDOM(1,2) PARTICLE {\n"
        "  INITIAL VELOCITY = XYZ(RANDOM(40,60),0,0) AT 0.2 VELOCITY = XYZ(0,50,0)\n"
        "  AT 0.4 VELOCITY = XYZ(-50,0,0) AT 0.6 VELOCITY = XYZ(0,-50,0) } }\n"
        "PARTICLEBEAM \"b\" { ATTACHEDTOEMITTER = FALSE PARTICLE { INITIAL VELOCITY = XYZ(0,0,0) } }\n"
        "PARTICLEBEAM \"c\" { EMITRADIUS = XYZ(1,2,3) }"));
    emitter->SetRect(200, 100);
    TickFrameClock(clock_, 16);
    emitter->Update(1, 0, 0, 0, 0, 0, 1.0f);
    CParticleBeam& a = *emitter->GetBeam(0);
    EXPECT_EQ(a.GetEmitRadius()->min.x, -100.0f);
    EXPECT_EQ(a.GetEmitRadius()->max.y, -50.0f);
    EXPECT_EQ(emitter->GetBeam(1)->GetEmitRadius()->min.x, 100.0f);
    EXPECT_EQ(emitter->GetBeam(1)->GetEmitRadius()->max.y, 50.0f);
    EXPECT_EQ(emitter->GetBeam(2)->GetEmitRadius()->max.z, 3.0f) << "later beams keep theirs";
    EXPECT_EQ(emitter->GetBeam(1)->GetAttachedToEmitter(), 1);
    // Around the perimeter of 600 at the first velocity's lap time of 2 x 100.
    EXPECT_EQ(a.GetLifeTime()->min, 3.0f);
    EXPECT_EQ(a.GetLifeTime()->max, 6.0f);
    EXPECT_EQ(a.GetNumParticles(), 12);
    IParticleEventSet* velocities = a.GetEventSet(18);
    const float times[] = {0.0f, 100.0f / 600.0f, 300.0f / 600.0f, 400.0f / 600.0f};
    ASSERT_EQ(velocities->GetEventCount(), 4);
    for (std::int32_t j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(velocities->GetEvent(j)->GetTime(), times[j]) << j;
    // A velocity that goes nowhere has no lap to scale to.
    EXPECT_EQ(emitter->GetBeam(1)->GetLifeTime()->max, 1.0f);
    EXPECT_EQ(a.GetBaseLifeTime().max, 2.0f) << "what was authored stays";
}

TEST_F(EmitterTest, TheSameTrackRectangleGivenAgainGivesTheSameBeam) {
    // A lap of 2 x 100 around a perimeter of 300: lifetime and count x 1.5.
    EmitterPtr emitter = Loaded(Script(
        "PARTICLEBEAM \"a\" { NUMPARTICLES = 10 LIFETIME = 2 PARTICLE {\n"
        "  INITIAL VELOCITY = XYZ(50,0,0) AT 0.5 VELOCITY = XYZ(-50,0,0) } }"));
    CParticleBeam& beam = *emitter->GetBeam(0);
    for (std::uint32_t frame = 1; frame <= 3; ++frame) {
        emitter->SetRect(100, 50);
        TickFrameClock(clock_, 16);
        emitter->Update(frame, 0, 0, 0, 0, 0, 1.0f);
        EXPECT_EQ(beam.GetLifeTime()->min, 3.0f) << "layout " << frame;
        EXPECT_EQ(beam.GetLifeTime()->max, 3.0f) << "layout " << frame;
        EXPECT_EQ(beam.GetNumParticles(), 15) << "layout " << frame;
    }
}

TEST_F(EmitterTest, AScriptFileIsReadIntoAPowerOfTwoBufferThatIsKept) {
    const std::string body = Script("PARTICLEBEAM \"b\" { }");
    std::string text = body + std::string(1024 - body.size(), ' ');
    EmitterPtr emitter = Loaded(text);
    EXPECT_EQ(emitter->GetLoadingState(), CResource::LOADSTATE_LOADED);
    EXPECT_EQ(emitter->GetBufferCapacity(), 2048u) << "1024 bytes and the terminator";
    std::ofstream("small.pes", std::ios::binary) << body;
    Load(*emitter, u"small.pes");
    EXPECT_EQ(emitter->GetBufferCapacity(), 2048u) << "kept";
    EXPECT_EQ(emitter->GetBeamCount(), 2) << "a second compile appends";

    // 10 MiB of script: read and compiled like any other.
    std::string large = Script("PARTICLEBEAM \"big\" { }") + "\n//" + std::string(10u << 20, 'x');
    EmitterPtr big = Loaded(large);
    EXPECT_EQ(big->GetLoadingState(), CResource::LOADSTATE_LOADED);
    EXPECT_EQ(big->GetBufferCapacity(), 16u << 20);
}

// A file callback set whose file claims 100 MiB; nothing may be read.
std::int32_t HugeOpen(const WCHAR*, std::int32_t* size, LumiFileHandle* file) {
    *size = 100 << 20;
    *file = reinterpret_cast<LumiFileHandle>(1);
    return 0;
}
std::int32_t NoClose(LumiFileHandle) { return 0; }
std::int32_t NoRead(LumiFileHandle, void*, std::int32_t, std::int32_t*) {
    ADD_FAILURE() << "read";
    return -1;
}

TEST_F(EmitterTest, AScriptThatCannotBeReadOrCompiledEndsItsLoadEmpty) {
    EmitterPtr empty = Loaded("");
    EXPECT_EQ(empty->GetLoadingState(), CResource::LOADSTATE_FAILED);
    EXPECT_TRUE(empty->IsLoaded()) << "the load has ended";
    EXPECT_EQ(empty->GetCompileError(), "This script is too small to be valid.");

    EmitterPtr missing = std::make_unique<CParticleEmitter>(nullptr, nullptr, &callbacks_);
    Load(*missing, u"no/such/script.pes");
    EXPECT_EQ(missing->GetLoadingState(), CResource::LOADSTATE_FAILED);
    EXPECT_EQ(missing->GetBeamCount(), 0);

    EmitterPtr noCallbacks = NewEmitter();
    Load(*noCallbacks, u"script.pes");
    EXPECT_EQ(noCallbacks->GetLoadingState(), CResource::LOADSTATE_FAILED);

    const STRU_FILE_CALLBACKS huge{&HugeOpen, &NoClose, &NoRead, callbacks_.Seek};
    EmitterPtr tooLarge = std::make_unique<CParticleEmitter>(nullptr, nullptr, &huge);
    Load(*tooLarge, u"huge.pes");
    EXPECT_EQ(tooLarge->GetLoadingState(), CResource::LOADSTATE_FAILED);
    EXPECT_EQ(tooLarge->GetBufferCapacity(), 0u);

    std::ofstream("script.pes", std::ios::binary) << Script("");
    EmitterPtr noMemory = std::make_unique<CParticleEmitter>(nullptr, nullptr, &callbacks_);
    tarnel::FailNextAllocations(1);
    Load(*noMemory, u"script.pes");
    tarnel::FailNextAllocations(0);
    EXPECT_EQ(noMemory->GetLoadingState(), CResource::LOADSTATE_FAILED);
    EXPECT_EQ(noMemory->GetBufferCapacity(), 0u);
}

}  // namespace
}  // namespace lumi::test
