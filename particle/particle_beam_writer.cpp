// The beam's PARTICLEBEAM block in the current build's script language: every property as
// authored, the beam events by kind, then the PARTICLE block. The legacy build writes its own
// language (legacy/particle_beam_writer_legacy.cpp).
#include <string>

#include "particle/particle_beam.h"
#include "particle/particle_names.h"
#include "particle/particle_script_writer.h"

void CParticleBeam::WriteScript(std::string& text, const std::string& indent) {
    const std::string inner = indent + '\t';
    AppendBlockHead(text, indent, "PARTICLEBEAM", WideToAnsiCapped(name_, kScriptFileNameBytes));
    AppendLine(text, inner, "TEXTURE", WideToAnsiCapped(textureName_, kScriptFileNameBytes), true);
    AppendLine(text, inner, "NUMPARTICLES", FormatNumber(static_cast<float>(authoredNumParticles_)));
    AppendLine(text, inner, "SOURCEBLENDMODE", FormatBlendMode(sourceBlendMode_));
    AppendLine(text, inner, "DESTBLENDMODE", FormatBlendMode(destBlendMode_));
    AppendLine(text, inner, "BLENDOP", FormatBlendOp(blendOp_));
    AppendLine(text, inner, "COLOROP", FormatTextureOp(colorOp_));
    AppendLine(text, inner, "ALPHAOP", FormatTextureOp(alphaOp_));
    const uv_range_t refPoint{refPoint_[0], refPoint_[1], refPoint_[0], refPoint_[1], 0.0f, 0.0f};
    AppendLine(text, inner, "REFPOINT", FormatUVRange(refPoint));
    AppendLine(text, inner, "PARTICLEMODE", FormatParticleMode(particleMode_));
    AppendLine(text, inner, "PARTICLEANGLETYPE", FormatParticleAngleType(particleAngleType_));
    AppendLine(text, inner, "MUZZLESHAPE", FormatMuzzleShape(muzzleShape_));
    AppendLine(text, inner, "ATTACHEDTOEMITTER", FormatBool(attachedToEmitter_));
    AppendLine(text, inner, "CIRCLEPLAY", FormatBool(circlePlay_));
    AppendLine(text, inner, "EMITRAND", FormatBool(emitRand_));
    AppendLine(text, inner, "SINGLEPARTICLE", FormatBool(singleParticle_));
    AppendLine(text, inner, "ISANIM", FormatBool(isAnim_));
    AppendLine(text, inner, "CIRCLEBEAM", FormatBool(circleBeam_));
    AppendLine(text, inner, "FLIPX", FormatBool(flipX_));
    AppendLine(text, inner, "FLIPY", FormatBool(flipY_));
    AppendLine(text, inner, "LOCKASPECT", FormatBool(lockAspect_));
    AppendLine(text, inner, "LIFETIME", FormatValueRange(baseLifeTime_));
    AppendLine(text, inner, "EMITRATE", FormatValueRange(emitRate_));
    AppendLine(text, inner, "EMITANGLE", FormatValueRange(authoredEmitAngle_));
    AppendLine(text, inner, "EMITSPEED", FormatValueRange(authoredEmitSpeed_));
    AppendLine(text, inner, "EMITRADIUS", FormatXYZRange(baseEmitRadius_));
    AppendLine(text, inner, "GRAVITY", FormatXYZRange(gravity_));
    AppendLine(text, inner, "DELAYTIMER", FormatNumber(delayTimer_));
    AppendLine(text, inner, "ANIMROW", FormatNumber(animRow_));
    AppendLine(text, inner, "ANIMCOW", FormatNumber(animCow_));
    AppendLine(text, inner, "ANIMACTUALCOUNT", FormatNumber(animActualCount_));
    AppendLine(text, inner, "ANIMSIZE", FormatNumber(animSize_));
    AppendLine(text, inner, "ANIMTIMES", FormatNumber(animTimes_));
    AppendLine(text, inner, "STARTANIMINDEX", FormatNumber(startAnimIndex_));
    // The reader takes the cell from the pair's first number.
    for (std::size_t i = 0; i < animCells_.size(); ++i) {
        if (animCells_[i].time == animTimes_) continue;
        const float cell = static_cast<float>(i);
        const value_range_t cellTime{cell, animCells_[i].time, 0.0f};
        AppendLine(text, inner, ("ANIMTIME_" + FormatNumber(cell)).c_str(), FormatValueRange(cellTime));
    }
    AppendLine(text, inner, "CHGMODE", FormatChgMode(chgMode_));
    AppendLine(text, inner, "TRACKMODE", FormatBool(trackMode_));
    AppendLine(text, inner, "TRACKCOUNT", FormatNumber(trackCount_));
    AppendLine(text, inner, "TRACKINDEX", FormatNumber(trackIndex_));
    AppendLine(text, inner, "TRACKTIME", FormatNumber(trackTime_));
    AppendLine(text, inner, "TRACKRAND", FormatBool(trackRand_));

    AppendBeamEvents(text, inner, beamEvents_);

    AppendParticleBlock(text, inner, particleEvents_);
    text += '\n' + indent + "}\n";
}
