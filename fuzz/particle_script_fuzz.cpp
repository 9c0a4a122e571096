// Fuzzes the particle script lexer and value readers. The text is split into tokens, and
// every reader is run from every position of the token list: each must either move the
// cursor forward without passing the end or throw a ScriptError, and what it reads must keep
// its promises (numbers finite, times inside their bounds).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "particle/script_cursor.h"
#include "particle/script_enums.h"
#include "particle/script_token_kinds.h"
#include "particle/script_value_reader.h"

namespace {

[[noreturn]] void Fail() { __builtin_trap(); }

constexpr std::size_t kMaxStarts = 64;  // each reader from each start throws often: keep runs quick

void CheckFinite(float value) {
    if (!std::isfinite(value)) Fail();
}

void CheckRange(const value_range_t& range) {
    CheckFinite(range.min);
    CheckFinite(range.max);
}

void CheckTime(const script_time_spec_t& spec, float lower, float upper) {
    if (!(spec.min >= lower && spec.max <= upper && spec.min <= spec.max)) Fail();
}

using Reader = std::function<void(script_cursor_t&)>;

const Reader kReaders[] = {
    [](script_cursor_t& c) { CheckRange(ReadValueRange(c)); },
    [](script_cursor_t& c) { CheckRange(ReadAssignedValue(c)); },
    [](script_cursor_t& c) { ReadBool(c); },
    [](script_cursor_t& c) {
        const uv_range_t uv = ReadAssignedUV(c);
        for (float value : {uv.minU, uv.maxU, uv.minV, uv.maxV}) CheckFinite(value);
    },
    [](script_cursor_t& c) {
        const xyz_range_t xyz = ReadAssignedXYZ(c);
        CheckFinite(xyz.min.x);
        CheckFinite(xyz.max.z);
    },
    [](script_cursor_t& c) {
        const color_range_t color = ReadAssignedColor(c);
        CheckFinite(color.min.a);
    },
    [](script_cursor_t& c) { CheckTime(ReadTimeSpec(c, 0.0f, 1.0f), 0.0f, 1.0f); },
    [](script_cursor_t& c) { CheckTime(ReadTimeSpec(c, 0.0f, 9999.0f), 0.0f, 9999.0f); },
    [](script_cursor_t& c) { ReadBlendMode(c); },
    [](script_cursor_t& c) { ReadTextureOp(c); },
    [](script_cursor_t& c) { ReadBlendOp(c); },
    [](script_cursor_t& c) { ReadCoordsType(c); },
    [](script_cursor_t& c) { ReadParticleMode(c); },
    [](script_cursor_t& c) { ReadParticleAngleType(c); },
    [](script_cursor_t& c) { ReadMuzzleShape(c); },
    [](script_cursor_t& c) { ReadChgMode(c); },
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    // The lexer reads up to the first NUL, as it does with a script file's text.
    const std::string text(reinterpret_cast<const char*>(data), size);
    script_token_list_t tokens;
    Tokenize(text.c_str(), tokens);

    for (const script_token_t& token : tokens) {
        if (token.text.empty() || token.type < kTokenNumber || token.type > kTokenOther) Fail();
        script_token_t again = token;
        ClassifyToken(again);
        if (again.type != token.type || again.text != token.text) Fail();
        StripQuotes(token);
    }

    for (std::size_t start = 0; start < tokens.size() && start < kMaxStarts; ++start) {
        for (const Reader& read : kReaders) {
            script_cursor_t cursor(tokens);
            cursor.position += start;
            const script_token_t* from = cursor.position;
            try {
                read(cursor);
            } catch (const ScriptError& error) {
                if (error.what()[0] == '\0') Fail();
                continue;
            }
            if (cursor.position <= from || cursor.position > cursor.end) Fail();
        }
    }
    return 0;
}
