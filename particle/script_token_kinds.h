#pragma once
// The token kinds of the particle script: the number ClassifyToken gives each token and the
// reader tests. Code compares tokens with these names only, never with their numbers: the
// numbers are this build's (the legacy language numbers its kinds differently and brings its
// own table).
#include <cstdint>

#include "core/build_variant.h"

// The legacy language is the current one without some keywords, properties and events. The
// tables of the script (token rules, beam properties) mark their rows the legacy language
// lacks with `currentOnly`; this is the one test of that mark.
template <class Row>
constexpr bool InScriptLanguage(const Row& row) {
    return !(lumi::kLegacy && row.currentOnly);
}

#if LUMI_LEGACY
// The legacy language (script_token_table.cpp tells which keywords it knows). It has no sound,
// emitter-property or CHGMODE tokens: their names hold numbers no token is given.
inline constexpr std::int32_t kTokenNumber = 1;
inline constexpr std::int32_t kTokenEquals = 2;
inline constexpr std::int32_t kTokenComma = 3;
inline constexpr std::int32_t kTokenOpenParen = 4;
inline constexpr std::int32_t kTokenCloseParen = 5;
inline constexpr std::int32_t kTokenOpenBrace = 6;
inline constexpr std::int32_t kTokenCloseBrace = 7;
inline constexpr std::int32_t kTokenString = 8;
inline constexpr std::int32_t kTokenParticleEmitter = 9;
inline constexpr std::int32_t kTokenParticleBeam = 10;
inline constexpr std::int32_t kTokenParticle = 11;
inline constexpr std::int32_t kTokenRandom = 12;
inline constexpr std::int32_t kTokenXyz = 13;
inline constexpr std::int32_t kTokenUv = 14;
inline constexpr std::int32_t kTokenRgb = 15;
inline constexpr std::int32_t kTokenRgba = 16;
inline constexpr std::int32_t kTokenTexture = 17;
inline constexpr std::int32_t kTokenRefPoint = 18;
inline constexpr std::int32_t kTokenTrue = 19;
inline constexpr std::int32_t kTokenFalse = 20;
inline constexpr std::int32_t kTokenPosition = 21;
inline constexpr std::int32_t kTokenCoordinates = 22;
inline constexpr std::int32_t kTokenCoordsName = 23;
inline constexpr std::int32_t kTokenBlendModeProperty = 24;
inline constexpr std::int32_t kTokenTextureOpProperty = 25;
inline constexpr std::int32_t kTokenBlendOpProperty = 26;
inline constexpr std::int32_t kTokenNumberProperty = 27;
inline constexpr std::int32_t kTokenVectorProperty = 28;
inline constexpr std::int32_t kTokenBoolProperty = 29;
inline constexpr std::int32_t kTokenParticleModeProperty = 30;
inline constexpr std::int32_t kTokenAngleTypeProperty = 31;
inline constexpr std::int32_t kTokenMuzzleShapeProperty = 32;
inline constexpr std::int32_t kTokenBlendName = 33;
inline constexpr std::int32_t kTokenTextureOpName = 34;
inline constexpr std::int32_t kTokenBlendOpName = 35;
inline constexpr std::int32_t kTokenParticleModeName = 36;
inline constexpr std::int32_t kTokenAngleTypeName = 37;
inline constexpr std::int32_t kTokenMuzzleShapeName = 38;
inline constexpr std::int32_t kTokenFade = 39;
inline constexpr std::int32_t kTokenSo = 40;
inline constexpr std::int32_t kTokenAt = 41;
inline constexpr std::int32_t kTokenInitial = 42;
inline constexpr std::int32_t kTokenFinal = 43;
inline constexpr std::int32_t kTokenEventScalar = 44;
inline constexpr std::int32_t kTokenEventVector = 45;
inline constexpr std::int32_t kTokenEventColor = 46;
inline constexpr std::int32_t kTokenOther = 47;
inline constexpr std::int32_t kTokenSound = 101;
inline constexpr std::int32_t kTokenEmitterProperty = 102;
inline constexpr std::int32_t kTokenSoundText = 103;
inline constexpr std::int32_t kTokenSoundNumber = 104;
inline constexpr std::int32_t kTokenSound3D = 105;
inline constexpr std::int32_t kTokenChgModeProperty = 106;
inline constexpr std::int32_t kTokenChgModeName = 107;
#else
// Decided by the first character; the text keeps its case.
inline constexpr std::int32_t kTokenNumber = 1;      // starts with a digit or "-"
inline constexpr std::int32_t kTokenEquals = 2;      // starts with "="
inline constexpr std::int32_t kTokenComma = 3;
inline constexpr std::int32_t kTokenOpenParen = 4;
inline constexpr std::int32_t kTokenCloseParen = 5;
inline constexpr std::int32_t kTokenOpenBrace = 6;
inline constexpr std::int32_t kTokenCloseBrace = 7;
inline constexpr std::int32_t kTokenString = 8;      // starts with a double quote

