// Compiling scripts into an emitter: each block parser's messages, what a failed compile
// keeps, what a successful one replaces and appends, and values as the beams receive them.
#include <gtest/gtest.h>

#include <string>

#include "particle/particle_event_kinds.h"
#include "particle/beam_event_kinds.h"
#include "tests/particle/emitter_test_support.h"
#include "tests/particle/particle_test_support.h"

namespace lumi::test {
namespace {

std::string CompileError(const std::string& text) {
    EmitterPtr emitter = NewEmitter();
    EXPECT_FALSE(emitter->Compile(text.c_str())) << text;
    return emitter->GetCompileError();
}

std::string Beam(const std::string& body) { return Script("PARTICLEBEAM \"b\" {\n" + body + "\n}"); }

TEST(ScriptCompile, EachBlockReportsItsErrorsWithTheFormatsMessages) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        // The header.
        {"", "This script is too small to be valid."},
        {"PARTICLEEMITTER", "This script is too small to be valid."},
        {"BEAM \"x\" 1 { }", "First word must be ParticleEmitter"},
        {"particleemitter x 1 { }", "Must name particle system"},
        {"PARTICLEEMITTER \"x\" RANDOM(1,2) { }", "Must have version number"},
        {"PARTICLEEMITTER \"x\" 1 POSITION", "Missing opening brace for ParticleSystem block"},
        {"PARTICLEEMITTER \"x\" 1 {", "Unexpected end-of-file."},
        // The system block.
        {Script("POSITION XYZ(1,2,3)"), "Expected equals sign!"},
        {Script("POSITION=XYZ(1,2,3)"), "Unexpected \"POSITION=XYZ\" in Particle System Block!"},
        {Script("PARTICLEBEAM \"b\" { } EMITTERLIFE = 2"),
         "Cannot specify any particle emitter properties after specifying particle beam."},
        {Script("COORDINATES = COORDS_4D"), "Invalid coordiantes type!"},
        {Script("Loops = 3"), "Unexpected \"LOOPS\" in Particle System Block!"},
        // The sound block.
        {Script("Sound boom { }"), "Must sound name block!"},
        {Script("Sound \"boom\" SOUNDFILE"), "Expected opening brace for sound block!"},
        {Script("Sound \"boom\" { SOUNDVOLUME 1 }"), "Expected equals sign!"},
        {Script("Sound \"boom\" { SOUND3D = 1 }"), "Expecting boolean."},
        {Script("Sound \"boom\" { LIFETIME = 1 }"), "Unexpected \"LIFETIME\" in Sound Block!"},
        // The beam block.
        {Script("PARTICLEBEAM b { }"), "Must name particle beam block!"},
        {Script("PARTICLEBEAM \"b\" PARTICLE"), "Expected opening brace for particle beam block!"},
        {Beam("LIFETIME 2"), "Expected equals sign!"},
        {Beam("LOOPS = 3"), "Unknown particle beam numeric property!"},
        {Beam("TEXTURE = soft.png"), "Expected filename after texture property."},
        {Beam("SOURCEBLENDMODE = D3DBLEND_FOO"), "Invalid alpha blending mode!"},
        {Beam("AT 1 NUMPARTICLES = 2\nLIFETIME = 1"),
         "Cannot specify any particle beam properties after specifying events."},
        {Beam("SIZE = 2"), "Unexpected \"SIZE\" in Sequence Block!"},
        {Beam("PLAYSOUND = \"boom\""), "Unexpected \"PLAYSOUND\" in Sequence Block!"},
        {Beam("AT 1 SIZE = 2"), "Unknown event type, or there was an error creating this event."},
        {Beam("FADE SO AT 1 EVENTTIMER = 2"), "Fading is not supported on this event."},
        {Beam("FADE AT 1 EMITSPEED = 2"), "Expecting \"so\" after \"fade\"."},
        {Beam("AT 1 NUMPARTICLES 2"), "Expecting = after property."},
        {"PARTICLEEMITTER \"x\" 1 { PARTICLEBEAM \"b\" { AT 1", "Unexpected end-of-file."},
        // The particle block.
        {Beam("PARTICLE SIZE"), "Expected opening brace for particle block!"},
        {Beam("PARTICLE { SIZE = 1 }"), "Unexpected \"SIZE\" in Particle Block!"},
        {Beam("PARTICLE { AT 0.5 LIFETIME = 1 }"), "Expecting particle property after time specifier!"},
        {Beam("PARTICLE { AT 0.5 BEAMPOS = XYZ(0,0,0) }"),
         "Unknown event type, or there was an error creating this event."},
        {Beam("PARTICLE { FADE SO INITIAL SIZE = 1 }"), "Cannot use \"fade so\" modifier on \"initial\" times."},
        {Beam("PARTICLE { FADE SO AT 0.5 EVENTTIMER = 1 }"), "Fading is not supported on this event."},
        {Beam("PARTICLE { INITIAL COLOR = RGB(1,2) }"), "Color components must be seperated by a comma."},
    };
    for (const Case& c : cases) EXPECT_EQ(CompileError(c.text), c.message) << c.text;

