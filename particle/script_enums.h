#pragma once
// The enumeration names of the particle script: one table per enumeration, read by name
// (the reader) and looked up by value (the writer). The rows are the whole vocabulary, in
// the order the writer searches them.
#include <cstdint>
#include <span>
#include <string_view>

#include "particle/script_cursor.h"

struct script_enum_row_t {
    char name[28];
    std::int32_t value;
};

struct script_enum_table_t {
    std::span<const script_enum_row_t> rows;
    std::int32_t tokenType;       // the kind a name of this table has
    const char* expectedMessage;  // the token is of another kind
    const char* invalidMessage;   // the token names no row
};

extern const script_enum_table_t kBlendModeNames;      // D3DBLEND_
extern const script_enum_table_t kTextureOpNames;      // D3DTOP_
extern const script_enum_table_t kBlendOpNames;        // D3DBLENDOP_
extern const script_enum_table_t kCoordsTypeNames;     // COORDS_
extern const script_enum_table_t kParticleModeNames;   // PM_
extern const script_enum_table_t kAngleTypeNames;      // PAT_
extern const script_enum_table_t kMuzzleShapeNames;    // MS_
extern const script_enum_table_t kChgModeNames;        // CHG_

// The value of the row named exactly `name` (upper case); false when no row has it.
bool FindEnumValue(const script_enum_table_t& table, std::string_view name, std::int32_t* value);

// The name of the first row holding `value`; "" when none does.
const char* FindEnumName(const script_enum_table_t& table, std::int32_t value);

// Reads the name under the cursor and moves past it. Throws ScriptError with the table's
// first message when the token is of another kind, with its second when no row has that
// name.
std::int32_t ReadEnum(script_cursor_t& cursor, const script_enum_table_t& table);

inline std::int32_t ReadBlendMode(script_cursor_t& cursor) { return ReadEnum(cursor, kBlendModeNames); }
inline std::int32_t ReadTextureOp(script_cursor_t& cursor) { return ReadEnum(cursor, kTextureOpNames); }
inline std::int32_t ReadBlendOp(script_cursor_t& cursor) { return ReadEnum(cursor, kBlendOpNames); }
inline std::int32_t ReadCoordsType(script_cursor_t& cursor) { return ReadEnum(cursor, kCoordsTypeNames); }
inline std::int32_t ReadParticleMode(script_cursor_t& cursor) { return ReadEnum(cursor, kParticleModeNames); }
inline std::int32_t ReadParticleAngleType(script_cursor_t& cursor) { return ReadEnum(cursor, kAngleTypeNames); }
inline std::int32_t ReadMuzzleShape(script_cursor_t& cursor) { return ReadEnum(cursor, kMuzzleShapeNames); }
inline std::int32_t ReadChgMode(script_cursor_t& cursor) { return ReadEnum(cursor, kChgModeNames); }
