#pragma once
// The 6 kinds of beam event (kind ids 0 to 5; the legacy build has the first three only).
// Their times are seconds on the beam clock; a fading event makes the one before it of its kind
// ramp toward it over the seconds between them. Values changed by beam events are play-time
// state: the beam's authored values (what a saved script holds) stay as set.
#include <string>

#include "particle/valued_event.h"

using CBeamSingleEvent = CValuedEvent<CParticleBeamEvent, value_range_t, kEventValueSingle>;
using CBeamXYZEvent = CValuedEvent<CParticleBeamEvent, xyz_range_t, kEventValueXYZ>;

// The beam clock := the draw, which replays or skips the beam's timeline. Applied after the
// other events of its chain, which also stops the emit-speed and emit-angle offsets.
class CParticleBeamEvent_EventTimer final : public CBeamSingleEvent {
public:
    CParticleBeamEvent_EventTimer() : CBeamSingleEvent(1, "EVENTTIMER", "Experting EventTimer!", false) {}
    std::int32_t GetEventType() override { return event_kind::kBeamEventTimer; }
    void Apply(CParticleBeam& beam) override;
};

// NUMPARTICLES and the spawn budget := the draw (truncated); ramps NUMPARTICLES. Its keyword
// field is "BEAMNUMPARTICLES"; scripts write NUMPARTICLES.
class CParticleBeamEvent_NumParticles final : public CBeamSingleEvent {
public:
    CParticleBeamEvent_NumParticles() : CBeamSingleEvent(2, "BEAMNUMPARTICLES", "Expecting NumParticles!", true) {}
    std::int32_t GetEventType() override { return event_kind::kBeamNumParticles; }
    void Apply(CParticleBeam& beam) override;
    bool Parse(script_cursor_t& cursor) override;
};

// EMITSPEED := the event's range; a ramp moves the emit-speed offset added to spawn speeds.
class CParticleBeamEvent_EmitSpeed final : public CBeamSingleEvent {
public:
    CParticleBeamEvent_EmitSpeed() : CBeamSingleEvent(3, "EMITSPEED", "Expecting EmitSpeed!", true) {}
    std::int32_t GetEventType() override { return event_kind::kBeamEmitSpeed; }
    void Apply(CParticleBeam& beam) override;
};

// BEAMPOS: the offset added to spawn positions := the draw; ramps it.
class CParticleBeamEvent_Position final : public CBeamXYZEvent {
public:
    CParticleBeamEvent_Position() : CBeamXYZEvent(4, "BEAMPOS", "Expecting BeamPosition", true) {}
    std::int32_t GetEventType() override { return event_kind::kBeamPosition; }
    void Apply(CParticleBeam& beam) override;
};

// Plays the emitter's sound of that name (PlayBeamSound); fading changes nothing. The value
// is the sound's name (kEventValueText).
class CParticleBeamEvent_PlaySound final : public CParticleBeamEvent {
public:
    CParticleBeamEvent_PlaySound() : CParticleBeamEvent(6, "PLAYSOUND") {}
    std::int32_t GetEventType() override { return event_kind::kBeamPlaySound; }
    std::int32_t GetValueType() override { return kEventValueText; }
    const void* GetValue() override { return soundName_.c_str(); }
    bool SetValue(std::int32_t type, bool whole, const void* data) override;
    void Apply(CParticleBeam& beam) override;
    bool SupportsFade() override { return true; }
    // "=" then the name, its quotes stripped.
    bool Parse(script_cursor_t& cursor) override;

    const std::string& GetSoundName() const { return soundName_; }

private:
    std::string soundName_;
};

// EMITANGLE := the event's range; a ramp moves the emit-angle offset (degrees).
class CParticleBeamEvent_EmitAngle final : public CBeamSingleEvent {
public:
    CParticleBeamEvent_EmitAngle() : CBeamSingleEvent(5, "EMITANGLE", "Expecting EmitAngle!", true) {}
    std::int32_t GetEventType() override { return event_kind::kBeamEmitAngle; }
    void Apply(CParticleBeam& beam) override;
};
