// The classification rules of this build's script language, in test order. The order is
// part of the format: ANIMSIZE is a number property (not SIZE), EMITSPEED a number property
// while SPEED is a particle event, COLOROP a texture-op property while REDCOLOR is a colour
// event, NUMPARTICLES a number property while PARTICLE alone opens a particle block.
//
// The legacy language tests in the same order without its missing keywords (no sound,
// EMITTERLIFE, EMITTERRATE, CHGMODE, animation, delay or track keywords, no BEAMPOS or
// MOTIONANGLE), and numbers its kinds its own way (script_token_kinds.h). Since the tests look
// for substrings, an unknown keyword may still fall into a kind: MOTIONANGLE and ANIMSIZE are
// events there.
#include "core/build_variant.h"
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
    {kEquals, "SO", kTokenSo},  // contains SO and is two characters long
    {kEquals, "AT", kTokenAt},
    {kContains, "COORDS_", kTokenCoordsName},
#if !LUMI_LEGACY
    {kContains, "EMITTERLIFE", kTokenEmitterProperty},
    {kContains, "EMITTERRATE", kTokenEmitterProperty},
#endif
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
#if !LUMI_LEGACY
    {kContains, "CHG_", kTokenChgModeName},
    {kContains, "CHGMODE", kTokenChgModeProperty},
#endif
    {kContains, "D3DTOP_", kTokenTextureOpName},
    {kContains, "COLOROP", kTokenTextureOpProperty},
    {kContains, "ALPHAOP", kTokenTextureOpProperty},
    {kContains, "LIFETIME", kTokenNumberProperty},
    {kContains, "EMITRATE", kTokenNumberProperty},
    {kContains, "NUMPARTICLES", kTokenNumberProperty},
    {kContains, "LOOPS", kTokenNumberProperty},  // no block takes it: the reader reports it
    {kContains, "EMITANGLE", kTokenNumberProperty},
    {kContains, "EMITSPEED", kTokenNumberProperty},
#if !LUMI_LEGACY
    {kContains, "ANIMROW", kTokenNumberProperty},
    {kContains, "ANIMCOW", kTokenNumberProperty},
    {kContains, "ANIMTIMES", kTokenNumberProperty},
    {kContains, "ANIMTIME", kTokenNumberProperty},
    {kContains, "ANIMACTUALCOUNT", kTokenNumberProperty},
    {kContains, "ANIMSIZE", kTokenNumberProperty},
    {kContains, "STARTANIMINDEX", kTokenNumberProperty},
    {kContains, "DELAYTIMER", kTokenNumberProperty},
    {kContains, "TRACKCOUNT", kTokenNumberProperty},
    {kContains, "TRACKINDEX", kTokenNumberProperty},
    {kContains, "TRACKTIME", kTokenNumberProperty},
#endif
    {kContains, "SINGLEPARTICLE", kTokenBoolProperty},
#if !LUMI_LEGACY
    {kContains, "ISANIM", kTokenBoolProperty},
#endif
    {kContains, "CIRCLEBEAM", kTokenBoolProperty},
    {kContains, "ATTACHEDTOEMITTER", kTokenBoolProperty},
    {kContains, "EMITRAND", kTokenBoolProperty},
    {kContains, "FLIPX", kTokenBoolProperty},
    {kContains, "FLIPY", kTokenBoolProperty},
    {kContains, "LOCKASPECT", kTokenBoolProperty},
#if !LUMI_LEGACY
    {kContains, "CIRCLEPLAY", kTokenBoolProperty},
    {kContains, "TRACKMODE", kTokenBoolProperty},
    {kContains, "TRACKRAND", kTokenBoolProperty},
    {kContains, "SOUNDFILE", kTokenSoundText},
    {kContains, "SOUNDVOLUME", kTokenSoundNumber},
    {kContains, "SOUNDMINDISTANCE", kTokenSoundNumber},
    {kContains, "SOUNDMAXDISTANCE", kTokenSoundNumber},
    {kContains, "SOUND3D", kTokenSound3D},
    {kContains, "PLAYSOUND", kTokenSoundText},
    {kContains, "SOUND", kTokenSound},
#endif
    {kContains, "SPAWNDIR", kTokenVectorProperty},
    {kContains, "GRAVITY", kTokenVectorProperty},
    {kContains, "EMITRADIUS", kTokenVectorProperty},
    {kContains, "POSITION", kTokenPosition},
    {kContains, "COORDINATES", kTokenCoordinates},
    {kContains, "SIZE", kTokenEventScalar},
    {kContains, "EVENTTIMER", kTokenEventScalar},
    {kContains, "ANGLE", kTokenEventScalar},
#if !LUMI_LEGACY
    {kContains, "MOTIONANGLE", kTokenEventScalar},
#endif
    {kContains, "SPIN", kTokenEventScalar},
    {kContains, "SPEED", kTokenEventScalar},
    {kContains, "VELOCITY", kTokenEventVector},
#if !LUMI_LEGACY
    {kContains, "BEAMPOS", kTokenEventVector},
#endif
    {kContains, "COLOR", kTokenEventColor},
    {kEquals, "ALPHA", kTokenEventColor},
    {kEquals, "PARTICLE", kTokenParticle},
};

}  // namespace

std::span<const script_token_rule_t> ScriptTokenRules() { return kRules; }
