#pragma once
// The draws of the particle system's value records (particle_value_records.h), and the
// records only the library keeps (ramps, animation cells).
//
// Randomness: every draw of the particle system comes from ParticleRandom, the Windows C
// runtime's 15-bit rand (per thread, seed 1 until seeded), so that a seed reproduces every
// spread a script makes. A range whose ends are equal draws nothing.
#include <array>
#include <cmath>
#include <cstdint>

#include "particle/particle_value_records.h"

// A linearly ramped value: it moves by rate per second for the remaining seconds.
struct ramp_t {
    float value, rate, remaining;
};

// One cell of an animation sheet.
struct anim_cell_t {
    std::uint8_t index;  // row x columns + column
    std::int32_t left, top, right, bottom;  // pixels
    float time;  // seconds shown
};

// Script angles are degrees; the particle system turns them into radians by this factor.
inline constexpr float kDegreesToRadians = 0.017453292f;

// Whether every number a script holds of the record is finite: its ends (the last draw is
// not part of the script). The script setters refuse what is not, since no saved script
// could hold it.
inline bool IsFiniteVec3(const vec3_t& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
inline bool IsFiniteRange(const value_range_t& r) { return std::isfinite(r.min) && std::isfinite(r.max); }
inline bool IsFiniteRange(const xyz_range_t& r) { return IsFiniteVec3(r.min) && IsFiniteVec3(r.max); }
inline bool IsFiniteRange(const color_range_t& r) {
    return std::isfinite(r.min.r) && std::isfinite(r.min.g) && std::isfinite(r.min.b) && std::isfinite(r.min.a) &&
           std::isfinite(r.max.r) && std::isfinite(r.max.g) && std::isfinite(r.max.b) && std::isfinite(r.max.a);
}

// Seeds ParticleRandom on the calling thread.
void SeedParticleRandom(unsigned seed);

// The next value of the calling thread's 15-bit sequence, 0 to kParticleRandomMax.
int ParticleRandom();
inline constexpr int kParticleRandomMax = 32767;

// a when b equals a (no draw); otherwise min(a, b) + ParticleRandom() / 32767 x |b - a|, so
// both ends can come out.
float RandomInRange(float a, float b);

// Draws the range, stores the draw as its value and returns it.
float SampleValueRange(value_range_t& range);

// Draws r, g, b, then a, stores the draw as the range's value and returns it.
color4_t SampleColorRange(color_range_t& range);

// x, then y, then z, each drawn between the same components of min and max.
vec3_t RandomVec3InRange(const vec3_t& min, const vec3_t& max);

// Draws the range (x, y, z in that order), stores the draw as its value and returns it.
vec3_t SampleVec3Range(xyz_range_t& range);

// Draws u, then v, stores them as the range's value and returns them (u, v).
std::array<float, 2> SampleUVRange(uv_range_t& range);

// Four channels of 0..1 as ARGB: each is 255 at 1 or more, 0 at 0 or less (NaN too), else
// x x 255 + 0.5 truncated; A << 24 | R << 16 | G << 8 | B.
std::uint32_t PackColor(float r, float g, float b, float a);

// GRAVITY as each particle of one update draws it. A fixed range draws no random number, so
// it is drawn once for all. The range must outlive the draw.
class gravity_draw_t {
public:
    explicit gravity_draw_t(xyz_range_t& gravity)
        : gravity_(gravity),
          fixed_(gravity.min.x == gravity.max.x && gravity.min.y == gravity.max.y && gravity.min.z == gravity.max.z) {
        if (fixed_) value_ = SampleVec3Range(gravity_);
    }
    vec3_t Next() { return fixed_ ? value_ : SampleVec3Range(gravity_); }

private:
    xyz_range_t& gravity_;
    bool fixed_;
    vec3_t value_{};
};
