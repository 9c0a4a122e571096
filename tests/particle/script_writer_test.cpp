// Writing scripts: the value texts, the exact text of small emitters, time specifiers, what
// is written of a beam that has played (its authored values), events the sets cannot show,
// and files that cannot be written.
#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

#include "particle/particle_event_set.h"
#include "particle/particle_script_writer.h"
#include "tests/particle/emitter_test_support.h"
#include "tests/support/work_folder.h"

namespace lumi::test {
namespace {

// Saves the emitter into the working folder and reads the text back; "" when Save failed.
std::string Saved(CParticleEmitter& emitter) {
    if (!emitter.Save(u"saved.pes")) return "";
    return ReadTextFile("saved.pes");
}

// The lines of `text` between the line holding `from` and the next line holding `to`.
std::string Between(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t start = text.find(from);
    const std::size_t end = text.find(to, start);
    if (start == std::string::npos || end == std::string::npos) return "<not found>";
    return text.substr(start, end - start);
}

class ScriptWriterTest : public ::testing::Test {
protected:
    TempWorkFolder folder_;
};

TEST(ScriptWriterValues, NumbersRangesVectorsColoursAndNames) {
    const std::pair<float, const char*> numbers[] = {
        {1.5f, "1.500"}, {-1.5f, "-1.500"}, {2.0f, "2"}, {2.0004f, "2"}, {0.9999f, "1.000"},
        {0.001f, "0.001"}, {-0.25f, "-0.250"}, {1e6f, "1000000"}, {-1.0f, "-1"},
    };
    for (const auto& [value, text] : numbers) EXPECT_EQ(FormatNumber(value), text) << value;
    EXPECT_EQ(FormatValueRange({3.0f, 3.0f, 9.0f}), "3");
    EXPECT_EQ(FormatValueRange({0.5f, -2.0f, 0.0f}), "random(0.500,-2)") << "in the order held";
    EXPECT_EQ(FormatXYZRange({{1, 0, -3}, {1, 2, -3}, {}}), "XYZ(1,random(0,2),-3)");
    EXPECT_EQ(FormatUVRange({0.25f, 1.0f, 0.75f, 1.0f, 0.0f, 0.0f}), "UV(random(0.250,0.750),1)");
    EXPECT_EQ(FormatColorRange({{1, 0.5f, 0, -1}, {1, 0.5f, 0, -1}, {}}), "RGB(1,0.500,0)");
    EXPECT_EQ(FormatColorRange({{1, 0, 0, 0}, {1, 0, 0, 1}, {}}), "RGBA(1,0,0,random(0,1))");
    EXPECT_EQ(FormatBool(1), "TRUE");
    EXPECT_EQ(FormatBool(0), "FALSE");
    EXPECT_EQ(FormatBlendMode(11), "D3DBLEND_SRCALPHASAT");
    EXPECT_EQ(FormatTextureOp(10), "D3DTOP_SUBTRACT");
    EXPECT_EQ(FormatBlendOp(3), "D3DBLENDOP_REVSUBTRACT");
    EXPECT_EQ(FormatCoordsType(2), "COORDS_3D");
    EXPECT_EQ(FormatParticleMode(0), "PM_POINTSPRITE");
    EXPECT_EQ(FormatParticleAngleType(1), "PAT_SPECIFY");
    EXPECT_EQ(FormatMuzzleShape(2), "MS_ELLIPSE");
    EXPECT_EQ(FormatChgMode(2), "CHG_MODE_EMITRADIUS");
    EXPECT_EQ(FormatBlendMode(12), "") << "no row holds it";

    const value_range_t half{0.5f, 0.5f, 0.0f};
    EXPECT_EQ(FormatTimeSpec(true, true, false, half), "INITIAL ") << "even when it fades";
    EXPECT_EQ(FormatTimeSpec(false, false, true, half), "FINAL ");
    EXPECT_EQ(FormatTimeSpec(true, false, true, half), "FADE SO FINAL ");
    EXPECT_EQ(FormatTimeSpec(false, false, false, half), "AT 0.500 ");
    EXPECT_EQ(FormatTimeSpec(true, false, false, {0.2f, 0.4f, 0.3f}), "FADE SO AT random(0.200,0.400) ");
}

TEST(ScriptWriterValues, NumbersReadAndWriteTheSameUnderACommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the locale de_DE.UTF-8 is missing; scripts/install-deps.sh generates it";
    EXPECT_EQ(FormatNumber(1.5f), "1.500");
    EmitterPtr emitter = NewEmitter();
    const bool compiled = emitter->Compile(Script("EMITTERRATE = 0.5").c_str());
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_TRUE(compiled);
    EXPECT_EQ(emitter->GetEmitterRate(), 0.5f);
}

TEST_F(ScriptWriterTest, ANewBeamAndASoundAreWrittenWholeInTheirOrder) {
    EmitterPtr emitter = NewEmitter();
    ASSERT_NE(emitter->AddBeam(), nullptr);
    CParticleSound* sound = emitter->AddSound(u"boom");
    sound->SetFileName("sfx/boom.wav");
    sound->SetVolume(0.5f);
    EXPECT_EQ(Saved(*emitter),
              "PARTICLEEMITTER \"\" 1.00\n{\n\tPOSITION = XYZ(0,0,0)\n\tCOORDINATES = COORDS_2D\n"
              "\tEMITTERLIFE = -1\n\tEMITTERRATE = 1\n"
              "\n\tSound \"boom\"\n\t{\n\t\tSOUNDFILE = \"sfx/boom.wav\"\n\t\tSOUNDVOLUME = 0.500\n"
              "\t\tSOUND3D = FALSE\n\t\tSOUNDMinDistance = 100\n\t\tSOUNDMaxDistance = 1000\n\t}\n"
              "\n\tPARTICLEBEAM \"\"\n\t{\n"
              "\t\tTEXTURE = \"DATA/PARTICLE/SHAPE/8-BIT SHAPES/LEAF2.PNG\"\n\t\tNUMPARTICLES = 1\n"
              "\t\tSOURCEBLENDMODE = D3DBLEND_SRCALPHA\n\t\tDESTBLENDMODE = D3DBLEND_INVSRCALPHA\n"
              "\t\tBLENDOP = D3DBLENDOP_ADD\n\t\tCOLOROP = D3DTOP_MODULATE\n\t\tALPHAOP = D3DTOP_MODULATE\n"
              "\t\tREFPOINT = UV(0.500,0.500)\n\t\tPARTICLEMODE = PM_BILLBOARD\n\t\tPARTICLEANGLETYPE = PAT_SPECIFY\n"
              "\t\tMUZZLESHAPE = MS_POINT\n\t\tATTACHEDTOEMITTER = TRUE\n\t\tCIRCLEPLAY = TRUE\n"
              "\t\tEMITRAND = FALSE\n\t\tSINGLEPARTICLE = FALSE\n\t\tISANIM = FALSE\n\t\tCIRCLEBEAM = FALSE\n"
              "\t\tFLIPX = FALSE\n\t\tFLIPY = FALSE\n\t\tLOCKASPECT = TRUE\n\t\tLIFETIME = 1\n\t\tEMITRATE = 1\n"
              "\t\tEMITANGLE = 0\n\t\tEMITSPEED = 0\n\t\tEMITRADIUS = XYZ(0,0,0)\n\t\tGRAVITY = XYZ(0,0,0)\n"
              "\t\tDELAYTIMER = 0\n\t\tANIMROW = 1\n\t\tANIMCOW = 1\n\t\tANIMACTUALCOUNT = 1\n\t\tANIMSIZE = 256\n"
              "\t\tANIMTIMES = 0\n\t\tSTARTANIMINDEX = 0\n\t\tCHGMODE = CHG_MODE_NONE\n\t\tTRACKMODE = FALSE\n"
              "\t\tTRACKCOUNT = 8\n\t\tTRACKINDEX = 0\n\t\tTRACKTIME = 0.500\n\t\tTRACKRAND = TRUE\n"
              "\n\n\n\n\n\n"  // one line feed per beam-event kind, even an empty one
              "\t\tPARTICLE\n\t\t{\n\t\t}\n\t}\n}\n");
}

TEST_F(ScriptWriterTest, EventLinesCarryTheirTimesAsWrittenAndEveryValue) {
    EmitterPtr emitter = Compiled(Script(
        "PARTICLEBEAM \"b\" {\n"
        "  SPAWNDIR = XYZ(0,1,0) ANIMROW = 2 ANIMCOW = 2 ANIMACTUALCOUNT = 4 ANIMTIMES = 0.1\n"
        "  ANIMTIME_1 = RANDOM(1,0.1) ANIMTIME_3 = RANDOM(3,0.5)\n"
        "  INITIAL EMITSPEED = 2\n"
        "  AT 9999 EVENTTIMER = RANDOM(1,2)\n"
        "  FADE SO AT RANDOM(0.5,0.25) PLAYSOUND = \"boom\"\n"
        "  PARTICLE {\n"
        "    FADE SO FINAL SIZE = 2  AT 0.5 SIZE = 1  AT 0.5 SIZE = 3\n"
        "    INITIAL COLOR = RGB(1,0,0)  FINAL COLOR = RGBA(1,0,0,0)\n"
        "    AT RANDOM(0.1,0.5) ALPHA = 0.2  AT 0.5 ALPHA = 0.8\n"
        "  }\n"
        "}"));
    const std::string text = Saved(*emitter);
    EXPECT_EQ(text.find("SPAWNDIR"), std::string::npos);
    EXPECT_EQ(Between(text, "STARTANIMINDEX", "CHGMODE"),
              "STARTANIMINDEX = 0\n\t\tANIMTIME_3 = random(3,0.500)\n\t\t")
        << "only cells whose time differs from ANIMTIMES";
    // Beam events by kind, each kind closed by a line feed; a beam event is never FINAL.
    EXPECT_EQ(Between(text, "TRACKRAND", "PARTICLE\n"),
              "TRACKRAND = TRUE\n\t\tAT 9999 EVENTTIMER = random(1,2)\n\n\n\t\tINITIAL EMITSPEED = 2\n\n\n"
              "\t\tFADE SO AT random(0.250,0.500) PLAYSOUND = \"boom\"\n\n\n\t\t");
    // Particle events by kind; two of one time in the order they were read; a time another
    // event of the kind shares is written too.
    EXPECT_EQ(Between(text, "\t\t{\n\t\t\t", "\t\t}"),
              "\t\t{\n\t\t\tAT 0.500 SIZE = 1\n\t\t\tAT 0.500 SIZE = 3\n\t\t\tFADE SO FINAL SIZE = 2\n\n"
              "\t\t\tAT random(0.100,0.500) ALPHA = 0.200\n\t\t\tAT 0.500 ALPHA = 0.800\n\n"
              "\t\t\tINITIAL COLOR = RGB(1,0,0)\n\t\t\tFINAL COLOR = RGBA(1,0,0,0)\n\n");

    // Read back, the text comes out the same, chains included.
    EXPECT_EQ(Saved(*Compiled(text)), text);
}

TEST_F(ScriptWriterTest, ABeamThatHasPlayedIsWrittenAsAuthored) {
    EmitterPtr emitter = Compiled(Script(
        "PARTICLEBEAM \"b\" {\n"
        "  NUMPARTICLES = 5 LIFETIME = 2 EMITSPEED = 10 EMITANGLE = 30 EMITRADIUS = XYZ(1,2,0)\n"
        "  AT 0 NUMPARTICLES = 50  AT 0 EMITSPEED = 99  AT 0 EMITANGLE = 45\n"
        "  PARTICLE { INITIAL VELOCITY = XYZ(10,0,0)  AT 0.5 VELOCITY = XYZ(0,10,0) }\n"
        "}\n"
        "PARTICLEBEAM \"c\" { }"));
    CParticleBeam& beam = *emitter->GetBeam(0);
    beam.ApplyBeamEvents();
    emitter->SetRect(200, 100);
    emitter->LayTrackBeams();
    EXPECT_EQ(beam.GetNumParticles(), 75) << "the authored 5, x 15 for the rectangle";
    EXPECT_EQ(beam.GetEmitSpeed()->max, 99.0f);
    EXPECT_EQ(beam.GetEmitRadius()->max.x, -100.0f);
    const std::string text = Saved(*emitter);
    for (const char* line : {"NUMPARTICLES = 5\n", "LIFETIME = 2\n", "EMITSPEED = 10\n", "EMITANGLE = 30\n",
                             "EMITRADIUS = XYZ(1,2,0)\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // The rectangle's event times are an edit, and are kept.
    EXPECT_NE(text.find("AT 0.167 VELOCITY = XYZ(0,10,0)"), std::string::npos) << text;
}

TEST_F(ScriptWriterTest, NumbersThatAreNotFiniteNeverReachASavedScript) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EmitterPtr emitter = NewEmitter();
    CParticleBeam& beam = *emitter->AddBeam();
    // The setters refuse them and keep what they had.
    emitter->SetEmitterLife(-inf);
    emitter->SetEmitterRate(nan);
    emitter->SetVersion(inf);
    const value_range_t life{2.0f, inf, 0.0f};
    beam.SetLifeTime(&life);
    EXPECT_EQ(emitter->GetEmitterLife(), -1.0f);
    EXPECT_EQ(emitter->GetEmitterRate(), 1.0f);
    EXPECT_EQ(emitter->GetVersion(), 1.0f);
    EXPECT_EQ(beam.GetBaseLifeTime().max, 1.0f);
    // Written into a range through its getter, they are saved as the reader takes numbers
    // beyond the float range.
    beam.GetGravity()->max.y = -inf;
    beam.GetEmitRate()->min = nan;
    const std::string text = Saved(*emitter);
    EXPECT_EQ(text.find("inf"), std::string::npos) << text;
    EXPECT_EQ(text.find("nan"), std::string::npos) << text;
    EmitterPtr again = Compiled(text);
    EXPECT_EQ(again->GetEmitterLife(), -1.0f) << "still endless";
    EXPECT_EQ(again->GetBeam(0)->GetGravity()->max.y, -std::numeric_limits<float>::max());
    EXPECT_EQ(Saved(*again), text);
}

TEST_F(ScriptWriterTest, ANameOutsideItsTableIsWrittenEmptyAndRefusedOnReading) {
    EmitterPtr emitter = NewEmitter();
    emitter->AddBeam()->SetSourceBlendMode(99);
    const std::string text = Saved(*emitter);
    EXPECT_NE(text.find("\t\tSOURCEBLENDMODE = \n"), std::string::npos);
    EmitterPtr again = NewEmitter();
    EXPECT_FALSE(again->Compile(text.c_str()));
    EXPECT_EQ(again->GetCompileError(), "Expecting alpha blend mode (D3DBLEND_ZERO, D3DBLEND_ONE, etc.).");
}

TEST_F(ScriptWriterTest, AFileThatCannotBeOpenedOrWrittenIsAFailure) {
    EmitterPtr emitter = Compiled(Script("PARTICLEBEAM \"b\" { }"));
    EXPECT_FALSE(emitter->Save(nullptr));
    EXPECT_FALSE(emitter->Save(u"no/such/folder/x.pes"));
    // The device that is always full takes the text into its buffer and refuses it at the
    // flush.
    EXPECT_FALSE(emitter->Save(u"/dev/full"));
    EXPECT_TRUE(emitter->Save(u"ok.pes"));
}

}  // namespace
}  // namespace lumi::test