    // A token can be the rest of the file; the message keeps 255 characters of it.
    const std::string message = CompileError(Script("\"" + std::string(400, 'a')));
    EXPECT_EQ(message.size(), 255u);
    EXPECT_EQ(message.rfind("Unexpected \"\"aaa", 0), 0u) << message;
}

TEST(ScriptCompile, AFailedCompileKeepsWhatItMadeAndResetsTheHeaderValues) {
    EmitterPtr emitter = NewEmitter();
    const std::string text = Script(
        "POSITION = XYZ(1,2,3)\nEMITTERLIFE = 4\n"
        "Sound \"a\" { SOUNDVOLUME = 0.5 }\n"
        "PARTICLEBEAM \"first\" { CIRCLEBEAM = TRUE }\n"
        "PARTICLEBEAM \"second\" { LIFETIME = 2 BOGUS }\n"
        "Sound \"b\" { }");
    ASSERT_FALSE(emitter->Compile(text.c_str()));
    EXPECT_EQ(emitter->GetCompileError(), "Unexpected \"BOGUS\" in Sequence Block!");
    ASSERT_EQ(emitter->GetBeamCount(), 1) << "the beam whose block failed is not attached";
    EXPECT_EQ(emitter->GetBeam(0)->GetName(), u"first");
    ASSERT_EQ(emitter->GetSoundCount(), 1);
    EXPECT_EQ(emitter->GetSoundAt(0)->GetName(), "a");
    EXPECT_EQ(emitter->GetName(), u"");
    EXPECT_EQ(emitter->GetPosition()->max.y, 0.0f);
    EXPECT_EQ(emitter->GetCurPosition()[0], 0.0f);
    EXPECT_FALSE(emitter->HasCircleBeam());
    EXPECT_EQ(emitter->GetEmitterLife(), 4.0f) << "values set before the error stay";

    // The next compile appends to what is there.
    ASSERT_TRUE(emitter->Compile(Script("POSITION = XYZ(5,6,7) PARTICLEBEAM \"third\" { } Sound \"a\" { }").c_str()));
    EXPECT_EQ(emitter->GetName(), u"test");
    ASSERT_EQ(emitter->GetBeamCount(), 2);
    EXPECT_EQ(emitter->GetBeam(1)->GetName(), u"third");
    EXPECT_EQ(emitter->GetSoundCount(), 1);
    EXPECT_EQ(emitter->GetCurPosition()[2], 7.0f);
    EXPECT_EQ(emitter->GetCompileError(), "Unexpected \"BOGUS\" in Sequence Block!") << "the last failure's";
}

