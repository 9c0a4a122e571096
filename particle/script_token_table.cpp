// The classification rules of this build's script language, in test order. The order is
// part of the format: ANIMSIZE is a number property (not SIZE), EMITSPEED a number property
// while SPEED is a particle event, COLOROP a texture-op property while REDCOLOR is a colour
// event, NUMPARTICLES a number property while PARTICLE alone opens a particle block.
//
// The legacy language tests in the same order without the rows marked kCurrentOnly (no sound,
// EMITTERLIFE, EMITTERRATE, CHGMODE, animation, delay or track keywords, no BEAMPOS or
// MOTIONANGLE), and numbers its kinds its own way (script_token_kinds.h). Since the tests look
// for substrings, an unknown keyword may still fall into a kind: MOTIONANGLE and ANIMSIZE are
// events there.
#include <algorithm>
#include <array>

#include "particle/script_lexer.h"
#include "particle/script_token_kinds.h"

namespace {

constexpr auto kContains = script_token_rule_t::kContains;
constexpr auto kEquals = script_token_rule_t::kEquals;
constexpr bool kCurrentOnly = true;

// The current language's rules; the legacy language's are those not marked kCurrentOnly.
constexpr script_token_rule_t kAllRules[] = {
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
    {kContains, "EMITTERLIFE", kTokenEmitterProperty, kCurrentOnly},
    {kContains, "EMITTERRATE", kTokenEmitterProperty, kCurrentOnly},
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
    {kContains, "CHG_", kTokenChgModeName, kCurrentOnly},
    {kContains, "CHGMODE", kTokenChgModeProperty, kCurrentOnly},
    {kContains, "D3DTOP_", kTokenTextureOpName},
    {kContains, "COLOROP", kTokenTextureOpProperty},
    {kContains, "ALPHAOP", kTokenTextureOpProperty},
    {kContains, "LIFETIME", kTokenNumberProperty},
    {kContains, "EMITRATE", kTokenNumberProperty},
    {kContains, "NUMPARTICLES", kTokenNumberProperty},
    {kContains, "LOOPS", kTokenNumberProperty},  // no block takes it: the reader reports it
    {kContains, "EMITANGLE", kTokenNumberProperty},
    {kContains, "EMITSPEED", kTokenNumberProperty},
    {kContains, "ANIMROW", kTokenNumberProperty, kCurrentOnly},
    {kContains, "ANIMCOW", kTokenNumberProperty, kCurrentOnly},
    {kContains, "ANIMTIMES", kTokenNumberProperty, kCurrentOnly},
    {kContains, "ANIMTIME", kTokenNumberProperty, kCurrentOnly},
    {kContains, "ANIMACTUALCOUNT", kTokenNumberProperty, kCurrentOnly},
    {kContains, "ANIMSIZE", kTokenNumberProperty, kCurrentOnly},
    {kContains, "STARTANIMINDEX", kTokenNumberProperty, kCurrentOnly},
    {kContains, "DELAYTIMER", kTokenNumberProperty, kCurrentOnly},
    {kContains, "TRACKCOUNT", kTokenNumberProperty, kCurrentOnly},
    {kContains, "TRACKINDEX", kTokenNumberProperty, kCurrentOnly},
    {kContains, "TRACKTIME", kTokenNumberProperty, kCurrentOnly},
    {kContains, "SINGLEPARTICLE", kTokenBoolProperty},
    {kContains, "ISANIM", kTokenBoolProperty, kCurrentOnly},
    {kContains, "CIRCLEBEAM", kTokenBoolProperty},
    {kContains, "ATTACHEDTOEMITTER", kTokenBoolProperty},
    {kContains, "EMITRAND", kTokenBoolProperty},
    {kContains, "FLIPX", kTokenBoolProperty},
    {kContains, "FLIPY", kTokenBoolProperty},
    {kContains, "LOCKASPECT", kTokenBoolProperty},
    {kContains, "CIRCLEPLAY", kTokenBoolProperty, kCurrentOnly},
    {kContains, "TRACKMODE", kTokenBoolProperty, kCurrentOnly},
    {kContains, "TRACKRAND", kTokenBoolProperty, kCurrentOnly},
    {kContains, "SOUNDFILE", kTokenSoundText, kCurrentOnly},
    {kContains, "SOUNDVOLUME", kTokenSoundNumber, kCurrentOnly},
    {kContains, "SOUNDMINDISTANCE", kTokenSoundNumber, kCurrentOnly},
    {kContains, "SOUNDMAXDISTANCE", kTokenSoundNumber, kCurrentOnly},
    {kContains, "SOUND3D", kTokenSound3D, kCurrentOnly},
    {kContains, "PLAYSOUND", kTokenSoundText, kCurrentOnly},
    {kContains, "SOUND", kTokenSound, kCurrentOnly},
    {kContains, "SPAWNDIR", kTokenVectorProperty},
    {kContains, "GRAVITY", kTokenVectorProperty},
    {kContains, "EMITRADIUS", kTokenVectorProperty},
    {kContains, "POSITION", kTokenPosition},
    {kContains, "COORDINATES", kTokenCoordinates},
    {kContains, "SIZE", kTokenEventScalar},
    {kContains, "EVENTTIMER", kTokenEventScalar},
    {kContains, "ANGLE", kTokenEventScalar},
    {kContains, "MOTIONANGLE", kTokenEventScalar, kCurrentOnly},
    {kContains, "SPIN", kTokenEventScalar},
    {kContains, "SPEED", kTokenEventScalar},
    {kContains, "VELOCITY", kTokenEventVector},
    {kContains, "BEAMPOS", kTokenEventVector, kCurrentOnly},
    {kContains, "COLOR", kTokenEventColor},
    {kEquals, "ALPHA", kTokenEventColor},
    {kEquals, "PARTICLE", kTokenParticle},
};

// This build's rules, picked when the library is compiled.
constexpr auto kRules = [] {
    constexpr auto inLanguage = InScriptLanguage<script_token_rule_t>;
    std::array<script_token_rule_t, std::ranges::count_if(kAllRules, inLanguage)> rules{};
    std::ranges::copy_if(kAllRules, rules.begin(), inLanguage);
    return rules;
}();

}  // namespace

std::span<const script_token_rule_t> ScriptTokenRules() { return kRules; }
