#pragma once
// The 17 kinds of particle event (kind ids 6 to 22; the legacy build has 16, ids 3 to 18, no
// MOTIONANGLE). Apply sets the particle's property unless the event fades, then ramps it toward
// its ramp target's draw over the time between the two events x the particle's lifetime (1 s
// when that is 0); without a target the ramp stops (rate 0). Angles are degrees in scripts and
// radians on particles.
#include "particle/valued_event.h"

using CParticleSingleEvent = CValuedEvent<CParticleEvent, value_range_t, kEventValueSingle>;
using CParticleColorEvent = CValuedEvent<CParticleEvent, color_range_t, kEventValueColor>;
using CParticleXYZEvent = CValuedEvent<CParticleEvent, xyz_range_t, kEventValueXYZ>;

// The particle's event clock := the draw: its timeline repeats or skips (age and lifetime
// stay). Applied after the other events of its chain. Does not fade.
class CParticleEvent_EventTimer final : public CParticleSingleEvent {
public:
    CParticleEvent_EventTimer() : CParticleSingleEvent(17, "EVENTTIMER", "Expecting EventTimer!", false) {}
    std::int32_t GetEventType() override { return event_kind::kEventTimer; }
    void Apply(CParticle& particle) override;
};

// Size (with lock aspect), size X, size Y.
class CParticleEvent_Size final : public CParticleSingleEvent {
public:
    CParticleEvent_Size() : CParticleSingleEvent(1, "SIZE", "Expecting Size!", true) {}
    std::int32_t GetEventType() override { return event_kind::kSize; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_SizeX final : public CParticleSingleEvent {
public:
    CParticleEvent_SizeX() : CParticleSingleEvent(2, "SIZEX", "Expecting SizeX!", true) {}
    std::int32_t GetEventType() override { return event_kind::kSizeX; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_SizeY final : public CParticleSingleEvent {
public:
    CParticleEvent_SizeY() : CParticleSingleEvent(3, "SIZEY", "Expecting SizeY!", true) {}
    std::int32_t GetEventType() override { return event_kind::kSizeY; }
    void Apply(CParticle& particle) override;
};

// One channel of the colour; the four channels share one ramp time.
class CParticleEvent_RedColor final : public CParticleSingleEvent {
public:
    CParticleEvent_RedColor() : CParticleSingleEvent(4, "REDCOLOR", "Expecting RedColor!", true) {}
    std::int32_t GetEventType() override { return event_kind::kRedColor; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_GreenColor final : public CParticleSingleEvent {
public:
    CParticleEvent_GreenColor() : CParticleSingleEvent(5, "GREENCOLOR", "Expecting GreenColor!", true) {}
    std::int32_t GetEventType() override { return event_kind::kGreenColor; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_BlueColor final : public CParticleSingleEvent {
public:
    CParticleEvent_BlueColor() : CParticleSingleEvent(6, "BLUECOLOR", "Expecting BlueColor!", true) {}
    std::int32_t GetEventType() override { return event_kind::kBlueColor; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_Alpha final : public CParticleSingleEvent {
public:
    CParticleEvent_Alpha() : CParticleSingleEvent(7, "ALPHA", "Expecting Alpha!", true) {}
    std::int32_t GetEventType() override { return event_kind::kAlpha; }
    void Apply(CParticle& particle) override;
};

// All four channels; an RGB value (alpha kColorKeepAlpha) leaves alpha and its rate alone,
// and alpha does not ramp toward an RGB target.
class CParticleEvent_Color final : public CParticleColorEvent {
public:
    CParticleEvent_Color() : CParticleColorEvent(8, "COLOR", "Expecting Color!", true) {}
    std::int32_t GetEventType() override { return event_kind::kColor; }
    void Apply(CParticle& particle) override;
};

// Velocity (one axis or all three); a ramp sets the acceleration, which stays in force until
// the next velocity event of the kind changes it.
class CParticleEvent_VelocityX final : public CParticleSingleEvent {
public:
    CParticleEvent_VelocityX() : CParticleSingleEvent(9, "VELOCITYX", "Expecting VelocityX!", true) {}
    std::int32_t GetEventType() override { return event_kind::kVelocityX; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_VelocityY final : public CParticleSingleEvent {
public:
    CParticleEvent_VelocityY() : CParticleSingleEvent(10, "VELOCITYY", "Expecting VelocityY!", true) {}
    std::int32_t GetEventType() override { return event_kind::kVelocityY; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_VelocityZ final : public CParticleSingleEvent {
public:
    CParticleEvent_VelocityZ() : CParticleSingleEvent(11, "VELOCITYZ", "Expecting VelocityZ!", true) {}
    std::int32_t GetEventType() override { return event_kind::kVelocityZ; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_Velocity final : public CParticleXYZEvent {
public:
    CParticleEvent_Velocity() : CParticleXYZEvent(12, "VELOCITY", "Expecting Velocity!", true) {}
    std::int32_t GetEventType() override { return event_kind::kVelocity; }
    void Apply(CParticle& particle) override;
};

// The quad's rotation. It has no ramp of its own (spin turns it), so a fading target has no
// effect on it.
class CParticleEvent_Angle final : public CParticleSingleEvent {
public:
    CParticleEvent_Angle() : CParticleSingleEvent(13, "ANGLE", "Expecting Angle!", true) {}
    std::int32_t GetEventType() override { return event_kind::kAngle; }
    void Apply(CParticle& particle) override;
};

// Direction of the speed component; with a SPEED event in the same chain it rebuilds the
// velocity. Not in the legacy build.
class CParticleEvent_MotionAngle final : public CParticleSingleEvent {
public:
    CParticleEvent_MotionAngle() : CParticleSingleEvent(14, "MOTIONANGLE", "Expecting MotionAngle!", true) {}
    std::int32_t GetEventType() override { return event_kind::kMotionAngle; }
    void Apply(CParticle& particle) override;
};

// Degrees per second added to the angle.
class CParticleEvent_Spin final : public CParticleSingleEvent {
public:
    CParticleEvent_Spin() : CParticleSingleEvent(15, "SPIN", "Expecting Spin!", true) {}
    std::int32_t GetEventType() override { return event_kind::kSpin; }
    void Apply(CParticle& particle) override;
};

class CParticleEvent_Speed final : public CParticleSingleEvent {
public:
    CParticleEvent_Speed() : CParticleSingleEvent(16, "SPEED", "Expecting Speed!", true) {}
    std::int32_t GetEventType() override { return event_kind::kSpeed; }
    void Apply(CParticle& particle) override;
};
