// The classification rules of the legacy script language, in the current language's test
// order with its own keywords only: no sound, EMITTERLIFE, EMITTERRATE, CHGMODE, animation,
// delay or track keywords, no BEAMPOS or MOTIONANGLE. Since the tests look for substrings, an
// unknown keyword may still fall into a kind: MOTIONANGLE and ANIMSIZE are events there.
#include "particle/script_lexer.h"
#include "particle/script_token_kinds.h"

namespace {

constexpr auto kContains = script_token_rule_t::kContains;
constexpr auto kEquals = script_token_rule_t::kEquals;

constexpr script_token_rule_t kRules[] = {
    {kContains, "PARTICLEEMITTER", kTokenParticleEmitter},
    {kContains, "PARTICLEBEAM", kTokenParticleBeam},
    {kContains, "RANDOM", kTokenRandom},
    {kContains, "XYZ", kTokenXyz},
    {kContains, "UV", kTokenUv},
    {kContains, "RGBA", kTokenRgba},
    {kContains, "RGB", kTokenRgb},
    {kContains, "FADE", kTokenFade},
    {kEquals, "TRUE", kTokenTrue},
    {kEquals, "FALSE", kTokenFalse},
    {kContains, "INITIAL", kTokenInitial},
    {kContains, "FINAL", kTokenFinal},
    {kContains, "TEXTURE", kTokenTexture},
    {kContains, "REFPOINT", kTokenRefPoint},
    {kEquals, "SO", kTokenSo},
    {kEquals, "AT", kTokenAt},
    {kContains, "COORDS_", kTokenCoordsName},
    {kContains, "D3DBLENDOP_", kTokenBlendOpName},
    {kContains, "BLENDOP", kTokenBlendOpProperty},
    {kContains, "D3DBLEND_", kTokenBlendName},
    {kContains, "SOURCEBLENDMODE", kTokenBlendModeProperty},
    {kContains, "DESTBLENDMODE", kTokenBlendModeProperty},
    {kContains, "PM_", kTokenParticleModeName},
    {kContains, "PARTICLEMODE", kTokenParticleModeProperty},
    {kContains, "PAT_", kTokenAngleTypeName},
    {kContains, "PARTICLEANGLETYPE", kTokenAngleTypeProperty},
    {kContains, "MS_", kTokenMuzzleShapeName},
    {kContains, "MUZZLESHAPE", kTokenMuzzleShapeProperty},
    {kContains, "D3DTOP_", kTokenTextureOpName},
    {kContains, "COLOROP", kTokenTextureOpProperty},
    {kContains, "ALPHAOP", kTokenTextureOpProperty},
    {kContains, "LIFETIME", kTokenNumberProperty},
    {kContains, "EMITRATE", kTokenNumberProperty},
    {kContains, "NUMPARTICLES", kTokenNumberProperty},
    {kContains, "LOOPS", kTokenNumberProperty},  // no block takes it: the reader reports it
    {kContains, "EMITANGLE", kTokenNumberProperty},
    {kContains, "EMITSPEED", kTokenNumberProperty},
    {kContains, "SINGLEPARTICLE", kTokenBoolProperty},
    {kContains, "CIRCLEBEAM", kTokenBoolProperty},
    {kContains, "ATTACHEDTOEMITTER", kTokenBoolProperty},
    {kContains, "EMITRAND", kTokenBoolProperty},
    {kContains, "FLIPX", kTokenBoolProperty},
    {kContains, "FLIPY", kTokenBoolProperty},
    {kContains, "LOCKASPECT", kTokenBoolProperty},
    {kContains, "SPAWNDIR", kTokenVectorProperty},
    {kContains, "GRAVITY", kTokenVectorProperty},
    {kContains, "EMITRADIUS", kTokenVectorProperty},
    {kContains, "POSITION", kTokenPosition},
    {kContains, "COORDINATES", kTokenCoordinates},
    {kContains, "SIZE", kTokenEventScalar},
    {kContains, "EVENTTIMER", kTokenEventScalar},
    {kContains, "ANGLE", kTokenEventScalar},
    {kContains, "SPIN", kTokenEventScalar},
    {kContains, "SPEED", kTokenEventScalar},
    {kContains, "VELOCITY", kTokenEventVector},
    {kContains, "COLOR", kTokenEventColor},
    {kEquals, "ALPHA", kTokenEventColor},
    {kEquals, "PARTICLE", kTokenParticle},
};

}  // namespace

std::span<const script_token_rule_t> ScriptTokenRules() { return kRules; }