TEST(ScriptCompile, HeaderAndSystemValues) {
    SeedParticleRandom(7);
    EmitterPtr emitter = Compiled(
        "particleemitter \"Name\" 2.5 {\n"
        "  POSITION = XYZ(RANDOM(-5,5),2,3)\n"
        "  COORDINATES = COORDS_3D\n"
        "  EMITTERLIFE = RANDOM(2,5)\n"
        "  EMITTERRATE = 0.5\n"
        "  Sound \"late\" { }\n"
        "  PARTICLEBEAM \"b\" { }\n"
        "  Sound \"later\" { }\n"
        "} anything after the block is ignored {");
    EXPECT_EQ(emitter->GetName(), u"Name");
    EXPECT_EQ(emitter->GetVersion(), 2.5f);
    EXPECT_EQ(emitter->GetCoordinates(), 2);
    EXPECT_EQ(emitter->GetEmitterLife(), 5.0f) << "the range's max";
    EXPECT_EQ(emitter->GetEmitterRate(), 0.5f);
    EXPECT_EQ(emitter->GetPosition()->min.x, -5.0f);
    EXPECT_EQ(emitter->GetPosition()->max.x, 5.0f);
    const float x = emitter->GetCurPosition()[0];
    EXPECT_TRUE(x >= -5.0f && x <= 5.0f) << x;
    EXPECT_EQ(emitter->GetPosition()->value.x, x) << "the draw is kept in the range";
    EXPECT_EQ(emitter->GetCurPosition()[1], 2.0f);
    EXPECT_EQ(emitter->GetBeam(0)->GetCoordinates(), 2) << "a beam takes the emitter's coordinates";
    EXPECT_EQ(emitter->GetSoundCount(), 2) << "sound blocks may follow beams";
}

TEST(ScriptCompile, ADuplicateSoundBlockIsDroppedWithoutTouchingTheFirst) {
    EmitterPtr emitter = Compiled(Script(
        "Sound \"boom\" { SOUNDFILE = \"a.wav\" SOUNDVOLUME = 0.5 SOUND3D = TRUE SOUNDMINDISTANCE = 10 }\n"
        "Sound \"boom\" { SOUNDFILE = \"b.wav\" SOUNDVOLUME = 0.9 SOUND3D = FALSE SOUNDMAXDISTANCE = 20 "
        "PLAYSOUND = anything }"));
    ASSERT_EQ(emitter->GetSoundCount(), 1);
    CParticleSound* sound = emitter->GetSoundAt(0);
    EXPECT_EQ(sound->GetFileName(), u"a.wav");
    EXPECT_EQ(sound->GetVolume(), 0.5f);
    EXPECT_TRUE(sound->Get3D());
    EXPECT_EQ(sound->GetMinDistance(), 10.0f);
    EXPECT_EQ(sound->GetMaxDistance(), 1000.0f);
}

