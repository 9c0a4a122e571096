// The legacy script language: its token kinds, what its reader refuses and takes, the order
// its writer writes a beam in, and the round trip of the legacy corpus (tests/legacy/scripts).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "particle/script_lexer.h"
#include "particle/script_token_kinds.h"
#include "tests/particle/emitter_test_support.h"
#include "tests/support/work_folder.h"

namespace lumi::test {
namespace {

TEST(LegacyScriptLexer, KindsOfTheLegacyTable) {
    const struct {
        const char* text;
        std::int32_t kind;
    } rows[] = {
        {"12", 1},           {"=", 2},          {"\"a\"", 8},           {"ParticleEmitter", 9},
        {"ParticleBeam", 10}, {"Particle", 11},  {"RANDOM", 12},         {"XYZ", 13},
        {"UV", 14},          {"RGB", 15},       {"RGBA", 16},           {"TEXTURE", 17},
        {"REFPOINT", 18},    {"TRUE", 19},      {"FALSE", 20},          {"POSITION", 21},
        {"COORDINATES", 22}, {"COORDS_2D", 23}, {"SOURCEBLENDMODE", 24}, {"ALPHAOP", 25},
        {"BLENDOP", 26},     {"LIFETIME", 27},  {"LOOPS", 27},          {"GRAVITY", 28},
        {"FLIPX", 29},       {"PARTICLEMODE", 30}, {"PARTICLEANGLETYPE", 31}, {"MUZZLESHAPE", 32},
        {"D3DBLEND_ONE", 33}, {"D3DTOP_ADD", 34}, {"D3DBLENDOP_ADD", 35}, {"PM_BILLBOARD", 36},
        {"PAT_SPECIFY", 37}, {"MS_POINT", 38},  {"FADE", 39},           {"SO", 40},
        {"AT", 41},          {"INITIAL", 42},   {"FINAL", 43},          {"SPIN", 44},
        {"MOTIONANGLE", 44}, {"ANIMSIZE", 44},  {"VELOCITYX", 45},      {"REDCOLOR", 46},
        {"ALPHA", 46},       {"DELAYTIMER", 47}, {"EMITTERLIFE", 47},   {"SOUNDFILE", 47},
        {"BEAMPOS", 47},     {"CHGMODE", 47},   {"CIRCLEPLAY", 47},     {"SOUND", 47},
        {"ISANIM", 47},      {"SOX", 47},
    };
    for (const auto& row : rows) {
        script_token_t token{row.text, 0};
        ClassifyToken(token);
        EXPECT_EQ(token.type, row.kind) << row.text;
    }
}

TEST(LegacyScriptReader, RefusesWhatOnlyTheCurrentLanguageHas) {
    const struct {
        const char* body;
        const char* message;
    } rows[] = {
        {"EMITTERLIFE = 5", "Unexpected \"EMITTERLIFE\" in Particle System Block!"},
        {"Sound \"s\" { }", "Unexpected \"SOUND\" in Particle System Block!"},
        {"PARTICLEBEAM \"b\" { AT 0.5 EMITANGLE = 10 }",
         "Unknown event type, or there was an error creating this event."},
        {"PARTICLEBEAM \"b\" { AT 1 TEXTURE = \"x.png\" }", "Expecting particle beam property after time specifier!"},
        {"PARTICLEBEAM \"b\" { LOOPS = 2 }", "Unknown particle beam numeric property!"},
        {"PARTICLEBEAM \"b\" { CHGMODE = CHG_MODE_NONE }", "Unexpected \"CHGMODE\" in Sequence Block!"},
        {"PARTICLEBEAM \"b\" { AT 1 BEAMPOS = XYZ(0,0,0) }", "Expecting particle beam property after time specifier!"},
        {"PARTICLEBEAM \"b\" { }\nPOSITION = XYZ(0,0,0)",
         "Cannot specify any particle emitter properties after specifying particle beam."},
    };
    for (const auto& row : rows) {
        EmitterPtr emitter = NewEmitter();
        EXPECT_FALSE(emitter->Compile(Script(row.body).c_str())) << row.body;
        EXPECT_EQ(emitter->GetCompileError(), row.message) << row.body;
    }
}

TEST(LegacyScriptReader, MotionAngleIsAnAngleEvent) {
    EmitterPtr emitter = Compiled(Script("PARTICLEBEAM \"b\" { PARTICLE { AT 0.5 MOTIONANGLE = 30 } }"));
    ASSERT_EQ(emitter->GetBeamCount(), 1);
    EXPECT_EQ(EventsOf(*emitter->GetBeam(0), 16).size(), 1u);
}

TEST(LegacyScriptWriter, WritesABeamInTheLegacyOrder) {
    TempWorkFolder folder;
    EmitterPtr emitter = Compiled(Script(
        "PARTICLEBEAM \"b\" { TEXTURE = \"Dots/A.png\"\n PARTICLE { AT 0.5 VELOCITY = XYZ(1,2,3) }\n"
        " AT 2 EMITSPEED = 4 }"));
    ASSERT_TRUE(emitter->Save(u"out.pes"));
    // The first word of every line, in order.
    std::istringstream text(ReadTextFile("out.pes"));
    std::vector<std::string> words;
    for (std::string line; std::getline(text, line);) {
        std::istringstream fields(line);
        std::string word;
        if (fields >> word) words.push_back(word);
    }
    const std::vector<std::string> expected = {
        "PARTICLEEMITTER", "{", "POSITION", "COORDINATES", "PARTICLEBEAM", "{", "SOURCEBLENDMODE",
        "DESTBLENDMODE", "BLENDOP", "PARTICLEMODE", "PARTICLEANGLETYPE", "MUZZLESHAPE", "ALPHAOP", "COLOROP",
        "SINGLEPARTICLE", "CIRCLEBEAM", "ATTACHEDTOEMITTER", "FLIPX", "FLIPY", "LOCKASPECT", "EMITRAND",
        "NUMPARTICLES", "EMITRATE", "EMITRADIUS", "LIFETIME", "GRAVITY", "EMITANGLE", "EMITSPEED", "TEXTURE",
        "REFPOINT", "PARTICLE", "{", "AT", "}", "AT", "}", "}"};
    EXPECT_EQ(words, expected);
    const std::string saved = ReadTextFile("out.pes");
    EXPECT_NE(saved.find("AT 0.500 VELOCITY = XYZ(1,2,3)"), std::string::npos) << saved;
    EXPECT_NE(saved.find("AT 2 EMITSPEED = 4"), std::string::npos) << saved;
    EXPECT_NE(saved.find("TEXTURE = \"Dots/A.png\""), std::string::npos) << "the name as given";
}

// Compile, save, compile: the same emitter, saved to the same text.
TEST(LegacyScriptCorpus, EveryScriptSurvivesARoundTrip) {
    TempWorkFolder folder;
    const std::vector<std::string> names = CorpusNames();
    ASSERT_GE(names.size(), 5u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        SeedParticleRandom(3);
        EmitterPtr first = Compiled(CorpusScript(name));
        ASSERT_TRUE(first->Save(u"first.pes"));
        const std::string firstText = ReadTextFile("first.pes");
        EmitterPtr second = Compiled(firstText);
        ASSERT_TRUE(second->Save(u"second.pes"));
        EXPECT_EQ(ReadTextFile("second.pes"), firstText);
        ASSERT_EQ(first->GetBeamCount(), second->GetBeamCount());
        for (std::int32_t b = 0; b < first->GetBeamCount(); ++b) {
            CParticleBeam& a = *first->GetBeam(static_cast<std::uint32_t>(b));
            CParticleBeam& c = *second->GetBeam(static_cast<std::uint32_t>(b));
            EXPECT_EQ(a.GetName(), c.GetName());
            EXPECT_EQ(a.GetTexture(), c.GetTexture());
            for (std::int32_t kind = 0; kind < kEventKindCount; ++kind)
                EXPECT_EQ(EventsOf(a, kind).size(), EventsOf(c, kind).size()) << "kind " << kind;
        }
    }
}

TEST(LegacyScriptCorpus, HoldsEveryEventKind) {
    std::vector<bool> seen(kEventKindCount, false);
    for (const std::string& name : CorpusNames()) {
        EmitterPtr emitter = Compiled(CorpusScript(name));
        for (std::int32_t b = 0; b < emitter->GetBeamCount(); ++b)
            for (std::int32_t kind = 0; kind < kEventKindCount; ++kind)
                if (!EventsOf(*emitter->GetBeam(static_cast<std::uint32_t>(b)), kind).empty()) seen[kind] = true;
    }
    for (std::int32_t kind = 0; kind < kEventKindCount; ++kind) EXPECT_TRUE(seen[kind]) << "kind " << kind;
}

}  // namespace
}  // namespace lumi::test
