#include "particle/beam_event_kinds.h"

#include "particle/particle_beam.h"
#include "particle/particle_sound.h"
#include "particle/script_number.h"
#include "particle/script_token_kinds.h"

namespace {

// Seconds from `event` to its ramp target on the beam clock; 1 when that is not positive.
float RampSpan(const CEventBase& event, const CEventBase& target) {
    const float span = target.GetEffectiveTime() - event.GetEffectiveTime();
    return span > 0.0f ? span : 1.0f;
}

// The rate at which an offset added to spawns moves from the beam's own draw toward the
// target's draw.
float OffsetRate(CBeamSingleEvent& event, value_range_t& beamRange) {
    CBeamSingleEvent* target = valued_event::RampTargetOf(event);
    if (target == nullptr) return 0.0f;
    const float to = SampleValueRange(target->Value());
    const float from = SampleValueRange(beamRange);
    return (to - from) / RampSpan(event, *target);
}

}  // namespace

void CParticleBeamEvent_EventTimer::Apply(CParticleBeam& beam) { beam.State().beamClock = SampleValueRange(Value()); }

void CParticleBeamEvent_NumParticles::Apply(CParticleBeam& beam) {
    if (!GetFade()) beam.ChangeNumParticles(ScriptToUInt32(SampleValueRange(Value())));
    ramp_t& ramp = beam.NumParticlesRamp();
    ramp.rate = 0.0f;
    CParticleBeamEvent_NumParticles* target = valued_event::RampTargetOf(*this);
    if (target == nullptr) return;
    const float to = SampleValueRange(target->Value());
    const float span = RampSpan(*this, *target);
    ramp.rate = (to - static_cast<float>(beam.GetNumParticles())) / span;
    ramp.remaining = span;
}

bool CParticleBeamEvent_NumParticles::Parse(script_cursor_t& cursor) {
    if (CurrentToken(cursor).text.find("NUMPARTICLES") == std::string::npos)
        throw ScriptError("Expecting NumParticles!");
    Value() = ReadAssignedValue(cursor);
    return true;
}

void CParticleBeamEvent_EmitSpeed::Apply(CParticleBeam& beam) {
    if (!GetFade()) beam.ChangeEmitSpeed(&Value());
    beam.State().emitSpeedOffsetRate = OffsetRate(*this, *beam.GetEmitSpeed());
}

void CParticleBeamEvent_EmitAngle::Apply(CParticleBeam& beam) {
    if (!GetFade()) beam.ChangeEmitAngle(&Value());
    beam.State().emitAngleOffsetRate = OffsetRate(*this, *beam.GetEmitAngle());
}

void CParticleBeamEvent_Position::Apply(CParticleBeam& beam) {
    beam_state_t& state = beam.State();
    if (!GetFade()) state.beamPosition = SampleVec3Range(Value());
    state.beamPositionRate = {0.0f, 0.0f, 0.0f};
    CParticleBeamEvent_Position* target = valued_event::RampTargetOf(*this);
    if (target == nullptr) return;
    // A copy is drawn: the target's own last draw stays.
    xyz_range_t range = target->Value();
    const vec3_t to = SampleVec3Range(range);
    const float span = RampSpan(*this, *target);
    const vec3_t& from = state.beamPosition;
    state.beamPositionRate = {(to.x - from.x) / span, (to.y - from.y) / span, (to.z - from.z) / span};
    state.beamPositionRemaining = span;
}

bool CParticleBeamEvent_PlaySound::SetValue(std::int32_t type, bool, const void* data) {
    if (type != kEventValueText || data == nullptr) return false;
    soundName_ = static_cast<const char*>(data);
    return true;
}

void CParticleBeamEvent_PlaySound::Apply(CParticleBeam& beam) {
    if (!soundName_.empty()) PlayBeamSound(soundName_, beam);
}

bool CParticleBeamEvent_PlaySound::Parse(script_cursor_t& cursor) {
    if (CurrentToken(cursor).text.find(GetKeyword()) == std::string::npos) throw ScriptError("Expection PlaySound!");
    NextToken(cursor);
    if (CurrentToken(cursor).type != kTokenEquals) throw ScriptError("Expecting = after property.");
    NextToken(cursor);
    soundName_ = StripQuotes(CurrentToken(cursor));
    NextToken(cursor);
    return true;
}
