#pragma once
// The token kinds of the particle script: the number ClassifyToken gives each token and the
// reader tests. Code compares tokens with these names only, never with their numbers: the
// numbers are this build's (the legacy language numbers its kinds differently and brings its
// own table).
#include <cstdint>

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
