#include "particle/script_enums.h"

#include "particle/particle_beam_script.h"
#include "particle/script_token_kinds.h"
#include "platform/d3d9/d3d9_types.h"

namespace {

constexpr script_enum_row_t kBlendModeRows[] = {
    {"D3DBLEND_ZERO", D3DBLEND_ZERO},
    {"D3DBLEND_ONE", D3DBLEND_ONE},
    {"D3DBLEND_SRCCOLOR", D3DBLEND_SRCCOLOR},
    {"D3DBLEND_INVSRCCOLOR", D3DBLEND_INVSRCCOLOR},
    {"D3DBLEND_SRCALPHA", D3DBLEND_SRCALPHA},
    {"D3DBLEND_INVSRCALPHA", D3DBLEND_INVSRCALPHA},
    {"D3DBLEND_DESTALPHA", D3DBLEND_DESTALPHA},
    {"D3DBLEND_INVDESTALPHA", D3DBLEND_INVDESTALPHA},
    {"D3DBLEND_DESTCOLOR", D3DBLEND_DESTCOLOR},
    {"D3DBLEND_INVDESTCOLOR", D3DBLEND_INVDESTCOLOR},
    {"D3DBLEND_SRCALPHASAT", D3DBLEND_SRCALPHASAT},
};

constexpr script_enum_row_t kTextureOpRows[] = {
    {"D3DTOP_DISABLE", D3DTOP_DISABLE},
    {"D3DTOP_SELECTARG1", D3DTOP_SELECTARG1},
    {"D3DTOP_SELECTARG2", D3DTOP_SELECTARG2},
    {"D3DTOP_MODULATE", D3DTOP_MODULATE},
    {"D3DTOP_ADD", D3DTOP_ADD},
    {"D3DTOP_ADDSIGNED", D3DTOP_ADDSIGNED},
    {"D3DTOP_ADDSMOOTH", D3DTOP_ADDSMOOTH},
    {"D3DTOP_SUBTRACT", D3DTOP_SUBTRACT},
};

constexpr script_enum_row_t kBlendOpRows[] = {
    {"D3DBLENDOP_ADD", D3DBLENDOP_ADD},
    {"D3DBLENDOP_SUBTRACT", D3DBLENDOP_SUBTRACT},
    {"D3DBLENDOP_REVSUBTRACT", D3DBLENDOP_REVSUBTRACT},
    {"D3DBLENDOP_MIN", D3DBLENDOP_MIN},
    {"D3DBLENDOP_MAX", D3DBLENDOP_MAX},
};

constexpr script_enum_row_t kCoordsTypeRows[] = {
    {"COORDS_2D", COORDS_2D},
    {"COORDS_3D", COORDS_3D},
};

constexpr script_enum_row_t kParticleModeRows[] = {
    {"PM_POINTSPRITE", PM_POINTSPRITE},
    {"PM_BILLBOARD", PM_BILLBOARD},
};

constexpr script_enum_row_t kAngleTypeRows[] = {
    {"PAT_ALIGNTOMOTION", PAT_ALIGNTOMOTION},
    {"PAT_SPECIFY", PAT_SPECIFY},
};

constexpr script_enum_row_t kMuzzleShapeRows[] = {
    {"MS_POINT", MS_POINT},
    {"MS_LINE", MS_LINE},
    {"MS_ELLIPSE", MS_ELLIPSE},
    {"MS_AREA", MS_AREA},
};

constexpr script_enum_row_t kChgModeRows[] = {
    {"CHG_MODE_NONE", CHG_MODE_NONE},
    {"CHG_MODE_NUM_LIFE", CHG_MODE_NUM_LIFE},
    {"CHG_MODE_EMITRADIUS", CHG_MODE_EMITRADIUS},
};

}  // namespace

const script_enum_table_t kBlendModeNames{kBlendModeRows, kTokenBlendName,
                                          "Expecting alpha blend mode (D3DBLEND_ZERO, D3DBLEND_ONE, etc.).",
                                          "Invalid alpha blending mode!"};
const script_enum_table_t kTextureOpNames{kTextureOpRows, kTokenTextureOpName, "Expecting Texture Op.",
                                          "Invalid texture-blending operations!"};
const script_enum_table_t kBlendOpNames{kBlendOpRows, kTokenBlendOpName, "Expecting Blend operations.",
                                        "Invalid blend operations!"};
const script_enum_table_t kCoordsTypeNames{kCoordsTypeRows, kTokenCoordsName, "Expection coordiantes type.",
                                           "Invalid coordiantes type!"};
const script_enum_table_t kParticleModeNames{kParticleModeRows, kTokenParticleModeName, "Expection particle mode.",
                                             "Invalid particle mode!"};
const script_enum_table_t kAngleTypeNames{kAngleTypeRows, kTokenAngleTypeName, "Expection particle angle type.",
                                          "Invalid particle angle type!"};
const script_enum_table_t kMuzzleShapeNames{kMuzzleShapeRows, kTokenMuzzleShapeName, "Expection muzzle shape.",
                                            "Invalid muzzle shape!"};
const script_enum_table_t kChgModeNames{kChgModeRows, kTokenChgModeName, "Expection chg mode.", "Invalid chg mode!"};

bool FindEnumValue(const script_enum_table_t& table, std::string_view name, std::int32_t* value) {
    for (const script_enum_row_t& row : table.rows) {
        if (name == row.name) {
            *value = row.value;
            return true;
        }
    }
    return false;
}

const char* FindEnumName(const script_enum_table_t& table, std::int32_t value) {
    for (const script_enum_row_t& row : table.rows) {
        if (row.value == value) return row.name;
    }
    return "";
}

std::int32_t ReadEnum(script_cursor_t& cursor, const script_enum_table_t& table) {
    const script_token_t& token = CurrentToken(cursor);
    if (token.type != table.tokenType) throw ScriptError(table.expectedMessage);
    std::int32_t value = 0;
    if (!FindEnumValue(table, token.text, &value)) throw ScriptError(table.invalidMessage);
    NextToken(cursor);
    return value;
}
