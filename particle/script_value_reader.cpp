#include "particle/script_value_reader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "particle/script_number.h"
#include "particle/script_token_kinds.h"

namespace {

constexpr char kVectorComma[] = "Vector components must be seperated by a comma.";
constexpr char kColorComma[] = "Color components must be seperated by a comma.";
constexpr char kCloseVector[] = "Expecting ) to close vector.";

// The token under the cursor must be of `type`; moves past it.
void ConsumeToken(script_cursor_t& cursor, std::int32_t type, const char* message) {
    if (CurrentToken(cursor).type != type) throw ScriptError(message);
    NextToken(cursor);
}

// The token under the cursor must be a number; moves past it and returns its value.
float ConsumeNumber(script_cursor_t& cursor, const char* message) {
    const script_token_t& token = CurrentToken(cursor);
    if (token.type != kTokenNumber) throw ScriptError(message);
    const float number = ParseScriptNumber(token.text);
    NextToken(cursor);
    return number;
}

// After the opening parenthesis: N values separated by commas, then ")".
template <int N>
std::array<value_range_t, N> ReadComponents(script_cursor_t& cursor, const char* commaMessage) {
    std::array<value_range_t, N> components{};
    for (int i = 0; i < N; ++i) {
        if (i > 0) ConsumeToken(cursor, kTokenComma, commaMessage);
        components[i] = ReadValueRange(cursor);
    }
    ConsumeToken(cursor, kTokenCloseParen, kCloseVector);
    return components;
}

// From a property keyword: "=", then the value.
template <class Value>
Value ReadAssigned(script_cursor_t& cursor, Value (*read)(script_cursor_t&)) {
    NextToken(cursor);
    ConsumeToken(cursor, kTokenEquals, "Expecting = after property.");
    return read(cursor);
}

}  // namespace

value_range_t ReadValueRange(script_cursor_t& cursor) {
    value_range_t range{};
    const script_token_t& token = CurrentToken(cursor);
    if (token.type == kTokenNumber) {
        range.min = range.max = ParseScriptNumber(token.text);
        NextToken(cursor);
        return range;
    }
    if (token.type != kTokenRandom) throw ScriptError("Expecting either Random(...) or a number value.");
    NextToken(cursor);
    ConsumeToken(cursor, kTokenOpenParen, "Expecting opening paren after Random keyword.");
    range.min = ConsumeNumber(cursor, "Expecting first number within Random(...).");
    ConsumeToken(cursor, kTokenComma, "Expecting comma within Random(...).");
    range.max = ConsumeNumber(cursor, "Expecting second number within Random(...).");
    ConsumeToken(cursor, kTokenCloseParen, "Missing close paren on Random(...).");
    return range;
}

bool ReadBool(script_cursor_t& cursor) {
    const std::int32_t type = CurrentToken(cursor).type;
    if (type != kTokenTrue && type != kTokenFalse) throw ScriptError("Expecting boolean.");
    NextToken(cursor);
    return type == kTokenTrue;
}

uv_range_t ReadUVRange(script_cursor_t& cursor) {
    uv_range_t range{};
    ConsumeToken(cursor, kTokenUv, "Expecting UV(...)!");
    ConsumeToken(cursor, kTokenOpenParen, "Expecting ( after UV!");
    const auto [u, v] = ReadComponents<2>(cursor, kVectorComma);
    range.minU = u.min;
    range.maxU = u.max;
    range.minV = v.min;
    range.maxV = v.max;
    return range;
}

xyz_range_t ReadXYZRange(script_cursor_t& cursor) {
    xyz_range_t range{};
    ConsumeToken(cursor, kTokenXyz, "Expecting XYZ(...)!");
    ConsumeToken(cursor, kTokenOpenParen, "Expecting ( after XYZ!");
    const auto [x, y, z] = ReadComponents<3>(cursor, kVectorComma);
    range.min = {x.min, y.min, z.min};
    range.max = {x.max, y.max, z.max};
    return range;
}

color_range_t ReadColorRange(script_cursor_t& cursor) {
    color_range_t range{};
    const std::int32_t type = CurrentToken(cursor).type;
    if (type == kTokenRgba) {
        NextToken(cursor);
        ConsumeToken(cursor, kTokenOpenParen, "Expecting ( after RGBA!");
        const auto [r, g, b, a] = ReadComponents<4>(cursor, kColorComma);
        range.min = {r.min, g.min, b.min, a.min};
        range.max = {r.max, g.max, b.max, a.max};
    } else if (type == kTokenRgb) {
        NextToken(cursor);
        ConsumeToken(cursor, kTokenOpenParen, "Expecting ( after RGB!");
        const auto [r, g, b] = ReadComponents<3>(cursor, kColorComma);
        range.min = {r.min, g.min, b.min, kColorKeepAlpha};
        range.max = {r.max, g.max, b.max, kColorKeepAlpha};
    } else {
        throw ScriptError("Expecting RGBA(...) or RGB(...)!");
    }
    return range;
}

script_time_spec_t ReadTimeSpec(script_cursor_t& cursor, float lower, float upper) {
    script_time_spec_t spec;
    if (CurrentToken(cursor).type == kTokenFade) {
        NextToken(cursor);
        ConsumeToken(cursor, kTokenSo, "Expecting \"so\" after \"fade\".");
        spec.fade = true;
    }
    switch (CurrentToken(cursor).type) {
        case kTokenAt: {
            NextToken(cursor);
            const value_range_t range = ReadValueRange(cursor);
            // Both ends stay inside the bounds, whatever the script says.
            auto bound = [&](float t) { return std::min(std::max(t, lower), upper); };
            spec.min = bound(range.min);
            spec.max = bound(range.max);
            if (spec.max < spec.min) std::swap(spec.min, spec.max);
            spec.kind = script_time_spec_t::kAt;
            break;
        }
        case kTokenInitial:
            if (spec.fade) throw ScriptError("Cannot use \"fade so\" modifier on \"initial\" times.");
            spec.min = spec.max = lower;
            spec.kind = script_time_spec_t::kInitial;
            NextToken(cursor);
            break;
        case kTokenFinal:
            spec.min = spec.max = upper;
            spec.kind = script_time_spec_t::kFinal;
            NextToken(cursor);
            break;
        default:
            throw ScriptError("Expected time specifier: \"[fade so] at\", \"initial\", or \"[fade so] final\"");
    }
    return spec;
}

value_range_t ReadAssignedValue(script_cursor_t& cursor) { return ReadAssigned(cursor, ReadValueRange); }

uv_range_t ReadAssignedUV(script_cursor_t& cursor) { return ReadAssigned(cursor, ReadUVRange); }

xyz_range_t ReadAssignedXYZ(script_cursor_t& cursor) { return ReadAssigned(cursor, ReadXYZRange); }

color_range_t ReadAssignedColor(script_cursor_t& cursor) { return ReadAssigned(cursor, ReadColorRange); }