TEST(ScriptCompile, BeamPropertiesReachTheBeam) {
    EmitterPtr emitter = Compiled(Beam(
        "TEXTURE = \"fx\\Spark.png\" NUMPARTICLES = RANDOM(3,7.9) LIFETIME = RANDOM(2,1) EMITRATE = 4\n"
        "EMITANGLE = RANDOM(10,20) EMITSPEED = 30 EMITRADIUS = XYZ(1,RANDOM(2,3),4) GRAVITY = XYZ(0,9,0)\n"
        "SPAWNDIR = XYZ(0,1,0) DELAYTIMER = RANDOM(1,1.5) TRACKCOUNT = 65537.9 TRACKINDEX = 3 TRACKTIME = 0.2\n"
        "ANIMROW = 2 ANIMCOW = 3 ANIMACTUALCOUNT = 5 ANIMSIZE = 96 ANIMTIMES = 0.1 STARTANIMINDEX = 257\n"
        "ANIMTIME_2 = random(2,0.25) ANIMTIME_4 = 0.5 ANIMTIME_9 = RANDOM(-1,0.7)\n"
        "SOURCEBLENDMODE = D3DBLEND_ONE DESTBLENDMODE = D3DBLEND_ZERO COLOROP = D3DTOP_ADD ALPHAOP = D3DTOP_DISABLE\n"
        "BLENDOP = D3DBLENDOP_MAX PARTICLEMODE = PM_POINTSPRITE PARTICLEANGLETYPE = PAT_ALIGNTOMOTION\n"
        "MUZZLESHAPE = MS_AREA CHGMODE = CHG_MODE_NUM_LIFE REFPOINT = UV(0.25,1)\n"
        "SINGLEPARTICLE = TRUE ISANIM = TRUE TRACKMODE = TRUE TRACKRAND = FALSE CIRCLEBEAM = TRUE\n"
        "FLIPX = TRUE FLIPY = TRUE LOCKASPECT = FALSE ATTACHEDTOEMITTER = FALSE EMITRAND = TRUE CIRCLEPLAY = FALSE\n"
        "PARTICLE { INITIAL SIZE = 1 }\n"
        "EMITSPEED = 31"));
    CParticleBeam& beam = *emitter->GetBeam(0);
    EXPECT_EQ(beam.GetTexture(), u"FX/SPARK.PNG");
    EXPECT_EQ(beam.GetNumParticles(), 7) << "the max, truncated";
    EXPECT_EQ(beam.GetLifeTime()->min, 2.0f) << "as written";
    EXPECT_EQ(beam.GetLifeTime()->max, 1.0f);
    EXPECT_EQ(beam.GetEmitRate()->max, 4.0f);
    EXPECT_EQ(beam.GetEmitAngle()->min, 10.0f);
    EXPECT_EQ(beam.GetEmitSpeed()->max, 31.0f) << "a property after a PARTICLE block is taken";
    EXPECT_EQ(beam.GetEmitRadius()->max.y, 3.0f);
    EXPECT_EQ(beam.GetGravity()->min.y, 9.0f);
    EXPECT_EQ(beam.GetDelayTimer(), 1.5f);
    EXPECT_EQ(beam.GetTrackCount(), 1) << "the low 16 bits";
    EXPECT_EQ(beam.GetTrackIndex(), 3);
    EXPECT_EQ(beam.GetTrackTime(), 0.2f);
    EXPECT_EQ(beam.GetAnimRow(), 2);
    EXPECT_EQ(beam.GetAnimCow(), 3);
    EXPECT_EQ(beam.GetAnimActualCount(), 5);
    EXPECT_EQ(beam.GetAnimSize(), 96);
    EXPECT_EQ(beam.GetAnimTimes(), 0.1f);
    EXPECT_EQ(beam.GetStartAnimIndex(), 1) << "the low 8 bits";
    EXPECT_EQ(beam.GetAnimTime(2), 0.25f) << "the cell from the pair's first number";
    EXPECT_EQ(beam.GetAnimTime(0), 0.5f) << "one number names cell 0 (and 4 is not read from the keyword)";
    EXPECT_EQ(beam.GetAnimTime(4), 0.1f);
    EXPECT_EQ(beam.GetSourceBlendMode(), 2);
    EXPECT_EQ(beam.GetDestBlendMode(), 1);
    EXPECT_EQ(beam.GetColorOp(), 7);
    EXPECT_EQ(beam.GetAlphaOp(), 1);
    EXPECT_EQ(beam.GetBlendOp(), 5);
    EXPECT_EQ(beam.GetParticleMode(), PM_POINTSPRITE);
    EXPECT_EQ(beam.GetParticleAngleType(), PAT_ALIGNTOMOTION);
    EXPECT_EQ(beam.GetMuzzleShape(), MS_AREA);
    EXPECT_EQ(beam.GetChgMode(), CHG_MODE_NUM_LIFE);
    EXPECT_EQ(beam.GetRefPoint()[0], 0.25f);
    EXPECT_EQ(beam.GetRefPoint()[1], 1.0f);
    const std::uint8_t flags[] = {beam.GetSingleParticle(), beam.GetIsAnim(), beam.GetTrackMode(),
                                  beam.GetCircleBeam(),     beam.GetFlipX(),  beam.GetFlipY(),
                                  beam.GetEmitRand()};
    for (std::uint8_t flag : flags) EXPECT_EQ(flag, 1);
    EXPECT_EQ(beam.GetTrackRand(), 0);
    EXPECT_EQ(beam.GetLockAspect(), 0);
    EXPECT_EQ(beam.GetAttachedToEmitter(), 0);
    EXPECT_EQ(beam.GetCirclePlay(), 0);
    EXPECT_TRUE(emitter->HasCircleBeam());
}

