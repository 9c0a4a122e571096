#include "particle/particle_values.h"

#include <algorithm>
#include <cmath>

#include "platform/win32/crt_rand.h"

static_assert(kParticleRandomMax == win32::kRandMax);

void SeedParticleRandom(unsigned seed) { win32::srand(seed); }

int ParticleRandom() { return win32::rand(); }

float RandomInRange(float a, float b) {
    if (b == a) return a;
    float spread = std::fabs(b - a);
    spread = static_cast<float>(ParticleRandom()) / static_cast<float>(kParticleRandomMax) * spread;
    return std::min(a, b) + spread;
}

float SampleValueRange(value_range_t& range) {
    range.value = RandomInRange(range.min, range.max);
    return range.value;
}

color4_t SampleColorRange(color_range_t& range) {
    range.value.r = RandomInRange(range.min.r, range.max.r);
    range.value.g = RandomInRange(range.min.g, range.max.g);
    range.value.b = RandomInRange(range.min.b, range.max.b);
    range.value.a = RandomInRange(range.min.a, range.max.a);
    return range.value;
}

vec3_t RandomVec3InRange(const vec3_t& min, const vec3_t& max) {
    vec3_t draw;
    draw.x = RandomInRange(min.x, max.x);
    draw.y = RandomInRange(min.y, max.y);
    draw.z = RandomInRange(min.z, max.z);
    return draw;
}

vec3_t SampleVec3Range(xyz_range_t& range) {
    range.value = RandomVec3InRange(range.min, range.max);
    return range.value;
}

std::array<float, 2> SampleUVRange(uv_range_t& range) {
    range.valueU = RandomInRange(range.minU, range.maxU);
    range.valueV = RandomInRange(range.minV, range.maxV);
    return {range.valueU, range.valueV};
}

namespace {

std::uint32_t PackChannel(float x) {
    if (x >= 1.0f) return 255;
    if (!(x > 0.0f)) return 0;
    return static_cast<std::uint32_t>(x * 255.0f + 0.5f);
}

}  // namespace

std::uint32_t PackColor(float r, float g, float b, float a) {
    return PackChannel(a) << 24 | PackChannel(r) << 16 | PackChannel(g) << 8 | PackChannel(b);
}
