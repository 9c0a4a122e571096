#pragma once
// The value readers of the particle script, shared by the block parsers and by the events'
// own parse operations. Each starts at the token under the cursor, consumes the value and
// leaves the cursor on the token after it; each throws ScriptError with the format's
// message when the tokens do not spell the value (or end: "Unexpected end-of-file.").
//
// Grammar: value := number | RANDOM ( number , number ); uv := UV ( value , value );
// xyz := XYZ ( value , value , value ); color := RGBA ( value x4 ) | RGB ( value x3 );
// bool := TRUE | FALSE; time := [FADE SO] AT value | INITIAL | [FADE SO] FINAL.
// The records' value fields are left 0: a reader draws nothing.
#include <cstdint>

#include "particle/particle_values.h"
#include "particle/script_cursor.h"

// A number n gives min = max = n; RANDOM(a, b) gives min = a, max = b as written.
value_range_t ReadValueRange(script_cursor_t& cursor);
bool ReadBool(script_cursor_t& cursor);
uv_range_t ReadUVRange(script_cursor_t& cursor);
xyz_range_t ReadXYZRange(script_cursor_t& cursor);
// RGB(...) gives alpha kColorKeepAlpha at both ends.
color_range_t ReadColorRange(script_cursor_t& cursor);

// When in an event's life (particle events: 0 birth to 1 death) or on the beam clock (beam
// events: 0 to 9999 seconds) an event happens.
struct script_time_spec_t {
    enum Kind : std::int32_t { kInitial = 0, kAt = 1, kFinal = 2 };
    float min = 0.0f;
    float max = 0.0f;
    bool fade = false;  // "fade so": the previous event of the property ramps into this one
    Kind kind = kAt;
};

// INITIAL gives (lower, lower), FINAL (upper, upper); AT holds both ends of its value inside
// [lower, upper] and puts them in order.
script_time_spec_t ReadTimeSpec(script_cursor_t& cursor, float lower, float upper);

// From a property keyword: the next token must be "=" ("Expecting = after property."), then
// the value.
value_range_t ReadAssignedValue(script_cursor_t& cursor);
uv_range_t ReadAssignedUV(script_cursor_t& cursor);
xyz_range_t ReadAssignedXYZ(script_cursor_t& cursor);
color_range_t ReadAssignedColor(script_cursor_t& cursor);
