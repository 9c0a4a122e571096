// The beam's PARTICLEBEAM block in the legacy build's script language: its properties only, in
// its order (LIFETIME and EMITRADIUS as the beam holds them), then the PARTICLE block, then the
// beam events.
#include <string>

#include "particle/particle_beam.h"
#include "particle/particle_names.h"
#include "particle/particle_script_writer.h"

void CParticleBeam::WriteScript(std::string& text, const std::string& indent) {
    const std::string inner = indent + '\t';
    AppendBlockHead(text, indent, "PARTICLEBEAM", WideToAnsiCapped(name_, kScriptFileNameBytes));
    AppendLine(text, inner, "SOURCEBLENDMODE", FormatBlendMode(sourceBlendMode_));
    AppendLine(text, inner, "DESTBLENDMODE", FormatBlendMode(destBlendMode_));
    AppendLine(text, inner, "BLENDOP", FormatBlendOp(blendOp_));
    AppendLine(text, inner, "PARTICLEMODE", FormatParticleMode(particleMode_));
    AppendLine(text, inner, "PARTICLEANGLETYPE", FormatParticleAngleType(particleAngleType_));
    AppendLine(text, inner, "MUZZLESHAPE", FormatMuzzleShape(muzzleShape_));
    AppendLine(text, inner, "ALPHAOP", FormatTextureOp(alphaOp_));
    AppendLine(text, inner, "COLOROP", FormatTextureOp(colorOp_));
    AppendLine(text, inner, "SINGLEPARTICLE", FormatBool(singleParticle_));
    AppendLine(text, inner, "CIRCLEBEAM", FormatBool(circleBeam_));
    AppendLine(text, inner, "ATTACHEDTOEMITTER", FormatBool(attachedToEmitter_));
    AppendLine(text, inner, "FLIPX", FormatBool(flipX_));
    AppendLine(text, inner, "FLIPY", FormatBool(flipY_));
    AppendLine(text, inner, "LOCKASPECT", FormatBool(lockAspect_));
    AppendLine(text, inner, "EMITRAND", FormatBool(emitRand_));
    AppendLine(text, inner, "NUMPARTICLES", FormatNumber(static_cast<float>(authoredNumParticles_)));
    AppendLine(text, inner, "EMITRATE", FormatValueRange(emitRate_));
    AppendLine(text, inner, "EMITRADIUS", FormatXYZRange(emitRadius_));
    AppendLine(text, inner, "LIFETIME", FormatValueRange(lifeTime_));
    AppendLine(text, inner, "GRAVITY", FormatXYZRange(gravity_));
    AppendLine(text, inner, "EMITANGLE", FormatValueRange(authoredEmitAngle_));
    AppendLine(text, inner, "EMITSPEED", FormatValueRange(authoredEmitSpeed_));
    AppendLine(text, inner, "TEXTURE", WideToAnsiCapped(textureName_, kScriptFileNameBytes), true);
    const uv_range_t refPoint{refPoint_[0], refPoint_[1], refPoint_[0], refPoint_[1], 0.0f, 0.0f};
    AppendLine(text, inner, "REFPOINT", FormatUVRange(refPoint));

    AppendParticleBlock(text, inner, particleEvents_);
    AppendBeamEvents(text, inner, beamEvents_);
    text += '\n' + indent + "}\n";
}