// Decided by the keywords the upper-cased text contains (see ClassifyToken).
inline constexpr std::int32_t kTokenParticleEmitter = 9;
inline constexpr std::int32_t kTokenSound = 10;              // opens a sound block
inline constexpr std::int32_t kTokenParticleBeam = 11;
inline constexpr std::int32_t kTokenParticle = 12;           // opens a particle-event block
inline constexpr std::int32_t kTokenRandom = 13;
inline constexpr std::int32_t kTokenXyz = 14;
inline constexpr std::int32_t kTokenUv = 15;
inline constexpr std::int32_t kTokenRgb = 16;
inline constexpr std::int32_t kTokenRgba = 17;
inline constexpr std::int32_t kTokenTexture = 18;
inline constexpr std::int32_t kTokenRefPoint = 19;
inline constexpr std::int32_t kTokenTrue = 20;
inline constexpr std::int32_t kTokenFalse = 21;
inline constexpr std::int32_t kTokenPosition = 22;
inline constexpr std::int32_t kTokenCoordinates = 23;
inline constexpr std::int32_t kTokenCoordsName = 24;         // COORDS_...
inline constexpr std::int32_t kTokenEmitterProperty = 25;    // EMITTERLIFE, EMITTERRATE
inline constexpr std::int32_t kTokenSoundText = 26;          // SOUNDFILE, PLAYSOUND
inline constexpr std::int32_t kTokenSoundNumber = 27;        // SOUNDVOLUME, SOUNDMIN/MAXDISTANCE
inline constexpr std::int32_t kTokenSound3D = 28;
inline constexpr std::int32_t kTokenBlendModeProperty = 29;  // SOURCEBLENDMODE, DESTBLENDMODE
inline constexpr std::int32_t kTokenTextureOpProperty = 30;  // COLOROP, ALPHAOP
inline constexpr std::int32_t kTokenBlendOpProperty = 31;    // BLENDOP
inline constexpr std::int32_t kTokenNumberProperty = 32;     // numeric beam properties
inline constexpr std::int32_t kTokenVectorProperty = 33;     // SPAWNDIR, GRAVITY, EMITRADIUS
inline constexpr std::int32_t kTokenBoolProperty = 34;       // boolean beam properties
inline constexpr std::int32_t kTokenParticleModeProperty = 35;
inline constexpr std::int32_t kTokenAngleTypeProperty = 36;  // PARTICLEANGLETYPE
inline constexpr std::int32_t kTokenMuzzleShapeProperty = 37;
inline constexpr std::int32_t kTokenChgModeProperty = 38;
inline constexpr std::int32_t kTokenBlendName = 39;          // D3DBLEND_...
inline constexpr std::int32_t kTokenTextureOpName = 40;      // D3DTOP_...
inline constexpr std::int32_t kTokenBlendOpName = 41;        // D3DBLENDOP_...
inline constexpr std::int32_t kTokenParticleModeName = 42;   // PM_...
inline constexpr std::int32_t kTokenAngleTypeName = 43;      // PAT_...
inline constexpr std::int32_t kTokenMuzzleShapeName = 44;    // MS_...
inline constexpr std::int32_t kTokenChgModeName = 45;        // CHG_...
inline constexpr std::int32_t kTokenFade = 46;
inline constexpr std::int32_t kTokenSo = 47;
inline constexpr std::int32_t kTokenAt = 48;
inline constexpr std::int32_t kTokenInitial = 49;
inline constexpr std::int32_t kTokenFinal = 50;
inline constexpr std::int32_t kTokenEventScalar = 51;        // SIZE, EVENTTIMER, ANGLE, SPIN, SPEED, ...
inline constexpr std::int32_t kTokenEventVector = 52;        // VELOCITY, BEAMPOS
inline constexpr std::int32_t kTokenEventColor = 53;         // COLOR, ALPHA
inline constexpr std::int32_t kTokenOther = 54;              // anything else
#endif
