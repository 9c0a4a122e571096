#pragma once
// The parts of a particle's step that both builds' CParticle::Move take: particle.cpp, and
// legacy/particle_beam_legacy.cpp in the legacy build. Inline, since they run for every live
// particle on every update; only the files that define a Move include this.
#include <cmath>

#include "particle/particle.h"

namespace particle_step {

inline constexpr float kMinStep = 0.000001f;       // seconds: a step never stalls completely
inline constexpr float kVerticalSlope = 0.00001f;  // |vx| at or below this points the motion straight up or down
inline constexpr float kHalfPi = 1.5707964f;

}  // namespace particle_step

inline float CParticle::BeginStep(float frameTime, float timeScale) {
    if (!alive) return 0.0f;
    float t = (frameTime - lastUpdateTime) * timeScale;
    if (!(t > 0.0f)) return 0.0f;
    if (eventClock + t > nextEventTime) t = std::fmax(nextEventTime - eventClock, particle_step::kMinStep);
    // The frame clock is consumed unscaled, so that a time scale changes the particle's pace
    // rather than the length of its steps.
    lastUpdateTime += t / timeScale;
    age += t;
    eventClock += t;
    if (!immortal && !circle && age > lifetime) {
        alive = 0;
        return 0.0f;
    }

    if (lockAspect) {
        StepRamp(size, t);
    } else {
        StepRamp(sizeX, t);
        StepRamp(sizeY, t);
    }
    return t;
}

inline void CParticle::Accelerate(const vec3_t& gravity, float t) {
    velocity.x += (acceleration.x + gravity.x) * t;
    velocity.y += (acceleration.y + gravity.y) * t;
    velocity.z += (acceleration.z + gravity.z) * t;
}

inline void CParticle::AimAlongVelocity() {
    if (std::fabs(velocity.x) > particle_step::kVerticalSlope) {
        motionAngle.value = std::atan2(velocity.y, velocity.x);
    } else if (velocity.y > 0.0f) {
        motionAngle.value = particle_step::kHalfPi;
    } else if (velocity.y < 0.0f) {
        motionAngle.value = -particle_step::kHalfPi;
    }
}

inline void CParticle::Drift(float t) {
    position.x += velocity.x * t;
    position.y += velocity.y * t;
    position.z += velocity.z * t;
}
