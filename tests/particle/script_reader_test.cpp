#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "particle/script_cursor.h"
#include "particle/script_enums.h"
#include "particle/script_number.h"
#include "particle/script_token_kinds.h"
#include "particle/script_value_reader.h"

namespace {

using Reader = std::function<void(script_cursor_t&)>;

// Tokenizes `text` and runs `read` from the first token; returns the ScriptError message
// ("" when none) and, through `rest`, the text of the token the cursor ends on ("<end>").
std::string RunReader(const std::string& text, const Reader& read, std::string* rest = nullptr) {
    script_token_list_t tokens;
    Tokenize(text.c_str(), tokens);
    script_cursor_t cursor(tokens);
    try {
        read(cursor);
    } catch (const ScriptError& error) {
        return error.what();
    }
    if (rest != nullptr) *rest = cursor.AtEnd() ? "<end>" : cursor.position->text;
    return "";
}

const Reader kValue = [](script_cursor_t& c) { ReadValueRange(c); };
const Reader kBool = [](script_cursor_t& c) { ReadBool(c); };
const Reader kUV = [](script_cursor_t& c) { ReadUVRange(c); };
const Reader kXYZ = [](script_cursor_t& c) { ReadXYZRange(c); };
const Reader kColor = [](script_cursor_t& c) { ReadColorRange(c); };
const Reader kTime = [](script_cursor_t& c) { ReadTimeSpec(c, 0.0f, 1.0f); };
const Reader kAssigned = [](script_cursor_t& c) { ReadAssignedValue(c); };
const Reader kAssignedXYZ = [](script_cursor_t& c) { ReadAssignedXYZ(c); };

template <class T>
T ReadAs(const std::string& text, T (*read)(script_cursor_t&)) {
    T result{};
    const std::string error = RunReader(text, [&](script_cursor_t& c) { result = read(c); });
    EXPECT_EQ(error, "") << text;
    return result;
}

struct MessageCase {
    const char* text;
    const Reader* reader;
    const char* message;
};

TEST(ScriptReader, ReportsEachMalformedValueWithItsMessage) {
    const MessageCase cases[] = {
        {"", &kValue, "Unexpected end-of-file."},
        {"X", &kValue, "Expecting either Random(...) or a number value."},
        {"RANDOM 1", &kValue, "Expecting opening paren after Random keyword."},
        {"RANDOM (1,2)", &kValue, "Expecting first number within Random(...)."},  // "(1" is one token
        {"RANDOM(1 2)", &kValue, "Expecting comma within Random(...)."},
        {"RANDOM(1,X)", &kValue, "Expecting second number within Random(...)."},
        {"RANDOM(1,2,3)", &kValue, "Missing close paren on Random(...)."},
        {"RANDOM(1,2", &kValue, "Unexpected end-of-file."},
        {"RANDOM(", &kValue, "Unexpected end-of-file."},
        {"YES", &kBool, "Expecting boolean."},
        {"XYZ(1,2)", &kUV, "Expecting UV(...)!"},
        {"UV 1", &kUV, "Expecting ( after UV!"},
        {"UV(1 2)", &kUV, "Vector components must be seperated by a comma."},
        {"UV(1,2,3)", &kUV, "Expecting ) to close vector."},
        {"UV(1,", &kUV, "Unexpected end-of-file."},
        {"UV(1,2)", &kXYZ, "Expecting XYZ(...)!"},
        {"XYZ 1", &kXYZ, "Expecting ( after XYZ!"},
        {"XYZ (1,2,3)", &kXYZ, "Expecting either Random(...) or a number value."},
        {"XYZ(1,2 3)", &kXYZ, "Vector components must be seperated by a comma."},
        {"XYZ(1,2,3,4)", &kXYZ, "Expecting ) to close vector."},
        {"UV(1,2)", &kColor, "Expecting RGBA(...) or RGB(...)!"},
        {"RGBA 1", &kColor, "Expecting ( after RGBA!"},
        {"RGB 1", &kColor, "Expecting ( after RGB!"},
        {"RGB(1 2", &kColor, "Color components must be seperated by a comma."},
        {"RGBA(1,2,3,4,5)", &kColor, "Expecting ) to close vector."},
        {"RGB(1,2,3,4)", &kColor, "Expecting ) to close vector."},
        {"FADE AT 1", &kTime, "Expecting \"so\" after \"fade\"."},
        {"FADE SO INITIAL", &kTime, "Cannot use \"fade so\" modifier on \"initial\" times."},
        {"FADE", &kTime, "Unexpected end-of-file."},
        {"SIZE = 1", &kTime, "Expected time specifier: \"[fade so] at\", \"initial\", or \"[fade so] final\""},
        {"AT X", &kTime, "Expecting either Random(...) or a number value."},
        {"SIZE 4", &kAssigned, "Expecting = after property."},
        {"SIZE", &kAssigned, "Unexpected end-of-file."},
        {"SIZE =", &kAssigned, "Unexpected end-of-file."},
        {"GRAVITY = 1", &kAssignedXYZ, "Expecting XYZ(...)!"},
    };
    for (const MessageCase& c : cases) EXPECT_EQ(RunReader(c.text, *c.reader), c.message) << "text: [" << c.text << "]";
}

TEST(ScriptReader, ValuesAndWhereTheCursorStops) {
    std::string rest;
    EXPECT_EQ(RunReader("RANDOM(1,2) }", kValue, &rest), "");
    EXPECT_EQ(rest, "}");
    EXPECT_EQ(RunReader("5", kValue, &rest), "");
    EXPECT_EQ(rest, "<end>");
    EXPECT_EQ(RunReader("SIZE = RGB(1,0,0) ,", [](script_cursor_t& c) { ReadAssignedColor(c); }, &rest), "");
    EXPECT_EQ(rest, ",");

    const value_range_t number = ReadAs("1.5", ReadValueRange);
    EXPECT_EQ(number.min, 1.5f);
    EXPECT_EQ(number.max, 1.5f);
    const value_range_t random = ReadAs("random(3,-2)", ReadValueRange);  // kept as written
    EXPECT_EQ(random.min, 3.0f);
    EXPECT_EQ(random.max, -2.0f);
    EXPECT_EQ(random.value, 0.0f);
    EXPECT_TRUE(ReadAs("true", ReadBool));
    EXPECT_FALSE(ReadAs("False", ReadBool));

    const uv_range_t uv = ReadAs("UV(RANDOM(0,1),0.5)", ReadUVRange);
    EXPECT_EQ(uv.minU, 0.0f);
    EXPECT_EQ(uv.maxU, 1.0f);
    EXPECT_EQ(uv.minV, 0.5f);
    EXPECT_EQ(uv.maxV, 0.5f);

    const xyz_range_t xyz = ReadAs("XYZ(1,RANDOM(2,3),-4)", ReadXYZRange);
    EXPECT_EQ(xyz.min.x, 1.0f);
    EXPECT_EQ(xyz.min.y, 2.0f);
    EXPECT_EQ(xyz.max.y, 3.0f);
    EXPECT_EQ(xyz.max.z, -4.0f);

    const color_range_t rgb = ReadAs("RGB(1,0.5,RANDOM(0,0.25))", ReadColorRange);
    EXPECT_EQ(rgb.min.g, 0.5f);
    EXPECT_EQ(rgb.max.b, 0.25f);
    EXPECT_EQ(rgb.min.a, -1.0f);
    EXPECT_EQ(rgb.max.a, -1.0f);
    const color_range_t rgba = ReadAs("RGBA(0,0,0,0)", ReadColorRange);
    EXPECT_EQ(rgba.min.a, 0.0f);

    const xyz_range_t assigned = ReadAs("GRAVITY = XYZ(0,-9.5,0)", ReadAssignedXYZ);
    EXPECT_EQ(assigned.min.y, -9.5f);
    const uv_range_t refPoint = ReadAs("REFPOINT = UV(0.25,1)", ReadAssignedUV);
    EXPECT_EQ(refPoint.maxV, 1.0f);
}

TEST(ScriptReader, TimeSpecifiersStayInsideTheirBounds) {
    struct Case {
        const char* text;
        float lower, upper;
        float min, max;
        bool fade;
        script_time_spec_t::Kind kind;
    };
    const Case cases[] = {
        {"AT 0.5", 0, 1, 0.5f, 0.5f, false, script_time_spec_t::kAt},
        {"AT 2", 0, 1, 1, 1, false, script_time_spec_t::kAt},
        {"AT -1", 0, 1, 0, 0, false, script_time_spec_t::kAt},
        {"AT RANDOM(0.6,0.2)", 0, 1, 0.2f, 0.6f, false, script_time_spec_t::kAt},
        {"AT RANDOM(-1,2)", 0, 1, 0, 1, false, script_time_spec_t::kAt},
        {"AT 10000", 0, 9999, 9999, 9999, false, script_time_spec_t::kAt},
        {"FADE SO AT 0.25", 0, 1, 0.25f, 0.25f, true, script_time_spec_t::kAt},
        {"initial", 0, 1, 0, 0, false, script_time_spec_t::kInitial},
        {"FINAL", 0, 9999, 9999, 9999, false, script_time_spec_t::kFinal},
        {"fade so final", 0, 1, 1, 1, true, script_time_spec_t::kFinal},
    };
    for (const Case& c : cases) {
        script_time_spec_t spec;
        EXPECT_EQ(RunReader(c.text, [&](script_cursor_t& cursor) { spec = ReadTimeSpec(cursor, c.lower, c.upper); }), "");
        EXPECT_EQ(spec.min, c.min) << c.text;
        EXPECT_EQ(spec.max, c.max) << c.text;
        EXPECT_EQ(spec.fade, c.fade) << c.text;
        EXPECT_EQ(spec.kind, c.kind) << c.text;
    }
}

TEST(ScriptReader, EnumerationTablesBothWays) {
    const script_enum_table_t* tables[] = {&kBlendModeNames,    &kTextureOpNames, &kBlendOpNames,
                                           &kCoordsTypeNames,   &kParticleModeNames, &kAngleTypeNames,
                                           &kMuzzleShapeNames,  &kChgModeNames};
    for (const script_enum_table_t* table : tables) {
        for (const script_enum_row_t& row : table->rows) {
            // A name in any case is classified as its table's kind and read back as its value.
            std::string lower = row.name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::int32_t value = -1;
            EXPECT_EQ(RunReader(lower, [&](script_cursor_t& c) { value = ReadEnum(c, *table); }), "") << row.name;
            EXPECT_EQ(value, row.value) << row.name;
            EXPECT_STREQ(FindEnumName(*table, row.value), row.name);
        }
        EXPECT_STREQ(FindEnumName(*table, 99), "");
        // Another kind gives the first message; a name of the kind that is no row, the second.
        EXPECT_EQ(RunReader("TRUE", [&](script_cursor_t& c) { ReadEnum(c, *table); }), table->expectedMessage);
        const std::string unknown = std::string(table->rows[0].name) + "X";
        EXPECT_EQ(RunReader(unknown, [&](script_cursor_t& c) { ReadEnum(c, *table); }), table->invalidMessage) << unknown;
    }

    const struct {
        const script_enum_table_t* table;
        const char* expected;
        const char* invalid;
    } messages[] = {
        {&kBlendModeNames, "Expecting alpha blend mode (D3DBLEND_ZERO, D3DBLEND_ONE, etc.).",
         "Invalid alpha blending mode!"},
        {&kTextureOpNames, "Expecting Texture Op.", "Invalid texture-blending operations!"},
        {&kBlendOpNames, "Expecting Blend operations.", "Invalid blend operations!"},
        {&kCoordsTypeNames, "Expection coordiantes type.", "Invalid coordiantes type!"},
        {&kParticleModeNames, "Expection particle mode.", "Invalid particle mode!"},
        {&kAngleTypeNames, "Expection particle angle type.", "Invalid particle angle type!"},
        {&kMuzzleShapeNames, "Expection muzzle shape.", "Invalid muzzle shape!"},
        {&kChgModeNames, "Expection chg mode.", "Invalid chg mode!"},
    };
    for (const auto& m : messages) {
        EXPECT_STREQ(m.table->expectedMessage, m.expected);
        EXPECT_STREQ(m.table->invalidMessage, m.invalid);
    }
}

TEST(ScriptReader, CursorAndQuotes) {
    script_token_list_t tokens;
    Tokenize("A", tokens);
    script_cursor_t cursor(tokens);
    EXPECT_EQ(CurrentToken(cursor).text, "A");
    NextToken(cursor);  // onto the end
    EXPECT_THROW(NextToken(cursor), ScriptError);
    EXPECT_THROW(CurrentToken(cursor), ScriptError);

    const std::pair<const char*, const char*> quotes[] = {
        {"\"abc\"", "abc"}, {"ABC\"", "ABC"}, {"a\"\"b", "a\"b"}, {"a\"\"", "a\""}, {"\"", ""}, {"x", "x"},
        {"\"\"", ""},  // an empty quoted string is empty
        {"\"a\"\"\"b\"", "a\"b"},
    };
    for (const auto& [text, stripped] : quotes) EXPECT_EQ(StripQuotes(script_token_t{text, kTokenString}), stripped) << text;
}

TEST(ScriptNumbers, ReadLikeAtofInTheCLocale) {
    const std::pair<const char*, float> cases[] = {
        {"1", 1.0f}, {"-2.5", -2.5f}, {"1e3", 1000.0f}, {"1.5abc", 1.5f}, {"2.", 2.0f}, {"-.5", -0.5f},
        {"+5", 5.0f}, {"1e", 1.0f}, {"1e+", 1.0f}, {"-", 0.0f}, {"0x", 0.0f}, {"0x10", 0.0f},
        {"-inf", 0.0f}, {"nan", 0.0f}, {"", 0.0f}, {".", 0.0f},
        // Beyond the float range: held at its ends, never infinite.
        {"1e999", FLT_MAX}, {"-1e999", -FLT_MAX}, {"1e39", FLT_MAX}, {"1e-999", 0.0f}, {"-1e-999", -0.0f},
        {"0.0001e400", FLT_MAX}, {"100e-402", 0.0f}, {"1e99999999999999999999", FLT_MAX},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseScriptNumber(text), value) << text;
    EXPECT_EQ(ParseScriptNumber("1" + std::string(400, '0')), FLT_MAX);
    EXPECT_EQ(ParseScriptNumber("0." + std::string(400, '0') + "1"), 0.0f);
    EXPECT_EQ(ParseScriptNumber("00" + std::string(400, '0') + "1e-399"), 0.0f);  // leading zeros count for nothing
}

TEST(ScriptNumbers, IntegerPropertiesSaturate) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float value;
        std::int32_t asInt;
        std::uint32_t asUnsigned;
    } cases[] = {
        {3.9f, 3, 3},
        {-3.9f, -3, 0},
        {nan, 0, 0},
        {1e10f, INT32_MAX, UINT32_MAX},
        {-1e10f, INT32_MIN, 0},
        {4294967295.0f, INT32_MAX, UINT32_MAX},
        {2147483520.0f, 2147483520, 2147483520u},
        {FLT_MAX, INT32_MAX, UINT32_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScriptToInt32(c.value), c.asInt) << c.value;
        EXPECT_EQ(ScriptToUInt32(c.value), c.asUnsigned) << c.value;
    }
}

}  // namespace
