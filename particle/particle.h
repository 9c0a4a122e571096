#pragma once
// CParticle: one live particle of a beam. Records come from the "CParticle" pool and sit on
// their beam's live list through the node they hold; the beam creates them when it spawns
// and returns them to the pool when they die or the beam is destroyed.
//
// A ramp is a value with its rate per second and the seconds it still runs (ramp_t).
//
// Time: the particle follows the frame clock (its last update time); its age and event clock
// advance by that time x the emitter's time scale. Host thread only.
#include <cstdint>
#include <limits>

#include "core/build_variant.h"
#include "core/lru_list.h"
#include "core/pool_table.h"
#include "particle/particle_values.h"

// The next event time of a particle whose event chains have all been applied: no step is
// held back for it, however long the particle lives (circle and single-particle beams).
inline constexpr float kNoEventPending = std::numeric_limits<float>::infinity();

class CParticle {
public:
    static void* operator new(std::size_t size) { return PooledAlloc<CParticle>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CParticle>(block); }
    static CParticle* FromNode(lru_obj_s* node) { return reinterpret_cast<CParticle*>(node); }

    // One step to `frameTime` (frame-clock seconds): the time since the last step x
    // `timeScale`, held so that the event clock never passes a pending event's time (at
    // least 1 us). Advances age and event clock, kills a particle whose age passes its lifetime
    // (unless immortal or circle), steps the ramps, adds the speed component to the velocity,
    // runs a track segment or integrates velocity with `acceleration` + `gravity` (and moves
    // only while the particle lies within `radiusLimit` of its emitter; 0 is no limit), and
    // an attached particle follows `emitter`. Returns whether it lives; nothing changes when
    // no time has passed.
    bool Move(float frameTime, const vec3_t& emitter, const vec3_t& gravity, float timeScale,
              std::uint32_t radiusLimit);
#if LUMI_LEGACY
    // The legacy build's step (legacy/particle_beam_legacy.cpp): no time scale, track or
    // radius limit; the speed ramp's rate adds along the motion angle, and the motion angle
    // follows the velocity on every step.
    bool Move(float frameTime, const vec3_t& emitter, const vec3_t& gravity);
#endif
    // The colour ramp by t seconds (the four channels share its remaining time).
    void StepColor(float t);
    // Runs a track segment from a to b in `seconds` (at once when that is not positive).
    void StartSegment(const vec3_t& a, const vec3_t& b, float seconds);
    // The SPEED and MOTIONANGLE events of one chain both applied: the velocity's x and y
    // become the speed component.
    void RebuildVelocityFromSpeed();

    lru_obj_s node;                       // first: the live list links particles through it
    std::int32_t eventCursor = 0;         // the next entry of the beam's particle-event list
    std::uint8_t alive = 1;
    std::uint8_t lockAspect = 1;          // LOCKASPECT at spawn
    std::uint8_t immortal = 0;            // SINGLEPARTICLE beams: never dies of age
    std::uint8_t attached = 0;            // the emitter position follows the emitter
    std::uint8_t circle = 0;              // CIRCLEBEAM: never dies of age
    float age = 0.0f;                     // seconds
    float lifetime = 0.0f;                // seconds, drawn at spawn
    float eventClock = 0.0f;              // seconds, as particle events see it
    float nextEventTime = 0.0f;           // event clock of the next chain; kNoEventPending when none is left
    float lastUpdateTime = 0.0f;          // frame-clock seconds
    vec3_t emitterPosition{};             // the quad is placed relative to it
    ramp_t size{};                        // with lock aspect
    ramp_t sizeX{1.0f, 1.0f, 0.0f};       // without lock aspect
    ramp_t sizeY{1.0f, 1.0f, 0.0f};
    ramp_t motionAngle{};                 // radians: direction of the speed component
    ramp_t speed{};                       // units per second
    vec3_t position{};                    // offset from the emitter position
    vec3_t velocity{};                    // units per second
    vec3_t acceleration{};                // set by fading velocity events
    color4_t color{};
    color4_t colorRate{};                 // per second
    float colorRemaining = 0.0f;          // seconds, shared by the four channels
    float angle = 0.0f;                   // radians: rotation of the quad
    ramp_t spin{};                        // radians per second
    vec3_t lastSpeedVector{};             // the speed component already in the velocity
    std::uint8_t speedChanged = 0;
    std::uint8_t angleChanged = 0;
    std::uint8_t track = 0;               // TRACKMODE at spawn
    std::uint8_t segmentDone = 0;
    float segmentTime = 1.0f;             // seconds
    float segmentElapsed = 0.0f;
    vec3_t segmentStart{};
    vec3_t segmentEnd{};
    vec3_t segmentVelocity{};
    // The speed and motion angle the last speed vector was made from: while they stay, so
    // does the vector (no trigonometry per step). Cleared whenever the vector is set apart
    // from them.
    float speedVectorSpeed = 0.0f;
    float speedVectorAngle = 0.0f;
    std::uint8_t speedVectorValid = 0;

private:
    // The parts both builds' Move share (particle_step.h).
    // The step's seconds, held as Move says; the clocks advance by them, a particle past its
    // lifetime dies and the size ramps step. 0 when the particle is dead (or dies now) or no
    // time has passed (nothing changes then).
    float BeginStep(float frameTime, float timeScale);
    // Velocity += (acceleration + gravity) x t.
    void Accelerate(const vec3_t& gravity, float t);
    // The motion angle follows the velocity (straight up or down while vx is all but 0).
    void AimAlongVelocity();
    // Position += velocity x t.
    void Drift(float t);
};

// Starts fetching the particle of a list node into the cache. Particles die and are born in
// any order, so a live list wanders through the pool; walks fetch the next record while they
// work on this one. Harmless on the list's head.
inline void PrefetchParticle(const lru_obj_s* node) {
    const auto* bytes = reinterpret_cast<const char*>(node);
    for (std::size_t line = 0; line < sizeof(CParticle); line += 64) __builtin_prefetch(bytes + line);
}

// The pixel size (w, h) of the particle's quad: with lock aspect SIZE both ways, narrowed or
// flattened by the texture's aspect (height over width: a tall texture narrows the quad, a
// wide one flattens it); else SIZEX by SIZEY.
inline void QuadSizeOf(const CParticle& particle, float aspect, float& w, float& h) {
    w = particle.sizeX.value;
    h = particle.sizeY.value;
    if (!particle.lockAspect) return;
    w = h = particle.size.value;
    if (aspect > 1.0f) {
        w /= aspect;
    } else if (aspect < 1.0f) {
        h *= aspect;
    }
}

// One linear step of a ramp by t seconds: it stops when its remaining time runs out.
inline void StepRamp(ramp_t& ramp, float t) {
    if (ramp.remaining < t) {
        ramp.value += ramp.remaining * ramp.rate;
        ramp.remaining = 0.0f;
    } else {
        ramp.value += t * ramp.rate;
        ramp.remaining -= t;
    }
}
