#include "particle/particle.h"

#include <cmath>

#include "particle/particle_step.h"

void CParticle::StepColor(float t) {
    const float step = colorRemaining < t ? colorRemaining : t;
    color.r += step * colorRate.r;
    color.g += step * colorRate.g;
    color.b += step * colorRate.b;
    color.a += step * colorRate.a;
    colorRemaining -= step;
}

bool CParticle::Move(float frameTime, const vec3_t& emitter, const vec3_t& gravity, float timeScale,
                     std::uint32_t radiusLimit) {
    const float t = BeginStep(frameTime, timeScale);
    if (t == 0.0f) return alive != 0;
    StepRamp(speed, t);
    StepRamp(motionAngle, t);

    if (!speedVectorValid || speed.value != speedVectorSpeed || motionAngle.value != speedVectorAngle) {
        const vec3_t v{std::cos(motionAngle.value) * speed.value, std::sin(motionAngle.value) * speed.value, 0.0f};
        velocity.x += v.x - lastSpeedVector.x;
        velocity.y += v.y - lastSpeedVector.y;
        velocity.z += v.z - lastSpeedVector.z;
        lastSpeedVector = v;
        speedVectorSpeed = speed.value;
        speedVectorAngle = motionAngle.value;
        speedVectorValid = 1;
    }

    StepColor(t);
    StepRamp(spin, t);
    angle += spin.value * t;

    if (track) {
        segmentDone = 0;
        if (segmentElapsed < segmentTime) {
            position.x += segmentVelocity.x * t;
            position.y += segmentVelocity.y * t;
            position.z += segmentVelocity.z * t;
            segmentElapsed += t;
        } else {
            segmentDone = 1;
            segmentElapsed = 0.0f;
        }
    } else {
        Accelerate(gravity, t);
        if (speed.value == 0.0f) AimAlongVelocity();
        if (radiusLimit == 0 ||
            std::sqrt(position.x * position.x + position.y * position.y) <= static_cast<float>(radiusLimit)) {
            Drift(t);
        }
    }
    if (attached) emitterPosition = emitter;
    return true;
}

void CParticle::StartSegment(const vec3_t& a, const vec3_t& b, float seconds) {
    segmentTime = seconds;
    segmentStart = a;
    segmentEnd = b;
    if (!(seconds > 0.0f)) {
        // No time to run it: the segment is run through at once.
        position = b;
        segmentVelocity = {0.0f, 0.0f, 0.0f};
        return;
    }
    position = a;
    const float perSecond = 1.0f / seconds;
    segmentVelocity = {(b.x - a.x) * perSecond, (b.y - a.y) * perSecond, (b.z - a.z) * perSecond};
}

void CParticle::RebuildVelocityFromSpeed() {
    velocity = {std::cos(motionAngle.value) * speed.value, std::sin(motionAngle.value) * speed.value, velocity.z};
    // The whole velocity now counts as speed component, z included, so the next step's
    // component (z 0) takes that z out again.
    lastSpeedVector = velocity;
    speedVectorValid = 0;
    speedChanged = 0;
    angleChanged = 0;
}
