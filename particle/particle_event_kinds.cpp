#include "particle/particle_event_kinds.h"

#include <cmath>

#include "particle/particle.h"

namespace {

// Seconds from `event` to its ramp target on this particle's life; 1 when that is 0.
float RampSpan(const CEventBase& event, const CEventBase& target, const CParticle& particle) {
    const float span = (target.GetEffectiveTime() - event.GetEffectiveTime()) * particle.lifetime;
    return span == 0.0f ? 1.0f : span;
}

// A single value set (x unit) unless the event fades, then ramped toward the target's draw.
// `remaining` is the ramp's own time, or the one the colour channels share.
void ApplySingle(CParticleSingleEvent& event, const CParticle& particle, float unit, float& value, float& rate,
                 float* remaining) {
    if (!event.GetFade()) value = SampleValueRange(event.Value()) * unit;
    rate = 0.0f;
    if (CParticleSingleEvent* target = valued_event::RampTargetOf(event)) {
        const float span = RampSpan(event, *target, particle);
        rate = (SampleValueRange(target->Value()) * unit - value) / span;
        if (remaining != nullptr) *remaining = span;
    }
}

void ApplyRamp(CParticleSingleEvent& event, const CParticle& particle, ramp_t& ramp, float unit = 1.0f) {
    ApplySingle(event, particle, unit, ramp.value, ramp.rate, &ramp.remaining);
}

// One channel of the colour, with its rate.
void ApplyChannel(CParticleSingleEvent& event, CParticle& particle, float color4_t::*channel) {
    ApplySingle(event, particle, 1.0f, particle.color.*channel, particle.colorRate.*channel, &particle.colorRemaining);
}

// One axis of the velocity; its rate is the acceleration, which has no end time.
void ApplyVelocityAxis(CParticleSingleEvent& event, CParticle& particle, float vec3_t::*axis) {
    ApplySingle(event, particle, 1.0f, particle.velocity.*axis, particle.acceleration.*axis, nullptr);
}

}  // namespace

void CParticleEvent_EventTimer::Apply(CParticle& particle) { particle.eventClock = SampleValueRange(Value()); }

void CParticleEvent_Size::Apply(CParticle& particle) { ApplyRamp(*this, particle, particle.size); }

void CParticleEvent_SizeX::Apply(CParticle& particle) { ApplyRamp(*this, particle, particle.sizeX); }

void CParticleEvent_SizeY::Apply(CParticle& particle) { ApplyRamp(*this, particle, particle.sizeY); }

void CParticleEvent_RedColor::Apply(CParticle& particle) { ApplyChannel(*this, particle, &color4_t::r); }

void CParticleEvent_GreenColor::Apply(CParticle& particle) { ApplyChannel(*this, particle, &color4_t::g); }

void CParticleEvent_BlueColor::Apply(CParticle& particle) { ApplyChannel(*this, particle, &color4_t::b); }

void CParticleEvent_Alpha::Apply(CParticle& particle) { ApplyChannel(*this, particle, &color4_t::a); }

void CParticleEvent_Color::Apply(CParticle& particle) {
    // RGB(...) holds alpha kColorKeepAlpha: alpha is not this event's to change.
    const bool setsAlpha = !(Value().min.a < 0.0f);
    color4_t& color = particle.color;
    color4_t& rate = particle.colorRate;
    if (!GetFade()) {
        const color4_t draw = SampleColorRange(Value());
        color.r = draw.r;
        color.g = draw.g;
        color.b = draw.b;
        if (setsAlpha) color.a = draw.a;
    }
    rate.r = rate.g = rate.b = 0.0f;
    if (setsAlpha) rate.a = 0.0f;
    CParticleEvent_Color* target = valued_event::RampTargetOf(*this);
    if (target == nullptr) return;
    const float span = RampSpan(*this, *target, particle);
    const color4_t to = SampleColorRange(target->Value());
    rate.r = (to.r - color.r) / span;
    rate.g = (to.g - color.g) / span;
    rate.b = (to.b - color.b) / span;
    // An RGB target leaves alpha where it is rather than fading it toward -1.
    if (setsAlpha && !(target->Value().min.a < 0.0f)) rate.a = (to.a - color.a) / span;
    particle.colorRemaining = span;
}

void CParticleEvent_VelocityX::Apply(CParticle& particle) { ApplyVelocityAxis(*this, particle, &vec3_t::x); }

void CParticleEvent_VelocityY::Apply(CParticle& particle) { ApplyVelocityAxis(*this, particle, &vec3_t::y); }

void CParticleEvent_VelocityZ::Apply(CParticle& particle) { ApplyVelocityAxis(*this, particle, &vec3_t::z); }

void CParticleEvent_Velocity::Apply(CParticle& particle) {
    if (!GetFade()) particle.velocity = SampleVec3Range(Value());
    particle.acceleration = {0.0f, 0.0f, 0.0f};
    CParticleEvent_Velocity* target = valued_event::RampTargetOf(*this);
    if (target == nullptr) return;
    const float span = RampSpan(*this, *target, particle);
    const vec3_t to = SampleVec3Range(target->Value());
    particle.acceleration = {(to.x - particle.velocity.x) / span, (to.y - particle.velocity.y) / span,
                             (to.z - particle.velocity.z) / span};
}

void CParticleEvent_Angle::Apply(CParticle& particle) {
    if (!GetFade()) particle.angle = SampleValueRange(Value()) * kDegreesToRadians;
    // The target is drawn as every ramp target is, but the angle has no rate to take it.
    if (CParticleEvent_Angle* target = valued_event::RampTargetOf(*this)) SampleValueRange(target->Value());
}

void CParticleEvent_MotionAngle::Apply(CParticle& particle) {
    ApplyRamp(*this, particle, particle.motionAngle, kDegreesToRadians);
    if (!GetFade()) particle.angleChanged = 1;
}

void CParticleEvent_Spin::Apply(CParticle& particle) { ApplyRamp(*this, particle, particle.spin, kDegreesToRadians); }

void CParticleEvent_Speed::Apply(CParticle& particle) {
    ApplyRamp(*this, particle, particle.speed);
    if (GetFade()) return;
    if constexpr (lumi::kLegacy) {
        // The legacy event points the velocity along the motion angle at the new speed itself.
        particle.velocity.x = std::cos(particle.motionAngle.value) * particle.speed.value;
        particle.velocity.y = std::sin(particle.motionAngle.value) * particle.speed.value;
    } else {
        particle.speedChanged = 1;
    }
}