TEST(ScriptCompile, EventLinesGetTheirTimesFadesAndValues) {
    SeedParticleRandom(3);
    EmitterPtr emitter = Compiled(Beam(
        "AT RANDOM(0.6,0.2) EMITSPEED = 10\n"
        "FADE SO FINAL NUMPARTICLES = 4\n"
        "AT 0.5 PLAYSOUND = \"boom\"\n"
        "PARTICLE {\n"
        "  AT 2 SIZE = 3\n"
        "  FADE SO AT RANDOM(0.6,0.2) ALPHA = 0.5\n"
        "  INITIAL COLOR = RGB(1,0.5,0)\n"
        "  AT 0.5 VELOCITY = XYZ(1,2,3)\n"
        "}"));
    CParticleBeam& beam = *emitter->GetBeam(0);
    auto* speed = static_cast<CParticleBeamEvent_EmitSpeed*>(EventsOf(beam, 2).at(0));
    EXPECT_EQ(speed->TimeRange().min, 0.2f);
    EXPECT_EQ(speed->TimeRange().max, 0.6f);
    EXPECT_TRUE(speed->GetEffectiveTime() >= 0.2f && speed->GetEffectiveTime() <= 0.6f);
    EXPECT_EQ(speed->Value().max, 10.0f);
    CEventBase* count = EventsOf(beam, 1).at(0);
    EXPECT_EQ(count->TimeRange().min, 9999.0f) << "FINAL of a beam event";
    EXPECT_TRUE(count->GetFade());
    EXPECT_EQ(count->GetTimeKind(), kEventTimeFinal);
    auto* play = static_cast<CParticleBeamEvent_PlaySound*>(EventsOf(beam, 4).at(0));
    EXPECT_EQ(play->GetSoundName(), "boom");

    CEventBase* size = EventsOf(beam, 7).at(0);
    EXPECT_EQ(size->TimeRange().min, 1.0f) << "held inside a particle's life";
    EXPECT_EQ(size->GetEffectiveTime(), 1.0f);
    CEventBase* alpha = EventsOf(beam, 13).at(0);
    EXPECT_EQ(alpha->TimeRange().min, 0.2f);
    EXPECT_TRUE(alpha->GetFade());
    auto* color = static_cast<CParticleEvent_Color*>(EventsOf(beam, 14).at(0));
    EXPECT_EQ(color->GetTimeKind(), kEventTimeInitial);
    EXPECT_EQ(color->Value().min.a, kColorKeepAlpha);
    auto* velocity = static_cast<CParticleEvent_Velocity*>(EventsOf(beam, 18).at(0));
    EXPECT_EQ(velocity->Value().max.z, 3.0f);
    // The lists are sorted when the block ends.
    const std::vector<CParticleEvent*>& chains = beam.GetParticleEvents();
    for (std::size_t i = 1; i < chains.size(); ++i)
        EXPECT_LE(chains[i - 1]->GetEffectiveTime(), chains[i]->GetEffectiveTime());
}

}  // namespace
}  // namespace lumi::test
